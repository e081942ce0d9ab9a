#include "net/WhoisClient.h"
#include "ConnectionFixture.h"
#include "fixtures/ScriptedTcpServer.h"
#include "net/NetError.h"

#include <gtest/gtest.h>

#include <chrono>

namespace morvanta::test {
namespace {

using namespace std::chrono_literals;

// A WHOIS server: reads the query line, answers, closes.
PeerHandler Answering(std::string answer)
{
    return PeerScript().ReadLine().Send(std::move(answer));
}

class WhoisClientTest : public ::testing::Test {
protected:
    void AimAt(const ScriptedTcpServer& server)
    {
        whois.Host = server.Address();
        whois.Port = server.Port();
    }

    WhoisClient whois;
};

TEST_F(WhoisClientTest, AsksInterNicOnPort43ByDefault)
{
    EXPECT_EQ(whois.Host, "whois.internic.net");
    EXPECT_EQ(whois.Port, 43);
}

TEST_F(WhoisClientTest, ReturnsTheAnswerAsSent)
{
    struct Case {
        const char* name;
        std::string answer;
    };
    const Case cases[] = {
        { "CR LF lines", "inetnum: 192.0.2.0\r\nabuse-mailbox: abuse@example.net\r\n" },
        { "LF lines", "inetnum: 192.0.2.0\nabuse-mailbox: abuse@example.net\n" },
        { "last line without a line end", "% no match\r\nfinal" },
        { "every byte value",
          [] {
              std::string all;
              for (int value = 0; value < 256; ++value)
                  all += static_cast<char>(value);
              return all;
          }() },
        { "empty", "" },
        { "larger than one receive", std::string(100000, 'w') },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTcpServer server(Answering(c.answer));
        AimAt(server);
        EXPECT_EQ(whois.Query("192.0.2.1"), c.answer);
        EXPECT_FALSE(whois.IsConnected());
    }
}

TEST_F(WhoisClientTest, SendsTheQueryUnchangedAsOneLine)
{
    struct Case {
        const char* name;
        std::string query;
        std::string sent;
    };
    const Case cases[] = {
        { "address", "192.0.2.1", "192.0.2.1\r\n" },
        { "leading blank kept", " -a 192.0.2.1 ", " -a 192.0.2.1 \r\n" },
        { "empty query", "", "\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTcpServer server(Answering("ok\n"));
        AimAt(server);
        (void)whois.Query(c.query);
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_EQ(server.Received(), c.sent);
    }
}

TEST_F(WhoisClientTest, ReturnsTheAnswerOfAServerThatClosesWithoutReading)
{
    ScriptedTcpServer server(PeerScript().Send("notice\n"));
    AimAt(server);
    EXPECT_EQ(whois.Query("x"), "notice\n");
}

TEST_F(WhoisClientTest, CanAskAgainAfterARefusedConnection)
{
    ClosedPort refusing;
    whois.Host = "127.0.0.1";
    whois.Port = refusing.Port();
    try {
        (void)whois.Query("192.0.2.1");
        ADD_FAILURE() << "no exception";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), 10061);
        EXPECT_STREQ(error.what(), "Socket Error # 10061\r\nConnection refused.");
    }
    EXPECT_FALSE(whois.IsConnected());

    ScriptedTcpServer server(Answering("second\n"));
    AimAt(server);
    EXPECT_EQ(whois.Query("192.0.2.1"), "second\n");
}

TEST_F(WhoisClientTest, ReportsAnUnknownServer)
{
    whois.Host = "whois.example.invalid";
    try {
        (void)whois.Query("192.0.2.1");
        ADD_FAILURE() << "no exception";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), 11001);
        EXPECT_STREQ(error.what(), "Socket Error # 11001\r\nHost not found.");
    }
}

TEST_F(WhoisClientTest, AsksTheNewHostAfterHostChanged)
{
    const int port = FindPortFreeOn({ "127.0.0.2", "127.0.0.3" });
    ScriptedTcpServer first(Answering("from first\n"), "127.0.0.2", port);
    ScriptedTcpServer second(Answering("from second\n"), "127.0.0.3", port);
    whois.Port = port;

    whois.Host = "127.0.0.2";
    EXPECT_EQ(whois.Query("q"), "from first\n");
    whois.Host = "127.0.0.3";
    EXPECT_EQ(whois.Query("q"), "from second\n");
    EXPECT_EQ(whois.Port, port);
}

TEST_F(WhoisClientTest, FailsWithReadTimeoutAndDisconnectsWhenTheServerStaysSilent)
{
    ScriptedTcpServer server(PeerScript().ReadLine().StaySilent());
    AimAt(server);
    whois.ReadTimeout = 300;
    EXPECT_THROW((void)whois.Query("192.0.2.1"), ReadTimeoutError);
    EXPECT_FALSE(whois.IsConnected());

    ScriptedTcpServer next(Answering("next\n"));
    AimAt(next);
    EXPECT_EQ(whois.Query("192.0.2.1"), "next\n");
}

TEST_F(WhoisClientTest, AServerThatTricklesItsAnswerIsCutOffAndDisconnected)
{
    // Each byte comes well within ReadTimeout; the query as a whole may
    // last ten times that.
    ScriptedTcpServer server(Trickling(PeerScript().ReadLine(), "%"));
    AimAt(server);
    whois.ReadTimeout = 300;
    ExpectCutOffAfterTheConversationsTime([&] { (void)whois.Query("192.0.2.1"); });
    EXPECT_FALSE(whois.IsConnected());

    ScriptedTcpServer next(Answering("next\n"));
    AimAt(next);
    EXPECT_EQ(whois.Query("192.0.2.1"), "next\n");
}

TEST_F(WhoisClientTest, FailsOnAnAnswerBeyondTheSizeLimitAndDisconnects)
{
    ScriptedTcpServer server(Answering(std::string(MaxUntilClosedSizeDefault + 1, 'x')));
    AimAt(server);
    EXPECT_THROW((void)whois.Query("192.0.2.1"), NetError);
    EXPECT_FALSE(whois.IsConnected());
}

TEST_F(WhoisClientTest, RaisesAlreadyConnectedWhileAConnectionIsOpen)
{
    ScriptedTcpServer server(PeerScript().ReadUntilClosed());
    AimAt(server);
    whois.OpenConnection();

    EXPECT_THROW((void)whois.Query("192.0.2.1"), AlreadyConnectedError);
    EXPECT_TRUE(whois.IsConnected());
    whois.IOHandler()->SendLine("still open");
    whois.CloseConnection();
    ASSERT_TRUE(server.WaitForFinished(1));
    EXPECT_EQ(server.Received(), "still open\r\n");
}

} // namespace
} // namespace morvanta::test
