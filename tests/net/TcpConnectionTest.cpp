#include "ConnectionFixture.h"

#include "net/NetError.h"

namespace morvanta::test {
namespace {

// A protocol whose good-bye is a line, and which can be made to fail.
class GoodbyeClient : public TcpClient {
public:
    bool failGoodbye = false;
    int goodbyes = 0;

protected:
    void NotifyPeerOfClose() override
    {
        ++goodbyes;
        IOHandler()->SendLine("BYE");
        if (failGoodbye)
            throw NetError("good-bye refused");
    }
};

class TcpConnectionClose : public ::testing::Test {
protected:
    void Connect(PeerHandler handler)
    {
        server = std::make_unique<ScriptedTcpServer>(std::move(handler));
        client.Host = server->Address();
        client.Port = server->Port();
        client.OnStatus = [this](NetComponent*, NetStatus, const std::string& text) { statuses.push_back(text); };
        client.OpenConnection();
        statuses.clear();
    }

    std::unique_ptr<ScriptedTcpServer> server;
    GoodbyeClient client;
    std::vector<std::string> statuses;
};

TEST_F(TcpConnectionClose, SaysGoodbyeThenReportsDisconnectingAndDisconnected)
{
    Connect(PeerScript().ReadUntilClosed());
    int disconnectedEvents = 0;
    client.OnDisconnected = [&](NetComponent*) { ++disconnectedEvents; };

    client.CloseConnection();

    EXPECT_EQ(statuses, (std::vector<std::string> { "Disconnecting.", "Disconnected." }));
    EXPECT_EQ(disconnectedEvents, 1);
    EXPECT_FALSE(client.IsConnected());
    ASSERT_TRUE(server->WaitForFinished(1));
    EXPECT_EQ(server->Received(), "BYE\r\n");
}

TEST_F(TcpConnectionClose, SkipsTheGoodbyeWhenNotAskedFor)
{
    Connect(PeerScript().ReadUntilClosed());
    client.CloseConnection(false);
    EXPECT_EQ(client.goodbyes, 0);
    ASSERT_TRUE(server->WaitForFinished(1));
    EXPECT_EQ(server->Received(), "");
}

TEST_F(TcpConnectionClose, SkipsTheGoodbyeWhenThePeerHasGone)
{
    Connect(PeerScript());
    ASSERT_TRUE(server->WaitForFinished(1));
    client.CloseConnection();
    EXPECT_EQ(client.goodbyes, 0);
}

TEST_F(TcpConnectionClose, ClosesTheSocketBeforeRaisingTheGoodbyesError)
{
    Connect(PeerScript().ReadUntilClosed());
    client.failGoodbye = true;

    EXPECT_THROW(client.CloseConnection(), NetError);
    EXPECT_FALSE(client.IOHandler()->Opened());
    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(statuses, (std::vector<std::string> { "Disconnecting.", "Disconnected." }));
}

TEST_F(TcpConnectionClose, DoesNothingOnAClientThatNeverConnected)
{
    TcpClient idle;
    bool reported = false;
    idle.OnStatus = [&](NetComponent*, NetStatus, const std::string&) { reported = true; };
    EXPECT_NO_THROW(idle.CloseConnection());
    EXPECT_FALSE(reported);
    EXPECT_FALSE(idle.IsConnected());
}

} // namespace
} // namespace morvanta::test
