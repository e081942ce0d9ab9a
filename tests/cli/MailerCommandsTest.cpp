#include "CliFixture.h"
#include "base/Text.h"
#include "fixtures/CliProcess.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/SmtpTestServer.h"
#include "fixtures/TableFiles.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "tables/TableDef.h"
#include "tables/TableFile.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

namespace morvanta::test {
namespace {

using Lines = std::vector<std::string>;

Lines SpamFrom(const std::string& address, const std::string& subject)
{
    return {
        "Received: from relay.spam.example (relay.spam.example [" + address + "])",
        "\tby mx.mine.example (Postfix) with ESMTP id 4F1A2C0",
        "From: \"Prize Office\" <winner@spam.example>",
        "Subject: " + subject,
        "",
        "Claim your prize.",
    };
}

Lines SortedLines(const std::string& text)
{
    Lines lines = SplitLines(text);
    std::sort(lines.begin(), lines.end());
    return lines;
}

// A program folder whose WHOIS servers are a refused loopback port and
// whose sources are cached, a home of its own and a folder of saved messages.
class MailerCommands : public CliFixture {
protected:
    MailerCommands()
    {
        WriteFile(folder / "VirusReport.txt", "A virus came from %IP%.\r\n");
        WriteFile(folder / "SpamReport.txt", "Spam came from %IP%.\r\n");
        std::vector<TableRow> rows;
        for (const auto& [address, list] : Cached)
            rows.push_back({ 0, IPListValues(address, list, Today()) });
        WriteTableFile(folder / "IPList.db", IPListTableDef(), rows);
    }

    // Today as the tables count days, so that the cached entries are fresh
    // for the tool.
    static int Today()
    {
        using namespace std::chrono;
        return static_cast<int>(duration_cast<days>(system_clock::now().time_since_epoch()).count());
    }

    void WriteSettings(int smtpPort, const std::string& mailOptions = "", const std::string& options = "")
    {
        std::string ini = "[MailOptions]\r\nHostAddress=127.0.0.1\r\nPort=" + std::to_string(smtpPort)
                          + "\r\nDefaultFromEMailAddress=reporter@example.org\r\n" + mailOptions + "[Options]\r\n"
                          + options;
        for (const char* key : { "DefaultWhoisHost", "RipeWhoisHost", "AfrinicWhoisHost", "ApnicWhoisHost",
                                 "JpnicWhoisHost", "LacnicWhoisHost", "BrnicWhoisHost", "AbuseWhoisHost" })
            ini += std::string(key) + "=127.0.0.1\r\n";
        ini += "WhoisPort=" + std::to_string(refusedWhois.Port()) + "\r\nNetworkTimeout=5\r\n";
        WriteFile(folder / "Morvanta.ini", ini);
    }

    void Save(const std::string& name, const Lines& lines) { WriteFile(inbox / name, JoinLinesCrLf(lines)); }

    [[nodiscard]] Lines SpoolContents() const
    {
        Lines contents;
        for (const std::string& name : ListFolder(folder / "UnProcessableSpam"))
            contents.push_back(ReadFile(folder / ("UnProcessableSpam/" + name)));
        std::sort(contents.begin(), contents.end());
        return contents;
    }

    // The subjects of the server's messages, sorted.
    static Lines Subjects(const SmtpTestServer& server)
    {
        Lines subjects;
        for (int i = 1; i <= server.MessageCount(); ++i)
            subjects.push_back(server.Parse(i).Header("Subject"));
        std::sort(subjects.begin(), subjects.end());
        return subjects;
    }

    static constexpr std::pair<const char*, const char*> Cached[] = {
        { "198.51.100.23", "abuse@isp.example" },
        { "203.0.113.9", "abuse@other.example,noc@other.example" },
    };

    TempDir inbox;
    ClosedPort refusedWhois;
};

TEST_F(MailerCommands, ReportSendsWithTheGivenFieldsAndChoosesTheTemplateForGood)
{
    SmtpTestServer server({});
    WriteSettings(server.Port(), "CC=configured@example.net\r\n");
    WriteFile(inbox / "spam.eml", JoinLinesCrLf(SpamFrom("198.51.100.23", "won")));
    WriteFile(inbox / "evidence.txt", "evidence");

    ProcessResult result
        = Run({ "report", inbox / "spam.eml", "--to", "abuse@chosen.example", "--subject", "Spam from %ip%", "--bcc",
                "hidden@example.net", "--attach", inbox / "evidence.txt", "--template", "spamreport.txt" });

    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(server.MessageCount(), 1);
    EXPECT_EQ(server.Envelope(1).recipients,
              (Lines { "abuse@chosen.example", "configured@example.net", "hidden@example.net" }));
    ParsedMessage message = server.Parse(1);
    EXPECT_EQ(message.Header("Subject"), "Spam from 198.51.100.23");
    ASSERT_FALSE(message.body.empty());
    EXPECT_EQ(message.body[0], "Spam came from 198.51.100.23.");
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].fileName, "evidence.txt");
    std::string log = ReadFile(folder / "MVMail.log");
    EXPECT_EQ(log.rfind("To: abuse@chosen.example\r\nCC: configured@example.net\r\nBCC: hidden@example.net\r\n"
                        "Subject: Spam from 198.51.100.23\r\n",
                        0),
              0u);
    EXPECT_NE(log.find("\r\nAttachments: " + inbox / "evidence.txt\r\n"), std::string::npos);
    EXPECT_NE(ReadFile(home / "Morvanta/Morvanta.ini").find("DefaultFile=SpamReport.txt"), std::string::npos);
    // The tool reads the history but has none to add.
    EXPECT_FALSE(PathExists(folder / "SentTo.txt"));
}

