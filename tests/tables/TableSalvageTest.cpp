#include "tables/TableSalvage.h"

#include "fixtures/TableFiles.h"

namespace morvanta::test {
namespace {

using salvage::RecordValue;
using Kind = RecordValue::Kind;

RecordValue Integer(std::int64_t number)
{
    return { Kind::Integer, number, 0, {} };
}

RecordValue Text(const std::string& bytes)
{
    return { Kind::Text, 0, 0, bytes };
}

TEST(TableSalvage, DecodesEveryKindOfStoredValue)
{
    // Header: size 10, then serial types NULL, int8, int16, int24, int32,
    // int48, int64, 0, 1; a text of 3 bytes (19) and a BLOB of 2 (16).
    std::string payload = std::string("\x0c\x00\x01\x02\x03\x04\x05\x06\x08\x09\x13\x10", 12) + std::string("\xff", 1)
                          + std::string("\x01\x00", 2) + std::string("\xff\xff\xfe", 3)
                          + std::string("\x7f\xff\xff\xff", 4) + std::string("\x00\x01\x00\x00\x00\x00", 6)
                          + std::string("\x80\x00\x00\x00\x00\x00\x00\x00", 8) + "abc" + std::string("\x00\x01", 2);
    std::vector<RecordValue> values;
    ASSERT_TRUE(salvage::DecodeRecord(payload, values));
    ASSERT_EQ(values.size(), 11u);
    EXPECT_EQ(values[0].kind, Kind::Null);
    EXPECT_EQ(values[1], Integer(-1));
    EXPECT_EQ(values[2], Integer(256));
    EXPECT_EQ(values[3], Integer(-2));
    EXPECT_EQ(values[4], Integer(2147483647));
    EXPECT_EQ(values[5], Integer(std::int64_t { 1 } << 32));
    EXPECT_EQ(values[6], Integer(INT64_MIN));
    EXPECT_EQ(values[7], Integer(0));
    EXPECT_EQ(values[8], Integer(1));
    EXPECT_EQ(values[9], Text("abc"));
    EXPECT_EQ(values[10].kind, Kind::Blob);
    EXPECT_EQ(values[10].bytes, std::string("\x00\x01", 2));
}

TEST(TableSalvage, RefusesRecordsThatAreNotWellFormed)
{
    struct Case {
        const char* name;
        std::string payload;
    };
    const Case cases[] = {
        { "empty", "" },
        { "header longer than the record", std::string("\x09\x01", 2) },
        { "value cut short", std::string("\x02\x04\x00\x01", 4) },
        { "bytes left over", std::string("\x02\x01\x05\x06", 4) },
        { "reserved serial type", std::string("\x02\x0a", 2) },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<RecordValue> values;
        EXPECT_FALSE(salvage::DecodeRecord(c.payload, values));
    }
}

TEST(TableSalvage, ReadsTheHeaderOfATableFileAndRefusesGarbage)
{
    TableFolder data;
    WriteTableFile(data.File("IPList"), IPListTableDef(), MakeIPListRows(20));
    auto header = salvage::ReadDatabaseHeader(ReadFile(data.File("IPList")));
    EXPECT_TRUE(header.valid);
    EXPECT_EQ(header.pageSize, 4096u);
    EXPECT_FALSE(salvage::ReadDatabaseHeader(std::string(100, 'x')).valid);
    EXPECT_FALSE(salvage::ReadDatabaseHeader("SQLite format 3").valid);
}

TEST(TableSalvage, TracesPagesToTheirTree)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(2000));
    std::uint32_t tableRoot = std::stoul(Query(path, "SELECT rootpage FROM sqlite_schema WHERE name='IPList'")[0]);
    std::uint32_t indexRoot
        = std::stoul(Query(path, "SELECT rootpage FROM sqlite_schema WHERE name='IPList_primary'")[0]);
    std::string file = ReadFile(path);
    salvage::WalPages noLog;
    salvage::PageImage image(file, noLog, 4096, 4096);
    auto owners = salvage::MapPagesToTrees(image, { 1, tableRoot, indexRoot });
    for (auto page : PagesOf(path, "IPList", "leaf"))
        EXPECT_EQ(owners[page], tableRoot) << page;
    for (auto page : PagesOf(path, "IPList_primary", "leaf"))
        EXPECT_EQ(owners[page], indexRoot) << page;
}

