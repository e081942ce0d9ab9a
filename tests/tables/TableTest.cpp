#include "fixtures/TableFiles.h"

#include <algorithm>

namespace morvanta::test {
namespace {

const TableDateTime kLookupTime { kDay, 14 * 3600 + 5 * 60 + 9 };

class TableTest : public ::testing::Test {
protected:
    // IPList with rows of the given address lists, keys 10.0.0.1, 10.0.0.2, ...
    void FillIPList(const std::vector<std::string>& lists)
    {
        std::vector<TableRow> rows;
        for (size_t i = 0; i < lists.size(); ++i)
            rows.push_back({ 0, IPListValues("10.0.0." + std::to_string(i + 1), lists[i]) });
        WriteTableFile(data.File("IPList"), IPListTableDef(), rows);
        list.Open();
    }

    // The EMails of every row the walk visits from First to Eof.
    std::vector<std::string> Walk()
    {
        std::vector<std::string> seen;
        for (list.First(); !list.Eof(); list.Next())
            seen.push_back(list.FieldByName("EMails").AsString());
        return seen;
    }

    std::vector<std::string> StoredLists()
    {
        std::vector<std::string> lists;
        for (const auto& row : ReadRows(data.File("IPList"), IPListTableDef()))
            lists.push_back(row.values[1].IsNull() ? "<null>" : row.values[1].Text());
        return lists;
    }

