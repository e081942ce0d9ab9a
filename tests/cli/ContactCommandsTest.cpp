#include "CliFixture.h"
#include "analysis/EmailHarvest.h"
#include "base/Text.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/TableFiles.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "net/NetError.h"
#include "tables/TableFile.h"
#include "tables/TableValue.h"

#include <gtest/gtest.h>

#include <string>
#include <thread>
#include <vector>

namespace morvanta::test {
namespace {

using namespace whois_text;

// A program folder whose settings aim every WHOIS server at loopback
// registries, and a home of its own.
class ContactCommands : public CliFixture {
protected:
    void WriteSettings(const LoopbackRegistries& registries)
    {
        WriteFile(folder / "Morvanta.ini", "[Options]\r\n" + registries.OptionsIni());
    }

    std::vector<std::vector<TableValue>> Rows(const TableDef& definition) { return RowsIn(folder.Path(), definition); }

    static std::vector<std::vector<TableValue>> RowsIn(const std::string& programFolder, const TableDef& definition)
    {
        std::vector<std::vector<TableValue>> rows;
        for (auto& row : ReadRows(programFolder + definition.name + ".db", definition))
            rows.push_back(row.values);
        return rows;
    }

    static void Cache(const std::string& programFolder, const std::vector<std::vector<TableValue>>& rows)
    {
        std::vector<TableRow> table;
        for (const auto& values : rows)
            table.push_back({ 0, values });
        WriteTableFile(programFolder + "IPList.db", IPListTableDef(), table);
    }
};

std::string QueryLog(const LoopbackRegistries& registries)
{
    std::string log;
    for (const WhoisQuery& query : registries.Queries())
        log += std::string(RegistryName(query.registry)) + " " + query.query + "\n";
    return log;
}

const std::string Spam = "Return-Path: <bounce@spam.example>\n"
                         "Received: from relay.spam.example (relay.spam.example [62.4.17.23])\n"
                         "\tby mx.mine.example (Postfix) with ESMTP id 4F1A2C0\n"
                         "\tfor <me@mine.example>; Mon, 18 Mar 2024 10:00:02 +0100 (CET)\n"
                         "Received: by mail-pj1.spam.example with SMTP id x12so;\n"
                         "\tMon, 18 Mar 2024 02:00:00 -0700 (PDT)\n"
                         "From: \"Prize Office\" <winner@spam.example>\n"
                         "Subject: You have won\n"
                         "\n"
                         "Send your bank details to claim.\n";

// The whole way from a message to its complaint list runs in a network of
// its own, where the source address has a reverse name.
TEST_F(ContactCommands, FindPrintsTheSourceAndItsListAndASecondRunAsksNoServer)
{
    WriteFile(folder / "spam.eml", Spam);
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n62.4.17.23 relay.spam.example\n", [&] {
        LoopbackRegistries registries;
        WriteSettings(registries);
        registries.Answer(Registry::Abuse, "-h relay.spam.example", "No abuse contact known for this domain.\n");
        registries.Answer(Registry::Arin, "62.4.17.23", ArinRipeRange("62.0.0.0 - 62.255.255.255"));
        registries.Answer(Registry::Arin, "+ 62.4.17.23", ArinRipeRange("62.0.0.0 - 62.255.255.255"));
        registries.Answer(Registry::Ripe, "62.4.17.23",
                          RipeStyleInetnum("RIPE", "62.4.16.0 - 62.4.31.255", "SPAMNET", "abuse@spam-isp.example"));
        registries.Answer(Registry::Ripe, "-a 62.4.17.23",
                          RipeStyleInetnum("RIPE", "62.4.16.0 - 62.4.31.255", "SPAMNET", "abuse@spam-isp.example",
                                           "tech-c:         noc@spam-isp.example\n"));

        std::vector<std::string> fields;
        auto run = [&](std::vector<std::string> arguments) {
            registries.ClearQueries();
            ProcessResult result = Run(std::move(arguments));
            fields.insert(fields.end(),
                          { std::to_string(result.exitStatus), result.out, result.err, QueryLog(registries) });
        };
        run({ "find", folder / "spam.eml" });
        run({ "find", folder / "spam.eml" });
        run({ "contacts", "62.4.17.23" });
        run({ "contacts", "62.4.17.23", "--harder" });
        return PackFields(fields);
    });
    if (!outcome)
        GTEST_SKIP() << "no private network namespace on this system";
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 16u) << *outcome;
    struct Expected {
        const char* name;
        std::string out;
        std::string queries;
    };
    const Expected runs[] = {
        { "first find", "62.4.17.23\tabuse@spam-isp.example\n",
          "ARIN 62.4.17.23\nABUSE -h relay.spam.example\nARIN 62.4.17.23\nRIPE 62.4.17.23\n" },
        { "second find, from the cache", "62.4.17.23\tabuse@spam-isp.example\n", "" },
        { "contacts, from the cache", "abuse@spam-isp.example\n", "" },
        { "contacts, harder: every line of every answer",
          "abuse@spam-isp.example,hostmaster@spamnet.example,noc@spam-isp.example\n",
          "ABUSE -h relay.spam.example\nARIN 62.4.17.23\nRIPE 62.4.17.23\nARIN + 62.4.17.23\n"
          "RIPE -a 62.4.17.23\n" },
    };
    for (size_t i = 0; i < std::size(runs); ++i) {
        SCOPED_TRACE(runs[i].name);
        EXPECT_EQ(fields[4 * i], "0") << fields[4 * i + 2];
        EXPECT_EQ(fields[4 * i + 1], runs[i].out);
        EXPECT_EQ(fields[4 * i + 3], runs[i].queries);
    }
    EXPECT_NE(fields[2].find("Searching RIPE...\n"), std::string::npos) << fields[2];
    EXPECT_NE(fields[2].find("Searching abuse contacts for 62.4.17.23...\n"), std::string::npos) << fields[2];
    EXPECT_NE(fields[2].find("Finished 62.4.17.23 report\n"), std::string::npos) << fields[2];

    auto cache = Rows(IPListTableDef());
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache[0][0], TableValue("62.4.17.23"));
    EXPECT_EQ(cache[0][1], TableValue("abuse@spam-isp.example"));
    EXPECT_EQ(cache[0][3], TableValue("abuse@spam-isp.example,hostmaster@spamnet.example,noc@spam-isp.example"));
    EXPECT_EQ(cache[0][5], TableValue(4));
    auto stats = Rows(IPStatsTableDef());
    ASSERT_EQ(stats.size(), 4u);
    for (const auto& row : stats) {
        EXPECT_EQ(row[0], TableValue("62.4.17.23"));
        EXPECT_EQ(row[2], TableValue(65535));
    }
}

