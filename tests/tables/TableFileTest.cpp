#include "fixtures/TableFiles.h"

#include <sqlite3.h>

#include <unistd.h>

#include <algorithm>

namespace morvanta::test {
namespace {

constexpr int kRowCount = 2000;
constexpr std::uint64_t kPageSize = 4096;

enum class Kept { Every, AllButOnePage, firstPart, None };

struct DamageCase {
    const char* name;
    std::function<void(const std::string& path)> damage;
    int code;
    RepairReport::Action action;
    Kept kept;
};

std::string PageHeaderGarbage()
{
    return std::string(12, '\xff');
}

// Changes one digit of a key where it stands in the index, leaving the page's
// structure intact: the index and the table then disagree.
void AlterKeyInIndex(const std::string& path)
{
    std::string file = ReadFile(path);
    for (std::uint32_t page : PagesOf(path, "IPList_primary", "leaf")) {
        auto at = file.find("10.0.3.45", (page - 1) * kPageSize);
        if (at != std::string::npos && at < page * kPageSize) {
            OverwriteBytes(path, at + 8, "7");
            return;
        }
    }
    FAIL() << "key not found in the index";
}

const DamageCase kDamageCases[] = {
    { "header overwritten", [](const std::string& path) { OverwriteBytes(path, 0, std::string(100, '\xa5')); },
      TableErrorCode::HeaderCorrupt, RepairReport::Action::Salvaged, Kept::Every },
    { "magic overwritten", [](const std::string& path) { OverwriteBytes(path, 0, "not a database!"); },
      TableErrorCode::HeaderCorrupt, RepairReport::Action::Salvaged, Kept::Every },
    { "foreign application id", [](const std::string& path) { Execute(path, "PRAGMA application_id=7"); },
      TableErrorCode::HeaderCorrupt, RepairReport::Action::Salvaged, Kept::Every },
    { "index leaf page overwritten",
      [](const std::string& path) {
          OverwriteBytes(path, (PagesOf(path, "IPList_primary", "leaf").at(2) - 1) * kPageSize, PageHeaderGarbage());
      },
      TableErrorCode::IndexPageCorrupt, RepairReport::Action::Rebuilt, Kept::Every },
    { "index root page overwritten",
      [](const std::string& path) {
          OverwriteBytes(path, (PagesOf(path, "IPList_primary", "internal").at(0) - 1) * kPageSize,
                         PageHeaderGarbage());
      },
      TableErrorCode::IndexPageCorrupt, RepairReport::Action::Rebuilt, Kept::Every },
    { "index key out of step with the table", AlterKeyInIndex, TableErrorCode::IndexPageCorrupt,
      RepairReport::Action::Rebuilt, Kept::Every },
    { "primary index dropped", [](const std::string& path) { Execute(path, "DROP INDEX IPList_primary"); },
      TableErrorCode::InvalidIndexField, RepairReport::Action::Rebuilt, Kept::Every },
    { "table leaf page overwritten",
      [](const std::string& path) {
          auto leaves = PagesOf(path, "IPList", "leaf");
          OverwriteBytes(path, (leaves.at(leaves.size() / 2) - 1) * kPageSize, PageHeaderGarbage());
      },
      TableErrorCode::DataRecordCorrupt, RepairReport::Action::Salvaged, Kept::AllButOnePage },
    { "file cut short",
      [](const std::string& path) { TruncateFile(path, ReadFile(path).size() / kPageSize * 2 / 3 * kPageSize); },
      TableErrorCode::DataRecordCorrupt, RepairReport::Action::Salvaged, Kept::firstPart },
    { "file cut inside the header", [](const std::string& path) { TruncateFile(path, 50); },
      TableErrorCode::HeaderCorrupt, RepairReport::Action::Salvaged, Kept::None },
};

void ExpectRowsAsWritten(const std::vector<TableRow>& found, const std::vector<TableRow>& written)
{
    for (const auto& row : found) {
        ASSERT_GE(row.rowid, 1);
        ASSERT_LE(row.rowid, static_cast<std::int64_t>(written.size()));
        EXPECT_EQ(row, written[row.rowid - 1]);
    }
}

// The rowids missing from the rows found, which must be in rowid order.
std::vector<std::int64_t> MissingRowids(const std::vector<TableRow>& found, int count)
{
    std::vector<std::int64_t> missing;
    size_t next = 0;
    for (std::int64_t rowid = 1; rowid <= count; ++rowid) {
        if (next < found.size() && found[next].rowid == rowid)
            ++next;
        else
            missing.push_back(rowid);
    }
    return missing;
}

TEST(TableRepair, DamagedFilesGiveTheirCodeAndOpenAfterRepairWithEveryReadableRow)
{
    const auto written = MakeIPListRows(kRowCount);
    for (const auto& c : kDamageCases) {
        SCOPED_TRACE(c.name);
        TableFolder data;
        std::string path = data.File("IPList");
        WriteTableFile(path, IPListTableDef(), written);
        c.damage(path);
        std::string damaged = ReadFile(path);

        Table table(data.database, IPListTableDef());
        EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), c.code);
        EXPECT_FALSE(table.Active());

