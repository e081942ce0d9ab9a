#include "mailer/MailerController.h"

#include "analysis/TextFiles.h"
#include "fixtures/SendmailPrograms.h"
#include "mailer/MailerFixture.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>

namespace morvanta::test {
namespace {

class MailerControllerTest : public MailerFixture { };

TEST_F(MailerControllerTest, CreationReadsTheSettingsAndMakesTheSpoolFolder)
{
    MailerController controller(program.Path());
    controller.Start();
    ASSERT_TRUE(controller.HasConfig());
    EXPECT_EQ(controller.Settings().ProgramFolder, program.Path());
    EXPECT_TRUE(PathExists(program / "UnProcessableSpam"));
}

TEST_F(MailerControllerTest, ShutDownWritesTheUserSettings)
{
    MailerController controller(program.Path());
    controller.Start();
    controller.Settings().Mail->DefaultFile = "SpamReport.txt";
    controller.Settings().LastBulkReportPath = "/bulk/";
    controller.Shutdown();

    EXPECT_FALSE(controller.HasConfig());
    EXPECT_TRUE(ui.messages.empty());
    std::string written = ReadFile(user / "Morvanta/Morvanta.ini");
    EXPECT_NE(written.find("DefaultFile=SpamReport.txt"), std::string::npos);
    EXPECT_NE(written.find("LastBulkReportPath=/bulk/"), std::string::npos);
    EXPECT_FALSE(PathExists(program / "Morvanta.ini"));
    // A window never shown has read no history, so none is written.
    EXPECT_FALSE(PathExists(program / "SentTo.txt"));
}

TEST_F(MailerControllerTest, ShutDownShowsAWriteFailureAndGoesOn)
{
    WriteFile(user / "Morvanta", "a file where the folder should be");
    MailerController controller(program.Path());
    controller.Start();
    controller.Shutdown();

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Unable to write to " + user.Path() + "Morvanta/Morvanta.ini");
    EXPECT_EQ(ui.messages[0].title, "Morvanta");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
    EXPECT_FALSE(controller.HasConfig());
}

TEST_F(MailerControllerTest, ShowListsTheTemplatesAndSelectsTheChosenOneWhateverItsLetterCase)
{
    WriteFile(program / "SpamReport.txt", "Spam came from %IP%.\r\n");
    WriteFile(program / "notes.txt", "not a template");
    WriteFile(program / "VirusReport.txt.bak", "not a template either");
    ForceDirectories(program / "FolderReport.txt/");
    WriteUserSettings("[MailOptions]\r\nDefaultFile=spamREPORT.TXT\r\n");
    WriteSettings("CC=copy@example.net\r\nBCC=hidden@example.net\r\nMailAgent=Agent 7\r\n", "",
                  "[spamREPORT.TXT]\r\nDefaultSubject=Spam from %IP%\r\n");
    WriteFile(program / "SentTo.txt", "abuse@a.example\r\nabuse@b.example,noc@b.example\r\n");
    fields.recipients = "left over";
    fields.messageLines = { "old message" };
    fields.attachmentPath = "/old/attachment";

    Open();

    std::vector<std::string> names = fields.templateNames;
    std::sort(names.begin(), names.end());
    EXPECT_EQ(names, (Lines { "SpamReport.txt", "VirusReport.txt" }));
    ASSERT_GE(fields.selectedTemplate, 0);
    EXPECT_EQ(fields.templateNames[static_cast<size_t>(fields.selectedTemplate)], "SpamReport.txt");
    EXPECT_EQ(fields.subject, "Spam from %IP%");
    EXPECT_EQ(fields.cc, "copy@example.net");
    EXPECT_EQ(fields.bcc, "hidden@example.net");
    EXPECT_EQ(fields.recipients, "");
    EXPECT_TRUE(fields.messageLines.empty());
    EXPECT_EQ(fields.attachmentPath, "");
    EXPECT_EQ(fields.recipientHistory, (Lines { "abuse@a.example", "abuse@b.example,noc@b.example" }));
    EXPECT_EQ(controller->HelpFilePath(), program / "Morvanta.html");
    EXPECT_EQ(controller->AttachmentFolder(), program.Path());
    EXPECT_EQ(controller->Smtp().MailAgent, "Agent 7");
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MailerControllerTest, WithoutTheChosenTemplateNothingIsSelectedAndTheFindLogsNoPosition)
{
    ::unlink((program / "VirusReport.txt").c_str());
    WriteFile(program / "SpamReport.txt", "Spam.\r\n");
    WriteSettings("");
    Cache({ { "198.51.100.23", "abuse@isp.example" } });
    Open();
    EXPECT_EQ(fields.selectedTemplate, -1);
    EXPECT_EQ(fields.subject, "Virus report");

    fields.messageLines = SpamFrom("198.51.100.23");
    controller->FindComplaintEmails(0);
    fields.selectedTemplate = 0;
    controller->FindComplaintEmails(0);
    controller->Shutdown();

    auto stats = ReadRows(program / "IPStats.db", IPStatsTableDef());
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0].values[2], TableValue(65535));
    EXPECT_EQ(stats[1].values[2], TableValue(0));
}