TEST_F(MailerCommands, ReportFindsTheListWhenNoneIsGivenAndReadsStandardInput)
{
    SmtpTestServer server({});
    WriteSettings(server.Port());
    ProcessResult result = Run({ "report", "-" }, JoinLinesCrLf(SpamFrom("203.0.113.9", "won")));
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.err.find("Finished 203.0.113.9 report\n"), std::string::npos);
    ASSERT_EQ(server.MessageCount(), 1);
    EXPECT_EQ(server.Envelope(1).recipients, (Lines { "abuse@other.example", "noc@other.example" }));
    EXPECT_EQ(server.Parse(1).Header("Subject"), "Virus report");
    // Nothing changed the per-user settings, so they are not written.
    EXPECT_FALSE(PathExists(home / "Morvanta/Morvanta.ini"));
}

TEST_F(MailerCommands, ReportFailsClearlyAndSpoolsWhatItCouldNotDeliver)
{
    ClosedPort refusedSmtp;
    WriteSettings(refusedSmtp.Port());
    WriteFile(inbox / "spam.eml", JoinLinesCrLf(SpamFrom("198.51.100.23", "won")));
    WriteFile(inbox / "untraceable.eml", "Subject: nothing to trace\r\n\r\nbody\r\n");
    struct Case {
        const char* name;
        std::vector<std::string> arguments;
        int exitStatus;
        std::string error;
        size_t spoolFiles;
    };
    const Case cases[] = {
        { "delivery refused",
          { "report", inbox / "spam.eml" },
          1,
          "Morvanta: Could not send mail, you may have an invalid SMTP host\n",
          1 },
        { "no complaint address",
          { "report", inbox / "untraceable.eml" },
          1,
          "report: no complaint address was found for the message (source IP unknown); nothing was sent\n",
          1 },
        { "unknown template",
          { "report", inbox / "spam.eml", "--template", "NoSuchReport.txt" },
          2,
          "report: there is no template NoSuchReport.txt",
          1 },
        { "missing attachment",
          { "report", inbox / "spam.eml", "--attach", inbox / "missing.bin" },
          2,
          "report: the attachment " + inbox / "missing.bin does not exist\n",
          1 },
        { "missing message", { "report", inbox / "missing.eml" }, 1, "Cannot read " + inbox / "missing.eml", 1 },
        { "invalid address",
          { "report", inbox / "spam.eml", "--cc", "John <j@example.org> k@example.org" },
          1,
          "@ Outside address\n",
          1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ProcessResult result = Run(c.arguments);
        EXPECT_EQ(result.exitStatus, c.exitStatus);
        EXPECT_NE(result.err.find(c.error), std::string::npos) << result.err;
        EXPECT_EQ(SpoolContents().size(), c.spoolFiles);
    }
    EXPECT_EQ(SpoolContents(), Lines { JoinLinesCrLf(SpamFrom("198.51.100.23", "won")) });
    EXPECT_EQ(ReadFile(folder / "MVMail.log").find("To: abuse@isp.example\r\n"), 0u);
}

TEST_F(MailerCommands, BulkPrintsOneLinePerFileWithoutPausingAndRemembersTheFolder)
{
    SmtpTestServer server({});
    WriteSettings(server.Port(), "", "PauseBulkReporting=1\r\n");
    Save("1.eml", SpamFrom("198.51.100.23", "first"));
    Save("2.eml", SpamFrom("203.0.113.9", "second"));
    Save("3.eml", { "Subject: untraceable", "", "body" });
    WriteFile(inbox / "4.eml", "");
    ForceDirectories(inbox / "sub/");
    Save("sub/5.eml", SpamFrom("198.51.100.23", "inside"));

    ProcessResult result = Run({ "bulk", inbox.Path() });

    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(SortedLines(result.out), (Lines {
                                           "1.eml\t198.51.100.23\tabuse@isp.example\tsent",
                                           "2.eml\t203.0.113.9\tabuse@other.example,noc@other.example\tsent",
                                           "3.eml\t\t\tspooled",
                                           "4.eml\t\t\tempty",
                                       }));
    EXPECT_NE(result.err.find("Loading file...\n"), std::string::npos);
    EXPECT_NE(result.err.find("Finished bulk reporting.\n"), std::string::npos);
    EXPECT_EQ(Subjects(server), (Lines { "Virus report", "Virus report" }));
    EXPECT_EQ(SpoolContents(), Lines { "Subject: untraceable\r\n\r\nbody\r\n" });
    EXPECT_EQ(ListFolder(inbox.Path()), Lines { "sub" });
    EXPECT_NE(ReadFile(home / "Morvanta/Morvanta.ini").find("LastBulkReportPath=" + inbox.Path() + "\r\n"),
              std::string::npos);
}

TEST_F(MailerCommands, BulkFailsWhenADeliveryFailsAndForwardsTheSpoolAtTheEnd)
{
    ClosedPort refusedSmtp;
    WriteSettings(refusedSmtp.Port(), "ForwardUnProcessed=1\r\nForwardUnProcessedEmail=collect@example.org\r\n");
    Save("1.eml", SpamFrom("198.51.100.23", "first"));
    Save("2.eml", { "Subject: untraceable", "", "body" });
    Save("3.eml", { "Subject: untraceable too", "", "body" });

    ProcessResult result = Run({ "bulk", inbox.Path() });
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(SortedLines(result.out), (Lines { "1.eml\t198.51.100.23\tabuse@isp.example\tfailed", "2.eml\t\t\tspooled",
                                                "3.eml\t\t\tspooled" }));
    // Three spool files: the forward was tried, failed, and kept them.
    EXPECT_EQ(SpoolContents().size(), 3u);
    EXPECT_NE(ReadFile(folder / "MVMail.log").find("To: collect@example.org\r\n"), std::string::npos);
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());

    SmtpTestServer server({});
    WriteSettings(server.Port(), "ForwardUnProcessed=1\r\nForwardUnProcessedEmail=collect@example.org\r\n");
    result = Run({ "bulk", inbox.Path() });
    EXPECT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out, "");
    ASSERT_EQ(server.MessageCount(), 1);
    EXPECT_EQ(server.Parse(1).attachments.size(), 3u);
    EXPECT_TRUE(SpoolContents().empty());
}

