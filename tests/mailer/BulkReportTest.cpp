#include "mailer/MailerController.h"

#include "fixtures/SmtpTestServer.h"
#include "mailer/MailerFixture.h"
#include "mailer/ReportText.h"
#include "net/MessageErrors.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

namespace morvanta::test {
namespace {

const char* const Source = "198.51.100.23";
const char* const OtherSource = "203.0.113.9";
// The relay that wraps messages into SpamAssassin reports: reporting to its
// network would complain to the wrong people.
const char* const WrapperSource = "198.51.100.99";

// A SpamAssassin report holding the message as its original.
Lines SpamAssassinReport(const Lines& original)
{
    Lines report = {
        "Received: from filter.mine.example (filter.mine.example [" + std::string(WrapperSource) + "])",
        "Subject: [SPAM] You have won",
        "Content-Type: multipart/mixed; boundary=\"----------=_5F1A\"",
        "",
        "Spam detection software, running on the system \"filter.mine.example\", has identified this incoming "
        "email as possible spam.",
        "",
        "------------=_5F1A",
        "Content-Type: message/rfc822; x-spam-type=original",
        SpamAssassinMarker,
        "Content-Disposition: inline",
        "Content-Transfer-Encoding: 8bit",
        "",
    };
    report.insert(report.end(), original.begin(), original.end());
    report.push_back("------------=_5F1A--");
    return report;
}

std::string Outcome(BulkOutcome outcome)
{
    switch (outcome) {
    case BulkOutcome::Sent: return "sent";
    case BulkOutcome::Spooled: return "spooled";
    case BulkOutcome::Failed: return "failed";
    case BulkOutcome::Empty: return "empty";
    }
    return "?";
}

class BulkReportTest : public MailerFixture {
protected:
    BulkReportTest()
    {
        Cache({ { Source, "abuse@isp.example" },
                { OtherSource, "abuse@other.example" },
                { WrapperSource, "abuse@wrong.example" } });
        fields.bulkFolderAnswer = inbox.Path().substr(0, inbox.Path().size() - 1);
    }

    SmtpTestServer& StartServer()
    {
        server = std::make_unique<SmtpTestServer>(SmtpTestServer::Options {});
        return *server;
    }

    void Save(const std::string& name, const Lines& lines) { WriteFile(inbox / name, JoinLinesCrLf(lines)); }

    MailerController& OpenRecording()
    {
        Open();
        controller->onBulkFile = [this](const BulkFileResult& result) {
            results[result.fileName] = Outcome(result.outcome) + (result.kept ? " kept" : "");
            addresses[result.fileName] = result.address;
        };
        return *controller;
    }

    [[nodiscard]] int StatusCount(const std::string& text) const
    {
        return static_cast<int>(std::count(fields.statusHistory.begin(), fields.statusHistory.end(), text));
    }

    [[nodiscard]] std::map<std::string, std::string> SentTo() const
    {
        std::map<std::string, std::string> sent;
        for (int i = 1; i <= server->MessageCount(); ++i)
            sent[server->Envelope(i).recipients.at(0)] = server->Parse(i).Header("Subject");
        return sent;
    }

    TempDir inbox;
    std::unique_ptr<SmtpTestServer> server;
    std::map<std::string, std::string> results;
    std::map<std::string, std::string> addresses;
};

TEST_F(BulkReportTest, ReportsEveryFileSpoolsTheUnaddressedAndLeavesSubFoldersAlone)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Save("1.eml", SpamFrom(Source, "first"));
    Save("2.eml", SpamWithoutSource("second"));
    Save("3.eml", SpamAssassinReport(SpamFrom(OtherSource, "third")));
    ForceDirectories(inbox / "sub/");
    Save("sub/4.eml", SpamFrom(Source, "fourth"));
    OpenRecording();
    fields.info = { "earlier status" };

    controller->BulkReport();

    EXPECT_FALSE(controller->BulkActive());
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_EQ(results, (std::map<std::string, std::string> {
                           { "1.eml", "sent" }, { "2.eml", "spooled" }, { "3.eml", "sent" } }));
    EXPECT_EQ(addresses["3.eml"], OtherSource);
    EXPECT_EQ(ListFolder(inbox.Path()), Lines { "sub" });
    EXPECT_EQ(ListFolder(inbox / "sub"), Lines { "4.eml" });
    EXPECT_EQ(controller->Settings().LastBulkReportPath, inbox.Path());