    TableFolder data;
    Table list { data.database, IPListTableDef() };
};

TEST_F(TableTest, OpeningAMissingTableCreatesItEmptyWithItsFieldsInOrder)
{
    Table stats(data.database, IPStatsTableDef());
    list.Open();
    stats.Open();
    EXPECT_EQ(Query(data.File("IPList"), "SELECT name FROM pragma_table_info('IPList')"),
              (std::vector<std::string> { "IP", "EMails", "LastUpdate", "EMails2", "LastUpdate2", "Reports" }));
    EXPECT_EQ(Query(data.File("IPStats"), "SELECT name FROM pragma_table_info('IPStats')"),
              (std::vector<std::string> { "IP", "LookupTime", "MessageFileIndex" }));
    EXPECT_EQ(Query(data.File("IPList"), "PRAGMA user_version"), std::vector<std::string> { "2" });
    EXPECT_EQ(list.RecordCount(), 0u);
    EXPECT_TRUE(list.Eof());
    EXPECT_TRUE(list.FieldByName("EMails").IsNull());
}

TEST_F(TableTest, FindKeyMakesTheFoundRowCurrentAndKeepsTheRowWhenNotFound)
{
    auto rows = MakeIPListRows(300);
    WriteTableFile(data.File("IPList"), IPListTableDef(), rows);
    list.Open();

    ASSERT_TRUE(list.FindKey(rows[150].values[0].Text()));
    for (size_t i = 0; i < rows[150].values.size(); ++i)
        EXPECT_EQ(list.Fields(i).Value(), rows[150].values[i]) << list.Fields(i).FieldName();

    EXPECT_FALSE(list.FindKey("10.9.9.9"));
    EXPECT_EQ(list.FieldByName("IP").AsString(), rows[150].values[0].Text());
}

TEST_F(TableTest, PrimaryKeysListsEveryKeyAndLeavesTheCurrentRow)
{
    auto rows = MakeIPListRows(300);
    WriteTableFile(data.File("IPList"), IPListTableDef(), rows);
    list.Open();
    ASSERT_TRUE(list.FindKey(rows[7].values[0].Text()));

    std::vector<std::string> keys = list.PrimaryKeys();
    std::vector<std::string> expected;
    for (const auto& row : rows)
        expected.push_back(row.values[0].Text());
    std::sort(keys.begin(), keys.end());
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(keys, expected);
    EXPECT_EQ(list.FieldByName("IP").AsString(), rows[7].values[0].Text());
}

TEST_F(TableTest, FieldNamesMatchIgnoringLetterCase)
{
    EXPECT_EQ(&list.FieldByName("emails"), &list.FieldByName("EMails"));
    EXPECT_EQ(&list.FieldByName("EMAILS"), &list.FieldByName("EMails"));
    EXPECT_EQ(list.FieldByName("lastupdate2").FieldName(), "LastUpdate2");
    EXPECT_EQ(EngineCodeOf([&] { (void)list.FieldByName("EMail"); }), TableErrorCode::FieldNotFound);
}

TEST_F(TableTest, PostWritesTheEditedRowToTheFile)
{
    FillIPList({ "a@b.org", "c@d.org" });
    ASSERT_TRUE(list.FindKey("10.0.0.2"));
    list.Edit();
    list.FieldByName("emails").SetAsString("e@f.org");
    list.FieldByName("LastUpdate").SetAsDate(TableDate { kDay + 3 });
    list.FieldByName("Reports").SetAsInteger(list.FieldByName("Reports").AsInteger() + 1);
    list.Post();
    list.FlushBuffers();
    EXPECT_EQ(list.State(), TableState::Browse);

    auto rows = ReadRows(data.File("IPList"), IPListTableDef());
    EXPECT_EQ(rows[1].values, IPListValues("10.0.0.2", "e@f.org", kDay + 3, "", kDay - 31, 2));
    EXPECT_EQ(rows[0].values, IPListValues("10.0.0.1", "a@b.org"));
}

TEST_F(TableTest, CancelRestoresTheRowAsItWas)
{
    FillIPList({ "a@b.org" });
    list.Edit();
    list.FieldByName("EMails").SetAsString("changed");
    list.Cancel();
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "a@b.org");
    list.FlushBuffers();
    EXPECT_EQ(StoredLists(), std::vector<std::string> { "a@b.org" });
}

TEST_F(TableTest, FieldsAreWrittenOnlyInEditMode)
{
    FillIPList({ "a@b.org" });
    EXPECT_EQ(EngineCodeOf([&] { list.FieldByName("EMails").SetAsString("x"); }), TableErrorCode::NotEditing);
    list.Close();
    EXPECT_EQ(EngineCodeOf([&] { (void)list.FieldByName("EMails").AsString(); }), TableErrorCode::NotActive);
}

TEST_F(TableTest, EditNeedsACurrentRow)
{
    list.Open();
    EXPECT_EQ(EngineCodeOf([&] { list.Edit(); }), TableErrorCode::NoCurrentRecord);
}

TEST_F(TableTest, PostOfAnotherRowsKeyFailsAndStaysInEdit)
{
    FillIPList({ "a@b.org", "c@d.org" });
    ASSERT_TRUE(list.FindKey("10.0.0.2"));
    list.Edit();
    list.FieldByName("IP").SetAsString("10.0.0.1");
    EXPECT_EQ(EngineCodeOf([&] { list.Post(); }), TableErrorCode::KeyViolation);
    EXPECT_EQ(list.State(), TableState::Edit);
    list.Cancel();
    EXPECT_EQ(ReadRows(data.File("IPList"), IPListTableDef())[1].values[0], TableValue("10.0.0.2"));
}

TEST_F(TableTest, AppendRecordStoresAllValuesInFieldOrderAndMakesTheRowCurrent)
{
    Table stats(data.database, IPStatsTableDef());
    stats.Open();
    stats.AppendRecord({ "192.0.2.7", kLookupTime, 65535 });
    EXPECT_EQ(stats.FieldByName("messagefileindex").AsInteger(), 65535);
    EXPECT_EQ(stats.FieldByName("LookupTime").AsString(), "2024-03-18 14:05:09");
    stats.FlushBuffers();

    auto rows = ReadRows(data.File("IPStats"), IPStatsTableDef());
    ASSERT_EQ(rows.size(), 1u);
    EXPECT_EQ(rows[0].values, (std::vector<TableValue> { "192.0.2.7", kLookupTime, 65535 }));
    EXPECT_EQ(Query(data.File("IPStats"), "SELECT LookupTime FROM IPStats"),
              std::vector<std::string> { "2024-03-18 14:05:09" });
}

TEST_F(TableTest, AppendRecordRefusesValuesThatDoNotFitAndWritesNothing)
{
    struct Case {
        const char* name;
        std::vector<TableValue> values;
        int code;
    };
    const Case cases[] = {
        { "too few values", { "10.0.0.1", "a@b.org" }, TableErrorCode::BadValue },
        { "too many values",
          { "10.0.0.1", "a", TableDate { kDay }, "", TableDate { kDay }, 1, 2 },
          TableErrorCode::BadValue },
        { "date given as text",
          { "10.0.0.1", "a", "2024-03-18", "", TableDate { kDay }, 1 },
          TableErrorCode::BadValue },
        { "number for a text", { 10, "a", TableDate { kDay }, "", TableDate { kDay }, 1 }, TableErrorCode::BadValue },
        { "year 10000",
          { "10.0.0.1", "a", TableDate { 2932897 }, "", TableDate { kDay }, 1 },
          TableErrorCode::BadValue },
        { "day number far outside",
          { "10.0.0.1", "a", TableDate { 2147483000 }, "", TableDate { kDay }, 1 },
          TableErrorCode::BadValue },
        { "key already there", IPListValues("10.0.0.9", "b"), TableErrorCode::KeyViolation },
    };
    FillIPList({});
    list.AppendRecord(IPListValues("10.0.0.9", "a"));
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EngineCodeOf([&] { list.AppendRecord(c.values); }), c.code);
        EXPECT_EQ(list.RecordCount(), 1u);
    }
    EXPECT_EQ(StoredLists(), std::vector<std::string> { "a" });
}