        RepairReport report = table.RepairTable();
        EXPECT_EQ(report.action, c.action);
        if (c.action == RepairReport::Action::Salvaged) {
            ASSERT_FALSE(report.backupPath.empty());
            EXPECT_TRUE(report.backupPath.starts_with(path + ".bak-")) << report.backupPath;
            EXPECT_TRUE(ReadFile(report.backupPath) == damaged) << "the backup differs from the damaged file";
        } else {
            EXPECT_EQ(report.backupPath, "");
            EXPECT_EQ(ListFolder(data.folder.Path()), (std::vector<std::string> { "IPList.db", "IPList.db.lock" }));
        }

        table.Open();
        EXPECT_EQ(Query(path, "PRAGMA integrity_check"), std::vector<std::string> { "ok" });
        auto found = ReadRows(path, IPListTableDef());
        ExpectRowsAsWritten(found, written);
        EXPECT_EQ(report.rowsKept, found.size());
        auto missing = MissingRowids(found, kRowCount);
        switch (c.kept) {
        case Kept::Every: EXPECT_EQ(missing, std::vector<std::int64_t> {}); break;
        case Kept::AllButOnePage:
            // The rows of one leaf page: a short run of neighbours.
            ASSERT_FALSE(missing.empty());
            EXPECT_LT(missing.size(), 100u);
            EXPECT_EQ(missing.back() - missing.front() + 1, static_cast<std::int64_t>(missing.size()));
            break;
        case Kept::firstPart:
            ASSERT_FALSE(found.empty());
            ASSERT_FALSE(missing.empty());
            EXPECT_EQ(missing.front(), static_cast<std::int64_t>(found.size()) + 1);
            EXPECT_EQ(missing.back(), kRowCount);
            break;
        case Kept::None: EXPECT_TRUE(found.empty()); break;
        }
        for (const auto& row : found)
            ASSERT_TRUE(table.FindKey(row.values[0].Text())) << row.values[0];
        table.Close();
    }
}

TEST(TableRepair, ASoundFileIsRebuiltWithoutABackup)
{
    TableFolder data;
    auto written = MakeIPListRows(50);
    WriteTableFile(data.File("IPList"), IPListTableDef(), written);
    Table table(data.database, IPListTableDef());
    RepairReport report = table.RepairTable();
    EXPECT_EQ(report.action, RepairReport::Action::Rebuilt);
    EXPECT_EQ(report.backupPath, "");
    EXPECT_EQ(ReadRows(data.File("IPList"), IPListTableDef()), written);
}

