#include "browser/gui/BrowserWindow.h"

#include "app/gui/DesktopUrl.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WebTestServer.h"
#include "mailer/MailerController.h"
#include "mailer/gui/BrowserHooks.h"

#include <QApplication>
#include <QDesktopServices>
#include <QKeyEvent>
#include <QMenu>
#include <QPointer>
#include <QStandardPaths>
#include <QStatusBar>
#include <QUrl>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <gtest/gtest.h>

#include <chrono>
#include <functional>
#include <set>
#include <thread>

using namespace morvanta;
using namespace morvanta::test;

namespace {

using Lines = std::vector<std::string>;

// Lets the event loop run until the condition holds or the time is up.
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds limit = std::chrono::seconds(30))
{
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (condition())
            return true;
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
}

void Settle(std::chrono::milliseconds time)
{
    (void)WaitFor([] { return false; }, time);
}

std::set<BrowserWindow*> BrowserWindows()
{
    std::set<BrowserWindow*> windows;
    for (QWidget* widget : QApplication::topLevelWidgets()) {
        if (auto* window = qobject_cast<BrowserWindow*>(widget))
            windows.insert(window);
    }
    return windows;
}

// Every text the window's status line showed, in order.
class StatusRecorder {
public:
    explicit StatusRecorder(BrowserWindow& window)
    {
        auto* bar = window.findChild<QStatusBar*>("statusBar");
        QObject::connect(bar, &QStatusBar::messageChanged,
                         [this](const QString& text) { texts.push_back(text.toStdString()); });
    }
    Lines texts;
};

class BrowserWindowTest : public ::testing::Test {
protected:
    void TearDown() override
    {
        for (BrowserWindow* window : BrowserWindows())
            window->close();
        WaitFor([] { return BrowserWindows().empty(); });
    }

    // A window on the path, closing on the server's "/sc" page.
    BrowserWindow* Open(const std::string& path) { return OpenBrowserWindow(server.Url(path), server.Url("/sc")); }

    static bool Loaded(const QPointer<BrowserWindow>& window) { return window && window->StatusText() == "Done"; }

    WebTestServer server;
    RecordingUi ui;
};

TEST_F(BrowserWindowTest, OpensMinimisedAndIsMaximisedWhenItsFirstPageHasLoaded)
{
    QPointer<BrowserWindow> window = Open("/first");
    ASSERT_TRUE(window);
    StatusRecorder status(*window);
    EXPECT_EQ(window->windowTitle(), "Browser");
    EXPECT_EQ(window->parentWidget(), nullptr);
    EXPECT_TRUE(window->isMinimized());
    EXPECT_TRUE(window->testAttribute(Qt::WA_DeleteOnClose));

    ASSERT_TRUE(WaitFor([&] { return window && window->isMaximized(); }));
    EXPECT_FALSE(window->isMinimized());
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    EXPECT_EQ(status.texts.front(), "Loading " + server.Url("/first"));
    EXPECT_EQ(status.texts.back(), "Done");
}

TEST_F(BrowserWindowTest, ALaterNavigationToTheServicePageClosesTheWindow)
{
    QPointer<BrowserWindow> window = Open("/first");
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    ASSERT_TRUE(window->isMaximized());

    // Another page leaves the window open and its size alone.
    window->Navigate(server.Url("/next"));
    ASSERT_TRUE(WaitFor([&] { return Loaded(window) && window->View()->url().path() == "/next"; }));
    Settle(std::chrono::milliseconds(300));
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isMaximized());

    // A page whose address only begins like the service's does not close it.
    window->Navigate(server.Url("/sc?more"));
    ASSERT_TRUE(WaitFor([&] { return Loaded(window) && window->View()->url().query() == "more"; }));
    Settle(std::chrono::milliseconds(300));
    ASSERT_TRUE(window);

    window->Navigate(server.Url("/sc"));
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); }));
}

TEST_F(BrowserWindowTest, TheServicePageReachedFirstDoesNotCloseTheWindow)
{
    QPointer<BrowserWindow> window = Open("/sc");
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    Settle(std::chrono::milliseconds(500));
    ASSERT_TRUE(window);
    EXPECT_TRUE(window->isMaximized());
}