TEST_F(TableTest, FieldsConvertBetweenTextAndTheirType)
{
    FillIPList({ "a@b.org" });
    EXPECT_EQ(list.FieldByName("LastUpdate").AsString(), "2024-03-18");
    EXPECT_EQ(list.FieldByName("Reports").AsString(), "1");
    EXPECT_EQ(list.FieldByName("LastUpdate").AsDateTime(), (TableDateTime { kDay, 0 }));

    list.Edit();
    list.FieldByName("LastUpdate").SetAsString("2024-03-19");
    EXPECT_EQ(list.FieldByName("LastUpdate").AsDate(), TableDate { kDay + 1 });
    list.FieldByName("LastUpdate2").SetAsDateTime(kLookupTime);
    EXPECT_EQ(list.FieldByName("LastUpdate2").AsDate(), TableDate { kDay });
    list.FieldByName("Reports").SetAsString("41");
    EXPECT_EQ(list.FieldByName("Reports").AsInteger(), 41);

    struct Case {
        const char* name;
        std::function<void()> write;
    };
    const Case refused[] = {
        { "text into an integer", [&] { list.FieldByName("Reports").SetAsString("4x"); } },
        { "empty text into an integer", [&] { list.FieldByName("Reports").SetAsString(""); } },
        { "text into a date", [&] { list.FieldByName("LastUpdate").SetAsString("18.03.2024"); } },
        { "integer into a date", [&] { list.FieldByName("LastUpdate").SetAsInteger(5); } },
        { "date into an integer", [&] { list.FieldByName("Reports").SetAsDate(TableDate { 1 }); } },
    };
    for (const auto& c : refused) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EngineCodeOf(c.write), TableErrorCode::BadValue);
    }
    EXPECT_EQ(list.FieldByName("Reports").AsInteger(), 41);
    EXPECT_EQ(list.FieldByName("LastUpdate").AsDate(), TableDate { kDay + 1 });

    list.FieldByName("EMails").Clear();
    list.FieldByName("LastUpdate").Clear();
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "");
    EXPECT_EQ(list.FieldByName("LastUpdate").AsDate(), TableDate { 0 });
    list.Post();
    EXPECT_EQ(StoredLists(), std::vector<std::string> { "<null>" });
}

TEST_F(TableTest, TheWalkVisitsEveryRowOnceInTheOrderTheyWereAdded)
{
    FillIPList({ "e", "d", "c", "b", "a" });
    EXPECT_EQ(Walk(), (std::vector<std::string> { "e", "d", "c", "b", "a" }));
    list.Next();
    EXPECT_TRUE(list.Eof());
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "a");
}

TEST_F(TableTest, OpeningMakesTheFirstRowCurrent)
{
    FillIPList({ "first", "second" });
    EXPECT_FALSE(list.Eof());
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "first");
}