TEST(TableRepair, SalvageBringsBackTheLatestValuesNotOlderOnes)
{
    TableFolder data;
    std::string path = data.File("IPList");
    auto written = MakeIPListRows(400);
    WriteTableFile(path, IPListTableDef(), written);
    {
        Table table(data.database, IPListTableDef());
        table.Open();
        for (auto& row : written) {
            if (row.rowid % 4)
                continue;
            ASSERT_TRUE(table.FindKey(row.values[0].Text()));
            table.Edit();
            // Longer lists move the cells; shorter ones leave the old bytes behind.
            std::string emails = row.rowid % 8 ? row.values[1].Text() + ",another@longer-list.example" : "s@t.org";
            table.FieldByName("EMails").SetAsString(emails);
            table.Post();
            row.values[1] = emails;
        }
    }
    OverwriteBytes(path, 0, std::string(100, '\0'));
    Table table(data.database, IPListTableDef());
    ASSERT_EQ(table.RepairTable().action, RepairReport::Action::Salvaged);
    EXPECT_EQ(ReadRows(path, IPListTableDef()), written);
}

// In-place updates commit pages to the log but leave page 1, with the file
// header, to the main file: a damaged header then keeps SQLite out of the
// file, and the updates must still come through.
TEST(TableRepair, UpdatesCommittedOnlyToTheLogSurviveASalvage)
{
    TableFolder data;
    std::string path = data.File("IPList");
    auto written = MakeIPListRows(400);
    WriteTableFile(path, IPListTableDef(), written);
    for (auto& row : written) {
        if (row.rowid % 20 == 0)
            row.values[5] = TableValue(std::int64_t { 77 });
    }
    bool killed = RunInChildAndKill(data.folder.Path(), [&](Database& database) {
        OpenTables tables;
        tables.push_back(std::make_unique<Table>(database, IPListTableDef()));
        Table& table = *tables[0];
        table.Open();
        for (const auto& row : written) {
            if (row.rowid % 20 == 0 && table.FindKey(row.values[0].Text())) {
                table.Edit();
                table.FieldByName("Reports").SetAsInteger(77);
                table.Post();
            }
        }
        return tables;
    });
    ASSERT_TRUE(killed);
    ASSERT_TRUE(PathExists(path + "-wal"));

    OverwriteBytes(path, 0, std::string(100, '\x5a'));
    Table table(data.database, IPListTableDef());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::HeaderCorrupt);
    RepairReport report = table.RepairTable();
    EXPECT_EQ(report.action, RepairReport::Action::Salvaged);
    EXPECT_EQ(ReadRows(path, IPListTableDef()), written);
}

// A damaged page may still decode into a number that is no date of the
// years 1 to 9999: that row is left out, and every other row is saved.
TEST(TableRepair, SalvageLeavesOutARowWhoseDateIsOutOfRange)
{
    struct Case {
        const char* name;
        const TableDef& definition;
        std::vector<TableRow> rows;
        const char* spoil;
    };
    std::vector<TableRow> lookups;
    for (int i = 1; i <= 50; ++i)
        lookups.push_back({ i, { "10.0.0." + std::to_string(i), TableDateTime { kDay, i * 60 }, i } });
    const Case cases[] = {
        { "day number", IPListTableDef(), MakeIPListRows(50),
          "UPDATE IPList SET LastUpdate=2147483000 WHERE rowid=11" },
        { "seconds", IPStatsTableDef(), lookups,
          "UPDATE IPStats SET LookupTime=-9223372036854775807-1 WHERE rowid=11" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableFolder data;
        std::string path = data.File(c.definition.name);
        WriteTableFile(path, c.definition, c.rows, 1);
        Execute(path, c.spoil);
        OverwriteBytes(path, 0, std::string(100, '\0'));
        Table table(data.database, c.definition);
        RepairReport report = table.RepairTable();
        EXPECT_EQ(report.action, RepairReport::Action::Salvaged);
        auto expected = c.rows;
        expected.erase(expected.begin() + 10);
        EXPECT_EQ(ReadRows(path, c.definition), expected);
    }
}

TEST(TableRepair, KeepsTheLatestOfRowsSharingAKeyAndTheBackup)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(),
                   { { 0, IPListValues("10.0.0.1", "old@a.org") }, { 0, IPListValues("10.0.0.2", "b@b.org") } });
    // What a broken index lets happen: a second row with a key already there.
    Execute(path, "DROP INDEX IPList_primary; INSERT INTO IPList VALUES('10.0.0.1', 'new@a.org', '2024-03-18', '', "
                  "'2024-02-16', 5)");
    Table table(data.database, IPListTableDef());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::InvalidIndexField);
    RepairReport report = table.RepairTable();
    EXPECT_EQ(report.rowsDropped, 1u);
    EXPECT_FALSE(report.backupPath.empty());
    table.Open();
    ASSERT_TRUE(table.FindKey("10.0.0.1"));
    EXPECT_EQ(table.FieldByName("EMails").AsString(), "new@a.org");
    EXPECT_EQ(table.RecordCount(), 2u);
}

