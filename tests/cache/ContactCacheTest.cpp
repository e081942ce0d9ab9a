#include "cache/ContactCache.h"

#include "analysis/EmailHarvest.h"
#include "base/Text.h"
#include "fixtures/ForkedChild.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/TableFiles.h"
#include "fixtures/TestFiles.h"
#include "tables/TableError.h"
#include "tables/TableFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <functional>
#include <memory>
#include <string>
#include <thread>
#include <vector>

namespace morvanta::test {
namespace {

// The contact search as the cache sees it: whatever the test scripts.
class ScriptedFinder : public ContactFinder {
public:
    struct Call {
        std::string address;
        std::uint16_t level;
        friend bool operator==(const Call&, const Call&) = default;
    };

    FoundContacts FindContacts(const std::string& address, std::uint16_t level) override
    {
        calls.push_back({ address, level });
        return { answer ? answer(address, level) : std::string(), answered };
    }

    std::function<std::string(const std::string&, std::uint16_t)> answer;
    // False: no server answered the search, as in an outage.
    bool answered = true;
    std::vector<Call> calls;
};

constexpr int Today = 19800; // 2024-03-18, the fixture's day
constexpr std::uint16_t NoTemplate = static_cast<std::uint16_t>(-1);

using RowList = std::vector<std::vector<TableValue>>;

class DataModuleTest : public ::testing::Test {
protected:
    DataModuleTest()
        : clock(FixedClock::AtLocal(2024, 3, 18, 14, 30, 5))
    {
    }

    ContactCache& DM()
    {
        if (!dm)
            dm = std::make_unique<ContactCache>(folder.Path(), clock, finder);
        return *dm;
    }

    void Cache(const std::vector<TableValue>& row)
    {
        DM().OpenTableSafe(DM().Contacts());
        DM().Contacts().AppendRecord(row);
    }

    // Every row of a table file as it is on disk, values in field order.
    std::vector<std::vector<TableValue>> Rows(const TableDef& definition)
    {
        std::vector<std::vector<TableValue>> rows;
        for (auto& row : ReadRows(folder / (definition.name + ".db"), definition))
            rows.push_back(row.values);
        return rows;
    }

    std::vector<std::vector<TableValue>> CacheRows() { return Rows(IPListTableDef()); }
    std::vector<std::vector<TableValue>> StatsRows() { return Rows(IPStatsTableDef()); }

    std::string CachedList(const std::string& ip)
    {
        for (const auto& row : CacheRows()) {
            if (row[0] == TableValue(ip))
                return row[1].IsNull() ? "" : row[1].Text();
        }
        return "(not cached)";
    }

    TempDir folder;
    FixedClock clock;
    ScriptedFinder finder;
    RecordingUi ui;
    std::unique_ptr<ContactCache> dm;
};

// The status texts a cache shows, recorded.
class CacheStatusTest : public DataModuleTest {
protected:
    CacheStatusTest()
    {
        DM().OnStatus = [this](const std::string& text) { statuses.push_back(text); };
    }

