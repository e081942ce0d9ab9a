#include "investigate/ContactSearch.h"

#include "app/Config.h"
#include "base/Text.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "net/NetError.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

using namespace whois_text;

const std::string Refused = SocketErrorMessage(10061);

// The routines on loopback registries, with both status lines recorded.
class ContactSearchTest : public ::testing::Test {
protected:
    ContactSearchTest()
        : config(folder.Path())
    {
        registries.Configure(config);
        netvane = std::make_shared<ContactSearch>(config, report);
        netvane->OnStatus = [this](const std::string& text) { statuses.push_back(text); };
        netvane->OnMailerStatus = [this](const std::string& text) { mailerStatuses.push_back(text); };
    }

    // A failure's status text: the server and port asked, and the message.
    std::string RefusedBy(const LoopbackRegistries& peers, Registry registry) const
    {
        return peers.Host(registry) + ":" + std::to_string(config.WhoisPort) + ": " + Refused;
    }
    std::string RefusedBy(Registry registry) const { return RefusedBy(registries, registry); }

    TempDir folder;
    LoopbackRegistries registries;
    Config config;
    ReportContext report;
    RecordingUi ui;
    std::shared_ptr<ContactSearch> netvane;
    std::vector<std::string> statuses;
    std::vector<std::string> mailerStatuses;
};

struct ChaseCase {
    const char* name;
    std::string address;
    WhoisDetail detail;
    std::string firstAnswer;
    // Answers of the registries after the first, by the query they expect.
    std::vector<std::pair<WhoisQuery, std::string>> answers;
    std::vector<WhoisQuery> expectedQueries;
    std::vector<std::string> expectedStatuses;
};

