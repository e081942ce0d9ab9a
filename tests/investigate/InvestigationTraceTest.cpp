// The traceroute command of the investigation controller, through a routed
// network of namespaces whose routers are real kernels.
#include "investigate/InvestigationController.h"

#include "app/Config.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/RoutedNetwork.h"
#include "fixtures/TestFiles.h"
#include "fixtures/Unprivileged.h"
#include "net/NetError.h"

#include <gtest/gtest.h>

#include <memory>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

const char* const NoRoutedNetwork = "no routed network of namespaces on this system (needs root, veth and ip(8))";

const std::string Names = "10.0.1.2 router1.test\n10.0.2.2 router2.test\n10.0.3.2 target.test\n";

class InvestigationTraceTest : public ::testing::Test {
protected:
    InvestigationTraceTest()
        : config(folder.Path())
    {
        search = std::make_shared<ContactSearch>(config, report);
        controller = std::make_shared<InvestigationController>(config, search);
        controller->AttachView(fields);
    }

    // The rows of the tab, one text each: the cells joined by "|".
    [[nodiscard]] std::vector<std::string> Rows(int position = -1) const
    {
        const auto& tabs = controller->Tabs();
        if (tabs.empty())
            return { "no tab" };
        const ResultTab& tab = position < 0 ? tabs.back() : tabs.at(static_cast<size_t>(position));
        std::vector<std::string> rows;
        for (const TraceRow& row : tab.rows)
            rows.push_back(row.hop + "|" + row.ip + "|" + row.note + "|" + row.rdns);
        return rows;
    }

    std::string Trace(const std::string& target)
    {
        fields.url = target;
        controller->RunTraceroute();
        return PackFields(Rows());
    }

    TempDir folder;
    Config config;
    ReportContext report;
    RecordingUi ui;
    InvestigationFields fields;
    std::shared_ptr<ContactSearch> search;
    std::shared_ptr<InvestigationController> controller;
};

// The hop addresses traceroute(8) finds with ICMP echo, one probe a hop.
std::vector<std::string> TracerouteHops(const std::string& target)
{
    const std::string program = TracerouteProgram();
    if (program.empty())
        return { "traceroute(8) is not installed" };
    ProcessResult result = RunProcess({ program, "-I", "-n", "-q", "1", "-w", "2", target });
    std::vector<std::string> hops;
    std::istringstream lines(result.out);
    std::string line;
    std::getline(lines, line); // "traceroute to ..."
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::string number, address;
        words >> number >> address;
        hops.push_back(address);
    }
    return hops;
}

TEST_F(InvestigationTraceTest, ListsEachRouterAndTheTargetAsTracerouteFindsThem)
{
    auto outcome = RunInRoutedNetwork(Names, [this] {
        std::string rows = Trace(routed::Target);
        return PackFields({ rows, PackFields(fields.statusHistory), std::to_string(controller->Icmp().NextSequence),
                            PackFields(TracerouteHops(routed::Target)), controller->Tabs().back().caption });
    });
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 5u) << *outcome;
    std::vector<std::string> rows = UnpackFields(fields[0]);
    ASSERT_EQ(rows.size(), 3u) << fields[0];
    EXPECT_EQ(rows[0], "1|10.0.1.2|TTL=64|router1.test");
    EXPECT_EQ(rows[1], "2|10.0.2.2|TTL=63|router2.test") << "the TTL of the answer, not the hop number";
    EXPECT_TRUE(std::regex_match(rows[2], std::regex(R"(3\|10\.0\.3\.2\|Reached in : \d+ ms\|target\.test)")))
        << rows[2];
    EXPECT_EQ(UnpackFields(fields[1]),
              (std::vector<std::string> { "resolving 10.0.3.2", "Tracing...", "Disconnected" }));
    EXPECT_EQ(fields[2], "3493") << "the preliminary probe takes a sequence number too";
    EXPECT_EQ(UnpackFields(fields[3]), (std::vector<std::string> { routed::Router1, routed::Router2, routed::Target }));
    EXPECT_EQ(fields[4], "TraceRoute");
}

TEST_F(InvestigationTraceTest, TracesAHostNameToItsFirstAddress)
{
    auto outcome = RunInRoutedNetwork(Names + "10.0.3.2 named.test\n10.0.2.2 named.test\n", [this] {
        return PackFields({ Trace("named.test"), fields.statusHistory.front() });
    });
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 2u) << *outcome;
    std::vector<std::string> rows = UnpackFields(fields[0]);
    ASSERT_EQ(rows.size(), 3u) << fields[0];
    EXPECT_EQ(rows[2].substr(0, 12), "3|10.0.3.2|R");
    EXPECT_EQ(fields[1], "resolving named.test");
}

TEST_F(InvestigationTraceTest, EndsAtTheRouterThatReportsTheDestinationUnreachable)
{
    auto outcome = RunInRoutedNetwork(Names, [this] {
        std::string rows = Trace(routed::Unrouted);
        return PackFields({ rows, std::to_string(controller->Icmp().NextSequence), fields.status });
    });
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 3u) << *outcome;
    EXPECT_EQ(UnpackFields(fields[0]), (std::vector<std::string> { "1|10.0.1.2|TTL=64|router1.test",
                                                                   "2|10.0.2.2|Destination network unreachable|" }));
    EXPECT_EQ(fields[1], "3492") << "no probe after the unreachable answer";
    EXPECT_EQ(fields[2], "Disconnected");
}