    ASSERT_EQ(server->MessageCount(), 2);
    EXPECT_EQ(SentTo(), (std::map<std::string, std::string> { { "abuse@isp.example", "Virus report" },
                                                              { "abuse@other.example", "Virus report" } }));
    // The SpamAssassin report went out as the message it enclosed.
    for (int i = 1; i <= 2; ++i) {
        if (server->Envelope(i).recipients.at(0) != "abuse@other.example")
            continue;
        Lines expected = { "A virus came from 203.0.113.9.", "Please stop it." };
        for (const std::string& line : SpamFrom(OtherSource, "third"))
            expected.push_back(line);
        expected.push_back("------------=_5F1A--");
        expected.push_back("");
        EXPECT_EQ(server->Parse(i).body, expected);
    }
    EXPECT_EQ(SpoolContents(), Lines { JoinLinesCrLf(SpamWithoutSource("second")) });

    EXPECT_EQ(StatusCount("Loading file..."), 3);
    EXPECT_EQ(StatusCount("Finished 198.51.100.23 report"), 1);
    EXPECT_EQ(StatusCount("Finished 203.0.113.9 report"), 1);
    EXPECT_EQ(StatusCount("Finished  report"), 1);
    EXPECT_EQ(fields.status, "Finished bulk reporting.");
    EXPECT_EQ(ui.pendingInputCalls, 3);
    EXPECT_EQ(std::count(fields.info.begin(), fields.info.end(), "earlier status"), 0);
    size_t records = 0;
    for (size_t at = Log().find("To: "); at != std::string::npos; at = Log().find("\r\nTo: ", at + 1))
        ++records;
    EXPECT_EQ(records, 2u);

    controller->Shutdown();
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("LastBulkReportPath=" + inbox.Path() + "\r\n"),
              std::string::npos);
}

TEST_F(BulkReportTest, ACancelledFolderPickerChangesNothing)
{
    WriteSettings("");
    OpenRecording();
    controller->Settings().LastBulkReportPath = "/earlier/";
    fields.bulkFolderAnswer.clear();
    fields.info = { "earlier status" };
    controller->BulkReport();
    EXPECT_EQ(controller->Settings().LastBulkReportPath, "/earlier/");
    EXPECT_TRUE(fields.statusHistory.empty());
    EXPECT_EQ(fields.info, Lines { "earlier status" });
    EXPECT_FALSE(controller->BulkActive());
}

// The forward at the end of a run, with spool files left from earlier runs.
TEST_F(BulkReportTest, TheSpoolIsForwardedAtTheEndOfARunOnlyFromThreeFilesOn)
{
    struct Case {
        const char* name;
        std::string options;
        int spoolFiles;
        bool forwarded;
    };
    const std::string forward = "ForwardUnProcessed=1\r\nForwardUnProcessedEmail=collect@example.org\r\n";
    const Case cases[] = {
        { "three files", forward, 3, true },
        { "two files", forward, 2, false },
        { "forwarding off", "ForwardUnProcessed=0\r\nForwardUnProcessedEmail=collect@example.org\r\n", 3, false },
        { "no address", "ForwardUnProcessed=1\r\n", 3, false },
    };
    StartServer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        WriteSettings(MailTo(server->Port(), c.options));
        OpenRecording();
        const int before = server->MessageCount();
        Lines names;
        for (int i = 0; i < c.spoolFiles; ++i) {
            std::string path = controller->SpoolUnprocessable({ "spooled message " + std::to_string(i) });
            names.push_back(path.substr(path.rfind('/') + 1));
        }
        std::sort(names.begin(), names.end());
        fields.cc = "copy@example.net";

        controller->BulkReport();

        EXPECT_EQ(fields.statusHistory.back(), "Finished bulk reporting.");
        if (!c.forwarded) {
            EXPECT_EQ(server->MessageCount(), before);
            EXPECT_EQ(SpoolNames(), names);
        } else {
            ASSERT_EQ(server->MessageCount(), before + 1);
            EXPECT_EQ(server->Envelope(before + 1).recipients, (Lines { "collect@example.org", "copy@example.net" }));
            ParsedMessage message = server->Parse(before + 1);
            EXPECT_EQ(message.Header("Subject"), "");
            Lines attached;
            for (const auto& attachment : message.attachments)
                attached.push_back(attachment.fileName);
            std::sort(attached.begin(), attached.end());
            EXPECT_EQ(attached, names);
            EXPECT_TRUE(SpoolNames().empty());
            EXPECT_TRUE(fields.messageLines.empty());
            EXPECT_EQ(fields.recipients, "collect@example.org");
            EXPECT_NE(Log().find("To: collect@example.org\r\nCC: copy@example.net\r\n"), std::string::npos);
        }
        for (const std::string& name : SpoolNames())
            ::unlink((program / ("UnProcessableSpam/" + name)).c_str());
    }
}