TEST_F(MailerCommands, BulkRefusesAFolderThatDoesNotExist)
{
    WriteSettings(25);
    ProcessResult result = Run({ "bulk", inbox / "missing" });
    EXPECT_EQ(result.exitStatus, 2);
    EXPECT_EQ(result.out, "");
}

// What a restarted run must still find: every message either delivered
// (once or more) or spooled, none lost.
void ExpectEveryMessageReportedOrSpooled(const Lines& subjects, const Lines& delivered, const Lines& spooled)
{
    for (const std::string& subject : subjects) {
        bool sent = std::find(delivered.begin(), delivered.end(), subject) != delivered.end();
        bool kept = std::any_of(spooled.begin(), spooled.end(), [&](const std::string& content) {
            return content.find("Subject: " + subject + "\r\n") != std::string::npos;
        });
        EXPECT_TRUE(sent || kept) << subject << " was lost";
    }
}

TEST_F(MailerCommands, ARunKilledBetweenFilesLosesNoMessage)
{
    SmtpTestServer server({});
    WriteSettings(server.Port(), "", "");
    Lines subjects;
    for (int i = 0; i < 8; ++i) {
        subjects.push_back("message " + std::to_string(i));
        Save(std::to_string(i) + ".eml", SpamFrom(i % 2 ? "198.51.100.23" : "203.0.113.9", subjects.back()));
    }
    // Each run is killed as soon as it has finished one file.
    for (int run = 0; run < 3; ++run) {
        CliProcess cli({ "--folder", folder.Path(), "bulk", inbox.Path() }, Environment());
        const size_t before = ListFolder(inbox.Path()).size();
        ASSERT_TRUE(cli.ReadLine()) << "run " << run << " reported no file";
        cli.Kill();
        const size_t after = ListFolder(inbox.Path()).size();
        // The kill came while files were left, after one was done with.
        EXPECT_LT(after, before);
        EXPECT_GT(after, 0u);
    }
    ProcessResult last = Run({ "bulk", inbox.Path() });
    EXPECT_EQ(last.exitStatus, 0) << last.err;
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());

    Lines deliveredSubjects;
    for (int i = 1; i <= server.MessageCount(); ++i) {
        for (const std::string& line : server.Parse(i).body)
            if (line.rfind("Subject: ", 0) == 0)
                deliveredSubjects.push_back(line.substr(9));
    }
    ExpectEveryMessageReportedOrSpooled(subjects, deliveredSubjects, SpoolContents());
}