// A message handed in by a public relay, between hops in private,
// loopback and documentation space (the receiving site's own network, the
// sender's LAN).
std::string MessageVia(const std::string& relayName, const std::string& relayAddress)
{
    return "Received: from mx.mine.test ([10.1.2.3]) by pop.mine.test with LMTP\n"
           "Received: from "
           + relayName + " (" + relayName + " [" + relayAddress
           + "])\n\tby mx.mine.test with ESMTP\n"
             "Received: from [192.168.1.20] (helo=pc17) by "
           + relayName
           + " with ESMTPA\n"
             "Received: from localhost ([127.0.0.1]) by pc17\n"
             "Received: from doc ([192.0.2.9]) by pc17\n"
             "Subject: Cheap watches\n\nBuy now.\n";
}

// Registry-shaped answers all the way, with the shipped list of registry
// addresses in the program folder: each list holds the operator's abuse desk
// and no registry or documentation address, and no private hop is asked about.
TEST_F(ContactCommands, FindReportsToTheOperatorsAbuseDeskAndAsksNothingAboutPrivateHops)
{
    WriteFile(folder / RegistryAddressesFileName,
              ReadFile(std::string(MORVANTA_PROGRAM_DIR) + "/" + RegistryAddressesFileName));
    struct Message {
        const char* name;
        std::string relayName;
        std::string relayAddress;
    };
    const Message messages[] = {
        { "RIPE NCC: the abuse role's mailbox", "mail.operator-dsl.de", "62.4.17.23" },
        { "APNIC for a national registry's space: the operator's remarks, not the registry's hostmaster",
          "smtp.operator-telecom.co.kr", "211.40.7.7" },
        { "LACNIC, then registro.br: the abuse contact, not the owner", "mx.provedor.com.br", "200.160.2.3" },
    };
    std::string hosts = "127.0.0.1 localhost\n";
    for (const Message& m : messages)
        hosts += m.relayAddress + " " + m.relayName + "\n";
    for (const Message& m : messages)
        WriteFile(folder / (m.relayAddress + ".eml"), MessageVia(m.relayName, m.relayAddress));

    auto outcome = RunInPrivateNetwork(hosts, [&] {
        LoopbackRegistries registries;
        WriteSettings(registries);
        // The abuse service knows only registries' addresses: none of them counts.
        registries.AnswerOthers(Registry::Abuse, [](const std::string& query) {
            return AbuseServiceAnswer(query.substr(3), "hostmaster@ripe.net abuse@example.com");
        });
        registries.Answer(Registry::Arin, "62.4.17.23", ArinRipeRange("62.0.0.0 - 62.255.255.255"));
        registries.Answer(Registry::Ripe, "62.4.17.23",
                          RipeAssignment("62.4.16.0 - 62.4.31.255", "abuse@operator-dsl.de", "noc@operator-dsl.de",
                                         "cert@operator-dsl.de"));
        registries.Answer(Registry::Arin, "211.40.7.7", ArinApnicRange("211.0.0.0 - 211.255.255.255"));
        registries.Answer(Registry::Apnic, "211.40.7.7",
                          ApnicNationalRegistryBlock("211.32.0.0 - 211.63.255.255", "KRNIC-KR", "hostmaster@nic.or.kr",
                                                     "211.40.0.0 - 211.40.255.255", "abuse@operator-telecom.co.kr"));
        registries.Answer(Registry::Arin, "200.160.2.3", ArinLacnicRange("200.0.0.0 - 200.255.255.255"));
        registries.Answer(Registry::Lacnic, "200.160.2.3",
                          LacnicInetnum("200.160.0.0/16", "abuse@lacnic.net", registries.Host(Registry::Brnic)));
        registries.Answer(Registry::Brnic, "200.160.2.3",
                          BrnicInetnum("200.160.0.0/16", "abuse@provedor.com.br", "gerencia@provedor.com.br"));

        std::vector<std::string> fields;
        for (const Message& m : messages) {
            registries.ClearQueries();
            ProcessResult result = Run({ "find", folder / (m.relayAddress + ".eml") });
            fields.insert(fields.end(),
                          { std::to_string(result.exitStatus), result.out, result.err, QueryLog(registries) });
        }
        return PackFields(fields);
    });
    if (!outcome)
        GTEST_SKIP() << "no private network namespace on this system";
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), 4 * std::size(messages)) << *outcome;
    const std::string expected[] = {
        "62.4.17.23\tabuse@operator-dsl.de\n",
        "211.40.7.7\tabuse@operator-telecom.co.kr,hostmaster@operator-telecom.co.kr\n",
        "200.160.2.3\tabuse@provedor.com.br\n",
    };
    for (size_t i = 0; i < std::size(messages); ++i) {
        SCOPED_TRACE(messages[i].name);
        const Message& m = messages[i];
        EXPECT_EQ(fields[4 * i], "0") << fields[4 * i + 2];
        EXPECT_EQ(fields[4 * i + 1], expected[i]);
        // ARIN is asked about the relay twice: is IANA its holder, and the chase.
        const std::string& queries = fields[4 * i + 3];
        EXPECT_TRUE(queries.starts_with("ARIN " + m.relayAddress + "\nABUSE -h " + m.relayName + "\nARIN "
                                        + m.relayAddress + "\n"))
            << queries;
        for (const char* hop : { "10.1.2.3", "192.168.1.20", "127.0.0.1", "192.0.2.9" }) {
            EXPECT_EQ(queries.find(hop), std::string::npos) << hop << " asked about:\n" << queries;
        }
    }
}