TEST(TableRepair, DamageMetWhileOpenClosesTheTableSoTheNextOpenMeetsIt)
{
    TableFolder data;
    std::string path = data.File("IPList");
    auto written = MakeIPListRows(100);
    WriteTableFile(path, IPListTableDef(), written);
    Table table(data.database, IPListTableDef());
    table.Open();
    // Another program spoils the schema under the open table.
    Execute(path, "PRAGMA writable_schema=ON; UPDATE sqlite_schema SET sql='CREATE UNIQUE INDEX broken ON' "
                  "WHERE name='IPList_primary'; PRAGMA schema_version=99");

    int code = EngineCodeOf([&] { (void)table.FindKey("10.0.0.5"); });
    EXPECT_TRUE(IsTableDamageCode(code)) << code;
    EXPECT_FALSE(table.Active());
    EXPECT_TRUE(IsTableDamageCode(EngineCodeOf([&] { table.Open(); })));
    (void)table.RepairTable();
    table.Open();
    EXPECT_TRUE(table.FindKey("10.0.0.5"));
    EXPECT_EQ(ReadRows(path, IPListTableDef()), written);
}

TEST(TableUpgrade, AnOlderFormatIsReportedAndUpgradedWithItsValues)
{
    struct Case {
        const char* name;
        const TableDef& definition;
        std::vector<TableRow> rows;
        const char* dateColumn;
        const char* storedBefore;
        const char* storedAfter;
    };
    const Case cases[] = {
        { "IPList", IPListTableDef(), MakeIPListRows(500), "LastUpdate2", "19769", "2024-02-16" },
        { "IPStats",
          IPStatsTableDef(),
          { { 1, { "10.0.0.1", TableDateTime { kDay, 3600 }, 65535 } },
            { 2, { "10.0.0.2", TableDateTime { kDay, 7 }, 0 } } },
          "LookupTime",
          "1710723600",
          "2024-03-18 01:00:00" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableFolder data;
        std::string path = data.File(c.definition.name);
        WriteTableFile(path, c.definition, c.rows, 1);
        std::string firstValue
            = "SELECT " + std::string(c.dateColumn) + " FROM " + c.definition.name + " WHERE rowid=1";
        EXPECT_EQ(Query(path, firstValue), std::vector<std::string> { c.storedBefore });

        Table table(data.database, c.definition);
        EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::OldVersion);
        table.UpgradeTable();
        table.Open();
        EXPECT_EQ(Query(path, "PRAGMA user_version"), std::vector<std::string> { "2" });
        EXPECT_EQ(Query(path, firstValue), std::vector<std::string> { c.storedAfter });
        EXPECT_EQ(ReadRows(path, c.definition), c.rows);
        if (c.definition.PrimaryKeyIndex()) {
            EXPECT_TRUE(table.FindKey(c.rows.back().values[0].Text()));
        }
        table.Close();
        EXPECT_EQ(ListFolder(data.folder.Path()),
                  (std::vector<std::string> { c.definition.name + ".db", c.definition.name + ".db.lock" }));
    }
}

TEST(TableUpgrade, UpgradingACurrentFileChangesNothing)
{
    TableFolder data;
    std::string path = data.File("IPList");
    auto written = MakeIPListRows(10);
    WriteTableFile(path, IPListTableDef(), written);
    Execute(path, "PRAGMA journal_mode=WAL");
    std::string before = ReadFile(path);
    Table table(data.database, IPListTableDef());
    table.UpgradeTable();
    EXPECT_TRUE(ReadFile(path) == before);
}

