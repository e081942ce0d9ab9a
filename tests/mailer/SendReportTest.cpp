#include "mailer/MailerController.h"

#include "app/PasswordScramble.h"
#include "fixtures/SendmailPrograms.h"
#include "fixtures/SmtpTestServer.h"
#include "mailer/MailerFixture.h"
#include "net/MessageErrors.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>

namespace morvanta::test {
namespace {

const char* const Source = "198.51.100.23";
const std::string Hyphens = "-------------------------------------";

std::string Record(const std::string& to, const std::string& cc, const std::string& bcc, const std::string& subject,
                   const std::string& body, const std::string& attachment)
{
    return "To: " + to + "\r\nCC: " + cc + "\r\nBCC: " + bcc + "\r\nSubject: " + subject + "\r\n\r\n" + body
           + "\r\n\r\nAttachments: " + attachment + "\r\n" + Hyphens + "\r\n\r\n\r\n";
}

class SendReportTest : public MailerFixture {
protected:
    SendReportTest() { Cache({ { Source, "abuse@isp.example" } }); }

    SmtpTestServer& StartServer(const std::string& mode = "plain")
    {
        SmtpTestServer::Options options;
        options.mode = mode;
        options.user = "reporter";
        options.password = "s3cret";
        server = std::make_unique<SmtpTestServer>(options);
        return *server;
    }

    // The window with a report filled in, as the user sends it.
    void FillReport()
    {
        fields.recipients = "abuse@isp.example";
        fields.subject = "Spam from %IP%";
        fields.messageLines = SpamFrom(Source);
    }

    std::unique_ptr<SmtpTestServer> server;
};

TEST_F(SendReportTest, SendsTemplateAndMessageToEveryRecipientAndLogsTheRecordByteForByte)
{
    // A template without a final line break still ends its last line.
    WriteFile(program / "VirusReport.txt", "A virus came from %ip%.\r\nPlease stop it.");
    StartServer();
    WriteSettings(MailTo(server->Port(), "DefaultFromName=Reporter\r\n"));
    Open();
    fields.recipients = "abuse@isp.example, \"Doe, Jane\" <noc@isp.example>";
    fields.subject = "Spam from %IP% (%Ip%)";
    fields.cc = "copy@example.net";
    fields.bcc = "hidden@example.net";
    fields.messageLines = SpamFrom(Source);

    controller->SendReport();

    EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Sent);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(controller->Session().Context().CurrentIP, Source);
    ASSERT_EQ(server->MessageCount(), 1);
    StoredEnvelope envelope = server->Envelope(1);
    EXPECT_EQ(envelope.from, "reporter@example.org");
    EXPECT_EQ(envelope.recipients,
              (Lines { "abuse@isp.example", "noc@isp.example", "copy@example.net", "hidden@example.net" }));
    ParsedMessage message = server->Parse(1);
    EXPECT_EQ(message.Header("Subject"), "Spam from 198.51.100.23 (198.51.100.23)");
    EXPECT_EQ(message.Header("From"), "\"Reporter\" <reporter@example.org>");
    EXPECT_EQ(message.Header("Disposition-Notification-To"), "\"Reporter\" <reporter@example.org>");
    EXPECT_EQ(message.Header("X-Mailer"), "Morvanta Mail");
    EXPECT_EQ(message.Header("Bcc"), "");
    Lines body = { "A virus came from 198.51.100.23.", "Please stop it." };
    // The macro stays as it is in the pasted message.
    for (const std::string& line : SpamFrom(Source))
        body.push_back(line);
    const std::string sentBody = JoinLinesCrLf(body);
    // The message ends with an empty line after the body.
    body.push_back("");
    EXPECT_EQ(message.body, body);

    EXPECT_EQ(Log(), Record(fields.recipients, "copy@example.net", "hidden@example.net",
                            "Spam from 198.51.100.23 (198.51.100.23)", sentBody, ""));
    // The conversation's progress is in the info box, one status a line.
    EXPECT_FALSE(fields.info.empty());
    for (const char* status : { "Connecting to 127.0.0.1.", "Connected.", "Encoding text", "Disconnected." })
        EXPECT_NE(std::find(fields.info.begin(), fields.info.end(), status), fields.info.end()) << status;
    EXPECT_TRUE(SpoolNames().empty());
}

TEST_F(SendReportTest, EveryAttemptAddsOneRecordAndAnEmptyBodyLeavesThreeEmptyLines)
{
    WriteFile(program / "VirusReport.txt", "");
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Open();
    fields.recipients = "abuse@isp.example";
    fields.subject = "first";
    controller->SendReport();
    fields.subject = "second";
    controller->SendReport();
    ASSERT_EQ(server->MessageCount(), 2);
    const std::string first
        = "To: abuse@isp.example\r\nCC: \r\nBCC: \r\nSubject: first\r\n\r\n\r\n\r\nAttachments: \r\n" + Hyphens
          + "\r\n\r\n\r\n";
    EXPECT_EQ(Log(), first + Record("abuse@isp.example", "", "", "second", "", ""));
}

TEST_F(SendReportTest, WithoutASourceTheMacroReadsUnknown)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Open();
    fields.recipients = "abuse@isp.example";
    fields.subject = "Report for %IP%";
    fields.messageLines = SpamWithoutSource();
    controller->SendReport();
    ASSERT_EQ(server->MessageCount(), 1);
    ParsedMessage message = server->Parse(1);
    EXPECT_EQ(message.Header("Subject"), "Report for unknown");
    ASSERT_FALSE(message.body.empty());
    EXPECT_EQ(message.body[0], "A virus came from unknown.");
}

