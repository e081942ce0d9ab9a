#include "net/IcmpClient.h"

#include "fixtures/PrivateNetwork.h"
#include "fixtures/RoutedNetwork.h"
#include "fixtures/Unprivileged.h"
#include "net/NetError.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <array>
#include <chrono>
#include <string>
#include <thread>
#include <vector>

namespace morvanta::test {
namespace {

const char* const NoNamespaces = "no private network namespace on this system";
const char* const NoRoutedNetwork = "no routed network of namespaces on this system (needs root, veth and ip(8))";

std::string OutcomeName(ReplyOutcome outcome)
{
    switch (outcome) {
    case ReplyOutcome::Echo: return "Echo";
    case ReplyOutcome::TimedOut: return "TimedOut";
    case ReplyOutcome::Unreachable: return "Unreachable";
    case ReplyOutcome::TtlExpired: return "TTLExpired";
    }
    return "?";
}

// The result of a probe as fields: outcome, from, type, sequence, TTL, bytes.
std::vector<std::string> Fields(const ReplyStatus& reply)
{
    return { OutcomeName(reply.Outcome),      reply.ReplyFrom,
             std::to_string(reply.ReplyType), std::to_string(reply.ReplySequence),
             std::to_string(reply.ReplyTTL),  std::to_string(reply.ReplyBytes) };
}

std::string ProbeOnce(IcmpClient& client, const std::string& host, int hopLimit)
{
    client.Host = host;
    client.SetHopLimit(hopLimit);
    client.Probe();
    return PackFields(Fields(client.Reply()));
}

TEST(IcmpClient, ProbesInTurnWithRisingSequenceNumbersAndClosesItsSocket)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n", [] {
        IcmpClient client;
        std::vector<std::string> fields;
        int replies = 0;
        client.OnReply = [&replies](IcmpClient&, const ReplyStatus&) { ++replies; };
        for (int probe = 0; probe < 2; ++probe) {
            client.Host = "localhost";
            client.Probe();
            for (const std::string& field : Fields(client.Reply()))
                fields.push_back(field);
            fields.push_back(client.SocketOpen() ? "open" : "closed");
        }
        fields.push_back(std::to_string(client.NextSequence));
        fields.push_back(std::to_string(replies));
        return PackFields(fields);
    });
    if (!outcome)
        GTEST_SKIP() << NoNamespaces;
    // On loopback the client's own request, with its default time-to-live,
    // arrives before the kernel's reply and counts as the answer.
    const std::vector<std::string> expected {
        "Echo", "127.0.0.1", "8", "3489", "128", "72", "closed", //
        "Echo", "127.0.0.1", "8", "3490", "128", "72", "closed", //
        "3491", "2",
    };
    EXPECT_EQ(UnpackFields(*outcome), expected) << *outcome;
}

TEST(IcmpClient, SendsTheBuiltRequestWithItsTimeToLive)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n", [] {
        int observer = socket(AF_INET, SOCK_RAW | SOCK_CLOEXEC, IPPROTO_ICMP);
        if (observer < 0)
            return std::string("error: no observer socket");
        IcmpClient client([] { return 0x00c0ffeeu; }, 0x5a5a);
        client.Host = "127.0.0.1";
        client.SetHopLimit(7);
        client.Probe("probe");
        std::array<std::uint8_t, 200> seen {};
        ssize_t length = recv(observer, seen.data(), seen.size(), MSG_DONTWAIT);
        close(observer);
        const EchoRequest expected = BuildEchoRequest(0x5a5a, 3489, 0x00c0ffee, "probe");
        bool same = length == 72 && std::equal(expected.begin(), expected.end(), seen.begin() + 20);
        return PackFields(
            { same ? "same" : "different", std::to_string(seen[8]), std::to_string(client.Reply().ElapsedMs) });
    });
    if (!outcome)
        GTEST_SKIP() << NoNamespaces;
    EXPECT_EQ(UnpackFields(*outcome), (std::vector<std::string> { "same", "7", "0" })) << *outcome;
}

TEST(IcmpClient, TakesTheGivenSequenceNumberAndFollows65535With1)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n", [] {
        IcmpClient client;
        client.Host = "127.0.0.1";
        client.Probe({}, 500);
        std::vector<std::string> fields { std::to_string(client.Reply().ReplySequence),
                                          std::to_string(client.NextSequence) };
        client.NextSequence = 65535;
        client.Probe();
        fields.push_back(std::to_string(client.Reply().ReplySequence));
        fields.push_back(std::to_string(client.NextSequence));
        client.Probe();
        fields.push_back(std::to_string(client.Reply().ReplySequence));
        return PackFields(fields);
    });
    if (!outcome)
        GTEST_SKIP() << NoNamespaces;
    EXPECT_EQ(UnpackFields(*outcome), (std::vector<std::string> { "500", "501", "65535", "1", "1" })) << *outcome;
}