// Window fields that put one more message into the spool while the forward
// is on its way.
class SpoolingDuringSend : public MailerFields {
public:
    explicit SpoolingDuringSend(std::string spool)
        : spool_(std::move(spool))
    {
    }
    void AppendInfo(const std::string& line) override
    {
        MailerFields::AppendInfo(line);
        if (line == "Encoding attachment" && !added_) {
            added_ = true;
            WriteFile(spool_ + "_MVlate.tmp", "spooled while the forward was sent\r\n");
        }
    }

private:
    std::string spool_;
    bool added_ = false;
};

TEST_F(BulkReportTest, ASuccessfulForwardEmptiesTheWholeSpoolAndAFailedOneKeepsIt)
{
    ClosedPort refused;
    for (bool succeeds : { false, true }) {
        SCOPED_TRACE(succeeds ? "forward delivered" : "forward failed");
        if (succeeds)
            StartServer();
        WriteSettings(MailTo(succeeds ? server->Port() : refused.Port(),
                             "ForwardUnProcessed=1\r\nForwardUnProcessedEmail=collect@example.org\r\n"));
        SpoolingDuringSend view(program / "UnProcessableSpam/");
        view.bulkFolderAnswer = fields.bulkFolderAnswer;
        controller = std::make_unique<MailerController>(program.Path(), clock);
        controller->Start();
        controller->AttachView(view);
        controller->Show();
        for (int i = 0; i < 3; ++i)
            (void)controller->SpoolUnprocessable({ "spooled message " + std::to_string(i) });
        ui.messages.clear();

        controller->BulkReport();

        if (succeeds) {
            EXPECT_TRUE(ui.messages.empty());
            ASSERT_EQ(server->MessageCount(), 1);
            EXPECT_EQ(server->Parse(1).attachments.size(), 3u);
            EXPECT_TRUE(SpoolNames().empty());
        } else {
            EXPECT_EQ(MessageTexts(), Lines { "Could not send mail, you may have an invalid SMTP host" });
            // Nothing new is spooled: the message box is empty in a forward.
            EXPECT_EQ(SpoolNames().size(), 3u);
            EXPECT_NE(Log().find("To: collect@example.org\r\n"), std::string::npos);
        }
        for (const std::string& name : SpoolNames())
            ::unlink((program / ("UnProcessableSpam/" + name)).c_str());
    }
}

TEST_F(BulkReportTest, ASpamAssassinReportWithoutACompleteOriginalIsSpooledWhole)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Lines broken = SpamAssassinReport(SpamFrom(Source));
    // The marker is only part of its line now.
    broken[8] = "X-" + broken[8];
    Save("broken.eml", broken);
    OpenRecording();
    controller->BulkReport();

    EXPECT_EQ(server->MessageCount(), 0);
    EXPECT_EQ(SpoolContents(), Lines { JoinLinesCrLf(broken) });
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    EXPECT_EQ(results, (std::map<std::string, std::string> { { "broken.eml", "spooled" } }));
    EXPECT_EQ(StatusCount("No original message found in the SpamAssassin report: spooled it unreduced"), 1);
    EXPECT_EQ(fields.status, "Finished bulk reporting.");
}

