#include "fixtures/ForkedChild.h"
#include "fixtures/TableFiles.h"

#include <chrono>
#include <optional>
#include <thread>

namespace morvanta::test {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

constexpr std::uint64_t kPageSize = 4096;

std::int64_t MillisecondsSince(Clock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

// Opens the table in this process on a database of its own, does the work
// and closes it, as a program that used it and ended well.
void UseAndClose(const std::string& folder, const std::function<void(Table&)>& work = {},
                 std::chrono::milliseconds waitLimit = kTableWaitLimit)
{
    Database database;
    database.SetFolder(folder);
    database.SetWaitLimit(waitLimit);
    database.Connect();
    Table table(database, IPListTableDef());
    table.Open();
    if (work)
        work(table);
}

// The whole-file check is what makes opening cost grow with the file, so it
// runs only when no clean close of ours vouches for the file as it is.
TEST(TableOpening, ChecksTheWholeFileOnlyWhenNothingVouchesForIt)
{
    struct Case {
        const char* name;
        // May return another program's opening, kept while the file opens.
        std::function<std::optional<OpenedTableFile>(TableFolder&)> before;
        bool checked;
    };
    const Case cases[] = {
        { "as this program wrote it", [](TableFolder&) { return std::nullopt; }, false },
        { "closed cleanly after use",
          [](TableFolder& data) {
              UseAndClose(data.folder.Path(),
                          [](Table& table) { table.AppendRecord(IPListValues("192.0.2.1", "a@b.org")); });
              return std::nullopt;
          },
          false },
        { "changed by a program that keeps no lock",
          [](TableFolder& data) {
              Execute(data.File("IPList"), "UPDATE IPList SET Reports=9 WHERE rowid=1");
              return std::nullopt;
          },
          true },
        { "left by a program that was killed while writing",
          [](TableFolder& data) {
              bool killed = RunInChildAndKill(data.folder.Path(), [](Database& database) {
                  OpenTables tables;
                  tables.push_back(std::make_unique<Table>(database, IPListTableDef()));
                  tables[0]->Open();
                  tables[0]->AppendRecord(IPListValues("192.0.2.1", "a@b.org"));
                  return tables;
              });
              EXPECT_TRUE(killed);
              EXPECT_TRUE(PathExists(data.File("IPList") + "-wal"));
              return std::nullopt;
          },
          true },
        { "with a journal beside it",
          [](TableFolder& data) {
              WriteFile(data.File("IPList") + "-journal", "");
              return std::nullopt;
          },
          true },
        { "where another program met damage",
          [](TableFolder& data) {
              TableFileLock lock = TableFileLock::ForUse(data.File("IPList"), "IPList", 1s);
              lock.MarkSuspect();
              return std::nullopt;
          },
          true },
        { "whose record was lost",
          [](TableFolder& data) {
              TruncateFile(data.File("IPList") + ".lock", 0);
              return std::nullopt;
          },
          true },
        { "changed while another program has it open, which vouches for it",
          [](TableFolder& data) {
              std::optional<OpenedTableFile> other = OpenTableFile(data.File("IPList"), IPListTableDef());
              Execute(data.File("IPList"), "UPDATE IPList SET Reports=9 WHERE rowid=1");
              return other;
          },
          false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableFolder data;
        WriteTableFile(data.File("IPList"), IPListTableDef(), MakeIPListRows(200));
        std::optional<OpenedTableFile> other = c.before(data);
        OpenedTableFile opened = OpenTableFile(data.File("IPList"), IPListTableDef());
        EXPECT_EQ(opened.checked, c.checked);
    }
}

TEST(TableOpening, AFileFoundSoundIsNotCheckedAgainAfterAUseEndedCleanly)
{
    TableFolder data;
    WriteTableFile(data.File("IPList"), IPListTableDef(), MakeIPListRows(50));
    Execute(data.File("IPList"), "UPDATE IPList SET Reports=9 WHERE rowid=1");
    UseAndClose(data.folder.Path());
    EXPECT_FALSE(OpenTableFile(data.File("IPList"), IPListTableDef()).checked);
}

// File systems stamp changes with a coarse clock: damage done in the same
// moment as our clean close must still be found.
TEST(TableOpening, DamageDoneRightAfterACleanCloseIsFound)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(2000));
    auto indexLeaf = PagesOf(path, "IPList_primary", "leaf").at(2);
    for (int round = 0; round < 5; ++round) {
        SCOPED_TRACE(round);
        UseAndClose(data.folder.Path());
        OverwriteBytes(path, (indexLeaf - 1) * kPageSize, std::string(12, static_cast<char>(0xf0 + round)));
        Table table(data.database, IPListTableDef());
        EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::IndexPageCorrupt);
        ASSERT_EQ(table.RepairTable().action, RepairReport::Action::Rebuilt);
        indexLeaf = PagesOf(path, "IPList_primary", "leaf").at(2);
    }
}

