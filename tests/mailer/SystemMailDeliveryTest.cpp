#include "mailer/SystemMailDelivery.h"

#include "base/Text.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/SendmailPrograms.h"
#include "fixtures/SmtpTestServer.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

using Lines = std::vector<std::string>;

std::vector<std::string> Sorted(std::vector<std::string> items)
{
    std::sort(items.begin(), items.end());
    return items;
}

// Reports through msmtp, standing where sendmail would, relaying to a
// loopback SMTP server of the test's own.
class SystemMailDeliveryTest : public ::testing::Test {
protected:
    SystemMailDeliveryTest()
        : client(LoadSimpleMapi(programs.Msmtp(server.Port()), 20))
    {
        report.recipients = "abuse@example.net,noc@example.org";
        report.configuredBcc = "hidden@example.org";
        report.subject = "Spam from 192.0.2.1";
        report.body = "Dear abuse desk,\r\nplease stop 192.0.2.1.\r\nReceived: from [192.0.2.1]\r\n.\r\n";
        report.spoolFolder = spool.Path();
    }

    void ExpectClientEmpty() const
    {
        EXPECT_TRUE(client.Recipient.empty());
        EXPECT_TRUE(client.Bcc.empty());
        EXPECT_TRUE(client.Attachment.empty());
        EXPECT_EQ(client.Subject(), "");
        EXPECT_EQ(client.LongText(), std::nullopt);
    }

    // What the error dialogs said, in order.
    Lines Shown() const
    {
        Lines texts;
        for (const auto& message : ui.messages)
            texts.push_back(message.title + ": " + message.text);
        return texts;
    }

    SmtpTestServer server { SmtpTestServer::Options {} };
    SendmailPrograms programs;
    TempDir files;
    TempDir spool;
    RecordingUi ui;
    SystemMailClient client;
    SystemMailReport report;
};

TEST_F(SystemMailDeliveryTest, AReportArrivesWithItsSubjectBodyAndAttachment)
{
    const std::string evidence = "spam sample\r\n\x01\x02\xff";
    WriteFile(files / "abcdefghijklmnop.txt", evidence);
    report.attachmentPath = files / "abcdefghijklmnop.txt";

    SystemMailOutcome outcome = SendViaSystemMail(client, report);
    ASSERT_EQ(outcome.result, SystemMailResult::Sent) << outcome.detail;
    EXPECT_EQ(outcome.subject, report.subject);
    EXPECT_EQ(outcome.body, report.body);
    EXPECT_TRUE(ui.messages.empty());

    ASSERT_EQ(server.MessageCount(), 1);
    ParsedMessage sent = server.Parse(1);
    EXPECT_TRUE(sent.defects.empty());
    EXPECT_EQ(sent.Header("Subject"), "Spam from 192.0.2.1");
    EXPECT_EQ(sent.body, (Lines { "Dear abuse desk,", "please stop 192.0.2.1.", "Received: from [192.0.2.1]", "." }));
    ASSERT_EQ(sent.attachments.size(), 1u);
    EXPECT_EQ(sent.attachments[0].fileName, "ijklmnop.txt");
    EXPECT_EQ(sent.attachments[0].sha256, Sha256Hex(evidence));
    EXPECT_EQ(sent.mailboxes, (std::vector<ParsedMessage::Mailbox> { { "To", "", "abuse@example.net" },
                                                                     { "To", "", "noc@example.org" } }));
    // The blind copy reaches its recipient and no header shows it.
    EXPECT_EQ(Sorted(server.Envelope(1).recipients),
              (Lines { "abuse@example.net", "hidden@example.org", "noc@example.org" }));
    EXPECT_EQ(sent.Header("Bcc"), "");
    EXPECT_EQ(server.Envelope(1).from, "reporter@morvanta.test");
    ExpectClientEmpty();
}