    std::vector<std::string> statuses;
};

TEST_F(DataModuleTest, AFirstLookUpThatFindsNothingCachesNothingButIsLogged)
{
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.7", 0, 3), "");
    EXPECT_TRUE(CacheRows().empty());
    std::vector<std::vector<TableValue>> stats { { "198.51.100.7", TableDateTime { Today, 14 * 3600 + 30 * 60 + 5 },
                                                   3 } };
    EXPECT_EQ(StatsRows(), stats);

    // Nothing is cached, so the next look-up searches again.
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.7", 0, 3), "");
    EXPECT_EQ(finder.calls.size(), 2u);
    EXPECT_EQ(StatsRows().size(), 2u);
}

TEST_F(DataModuleTest, TheNormalAndTheHarderSearchFillTheirOwnSet)
{
    finder.answer = [](const std::string&, std::uint16_t level) {
        return level >= 2 ? "Abuse@ISP.example,noc@isp.example" : "abuse@isp.example";
    };

    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.7", 0, 0), "abuse@isp.example");
    EXPECT_EQ(CacheRows(), RowList { IPListValues("198.51.100.7", "abuse@isp.example", Today, "", Today - 31, 1) });

    clock.AdvanceSeconds(3600);
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.7", 2, 0), "abuse@isp.example,noc@isp.example");
    EXPECT_EQ(CacheRows(), RowList { IPListValues("198.51.100.7", "abuse@isp.example", Today,
                                                  "abuse@isp.example,noc@isp.example", Today, 2) });
    EXPECT_EQ(finder.calls, (std::vector<ScriptedFinder::Call> { { "198.51.100.7", 0 }, { "198.51.100.7", 2 } }));
}

TEST_F(DataModuleTest, AHarderSearchOfANewAddressFillsOnlyTheHarderSet)
{
    finder.answer = [](const std::string&, std::uint16_t) { return "abuse@isp.example"; };
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.8", 2, 1), "abuse@isp.example");
    EXPECT_EQ(CacheRows(), RowList { IPListValues("198.51.100.8", "", Today - 31, "abuse@isp.example", Today, 1) });
}

TEST_F(DataModuleTest, EachSetIsUsedFor30DaysAndTheTwoAgeApart)
{
    finder.answer = [](const std::string&, std::uint16_t level) {
        return level >= 2 ? "new-hard@isp.example" : "new@isp.example";
    };
    // The normal set was made on day D, the harder one ten days later.
    const int d = Today - 100;
    Cache(IPListValues("198.51.100.9", "old@isp.example", d, "old-hard@isp.example", d + 10, 5));
    struct Case {
        const char* name;
        int day;
        std::uint16_t level;
        std::string expected;
        bool searched;
    };
    const Case cases[] = {
        { "normal set on day D+29", d + 29, 0, "old@isp.example", false },
        { "level 1 reads the normal set", d + 29, 1, "old@isp.example", false },
        { "harder set on day D+30, set on D+10", d + 30, 2, "old-hard@isp.example", false },
        { "normal set on day D+30", d + 30, 0, "new@isp.example", true },
        { "harder set on day D+40", d + 40, 2, "new-hard@isp.example", true },
    };
    std::int64_t reports = 5;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clock.Set(FixedClock::AtLocal(1970, 1, 1, 9).Now() + std::chrono::hours(24) * c.day);
        finder.calls.clear();

        EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.9", c.level, 0), c.expected);
        EXPECT_EQ(finder.calls.size(), c.searched ? 1u : 0u);
        EXPECT_EQ(CacheRows().at(0)[5], TableValue(++reports));
    }
    EXPECT_EQ(CacheRows(),
              RowList { IPListValues("198.51.100.9", "new@isp.example", d + 30, "new-hard@isp.example", d + 40, 10) });
}

TEST_F(DataModuleTest, AnEmptySearchResultIsStoredButNeverFresh)
{
    Cache(IPListValues("198.51.100.10", "gone@isp.example", Today - 30));
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.10", 0, 0), "");
    EXPECT_EQ(CacheRows(), RowList { IPListValues("198.51.100.10", "", Today, "", Today - 31, 2) });

    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.10", 0, 0), "");
    EXPECT_EQ(finder.calls.size(), 2u);
}

TEST_F(CacheStatusTest, WhereTheListOfALookUpCameFrom)
{
    Cache(IPListValues("198.51.100.12", "fresh@isp.example", Today));
    Cache(IPListValues("198.51.100.13", "old@isp.example", Today - 30));
    finder.answer = [](const std::string&, std::uint16_t) { return std::string(); };
    struct Case {
        const char* name;
        std::string address;
        LookupOutcome expected;
    };
    const Case cases[] = {
        { "a fresh list", "198.51.100.12", LookupOutcome::Cached },
        { "no address", "", LookupOutcome::Cached },
        { "a stale list searched again, finding nobody", "198.51.100.13", LookupOutcome::Searched },
        { "a new address searched, finding nobody", "198.51.100.14", LookupOutcome::Searched },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        LookupOutcome outcome = LookupOutcome::SearchFailed;
        (void)DM().LookupComplaintEmails(c.address, 0, 0, &outcome);
        EXPECT_EQ(outcome, c.expected);
    }
    EXPECT_TRUE(statuses.empty());
}

TEST_F(CacheStatusTest, ASearchNoServerAnsweredKeepsTheStaleListAndItsDate)
{
    // 2024-02-07, forty days before the fixture's day.
    Cache(IPListValues("198.51.100.15", "old@isp.example,noc@isp.example", Today - 40, "hard@isp.example", Today - 35,
                       3));
    finder.answered = false;
    struct Case {
        const char* name;
        std::uint16_t level;
        std::string expected;
        std::string status;
    };
    const Case cases[] = {
        { "the normal list", 0, "old@isp.example,noc@isp.example",
          "Search for 198.51.100.15 failed: using the list cached on 2024-02-07" },
        { "the harder list, with its own date", 2, "hard@isp.example",
          "Search for 198.51.100.15 failed: using the list cached on 2024-02-12" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        statuses.clear();
        LookupOutcome outcome = LookupOutcome::Cached;
        EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.15", c.level, 0, &outcome), c.expected);
        EXPECT_EQ(outcome, LookupOutcome::CachedAfterFailedSearch);
        EXPECT_EQ(statuses, std::vector<std::string> { c.status });
    }
    EXPECT_EQ(CacheRows(), RowList { IPListValues("198.51.100.15", "old@isp.example,noc@isp.example", Today - 40,
                                                  "hard@isp.example", Today - 35, 5) });
    EXPECT_EQ(StatsRows().size(), 2u);

    // The kept list is still stale: once the servers answer, it is searched again.
    finder.answered = true;
    finder.answer = [](const std::string&, std::uint16_t) { return "new@isp.example"; };
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.15", 0, 0), "new@isp.example");
    EXPECT_EQ(CachedList("198.51.100.15"), "new@isp.example");
    EXPECT_EQ(finder.calls.size(), 3u);
}

TEST_F(CacheStatusTest, ASearchNoServerAnsweredWithNoListToStandInFails)
{
    Cache(IPListValues("198.51.100.16", "", Today - 3));
    finder.answered = false;
    for (const char* address : { "198.51.100.16", "198.51.100.17" }) {
        SCOPED_TRACE(address);
        statuses.clear();
        LookupOutcome outcome = LookupOutcome::Cached;
        EXPECT_EQ(DM().LookupComplaintEmails(address, 0, 0, &outcome), "");
        EXPECT_EQ(outcome, LookupOutcome::SearchFailed);
        EXPECT_EQ(statuses, std::vector<std::string> { "Search for " + std::string(address)
                                                       + " failed: no WHOIS server answered" });
    }
    // Nothing stored: the empty list keeps its date, the new address gets no row.
    EXPECT_EQ(CacheRows(), RowList { IPListValues("198.51.100.16", "", Today - 3, "", Today - 31, 2) });
    EXPECT_EQ(StatsRows().size(), 2u);
}

TEST_F(DataModuleTest, AnEmptyAddressTouchesNoTable)
{
    EXPECT_EQ(DM().LookupComplaintEmails("", 0, 0), "");
    EXPECT_TRUE(finder.calls.empty());
    EXPECT_FALSE(PathExists(folder / "IPList.db"));
    EXPECT_FALSE(PathExists(folder / "IPStats.db"));
}

TEST_F(DataModuleTest, TheTemplatePositionIsLoggedAsAnUnsigned16BitNumber)
{
    Cache(IPListValues("198.51.100.11", "abuse@isp.example", Today));
    (void)DM().LookupComplaintEmails("198.51.100.11", 0, NoTemplate);
    (void)DM().LookupComplaintEmails("198.51.100.11", 0, 7);
    auto stats = StatsRows();
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0][2], TableValue(65535));
    EXPECT_EQ(stats[1][2], TableValue(7));
}

