#pragma once

#include "fixtures/ScriptedTcpServer.h"
#include "net/NetError.h"
#include "net/SocketIoHandler.h"
#include "net/TcpClient.h"

#include <gtest/gtest.h>

#include <sys/socket.h>

#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace morvanta::test {

// The script, then the piece sent every 50 ms for five seconds: each piece
// comes well within a ReadTimeout of 300 ms, the whole outlasts the
// conversation's time of ten times that.
inline PeerScript Trickling(PeerScript script, const std::string& piece)
{
    for (int i = 0; i < 100; ++i)
        script.Send(piece).Pause(std::chrono::milliseconds(50));
    return script;
}

// Runs the call, which a trickling peer must keep busy until the
// conversation's time (ReadTimeout 300 ms) cuts it off.
inline void ExpectCutOffAfterTheConversationsTime(const std::function<void()>& call)
{
    const auto start = std::chrono::steady_clock::now();
    try {
        call();
        ADD_FAILURE() << "no exception";
    } catch (const ConversationTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Conversation Timeout: the server 127.0.0.1 did not finish within 3 seconds.");
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(2900));
    EXPECT_LT(waited, std::chrono::seconds(5));
}

// Makes the connection's send buffer small, so that its sends to a peer
// that stops reading soon find no room.
inline void ShrinkSendBufferOf(IoHandler& io)
{
    int size = 4096;
    auto& handler = dynamic_cast<SocketIoHandlerBase&>(io);
    ASSERT_EQ(setsockopt(handler.Binding().Handle(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size), 0);
}

// A TcpClient aimed at a scripted loopback peer, recording every status
// text it reports.
class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest()
    {
        client.OnStatus = [this](NetComponent*, NetStatus, const std::string& text) { statuses.push_back(text); };
    }

    // A receiveBufferSize above 0 makes a peer that stops reading stall the
    // client soon.
    void Serve(PeerHandler handler, int receiveBufferSize = 0)
    {
        server = std::make_unique<ScriptedTcpServer>(std::move(handler), "127.0.0.1", 0, receiveBufferSize);
        client.Host = server->Address();
        client.Port = server->Port();
    }

    // Serves the script and opens the client to it.
    void Connect(PeerHandler handler, int receiveBufferSize = 0)
    {
        Serve(std::move(handler), receiveBufferSize);
        client.OpenConnection();
    }

    IoHandler& Io() { return *client.IOHandler(); }

    void ShrinkSendBuffer() { ShrinkSendBufferOf(Io()); }

    std::unique_ptr<ScriptedTcpServer> server;
    TcpClient client;
    std::vector<std::string> statuses;
};

} // namespace morvanta::test