TEST(TableUpgrade, ADamagedOldFileComesOutOfRepairInTheCurrentFormat)
{
    TableFolder data;
    std::string path = data.File("IPList");
    auto written = MakeIPListRows(kRowCount);
    WriteTableFile(path, IPListTableDef(), written, 1);
    OverwriteBytes(path, (PagesOf(path, "IPList_primary", "leaf").at(1) - 1) * kPageSize, PageHeaderGarbage());
    Table table(data.database, IPListTableDef());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::IndexPageCorrupt);
    (void)table.RepairTable();
    table.Open();
    EXPECT_EQ(Query(path, "PRAGMA user_version"), std::vector<std::string> { "2" });
    EXPECT_EQ(ReadRows(path, IPListTableDef()), written);
}

TEST(TableFormat, FilesThatAreNotOursOrNewerAreRefusedAndLeftAlone)
{
    struct Case {
        const char* name;
        std::function<void(const std::string& path)> make;
        int code;
    };
    const Case cases[] = {
        { "newer format",
          [](const std::string& path) {
              WriteTableFile(path, IPListTableDef(), MakeIPListRows(5));
              Execute(path, "UPDATE morvanta_format SET format=3; PRAGMA user_version=3");
          },
          TableErrorCode::NewerVersion },
        { "another program's database",
          [](const std::string& path) {
              WriteFile(path, "");
              Execute(path, "CREATE TABLE notes(body TEXT); INSERT INTO notes VALUES('x')");
          },
          TableErrorCode::NotATableFile },
        { "another table's file", [](const std::string& path) { WriteTableFile(path, IPStatsTableDef(), {}); },
          TableErrorCode::NotATableFile },
        { "other fields",
          [](const std::string& path) {
              TableDef shorter { "IPList", { { "IP", FieldType::Text }, { "EMails", FieldType::Text } }, "IP" };
              WriteTableFile(path, shorter, { { 0, { "10.0.0.1", "a@b.org" } } });
          },
          TableErrorCode::StructureMismatch },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableFolder data;
        std::string path = data.File("IPList");
        c.make(path);
        std::string before = ReadFile(path);
        Table table(data.database, IPListTableDef());
        EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), c.code);
        EXPECT_EQ(EngineCodeOf([&] { (void)table.RepairTable(); }), c.code);
        EXPECT_EQ(EngineCodeOf([&] { table.UpgradeTable(); }), c.code);
        EXPECT_TRUE(ReadFile(path) == before) << "the file was changed";
        EXPECT_EQ(ListFolder(data.folder.Path()), (std::vector<std::string> { "IPList.db", "IPList.db.lock" }));
    }
}

TEST(TableFormat, ARepairOrUpgradeNeedsTheTableClosed)
{
    TableFolder data;
    Table table(data.database, IPListTableDef());
    table.Open();
    EXPECT_EQ(EngineCodeOf([&] { (void)table.RepairTable(); }), TableErrorCode::General);
    EXPECT_EQ(EngineCodeOf([&] { table.UpgradeTable(); }), TableErrorCode::General);
}

TEST(TableFormat, AZeroLengthFileIsTakenForANewTable)
{
    TableFolder data;
    WriteFile(data.File("IPList"), "");
    Table table(data.database, IPListTableDef());
    table.Open();
    table.AppendRecord(IPListValues("10.0.0.1", "a@b.org"));
    EXPECT_EQ(ReadRows(data.File("IPList"), IPListTableDef()).size(), 1u);
}