// Every server refuses, as when the network is down.
class ContactCommandsInAnOutage : public ContactCommands {
protected:
    struct Outcome {
        int exitStatus;
        std::string out;
        std::string err;
    };

    // Runs each command line in a network of its own, every registry refusing.
    std::vector<Outcome> RunAll(const std::vector<std::vector<std::string>>& commands)
    {
        auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n62.4.17.23 mail.operator-dsl.de\n", [&] {
            LoopbackRegistries registries;
            WriteSettings(registries);
            for (Registry registry : AllRegistries)
                registries.Refuse(registry);
            std::vector<std::string> fields { std::to_string(registries.Port()) };
            for (const auto& command : commands) {
                ProcessResult result = Run(command);
                fields.insert(fields.end(), { std::to_string(result.exitStatus), result.out, result.err });
            }
            return PackFields(fields);
        });
        std::vector<Outcome> outcomes;
        if (!outcome)
            return outcomes;
        std::vector<std::string> fields = UnpackFields(*outcome);
        if (fields.size() != 1 + 3 * commands.size()) {
            ADD_FAILURE() << *outcome;
            return outcomes;
        }
        port = fields[0];
        for (size_t i = 1; i < fields.size(); i += 3)
            outcomes.push_back({ std::stoi(fields[i]), fields[i + 1], fields[i + 2] });
        return outcomes;
    }

    std::string port;
};

