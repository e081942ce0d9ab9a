#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>
#include <string_view>
#include <vector>

// Reading an SQLite database file page by page, without SQLite, so that rows
// can be saved from a file that SQLite itself refuses, and a damaged page can
// be traced to the b-tree it belongs to. Layouts as in the published SQLite
// file format (https://www.sqlite.org/fileformat2.html).
namespace morvanta::salvage {

// The fields of the 100-byte file header that the scan uses.
struct DatabaseHeader {
    bool valid = false; // magic, page size and payload fractions as SQLite writes them
    std::uint32_t pageSize = 0;
    std::uint32_t reservedBytes = 0;
    std::uint32_t pageCount = 0; // the in-header size; only meaningful when pageCountValid
    bool pageCountValid = false; // its version-valid-for number matches the change counter
    std::uint32_t freelistTrunk = 0;
};

[[nodiscard]] DatabaseHeader ReadDatabaseHeader(std::string_view file);

// The pages that a WAL file holds up to its last valid commit: frames whose
// salts match the WAL header and whose running checksums hold.
struct WalPages {
    std::uint32_t pageSize = 0; // 0 when the WAL header is not valid
    std::uint32_t databasePages = 0; // the database size at the last commit (0: no commit)
    std::map<std::uint32_t, std::string> pages;
};

[[nodiscard]] WalPages ReadCommittedWalPages(std::string_view wal);

// A database file seen as pages, with the committed pages of its WAL laid
// over it when the WAL has the same page size. The file's bytes must outlive
// the object. A last page cut short by truncation is kept as far as it goes.
class PageImage {
public:
    PageImage(std::string_view file, const WalPages& wal, std::uint32_t pageSize, std::uint32_t usableSize);

    [[nodiscard]] std::uint32_t PageSize() const { return pageSize_; }
    [[nodiscard]] std::uint32_t UsableSize() const { return usableSize_; }
    [[nodiscard]] std::uint32_t PageCount() const { return pageCount_; }
    // Page 1 is the first; an empty view when the page does not exist.
    [[nodiscard]] std::string_view Page(std::uint32_t number) const;

private:
    std::string_view file_;
    const std::map<std::uint32_t, std::string>* overlay_ = nullptr;
    std::uint32_t pageSize_;
    std::uint32_t usableSize_;
    std::uint32_t pageCount_ = 0;
};

// A value of a record as stored.
struct RecordValue {
    enum class Kind { Null, Integer, Real, Text, Blob };
    Kind kind = Kind::Null;
    std::int64_t integer = 0;
    double real = 0;
    std::string bytes; // Text and Blob

    friend bool operator==(const RecordValue&, const RecordValue&) = default;
};

// A row found on a table leaf page.
struct LeafRecord {
    std::int64_t rowid = 0;
    std::vector<RecordValue> values;
};

// The pages on the freelist that starts at the trunk page (0: none).
[[nodiscard]] std::set<std::uint32_t> FreelistPages(const PageImage& image, std::uint32_t firstTrunk);

// Every well-formed record on every table leaf page from page 2 on, except
// the pages to skip; records whose overflow chain is broken are left out.
// Records come in page order, then cell order.
[[nodiscard]] std::vector<LeafRecord> ScanTableLeafPages(const PageImage& image, const std::set<std::uint32_t>& skip);

// For each page reachable from one of the roots (interior pages, leaves and
// overflow pages), the root of its b-tree. A page that cannot be parsed is
// still owned by the tree whose page pointed at it.
[[nodiscard]] std::map<std::uint32_t, std::uint32_t> MapPagesToTrees(const PageImage& image,
                                                                     const std::vector<std::uint32_t>& roots);

// Decodes one record (header of serial types, then the values); false when
// it is not well formed.
[[nodiscard]] bool DecodeRecord(std::string_view payload, std::vector<RecordValue>& values);

} // namespace morvanta::salvage