// The codes a repair answers; an older format (12035) is upgraded instead,
// and the rest are shown.
TEST(TableErrorMapping, DamageCodesAreExactlyTheOnesARepairCures)
{
    for (int code : { 8711, 8961, 8962, 8963, 8965, 9217, 9218, 9998, 10023, 10029 }) {
        SCOPED_TRACE(code);
        EXPECT_TRUE(IsTableDamageCode(code));
    }
    for (int code :
         { 8964, 12035, 0, TableErrorCode::General, TableErrorCode::NewerVersion, TableErrorCode::NotATableFile,
           TableErrorCode::StructureMismatch, TableErrorCode::CannotOpen, TableErrorCode::Busy,
           TableErrorCode::ReadOnly, TableErrorCode::KeyViolation, TableErrorCode::BadValue }) {
        SCOPED_TRACE(code);
        EXPECT_FALSE(IsTableDamageCode(code));
    }
}

TEST(TableErrorMapping, SqliteResultsBecomeEngineCodes)
{
    struct Case {
        const char* name;
        int sqlite;
        int engine;
    };
    const Case cases[] = {
        { "not a database", SQLITE_NOTADB, TableErrorCode::HeaderCorrupt },
        { "corrupt", SQLITE_CORRUPT, TableErrorCode::DataRecordCorrupt },
        { "corrupt index", SQLITE_CORRUPT_INDEX, TableErrorCode::IndexPageCorrupt },
        { "read error", SQLITE_IOERR_READ, TableErrorCode::ReadFailed },
        { "short read", SQLITE_IOERR_SHORT_READ, TableErrorCode::ReadFailed },
        { "write error", SQLITE_IOERR_WRITE, TableErrorCode::WriteFailed },
        { "sync error", SQLITE_IOERR_FSYNC, TableErrorCode::WriteFailed },
        { "disk full", SQLITE_FULL, TableErrorCode::WriteFailed },
        { "cannot open", SQLITE_CANTOPEN, TableErrorCode::CannotOpen },
        { "busy", SQLITE_BUSY, TableErrorCode::Busy },
        { "read-only", SQLITE_READONLY, TableErrorCode::ReadOnly },
        { "unique", SQLITE_CONSTRAINT_UNIQUE, TableErrorCode::KeyViolation },
        { "other", SQLITE_ERROR, TableErrorCode::General },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TableErrorFromSqlite(c.sqlite), c.engine);
    }
}

TEST(TableErrorMapping, ADiagnosedCodeKeepsTheTableAndTheDetailOfTheMessage)
{
    TableError error(TableErrorCode::DataRecordCorrupt, "table IPList (/x/IPList.db)", "page 7 is damaged");
    EXPECT_STREQ(error.what(), "Data record buffers corrupt in table IPList (/x/IPList.db): page 7 is damaged");
    TableError diagnosed = error.WithCode(TableErrorCode::IndexPageCorrupt);
    EXPECT_EQ(diagnosed.code(), TableErrorCode::IndexPageCorrupt);
    EXPECT_STREQ(diagnosed.what(), "Index page buffers corrupt in table IPList (/x/IPList.db): page 7 is damaged");
    EXPECT_EQ(diagnosed.detail(), "page 7 is damaged");
}

TEST(TableErrorMapping, AWriteProtectedTableOpensButRefusesWritesClearly)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(3));
    ASSERT_EQ(chmod(path.c_str(), 0444), 0);
    ASSERT_EQ(chmod(data.folder.Path().c_str(), 0777), 0);

    // 0: refused as it should be; anything else names the step that went wrong.
    auto attemptWrite = [&]() -> int {
        Table table(data.database, IPListTableDef());
        table.Open();
        if (!table.FindKey("10.0.0.2"))
            return 2;
        table.Edit();
        table.FieldByName("Reports").SetAsInteger(9);
        int code = EngineCodeOf([&] { table.Post(); });
        return code == TableErrorCode::ReadOnly || code == TableErrorCode::CannotOpen ? 0 : 3;
    };
    if (geteuid() != 0) {
        EXPECT_EQ(attemptWrite(), 0);
        return;
    }
    // Root may write to write-protected files, so the attempt runs as a user
    // without that right.
    EXPECT_EXIT(
        {
            if (setgid(54321) != 0 || setuid(54321) != 0)
                _exit(4);
            _exit(attemptWrite());
        },
        ::testing::ExitedWithCode(0), "");
}

} // namespace
} // namespace morvanta::test