TEST_F(DataModuleTest, IsCachedIPTellsWhetherTheAddressHasARow)
{
    Cache(IPListValues("198.51.100.12", "", Today - 40));
    EXPECT_TRUE(DM().IsCachedIP("198.51.100.12"));
    EXPECT_FALSE(DM().IsCachedIP("198.51.100.13"));

    // Another program caches the address after the keys were read.
    ContactCache other(folder.Path(), clock, finder);
    other.OpenTableSafe(other.Contacts());
    other.Contacts().AppendRecord(IPListValues("198.51.100.13", "abuse@late.example", Today));
    EXPECT_TRUE(DM().IsCachedIP("198.51.100.13"));
}

// Rows are never deleted while the table is open, but a repair by another
// program while it was closed may have lost some.
TEST_F(DataModuleTest, TheRememberedKeysAreReadAgainWhenTheTableOpensAgain)
{
    Cache(IPListValues("198.51.100.14", "abuse@a.example", Today));
    Cache(IPListValues("198.51.100.15", "abuse@b.example", Today));
    ASSERT_TRUE(DM().IsCachedIP("198.51.100.14"));
    // As after damage met in use: the table closes, another program repairs
    // it and saves every row but one.
    DM().Contacts().Close();
    const std::string path = folder / "IPList.db";
    ASSERT_EQ(::unlink(path.c_str()), 0);
    WriteTableFile(path, IPListTableDef(), { { 0, IPListValues("198.51.100.15", "abuse@b.example", Today) } });

    EXPECT_FALSE(DM().IsCachedIP("198.51.100.14"));
    EXPECT_TRUE(DM().IsCachedIP("198.51.100.15"));
}