TEST(IcmpClient, AnUnknownHostFailsAndTheSequenceStays)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n", [] {
        IcmpClient client;
        client.Host = "nowhere.invalid";
        try {
            client.Probe();
        } catch (const SocketError& error) {
            return PackFields({ std::to_string(error.code()), error.what(), std::to_string(client.NextSequence) });
        }
        return std::string("no error");
    });
    if (!outcome)
        GTEST_SKIP() << NoNamespaces;
    EXPECT_EQ(UnpackFields(*outcome), (std::vector<std::string> { "11001", SocketErrorMessage(11001), "3489" }));
}

TEST(IcmpClient, RoutersAndTheTargetAnswerByHopLimit)
{
    auto outcome = RunInRoutedNetwork("", [] {
        IcmpClient client;
        // Unreachable first: a router's kernel sends it only while the
        // sender has not just been sent another error.
        std::string results = ProbeOnce(client, routed::Unrouted, 64);
        for (int hopLimit : { 1, 2, 3 })
            results += ProbeOnce(client, routed::Target, hopLimit);
        return results;
    });
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    // The TTL is the answer's own: 64 from its sender, less one per router.
    // Linux routers quote the whole probe: 20 + 8 + 72 bytes.
    const std::vector<std::string> expected {
        "Unreachable", routed::Router2, "3",  "3489", "63", "100", //
        "TTLExpired",  routed::Router1, "11", "3490", "64", "100", //
        "TTLExpired",  routed::Router2, "11", "3491", "63", "100", //
        "Echo",        routed::Target,  "0",  "3492", "62", "72",
    };
    EXPECT_EQ(UnpackFields(*outcome), expected) << *outcome;
}

TEST(IcmpClient, WaitsOutItsTimeOutWhenNothingAnswers)
{
    RoutedNetworkOptions silent;
    silent.silentTarget = true;
    auto outcome = RunInRoutedNetwork(
        "",
        [] {
            IcmpClient client;
            client.Host = routed::Target;
            client.ReceiveTimeout = 400;
            // Echo traffic of another client arrives during the wait and is skipped.
            std::thread other([] {
                std::this_thread::sleep_for(std::chrono::milliseconds(50));
                IcmpClient neighbour;
                neighbour.NextSequence = 7;
                neighbour.Host = "127.0.0.1";
                neighbour.ReceiveTimeout = 1000;
                neighbour.Probe();
            });
            client.Probe();
            other.join();
            std::vector<std::string> fields = Fields(client.Reply());
            fields.push_back(std::to_string(client.Reply().ElapsedMs));
            return PackFields(fields);
        },
        silent);
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 7u) << *outcome;
    EXPECT_EQ(std::vector<std::string>(fields.begin(), fields.begin() + 6),
              (std::vector<std::string> { "TimedOut", "0.0.0.0", "0", "3489", "0", "0" }));
    const int elapsed = std::stoi(fields[6]);
    EXPECT_GE(elapsed, 400);
    EXPECT_LT(elapsed, 2000);
}

TEST(IcmpClient, WithoutTheRightToRawSocketsFailsWithAccessDenied)
{
    auto outcome = RunAsNobody([] {
        IcmpClient client;
        client.Host = "127.0.0.1";
        std::vector<std::string> fields;
        try {
            client.SetHopLimit(1);
            fields.push_back("set");
        } catch (const SocketError& error) {
            fields.push_back(std::to_string(error.code()));
            fields.push_back(error.what());
        }
        try {
            client.Probe();
            fields.push_back("probed");
        } catch (const SocketError& error) {
            fields.push_back(std::to_string(error.code()));
        }
        fields.push_back(std::to_string(client.NextSequence));
        return PackFields(fields);
    });
    if (!outcome)
        GTEST_SKIP() << "only root can give up the right to raw sockets";
    EXPECT_EQ(UnpackFields(*outcome),
              (std::vector<std::string> { "10013", "Socket Error # 10013\r\nAccess denied.", "10013", "3489" }));
}

} // namespace
} // namespace morvanta::test
