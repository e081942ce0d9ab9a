#include "analysis/SourceIP.h"

#include "app/Config.h"
#include "base/Text.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "investigate/ContactSearch.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

// Candidates are judged by a loopback ARIN that holds the reserved ranges
// for IANA; the report's address and the cached ones are the test's.
class LoopbackChecks : public SourceIpChecks {
public:
    explicit LoopbackChecks(ContactSearch& netvane)
        : netvane_(netvane)
    {
    }

    void PrepareToJudge() override { ++prepared; }
    std::string CurrentIP() override { return currentIP; }
    bool IsCachedIP(const std::string& address) override { return cached.contains(address); }
    bool IsIanaReserved(const std::string& address) override { return netvane_.IsIanaReserved(address); }

    std::string currentIP;
    std::set<std::string> cached;
    int prepared = 0;

private:
    ContactSearch& netvane_;
};

class SourceIPTest : public ::testing::Test {
protected:
    SourceIPTest()
        : config(folder.Path())
        , netvane(config, report)
        , checks(netvane)
    {
        registries.Configure(config);
        registries.AnswerOthers(Registry::Arin, whois_text::ArinLikeResponder());
    }

    std::string Find(const std::string& message, const std::string& popMailHostList = "")
    {
        return FindSourceIP(SplitLines(message), popMailHostList, checks);
    }

    TempDir folder;
    LoopbackRegistries registries;
    Config config;
    ReportContext report;
    RecordingUi ui;
    ContactSearch netvane;
    LoopbackChecks checks;
};

const std::string Relay = "Received: from relay.example.net (relay.example.net [62.4.17.20])\n"
                          "\tby mx.mine.example (Postfix) with ESMTP id 4F1A2;\n"
                          "\tMon, 18 Mar 2024 10:00:02 +0100\n";
const std::string Sender = "Received: from pc17 (dsl-85-12-40-9.example.com [85.12.40.9])\n"
                           "\tby relay.example.net with SMTP id x12; Mon, 18 Mar 2024 10:00:00 +0100\n";
const std::string Body = "\nHello,\nbuy now.\n";