// A command run while the search lets input through may look up addresses
// too: the result must land in the row of its own address, once.
TEST_F(DataModuleTest, ALookUpMadeDuringTheSearchMovesNothingAndAddsNoSecondRow)
{
    Cache(IPListValues("198.51.100.20", "stale@a.example", Today - 60));
    Cache(IPListValues("198.51.100.21", "fresh@b.example", Today));
    finder.answer = [this](const std::string& address, std::uint16_t) -> std::string {
        if (address == "198.51.100.20") {
            EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.21", 0, 0), "fresh@b.example");
        }
        if (address == "198.51.100.22" && finder.calls.size() == 2) {
            EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.22", 0, 0), "new@c.example");
        }
        return address == "198.51.100.20" ? "new@a.example" : "new@c.example";
    };

    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.20", 0, 0), "new@a.example");
    EXPECT_EQ(DM().LookupComplaintEmails("198.51.100.22", 0, 0), "new@c.example");

    EXPECT_EQ(CacheRows(), (RowList { IPListValues("198.51.100.20", "new@a.example", Today, "", Today - 31, 2),
                                      IPListValues("198.51.100.21", "fresh@b.example", Today, "", Today - 31, 2),
                                      IPListValues("198.51.100.22", "new@c.example", Today, "", Today - 31, 2) }));
    EXPECT_EQ(StatsRows().size(), 4u);
}