TEST_F(MailerControllerTest, ChoosingATemplateReadsItsSubjectAndReplacesWhatWasTyped)
{
    WriteFile(program / "SpamReport.txt", "Spam.\r\n");
    WriteSettings("CC=copy@example.net\r\n", "", "[SpamReport.txt]\r\nDefaultSubject=Spam report\r\n");
    Open();
    int spam = static_cast<int>(std::find(fields.templateNames.begin(), fields.templateNames.end(), "SpamReport.txt")
                                - fields.templateNames.begin());
    int virus = 1 - spam;

    struct Step {
        int position;
        const char* subject;
        const char* file;
    };
    for (const Step& step :
         { Step { spam, "Spam report", "SpamReport.txt" }, Step { virus, "Virus report", "VirusReport.txt" } }) {
        SCOPED_TRACE(step.file);
        fields.subject = "typed subject";
        fields.cc = "typed@example.net";
        fields.bcc = "typed@example.net";
        controller->SelectTemplate(step.position);
        EXPECT_EQ(fields.subject, step.subject);
        EXPECT_EQ(fields.cc, "copy@example.net");
        EXPECT_EQ(fields.bcc, "");
        EXPECT_EQ(fields.selectedTemplate, step.position);
        EXPECT_EQ(controller->Settings().Mail->DefaultFile, step.file);
    }
    controller->Shutdown();
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("DefaultFile=VirusReport.txt"), std::string::npos);
    EXPECT_EQ(ReadFile(program / "Morvanta.ini").find("DefaultFile"), std::string::npos);
}

TEST_F(MailerControllerTest, LeavingTheEMailsBoxAddsANewTextAtTheTopOfTheHistory)
{
    struct Case {
        const char* name;
        std::string text;
        Lines expected;
    };
    const Lines start = { "abuse@a.example", "abuse@b.example,noc@b.example" };
    const Case cases[] = {
        { "new text goes first",
          "abuse@c.example",
          { "abuse@c.example", "abuse@a.example", "abuse@b.example,noc@b.example" } },
        { "an entry already there", "abuse@a.example", start },
        { "part of an entry", "noc@b.example", start },
        { "part reaching over two entries", "example\r\nabuse@b", start },
        { "other letter case is new",
          "ABUSE@A.EXAMPLE",
          { "ABUSE@A.EXAMPLE", "abuse@a.example", "abuse@b.example,noc@b.example" } },
        { "empty box", "", start },
        { "blanks count as text", " ", { " ", "abuse@a.example", "abuse@b.example,noc@b.example" } },
    };
    WriteSettings("");
    Open();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fields.recipientHistory = start;
        fields.recipients = c.text;
        controller->RecipientsExit();
        EXPECT_EQ(fields.recipientHistory, c.expected);
    }
}