TEST_F(SendReportTest, AMissingTemplateIsNamedAndTheMessageAloneIsSent)
{
    ::unlink((program / "VirusReport.txt").c_str());
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Open();
    FillReport();
    controller->SendReport();
    EXPECT_EQ(MessageTexts(), Lines { program / "VirusReport.txt does not exist." });
    ASSERT_EQ(server->MessageCount(), 1);
    Lines body = SpamFrom(Source);
    body.push_back("");
    EXPECT_EQ(server->Parse(1).body, body);
    EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Sent);
}

TEST_F(SendReportTest, NothingIsSentLoggedOrSpooledWithoutRecipientsOrMailSettings)
{
    struct Case {
        const char* name;
        std::string recipients;
        std::string mailOptions;
        Lines messages;
        SendOutcome outcome;
    };
    ClosedPort port;
    const std::string sender = "DefaultFromEMailAddress=reporter@example.org\r\n";
    const std::string host = "HostAddress=127.0.0.1\r\nPort=" + std::to_string(port.Port()) + "\r\n";
    const Case cases[] = {
        { "blank E-Mails box", " \t ", host + sender, {}, SendOutcome::NothingToSend },
        { "no host",
          "abuse@isp.example",
          "HostAddress=\r\n" + sender,
          { "Invalid SMTP server parameters." },
          SendOutcome::InvalidSettings },
        { "no sender", "abuse@isp.example", host, { "Invalid SMTP server parameters." }, SendOutcome::InvalidSettings },
        { "no host, system mail",
          "abuse@isp.example",
          "UseMAPI=1\r\nHostAddress=\r\n" + sender,
          { "Invalid SMTP server parameters." },
          SendOutcome::InvalidSettings },
        { "no sender, system mail",
          "abuse@isp.example",
          "UseMAPI=1\r\n" + host,
          { "Invalid SMTP server parameters." },
          SendOutcome::InvalidSettings },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(c.mailOptions);
        Open();
        ui.messages.clear();
        ui.errors.clear();
        FillReport();
        fields.recipients = c.recipients;
        fields.info = { "earlier status" };
        controller->SendReport();
        EXPECT_EQ(MessageTexts(), c.messages);
        EXPECT_EQ(controller->LastSendOutcome(), c.outcome);
        EXPECT_EQ(fields.info, Lines { "earlier status" });
        EXPECT_EQ(Log(), "");
        EXPECT_TRUE(SpoolNames().empty());
    }
}

// Peers that fail the send in the ways a real server does.
TEST_F(SendReportTest, AFailedDeliveryIsShownSpooledAndStillLogged)
{
    struct Case {
        const char* name;
        std::function<int()> port; // starts the peer, gives its port
        std::string options;
    };
    std::unique_ptr<ClosedPort> refused;
    std::unique_ptr<ScriptedTcpServer> peer;
    const Case cases[] = {
        { "connection refused",
          [&] {
              refused = std::make_unique<ClosedPort>();
              return refused->Port();
          },
          "" },
        { "sender rejected",
          [&] {
              peer = std::make_unique<ScriptedTcpServer>(PeerScript()
                                                             .Send("220 mx.test ESMTP\r\n")
                                                             .ReadLine()
                                                             .Send("250 mx.test\r\n")
                                                             .ReadLine()
                                                             .Send("250 2.0.0 Ok\r\n")
                                                             .ReadLine()
                                                             .Send("554 5.7.1 Go away\r\n")
                                                             .ReadLine()
                                                             .Send("221 mx.test closing\r\n")
                                                             .ReadUntilClosed());
              return peer->Port();
          },
          "" },
        { "server silent after its greeting",
          [&] {
              peer = std::make_unique<ScriptedTcpServer>(PeerScript().Send("220 mx.test ESMTP\r\n").StaySilent());
              return peer->Port();
          },
          "NetworkTimeout=1\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(MailTo(c.port()), c.options);
        Open();
        ui.messages.clear();
        FillReport();
        controller->SendReport();

        EXPECT_EQ(MessageTexts(), Lines { "Could not send mail, you may have an invalid SMTP host" });
        EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Failed);
        ASSERT_FALSE(fields.info.empty());
        EXPECT_FALSE(fields.info.back().empty());
        ASSERT_EQ(SpoolNames().size(), 1u);
        EXPECT_THAT(SpoolNames()[0], ::testing::MatchesRegex("_MV[0-9A-F]+\\.tmp"));
        EXPECT_EQ(SpoolContents(), Lines { JoinLinesCrLf(SpamFrom(Source)) });
        const std::string body
            = "A virus came from 198.51.100.23.\r\nPlease stop it.\r\n" + JoinLinesCrLf(SpamFrom(Source));
        EXPECT_EQ(Log(), Record("abuse@isp.example", "", "", "Spam from 198.51.100.23", body, ""));

        ::unlink((program / "MVMail.log").c_str());
        for (const std::string& name : SpoolNames())
            ::unlink((program / ("UnProcessableSpam/" + name)).c_str());
        peer.reset();
    }
}

