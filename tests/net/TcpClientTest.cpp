#include "ConnectionFixture.h"

#include "net/NetError.h"
#include "net/TcpClient.h"

#include <climits>

namespace morvanta::test {
namespace {

using TcpClientOpenConnection = ConnectionTest;

TEST_F(TcpClientOpenConnection, ReportsConnectingAndConnected)
{
    struct Case {
        const char* name;
        std::string host;
        std::vector<std::string> statuses;
    };
    const Case cases[] = {
        { "numeric address", "127.0.0.1", { "Connecting to 127.0.0.1.", "Connected." } },
        { "name", "localhost", { "Resolving hostname localhost.", "Connecting to 127.0.0.1.", "Connected." } },
    };
    Serve(PeerScript().StaySilent());
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.CloseConnection();
        statuses.clear();
        client.Host = c.host;
        client.OpenConnection();
        EXPECT_EQ(statuses, c.statuses);
        EXPECT_TRUE(client.IsConnected());
    }
}

TEST_F(TcpClientOpenConnection, FiresOnConnectedAfterConnected)
{
    client.OnConnected = [this](NetComponent* sender) {
        EXPECT_EQ(sender, &client);
        statuses.push_back("OnConnected");
    };
    Connect(PeerScript().StaySilent());
    ASSERT_FALSE(statuses.empty());
    EXPECT_EQ(statuses.back(), "OnConnected");
}

TEST_F(TcpClientOpenConnection, RaisesAlreadyConnectedAndLeavesTheConnectionAlone)
{
    Connect([](PeerConnection& peer) {
        if (auto line = peer.ReadLine())
            peer.Send("echo " + *line + "\n");
        peer.StaySilent();
    });

    try {
        client.OpenConnection();
        ADD_FAILURE() << "no exception";
    } catch (const AlreadyConnectedError& error) {
        EXPECT_STREQ(error.what(), "Already connected.");
    }
    Io().SendLine("still here");
    EXPECT_EQ(Io().ReceiveLine(), "echo still here");
    EXPECT_EQ(server->ConnectionCount(), 1u);
}

TEST_F(TcpClientOpenConnection, FailsWithTheSocketErrorOfTheCause)
{
    ClosedPort refusing;
    struct Case {
        const char* name;
        std::string host;
        int port;
        int code;
        std::string message;
    };
    const Case cases[] = {
        { "connection refused", "127.0.0.1", refusing.Port(), 10061, "Socket Error # 10061\r\nConnection refused." },
        { "unknown host", "no-such-host.invalid", 43, 11001, "Socket Error # 11001\r\nHost not found." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.Host = c.host;
        client.Port = c.port;
        try {
            client.OpenConnection();
            ADD_FAILURE() << "no exception";
        } catch (const SocketError& error) {
            EXPECT_EQ(error.code(), c.code);
            EXPECT_EQ(error.what(), c.message);
        }
        EXPECT_FALSE(client.IsConnected());
        EXPECT_FALSE(Io().Opened());
    }
}

TEST_F(TcpClientOpenConnection, CanConnectAgainAfterAFailure)
{
    ClosedPort refusing;
    client.Host = "127.0.0.1";
    client.Port = refusing.Port();
    EXPECT_THROW(client.OpenConnection(), SocketError);

    Connect(PeerScript().Send("hello\n").StaySilent());
    EXPECT_EQ(Io().ReceiveLine(), "hello");
}

TEST_F(TcpClientOpenConnection, WithoutHostOrPortOpensNoSocketAndTheFirstReadOrWriteFails)
{
    struct Case {
        const char* name;
        std::string host;
        int port;
    };
    const Case cases[] = { { "empty host", "", 43 }, { "port 0", "127.0.0.1", 0 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.Host = c.host;
        client.Port = c.port;
        statuses.clear();

        client.OpenConnection();

        EXPECT_EQ(statuses, (std::vector<std::string> { "Connected." }));
        EXPECT_FALSE(client.IsConnected());
        EXPECT_THROW(Io().SendLine("x"), ConnectionClosedError);
        EXPECT_THROW((void)Io().ReceiveLine(), ConnectionClosedError);
        client.CloseConnection();
    }
}

TEST_F(TcpClientOpenConnection, RefusesAPortAboveTheTcpRange)
{
    client.Host = "127.0.0.1";
    client.Port = 65536;
    try {
        client.OpenConnection();
        ADD_FAILURE() << "no exception";
    } catch (const NetError& error) {
        EXPECT_STREQ(error.what(), "Invalid port 65536: a TCP port is a number from 1 to 65535.");
    }
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(TcpClientOpenConnection, CopiesReadTimeoutOnlyWhenPositive)
{
    Serve(PeerScript().StaySilent());
    client.ReadTimeout = 1500;
    client.OpenConnection();
    client.CloseConnection();
    client.ReadTimeout = 0;
    client.OpenConnection();
    EXPECT_EQ(Io().ReadTimeout, 1500);
}

TEST_F(TcpClientOpenConnection, GivesItsStatusHandlerToTheHandlerItCreates)
{
    std::vector<NetComponent*> senders;
    client.OnStatus = [&](NetComponent* sender, NetStatus, const std::string&) { senders.push_back(sender); };
    Connect(PeerScript().StaySilent());

    ASSERT_EQ(senders.size(), 2u);
    EXPECT_EQ(senders[0], client.IOHandler());
    EXPECT_EQ(senders[1], &client);
}

TEST(ReadTimeoutFromSeconds, CountsMillisecondsAndMakesNoneOfNothing)
{
    EXPECT_EQ(ReadTimeoutFromSeconds(-5), 0);
    EXPECT_EQ(ReadTimeoutFromSeconds(0), 0);
    EXPECT_EQ(ReadTimeoutFromSeconds(1), 1000);
    EXPECT_EQ(ReadTimeoutFromSeconds(2147483), 2147483000);
    EXPECT_EQ(ReadTimeoutFromSeconds(2147484), INT_MAX);
    EXPECT_EQ(ReadTimeoutFromSeconds(INT_MAX), INT_MAX);
}

} // namespace
} // namespace morvanta::test
