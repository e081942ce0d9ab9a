#include "fixtures/TableFiles.h"

namespace morvanta::test {
namespace {

TEST(Database, KeepsItsNameAndPutsTablesInItsFolder)
{
    TempDir folder;
    TDatabase database;
    EXPECT_EQ(database.DatabaseName(), "Morvanta");
    database.SetFolder(folder.Path().substr(0, folder.Path().size() - 1));
    EXPECT_EQ(database.Folder(), folder.Path());
    EXPECT_EQ(database.TableFileName("IPList"), folder / "IPList.db");
}

TEST(Database, RefusesToConnectWithoutAnExistingFolder)
{
    TempDir folder;
    TDatabase database;
    EXPECT_EQ(EngineCodeOf([&] { database.Connect(); }), TableError::CannotOpen);
    database.SetFolder(folder / "missing");
    EXPECT_EQ(EngineCodeOf([&] { database.Connect(); }), TableError::CannotOpen);
    EXPECT_FALSE(database.Connected());
}

TEST(Database, TablesOpenOnlyWhileConnected)
{
    TempDir folder;
    TDatabase database;
    database.SetFolder(folder.Path());
    TTable table(database, IPListTableDef());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableError::NotConnected);
    database.Connect();
    table.Open();
    EXPECT_TRUE(table.Active());
    EXPECT_EQ(EngineCodeOf([&] { database.SetFolder("/tmp"); }), TableError::General);
}

TEST(Database, DisconnectClosesTablesAndPostsTheirPendingEdit)
{
    TableFolder data;
    TTable table(data.database, IPListTableDef());
    table.Open();
    table.AppendRecord(IPListValues("10.0.0.1", "a@b.org"));
    table.Edit();
    table.FieldByName("EMails").SetAsString("c@d.org");
    data.database.Disconnect();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(ReadRows(data.File("IPList"), IPListTableDef())[0].values[1], TValue("c@d.org"));

    // Reconnecting to another folder works as the data module does it.
    TempDir other;
    data.database.SetFolder(other.Path());
    data.database.Connect();
    table.Open();
    EXPECT_EQ(table.RecordCount(), 0u);
}

TEST(Database, ATableOutlivingItsDatabaseReportsItselfNotConnected)
{
    TempDir folder;
    auto database = std::make_unique<TDatabase>();
    database->SetFolder(folder.Path());
    database->Connect();
    TTable table(*database, IPStatsTableDef());
    table.Open();
    database.reset();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableError::NotConnected);
}

} // namespace
} // namespace morvanta::test