TEST_F(MailerControllerTest, ShutDownWritesTheHistoryIntoSentToOneEntryALine)
{
    WriteSettings("");
    WriteFile(program / "SentTo.txt", "abuse@a.example\n");
    Open();
    fields.recipients = "abuse@b.example, noc@b.example";
    controller->RecipientsExit();
    controller->Shutdown();
    EXPECT_EQ(ReadFile(program / "SentTo.txt"), "abuse@b.example, noc@b.example\r\nabuse@a.example\r\n");
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MailerControllerTest, AHistoryThatCannotBeWrittenIsShownAndTheUserSettingsAreStillSaved)
{
    WriteSettings("");
    Open();
    ForceDirectories(program / "SentTo.txt/");
    controller->Settings().LastBulkReportPath = "/bulk/";
    controller->Shutdown();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_NE(ui.messages[0].text.find("SentTo.txt"), std::string::npos);
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("LastBulkReportPath=/bulk/"), std::string::npos);
}

// No sendmail program: the window says so when it opens and when it
// closes, and still keeps the history and the user settings.
TEST_F(MailerControllerTest, WithUseMapiTheMissingMailProgramIsShownAtStartAndEndAndNothingElseIsLost)
{
    WriteSettings("UseMAPI=1\r\n");
    WriteFile(program / "SentTo.txt", "abuse@a.example\r\n");
    Open();
    EXPECT_EQ(ui.errors, Lines { "MAPI services are not available on this system" });
    EXPECT_EQ(fields.recipientHistory, Lines { "abuse@a.example" });
    EXPECT_EQ(fields.templateNames, Lines { "VirusReport.txt" });
    EXPECT_EQ(fields.subject, "Virus report");

    fields.recipients = "abuse@b.example";
    controller->RecipientsExit();
    controller->Settings().LastBulkReportPath = "/bulk/";
    controller->Shutdown();
    EXPECT_EQ(ui.errors, (Lines { "MAPI services are not available on this system",
                                  "MAPI services are not available on this system" }));
    EXPECT_EQ(ReadFile(program / "SentTo.txt"), "abuse@b.example\r\nabuse@a.example\r\n");
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("LastBulkReportPath=/bulk/"), std::string::npos);
}

TEST_F(MailerControllerTest, AFailedSystemMailLogonIsShownInAnErrorBoxAndTheWindowGoesOn)
{
    SendmailPrograms programs;
    const std::string sendmail = programs.Capturing();
    WriteSettings("UseMAPI=1\r\nSendmailProgram=" + sendmail + "\r\n");
    controller = std::make_unique<MailerController>(program.Path(), clock);
    controller->Start();
    controller->AttachView(fields);
    // There when the program started, gone when the window opens.
    ASSERT_EQ(::chmod(sendmail.c_str(), 0644), 0);
    controller->Show();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "MAPI Logon failed");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(ui.messages[0].icon, MessageIcon::Error);
    EXPECT_EQ(fields.templateNames, Lines { "VirusReport.txt" });
    controller->Shutdown();
    EXPECT_EQ(ui.messages.size(), 1u);
    EXPECT_TRUE(PathExists(program / "SentTo.txt"));
}