TEST_F(SendReportTest, AFailedDeliveryOfAnEmptyMessageBoxSpoolsNothing)
{
    ClosedPort refused;
    WriteSettings(MailTo(refused.Port()));
    Open();
    FillReport();
    fields.messageLines.clear();
    controller->SendReport();
    EXPECT_EQ(MessageTexts(), Lines { "Could not send mail, you may have an invalid SMTP host" });
    EXPECT_TRUE(SpoolNames().empty());
    EXPECT_NE(Log(), "");
}

TEST_F(SendReportTest, AnAddressTheParserRefusesEndsTheCommandBeforeAnythingHappens)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Open();
    for (const char* box : { "recipients", "cc" }) {
        SCOPED_TRACE(box);
        FillReport();
        fields.cc.clear();
        (std::string(box) == "cc" ? fields.cc : fields.recipients) = "John <john@example.org> other@example.org";
        try {
            controller->SendReport();
            ADD_FAILURE() << "no error";
        } catch (const EmailParseError& error) {
            EXPECT_STREQ(error.what(), "@ Outside address");
        }
    }
    EXPECT_EQ(server->MessageCount(), 0);
    EXPECT_EQ(Log(), "");
    EXPECT_TRUE(SpoolNames().empty());
    EXPECT_TRUE(ui.messages.empty());
    // The command is not left half-way: the next one runs.
    FillReport();
    fields.cc.clear();
    controller->SendReport();
    EXPECT_EQ(server->MessageCount(), 1);
}

TEST_F(SendReportTest, ALogThatCannotBeWrittenIsReportedAfterTheDelivery)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    ForceDirectories(program / "MVMail.log/");
    Open();
    FillReport();
    controller->SendReport();
    EXPECT_EQ(server->MessageCount(), 1);
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Could not access " + program / "MVMail.log");
    EXPECT_EQ(ui.messages[0].title, "Access Error");
    EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Sent);
}

TEST_F(SendReportTest, TheAttachmentBoxAddsTheFileAndNamesItInTheLog)
{
    WriteFile(program / "evidence.bin", std::string("\x00\x01\x02 binary \xff", 12));
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Open();
    FillReport();
    fields.attachmentPath = program / "evidence.bin";
    controller->SendReport();
    ASSERT_EQ(server->MessageCount(), 1);
    ParsedMessage message = server->Parse(1);
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].fileName, "evidence.bin");
    EXPECT_EQ(message.attachments[0].sha256, Sha256Hex(ReadFile(program / "evidence.bin")));
    EXPECT_NE(Log().find("\r\nAttachments: " + program / "evidence.bin\r\n"), std::string::npos);
}

TEST_F(SendReportTest, WithoutASenderNameTheAddressStandsForTheName)
{
    StartServer();
    WriteSettings(MailTo(server->Port(), "DefaultFromName=\r\n"));
    Open();
    FillReport();
    controller->SendReport();
    ASSERT_EQ(server->MessageCount(), 1);
    ParsedMessage message = server->Parse(1);
    EXPECT_EQ(message.Header("From"), "\"reporter@example.org\" <reporter@example.org>");
    EXPECT_EQ(message.Header("Disposition-Notification-To"), "reporter@example.org");
}