TEST_F(BulkReportTest, APausedRunWaitsForTheSendCommandAndKeepsTheFileUntilThen)
{
    StartServer();
    WriteSettings(MailTo(server->Port()), "PauseBulkReporting=1\r\n");
    Save("addressed.eml", SpamFrom(Source));
    Save("unaddressed.eml", SpamWithoutSource());
    OpenRecording();

    controller->BulkReport();
    for (int turn = 0; turn < 2; ++turn) {
        SCOPED_TRACE(turn);
        ASSERT_TRUE(controller->BulkWaiting());
        const bool addressed = fields.messageLines == SpamFrom(Source);
        if (addressed) {
            EXPECT_EQ(fields.status, "Press Send Report button to report 198.51.100.23");
            EXPECT_TRUE(PathExists(inbox / "addressed.eml"));
        } else {
            EXPECT_EQ(fields.status, "Press Send Report button to report ");
            // Spooled at once, so the file is gone already.
            EXPECT_FALSE(PathExists(inbox / "unaddressed.eml"));
            EXPECT_EQ(SpoolNames().size(), 1u);
        }
        const int sent = server->MessageCount();
        controller->SendReport();
        EXPECT_EQ(server->MessageCount(), sent + (addressed ? 1 : 0));
    }
    EXPECT_FALSE(controller->BulkActive());
    EXPECT_EQ(fields.status, "Finished bulk reporting.");
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    EXPECT_EQ(results,
              (std::map<std::string, std::string> { { "addressed.eml", "sent" }, { "unaddressed.eml", "spooled" } }));
}

TEST_F(BulkReportTest, FailedSendsAreSpooledAndTheRunGoesOn)
{
    ClosedPort refused;
    WriteSettings(MailTo(refused.Port()));
    Save("1.eml", SpamFrom(Source, "first"));
    Save("2.eml", SpamFrom(OtherSource, "second"));
    OpenRecording();
    controller->BulkReport();
    EXPECT_EQ(MessageTexts(), (Lines { "Could not send mail, you may have an invalid SMTP host",
                                       "Could not send mail, you may have an invalid SMTP host" }));
    EXPECT_EQ(SpoolContents(),
              (Lines { JoinLinesCrLf(SpamFrom(Source, "first")), JoinLinesCrLf(SpamFrom(OtherSource, "second")) }));
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    EXPECT_EQ(results, (std::map<std::string, std::string> { { "1.eml", "failed" }, { "2.eml", "failed" } }));
    EXPECT_EQ(fields.status, "Finished bulk reporting.");
}

TEST_F(BulkReportTest, WithoutMailSettingsEveryFileStaysInTheFolder)
{
    WriteSettings("HostAddress=\r\nDefaultFromEMailAddress=reporter@example.org\r\n");
    Save("1.eml", SpamFrom(Source));
    Save("2.eml", SpamFrom(OtherSource));
    OpenRecording();
    controller->BulkReport();
    EXPECT_EQ(MessageTexts(), (Lines { "Invalid SMTP server parameters.", "Invalid SMTP server parameters." }));
    EXPECT_EQ(ListFolder(inbox.Path()), (Lines { "1.eml", "2.eml" }));
    EXPECT_TRUE(SpoolNames().empty());
    EXPECT_EQ(Log(), "");
    EXPECT_EQ(results, (std::map<std::string, std::string> { { "1.eml", "failed kept" }, { "2.eml", "failed kept" } }));
    EXPECT_FALSE(controller->BulkActive());
}

TEST_F(BulkReportTest, AnAddressErrorStopsTheRunAndTheNextSendGoesOnWithTheSameFile)
{
    StartServer();
    WriteSettings(MailTo(server->Port(), "CC=John <john@example.org> other@example.org\r\n"));
    Save("1.eml", SpamFrom(Source, "first"));
    Save("2.eml", SpamFrom(OtherSource, "second"));
    OpenRecording();

    EXPECT_THROW(controller->BulkReport(), EmailParseError);
    EXPECT_TRUE(controller->BulkActive());
    EXPECT_EQ(ListFolder(inbox.Path()), (Lines { "1.eml", "2.eml" }));
    EXPECT_EQ(server->MessageCount(), 0);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results.begin()->second, "failed kept");

    fields.cc = "copy@example.net";
    controller->SendReport();
    EXPECT_EQ(server->MessageCount(), 2);
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    EXPECT_FALSE(controller->BulkActive());
    EXPECT_EQ(results, (std::map<std::string, std::string> { { "1.eml", "sent" }, { "2.eml", "sent" } }));
}