TEST_F(MailerControllerTest, FindingPutsTheCachedListIntoTheEMailsBoxAndNamesTheAddress)
{
    WriteSettings("");
    Cache({ { "198.51.100.23", "abuse@isp.example,noc@isp.example" } });
    Open();
    struct Case {
        const char* name;
        Lines message;
        std::uint16_t level;
        const char* recipients;
        const char* status;
    };
    const Case cases[] = {
        { "cached source", SpamFrom("198.51.100.23"), 0, "abuse@isp.example,noc@isp.example",
          "Finished 198.51.100.23 report" },
        { "no source", SpamWithoutSource(), 0, "", "Finished  report" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fields.recipients = "typed@example.net";
        fields.messageLines = c.message;
        controller->FindComplaintEmails(c.level);
        EXPECT_EQ(fields.recipients, c.recipients);
        EXPECT_EQ(fields.status, c.status);
        EXPECT_TRUE(ui.messages.empty());
    }
}

TEST_F(MailerControllerTest, AFindThatNoServerAnsweredLeavesTheStaleListAndSaysSoInTheStatusBar)
{
    WriteSettings("");
    WriteTableFile(program / "IPList.db", IPListTableDef(),
                   { { 0, IPListValues("85.12.40.9", "abuse@isp.example", kDay - 40) } });
    Open();
    fields.messageLines = SpamFrom("85.12.40.9");

    controller->FindComplaintEmails(0);

    EXPECT_EQ(fields.recipients, "abuse@isp.example");
    EXPECT_TRUE(fields.status.starts_with("Search for 85.12.40.9 failed: using the list cached on ")) << fields.status;
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MailerControllerTest, TheContactSearchProgressGoesToTheStatusBar)
{
    WriteSettings("");
    Open();
    ASSERT_TRUE(controller->Session().Search().OnMailerStatus);
    controller->Session().Search().OnMailerStatus("Searching ARIN...");
    EXPECT_EQ(fields.status, "Searching ARIN...");
}

TEST_F(MailerControllerTest, BrowsingTakesAFileThatExistsAndNamesOneThatDoesNot)
{
    WriteSettings("");
    Open();
    WriteFile(program / "evidence.zip", "zip");
    struct Case {
        const char* name;
        std::string answer;
        std::string expectedPath;
        Lines messages;
    };
    const Case cases[] = {
        { "existing file", program / "evidence.zip", program / "evidence.zip", {} },
        { "missing file", program / "gone.zip", "kept", { program / "gone.zip does not exist." } },
        { "cancelled", "", "kept", {} },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        fields.attachmentPath = "kept";
        fields.attachmentAnswer = c.answer;
        controller->BrowseAttachment();
        EXPECT_EQ(fields.attachmentPath, c.expectedPath);
        EXPECT_EQ(MessageTexts(), c.messages);
    }
}

TEST_F(MailerControllerTest, AddingToAnExclusionListUncachesTheAddressAndKeepsTheFileSorted)
{
    struct Case {
        const char* name;
        void (MailerController::*command)();
        const char* caption;
        const char* prompt;
        const char* file;
    };
    const Case cases[] = {
        { "blacklist", &MailerController::AddToBlacklist, "Blacklist EMail", "Enter EMail address to blacklist",
          "EmailBlacklist.txt" },
        { "blocklist", &MailerController::AddToBlocklist, "Blocklist EMail", "Enter EMail address to blocklist",
          "EmailBlocklist.txt" },
    };
    WriteSettings("");
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir folder;
        WriteFile(folder / "Morvanta.ini", ReadFile(program / "Morvanta.ini"));
        WriteFile(folder / "VirusReport.txt", "x\r\n");
        WriteFile(folder / c.file, "alpha@example.org\r\nzulu@example.org\r\n");
        std::vector<TableRow> rows { { 0, IPListValues("198.51.100.23", "abuse@isp.example,noc@isp.example", kDay) } };
        WriteTableFile(folder / "IPList.db", IPListTableDef(), rows);
        RecordingUi local;
        MailerFields view;
        MailerController mailer(folder.Path(), clock);
        mailer.Start();
        mailer.AttachView(view);
        mailer.Show();

        local.QueueCancel();
        (mailer.*c.command)();
        local.QueueAnswer("");
        (mailer.*c.command)();
        EXPECT_TRUE(local.cursorChanges.empty());
        local.QueueAnswer("Noc@isp.example");
        (mailer.*c.command)();

        ASSERT_EQ(local.questions.size(), 3u);
        EXPECT_EQ(local.questions[2].caption, c.caption);
        EXPECT_EQ(local.questions[2].prompt, c.prompt);
        EXPECT_EQ(local.questions[2].defaultValue, "");
        EXPECT_EQ(local.cursorChanges, (std::vector<bool> { true, false }));
        EXPECT_EQ(ReadFile(folder / c.file), "alpha@example.org\r\nNoc@isp.example\r\nzulu@example.org\r\n");
        view.messageLines = SpamFrom("198.51.100.23");
        mailer.FindComplaintEmails(0);
        EXPECT_EQ(view.recipients, "abuse@isp.example");
    }
}