TEST_F(SystemMailDeliveryTest, ASubjectIsSentAsItsFirst255Characters)
{
    std::string subject;
    for (int i = 0; subject.size() < 300; ++i)
        subject += "word" + std::to_string(i) + " ";
    report.subject = subject.substr(0, 300);
    SystemMailOutcome outcome = SendViaSystemMail(client, report);
    ASSERT_EQ(outcome.result, SystemMailResult::Sent) << outcome.detail;
    EXPECT_EQ(outcome.subject, report.subject.substr(0, 255));
    ASSERT_EQ(server.MessageCount(), 1);
    // RFC 5322 2.2.3: unfolding removes each CRLF that precedes a blank.
    EXPECT_EQ(ReplaceAll(server.Parse(1).Header("Subject"), "\r\n", ""), report.subject.substr(0, 255));
}

TEST_F(SystemMailDeliveryTest, AnEmptyConfiguredBccIsLeftOutAndTheReportStillSent)
{
    report.configuredBcc = "";
    std::vector<MapiResult> codes;
    client.OnMapiError = [&](SystemMailClient&, MapiResult code) { codes.push_back(code); };
    SystemMailOutcome outcome = SendViaSystemMail(client, report);
    ASSERT_EQ(outcome.result, SystemMailResult::Sent) << outcome.detail;
    EXPECT_EQ(codes, (std::vector<MapiResult> { mapi::UnknownRecipient }));
    ASSERT_EQ(server.MessageCount(), 1);
    EXPECT_EQ(Sorted(server.Envelope(1).recipients), (Lines { "abuse@example.net", "noc@example.org" }));
}

TEST_F(SystemMailDeliveryTest, AForwardCarriesOneAttachmentPerSpoolFileAndEmptiesTheSpool)
{
    Lines forwarded;
    for (const char* name : { "_MV1A.tmp", "_MV2B.tmp", "_MV3C.tmp" }) {
        WriteFile(spool / name, std::string("Received: from ") + name + "\r\n");
        forwarded.push_back(spool / name);
    }
    WriteFile(spool / "_MVlate.tmp", "spooled after the list was made\r\n");
    WriteFile(spool / "notes.txt", "not part of the spool\r\n");
    report.forwardMode = true;
    report.forwardFiles = forwarded;
    report.recipients = "forward@example.org";

    SystemMailOutcome outcome = SendViaSystemMail(client, report);
    ASSERT_EQ(outcome.result, SystemMailResult::Sent) << outcome.detail;
    EXPECT_EQ(outcome.subject, "");
    EXPECT_EQ(outcome.body, "");
    ASSERT_EQ(server.MessageCount(), 1);
    ParsedMessage sent = server.Parse(1);
    EXPECT_EQ(sent.Header("Subject"), "");
    ASSERT_EQ(sent.attachments.size(), 3u);
    for (std::size_t i = 0; i < forwarded.size(); ++i) {
        SCOPED_TRACE(forwarded[i]);
        EXPECT_EQ(spool.Path() + sent.attachments[i].fileName, forwarded[i]);
        EXPECT_EQ(sent.attachments[i].sha256, Sha256Hex("Received: from " + sent.attachments[i].fileName + "\r\n"));
    }
    EXPECT_EQ(ListFolder(spool.Path()), (Lines { "notes.txt" }));
}

TEST_F(SystemMailDeliveryTest, AFailedForwardLeavesTheSpool)
{
    SystemMailClient failing(LoadSimpleMapi(programs.Script("failing", "cat > /dev/null\nexit 1"), 20));
    WriteFile(spool / "_MV1A.tmp", "one\r\n");
    report.forwardMode = true;
    report.forwardFiles = { spool / "_MV1A.tmp" };
    SystemMailOutcome outcome = SendViaSystemMail(failing, report);
    EXPECT_EQ(outcome.result, SystemMailResult::Failed);
    EXPECT_EQ(ListFolder(spool.Path()), (Lines { "_MV1A.tmp" }));
}

