#include "tables/TableSalvage.h"

#include <cstring>
#include <deque>
#include <optional>

namespace morvanta::salvage {

namespace {

constexpr std::uint8_t kIndexInterior = 2;
constexpr std::uint8_t kTableInterior = 5;
constexpr std::uint8_t kIndexLeaf = 10;
constexpr std::uint8_t kTableLeaf = 13;

constexpr std::uint32_t kWalMagicLittleEndian = 0x377f0682;
constexpr std::uint32_t kWalMagicBigEndian = 0x377f0683;
constexpr size_t kWalHeaderSize = 32;
constexpr size_t kWalFrameHeaderSize = 24;

// A payload larger than this is taken for garbage rather than a row.
constexpr std::uint64_t kLargestPayload = 1u << 30;

std::uint32_t Get16(std::string_view bytes, size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 8
           | static_cast<unsigned char>(bytes[at + 1]);
}

std::uint32_t Get32(std::string_view bytes, size_t at)
{
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at])) << 24
           | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 16
           | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 8
           | static_cast<unsigned char>(bytes[at + 3]);
}

bool IsValidPageSize(std::uint32_t size)
{
    return size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
}

// An SQLite variable-length integer: up to 8 bytes of 7 bits, then one of 8.
bool ReadVarint(std::string_view bytes, size_t& at, std::uint64_t& value)
{
    value = 0;
    for (int i = 0; i < 9; ++i) {
        if (at >= bytes.size())
            return false;
        auto byte = static_cast<unsigned char>(bytes[at++]);
        if (i == 8) {
            value = (value << 8) | byte;
            return true;
        }
        value = (value << 7) | (byte & 0x7f);
        if (!(byte & 0x80))
            return true;
    }
    return false;
}

// Header offset of a b-tree page: page 1 carries the file header first.
size_t PageHeaderOffset(std::uint32_t pageNumber)
{
    return pageNumber == 1 ? 100 : 0;
}

struct Cell {
    std::uint64_t payloadSize = 0;
    std::int64_t rowid = 0;
    std::uint32_t leftChild = 0;
    std::string_view local;
    std::uint32_t firstOverflow = 0;
};

// How much of a payload of the given size sits on the b-tree page itself.
std::uint64_t LocalPayloadSize(std::uint64_t payloadSize, std::uint32_t usable, bool tableLeaf)
{
    std::uint64_t maxLocal = tableLeaf ? usable - 35 : (static_cast<std::uint64_t>(usable) - 12) * 64 / 255 - 23;
    std::uint64_t minLocal = (static_cast<std::uint64_t>(usable) - 12) * 32 / 255 - 23;
    if (payloadSize <= maxLocal)
        return payloadSize;
    std::uint64_t surplus = minLocal + (payloadSize - minLocal) % (usable - 4);
    return surplus <= maxLocal ? surplus : minLocal;
}

std::optional<Cell> ParseCell(std::string_view page, std::uint8_t type, size_t cellOffset, std::uint32_t usable)
{
    Cell cell;
    size_t at = cellOffset;
    size_t end = std::min<size_t>(page.size(), usable);
    if (at >= end)
        return std::nullopt;
    std::string_view limited = page.substr(0, end);
    if (type == kTableInterior || type == kIndexInterior) {
        if (at + 4 > end)
            return std::nullopt;
        cell.leftChild = Get32(limited, at);
        at += 4;
    }
    if (type == kTableInterior) {
        std::uint64_t key = 0;
        if (!ReadVarint(limited, at, key))
            return std::nullopt;
        cell.rowid = static_cast<std::int64_t>(key);
        return cell;
    }
    if (!ReadVarint(limited, at, cell.payloadSize) || cell.payloadSize > kLargestPayload)
        return std::nullopt;
    if (type == kTableLeaf) {
        std::uint64_t rowid = 0;
        if (!ReadVarint(limited, at, rowid))
            return std::nullopt;
        cell.rowid = static_cast<std::int64_t>(rowid);
    }
    std::uint64_t local = LocalPayloadSize(cell.payloadSize, usable, type == kTableLeaf);
    if (at + local > end)
        return std::nullopt;
    cell.local = limited.substr(at, local);
    at += local;
    if (local < cell.payloadSize) {
        if (at + 4 > end)
            return std::nullopt;
        cell.firstOverflow = Get32(limited, at);
    }
    return cell;
}

