#pragma once

#include "fixtures/ScriptedTcpServer.h"
#include "net/SocketIoHandler.h"
#include "net/TcpClient.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace morvanta::test {

// A TcpClient aimed at a scripted loopback peer, recording every status
// text it reports.
class ConnectionTest : public ::testing::Test {
protected:
    ConnectionTest()
    {
        client.OnStatus = [this](NetComponent*, NetStatus, const std::string& text) { statuses.push_back(text); };
    }

    void Serve(PeerHandler handler)
    {
        server = std::make_unique<ScriptedTcpServer>(std::move(handler));
        client.Host = server->Address();
        client.Port = server->Port();
    }

    // Serves the script and opens the client to it.
    void Connect(PeerHandler handler)
    {
        Serve(std::move(handler));
        client.OpenConnection();
    }

    IoHandler& Io() { return *client.IOHandler(); }

    std::unique_ptr<ScriptedTcpServer> server;
    TcpClient client;
    std::vector<std::string> statuses;
};

} // namespace morvanta::test
