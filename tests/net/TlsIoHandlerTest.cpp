#include "net/TlsIoHandler.h"

#include "ConnectionFixture.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/SmtpTestServer.h"
#include "net/TcpClient.h"

#include <gtest/gtest.h>

#include <chrono>
#include <memory>
#include <string>

namespace morvanta::test {
namespace {

// A client whose handler speaks TLS from the first byte.
class TlsIoHandlerTest : public ::testing::Test {
protected:
    TlsIoHandlerTest()
    {
        auto handler = std::make_unique<TlsIoHandler>();
        handler->PassThrough = false;
        tls = handler.get();
        client.SetIOHandler(std::move(handler));
        client.Host = "127.0.0.1";
        client.ReadTimeout = 5000;
    }

    TlsIoHandler* tls;
    TcpClient client;
};

TEST_F(TlsIoHandlerTest, ReadsAndWritesLinesThroughTLS)
{
    TrustTestAuthority trust;
    SmtpTestServer::Options options;
    options.mode = "tls";
    options.certificate = SharedTestCertificates().server;
    SmtpTestServer server(options);
    client.Port = server.Port();
    client.OpenConnection();

    EXPECT_TRUE(tls->TLSActive());
    EXPECT_EQ(client.IOHandler()->ReceiveLine().substr(0, 4), "220 ");
    // Nothing is waiting to be read: asking must not wait for the server
    // (a session ticket that arrived is no data).
    const auto start = std::chrono::steady_clock::now();
    EXPECT_TRUE(client.IsConnected());
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));

    client.IOHandler()->SendLine("NOOP");
    EXPECT_EQ(client.IOHandler()->ReceiveLine().substr(0, 3), "250");
    client.IOHandler()->SendLine("QUIT");
    EXPECT_EQ(client.IOHandler()->ReceiveLine().substr(0, 3), "221");
    client.CloseConnection();
    EXPECT_FALSE(tls->TLSActive());
}

TEST_F(TlsIoHandlerTest, AHandshakeThatGetsNoAnswerFailsWithReadTimeout)
{
    client.ReadTimeout = 200;
    ScriptedTcpServer server(PeerScript().StaySilent());
    client.Port = server.Port();

    EXPECT_THROW(client.OpenConnection(), ReadTimeoutError);
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(TlsIoHandlerTest, AHandshakeTheServerStallsEndsWithinTheTimeOut)
{
    // A handshake record header announcing 1024 bytes.
    const std::string recordHeader("\x16\x03\x03\x04\x00", 5);
    struct Case {
        const char* name;
        PeerHandler peer;
        const char* message;
    };
    const Case cases[] = {
        { "never answers the ClientHello", PeerScript().StaySilent(), "Read Timeout" },
        { "stops reading at once", PeerScript().StopReading(), "Read Timeout" },
        { "answers part of a record, then nothing",
          PeerScript().ReadBytes(5).Send(recordHeader + std::string(10, '\x02')).StaySilent(), "Read Timeout" },
        { "trickles a record a byte at a time", Trickling(PeerScript().ReadBytes(5).Send(recordHeader), "\x02"),
          "Conversation Timeout: the server 127.0.0.1 did not finish within 3 seconds." },
    };
    client.ReadTimeout = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTcpServer server(c.peer);
        client.Port = server.Port();
        const auto start = std::chrono::steady_clock::now();
        try {
            client.OpenConnection();
            ADD_FAILURE() << "no exception";
        } catch (const NetTimeoutError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(client.IsConnected());
    }
}

TEST_F(TlsIoHandlerTest, AServerThatClosesDuringTheHandshakeFailsClearly)
{
    ScriptedTcpServer server(PeerScript().ReadBytes(5));
    client.Port = server.Port();
    try {
        client.OpenConnection();
        ADD_FAILURE() << "no exception";
    } catch (const TlsError& error) {
        EXPECT_EQ(std::string(error.what()), "TLS handshake with 127.0.0.1 failed: the server closed the connection.");
    }
    EXPECT_FALSE(client.IsConnected());
}

TEST_F(TlsIoHandlerTest, PassThroughSendsInClearUntilStartSSL)
{
    tls->PassThrough = true;
    ScriptedTcpServer server(PeerScript().Send("hello\r\n").ReadLine().ReadBytes(5));
    client.Port = server.Port();
    client.OpenConnection();
    EXPECT_EQ(client.IOHandler()->ReceiveLine(), "hello");
    client.IOHandler()->SendLine("plain");
    EXPECT_FALSE(tls->TLSActive());
    EXPECT_THROW(tls->StartSSL(), TlsError);
    client.CloseConnection();

    ASSERT_TRUE(server.WaitForFinished(1));
    const std::string received = server.Received();
    EXPECT_EQ(received.substr(0, 7), "plain\r\n");
    EXPECT_EQ(received.substr(7, 1), "\x16"); // a TLS handshake record
}

} // namespace
} // namespace morvanta::test
