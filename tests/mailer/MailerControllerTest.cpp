#include "mailer/MailerController.h"

#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

using namespace morvanta;
using namespace morvanta::test;

namespace {

class MailerControllerTest : public ::testing::Test {
protected:
    TempDir program;
    TempDir user;
    ScopedEnv xdg { "XDG_CONFIG_HOME", user.Path().c_str() };
    RecordingUi ui;
};

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

} // namespace