TEST_F(InvestigationTraceTest, ATargetThatNeverAnswersGives31Rows)
{
    RoutedNetworkOptions silent;
    silent.silentTarget = true;
    auto outcome = RunInRoutedNetwork(
        Names,
        [this] {
            controller->SetProbeTimeout(100);
            return Trace(routed::Target);
        },
        silent);
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    std::vector<std::string> rows = UnpackFields(*outcome);
    ASSERT_EQ(rows.size(), 31u) << *outcome;
    EXPECT_EQ(rows[0], "1|10.0.1.2|TTL=64|router1.test");
    EXPECT_EQ(rows[1], "2|10.0.2.2|TTL=63|router2.test");
    for (int hop = 3; hop <= 31; ++hop)
        EXPECT_EQ(rows[static_cast<size_t>(hop - 1)], std::to_string(hop) + "|?.?.?.?|Timed out.|No rDNS");
}

TEST_F(InvestigationTraceTest, AnUnresolvableNameLeavesTheListEmptyAndSendsNothing)
{
    fields.url = "nowhere.invalid";

    controller->RunTraceroute();

    ASSERT_EQ(controller->TabCount(), 1);
    EXPECT_EQ(controller->Tabs()[0].caption, "TraceRoute");
    EXPECT_EQ(controller->Tabs()[0].kind, TabKind::Trace);
    EXPECT_TRUE(controller->Tabs()[0].rows.empty());
    EXPECT_EQ(fields.statusHistory,
              (std::vector<std::string> { "resolving nowhere.invalid", SocketErrorMessage(11001), "Disconnected" }));
    EXPECT_EQ(controller->Icmp().NextSequence, IcmpClient::FirstSequence);
    EXPECT_EQ(controller->LastFailure(), SocketErrorMessage(11001));
}

TEST_F(InvestigationTraceTest, WithoutTheRightToRawSocketsTheTraceEndsWithAccessDenied)
{
    auto outcome = RunAsNobody([this] {
        fields.url = "127.0.0.1";
        try {
            controller->RunTraceroute();
        } catch (const SocketError& error) {
            return PackFields(
                { error.what(), fields.status, std::to_string(controller->TabCount()), std::to_string(Rows().size()) });
        }
        return std::string("no error");
    });
    if (!outcome)
        GTEST_SKIP() << "only root can give up the right to raw sockets";
    EXPECT_EQ(UnpackFields(*outcome),
              (std::vector<std::string> { "Socket Error # 10013\r\nAccess denied.", "Tracing...", "1", "0" }));
}

// The trace lets input through before resolving (1), after the preliminary
// probe (2) and after every row (3 and on).
void AtPendingInput(RecordingUi& ui, int call, std::function<void()> action)
{
    ui.onPendingInput = [call, action, calls = 0]() mutable {
        if (++calls == call)
            action();
    };
}

TEST_F(InvestigationTraceTest, DeletingItsTabStopsTheTrace)
{
    struct Case {
        const char* name;
        int pendingInputCall;
        int probesSent;
    };
    const Case cases[] = {
        { "before resolving", 1, 0 },
        { "after the preliminary probe", 2, 1 },
        { "after the first row", 3, 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto outcome = RunInRoutedNetwork(Names, [this, &c] {
            AtPendingInput(ui, c.pendingInputCall, [this] {
                controller->DeleteTab();
                fields.url = "x";
                controller->RunReverseDns();
            });
            fields.url = routed::Target;
            controller->RunTraceroute();
            return PackFields({ std::to_string(controller->Icmp().NextSequence - IcmpClient::FirstSequence),
                                std::to_string(controller->TabCount()), controller->Tabs().back().caption,
                                std::to_string(controller->Tabs().back().rows.size()), fields.status });
        });
        if (!outcome)
            GTEST_SKIP() << NoRoutedNetwork;
        EXPECT_EQ(UnpackFields(*outcome),
                  (std::vector<std::string> { std::to_string(c.probesSent), "1", "rDNS", "0", "Disconnected" }));
    }
}

TEST_F(InvestigationTraceTest, ClosingTheWindowStopsTheTraceAndTheCloseCompletesAfterIt)
{
    auto outcome = RunInRoutedNetwork(Names, [this] {
        int closedDuringTrace = -1;
        int closed = 0;
        controller->onClosed = [&closed] { ++closed; };
        AtPendingInput(ui, 3, [&] {
            controller->Close();
            closedDuringTrace = closed;
        });
        fields.url = routed::Target;
        controller->RunTraceroute();
        return PackFields({ std::to_string(closedDuringTrace), std::to_string(closed),
                            std::to_string(controller->Icmp().NextSequence - IcmpClient::FirstSequence),
                            std::to_string(controller->TabCount()) });
    });
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    EXPECT_EQ(UnpackFields(*outcome), (std::vector<std::string> { "0", "1", "2", "0" }));
}

TEST_F(InvestigationTraceTest, ATraceStartedDuringAnotherKeepsToItsOwnTab)
{
    auto outcome = RunInRoutedNetwork(Names, [this] {
        AtPendingInput(ui, 3, [this] {
            fields.url = routed::Unrouted;
            controller->RunTraceroute();
        });
        fields.url = routed::Target;
        controller->RunTraceroute();
        return PackFields({ PackFields(Rows(0)), PackFields(Rows(1)) });
    });
    if (!outcome)
        GTEST_SKIP() << NoRoutedNetwork;
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 2u) << *outcome;
    std::vector<std::string> first = UnpackFields(fields[0]);
    ASSERT_EQ(first.size(), 3u) << fields[0];
    EXPECT_EQ(first[1], "2|10.0.2.2|TTL=63|router2.test");
    EXPECT_EQ(first[2].substr(0, 12), "3|10.0.3.2|R");
    EXPECT_EQ(UnpackFields(fields[1]), (std::vector<std::string> { "1|10.0.1.2|TTL=64|router1.test",
                                                                   "2|10.0.2.2|Destination network unreachable|" }));
}

} // namespace
} // namespace morvanta::test
