#include "mailer/gui/MailerWindow.h"

#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"

#include <QApplication>

#include <gtest/gtest.h>

using namespace morvanta;
using namespace morvanta::test;

namespace {

TEST(MailerWindowTest, OpensTitledAndClosingWritesTheUserSettings)
{
    TempDir program;
    TempDir user;
    ScopedEnv xdg("XDG_CONFIG_HOME", user.Path().c_str());
    RecordingUi ui;

    MailerController controller(program.Path());
    controller.Start();
    MailerWindow window(controller);
    window.show();
    QApplication::processEvents();
    EXPECT_EQ(window.windowTitle().toStdString(), "Morvanta Mailer");
    EXPECT_TRUE(window.isVisible());

    controller.Settings().LastBulkReportPath = "/chosen/";
    EXPECT_TRUE(window.close());
    QApplication::processEvents();

    EXPECT_FALSE(window.isVisible());
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("LastBulkReportPath=/chosen/"), std::string::npos);
    EXPECT_TRUE(ui.errors.empty());
}

} // namespace