TEST_F(BrowserWindowTest, TheStatusLineShowsTheHoveredLink)
{
    QPointer<BrowserWindow> window = Open("/first");
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    emit window->View()->page()->linkHovered(QString::fromStdString(server.Url("/sc")));
    EXPECT_EQ(window->StatusText().toStdString(), server.Url("/sc"));
}

TEST_F(BrowserWindowTest, EscapeClosesTheWindow)
{
    QPointer<BrowserWindow> window = Open("/first");
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    window->activateWindow();
    ASSERT_TRUE(WaitFor([&] { return QApplication::focusWidget() != nullptr; }));
    QWidget* focused = QApplication::focusWidget();
    EXPECT_TRUE(focused == window->View() || window->View()->isAncestorOf(focused));
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
    QApplication::sendEvent(focused, &press);
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); }));
}

TEST_F(BrowserWindowTest, ThePopUpMenuCopiesAndSelectsWithoutFailingOnAnEmptySelection)
{
    QPointer<BrowserWindow> window = Open("/first");
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    auto* menu = window->findChild<QMenu*>();
    ASSERT_NE(menu, nullptr);
    QList<QAction*> actions = menu->actions();
    ASSERT_EQ(actions.size(), 2);
    EXPECT_EQ(actions[0]->text(), "&Copy");
    EXPECT_EQ(actions[1]->text(), "Select &All");
    actions[0]->trigger();
    actions[1]->trigger();
    ASSERT_TRUE(WaitFor([&] { return window && window->View()->hasSelection(); }));
    actions[0]->trigger();
    Settle(std::chrono::milliseconds(200));
    EXPECT_TRUE(window);
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(BrowserWindowTest, EachWindowHasARestrictedProfileOfItsOwnThatKeepsNothing)
{
    QPointer<BrowserWindow> first = Open("/first");
    QPointer<BrowserWindow> second = Open("/second");
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->Profile(), second->Profile());
    for (BrowserWindow* window : { first.data(), second.data() }) {
        EXPECT_TRUE(window->Profile()->isOffTheRecord());
        EXPECT_EQ(window->View()->page()->profile(), window->Profile());
        QWebEngineSettings* settings = window->View()->page()->settings();
        EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::PluginsEnabled));
        EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::JavascriptCanAccessClipboard));
        EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::JavascriptCanPaste));
        EXPECT_FALSE(settings->testAttribute(QWebEngineSettings::JavascriptCanOpenWindows));
    }
}

TEST_F(BrowserWindowTest, APageOfferingADownloadSavesNothing)
{
    TempDir downloads;
    const QString defaultFolder = QStandardPaths::writableLocation(QStandardPaths::DownloadLocation);
    for (const char* path : { "/download", "/offers-download" }) {
        SCOPED_TRACE(path);
        QPointer<BrowserWindow> window = Open(path);
        ASSERT_TRUE(window);
        window->Profile()->setDownloadPath(QString::fromStdString(downloads.Path()));
        ASSERT_TRUE(WaitFor([&] { return window && window->StatusText() == "Download refused: offer.exe"; }))
            << (window ? window->StatusText().toStdString() : "closed");
        Settle(std::chrono::milliseconds(500));
        EXPECT_EQ(ListFolder(downloads.Path()), Lines {});
        EXPECT_FALSE(PathExists(defaultFolder.toStdString() + "/offer.exe"));
        window->close();
    }
    Lines requested = server.RequestedPaths();
    EXPECT_EQ(std::count(requested.begin(), requested.end(), "/download"), 2);
}