TEST_F(TableTest, AContainsFilterSelectsRowsHoldingTheTextAsItIs)
{
    FillIPList({ "x@y.com", "a@b.org,ax@y.com", "b@c.org", "X@Y.COM", "q@r.org,x@y.com,s@t.org" });
    list.SetFilter(R"(Emails LIKE "%x@y.com%")");
    list.SetFiltered(true);
    EXPECT_EQ(Walk(), (std::vector<std::string> { "x@y.com", "a@b.org,ax@y.com", "q@r.org,x@y.com,s@t.org" }));
    EXPECT_EQ(list.RecordCount(), 3u);

    list.SetFiltered(false);
    EXPECT_EQ(list.RecordCount(), 5u);
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "x@y.com");
}

TEST_F(TableTest, UnderscoreAndPercentInTheFilterTextAreNoWildcards)
{
    FillIPList({ "a_b@c.org", "axb@c.org", "a%b@c.org", "a-long-b@c.org" });
    list.SetFiltered(true);
    list.SetFilter(R"(Emails LIKE "%a_b@c.org%")");
    EXPECT_EQ(Walk(), std::vector<std::string> { "a_b@c.org" });
    list.SetFilter(R"(Emails LIKE "%a%b@c.org%")");
    EXPECT_EQ(Walk(), std::vector<std::string> { "a%b@c.org" });
}

TEST_F(TableTest, TheFilteredWalkEndsWhenARewrittenRowStillMatches)
{
    FillIPList({ "a_b@c.org", "z@z.org", "k@l.org,a_b@c.org" });
    list.SetFilter(R"(Emails LIKE "%a_b@c.org%")");
    list.SetFiltered(true);
    int visits = 0;
    while (!list.Eof() && visits < 100) {
        ++visits;
        list.Edit();
        list.FieldByName("EMails").SetAsString(list.FieldByName("EMails").AsString() + ",axb@c.org,a_b@c.org");
        list.Post();
        list.Next();
    }
    EXPECT_EQ(visits, 2);
    EXPECT_EQ(StoredLists(), (std::vector<std::string> { "a_b@c.org,axb@c.org,a_b@c.org", "z@z.org",
                                                         "k@l.org,a_b@c.org,axb@c.org,a_b@c.org" }));
}

TEST_F(TableTest, APostedRowStaysCurrentUntilNextSoEveryLeadingCommaCanGo)
{
    FillIPList({ ",,a@b.org", "c@d.org", ",e@f.org", ",", "g@h.org," });
    list.SetFilter(R"(Emails LIKE ",%")");
    list.SetFiltered(true);
    int visits = 0;
    while (!list.Eof() && visits < 100) {
        ++visits;
        while (list.FieldByName("EMails").AsString().starts_with(",")) {
            list.Edit();
            list.FieldByName("EMails").SetAsString(list.FieldByName("EMails").AsString().substr(1));
            list.Post();
        }
        list.Next();
    }
    list.FlushBuffers();
    list.SetFiltered(false);
    list.Refresh();
    EXPECT_EQ(visits, 3);
    EXPECT_EQ(StoredLists(), (std::vector<std::string> { "a@b.org", "c@d.org", "e@f.org", "", "g@h.org," }));
}

TEST_F(TableTest, RowsAddedByOthersDuringAWalkWaitForTheNextWalk)
{
    FillIPList({ "a", "b" });
    Database otherDatabase;
    otherDatabase.SetFolder(data.folder.Path());
    otherDatabase.Connect();
    Table other(otherDatabase, IPListTableDef());
    other.Open();

    list.First();
    other.AppendRecord(IPListValues("10.0.0.3", "c"));
    std::vector<std::string> seen;
    for (; !list.Eof(); list.Next())
        seen.push_back(list.FieldByName("EMails").AsString());
    EXPECT_EQ(seen, (std::vector<std::string> { "a", "b" }));
    EXPECT_EQ(Walk(), (std::vector<std::string> { "a", "b", "c" }));
}

TEST_F(TableTest, AnInvalidFilterIsRefusedAndTheOldOneStays)
{
    FillIPList({ "x@y.com", "b@c.org" });
    list.SetFilter(R"(Emails LIKE "%x@y.com%")");
    list.SetFiltered(true);
    EXPECT_EQ(EngineCodeOf([&] { list.SetFilter("Emails = 'b@c.org'"); }), TableErrorCode::BadFilter);
    EXPECT_EQ(list.Filter(), R"(Emails LIKE "%x@y.com%")");
    EXPECT_EQ(list.RecordCount(), 1u);
}