TEST_F(SystemMailDeliveryTest, AnAttachmentThatNamesNoFileFailsAndTheProgramGoesOn)
{
    report.attachmentPath = files / "gone.zip";
    SystemMailOutcome outcome = SendViaSystemMail(client, report);
    EXPECT_EQ(outcome.result, SystemMailResult::Failed);
    EXPECT_EQ(Shown(), (Lines { "Error: MAPI Sendmail failed" }));
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    EXPECT_NE(outcome.detail.find(files / "gone.zip"), std::string::npos) << outcome.detail;
    // What the log record needs is there, and nothing was sent.
    EXPECT_EQ(outcome.subject, report.subject);
    EXPECT_EQ(outcome.body, report.body);
    EXPECT_EQ(server.MessageCount(), 0);
    ExpectClientEmpty();

    // The next report goes out as if nothing had happened.
    report.attachmentPath.clear();
    EXPECT_EQ(SendViaSystemMail(client, report).result, SystemMailResult::Sent);
    EXPECT_EQ(server.MessageCount(), 1);
}

TEST_F(SystemMailDeliveryTest, ReportsThatCannotGoOutAreFailures)
{
    struct Case {
        const char* name;
        std::string recipients;
        std::string program;
        const char* detail;
    };
    const Case cases[] = {
        { "no address in the E-Mails box nor in BCC", "abuse desk", programs.Msmtp(server.Port()),
          "None of the recipients" },
        { "the mail program fails", "abuse@example.net",
          programs.Script("refusing", "cat > /dev/null\necho 'relay refused' >&2\nexit 69"), "relay refused" },
        { "the mail program hangs", "abuse@example.net", programs.Script("hanging", "exec sleep 60"),
          "did not finish within 1 seconds" },
    };
    report.configuredBcc = "";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        SystemMailClient failing(LoadSimpleMapi(c.program, 1));
        report.recipients = c.recipients;
        SystemMailOutcome outcome = SendViaSystemMail(failing, report);
        EXPECT_EQ(outcome.result, SystemMailResult::Failed);
        EXPECT_EQ(Shown(), (Lines { "Error: MAPI Sendmail failed" }));
        EXPECT_NE(outcome.detail.find(c.detail), std::string::npos) << outcome.detail;
    }
    EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SystemMailDeliveryTest, WithoutTheServiceTheReportIsNotSentAndTheProgramGoesOn)
{
    SystemMailClient missing(nullptr);
    SystemMailOutcome outcome = SendViaSystemMail(missing, report);
    EXPECT_EQ(outcome.result, SystemMailResult::NotAvailable);
    EXPECT_EQ(Shown(), (Lines { "Error: MAPI not available" }));
    EXPECT_EQ(outcome.subject, report.subject);
    EXPECT_EQ(outcome.body, report.body);
    EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SystemMailDeliveryTest, TheWindowsSessionIsOpenFromStartToEnd)
{
    StartSystemMailSession(client);
    EXPECT_TRUE(client.HasSession());
    EXPECT_EQ(SendViaSystemMail(client, report).result, SystemMailResult::Sent);
    EXPECT_TRUE(client.HasSession());
    EndSystemMailSession(client);
    EXPECT_FALSE(client.HasSession());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(SystemMailDeliveryTest, AFailedLogonAtStartIsShownAndSendsLogOnByThemselves)
{
    std::string program = programs.Script("vanishing", "exit 0");
    SystemMailClient vanishing(LoadSimpleMapi(program, 20));
    std::remove(program.c_str());
    StartSystemMailSession(vanishing);
    EXPECT_EQ(Shown(), (Lines { "Error: MAPI Logon failed" }));
    EXPECT_FALSE(vanishing.HasSession());
    EndSystemMailSession(vanishing);
    EXPECT_EQ(Shown(), (Lines { "Error: MAPI Logon failed" }));
}

TEST_F(SystemMailDeliveryTest, WithoutTheServiceStartAndEndSayWhyAndGoOn)
{
    SystemMailClient missing(nullptr);
    StartSystemMailSession(missing);
    EndSystemMailSession(missing);
    EXPECT_EQ(ui.errors, (Lines { "MAPI services are not available on this system",
                                  "MAPI services are not available on this system" }));
}

} // namespace
} // namespace morvanta::test