TEST_F(ContactCommandsInAnOutage, FindAndContactsFailNamingEachServerTheyAsked)
{
    WriteFile(folder / "spam.eml", MessageVia("mail.operator-dsl.de", "62.4.17.23"));
    const std::vector<std::vector<std::string>> commands {
        { "find", folder / "spam.eml" },
        { "contacts", "62.4.17.23" },
        { "contacts", "62.4.17.23", "--harder" },
    };
    std::vector<Outcome> outcomes = RunAll(commands);
    if (outcomes.empty())
        GTEST_SKIP() << "no private network namespace on this system";
    ASSERT_EQ(outcomes.size(), commands.size());
    const std::string refused = SocketErrorMessage(10061);
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i][0] + (commands[i].size() > 2 ? " " + commands[i][2] : ""));
        const Outcome& run = outcomes[i];
        EXPECT_EQ(run.exitStatus, 1);
        EXPECT_EQ(run.out, "");
        for (const char* server : { "127.0.0.9", "127.0.0.2" }) {
            EXPECT_NE(run.err.find(server + (":" + port) + ": " + refused + "\n"), std::string::npos)
                << server << " not named in:\n"
                << run.err;
        }
        EXPECT_NE(run.err.find("Search for 62.4.17.23 failed: no WHOIS server answered\n"), std::string::npos)
            << run.err;
    }
    EXPECT_TRUE(Rows(IPListTableDef()).empty());
    EXPECT_EQ(Rows(IPStatsTableDef()).size(), commands.size());
}

