#include "CliFixture.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/RoutedNetwork.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/TestFiles.h"
#include "fixtures/Unprivileged.h"

#include <sys/stat.h>

#include <gtest/gtest.h>

#include <regex>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

class InvestigationCommand : public LoopbackWhoisFixture { };

TEST_F(InvestigationCommand, IPBlockPrintsTheAnswerAsReceived)
{
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string query;
    };
    const Case cases[] = {
        { "the default server", { "ipblock", "127.0.0.1" }, "+ 127.0.0.1\r\n" },
        { "RIPE's server", { "ipblock", "-h", "localhost", "localhost" }, "-a 127.0.0.1\r\n" },
        { "RIPE's server in other letters", { "ipblock", "-h", "LOCALHOST", " 127.0.0.1 " }, "+ 127.0.0.1\r\n" },
    };
    const std::string answer = "NetRange: 127.0.0.0 - 127.255.255.255\nCIDR: 127.0.0.0/8\r\n";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTcpServer server(PeerScript().ReadLine().Send(answer));
        WriteSettings(server.Port(), "RipeWhoisHost=localhost\r\n");

        ProcessResult result = Run(c.arguments);

        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, answer);
        ASSERT_TRUE(server.WaitForFinished(1));
        EXPECT_EQ(server.Received(), c.query);
        EXPECT_NE(result.err.find("Disconnected\n"), std::string::npos) << result.err;
    }
}

TEST_F(InvestigationCommand, IPBlockFailurePrintsTheSocketErrorAndExits1)
{
    ClosedPort refusing;
    WriteSettings(refusing.Port());

    ProcessResult result = Run({ "ipblock", "127.0.0.1" });

    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "Searching 127.0.0.1...\nSocket Error # 10061\r\nConnection refused.\nDisconnected\n");
}

TEST_F(InvestigationCommand, TracePrintsOneLinePerHop)
{
    auto outcome = RunInRoutedNetwork("10.0.1.2 router1.test\n10.0.3.2 target.test\n", [this] {
        // Unreachable first: router2 sends it only while it has not just sent another error.
        ProcessResult unreachable = Run({ "trace", routed::Unrouted });
        ProcessResult reached = Run({ "trace", routed::Target });
        return PackFields({ std::to_string(reached.exitStatus), reached.out, reached.err,
                            std::to_string(unreachable.exitStatus), unreachable.out });
    });
    if (!outcome)
        GTEST_SKIP() << "no routed network of namespaces on this system (needs root, veth and ip(8))";
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 5u) << *outcome;
    EXPECT_EQ(fields[0], "0") << fields[2];
    EXPECT_TRUE(std::regex_match(fields[1], std::regex("1\t10\\.0\\.1\\.2\tTTL=64\trouter1\\.test\n"
                                                       "2\t10\\.0\\.2\\.2\tTTL=63\tNo rDNS\n"
                                                       "3\t10\\.0\\.3\\.2\tReached in : \\d+ ms\ttarget\\.test\n")))
        << fields[1];
    EXPECT_EQ(fields[2], "resolving 10.0.3.2\nTracing...\nDisconnected\n");
    EXPECT_EQ(fields[3], "0");
    EXPECT_EQ(fields[4], "1\t10.0.1.2\tTTL=64\trouter1.test\n2\t10.0.2.2\tDestination network unreachable\t\n");
}

TEST_F(InvestigationCommand, TraceOfAnUnknownNameExits1)
{
    ProcessResult result = Run({ "trace", "nowhere.invalid" });

    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(result.err, "resolving nowhere.invalid\nSocket Error # 11001\r\nHost not found.\nDisconnected\n");
}

TEST_F(InvestigationCommand, TraceWithoutTheRightToRawSocketsSaysAccessDenied)
{
    // The user nobody must be able to read the settings.
    ASSERT_EQ(chmod(folder.Path().c_str(), 0755), 0);
    ASSERT_EQ(chmod(home.Path().c_str(), 0777), 0);
    WriteSettings(43);
    ASSERT_EQ(chmod((folder / "Morvanta.ini").c_str(), 0644), 0);
    auto outcome = RunAsNobody([this] {
        ProcessResult result = Run({ "trace", "127.0.0.1" });
        return PackFields({ std::to_string(result.exitStatus), result.out, result.err });
    });
    if (!outcome)
        GTEST_SKIP() << "only root can give up the right to raw sockets";
    EXPECT_EQ(UnpackFields(*outcome),
              (std::vector<std::string> {
                  "1", "", "resolving 127.0.0.1\nTracing...\nSocket Error # 10013\r\nAccess denied.\n" }));
}

TEST_F(InvestigationCommand, RequireATarget)
{
    WriteSettings(1);
    EXPECT_EQ(Run({ "trace" }).exitStatus, 2);
    EXPECT_EQ(Run({ "ipblock" }).exitStatus, 2);
}

} // namespace
} // namespace morvanta::test