std::vector<ChaseCase> ChaseCases()
{
    const auto brief = WhoisDetail::Brief;
    const auto detailed = WhoisDetail::Detailed;
    const std::string ripe = RipeStyleInetnum("RIPE", "193.0.0.0 - 193.0.7.255", "EXAMPLE-EU", "abuse@eu.example");
    const std::string ripeAfrinic = RipeStyleInetnum("RIPE", "196.0.0.0 - 196.0.255.255", "AFRINIC-ERX",
                                                     "abuse@afrinic.net", "org:            ORG-AFNC1-RIPE\n");
    const std::string afrinic
        = RipeStyleInetnum("AFRINIC", "196.0.0.0 - 196.0.255.255", "EXAMPLE-AF", "abuse@af.example");
    const std::string apnic = RipeStyleInetnum("APNIC", "202.0.0.0 - 202.0.255.255", "EXAMPLE-AP", "abuse@ap.example");
    const std::string apnicJpnic
        = RipeStyleInetnum("APNIC", "202.11.0.0 - 202.11.255.255", "JPNIC-NET-JP", "hostmaster@nic.ad.jp");
    const std::string jpnic = JpnicNetwork("202.11.0.0/16", "abuse@jp.example");
    const std::string lacnic = LacnicInetnum("200.1.0.0/16", "abuse@cl.example");
    const std::string lacnicBrnic = LacnicInetnum("200.2.0.0/16", "abuse@lacnic.example", "127.0.0.8");
    const std::string brnic = BrnicInetnum("200.2.0.0/16", "abuse@br.example");
    using R = Registry;
    return {
        { "no marker: the first answer stands",
          "198.51.100.7",
          brief,
          ArinNetwork("198.51.100.0 - 198.51.100.255", "Example", "abuse@example.net"),
          {},
          { { R::Arin, "198.51.100.7" } },
          {} },
        { "RIPE, brief",
          "193.0.0.10",
          brief,
          ArinRipeRange("193.0.0.0 - 193.255.255.255"),
          { { { R::Ripe, "193.0.0.10" }, ripe } },
          { { R::Arin, "193.0.0.10" }, { R::Ripe, "193.0.0.10" } },
          { "Searching RIPE..." } },
        { "RIPE, detailed",
          "193.0.0.11",
          detailed,
          ArinRipeRange("193.0.0.0 - 193.255.255.255"),
          { { { R::Ripe, "-a 193.0.0.11" }, ripe } },
          { { R::Arin, "+ 193.0.0.11" }, { R::Ripe, "-a 193.0.0.11" } },
          { "Searching RIPE..." } },
        { "RIPE on to AfriNIC with the same query, brief",
          "196.0.0.1",
          brief,
          ArinRipeRange("196.0.0.0 - 196.255.255.255"),
          { { { R::Ripe, "196.0.0.1" }, ripeAfrinic }, { { R::Afrinic, "196.0.0.1" }, afrinic } },
          { { R::Arin, "196.0.0.1" }, { R::Ripe, "196.0.0.1" }, { R::Afrinic, "196.0.0.1" } },
          { "Searching RIPE..." } },
        { "RIPE on to AfriNIC with the same query, detailed",
          "196.0.0.2",
          detailed,
          ArinRipeRange("196.0.0.0 - 196.255.255.255"),
          { { { R::Ripe, "-a 196.0.0.2" }, ripeAfrinic }, { { R::Afrinic, "-a 196.0.0.2" }, afrinic } },
          { { R::Arin, "+ 196.0.0.2" }, { R::Ripe, "-a 196.0.0.2" }, { R::Afrinic, "-a 196.0.0.2" } },
          { "Searching RIPE..." } },
        { "APNIC, detailed",
          "202.0.0.1",
          detailed,
          ArinApnicRange("202.0.0.0 - 202.255.255.255"),
          { { { R::Apnic, "+ 202.0.0.1" }, apnic } },
          { { R::Arin, "+ 202.0.0.1" }, { R::Apnic, "+ 202.0.0.1" } },
          { "Searching APNIC..." } },
        { "APNIC on to JPNIC with /e, brief",
          "202.11.0.1",
          brief,
          ArinApnicRange("202.0.0.0 - 202.255.255.255"),
          { { { R::Apnic, "202.11.0.1" }, apnicJpnic }, { { R::Jpnic, "202.11.0.1 /e" }, jpnic } },
          { { R::Arin, "202.11.0.1" }, { R::Apnic, "202.11.0.1" }, { R::Jpnic, "202.11.0.1 /e" } },
          { "Searching APNIC..." } },
        { "APNIC on to JPNIC with /e also when detailed",
          "202.11.0.2",
          detailed,
          ArinApnicRange("202.0.0.0 - 202.255.255.255"),
          { { { R::Apnic, "+ 202.11.0.2" }, apnicJpnic }, { { R::Jpnic, "202.11.0.2 /e" }, jpnic } },
          { { R::Arin, "+ 202.11.0.2" }, { R::Apnic, "+ 202.11.0.2" }, { R::Jpnic, "202.11.0.2 /e" } },
          { "Searching APNIC..." } },
        { "LACNIC, brief",
          "200.1.0.1",
          brief,
          ArinLacnicRange("200.0.0.0 - 200.255.255.255"),
          { { { R::Lacnic, "200.1.0.1" }, lacnic } },
          { { R::Arin, "200.1.0.1" }, { R::Lacnic, "200.1.0.1" } },
          { "Searching LACNIC..." } },
        { "LACNIC on to BRNIC with its own status text",
          "200.2.0.1",
          detailed,
          ArinLacnicRange("200.0.0.0 - 200.255.255.255"),
          { { { R::Lacnic, "+ 200.2.0.1" }, lacnicBrnic }, { { R::Brnic, "+ 200.2.0.1" }, brnic } },
          { { R::Arin, "+ 200.2.0.1" }, { R::Lacnic, "+ 200.2.0.1" }, { R::Brnic, "+ 200.2.0.1" } },
          { "Searching LACNIC...", "Searching BRNIC..." } },
        { "no match at ARIN goes to AfriNIC",
          "41.0.0.1",
          detailed,
          ArinNoMatch("+ 41.0.0.1"),
          { { { R::Afrinic, "+ 41.0.0.1" }, afrinic } },
          { { R::Arin, "+ 41.0.0.1" }, { R::Afrinic, "+ 41.0.0.1" } },
          { "Searching AfriNIC..." } },
        { "RIPE and LACNIC markers: RIPE only",
          "193.0.1.1",
          brief,
          ArinRipeRange("193.0.0.0 - 193.255.255.255") + "Comment: see also LACNIC\n",
          { { { R::Ripe, "193.0.1.1" }, ripe } },
          { { R::Arin, "193.0.1.1" }, { R::Ripe, "193.0.1.1" } },
          { "Searching RIPE..." } },
        { "LACNIC marker before no match",
          "200.3.0.1",
          brief,
          ArinLacnicRange("200.0.0.0 - 200.255.255.255") + "No match found for 200.3.0.1.\n",
          { { { R::Lacnic, "200.3.0.1" }, lacnic } },
          { { R::Arin, "200.3.0.1" }, { R::Lacnic, "200.3.0.1" } },
          { "Searching LACNIC..." } },
        { "a follow-up looks only at its own registry's answer",
          "193.0.2.1",
          brief,
          ArinRipeRange("193.0.0.0 - 193.255.255.255") + "Comment: ORG-AFNC1-RIPE JPNIC-NET-JP 127.0.0.8\n",
          { { { R::Ripe, "193.0.2.1" }, ripe } },
          { { R::Arin, "193.0.2.1" }, { R::Ripe, "193.0.2.1" } },
          { "Searching RIPE..." } },
    };
}