// The cell offsets of a b-tree page, or nothing when its header is not one.
std::optional<std::vector<size_t>> CellOffsets(std::string_view page, std::uint32_t pageNumber, std::uint32_t usable,
                                               std::uint8_t& type)
{
    size_t header = PageHeaderOffset(pageNumber);
    if (page.size() < header + 8)
        return std::nullopt;
    type = static_cast<std::uint8_t>(page[header]);
    if (type != kIndexInterior && type != kTableInterior && type != kIndexLeaf && type != kTableLeaf)
        return std::nullopt;
    size_t headerSize = (type == kIndexInterior || type == kTableInterior) ? 12 : 8;
    std::uint32_t count = Get16(page, header + 3);
    size_t pointers = header + headerSize;
    if (pointers + 2 * static_cast<size_t>(count) > std::min<size_t>(page.size(), usable))
        return std::nullopt;
    std::vector<size_t> offsets;
    offsets.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) {
        size_t offset = Get16(page, pointers + 2 * i);
        if (offset < pointers + 2 * static_cast<size_t>(count))
            continue;
        offsets.push_back(offset);
    }
    return offsets;
}

// The whole payload of a cell: its local part and its overflow chain.
std::optional<std::string> AssemblePayload(const PageImage& image, const Cell& cell,
                                           std::vector<std::uint32_t>* chain = nullptr)
{
    std::string payload(cell.local);
    std::uint32_t next = cell.firstOverflow;
    std::uint32_t chunk = image.UsableSize() - 4;
    std::set<std::uint32_t> seen;
    while (payload.size() < cell.payloadSize) {
        if (next == 0 || next > image.PageCount() || !seen.insert(next).second)
            return std::nullopt;
        if (chain)
            chain->push_back(next);
        std::string_view page = image.Page(next);
        size_t wanted = std::min<std::uint64_t>(chunk, cell.payloadSize - payload.size());
        if (page.size() < 4 + wanted)
            return std::nullopt;
        payload.append(page.substr(4, wanted));
        next = Get32(page, 0);
    }
    return payload;
}

std::uint32_t WalWord(std::string_view bytes, size_t at, bool bigEndian)
{
    if (bigEndian)
        return Get32(bytes, at);
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at]))
           | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 1])) << 8
           | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 2])) << 16
           | static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + 3])) << 24;
}

// The WAL checksum: over 32-bit words taken in pairs, s0 += x0 + s1; s1 += x1 + s0.
void WalChecksum(std::string_view bytes, bool bigEndian, std::uint32_t& s0, std::uint32_t& s1)
{
    for (size_t at = 0; at + 8 <= bytes.size(); at += 8) {
        s0 += WalWord(bytes, at, bigEndian) + s1;
        s1 += WalWord(bytes, at + 4, bigEndian) + s0;
    }
}

} // namespace

DatabaseHeader ReadDatabaseHeader(std::string_view file)
{
    DatabaseHeader header;
    if (file.size() < 100 || std::memcmp(file.data(), "SQLite format 3", 16) != 0)
        return header;
    std::uint32_t pageSize = Get16(file, 16);
    if (pageSize == 1)
        pageSize = 65536;
    auto reserved = static_cast<unsigned char>(file[20]);
    if (!IsValidPageSize(pageSize) || pageSize - reserved < 480 || file[21] != 64 || file[22] != 32 || file[23] != 32)
        return header;
    header.valid = true;
    header.pageSize = pageSize;
    header.reservedBytes = reserved;
    header.pageCount = Get32(file, 28);
    header.pageCountValid = header.pageCount != 0 && Get32(file, 24) == Get32(file, 92);
    header.freelistTrunk = Get32(file, 32);
    return header;
}