TEST(TableLocking, AnOpeningWaitsForARepairInAnotherProgramAndGetsTheRepairedFile)
{
    TableFolder data;
    std::string path = data.File("IPList");
    auto written = MakeIPListRows(500);
    WriteTableFile(path, IPListTableDef(), written);
    OverwriteBytes(path, 0, std::string(100, '\xa5'));

    ForkedChild repairer([&](ChildLink& link) {
        TableMaintenance maintenance(path, IPListTableDef());
        link.Report();
        std::this_thread::sleep_for(300ms);
        if (maintenance.Repair().action != RepairReport::Action::Salvaged)
            throw std::runtime_error("the repair did not salvage");
    });
    ASSERT_TRUE(repairer.WaitForReport());
    auto start = Clock::now();
    Table table(data.database, IPListTableDef());
    table.Open(); // the damaged header would fail it
    EXPECT_GE(MillisecondsSince(start), 200);
    EXPECT_EQ(repairer.Finish(), "");
    EXPECT_EQ(table.RecordCount(), written.size());
    EXPECT_TRUE(table.FindKey(written.back().values[0].Text()));
    auto files = ListFolder(data.folder.Path());
    EXPECT_EQ(std::count_if(files.begin(), files.end(),
                            [](const std::string& name) { return name.starts_with("IPList.db.bak-"); }),
              1);
}

TEST(TableLocking, ARepairWaitsForAnotherProgramToCloseTheTable)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(50));
    ForkedChild user([&](ChildLink& link) {
        UseAndClose(data.folder.Path(), [&](Table& table) {
            link.Report();
            std::this_thread::sleep_for(300ms);
            table.AppendRecord(IPListValues("192.0.2.77", "last@b.org"));
        });
    });
    ASSERT_TRUE(user.WaitForReport());
    auto start = Clock::now();
    RepairReport report = RepairTableFile(path, IPListTableDef());
    EXPECT_GE(MillisecondsSince(start), 200);
    EXPECT_EQ(user.Finish(), "");
    EXPECT_EQ(report.action, RepairReport::Action::Rebuilt);
    EXPECT_EQ(report.rowsKept, 51u);
}

TEST(TableLocking, AWaitThatRunsOutEndsInAClearBusyError)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(5));
    struct Case {
        const char* name;
        std::function<void(ChildLink&)> other;
        std::function<void()> attempt;
        std::string detail;
    };
    const Case cases[] = {
        { "opening during a repair",
          [&](ChildLink& link) {
              TableMaintenance maintenance(path, IPListTableDef());
              link.Report();
              link.AwaitContinue();
          },
          [&] { (void)OpenTableFile(path, IPListTableDef(), VersionCheck::RequireCurrent, 200ms); },
          "another program has been repairing or upgrading it for more than 200 ms" },
        { "repairing while another program has the table open",
          [&](ChildLink& link) {
              OpenedTableFile opened = OpenTableFile(path, IPListTableDef());
              link.Report();
              link.AwaitContinue();
          },
          [&] { (void)RepairTableFile(path, IPListTableDef(), 200ms); },
          "another program kept it open for more than 200 ms; it must be closed for the table to be repaired or "
          "upgraded" },
        { "writing while another program's write goes on",
          [&](ChildLink& link) {
              UseAndClose(data.folder.Path(), [&](Table& table) {
                  table.StartTransaction();
                  table.AppendRecord(IPListValues("192.0.2.1", "a@b.org"));
                  link.Report();
                  link.AwaitContinue();
                  table.Commit();
              });
          },
          [&] {
              UseAndClose(
                  data.folder.Path(), [](Table& table) { table.AppendRecord(IPListValues("192.0.2.2", "c@d.org")); },
                  200ms);
          },
          "another program kept it locked for more than 200 ms (database is locked)" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ForkedChild other(c.other);
        ASSERT_TRUE(other.WaitForReport());
        try {
            c.attempt();
            ADD_FAILURE() << "no error";
        } catch (const TableError& error) {
            EXPECT_EQ(error.code(), TableErrorCode::Busy);
            EXPECT_EQ(std::string(error.what()),
                      "The table is locked by another program in table IPList (" + path + "): " + c.detail);
        }
        other.Continue();
        EXPECT_EQ(other.Finish(), "");
    }
}