TEST_F(DataModuleTest, RemovingAnAddressTakesOutWholeEntriesOfTheNormalList)
{
    struct Case {
        const char* name;
        std::string list;
        std::string address;
        std::string expected;
    };
    const Case cases[] = {
        { "the only entry", "x@y.com", "x@y.com", "" },
        { "the first entry", "x@y.com,b@c.org,d@e.net", "x@y.com", "b@c.org,d@e.net" },
        { "a middle entry", "b@c.org,x@y.com,d@e.net", "x@y.com", "b@c.org,d@e.net" },
        { "the last entry", "b@c.org,d@e.net,x@y.com", "x@y.com", "b@c.org,d@e.net" },
        { "every copy", "x@y.com,b@c.org,x@y.com", "x@y.com", "b@c.org" },
        { "typed in capitals between blanks", "b@c.org,x@y.com", " \tX@Y.Com \r\n", "b@c.org" },
        { "not in the list", "b@c.org,d@e.net", "x@y.com", "b@c.org,d@e.net" },
        { "only the tail of a longer address", "ax@y.com,b@c.org", "x@y.com", "ax@y.com,b@c.org" },
        { "only the head of a longer address", "x@y.com.au,b@c.org", "x@y.com", "x@y.com.au,b@c.org" },
        { "LIKE wildcards are plain text", "a_b@x.org,azb@x.org", "a_b@x.org", "azb@x.org" },
        { "@ and a domain: its addresses and its subdomains'", "x@y.com,b@c.org,n@mx.y.com,z@xy.com,q@y.com.au",
          " @Y.com ", "b@c.org,z@xy.com,q@y.com.au" },
        { "@ alone removes nothing", "x@y.com", "@", "x@y.com" },
        { "a blank address removes nothing", "b@c.org", "  ", "b@c.org" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseFolder;
        ContactCache module(caseFolder.Path(), clock, finder);
        module.OpenTableSafe(module.Contacts());
        module.Contacts().AppendRecord(IPListValues("198.51.100.30", c.list, Today, c.list, Today));
        module.Contacts().AppendRecord(IPListValues("198.51.100.31", "other@f.example", Today));

        module.RemoveEmailFromCache(c.address);

        OpenedTableFile opened = OpenTableFile(caseFolder / "IPList.db", IPListTableDef());
        auto rows = ReadTableRows(opened.connection, IPListTableDef());
        ASSERT_EQ(rows.size(), 2u);
        EXPECT_EQ(rows[0].values, IPListValues("198.51.100.30", c.expected, Today, c.list, Today));
        EXPECT_EQ(rows[1].values, IPListValues("198.51.100.31", "other@f.example", Today));
        EXPECT_FALSE(module.Contacts().Filtered());
        EXPECT_TRUE(module.IsCachedIP("198.51.100.31"));
    }
}

TEST_F(DataModuleTest, ApplyBlacklistRemovesWhatAnyOfTheThreeFilesExcludes)
{
    Cache(IPListValues("198.51.100.40", "x@y.com,keep@k.example,b@c.org,ax@y.com", Today));
    Cache(IPListValues("198.51.100.41", "b@c.org", Today));
    Cache(IPListValues("198.51.100.42", "hostmaster@nic.or.kr,abuse@operator.co.kr,helpdesk@apnic.net", Today,
                       "hostmaster@nic.or.kr", Today));
    WriteFile(folder / BlacklistFileName, "X@Y.com\r\n\r\n");
    WriteFile(folder / BlocklistFileName, "b@c.org\n");
    WriteFile(folder / RegistryAddressesFileName, "@nic.or.kr\r\n@apnic.net\r\n");

    DM().ApplyBlacklist();

    EXPECT_EQ(CachedList("198.51.100.40"), "keep@k.example,ax@y.com");
    EXPECT_EQ(CachedList("198.51.100.41"), "");
    EXPECT_EQ(CachedList("198.51.100.42"), "abuse@operator.co.kr");
    // Only the normal-search list is cleaned, as removing one address does.
    EXPECT_EQ(CacheRows().at(2)[3], TableValue("hostmaster@nic.or.kr"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DataModuleTest, ApplyBlacklistWithoutFilesChangesNothing)
{
    Cache(IPListValues("198.51.100.42", "x@y.com", Today));
    DM().ApplyBlacklist();
    EXPECT_EQ(CachedList("198.51.100.42"), "x@y.com");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(DataModuleTest, RemoveEmailsFromCacheTakesEachLineInTurn)
{
    Cache(IPListValues("198.51.100.43", "x@y.com,keep@k.example,b@c.org", Today));
    DM().RemoveEmailsFromCache({ "x@y.com", "", "b@c.org" });
    EXPECT_EQ(CachedList("198.51.100.43"), "keep@k.example");
}

TEST_F(DataModuleTest, FixEmailsRemovesEveryLeadingComma)
{
    struct Case {
        const char* ip;
        std::string list;
        std::string expected;
    };
    const Case cases[] = {
        { "198.51.100.50", ",,a@b.example,c@d.example", "a@b.example,c@d.example" },
        { "198.51.100.51", ",a@b.example", "a@b.example" },
        { "198.51.100.52", ",", "" },
        { "198.51.100.53", "a@b.example,,c@d.example", "a@b.example,,c@d.example" },
        { "198.51.100.54", "a@b.example", "a@b.example" },
    };
    for (const Case& c : cases)
        Cache(IPListValues(c.ip, c.list, Today, c.list, Today));

    DM().FixEmails();

    auto rows = CacheRows();
    ASSERT_EQ(rows.size(), std::size(cases));
    for (size_t i = 0; i < rows.size(); ++i) {
        SCOPED_TRACE(cases[i].ip);
        EXPECT_EQ(rows[i], IPListValues(cases[i].ip, cases[i].expected, Today, cases[i].list, Today));
    }
    EXPECT_FALSE(DM().Contacts().Filtered());
}

// --- Two programs on one folder ---------------------------------------------

// The window and a cron job of the command-line tool looking up the same
// addresses at once, six processes here, each the whole way: count, search,
// store, log.
TEST_F(DataModuleTest, ProgramsLookingUpTheSameAddressesAtOnceLoseNoCountAndMakeNoSecondRow)
{
    constexpr int Programs = 6;
    constexpr int LookUps = 30;
    constexpr int Addresses = 8;
    auto address = [](int k) { return "198.51.100." + std::to_string(k + 1); };
    auto addressOf = [](int program, int i) { return (i * 5 + program * 3) % Addresses; };
    auto levelOf = [](int program, int i) -> std::uint16_t { return (i + program) % 4 == 0 ? 2 : 0; };
    auto answer = [](const std::string& ip, std::uint16_t level) {
        // A search takes a moment, in which the other programs go on.
        std::this_thread::sleep_for(std::chrono::milliseconds(3));
        return (level >= 2 ? "security@" : "abuse@") + ReplaceAll(ip, ".", "-") + ".example";
    };

    std::vector<std::unique_ptr<ForkedChild>> programs;
    for (int program = 0; program < Programs; ++program) {
        programs.push_back(std::make_unique<ForkedChild>([&, program](ChildLink& link) {
            ScriptedFinder search;
            search.answer = answer;
            ContactCache cache(folder.Path(), clock, search);
            link.Report();
            link.AwaitContinue();
            for (int i = 0; i < LookUps; ++i) {
                std::string ip = address(addressOf(program, i));
                std::uint16_t level = levelOf(program, i);
                if (cache.LookupComplaintEmails(ip, level, static_cast<std::uint16_t>(program)) != answer(ip, level))
                    throw std::runtime_error("a wrong list for " + ip);
            }
        }));
    }
    for (auto& program : programs)
        ASSERT_TRUE(program->WaitForReport());
    for (auto& program : programs)
        program->Continue();
    for (int program = 0; program < Programs; ++program)
        EXPECT_EQ(programs[program]->Finish(), "") << "program " << program;

    EXPECT_EQ(StatsRows().size(), static_cast<size_t>(Programs * LookUps));
    std::vector<std::int64_t> counts(Addresses);
    std::vector<bool> harder(Addresses);
    for (int program = 0; program < Programs; ++program) {
        for (int i = 0; i < LookUps; ++i) {
            ++counts[addressOf(program, i)];
            if (levelOf(program, i) >= 2)
                harder[addressOf(program, i)] = true;
        }
    }
    RowList expected;
    for (int k = 0; k < Addresses; ++k) {
        std::string ip = address(k);
        expected.push_back({ ip, answer(ip, 0), TableDate { Today }, harder[k] ? answer(ip, 2) : "",
                             TableDate { harder[k] ? Today : Today - 31 }, counts[k] });
    }
    RowList rows = CacheRows();
    std::sort(rows.begin(), rows.end(), [](const auto& a, const auto& b) { return a[0].Text() < b[0].Text(); });
    std::sort(expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a[0].Text() < b[0].Text(); });
    EXPECT_EQ(rows, expected);

    // The last program closed both tables cleanly: they open without a
    // check, let alone a repair.
    for (const TableDef* definition : { &IPListTableDef(), &IPStatsTableDef() }) {
        SCOPED_TRACE(definition->name);
        OpenedTableFile opened = OpenTableFile(folder / (definition->name + ".db"), *definition);
        EXPECT_FALSE(opened.checked);
        EXPECT_EQ(Query(folder / (definition->name + ".db"), "PRAGMA integrity_check"),
                  std::vector<std::string> { "ok" });
    }
    EXPECT_EQ(ListFolder(folder.Path()),
              (std::vector<std::string> { "IPList.db", "IPList.db.lock", "IPStats.db", "IPStats.db.lock" }));
    EXPECT_TRUE(ui.messages.empty());
}

// --- Damaged and old table files -------------------------------------------

constexpr std::uint64_t PageSize = 4096;

std::vector<TableRow> ManyRows(int count)
{
    std::vector<TableRow> rows;
    for (int i = 1; i <= count; ++i) {
        std::string ip = "10.0." + std::to_string(i / 256) + "." + std::to_string(i % 256);
        rows.push_back(
            { i, IPListValues(ip, "abuse@net" + std::to_string(i) + ".example,noc@isp.example", Today - i % 20) });
    }
    return rows;
}

TEST_F(DataModuleTest, DamagedOrOldTableFilesAreRepairedOrUpgradedAsTheyOpen)
{
    struct Case {
        const char* name;
        int format;
        std::function<void(const std::string& path)> damage;
        bool backup; // the damaged file is kept beside the new one
    };
    const Case cases[] = {
        { "a corrupt header", kCurrentTableFormat,
          [](const std::string& path) { OverwriteBytes(path, 0, std::string(100, '\xa5')); }, true },
        { "a corrupt index page", kCurrentTableFormat,
          [](const std::string& path) {
              OverwriteBytes(path, (PagesOf(path, "IPList_primary", "leaf").at(1) - 1) * PageSize,
                             std::string(12, '\xff'));
          },
          false },
        { "an older format of ours", kOldestTableFormat, [](const std::string&) {}, false },
    };
    const auto written = ManyRows(1500);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir caseFolder;
        const std::string path = caseFolder / "IPList.db";
        WriteTableFile(path, IPListTableDef(), written, c.format);
        c.damage(path);

        ContactCache module(caseFolder.Path(), clock, finder);
        EXPECT_TRUE(module.IsCachedIP("10.0.3.45"));
        EXPECT_EQ(module.LookupComplaintEmails("10.0.5.200", 0, 0), "abuse@net1480.example,noc@isp.example");

        EXPECT_TRUE(ui.messages.empty());
        EXPECT_TRUE(finder.calls.empty());
        std::vector<std::string> files = ListFolder(caseFolder.Path());
        bool backupKept = std::any_of(files.begin(), files.end(),
                                      [](const std::string& name) { return name.starts_with("IPList.db.bak-"); });
        EXPECT_EQ(backupKept, c.backup);
        OpenedTableFile opened = OpenTableFile(path, IPListTableDef());
        EXPECT_EQ(opened.format, kCurrentTableFormat);
        EXPECT_EQ(ReadTableRows(opened.connection, IPListTableDef()).size(), written.size());
    }
}

TEST_F(DataModuleTest, ATableThatCannotBeOpenedIsReportedInAnErrorBoxAndStaysClosed)
{
    // Written by a program newer than this one: neither repaired nor upgraded.
    const std::string path = folder / "IPList.db";
    WriteTableFile(path, IPListTableDef(), { { 1, IPListValues("198.51.100.60", "x@y.com", Today) } });
    Execute(path, "UPDATE morvanta_format SET format=3; PRAGMA user_version=3");
    const std::string before = ReadFile(path);

    int code = 0;
    try {
        (void)DM().IsCachedIP("198.51.100.60");
    } catch (const TableError& error) {
        code = error.code();
    }

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Error");
    EXPECT_TRUE(ui.messages[0].text.find("IPList") != std::string::npos) << ui.messages[0].text;
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::None);
    EXPECT_FALSE(DM().Contacts().Active());
    // The look-up then fails on the closed table, for the general error report.
    EXPECT_EQ(code, TableErrorCode::NotActive);
    EXPECT_TRUE(ReadFile(path) == before);
}

} // namespace
} // namespace morvanta::test