WalPages ReadCommittedWalPages(std::string_view wal)
{
    WalPages result;
    if (wal.size() < kWalHeaderSize)
        return result;
    std::uint32_t magic = Get32(wal, 0);
    if (magic != kWalMagicLittleEndian && magic != kWalMagicBigEndian)
        return result;
    bool bigEndian = magic == kWalMagicBigEndian;
    std::uint32_t pageSize = Get32(wal, 8);
    if (!IsValidPageSize(pageSize))
        return result;
    std::uint32_t s0 = 0, s1 = 0;
    WalChecksum(wal.substr(0, 24), bigEndian, s0, s1);
    if (s0 != Get32(wal, 24) || s1 != Get32(wal, 28))
        return result;
    result.pageSize = pageSize;
    std::uint32_t salt1 = Get32(wal, 16), salt2 = Get32(wal, 20);

    std::map<std::uint32_t, std::string> pending;
    size_t frameSize = kWalFrameHeaderSize + pageSize;
    for (size_t at = kWalHeaderSize; at + frameSize <= wal.size(); at += frameSize) {
        std::string_view frame = wal.substr(at, frameSize);
        if (Get32(frame, 8) != salt1 || Get32(frame, 12) != salt2)
            break;
        WalChecksum(frame.substr(0, 8), bigEndian, s0, s1);
        WalChecksum(frame.substr(kWalFrameHeaderSize), bigEndian, s0, s1);
        if (s0 != Get32(frame, 16) || s1 != Get32(frame, 20))
            break;
        std::uint32_t pageNumber = Get32(frame, 0);
        if (pageNumber == 0)
            break;
        pending[pageNumber] = std::string(frame.substr(kWalFrameHeaderSize));
        if (std::uint32_t commitSize = Get32(frame, 4); commitSize != 0) {
            for (auto& [number, page] : pending)
                result.pages[number] = std::move(page);
            pending.clear();
            result.databasePages = commitSize;
        }
    }
    // Pages beyond the committed size were given up by that commit.
    if (result.databasePages != 0)
        result.pages.erase(result.pages.upper_bound(result.databasePages), result.pages.end());
    return result;
}

PageImage::PageImage(std::string_view file, const WalPages& wal, std::uint32_t pageSize, std::uint32_t usableSize)
    : file_(file)
    , pageSize_(pageSize)
    , usableSize_(usableSize)
{
    pageCount_ = static_cast<std::uint32_t>((file.size() + pageSize - 1) / pageSize);
    if (wal.pageSize == pageSize && wal.databasePages != 0) {
        overlay_ = &wal.pages;
        pageCount_ = wal.databasePages;
    }
}

std::string_view PageImage::Page(std::uint32_t number) const
{
    if (number == 0 || number > pageCount_)
        return {};
    if (overlay_) {
        if (auto found = overlay_->find(number); found != overlay_->end())
            return found->second;
    }
    size_t start = static_cast<size_t>(number - 1) * pageSize_;
    if (start >= file_.size())
        return {};
    return file_.substr(start, pageSize_);
}

bool DecodeRecord(std::string_view payload, std::vector<RecordValue>& values)
{
    values.clear();
    size_t at = 0;
    std::uint64_t headerSize = 0;
    if (!ReadVarint(payload, at, headerSize) || headerSize < at || headerSize > payload.size())
        return false;
    std::vector<std::uint64_t> types;
    while (at < headerSize) {
        std::uint64_t type = 0;
        if (!ReadVarint(payload, at, type) || at > headerSize || type == 10 || type == 11)
            return false;
        types.push_back(type);
    }
    size_t body = headerSize;
    for (std::uint64_t type : types) {
        RecordValue value;
        size_t width = 0;
        switch (type) {
        case 0: break;
        case 1:
        case 2:
        case 3:
        case 4: width = type; break;
        case 5: width = 6; break;
        case 6:
        case 7: width = 8; break;
        case 8:
        case 9:
            value.kind = RecordValue::Kind::Integer;
            value.integer = type == 9 ? 1 : 0;
            break;
        default: width = (type - 12) / 2; break;
        }
        if (width > payload.size() - body)
            return false;
        std::string_view bytes = payload.substr(body, width);
        body += width;
        if (type >= 1 && type <= 6) {
            std::uint64_t number = static_cast<unsigned char>(bytes[0]) & 0x80 ? ~std::uint64_t { 0 } : 0;
            for (char byte : bytes)
                number = (number << 8) | static_cast<unsigned char>(byte);
            value.kind = RecordValue::Kind::Integer;
            value.integer = static_cast<std::int64_t>(number);
        } else if (type == 7) {
            std::uint64_t bits = 0;
            for (char byte : bytes)
                bits = (bits << 8) | static_cast<unsigned char>(byte);
            value.kind = RecordValue::Kind::Real;
            std::memcpy(&value.real, &bits, sizeof bits);
        } else if (type >= 12) {
            value.kind = type % 2 ? RecordValue::Kind::Text : RecordValue::Kind::Blob;
            value.bytes = std::string(bytes);
        }
        values.push_back(std::move(value));
    }
    return body == payload.size();
}

