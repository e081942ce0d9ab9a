#include "ConnectionFixture.h"

#include "net/NetError.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

namespace morvanta::test {
namespace {

using SocketIoHandlerTest = ConnectionTest;

TEST_F(SocketIoHandlerTest, StaysConnectedAfterThePeerClosedUntilTheUnreadBytesAreRead)
{
    Connect(PeerScript().Send("last words\n"));
    ASSERT_TRUE(server->WaitForFinished(1));

    // The first check takes in the line, the second finds the close.
    EXPECT_TRUE(client.IsConnected());
    EXPECT_TRUE(client.IsConnected());
    EXPECT_TRUE(Io().PeerClosed());
    EXPECT_EQ(Io().ReceiveLine(), "last words");
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(SocketIoHandlerTest, ReportsDisconnectedWhenItFindsThePeerClosed)
{
    Connect(PeerScript());
    ASSERT_TRUE(server->WaitForFinished(1));
    statuses.clear();

    EXPECT_FALSE(client.IsConnected());
    EXPECT_EQ(statuses, (std::vector<std::string> { "Disconnected." }));
}

TEST_F(SocketIoHandlerTest, ARefusingWriteAfterThePeerClosedRaisesClosedGracefully)
{
    Connect(PeerScript().Send("unread\n"));
    ASSERT_TRUE(server->WaitForFinished(1));
    ASSERT_TRUE(client.IsConnected());
    ASSERT_TRUE(client.IsConnected());
    ASSERT_TRUE(Io().PeerClosed());

    EXPECT_THROW(Io().SendLine("too late"), ConnectionClosedError);
}

TEST_F(SocketIoHandlerTest, KeepsNagleOnUnlessToldOtherwise)
{
    struct Case {
        const char* name;
        bool useNagle;
        int noDelay;
    };
    const Case cases[] = { { "default", true, 0 }, { "Nagle off", false, 1 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.CloseConnection();
        auto handler = std::make_unique<SocketIoHandler>();
        handler->UseNagle = c.useNagle;
        auto* stack = handler.get();
        client.SetIOHandler(std::move(handler));
        Connect(PeerScript().StaySilent());

        int value = -1;
        socklen_t length = sizeof value;
        ASSERT_EQ(getsockopt(stack->Binding().Handle(), IPPROTO_TCP, TCP_NODELAY, &value, &length), 0);
        EXPECT_EQ(value != 0, c.noDelay != 0);
    }
}

TEST_F(SocketIoHandlerTest, RecordsBothEndsOfTheSocket)
{
    auto handler = std::make_unique<SocketIoHandler>();
    auto* stack = handler.get();
    client.SetIOHandler(std::move(handler));
    Connect(PeerScript().StaySilent());

    EXPECT_EQ(stack->Binding().PeerIP, "127.0.0.1");
    EXPECT_EQ(stack->Binding().PeerPort, server->Port());
    EXPECT_EQ(stack->Binding().IP, "127.0.0.1");
    EXPECT_GT(stack->Binding().Port, 0);
}

TEST_F(SocketIoHandlerTest, FailsToBindToAPortInUse)
{
    ScriptedTcpServer occupant(PeerScript().StaySilent());
    auto handler = std::make_unique<SocketIoHandler>();
    handler->BoundIP = "127.0.0.1";
    handler->BoundPort = occupant.Port();
    client.SetIOHandler(std::move(handler));
    Serve(PeerScript().StaySilent());

    try {
        client.OpenConnection();
        ADD_FAILURE() << "no exception";
    } catch (const CouldNotBindSocketError& error) {
        EXPECT_STREQ(error.what(), "Could not bind socket. Address and port are already in use.");
    }
    EXPECT_FALSE(client.IsConnected());
}

} // namespace
} // namespace morvanta::test
