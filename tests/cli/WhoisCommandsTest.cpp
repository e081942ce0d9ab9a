#include "CliFixture.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

class WhoisCommand : public LoopbackWhoisFixture { };

TEST_F(WhoisCommand, PrintsTheAnswerByteForByte)
{
    const std::string answer = std::string("NetRange: 127.0.0.0\r\nOrgName: Loopback\nbare\rCR\0NUL\xff\r\n", 51);
    ScriptedTcpServer server(PeerScript().ReadLine().Send(answer));
    WriteSettings(server.Port());

    ProcessResult result = Run({ "whois", "-h", "127.0.0.1", "127.0.0.1" });

    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, answer);
    EXPECT_EQ(server.Received(), "127.0.0.1\r\n");
}

TEST_F(WhoisCommand, SendsTheArgumentsABlankAndTheResolvedAddress)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string query;
    };
    const Case cases[] = {
        { "no arguments", { "whois", "localhost" }, "127.0.0.1\r\n" },
        { "arguments", { "whois", "--args=-a", "localhost" }, "-a 127.0.0.1\r\n" },
        { "query trimmed as a whole", { "whois", "--args", " n + ", "127.0.0.1" }, "n +  127.0.0.1\r\n" },
        { "server from -h", { "whois", "-h", "127.0.0.1", "127.0.0.2" }, "127.0.0.2\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTcpServer server(PeerScript().ReadLine().Send("ok\n"));
        WriteSettings(server.Port());
        ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, "ok\n");
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_EQ(server.Received(), c.query);
    }
}

TEST_F(WhoisCommand, PrintsTheFailureAndExits1)
{
    ClosedPort refusing;
    WriteSettings(refusing.Port());
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string message;
    };
    const Case cases[] = {
        { "connection refused", { "whois", "127.0.0.1" }, "Socket Error # 10061\r\nConnection refused.\n" },
        { "unknown target", { "whois", "target.invalid" }, "Socket Error # 11001\r\nHost not found.\n" },
        { "unknown server",
          { "whois", "-h", "whois.invalid", "127.0.0.1" },
          "Socket Error # 11001\r\nHost not found.\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_NE(result.err.find(c.message), std::string::npos) << result.err;
    }
}

TEST_F(WhoisCommand, GivesUpOnASilentServerAfterNetworkTimeout)
{
    ScriptedTcpServer server(PeerScript().ReadLine().StaySilent());
    WriteFile(folder / "Morvanta.ini",
              "[Options]\r\nWhoisPort=" + std::to_string(server.Port()) + "\r\nNetworkTimeout=1\r\n");
    auto start = std::chrono::steady_clock::now();

    ProcessResult result = Run({ "whois", "-h", "127.0.0.1", "127.0.0.1" });

    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("Read Timeout\n"), std::string::npos) << result.err;
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
}

TEST_F(WhoisCommand, RequiresATarget)
{
    WriteSettings(1);
    EXPECT_EQ(Run({ "whois" }).exitStatus, 2);
}

} // namespace
} // namespace morvanta::test