std::set<std::uint32_t> FreelistPages(const PageImage& image, std::uint32_t firstTrunk)
{
    std::set<std::uint32_t> pages;
    std::uint32_t trunk = firstTrunk;
    while (trunk != 0 && trunk <= image.PageCount() && pages.insert(trunk).second) {
        std::string_view page = image.Page(trunk);
        if (page.size() < 8)
            break;
        std::uint32_t leaves = Get32(page, 4);
        for (std::uint32_t i = 0; i < leaves && 8 + 4 * static_cast<size_t>(i) + 4 <= page.size(); ++i) {
            std::uint32_t leaf = Get32(page, 8 + 4 * static_cast<size_t>(i));
            if (leaf != 0 && leaf <= image.PageCount())
                pages.insert(leaf);
        }
        trunk = Get32(page, 0);
    }
    return pages;
}

std::vector<LeafRecord> ScanTableLeafPages(const PageImage& image, const std::set<std::uint32_t>& skip)
{
    std::vector<LeafRecord> records;
    for (std::uint32_t number = 2; number <= image.PageCount(); ++number) {
        if (skip.count(number))
            continue;
        std::string_view page = image.Page(number);
        std::uint8_t type = 0;
        auto offsets = CellOffsets(page, number, image.UsableSize(), type);
        if (!offsets || type != kTableLeaf)
            continue;
        for (size_t offset : *offsets) {
            auto cell = ParseCell(page, type, offset, image.UsableSize());
            if (!cell)
                continue;
            auto payload = AssemblePayload(image, *cell);
            if (!payload)
                continue;
            LeafRecord record;
            record.rowid = cell->rowid;
            if (DecodeRecord(*payload, record.values))
                records.push_back(std::move(record));
        }
    }
    return records;
}

std::map<std::uint32_t, std::uint32_t> MapPagesToTrees(const PageImage& image, const std::vector<std::uint32_t>& roots)
{
    std::map<std::uint32_t, std::uint32_t> owners;
    for (std::uint32_t root : roots) {
        std::deque<std::uint32_t> queue { root };
        while (!queue.empty()) {
            std::uint32_t number = queue.front();
            queue.pop_front();
            if (number == 0 || number > image.PageCount() || !owners.emplace(number, root).second)
                continue;
            std::string_view page = image.Page(number);
            std::uint8_t type = 0;
            auto offsets = CellOffsets(page, number, image.UsableSize(), type);
            if (!offsets)
                continue;
            bool interior = type == kIndexInterior || type == kTableInterior;
            if (interior)
                queue.push_back(Get32(page, PageHeaderOffset(number) + 8));
            for (size_t offset : *offsets) {
                auto cell = ParseCell(page, type, offset, image.UsableSize());
                if (!cell)
                    continue;
                if (interior)
                    queue.push_back(cell->leftChild);
                if (cell->firstOverflow != 0) {
                    std::vector<std::uint32_t> chain;
                    (void)AssemblePayload(image, *cell, &chain);
                    for (std::uint32_t overflow : chain)
                        owners.emplace(overflow, root);
                }
            }
        }
    }
    return owners;
}

} // namespace morvanta::salvage