TEST_F(MailerControllerTest, AnAddressWithALineBreakIsNotAddedToAList)
{
    WriteSettings("");
    Open();
    ui.QueueAnswer("a@example.org\r\nb@example.org");
    controller->AddToBlacklist();
    EXPECT_FALSE(PathExists(program / "EmailBlacklist.txt"));
    EXPECT_EQ(MessageTexts(), Lines { "An address to add to EmailBlacklist.txt must be on one line." });
}

TEST_F(MailerControllerTest, ApplyingTheBlacklistShowsTheBusyCursorAndPurgesTheCache)
{
    WriteSettings("");
    Cache({ { "198.51.100.23", ",abuse@isp.example,noc@isp.example" } });
    WriteFile(program / "EmailBlacklist.txt", "noc@isp.example\r\n");
    Open();
    controller->ApplyBlacklist();
    EXPECT_EQ(ui.cursorChanges, (std::vector<bool> { true, false }));
    controller->FixEmails();
    fields.messageLines = SpamFrom("198.51.100.23");
    controller->FindComplaintEmails(0);
    EXPECT_EQ(fields.recipients, "abuse@isp.example");
}

TEST_F(MailerControllerTest, TheInvestigationOpensOnTheSourceOfTheMessage)
{
    WriteSettings("");
    Cache({ { "198.51.100.23", "abuse@isp.example" } });
    Open();
    std::vector<std::string> shown;
    controller->showInvestigation = [&](const std::string& address) {
        EXPECT_TRUE(controller->Session().SearchReference());
        shown.push_back(address);
    };
    fields.messageLines = SpamFrom("198.51.100.23");
    controller->OpenInvestigation();
    fields.messageLines = SpamWithoutSource();
    controller->OpenInvestigation();
    EXPECT_EQ(shown, (Lines { "198.51.100.23", "" }));
    EXPECT_EQ(controller->Session().Context().CurrentIP, "");
}

TEST_F(MailerControllerTest, TheUrlLauncherOpensEveryTrimmedLineWithHttpInLineOrder)
{
    WriteSettings("");
    Open();
    fields.messageLines = {
        "Visit http://one.example/a now",
        "  http://two.example/b\t",
        "HTTP://three.example/ shouted",
        "https://four.example/ encrypted",
        "no address",
        "see <http://five.example/>",
    };
    std::vector<std::string> opened;
    controller->openBrowser = [&](const std::string& url) { opened.push_back(url); };
    controller->LaunchUrls();
    EXPECT_EQ(opened,
              (Lines { "Visit http://one.example/a now", "http://two.example/b", "see <http://five.example/>" }));
}

TEST_F(MailerControllerTest, OnTheWebOpensTheHomePageAndAboutNamesTheVersion)
{
    WriteSettings("", "HomePage=https://home.example/morvanta\r\n");
    Open();
    std::vector<std::string> launched;
    controller->launchUrl = [&](const std::string& url) {
        launched.push_back(url);
        return false;
    };
    controller->OpenHomePage();
    EXPECT_EQ(launched, Lines { "https://home.example/morvanta" });
    EXPECT_EQ(controller->AboutText(), "Morvanta\n\nVersion 2.001");
}

} // namespace
} // namespace morvanta::test