TEST_F(BulkReportTest, AFileTooLargeForAMessageIsNamedAndStaysWhileTheRunGoesOn)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Save("1.eml", SpamFrom(Source));
    WriteFile(inbox / "huge.eml", "");
    ASSERT_EQ(::truncate((inbox / "huge.eml").c_str(), 51 * 1024 * 1024), 0);
    OpenRecording();
    controller->BulkReport();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("huge.eml is too large to be a message"), std::string::npos);
    EXPECT_EQ(server->MessageCount(), 1);
    EXPECT_EQ(ListFolder(inbox.Path()), Lines { "huge.eml" });
    EXPECT_EQ(results, (std::map<std::string, std::string> { { "1.eml", "sent" }, { "huge.eml", "failed kept" } }));
    EXPECT_EQ(fields.status, "Finished bulk reporting.");
}

// Between two files the window handles pending input: what the user starts
// there must not run a second send, find or run inside the current one.
TEST_F(BulkReportTest, SendFindAndBulkCommandsGivenBetweenFilesAreIgnored)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Save("1.eml", SpamFrom(Source, "first"));
    Save("2.eml", SpamFrom(OtherSource, "second"));
    Save("3.eml", SpamFrom(Source, "third"));
    OpenRecording();
    int blacklisted = 0;
    ui.onPendingInput = [&] {
        EXPECT_TRUE(controller->Busy());
        controller->SendReport();
        controller->FindComplaintEmails(0);
        controller->BulkReport();
        // Commands that start no report still run.
        ui.QueueAnswer("blocked" + std::to_string(++blacklisted) + "@example.org");
        controller->AddToBlacklist();
    };
    controller->BulkReport();
    EXPECT_EQ(server->MessageCount(), 3);
    EXPECT_EQ(ui.pendingInputCalls, 3);
    EXPECT_EQ(results.size(), 3u);
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    EXPECT_EQ(ReadFile(program / "EmailBlacklist.txt"),
              "blocked1@example.org\r\nblocked2@example.org\r\nblocked3@example.org\r\n");
}

TEST_F(BulkReportTest, ClosingTheWindowBetweenFilesStopsTheRunAndLosesNoFile)
{
    StartServer();
    WriteSettings(MailTo(server->Port()));
    Save("1.eml", SpamFrom(Source, "first"));
    Save("2.eml", SpamFrom(OtherSource, "second"));
    OpenRecording();
    ui.onPendingInput = [&] {
        controller->Shutdown();
        // The shut-down waits until the run has returned.
        EXPECT_TRUE(controller->HasConfig());
    };
    controller->BulkReport();
    EXPECT_FALSE(controller->HasConfig());
    EXPECT_EQ(server->MessageCount(), 0);
    EXPECT_EQ(ListFolder(inbox.Path()), (Lines { "1.eml", "2.eml" }));
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("LastBulkReportPath=" + inbox.Path()), std::string::npos);
}

// Each file is one turn of a loop, not one more call inside the last: the
// stack stands at the same depth for the first file and the ten-thousandth.
TEST_F(BulkReportTest, TenThousandFilesAreTakenAtOneStackDepth)
{
    WriteSettings(MailTo(25));
    constexpr int Files = 10000;
    for (int i = 0; i < Files; ++i)
        WriteFile(inbox / ("m" + std::to_string(i)), "");
    OpenRecording();
    std::uintptr_t lowest = UINTPTR_MAX;
    std::uintptr_t highest = 0;
    ui.onPendingInput = [&] {
        volatile char marker = 0;
        auto here = reinterpret_cast<std::uintptr_t>(&marker);
        lowest = std::min(lowest, here);
        highest = std::max(highest, here);
    };
    controller->BulkReport();
    EXPECT_EQ(ui.pendingInputCalls, Files);
    EXPECT_EQ(highest - lowest, 0u);
    EXPECT_EQ(results.size(), static_cast<size_t>(Files));
    EXPECT_EQ(std::count_if(results.begin(), results.end(), [](const auto& r) { return r.second == "empty"; }), Files);
    EXPECT_TRUE(ListFolder(inbox.Path()).empty());
    EXPECT_TRUE(ui.messages.empty());
}

} // namespace
} // namespace morvanta::test