TEST_F(SourceIPTest, FindsTheAcceptedAddressOfTheLowestHeader)
{
    struct Case {
        const char* name;
        std::string message;
        std::string popMailHostList;
        std::string expected;
        std::vector<std::string> queries; // asked of ARIN, in order
    };
    const Case cases[] = {
        { "an empty message", "", "", "", {} },
        { "no header that offers an address", "From: a@b.example\nSubject: hi\n" + Body, "", "", {} },
        { "three headers give the bottom one",
          "Received: from a ([62.4.17.1]) by b\nReceived: from c ([62.4.17.2]) by a\n"
          "Received: from d ([62.4.17.3]) by c\n"
              + Body,
          "",
          "62.4.17.3",
          { "62.4.17.1", "62.4.17.2", "62.4.17.3" } },
        { "a bottom header without an address leaves the one above",
          "Received: from a ([62.4.17.1]) by b\nReceived: from c ([62.4.17.2]) by a\n"
          "Received: by c (sendmail); Mon, 18 Mar 2024\n"
              + Body,
          "",
          "62.4.17.2",
          { "62.4.17.1", "62.4.17.2" } },
        { "after a bottom header without an address, an IP: line is the last word",
          "Received: from a ([62.4.17.1]) by b\nReceived: by c (sendmail)\nIP: 62.4.17.77\n" + Body,
          "",
          "62.4.17.77",
          { "62.4.17.1", "62.4.17.77" } },
        { "a Received line in the body is never examined",
          "Received: from a ([62.4.17.1]) by b\n" + Body + "Received: from c ([62.4.17.2]) by a\n",
          "",
          "62.4.17.1",
          { "62.4.17.1" } },
        { "an empty first line leaves only the IP: fallback",
          "\nReceived: from a ([62.4.17.1]) by b\nIP: 62.4.17.5\n",
          "",
          "62.4.17.5",
          { "62.4.17.5" } },
        { "Received: with a TAB instead of the blank is not examined",
          "Received:\tfrom a ([62.4.17.1]) by b\n" + Body,
          "",
          "",
          {} },
        { "an address only on a continuation line is not found",
          "Received: from relay.example.net\n\t(relay.example.net [62.4.17.20]) by b\n" + Body,
          "",
          "",
          {} },
        { "only the first address of the line is tried: a private HELO hides the public one",
          "Received: from [192.168.1.10] (helo=pc) (dsl.example.com [62.4.17.30]) by b\n" + Body,
          "",
          "",
          {} },
        { "a dropped candidate keeps the earlier result",
          "Received: from a ([62.4.17.1]) by b\nReceived: from c ([10.0.0.7]) by a\n" + Body,
          "",
          "62.4.17.1",
          { "62.4.17.1" } },
        { "special-purpose hops are never asked about",
          "Received: from [10.1.1.1] by relay\nReceived: from x ([62.4.17.9]) by y\n"
          "Received: from [192.168.0.2] by x\nReceived: from [100.64.3.3] by x\nReceived: from [127.0.0.1] by x\n"
          "Received: from doc ([192.0.2.1]) by x\nReceived: from [169.254.1.1] by x\n"
              + Body,
          "",
          "62.4.17.9",
          { "62.4.17.9" } },
        { "a text that is no address is neither asked about nor the source",
          "Received: from a ([62.4.17.1]) by b\nReceived: from c ([999.1.1.1]) by a\n" + Body,
          "",
          "62.4.17.1",
          { "62.4.17.1" } },
        { "the user's host ends the walk after the last header it wrote",
          Relay + Sender + Body,
          "mx.mine.example",
          "62.4.17.20",
          { "62.4.17.20" } },
        { "the user's hosts in quotes, the second one matching",
          Relay + Sender + Body,
          "\"pop.mine.example\", mx.mine.example",
          "62.4.17.20",
          { "62.4.17.20" } },
        { "probing stops at the first empty field",
          Relay + Sender + Body,
          "pop.mine.example,,mx.mine.example",
          "85.12.40.9",
          { "62.4.17.20", "85.12.40.9" } },
        { "without the user's hosts every header counts",
          Relay + Sender + Body,
          "",
          "85.12.40.9",
          { "62.4.17.20", "85.12.40.9" } },
        { "X-Trace counts while nothing is accepted",
          "X-Trace: news.example.org 62.4.17.50 (18 Mar 2024)\nSubject: x\n" + Body,
          "",
          "62.4.17.50",
          { "62.4.17.50" } },
        { "X-Trace is passed over once an address is accepted",
          "Received: from a ([62.4.17.1]) by b\nX-Trace: news.example.org 62.4.17.50\n" + Body,
          "",
          "62.4.17.1",
          { "62.4.17.1" } },
        { "an IP: line without X-Originating-IP gives the address",
          "From: webmail user\nIP: 62.4.17.60\nSubject: x\n" + Body,
          "",
          "62.4.17.60",
          { "62.4.17.60" } },
        { "with X-Originating-IP the IP: line is not used",
          "X-Originating-IP: [62.4.17.61]\nIP: 62.4.17.60\n" + Body,
          "",
          "",
          {} },
        { "the IP: fallback takes the first line holding IP: anywhere",
          "Sender IP: 62.4.17.62\nIP: 62.4.17.63\n" + Body,
          "",
          "62.4.17.62",
          { "62.4.17.62" } },
        { "an IP: line on the first line alone is no fallback", "IP: 62.4.17.64\n" + Body, "", "", {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        registries.ClearQueries();
        // Each case starts without the verdicts of the cases before it.
        report = ReportContext {};
        EXPECT_EQ(Find(c.message, c.popMailHostList), c.expected);
        EXPECT_EQ(registries.QueriesTo(Registry::Arin), c.queries);
    }
}

TEST_F(SourceIPTest, TheReportsAddressAndCachedAddressesAreAcceptedWithoutAQuery)
{
    const std::string message = "Received: from a ([62.4.17.1]) by b\nReceived: from c ([10.0.0.5]) by a\n"
                                "Received: from d ([192.168.7.7]) by c\n"
                                + Body;
    checks.currentIP = "10.0.0.5";
    checks.cached = { "192.168.7.7" };

    EXPECT_EQ(Find(message), "192.168.7.7");
    EXPECT_EQ(registries.QueriesTo(Registry::Arin), std::vector<std::string> { "62.4.17.1" });
}

TEST_F(SourceIPTest, WithTheRegistryUnreachableAPublicHopIsChosenAndAPrivateOneNever)
{
    registries.Refuse(Registry::Arin);
    struct Case {
        const char* name;
        std::string message;
        std::string expected;
    };
    const Case cases[] = {
        { "a private hop below a public one",
          "Received: from a ([62.4.17.1]) by b\nReceived: from c ([10.0.0.9]) by a\n" + Body, "62.4.17.1" },
        { "a private hop alone", "Received: from c ([192.168.4.4]) by a\n" + Body, "" },
        { "a public hop below a private one",
          "Received: from c ([172.20.0.1]) by a\nReceived: from d ([62.4.17.2]) by c\n" + Body, "62.4.17.2" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Find(c.message), c.expected);
    }
}

TEST_F(SourceIPTest, EachAddressIsAskedAboutOnce)
{
    const std::string message = "Received: from a ([62.4.17.1]) by b\nReceived: from c ([62.4.17.2]) by a\n"
                                "Received: from d ([62.4.17.1]) by c\n"
                                + Body;
    EXPECT_EQ(Find(message), "62.4.17.1");
    EXPECT_EQ(Find(message), "62.4.17.1");
    EXPECT_EQ(registries.QueriesTo(Registry::Arin), (std::vector<std::string> { "62.4.17.1", "62.4.17.2" }));
}

TEST_F(SourceIPTest, TheChecksArePreparedOnceBeforeTheFirstCandidate)
{
    (void)Find("Subject: nothing to judge\n" + Body);
    EXPECT_EQ(checks.prepared, 0);
    (void)Find("Received: from a ([62.4.17.1]) by b\nReceived: from c ([62.4.17.2]) by a\n" + Body);
    EXPECT_EQ(checks.prepared, 1);
}

} // namespace
} // namespace morvanta::test