TEST_F(ContactCommandsInAnOutage, AStaleCachedListStandsInForTheSearch)
{
    const int longAgo = 19000;
    Cache(folder.Path(), { { "62.4.17.23", "abuse@operator-dsl.de,noc@operator-dsl.de", TableDate { longAgo }, "",
                             TableDate { longAgo - 31 }, 4 } });
    WriteFile(folder / "spam.eml", MessageVia("mail.operator-dsl.de", "62.4.17.23"));
    const std::vector<std::vector<std::string>> commands {
        { "contacts", "62.4.17.23" },
        { "find", folder / "spam.eml" },
    };
    std::vector<Outcome> outcomes = RunAll(commands);
    if (outcomes.empty())
        GTEST_SKIP() << "no private network namespace on this system";
    ASSERT_EQ(outcomes.size(), commands.size());
    const std::string status
        = "Search for 62.4.17.23 failed: using the list cached on " + *FormatDate(TableDate { longAgo }) + "\n";
    const std::string expected[]
        = { "abuse@operator-dsl.de,noc@operator-dsl.de\n", "62.4.17.23\tabuse@operator-dsl.de,noc@operator-dsl.de\n" };
    for (size_t i = 0; i < commands.size(); ++i) {
        SCOPED_TRACE(commands[i][0]);
        EXPECT_EQ(outcomes[i].exitStatus, 0) << outcomes[i].err;
        EXPECT_EQ(outcomes[i].out, expected[i]);
        EXPECT_NE(outcomes[i].err.find(status), std::string::npos) << outcomes[i].err;
    }
    // The list and its date are kept, so the next look-up searches again.
    auto cache = Rows(IPListTableDef());
    ASSERT_EQ(cache.size(), 1u);
    EXPECT_EQ(cache[0][1], TableValue("abuse@operator-dsl.de,noc@operator-dsl.de"));
    EXPECT_EQ(cache[0][2], TableValue(TableDate { longAgo }));
    EXPECT_EQ(cache[0][5], TableValue(6));
}

TEST_F(ContactCommands, SourceIpReadsTheMessageFromStandardInputWithAnyLineEnds)
{
    LoopbackRegistries registries;
    registries.AnswerOthers(Registry::Arin, ArinLikeResponder());
    WriteSettings(registries);
    const std::string message = "Received: from a (a.example [62.4.17.1]) by b\n"
                                "Received: from c (c.example [62.4.17.2]) by a\n"
                                "Received: from [10.9.8.7] by c\n"
                                "Subject: x\n\nReceived: from z ([62.4.17.99])\n";
    struct Case {
        const char* name;
        std::string input;
    };
    const Case cases[] = {
        { "LF", message },
        { "CR LF", ReplaceAll(message, "\n", "\r\n") },
        { "CR", ReplaceAll(message, "\n", "\r") },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        registries.ClearQueries();
        ProcessResult result = Run({ "source-ip", "-" }, c.input);
        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(result.out, "62.4.17.2\n");
        // The private hop is no candidate: no registry is asked about it.
        EXPECT_EQ(registries.QueriesTo(Registry::Arin), (std::vector<std::string> { "62.4.17.1", "62.4.17.2" }));
    }
    ProcessResult none = Run({ "source-ip", "-" }, "Subject: no headers to go by\n\nbody\n");
    EXPECT_EQ(none.exitStatus, 0) << none.err;
    EXPECT_EQ(none.out, "\n");
}

TEST_F(ContactCommands, MagicPrintsTheLastAnswerAsReceived)
{
    LoopbackRegistries registries;
    WriteSettings(registries);
    const std::string ripe = "inetnum: 193.0.0.0 - 193.0.7.255\r\nabuse-mailbox: abuse@eu.example\nend\n";
    registries.Answer(Registry::Arin, "+ 193.0.0.1", ArinRipeRange("193.0.0.0 - 193.255.255.255"));
    registries.Answer(Registry::Ripe, "-a 193.0.0.1", ripe);

    ProcessResult result = Run({ "magic", "--detailed", "193.0.0.1" });

    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, ripe);
    EXPECT_EQ(result.err, "Searching ARIN...\nSearching RIPE...\nDisconnected\n");
}

TEST_F(ContactCommands, MagicAndAbuseFailuresGoToStandardErrorWithExitStatus1)
{
    LoopbackRegistries registries;
    WriteSettings(registries);
    registries.Answer(Registry::Arin, "193.0.0.2", ArinRipeRange("193.0.0.0 - 193.255.255.255"));
    registries.Refuse(Registry::Ripe);
    registries.Refuse(Registry::Abuse);
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        std::string err;
    };
    // Each failure names the server and port it asked.
    const std::string port = ":" + std::to_string(registries.Port()) + ": ";
    const Case cases[] = {
        { "magic",
          { "magic", "193.0.0.2" },
          "Searching ARIN...\nSearching RIPE...\n127.0.0.3" + port + SocketErrorMessage(10061) + "\nDisconnected\n" },
        { "abuse",
          { "abuse", "spam.example" },
          "Searching 127.0.0.9...\n127.0.0.9" + port + SocketErrorMessage(10061) + "\nDisconnected\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitStatus, 1);
        EXPECT_EQ(result.out, "");
        EXPECT_EQ(result.err, c.err);
    }
}