TEST_F(ContactSearchTest, MagicWhoisFollowsTheMarkersAndReturnsTheLastAnswer)
{
    for (const ChaseCase& c : ChaseCases()) {
        SCOPED_TRACE(c.name);
        registries.ClearQueries();
        statuses.clear();
        const std::string firstQuery = (c.detail == WhoisDetail::Detailed ? "+ " : "") + c.address;
        registries.Answer(Registry::Arin, firstQuery, c.firstAnswer);
        std::string lastAnswer = c.firstAnswer;
        for (const auto& [query, answer] : c.answers) {
            registries.Answer(query.registry, query.query, answer);
            lastAnswer = answer;
        }

        std::string result = netvane->ChaseRegistries(c.address, c.detail);

        EXPECT_EQ(registries.Queries(), c.expectedQueries);
        EXPECT_EQ(statuses, c.expectedStatuses);
        EXPECT_EQ(result, LfToCrLf(lastAnswer));
        EXPECT_FALSE(netvane->LastFailure());
    }
}

TEST_F(ContactSearchTest, MagicWhoisTurnsEveryLfIntoCrLf)
{
    registries.Answer(Registry::Arin, "198.51.100.1", "NetRange: x\r\nOrgAbuseEmail: a@b.example\nlast");
    EXPECT_EQ(netvane->ChaseRegistries("198.51.100.1", WhoisDetail::Brief),
              "NetRange: x\r\r\nOrgAbuseEmail: a@b.example\r\nlast");
}

TEST_F(ContactSearchTest, EachStatusTextIsOnScreenBeforeTheNextRegistryIsAsked)
{
    registries.Answer(Registry::Arin, "200.2.0.9", ArinLacnicRange("200.0.0.0 - 200.255.255.255"));
    registries.Answer(Registry::Lacnic, "200.2.0.9", LacnicInetnum("200.2.0.0/16", "a@lacnic.example", "127.0.0.8"));
    std::vector<std::pair<std::string, size_t>> seen;
    ui.onPendingInput = [&] { seen.emplace_back(statuses.back(), registries.Queries().size()); };

    (void)netvane->ChaseRegistries("200.2.0.9", WhoisDetail::Brief);

    std::vector<std::pair<std::string, size_t>> expected { { "Searching LACNIC...", 1 }, { "Searching BRNIC...", 2 } };
    EXPECT_EQ(seen, expected);
}