TEST(TableLocking, AWriteWaitsForAnotherProgramsWriteToEnd)
{
    TableFolder data;
    WriteTableFile(data.File("IPList"), IPListTableDef(), {});
    ForkedChild other([&](ChildLink& link) {
        UseAndClose(data.folder.Path(), [&](Table& table) {
            table.StartTransaction();
            table.AppendRecord(IPListValues("192.0.2.1", "a@b.org"));
            link.Report();
            std::this_thread::sleep_for(300ms);
            table.Commit();
        });
    });
    ASSERT_TRUE(other.WaitForReport());
    Table table(data.database, IPListTableDef());
    table.Open();
    auto start = Clock::now();
    table.AppendRecord(IPListValues("192.0.2.2", "c@d.org"));
    EXPECT_GE(MillisecondsSince(start), 200);
    EXPECT_EQ(other.Finish(), "");
    EXPECT_EQ(Query(data.File("IPList"), "SELECT IP FROM IPList ORDER BY rowid"),
              (std::vector<std::string> { "192.0.2.1", "192.0.2.2" }));
}

// A killed program leaves no lock behind: the kernel drops it.
TEST(TableLocking, AProgramKilledDuringARepairLeavesTheTableFree)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(5));
    {
        ForkedChild repairer([&](ChildLink& link) {
            TableMaintenance maintenance(path, IPListTableDef());
            link.Report();
            link.AwaitContinue();
        });
        ASSERT_TRUE(repairer.WaitForReport());
    } // killed here
    EXPECT_EQ(OpenTableFile(path, IPListTableDef(), VersionCheck::RequireCurrent, 1s).format, kCurrentTableFormat);
}

TEST(TableRepair, KeepsTheNewestThreeBackupsOfTheTable)
{
    TableFolder data;
    std::string path = data.File("IPList");
    WriteTableFile(path, IPListTableDef(), MakeIPListRows(20));
    const char* older[] = {
        "IPList.db.bak-20200101-000000",
        "IPList.db.bak-20200101-000000-wal",
        "IPList.db.bak-20210101-000000",
        "IPList.db.bak-20220101-000000",
        "IPList.db.bak-20220101-000000-2",
        "IPList.db.bak-20220101-000000-10",
        "IPList.db.bak-20220101-000000-10-journal",
    };
    const char* others[] = { "IPList.db.bak-notes", "IPStats.db.bak-20190101-000000", "IPList.db.bak-2019-old" };
    for (const char* name : older)
        WriteFile(data.folder / name, "old");
    for (const char* name : others)
        WriteFile(data.folder / name, "other");
    OverwriteBytes(path, 0, std::string(100, '\0'));

    Table table(data.database, IPListTableDef());
    RepairReport report = table.RepairTable();
    ASSERT_EQ(report.action, RepairReport::Action::Salvaged);

    std::vector<std::string> expected { "IPList.db",
                                        "IPList.db.bak-20220101-000000-10",
                                        "IPList.db.bak-20220101-000000-10-journal",
                                        "IPList.db.bak-20220101-000000-2",
                                        "IPList.db.bak-2019-old",
                                        "IPList.db.bak-notes",
                                        report.backupPath.substr(data.folder.Path().size()),
                                        "IPList.db.lock",
                                        "IPStats.db.bak-20190101-000000" };
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(ListFolder(data.folder.Path()), expected);
}

} // namespace
} // namespace morvanta::test