TEST_F(ContactCommands, AbuseAndRdnsPrintWhatTheirTabsShow)
{
    LoopbackRegistries registries;
    WriteSettings(registries);
    registries.Answer(Registry::Abuse, "-h spam.example", "abuse@spam.example (for spam.example)\r\n");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitStatus;
        std::string out;
    };
    const Case cases[] = {
        { "abuse contact of a domain", { "abuse", " spam.example " }, 0, "abuse@spam.example (for spam.example)\r\n" },
        { "reverse name from the hosts file", { "rdns", "127.0.0.1" }, 0, "Canonical name: localhost\n" },
        { "no address", { "rdns", " mail.example " }, 1, "mail.example is not an IP address.\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus) << result.err;
        EXPECT_EQ(result.out, c.out);
    }
}

TEST_F(ContactCommands, ContactsRefusesWhatIsNoAddress)
{
    for (const char* input : { "mail.example", "", "1.2.3.256", "1.2.3" }) {
        SCOPED_TRACE(input);
        ProcessResult result = Run({ "contacts", input });
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_NE(result.err.find("is not an IPv4 address"), std::string::npos) << result.err;
    }
    EXPECT_FALSE(PathExists(folder / "IPList.db"));
}

TEST_F(ContactCommands, AddingToAListTakesTheAddressOutOfTheCacheAndKeepsItAsTyped)
{
    struct Case {
        const char* list;
        const char* fileName;
    };
    const Case cases[] = { { "blacklist", BlacklistFileName }, { "blocklist", BlocklistFileName } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.list);
        TempDir caseFolder;
        const int day = 19800;
        Cache(caseFolder.Path(),
              { { "198.51.100.40", "x@y.com,ax@y.com", TableDate { day }, "x@y.com", TableDate { day }, 1 } });
        WriteFile(caseFolder / c.fileName, "a@b.example\r\nz@z.example\r\n");

        ProcessResult result = RunIn(caseFolder.Path(), { c.list, "add", "X@Y.com" });

        EXPECT_EQ(result.exitStatus, 0) << result.err;
        EXPECT_EQ(ReadFile(caseFolder / c.fileName), "a@b.example\r\nX@Y.com\r\nz@z.example\r\n");
        auto rows = RowsIn(caseFolder.Path(), IPListTableDef());
        ASSERT_EQ(rows.size(), 1u);
        EXPECT_EQ(rows[0][1], TableValue("ax@y.com"));
        EXPECT_EQ(rows[0][3], TableValue("x@y.com"));
    }
}

TEST_F(ContactCommands, AddingRefusesAnEmptyAddressOrOneWithALineBreak)
{
    for (const char* address : { "", "a@b.example\nc@d.example", "a@b.example\r" }) {
        SCOPED_TRACE(address);
        ProcessResult result = Run({ "blacklist", "add", address });
        EXPECT_EQ(result.exitStatus, 2);
        EXPECT_NE(result.err, "");
    }
    EXPECT_FALSE(PathExists(folder / BlacklistFileName));
}