TEST_F(SendReportTest, ALoginIsGivenOnlyWithAuthenticationOn)
{
    StartServer("auth");
    const std::string password = EncryptString("s3cret", PasswordKey);
    ASSERT_EQ(password.find_first_of(std::string("\r\n\0", 3)), std::string::npos);
    for (const char* authentication : { "0", "1" }) {
        SCOPED_TRACE(authentication);
        WriteSettings(MailTo(server->Port(), std::string("Authentication=") + authentication
                                                 + "\r\nEMailLoginID=reporter\r\nEMailPassword=" + password + "\r\n"));
        Open();
        FillReport();
        controller->SendReport();
        EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Sent);
    }
    ASSERT_EQ(server->MessageCount(), 2);
    EXPECT_EQ(server->Envelope(1).login, "");
    EXPECT_EQ(server->Envelope(2).login, "reporter");
}

TEST_F(SendReportTest, WithoutTheSystemMailProgramTheReportIsSpooledAndLoggedAndTheProgramGoesOn)
{
    WriteSettings("UseMAPI=1\r\nHostAddress=mail\r\nDefaultFromEMailAddress=reporter@example.org\r\n");
    Open();
    ui.errors.clear();
    FillReport();
    fields.subject = "%IP% " + std::string(300, 's');
    controller->SendReport();

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "MAPI not available");
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Failed);
    EXPECT_TRUE(controller->HasConfig());
    EXPECT_EQ(fields.info, Lines { "MAPI services are not available on this system" });
    EXPECT_EQ(SpoolContents(), Lines { JoinLinesCrLf(SpamFrom(Source)) });
    const std::string subject = ("198.51.100.23 " + std::string(300, 's')).substr(0, 255);
    const std::string body
        = "A virus came from 198.51.100.23.\r\nPlease stop it.\r\n" + JoinLinesCrLf(SpamFrom(Source));
    EXPECT_EQ(Log(), Record("abuse@isp.example", "", "", subject, body, ""));
}

// msmtp stands where sendmail would and relays to the loopback server.
TEST_F(SendReportTest, TheSystemMailProgramSendsToTheEMailsAndTheConfiguredBccOnly)
{
    StartServer();
    SendmailPrograms programs;
    WriteFile(program / "evidence.zip", "zip");
    WriteSettings("UseMAPI=1\r\nSendmailProgram=" + programs.Msmtp(server->Port())
                  + "\r\nHostAddress=mail\r\nDefaultFromEMailAddress=reporter@example.org\r\n"
                    "BCC=hidden@example.net\r\n");
    Open();
    FillReport();
    fields.recipients = "abuse@isp.example,noc@isp.example";
    fields.bcc = "typed@example.net";
    fields.cc = "copy@example.net";
    fields.attachmentPath = program / "evidence.zip";
    controller->SendReport();

    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Sent);
    ASSERT_EQ(server->MessageCount(), 1);
    Lines recipients = server->Envelope(1).recipients;
    std::sort(recipients.begin(), recipients.end());
    EXPECT_EQ(recipients, (Lines { "abuse@isp.example", "hidden@example.net", "noc@isp.example" }));
    ParsedMessage message = server->Parse(1);
    EXPECT_EQ(message.Header("Subject"), "Spam from 198.51.100.23");
    ASSERT_EQ(message.attachments.size(), 1u);
    EXPECT_EQ(message.attachments[0].fileName, "evidence.zip");
    EXPECT_TRUE(SpoolNames().empty());
    EXPECT_EQ(Log().rfind("To: abuse@isp.example,noc@isp.example\r\nCC: copy@example.net\r\n"
                          "BCC: typed@example.net\r\nSubject: Spam from 198.51.100.23\r\n",
                          0),
              0u);
}

TEST_F(SendReportTest, ASystemMailProgramThatFailsLeavesTheReportSpooledAndLogged)
{
    SendmailPrograms programs;
    WriteSettings("UseMAPI=1\r\nSendmailProgram="
                  + programs.Script("refusing-sendmail", "cat >/dev/null\necho 'mail queue full' >&2\nexit 75\n")
                  + "\r\nHostAddress=mail\r\nDefaultFromEMailAddress=reporter@example.org\r\n");
    Open();
    FillReport();
    controller->SendReport();
    EXPECT_EQ(MessageTexts(), Lines { "MAPI Sendmail failed" });
    EXPECT_EQ(controller->LastSendOutcome(), SendOutcome::Failed);
    ASSERT_EQ(fields.info.size(), 1u);
    EXPECT_NE(fields.info[0].find("mail queue full"), std::string::npos) << fields.info[0];
    EXPECT_EQ(SpoolContents(), Lines { JoinLinesCrLf(SpamFrom(Source)) });
    EXPECT_EQ(Log().rfind("To: abuse@isp.example\r\n", 0), 0u);
}

} // namespace
} // namespace morvanta::test