TEST_F(BrowserWindowTest, TheUrlLauncherOpensOneWindowPerQualifyingLineInLineOrder)
{
    TempDir program;
    TempDir user;
    ScopedEnv xdg("XDG_CONFIG_HOME", user.Path().c_str());
    WriteFile(program / "Morvanta.ini", "[Options]\r\nReportServiceUrl=" + server.Url("/sc") + "\r\n");
    MailerController controller(program.Path());
    controller.Start();
    InstallBrowserHooks(controller);
    ASSERT_TRUE(controller.openBrowser);

    // The requested address of each window as it is opened.
    Lines opened;
    auto open = controller.openBrowser;
    auto recordingOpen = [&](const std::string& url) {
        std::set<BrowserWindow*> before = BrowserWindows();
        open(url);
        for (BrowserWindow* window : BrowserWindows()) {
            if (!before.count(window)) {
                opened.push_back(window->RequestedAddress());
                EXPECT_TRUE(window->isMinimized());
            }
        }
    };
    const Lines message {
        "Received: from mx.example.net",
        "  " + server.Url("/one") + "  ",
        "Click here: " + server.Url("/two") + " today",
        "HTTP://127.0.0.1:" + std::to_string(server.Port()) + "/capitals",
        "https://127.0.0.1:" + std::to_string(server.Port()) + "/secure",
        server.Url("/three"),
    };
    BrowserPolicy::OpenUrlLines(message, recordingOpen);
    EXPECT_EQ(opened,
              (Lines { server.Url("/one"), "Click here: " + server.Url("/two") + " today", server.Url("/three") }));

    ASSERT_TRUE(WaitFor([&] {
        Lines requested = server.RequestedPaths();
        return std::count(requested.begin(), requested.end(), "/one") == 1
               && std::count(requested.begin(), requested.end(), "/three") == 1;
    }));
    // The service page set in the settings closes a window on a later navigation.
    QPointer<BrowserWindow> window;
    for (BrowserWindow* candidate : BrowserWindows())
        if (candidate->RequestedAddress() == server.Url("/one"))
            window = candidate;
    ASSERT_TRUE(WaitFor([&] { return Loaded(window); }));
    window->Navigate(server.Url("/sc"));
    EXPECT_TRUE(WaitFor([&] { return window.isNull(); }));
    EXPECT_EQ(BrowserWindows().size(), 2u);
    controller.Shutdown();
}

TEST_F(BrowserWindowTest, AsRootWithoutConsentNoWindowOpensAndOneMessageSaysWhy)
{
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(OpenBrowserWindow(server.Url("/first"), server.Url("/sc"), WebViewStart::Refused), nullptr);
    EXPECT_TRUE(BrowserWindows().empty());
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Browser");
    EXPECT_EQ(ui.messages[0].text, WebViewRefusedText());
    // The next command is told again.
    Settle(std::chrono::milliseconds(50));
    EXPECT_EQ(OpenBrowserWindow(server.Url("/first"), server.Url("/sc"), WebViewStart::Refused), nullptr);
    EXPECT_EQ(ui.messages.size(), 2u);
    EXPECT_TRUE(server.RequestedPaths().empty());
}

} // namespace

// Takes the addresses handed to the default handler.
class UrlCatcher : public QObject {
    Q_OBJECT

public:
    std::vector<QUrl> urls;

public slots:
    void Open(const QUrl& url) { urls.push_back(url); }
};

namespace {

TEST(OpenWithDesktop, HandsTheAddressToTheDefaultHandler)
{
    RecordingUi ui;
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    EXPECT_TRUE(OpenWithDesktop("http://home.invalid/morvanta"));
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_EQ(catcher.urls[0], QUrl("http://home.invalid/morvanta"));
    EXPECT_TRUE(ui.messages.empty());
}

TEST(OpenWithDesktop, SaysSoWhenNoHandlerTakesTheAddress)
{
    RecordingUi ui;
    // No handler exists for this scheme on the test platform.
    EXPECT_FALSE(OpenWithDesktop("morvanta-no-handler:home"));
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].title, "Could not start your Internet browser");
    EXPECT_EQ(ui.messages[0].text, "Launch Error");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
}

TEST(OpenWithDesktop, TheOnTheWebHookOpensTheHomePage)
{
    RecordingUi ui;
    TempDir program;
    TempDir user;
    ScopedEnv xdg("XDG_CONFIG_HOME", user.Path().c_str());
    WriteFile(program / "Morvanta.ini", "[Options]\r\nHomePage=http://home.invalid/\r\n");
    MailerController controller(program.Path());
    controller.Start();
    InstallBrowserHooks(controller);
    UrlCatcher catcher;
    QDesktopServices::setUrlHandler("http", &catcher, "Open");
    ASSERT_TRUE(controller.launchUrl);
    EXPECT_TRUE(controller.launchUrl(controller.Settings().HomePage));
    QDesktopServices::unsetUrlHandler("http");
    ASSERT_EQ(catcher.urls.size(), 1u);
    EXPECT_EQ(catcher.urls[0], QUrl("http://home.invalid/"));
    controller.Shutdown();
}

} // namespace

#include "BrowserWindowTest.moc"