TEST_F(ContactSearchTest, MagicWhoisFailuresGiveAnEmptyResultAndTheMessageInTheStatusLine)
{
    struct Case {
        const char* name;
        Registry refused;
        std::vector<std::string> statuses; // before the failure's
    };
    const Case cases[] = {
        { "the second query fails after the first answer arrived", Registry::Ripe, { "Searching RIPE..." } },
        { "the first server cannot be reached", Registry::Arin, {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackRegistries failing;
        failing.Configure(config);
        failing.Answer(Registry::Arin, "193.0.0.1", ArinRipeRange("193.0.0.0 - 193.255.255.255"));
        failing.Refuse(c.refused);
        statuses.clear();

        EXPECT_EQ(netvane->ChaseRegistries("193.0.0.1", WhoisDetail::Brief), "");
        std::vector<std::string> expected = c.statuses;
        expected.push_back(RefusedBy(failing, c.refused));
        EXPECT_EQ(statuses, expected);
        EXPECT_EQ(netvane->LastFailure(), Refused);
    }
}

TEST_F(ContactSearchTest, MagicWhoisAsksAboutTheAddressOfAHostName)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n198.51.100.44 relay.spam.example\n", [&] {
        LoopbackRegistries inside;
        inside.Configure(config);
        inside.Answer(Registry::Arin, "198.51.100.44", "found\n");
        std::string named = netvane->ChaseRegistries("relay.spam.example", WhoisDetail::Brief);
        std::string unknown = netvane->ChaseRegistries("nothing.invalid", WhoisDetail::Brief);
        std::string queries;
        for (const auto& query : inside.Queries())
            queries += query.query + ";";
        return PackFields(
            { named, unknown, queries, netvane->LastFailure().value_or(""), statuses.empty() ? "" : statuses.back() });
    });
    if (!outcome)
        GTEST_SKIP() << "no private network namespace on this system";
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 5u) << *outcome;
    EXPECT_EQ(fields[0], "found\r\n");
    EXPECT_EQ(fields[1], "");
    EXPECT_EQ(fields[2], "198.51.100.44;");
    EXPECT_EQ(fields[3], SocketErrorMessage(11001));
    // The status line names what could not be resolved.
    EXPECT_EQ(fields[4], "nothing.invalid: " + SocketErrorMessage(11001));
}

TEST_F(ContactSearchTest, QueryAbuseServiceAsksAboutTheTrimmedDomainOrTheNameOfTheAddress)
{
    struct Case {
        const char* name;
        std::string target;
        std::string query; // empty: nothing is asked
    };
    const Case cases[] = {
        { "a domain, trimmed", " \tspam.example \r\n", "-h spam.example" },
        { "an address, by its reverse name", "127.0.0.1", "-h localhost" },
        { "the name DEFAULT is never asked about", "DEFAULT", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        registries.ClearQueries();
        registries.AnswerOthers(Registry::Abuse, [](const std::string& query) { return "abuse@x.example\n" + query; });

        std::string answer = netvane->QueryAbuseService(c.target);

        if (c.query.empty()) {
            EXPECT_EQ(answer, "");
            EXPECT_TRUE(registries.Queries().empty());
        } else {
            EXPECT_EQ(answer, "abuse@x.example\r\n" + c.query);
            EXPECT_EQ(registries.QueriesTo(Registry::Abuse), std::vector<std::string> { c.query });
        }
        EXPECT_TRUE(statuses.empty());
    }
}

TEST_F(ContactSearchTest, QueryAbuseServiceFailureGivesAnEmptyAnswerAndTheMessage)
{
    registries.Refuse(Registry::Abuse);
    EXPECT_EQ(netvane->QueryAbuseService("spam.example"), "");
    EXPECT_EQ(statuses, std::vector<std::string> { RefusedBy(Registry::Abuse) });
    EXPECT_EQ(netvane->LastFailure(), Refused);
}

TEST_F(ContactSearchTest, AnAddressWithoutAReverseNameIsNotAskedAbout)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n192.0.2.80 mx.named.example\n", [&] {
        LoopbackRegistries inside;
        inside.Configure(config);
        std::vector<std::string> fields { netvane->ReverseName("192.0.2.80"), netvane->ReverseName("192.0.2.81"),
                                          netvane->QueryAbuseService("192.0.2.81"),
                                          std::to_string(inside.Queries().size()) };
        fields.push_back(netvane->LastFailure().value_or("no failure"));
        return PackFields(fields);
    });
    if (!outcome)
        GTEST_SKIP() << "no private network namespace on this system";
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 5u) << *outcome;
    EXPECT_EQ(fields[0], "mx.named.example");
    EXPECT_EQ(fields[1], "No rDNS");
    EXPECT_EQ(fields[2], "");
    EXPECT_EQ(fields[3], "0");
    EXPECT_EQ(fields[4], "no failure");
}