TEST_F(TableTest, AFilterAlsoLimitsFindKey)
{
    FillIPList({ "x@y.com", "b@c.org" });
    list.SetFilter(R"(Emails LIKE "%x@y.com%")");
    list.SetFiltered(true);
    EXPECT_TRUE(list.FindKey("10.0.0.1"));
    EXPECT_FALSE(list.FindKey("10.0.0.2"));
}

TEST_F(TableTest, RefreshReadsWhatAnotherProcessChanged)
{
    FillIPList({ "a@b.org", "c@d.org", "x@y.com" });
    Database otherDatabase;
    otherDatabase.SetFolder(data.folder.Path());
    otherDatabase.Connect();
    Table other(otherDatabase, IPListTableDef());
    other.Open();

    ASSERT_TRUE(list.FindKey("10.0.0.1"));
    ASSERT_TRUE(other.FindKey("10.0.0.1"));
    other.Edit();
    other.FieldByName("EMails").SetAsString("new@b.org");
    other.Post();
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "a@b.org");
    list.Refresh();
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "new@b.org");

    // A row that left the filtered view gives way to the next one in it.
    list.SetFilter(R"(Emails LIKE "%.org%")");
    list.SetFiltered(true);
    ASSERT_EQ(list.FieldByName("IP").AsString(), "10.0.0.1");
    other.Edit();
    other.FieldByName("EMails").SetAsString("gone@b.net");
    other.Post();
    list.Refresh();
    EXPECT_EQ(list.FieldByName("IP").AsString(), "10.0.0.2");
}

TEST_F(TableTest, PostFailsClearlyWhenAnotherProcessRemovedTheRow)
{
    FillIPList({ "a@b.org" });
    Execute(data.File("IPList"), "DELETE FROM IPList");
    list.Edit();
    list.FieldByName("EMails").SetAsString("c@d.org");
    EXPECT_EQ(EngineCodeOf([&] { list.Post(); }), TableErrorCode::RecordDeleted);
}

TEST_F(TableTest, ATransactionWritesAtCommitAndNothingWhenItsScopeEndsWithout)
{
    FillIPList({ "a@b.org", "c@d.org" });
    auto writeInTransaction = [&](bool commit) {
        TableTransaction transaction(list);
        ASSERT_TRUE(list.FindKey("10.0.0.2"));
        list.Edit();
        list.FieldByName("EMails").SetAsString("edited@d.org");
        list.Post();
        list.AppendRecord(IPListValues("10.0.0.3", "new@e.org"));
        // Nothing reaches the file before the commit.
        EXPECT_EQ(StoredLists(), (std::vector<std::string> { "a@b.org", "c@d.org" }));
        if (commit)
            transaction.Commit();
    };

    writeInTransaction(false);
    EXPECT_FALSE(list.InTransaction());
    EXPECT_EQ(StoredLists(), (std::vector<std::string> { "a@b.org", "c@d.org" }));
    // The row appended and rolled back is no longer current.
    EXPECT_TRUE(list.Eof());
    ASSERT_TRUE(list.FindKey("10.0.0.2"));
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "c@d.org");

    writeInTransaction(true);
    EXPECT_EQ(StoredLists(), (std::vector<std::string> { "a@b.org", "edited@d.org", "new@e.org" }));
}

TEST_F(TableTest, ARolledBackEditLeavesTheRowAsTheFileHasIt)
{
    FillIPList({ "a@b.org" });
    list.StartTransaction();
    list.Edit();
    list.FieldByName("EMails").SetAsString("posted@b.org");
    list.Post();
    list.Edit();
    list.FieldByName("EMails").SetAsString("pending@b.org");
    list.Rollback();
    EXPECT_EQ(list.State(), TableState::Browse);
    EXPECT_EQ(list.FieldByName("EMails").AsString(), "a@b.org");
}