// A log of committed updates, captured before anything opens the file again.
class LogOverlayTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        std::string path = data.File("IPList");
        WriteTableFile(path, IPListTableDef(), MakeIPListRows(400));
        bool killed = RunInChildAndKill(data.folder.Path(), [](Database& database) {
            OpenTables tables;
            tables.push_back(std::make_unique<Table>(database, IPListTableDef()));
            Table& table = *tables[0];
            table.Open();
            // One commit per row, in rowid order.
            for (table.First(); !table.Eof(); table.Next()) {
                if (table.FieldByName("Reports").AsInteger() == 3) {
                    table.Edit();
                    table.FieldByName("Reports").SetAsInteger(900);
                    table.Post();
                }
            }
            return tables;
        });
        ASSERT_TRUE(killed);
        file = ReadFile(path);
        log = ReadFile(path + "-wal");
    }

    // The Reports value of each rowid that the pages hold.
    std::map<std::int64_t, std::int64_t> Reports(const salvage::WalPages& pages)
    {
        salvage::PageImage image(file, pages, 4096, 4096);
        std::map<std::int64_t, std::int64_t> reports;
        for (const auto& record : salvage::ScanTableLeafPages(image, {})) {
            if (record.values.size() == 6)
                reports[record.rowid] = record.values[5].integer;
        }
        return reports;
    }

    std::vector<std::int64_t> UpdatedRows(const salvage::WalPages& pages)
    {
        std::vector<std::int64_t> updated;
        for (auto [rowid, reports] : Reports(pages)) {
            if (reports == 900)
                updated.push_back(rowid);
        }
        return updated;
    }

    TableFolder data;
    std::string file;
    std::string log;
    // Rows whose Reports was 3: rowid % 11 == 2.
    const std::vector<std::int64_t> changed = [] {
        std::vector<std::int64_t> rows;
        for (std::int64_t rowid = 1; rowid <= 400; ++rowid) {
            if (rowid % 11 == 2)
                rows.push_back(rowid);
        }
        return rows;
    }();
};

TEST_F(LogOverlayTest, CommittedPagesOfTheLogReplaceThoseOfTheFile)
{
    salvage::WalPages pages = salvage::ReadCommittedWalPages(log);
    EXPECT_EQ(pages.pageSize, 4096u);
    EXPECT_GT(pages.databasePages, 0u);
    EXPECT_EQ(UpdatedRows(pages), changed);
    EXPECT_EQ(UpdatedRows(salvage::WalPages {}), std::vector<std::int64_t> {});
    EXPECT_EQ(Reports(pages).size(), 400u);
}

TEST_F(LogOverlayTest, AFrameCutShortOrWithABadChecksumEndsTheLog)
{
    auto lastChanged = std::vector<std::int64_t>(changed.begin(), changed.end() - 1);
    size_t frame = 24 + 4096;
    ASSERT_EQ((log.size() - 32) % frame, 0u);

    std::string cut = log.substr(0, log.size() - 100);
    EXPECT_EQ(UpdatedRows(salvage::ReadCommittedWalPages(cut)), lastChanged);

    std::string flipped = log;
    flipped[flipped.size() - 2000] ^= 0x01;
    EXPECT_EQ(UpdatedRows(salvage::ReadCommittedWalPages(flipped)), lastChanged);

    std::string badHeader = log;
    badHeader[12] ^= 0x01;
    EXPECT_EQ(salvage::ReadCommittedWalPages(badHeader).pageSize, 0u);
}

} // namespace
} // namespace morvanta::test