// A server that takes the whole message and then never confirms it.
PeerHandler StallAfterData()
{
    return [](PeerConnection& peer) {
        peer.Send("220 mx.test ESMTP\r\n");
        while (auto line = peer.ReadLine()) {
            if (line->rfind("DATA", 0) == 0) {
                peer.Send("354 Go ahead\r\n");
                while (auto data = peer.ReadLine())
                    if (*data == ".\r")
                        break;
                peer.StaySilent();
                return;
            }
            peer.Send(line->rfind("EHLO", 0) == 0 ? "250 mx.test\r\n" : "250 Ok\r\n");
        }
    };
}

TEST_F(MailerCommands, ARunKilledInTheMiddleOfASendKeepsThatMessage)
{
    ScriptedTcpServer stalling(StallAfterData());
    WriteSettings(stalling.Port());
    Lines subjects = { "first", "second", "third" };
    for (size_t i = 0; i < subjects.size(); ++i)
        Save(std::to_string(i) + ".eml", SpamFrom("198.51.100.23", subjects[i]));
    {
        CliProcess cli({ "--folder", folder.Path(), "bulk", inbox.Path() }, Environment());
        // Wait until the whole message is on the server, unconfirmed.
        auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        while (stalling.Received(0).find("\r\n.\r\n") == std::string::npos
               && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        ASSERT_NE(stalling.Received(0).find("\r\n.\r\n"), std::string::npos);
        cli.Kill();
        EXPECT_EQ(cli.ReadLine(std::chrono::milliseconds(100)), std::nullopt);
    }
    // Nothing was confirmed, so every file is still there.
    EXPECT_EQ(ListFolder(inbox.Path()).size(), 3u);
    EXPECT_TRUE(SpoolContents().empty());

    SmtpTestServer server({});
    WriteSettings(server.Port());
    ProcessResult last = Run({ "bulk", inbox.Path() });
    EXPECT_EQ(last.exitStatus, 0) << last.err;
    EXPECT_EQ(server.MessageCount(), 3);
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
}

// The whole way from saved messages to reports, with nothing cached: the
// registries and the mail server on loopback, in a network of its own.
TEST_F(MailerCommands, BulkReportsAFolderThroughTheRegistriesToTheMailServer)
{
    ::unlink((folder / "IPList.db").c_str());
    Save("a.eml", SpamFrom("62.4.17.77", "first"));
    Save("b.eml", SpamFrom("85.13.20.200", "second"));
    Save("c.eml", { "Subject: untraceable", "", "body" });
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n", [&] {
        LoopbackRegistries registries;
        registries.AnswerOthers(Registry::Arin, whois_text::ArinLikeResponder());
        SmtpTestServer server({});
        WriteFile(folder / "Morvanta.ini",
                  "[MailOptions]\r\nHostAddress=127.0.0.1\r\nPort=" + std::to_string(server.Port())
                      + "\r\nDefaultFromEMailAddress=reporter@example.org\r\n[Options]\r\n" + registries.OptionsIni());
        ProcessResult result = Run({ "bulk", inbox.Path() });
        std::vector<std::string> fields { std::to_string(result.exitStatus), result.out, result.err };
        for (int i = 1; i <= server.MessageCount(); ++i)
            fields.push_back(server.Envelope(i).recipients.at(0) + " " + server.Parse(i).Header("Subject"));
        return PackFields(fields);
    });
    ASSERT_TRUE(outcome) << "no private network namespace on this system";
    Lines fields = UnpackFields(*outcome);
    ASSERT_GE(fields.size(), 3u) << *outcome;
    EXPECT_EQ(fields[0], "0") << fields[2];
    EXPECT_EQ(SortedLines(fields[1]),
              (Lines { "a.eml\t62.4.17.77\tabuse@62-4-17-77.example.net\tsent",
                       "b.eml\t85.13.20.200\tabuse@85-13-20-200.example.net\tsent", "c.eml\t\t\tspooled" }));
    Lines sent(fields.begin() + 3, fields.end());
    std::sort(sent.begin(), sent.end());
    EXPECT_EQ(sent,
              (Lines { "abuse@62-4-17-77.example.net Virus report", "abuse@85-13-20-200.example.net Virus report" }));
    std::string log = ReadFile(folder / "MVMail.log");
    EXPECT_NE(log.find("To: abuse@62-4-17-77.example.net\r\n"), std::string::npos);
    EXPECT_NE(log.find("To: abuse@85-13-20-200.example.net\r\n"), std::string::npos);
    EXPECT_EQ(SpoolContents(), Lines { "Subject: untraceable\r\n\r\nbody\r\n" });
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    // The finds were cached for the next run.
    EXPECT_EQ(ReadRows(folder / "IPList.db", IPListTableDef()).size(), 2u);
}

} // namespace
} // namespace morvanta::test