TEST_F(TableTest, TransactionsDoNotNestAndNeedAnOpenTable)
{
    Table closed(data.database, IPStatsTableDef());
    EXPECT_EQ(EngineCodeOf([&] { closed.StartTransaction(); }), TableErrorCode::NotActive);
    FillIPList({ "a@b.org" });
    EXPECT_EQ(EngineCodeOf([&] { list.Commit(); }), TableErrorCode::General);
    list.StartTransaction();
    EXPECT_EQ(EngineCodeOf([&] { list.StartTransaction(); }), TableErrorCode::General);
    list.AppendRecord(IPListValues("10.0.0.2", "c@d.org"));
    // Closing the table ends the transaction without its writes.
    list.Close();
    EXPECT_FALSE(list.InTransaction());
    EXPECT_EQ(StoredLists(), std::vector<std::string> { "a@b.org" });
}

// A read and the write that depends on it, in one transaction, keep another
// program's write of the same row out from between them.
TEST_F(TableTest, AnotherProgramsWriteWaitsForTheTransactionAndGivesUpClearly)
{
    FillIPList({ "a@b.org" });
    Database otherDatabase;
    otherDatabase.SetFolder(data.folder.Path());
    otherDatabase.SetWaitLimit(std::chrono::milliseconds(100));
    otherDatabase.Connect();
    Table other(otherDatabase, IPListTableDef());
    other.Open();

    list.StartTransaction();
    ASSERT_TRUE(list.FindKey("10.0.0.1"));
    ASSERT_TRUE(other.FindKey("10.0.0.1"));
    other.Edit();
    other.FieldByName("Reports").SetAsInteger(50);
    try {
        other.Post();
        ADD_FAILURE() << "the other program wrote into the transaction";
    } catch (const TableError& error) {
        EXPECT_EQ(error.code(), TableErrorCode::Busy);
        EXPECT_EQ(error.detail(), "another program kept it locked for more than 100 ms (database is locked)");
    }
    list.Edit();
    list.FieldByName("Reports").SetAsInteger(list.FieldByName("Reports").AsInteger() + 1);
    list.Commit();
    EXPECT_EQ(Query(data.File("IPList"), "SELECT Reports FROM IPList"), std::vector<std::string> { "2" });
}

// The child is killed with its tables open, so nothing it held back could be
// written after the calls returned.
TEST(TableDurability, WhatAReturnedPostOrAppendWroteSurvivesKill9)
{
    TableFolder data;
    WriteTableFile(data.File("IPList"), IPListTableDef(), { { 0, IPListValues("192.0.2.1", "a@b.org") } });
    bool killed = RunInChildAndKill(data.folder.Path(), [](Database& database) {
        OpenTables tables;
        tables.push_back(std::make_unique<Table>(database, IPListTableDef()));
        tables.push_back(std::make_unique<Table>(database, IPStatsTableDef()));
        Table& list = *tables[0];
        Table& stats = *tables[1];
        list.Open();
        stats.Open();
        if (!list.FindKey("192.0.2.1"))
            throw std::runtime_error("row not found");
        list.Edit();
        list.FieldByName("Reports").SetAsInteger(7);
        list.Post();
        list.FlushBuffers();
        list.AppendRecord(IPListValues("192.0.2.2", "c@d.org"));
        list.FlushBuffers();
        stats.AppendRecord({ "192.0.2.1", kLookupTime, 65535 });
        stats.FlushBuffers();
        return tables;
    });
    ASSERT_TRUE(killed) << "the child failed";
    ASSERT_TRUE(PathExists(data.File("IPList") + "-wal")) << "the child should have died with the tables open";

    Table list(data.database, IPListTableDef());
    Table stats(data.database, IPStatsTableDef());
    list.Open();
    stats.Open();
    ASSERT_TRUE(list.FindKey("192.0.2.1"));
    EXPECT_EQ(list.FieldByName("Reports").AsInteger(), 7);
    EXPECT_TRUE(list.FindKey("192.0.2.2"));
    ASSERT_EQ(stats.RecordCount(), 1u);
    EXPECT_EQ(stats.FieldByName("LookupTime").AsDateTime(), kLookupTime);
    EXPECT_EQ(stats.FieldByName("MessageFileIndex").AsInteger(), 65535);
}

} // namespace
} // namespace morvanta::test