TEST_F(ContactSearchTest, IsIanaReservedAsksOnlyAboutGlobalAddressesAndEachOnce)
{
    registries.AnswerOthers(Registry::Arin, ArinLikeResponder());
    // A block IANA holds that is no special-purpose block.
    registries.Answer(Registry::Arin, "43.0.0.1", ArinIanaReserved("43.0.0.0 - 43.255.255.255"));
    struct Case {
        const char* name;
        std::string address;
        bool reserved;
    };
    const Case cases[] = {
        { "private", "10.1.2.3", true },
        { "private, 192.168/16", "192.168.7.7", true },
        { "shared address space", "100.64.0.9", true },
        { "loopback", "127.0.0.1", true },
        { "link local", "169.254.10.1", true },
        { "documentation", "198.51.100.3", true },
        { "benchmarking", "198.18.0.5", true },
        { "multicast", "224.0.0.251", true },
        { "limited broadcast", "255.255.255.255", true },
        { "a text that is no address", "999.1.1.1", true },
        { "an address with a blank before it", " 62.4.17.201", true },
        { "a global address", "62.4.17.201", false },
        { "the same again", "62.4.17.201", false },
        { "a global address IANA holds", "43.0.0.1", true },
        { "that one again", "43.0.0.1", true },
        { "another global address", "200.160.2.3", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(netvane->IsIanaReserved(c.address), c.reserved);
    }
    EXPECT_EQ(registries.QueriesTo(Registry::Arin),
              (std::vector<std::string> { "62.4.17.201", "43.0.0.1", "200.160.2.3" }));
    EXPECT_TRUE(statuses.empty());

    // The verdicts belong to the report context, which outlives the window.
    registries.ClearQueries();
    ContactSearch reopened(config, report);
    EXPECT_FALSE(reopened.IsIanaReserved("62.4.17.201"));
    EXPECT_TRUE(registries.Queries().empty());
}

TEST_F(ContactSearchTest, IsIanaReservedWithTheFirstServerUnreachable)
{
    registries.Refuse(Registry::Arin);
    EXPECT_TRUE(netvane->IsIanaReserved("10.1.2.3"));
    EXPECT_TRUE(statuses.empty());
    EXPECT_FALSE(netvane->LastFailure());

    EXPECT_FALSE(netvane->IsIanaReserved("62.4.17.201"));
    EXPECT_EQ(statuses, std::vector<std::string> { RefusedBy(Registry::Arin) });
    EXPECT_EQ(netvane->LastFailure(), Refused);

    // A failure is no verdict: once the server is back, it is asked.
    LoopbackRegistries back;
    back.Configure(config);
    back.Answer(Registry::Arin, "62.4.17.201", ArinIanaReserved("62.0.0.0 - 62.255.255.255"));
    EXPECT_TRUE(netvane->IsIanaReserved("62.4.17.201"));
    EXPECT_EQ(back.QueriesTo(Registry::Arin), std::vector<std::string> { "62.4.17.201" });
}

// FindContacts runs on 127.0.0.1, whose reverse name, localhost, comes from
// /etc/hosts; the registries answer whatever each case scripts for it.
class FindContactsTest : public ContactSearchTest {
protected:
    static constexpr const char* Address = "127.0.0.1";

    void Script(bool abuseGivesAddress, bool briefGivesAddress)
    {
        registries.Answer(Registry::Abuse, "-h localhost",
                          abuseGivesAddress ? AbuseServiceAnswer("localhost", "abuse@isp.example") : "no data\n");
        registries.Answer(Registry::Arin, Address,
                          briefGivesAddress ? ArinNetwork("127.0.0.0/8", "Brief", "abuse@brief.example")
                                            : "NetRange: 127.0.0.0\nComment: mail noc@quiet.example\n");
        registries.Answer(Registry::Arin, std::string("+ ") + Address,
                          ArinNetwork("127.0.0.0/8", "Detailed", "abuse@detailed.example")
                              + "Comment: mail noc@detailed.example\n");
    }
};

TEST_F(FindContactsTest, TheLevelDecidesWhichSourcesAreAskedAndWhichLinesCount)
{
    using R = Registry;
    const WhoisQuery abuse { R::Abuse, "-h localhost" };
    const WhoisQuery brief { R::Arin, Address };
    const WhoisQuery detailed { R::Arin, std::string("+ ") + Address };
    struct Case {
        const char* name;
        std::uint16_t level;
        bool abuseGivesAddress;
        bool briefGivesAddress;
        std::vector<WhoisQuery> queries;
        std::string list;
    };
    const Case cases[] = {
        { "level 0: the abuse service is enough", 0, true, true, { abuse }, "abuse@isp.example" },
        { "level 0: then the brief chase", 0, false, true, { abuse, brief }, "abuse@brief.example" },
        { "level 0: then the detailed chase, keyword lines only",
          0,
          false,
          false,
          { abuse, brief, detailed },
          "abuse@detailed.example" },
        { "level 1: always the brief chase", 1, true, true, { abuse, brief }, "abuse@isp.example,abuse@brief.example" },
        { "level 1: the detailed chase only without addresses",
          1,
          false,
          false,
          { abuse, brief, detailed },
          "abuse@detailed.example" },
        { "level 2: everything, every line",
          2,
          true,
          false,
          { abuse, brief, detailed },
          "abuse@isp.example,noc@quiet.example,abuse@detailed.example,noc@detailed.example" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Script(c.abuseGivesAddress, c.briefGivesAddress);
        registries.ClearQueries();
        mailerStatuses.clear();
        report = ReportContext {};

        FoundContacts found = netvane->FindContacts(Address, c.level);
        EXPECT_EQ(found.list, c.list);
        EXPECT_TRUE(found.answered);

        EXPECT_EQ(registries.Queries(), c.queries);
        EXPECT_EQ(report.CurrentIP, Address);
        std::vector<std::string> expectedStatuses { "Searching abuse contacts for 127.0.0.1..." };
        if (c.queries.size() > 1)
            expectedStatuses.push_back("Searching whois contacts for 127.0.0.1...");
        EXPECT_EQ(mailerStatuses, expectedStatuses);
    }
}

TEST_F(FindContactsTest, ASecondSearchForTheSameAddressReusesTheStoredAnswers)
{
    Script(false, true);
    EXPECT_EQ(netvane->FindContacts(Address, 2).list,
              "abuse@brief.example,abuse@detailed.example,noc@detailed.example");
    EXPECT_EQ(report.AbuseAnswer, LfToCrLf("no data\n"));
    registries.ClearQueries();

    // Only the detailed chase is asked afresh, and only at level 2.
    EXPECT_EQ(netvane->FindContacts(Address, 2).list,
              "abuse@brief.example,abuse@detailed.example,noc@detailed.example");
    EXPECT_EQ(registries.Queries(), (std::vector<WhoisQuery> { { Registry::Arin, std::string("+ ") + Address } }));
    registries.ClearQueries();
    // Answers reused count as answered.
    FoundContacts reused = netvane->FindContacts(Address, 0);
    EXPECT_EQ(reused.list, "abuse@brief.example");
    EXPECT_TRUE(reused.answered);
    EXPECT_TRUE(registries.Queries().empty());
}

TEST_F(FindContactsTest, AnswersFetchedForAnotherAddressAreNeverReused)
{
    Script(true, true);
    // The send command made the address current without searching; the
    // stored answers are those of the previous report.
    report.CurrentIP = Address;
    report.AbuseAnswer = "abuse@previous.example\r\n";
    report.AbuseAnswerFor = "192.0.2.1";
    report.WhoisAnswer = "OrgAbuseEmail: abuse@previous-isp.example\r\n";
    report.WhoisAnswerFor = "192.0.2.1";

    EXPECT_EQ(netvane->FindContacts(Address, 0).list, "abuse@isp.example");
    // A level-0 search that stopped at the abuse service fetched no registry
    // answer, so a harder one for the same address fetches it.
    EXPECT_EQ(netvane->FindContacts(Address, 1).list, "abuse@isp.example,abuse@brief.example");

    const WhoisQuery abuse { Registry::Abuse, "-h localhost" };
    EXPECT_EQ(registries.Queries(), (std::vector<WhoisQuery> { abuse, { Registry::Arin, Address } }));
}

TEST_F(FindContactsTest, AFailedAbuseQueryStoresAnEmptyAnswerAndTheChaseGoesOn)
{
    Script(true, true);
    report.AbuseAnswer = "stale";
    registries.Refuse(Registry::Abuse);

    EXPECT_EQ(netvane->FindContacts(Address, 0).list, "abuse@brief.example");
    EXPECT_EQ(report.AbuseAnswer, "");
    EXPECT_EQ(statuses, std::vector<std::string> { RefusedBy(Registry::Abuse) });
}

TEST_F(FindContactsTest, TellsWhetherAnyServerAnswered)
{
    struct Case {
        const char* name;
        std::vector<Registry> refused;
        bool abuseGivesAddress;
        std::string list;
        bool answered;
    };
    const Case cases[] = {
        { "every server refuses", { Registry::Abuse, Registry::Arin }, false, "", false },
        { "the abuse service refuses, the registry knows nobody", { Registry::Abuse }, false, "", true },
        { "the registry refuses, the abuse service knows nobody", { Registry::Arin }, false, "", true },
        { "the abuse service alone answers, with an address", { Registry::Arin }, true, "abuse@isp.example", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LoopbackRegistries peers;
        peers.Configure(config);
        peers.Answer(Registry::Abuse, "-h localhost",
                     c.abuseGivesAddress ? AbuseServiceAnswer("localhost", "abuse@isp.example") : "no data\n");
        peers.AnswerOthers(Registry::Arin, [](const std::string&) { return std::string("NetRange: 127.0.0.0\n"); });
        for (Registry registry : c.refused)
            peers.Refuse(registry);
        report = ReportContext {};

        FoundContacts found = netvane->FindContacts(Address, 0);
        EXPECT_EQ(found.list, c.list);
        EXPECT_EQ(found.answered, c.answered);
    }
}

TEST_F(FindContactsTest, ASearchThatGotNoAnswerIsNotReusedButAskedAgain)
{
    {
        LoopbackRegistries down;
        down.Configure(config);
        down.Refuse(Registry::Abuse);
        down.Refuse(Registry::Arin);
        EXPECT_FALSE(netvane->FindContacts(Address, 0).answered);
        EXPECT_EQ(report.AbuseAnswerFor, "");
        EXPECT_EQ(report.WhoisAnswerFor, "");
    }
    registries.Configure(config);
    Script(false, true);
    registries.ClearQueries();

    FoundContacts found = netvane->FindContacts(Address, 0);
    EXPECT_EQ(found.list, "abuse@brief.example");
    EXPECT_TRUE(found.answered);
    EXPECT_EQ(registries.Queries(),
              (std::vector<WhoisQuery> { { Registry::Abuse, "-h localhost" }, { Registry::Arin, Address } }));
}

TEST_F(FindContactsTest, TheDesignatedMailboxStandsForTheRegistryAnswerUnlessTheSettingIsOff)
{
    registries.Answer(Registry::Abuse, "-h localhost", "no data\n");
    registries.Answer(Registry::Arin, Address,
                      ArinNetwork("127.0.0.0/8", "Brief", "abuse@brief.example", "noc@brief.example",
                                  "Security issues: security@brief.example"));
    struct Case {
        const char* name;
        bool prefer;
        std::uint16_t level;
        std::string list;
    };
    const Case cases[] = {
        { "preferred, level 0", true, 0, "abuse@brief.example" },
        { "preferred, level 1", true, 1, "abuse@brief.example" },
        { "off: the keyword lines", false, 0, "security@brief.example,abuse@brief.example,noc@brief.example" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        config.PreferAbuseMailbox = c.prefer;
        report = ReportContext {};
        EXPECT_EQ(netvane->FindContacts(Address, c.level).list, c.list);
    }
}

// An instance that tells when it is destroyed.
class TrackedSearch : public ContactSearch {
public:
    TrackedSearch(const Config& config, ReportContext& report, int& destroyed)
        : ContactSearch(config, report)
        , destroyed_(destroyed)
    {
    }
    ~TrackedSearch() override { ++destroyed_; }

private:
    int& destroyed_;
};

class SearchReferenceTest : public ContactSearchTest {
protected:
    SearchReferenceTest()
    {
        investigationWindow.SetFactory([this] {
            ++created;
            return std::make_shared<TrackedSearch>(config, report, destroyed);
        });
    }

    ~SearchReferenceTest() override { investigationWindow.Close(); }

    ContactSearchReference investigationWindow;
    int created = 0;
    int destroyed = 0;
};

TEST_F(SearchReferenceTest, AtMostOneInstanceIsCreatedOnDemandAndClosingEmptiesTheReference)
{
    EXPECT_FALSE(investigationWindow);
    ContactSearch& first = investigationWindow.Ensure();
    EXPECT_EQ(&investigationWindow.Ensure(), &first);
    EXPECT_EQ(investigationWindow.Get(), &first);
    EXPECT_EQ(created, 1);

    investigationWindow.Close();
    EXPECT_FALSE(investigationWindow);
    EXPECT_EQ(destroyed, 1);

    (void)investigationWindow.Ensure();
    EXPECT_EQ(created, 2);
}

TEST_F(SearchReferenceTest, WithoutAFactoryNoInstanceCanBeCreated)
{
    investigationWindow.SetFactory({});
    EXPECT_THROW((void)investigationWindow.Ensure(), std::logic_error);
    EXPECT_FALSE(investigationWindow);
}

TEST_F(SearchReferenceTest, AWindowClosedDuringAChaseLivesUntilTheChaseReturns)
{
    const std::string ripe = RipeStyleInetnum("RIPE", "193.0.0.0 - 193.0.7.255", "EXAMPLE-EU", "abuse@eu.example");
    registries.Answer(Registry::Arin, "193.0.0.5", ArinRipeRange("193.0.0.0 - 193.255.255.255"));
    registries.Answer(Registry::Ripe, "193.0.0.5", ripe);
    int destroyedDuringChase = -1;
    ui.onPendingInput = [&] {
        investigationWindow.Close();
        destroyedDuringChase = destroyed;
    };

    std::string answer = investigationWindow.Ensure().ChaseRegistries("193.0.0.5", WhoisDetail::Brief);

    EXPECT_EQ(destroyedDuringChase, 0);
    EXPECT_EQ(destroyed, 1);
    EXPECT_FALSE(investigationWindow);
    EXPECT_EQ(answer, LfToCrLf(ripe));
}

} // namespace
} // namespace morvanta::test
