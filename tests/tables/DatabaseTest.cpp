#include "fixtures/TableFiles.h"

namespace morvanta::test {
namespace {

TEST(Database, KeepsItsNameAndPutsTablesInItsFolder)
{
    TempDir folder;
    Database database;
    EXPECT_EQ(database.DatabaseName(), "Morvanta");
    database.SetFolder(folder.Path().substr(0, folder.Path().size() - 1));
    EXPECT_EQ(database.Folder(), folder.Path());
    EXPECT_EQ(database.TableFileName("IPList"), folder / "IPList.db");
}

TEST(Database, RefusesToConnectWithoutAnExistingFolder)
{
    TempDir folder;
    Database database;
    EXPECT_EQ(EngineCodeOf([&] { database.Connect(); }), TableErrorCode::CannotOpen);
    database.SetFolder(folder / "missing");
    EXPECT_EQ(EngineCodeOf([&] { database.Connect(); }), TableErrorCode::CannotOpen);
    EXPECT_FALSE(database.Connected());
}

TEST(Database, TablesOpenOnlyWhileConnected)
{
    TempDir folder;
    Database database;
    database.SetFolder(folder.Path());
    Table table(database, IPListTableDef());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::NotConnected);
    database.Connect();
    table.Open();
    EXPECT_TRUE(table.Active());
    EXPECT_EQ(EngineCodeOf([&] { database.SetFolder("/tmp"); }), TableErrorCode::General);
}

TEST(Database, DisconnectClosesTablesAndPostsTheirPendingEdit)
{
    TableFolder data;
    Table table(data.database, IPListTableDef());
    table.Open();
    table.AppendRecord(IPListValues("10.0.0.1", "a@b.org"));
    table.Edit();
    table.FieldByName("EMails").SetAsString("c@d.org");
    data.database.Disconnect();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(ReadRows(data.File("IPList"), IPListTableDef())[0].values[1], TableValue("c@d.org"));

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
    auto database = std::make_unique<Database>();
    database->SetFolder(folder.Path());
    database->Connect();
    Table table(*database, IPStatsTableDef());
    table.Open();
    database.reset();
    EXPECT_FALSE(table.Active());
    EXPECT_EQ(EngineCodeOf([&] { table.Open(); }), TableErrorCode::NotConnected);
}

} // namespace
} // namespace morvanta::test
