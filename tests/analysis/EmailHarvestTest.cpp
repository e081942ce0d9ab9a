#include "analysis/EmailHarvest.h"

#include "analysis/TextFiles.h"
#include "base/Text.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <random>
#include <string>
#include <vector>

namespace morvanta {
namespace {

using test::TempDir;
using test::WriteFile;

TEST(ExtractEmails, TakesTheLastAddressOfTheLine)
{
    const struct {
        const char* name;
        std::string line;
        std::string expected;
    } cases[] = {
        { "plain address", "abuse@example.com", "abuse@example.com" },
        { "in angle brackets", "send to <abuse@example.com> please", "abuse@example.com" },
        { "second of two addresses", "a@x.example and b@y.example", "b@y.example" },
        { "full stop ending a sentence", "mail abuse@example.com.", "abuse@example.com" },
        { "plus ends the first candidate", "john+spam@example.com", "spam@example.com" },
        { "underscore allowed before the at sign", "noc_team@example.com", "noc_team@example.com" },
        { "underscore in the domain cuts it", "a@ex_ample.com", "a@ex" },
        { "text after the underscore starts anew", "a@ex_b@c.example", "b@c.example" },
        { "upper-case letter breaks a candidate", "Abuse@example.com", "buse@example.com" },
        { "no dot required in the domain", "root@localhost", "root@localhost" },
        { "one final dot removed", "a@b.example..", "a@b.example." },
        { "dot then hyphen removed", "a@b.example-.", "a@b.example" },
        { "dot kept when the hyphen comes last", "a@b.example.-", "a@b.example." },
        { "domain cleaned to nothing is no address", "x@.", "" },
        { "earlier address stands when the last cleans to nothing", "a@b.example x@-", "a@b.example" },
        { "second at sign ends the candidate", "a@@b.example", "" },
        { "empty local part", "@example.com", "" },
        { "empty domain part", "user@", "" },
        { "no at sign", "abuse-mailbox: none", "" },
        { "empty line", "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtractEmails(c.line), c.expected);
    }
}

// The candidate scan character by character, as plainly as it can be written.
std::string ReferenceExtractEmails(const std::string& line)
{
    std::string local, domain, result;
    bool atSign = false;
    auto endCandidate = [&] {
        if (atSign && !local.empty() && !domain.empty()) {
            for (char last : { '.', '-', '_' }) {
                if (!domain.empty() && domain.back() == last)
                    domain.pop_back();
            }
            if (!domain.empty())
                result = local + "@" + domain;
        }
        local.clear();
        domain.clear();
        atSign = false;
    };
    for (char c : line) {
        bool accepted
            = (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '.' || c == '-' || (c == '_' && !atSign);
        if (accepted)
            (atSign ? domain : local) += c;
        else if (c == '@' && !atSign)
            atSign = true;
        else
            endCandidate();
    }
    endCandidate();
    return result;
}

TEST(ExtractEmails, AgreesWithThePlainScanOnRandomText)
{
    std::mt19937 random(20240602);
    const std::string alphabet = "ab9.-_@@A+ ";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> length(0, 20);
    for (int round = 0; round < 20000; ++round) {
        std::string line;
        for (size_t i = length(random); i > 0; --i)
            line += alphabet[pick(random)];
        ASSERT_EQ(ExtractEmails(line), ReferenceExtractEmails(line)) << "line: \"" << line << '"';
    }
}

TEST(JoinWithSeparator, SeparatesOnlyTwoNonEmptyTexts)
{
    const struct {
        std::string first, separator, second, expected;
    } cases[] = {
        { "a", ",", "b", "a,b" },
        { "", ",", "b", "b" },
        { "a", ",", "", "a" },
        { "", ",", "", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.first + "|" + c.second);
        EXPECT_EQ(JoinWithSeparator(c.first, c.separator, c.second), c.expected);
    }
}

class HarvestEmailsTest : public ::testing::Test {
protected:
    std::string Harvest(const std::string& list, const std::string& answer, KeywordFilter filter, uint16_t level,
                        AbuseMailboxes mailboxes = AbuseMailboxes::Ignored)
    {
        return HarvestEmails(list, answer, filter, level, folder.Path(), mailboxes);
    }
    void Blacklist(const std::string& content) { WriteFile(folder / BlacklistFileName, content); }
    void Blocklist(const std::string& content) { WriteFile(folder / BlocklistFileName, content); }
    void RegistryAddresses(const std::string& content) { WriteFile(folder / RegistryAddressesFileName, content); }

    TempDir folder;
};

TEST_F(HarvestEmailsTest, FiltersLinesByKeywordOnlyBelowLevelTwo)
{
    const std::string plainLine = "notify: noc@example.net";
    const struct {
        const char* name;
        KeywordFilter filter;
        uint16_t level;
        std::string expected;
    } cases[] = {
        { "filter on, level 0", KeywordFilter::On, 0, "" },
        { "filter on, level 1", KeywordFilter::On, 1, "" },
        { "filter on, level 2", KeywordFilter::On, 2, "noc@example.net" },
        { "filter on, highest level", KeywordFilter::On, 65535, "noc@example.net" },
        { "filter off, level 0", KeywordFilter::Off, 0, "noc@example.net" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Harvest("", plainLine, c.filter, c.level), c.expected);
    }
}

TEST_F(HarvestEmailsTest, KeywordsAreFoundInTheLowerCasedLine)
{
    const struct {
        const char* name;
        std::string line;
        std::string expected;
    } cases[] = {
        { "mixed-case abuse key", "OrgAbuseEmail: Abuse@Example.NET", "abuse@example.net" },
        { "security", "Security contact: CERT@example.net", "cert@example.net" },
        { "email colon", "EMail: hostmaster@example.net", "hostmaster@example.net" },
        { "e-mail colon", "e-mail: noc@example.net", "noc@example.net" },
        { "email without colon", "email hostmaster@example.net", "" },
        { "mail colon alone", "mail: noc@example.net", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Harvest("", c.line, KeywordFilter::On, 0), c.expected);
    }
}

TEST_F(HarvestEmailsTest, PicksAbuseContactsOutOfARegistryAnswer)
{
    const std::string answer = "% This is the RIPE Database query service.\r\n"
                               "\r\n"
                               "inetnum:        192.0.2.0 - 192.0.2.255\r\n"
                               "netname:        EXAMPLE-NET\r\n"
                               "abuse-mailbox:  Abuse@Example.NET\r\n"
                               "e-mail:         noc@example.net\r\n"
                               "notify:         notify@example.net\r\n"
                               "remarks:        spam complaints to abuse@example.net, not to\r\n"
                               "remarks:        security incidents: cert@example.net.\r\n";
    EXPECT_EQ(Harvest("", answer, KeywordFilter::On, 0), "abuse@example.net,noc@example.net,cert@example.net");
}

TEST_F(HarvestEmailsTest, ADesignatedAbuseMailboxStandsForARegistryAnswerBelowLevelTwo)
{
    const std::string ripe = test::whois_text::RipeAssignment("62.4.16.0 - 62.4.31.255", "Abuse@Operator-DSL.de",
                                                              "noc@operator-dsl.de", "cert@operator-dsl.de");
    const std::string everyAddress = "abuse@operator-dsl.de,cert@operator-dsl.de,noc@operator-dsl.de";
    const struct {
        const char* name;
        KeywordFilter filter;
        uint16_t level;
        AbuseMailboxes mailboxes;
        std::string expected;
    } cases[] = {
        { "level 0", KeywordFilter::On, 0, AbuseMailboxes::Preferred, "abuse@operator-dsl.de" },
        { "level 1", KeywordFilter::On, 1, AbuseMailboxes::Preferred, "abuse@operator-dsl.de" },
        { "level 2 harvests every line", KeywordFilter::On, 2, AbuseMailboxes::Preferred, everyAddress },
        { "not preferred: the keyword lines", KeywordFilter::On, 0, AbuseMailboxes::Ignored, everyAddress },
        { "the filter off, as for the abuse service", KeywordFilter::Off, 0, AbuseMailboxes::Preferred, everyAddress },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Harvest("", ripe, c.filter, c.level, c.mailboxes), c.expected);
    }
}

TEST_F(HarvestEmailsTest, WhenEveryDesignatedMailboxIsExcludedTheKeywordLinesCount)
{
    const std::string apnic = test::whois_text::ApnicNationalRegistryBlock(
        "211.32.0.0 - 211.63.255.255", "KRNIC-KR", "hostmaster@nic.or.kr", "211.40.0.0 - 211.40.255.255",
        "abuse@operator-telecom.co.kr");
    const std::string keywordLines = "abuse@operator-telecom.co.kr,hostmaster@operator-telecom.co.kr";
    const struct {
        const char* name;
        std::string blacklist;
        std::string registries;
        std::string expected;
    } cases[] = {
        { "nothing excluded: the registry's hostmaster is designated", "", "", "hostmaster@nic.or.kr" },
        { "the registry's domain in the registry addresses", "", "@nic.or.kr\r\n", keywordLines },
        { "the hostmaster in the user's blacklist", "Hostmaster@NIC.or.kr\r\n", "", keywordLines },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Blacklist(c.blacklist);
        RegistryAddresses(c.registries);
        EXPECT_EQ(Harvest("", apnic, KeywordFilter::On, 0, AbuseMailboxes::Preferred), c.expected);
    }
}

TEST_F(HarvestEmailsTest, OfSeveralDesignatedMailboxesTheExcludedAreLeftOutAndTheListKeepsItsOwn)
{
    const std::string arin = test::whois_text::ArinNetwork("23.0.0.0 - 23.0.255.255", "Provider", "abuse@arin.net")
                             + test::whois_text::ArinNetwork("23.0.4.0 - 23.0.4.255", "Customer", "abuse@customer.com",
                                                             "", "Security: security@customer.com");
    RegistryAddresses("@arin.net\r\n");
    const struct {
        const char* name;
        std::string list;
        std::string expected;
    } cases[] = {
        { "to an empty list", "", "abuse@customer.com" },
        { "the list holds it already: nothing is added", "abuse@customer.com", "abuse@customer.com" },
        { "after the abuse service's address", "abuse@isp.com", "abuse@isp.com,abuse@customer.com" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Harvest(c.list, arin, KeywordFilter::On, 1, AbuseMailboxes::Preferred), c.expected);
    }
}

TEST_F(HarvestEmailsTest, SplitsAtEveryKindOfLineBreak)
{
    const std::string answer = "abuse: a@one.example\rabuse: b@two.example\nabuse: c@three.example\r\n"
                               "abuse: d@four.example";
    EXPECT_EQ(Harvest("", answer, KeywordFilter::On, 0), "a@one.example,b@two.example,c@three.example,d@four.example");
}

TEST_F(HarvestEmailsTest, AppendsToTheListWithoutEmptyEntries)
{
    const struct {
        const char* name;
        std::string list;
        std::string answer;
        std::string expected;
    } cases[] = {
        { "to an empty list", "", "abuse: a@x.example", "a@x.example" },
        { "to a list", "a@x.example", "abuse: b@y.example", "a@x.example,b@y.example" },
        { "address already there", "a@x.example,b@y.example", "abuse: b@y.example", "a@x.example,b@y.example" },
        { "address already there in capitals", "A@X.example", "abuse: a@x.example", "A@X.example" },
        { "an address that ends a longer one is another address", "noc-abuse@x.example", "abuse: abuse@x.example",
          "noc-abuse@x.example,abuse@x.example" },
        { "and so is one that begins it", "abuse@x.example.au", "abuse: abuse@x.example",
          "abuse@x.example.au,abuse@x.example" },
        { "same address twice in the answer", "", "abuse: a@x.example\r\nabuse: A@X.example", "a@x.example" },
        { "answer without usable lines", "a@x.example", "\r\n\r\nremarks: none\r\n", "a@x.example" },
        { "empty answer", "a@x.example", "", "a@x.example" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(Harvest(c.list, c.answer, KeywordFilter::On, 0), c.expected);
    }
}

TEST_F(HarvestEmailsTest, LeavesOutTheAddressesTheExclusionFilesName)
{
    const std::string answer = "abuse: abuse@x.example\r\n"
                               "abuse: spam@y.example\r\n"
                               "abuse: noc@mx.z.example\r\n";
    const struct {
        const char* name;
        std::string blacklist;
        std::string blocklist;
        std::string registries;
        std::string expected;
    } cases[] = {
        { "entry in the blacklist", "abuse@x.example\r\n", "", "", "spam@y.example,noc@mx.z.example" },
        { "entry in the blocklist", "", "spam@y.example\n", "", "abuse@x.example,noc@mx.z.example" },
        { "entry in the registry addresses", "", "", "spam@y.example", "abuse@x.example,noc@mx.z.example" },
        { "all three lists", "noc@mx.z.example", "abuse@x.example", "spam@y.example", "" },
        { "a longer entry leaves its tail alone", "noc-abuse@x.example\r\n", "", "",
          "abuse@x.example,spam@y.example,noc@mx.z.example" },
        { "entries in capitals with blanks around them", " ABUSE@X.EXAMPLE \r\n", "\tSpam@Y.Example\r\n", "",
          "noc@mx.z.example" },
        { "a domain alone excludes nothing", "x.example\r\ny.example\r\n", "", "",
          "abuse@x.example,spam@y.example,noc@mx.z.example" },
        { "@ and a domain excludes its addresses and its subdomains'", "@z.example\r\n", "", "@x.example",
          "spam@y.example" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Blacklist(c.blacklist);
        Blocklist(c.blocklist);
        RegistryAddresses(c.registries);
        EXPECT_EQ(Harvest("", answer, KeywordFilter::On, 0), c.expected);
    }
}

// The harvest line by line, as plainly as it can be written: an address is
// taken unless the list holds it already or an exclusion line is exactly it.
std::string ReferenceHarvest(std::string list, const std::string& answer, bool filtered, const std::string& excluded)
{
    for (const std::string& line : SplitLines(answer)) {
        const std::string lowered = LowerCase(line);
        if (filtered && !Contains(lowered, "abuse") && !Contains(lowered, "security") && !Contains(lowered, "email:")
            && !Contains(lowered, "e-mail:"))
            continue;
        const std::string address = ReferenceExtractEmails(lowered);
        if (address.empty() || Contains("," + list + ",", "," + address + ",")
            || Contains(CRLF + excluded, CRLF + address + CRLF))
            continue;
        list = JoinWithSeparator(list, ",", address);
    }
    return list;
}

TEST_F(HarvestEmailsTest, AgreesWithThePlainLineByLineHarvestOnRandomAnswers)
{
    const std::string excluded = "x@b.c\r\n";
    Blacklist(excluded);
    std::mt19937 random(20240603);
    const std::vector<std::string> pieces
        = { "a", "b", "x", ".c", "@", "@", " ", "\r", "\n", "\r\n", "Abuse", "e-mail:", "-", "_", "B" };
    std::uniform_int_distribution<size_t> pick(0, pieces.size() - 1);
    std::uniform_int_distribution<size_t> length(0, 30);
    for (int round = 0; round < 5000; ++round) {
        std::string answer;
        for (size_t i = length(random); i > 0; --i)
            answer += pieces[pick(random)];
        const std::string list = round % 3 == 0 ? "a@b.c" : "";
        const bool filtered = round % 2 == 0;
        ASSERT_EQ(Harvest(list, answer, filtered ? KeywordFilter::On : KeywordFilter::Off, 0),
                  ReferenceHarvest(list, answer, filtered, excluded))
            << "answer: \"" << answer << '"';
    }
}

TEST_F(HarvestEmailsTest, TakesEveryAddressWithoutExclusionFiles)
{
    test::RecordingUi ui;
    EXPECT_EQ(Harvest("", "abuse: a@x.example\r\nabuse: b@y.example", KeywordFilter::On, 0), "a@x.example,b@y.example");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(HarvestEmailsTest, ReadsTheExclusionFilesAfreshOnEveryCall)
{
    EXPECT_EQ(Harvest("", "abuse: a@x.example", KeywordFilter::On, 0), "a@x.example");
    Blocklist("a@x.example\r\n");
    EXPECT_EQ(Harvest("", "abuse: a@x.example", KeywordFilter::On, 0), "");
}

TEST_F(HarvestEmailsTest, FailsWhenAnExclusionFileCannotBeRead)
{
    ASSERT_EQ(symlink("/proc/self/mem", (folder / BlacklistFileName).c_str()), 0);
    EXPECT_THROW((void)Harvest("", "abuse: a@x.example", KeywordFilter::On, 0), FileError);
}

} // namespace
} // namespace morvanta