TEST_F(ContactCommands, ApplyBlacklistAndFixEmailsCleanTheCache)
{
    const int day = 19800;
    Cache(folder.Path(),
          { { "198.51.100.41", ",,x@y.com,keep@k.example", TableDate { day }, "x@y.com", TableDate { day }, 1 },
            { "198.51.100.42", ",b@c.org", TableDate { day }, "", TableDate { day - 31 }, 1 } });
    WriteFile(folder / BlacklistFileName, "x@y.com\r\n");
    WriteFile(folder / BlocklistFileName, "b@c.org\r\n");

    ProcessResult fixed = Run({ "fix-emails" });
    EXPECT_EQ(fixed.exitStatus, 0) << fixed.err;
    auto rows = Rows(IPListTableDef());
    EXPECT_EQ(rows.at(0)[1], TableValue("x@y.com,keep@k.example"));
    EXPECT_EQ(rows.at(1)[1], TableValue("b@c.org"));

    ProcessResult applied = Run({ "apply-blacklist" });
    EXPECT_EQ(applied.exitStatus, 0) << applied.err;
    rows = Rows(IPListTableDef());
    EXPECT_EQ(rows.at(0)[1], TableValue("keep@k.example"));
    EXPECT_EQ(rows.at(1)[1], TableValue(""));
    EXPECT_EQ(rows.at(0)[3], TableValue("x@y.com"));
}

// Cron jobs of the tool, several at once on one folder, looking up the same
// addresses: each look-up is counted once, each address has one row.
TEST_F(ContactCommands, ContactsRunsAtOnceCountEveryLookUpInOneRowPerAddress)
{
    constexpr int Programs = 5;
    constexpr int RunsEach = 6;
    constexpr int Addresses = 3;
    auto address = [](int k) { return "198.51.100." + std::to_string(31 + k); };
    auto addressOf = [](int program, int run) { return (program + run) % Addresses; };
    std::string hosts = "127.0.0.1 localhost\n";
    for (int k = 0; k < Addresses; ++k)
        hosts += address(k) + " relay" + std::to_string(k) + ".spam.example\n";

    auto outcome = RunInPrivateNetwork(hosts, [&] {
        LoopbackRegistries registries;
        WriteSettings(registries);
        registries.AnswerOthers(Registry::Arin, ArinLikeResponder());
        std::vector<std::vector<std::string>> results(Programs);
        std::vector<std::thread> programs;
        for (int program = 0; program < Programs; ++program) {
            programs.emplace_back([&, program] {
                for (int run = 0; run < RunsEach; ++run) {
                    ProcessResult result = Run({ "contacts", address(addressOf(program, run)) });
                    results[program].push_back(std::to_string(result.exitStatus) + " " + result.out + result.err);
                }
            });
        }
        for (auto& program : programs)
            program.join();
        std::vector<std::string> fields;
        for (const auto& runs : results)
            fields.insert(fields.end(), runs.begin(), runs.end());
        return PackFields(fields);
    });
    ASSERT_TRUE(outcome) << "no private network namespace on this system";
    std::vector<std::string> fields = UnpackFields(*outcome);
    ASSERT_EQ(fields.size(), static_cast<size_t>(Programs * RunsEach)) << *outcome;

    std::vector<std::int64_t> counts(Addresses);
    std::vector<std::string> lists(Addresses);
    for (int program = 0; program < Programs; ++program) {
        for (int run = 0; run < RunsEach; ++run) {
            int k = addressOf(program, run);
            const std::string& field = fields[program * RunsEach + run];
            SCOPED_TRACE(field);
            ASSERT_TRUE(field.starts_with("0 abuse@198-51-100-" + std::to_string(31 + k) + ".example.net"));
            std::string list = field.substr(2, field.find('\n') - 2);
            if (lists[k].empty())
                lists[k] = list;
            EXPECT_EQ(list, lists[k]);
            ++counts[k];
        }
    }
    auto cache = Rows(IPListTableDef());
    ASSERT_EQ(cache.size(), static_cast<size_t>(Addresses));
    for (const auto& row : cache) {
        int k = std::stoi(row[0].Text().substr(11)) - 31;
        ASSERT_TRUE(k >= 0 && k < Addresses) << row[0];
        EXPECT_EQ(row[1], TableValue(lists[k]));
        EXPECT_EQ(row[5], TableValue(counts[k]));
    }
    EXPECT_EQ(Rows(IPStatsTableDef()).size(), static_cast<size_t>(Programs * RunsEach));
}

} // namespace
} // namespace morvanta::test
