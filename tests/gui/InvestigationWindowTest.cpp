#include "investigate/gui/InvestigationWindow.h"

#include "app/Config.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "mailer/MailerController.h"
#include "mailer/gui/InvestigationHookup.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPointer>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

std::string Text(const QString& text)
{
    return text.toStdString();
}

// A window over a controller whose WHOIS queries go to loopback registries.
class InvestigationWindowTest : public ::testing::Test {
protected:
    InvestigationWindowTest()
        : config(folder.Path())
    {
        registries.Configure(config);
    }

    std::unique_ptr<InvestigationWindow> MakeWindow()
    {
        auto search = std::make_shared<ContactSearch>(config, report);
        auto controller = std::make_shared<InvestigationController>(config, search);
        controller->ConnectRecipients(
            { [this] { return recipients; }, [this](const std::string& text) { recipients = text; } });
        return std::make_unique<InvestigationWindow>(controller);
    }

    template <typename T> static T* Find(QWidget& window, const char* name)
    {
        T* found = window.findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    static void Trigger(QWidget& window, const char* action)
    {
        QAction* found = window.findChild<QAction*>(action);
        ASSERT_NE(found, nullptr) << action;
        found->trigger();
    }

    static std::vector<std::string> TabCaptions(QWidget& window)
    {
        auto* tabs = window.findChild<QTabWidget*>("resultTabs");
        std::vector<std::string> captions;
        for (int i = 0; i < tabs->count(); ++i)
            captions.push_back(Text(tabs->tabText(i)));
        return captions;
    }

    TempDir folder;
    LoopbackRegistries registries;
    Config config;
    ReportContext report;
    RecordingUi ui;
    std::string recipients;
};

TEST_F(InvestigationWindowTest, ShowsItsBoxesButtonsAndMenuAsTheyAreNamed)
{
    WriteFile(folder / "WhoisList.txt", "whois.one.example\r\n\r\nwhois.two.example\r\n");
    auto window = MakeWindow();

    EXPECT_EQ(Text(window->windowTitle()), "Netvane");
    EXPECT_EQ(window->size(), QSize(539, 407));
    auto* server = Find<QComboBox>(*window, "serverBox");
    EXPECT_TRUE(server->isEditable());
    EXPECT_EQ(Text(server->currentText()), config.DefaultWhoisHost);
    ASSERT_EQ(server->count(), 3);
    EXPECT_EQ(Text(server->itemText(0)), "whois.one.example");
    EXPECT_EQ(Text(server->itemText(1)), "");
    EXPECT_EQ(Text(Find<QLineEdit>(*window, "urlEdit")->text()), "");
    EXPECT_EQ(Text(Find<QLineEdit>(*window, "argumentsEdit")->text()), "");

    auto* commands = Find<QToolBar>(*window, "commandBar");
    EXPECT_EQ(commands->orientation(), Qt::Vertical);
    EXPECT_EQ(window->toolBarArea(commands), Qt::LeftToolBarArea);
    const std::vector<std::string> hints { "Magic whois", "Traceroute", "WhoIs", "IP Block", "reverse DNS", "Abuse@" };
    std::vector<std::string> shown;
    for (QAction* action : commands->actions()) {
        shown.push_back(Text(action->toolTip()));
        EXPECT_FALSE(action->icon().pixmap(20, 20).isNull()) << Text(action->toolTip());
    }
    EXPECT_EQ(shown, hints);

    auto* file = Find<QMenu>(*window, "fileMenu");
    EXPECT_EQ(Text(file->title()), "&File");
    struct Item {
        std::string caption;
        QKeySequence shortcut;
    };
    const std::vector<Item> items {
        { "&Paste e-mail", QKeySequence(Qt::CTRL | Qt::Key_E) },
        { "&Paste e-mail hard", QKeySequence(Qt::CTRL | Qt::Key_R) },
        { "&Delete tab", QKeySequence(Qt::CTRL | Qt::Key_F4) },
        { "&Close", QKeySequence() },
    };
    ASSERT_EQ(file->actions().size(), static_cast<qsizetype>(items.size()));
    for (size_t i = 0; i < items.size(); ++i) {
        SCOPED_TRACE(items[i].caption);
        EXPECT_EQ(Text(file->actions()[static_cast<qsizetype>(i)]->text()), items[i].caption);
        EXPECT_EQ(file->actions()[static_cast<qsizetype>(i)]->shortcut(), items[i].shortcut);
    }
}

TEST_F(InvestigationWindowTest, EachCommandOpensItsTabAndShowsItsResult)
{
    ScriptedTcpServer server(PeerScript().ReadLine().Send("first\r\nsecond\n"));
    config.WhoisPort = server.Port();
    auto window = MakeWindow();
    window->show();
    auto* url = Find<QLineEdit>(*window, "urlEdit");
    auto* tabs = Find<QTabWidget>(*window, "resultTabs");
    auto* status = Find<QLabel>(*window, "statusText");

    url->setText("not.an.address");
    Trigger(*window, "reverseDnsAction");
    ASSERT_EQ(tabs->count(), 1);
    EXPECT_EQ(Text(tabs->tabText(0)), "rDNS");
    auto* text = qobject_cast<QPlainTextEdit*>(tabs->currentWidget());
    ASSERT_NE(text, nullptr);
    EXPECT_EQ(Text(text->toPlainText()), "not.an.address is not an IP address.");
    EXPECT_EQ(text->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(Text(status->text()), "Disconnected");

    url->setText("127.0.0.1");
    Find<QComboBox>(*window, "serverBox")->setEditText("127.0.0.1");
    Trigger(*window, "whoisAction");
    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->currentIndex(), 1);
    auto* answer = qobject_cast<QPlainTextEdit*>(tabs->currentWidget());
    ASSERT_NE(answer, nullptr);
    EXPECT_EQ(Text(answer->toPlainText()), "first\nsecond\n") << "one line break for CR CR LF and for CR LF";

    url->setText("nowhere.invalid");
    Trigger(*window, "traceAction");
    ASSERT_EQ(tabs->count(), 3);
    EXPECT_EQ(Text(tabs->tabText(2)), "TraceRoute");
    auto* list = qobject_cast<QTreeWidget*>(tabs->currentWidget());
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(list->topLevelItemCount(), 0);
    const std::vector<std::string> captions { "Hop #", "IP", "Note", "rDNS" };
    const int widths[] = { 50, 100, 125, 175 };
    for (int column = 0; column < 4; ++column) {
        EXPECT_EQ(Text(list->headerItem()->text(column)), captions[static_cast<size_t>(column)]);
        EXPECT_EQ(list->columnWidth(column), widths[column]);
    }
    EXPECT_EQ(Text(status->text()), "Disconnected");
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(InvestigationWindowTest, AFailingCommandGoesToTheGeneralErrorHandler)
{
    registries.Refuse(Registry::Ripe);
    auto window = MakeWindow();
    Find<QLineEdit>(*window, "urlEdit")->setText("127.0.0.1");
    Find<QComboBox>(*window, "serverBox")->setEditText(QString::fromStdString(registries.Host(Registry::Ripe)));

    Trigger(*window, "whoisAction");

    EXPECT_EQ(ui.errors, (std::vector<std::string> { "Socket Error # 10061\r\nConnection refused." }));
    EXPECT_EQ(Text(Find<QLabel>(*window, "statusText")->text()),
              "Searching " + registries.Host(Registry::Ripe) + "...");
}

TEST_F(InvestigationWindowTest, DeleteTabRemovesTheTabTheUserPicked)
{
    auto window = MakeWindow();
    auto* url = Find<QLineEdit>(*window, "urlEdit");
    auto* tabs = Find<QTabWidget>(*window, "resultTabs");
    for (const char* text : { "a", "b", "c" }) {
        url->setText(text);
        Trigger(*window, "reverseDnsAction");
    }

    tabs->setCurrentIndex(0);
    Trigger(*window, "deleteTabAction");

    ASSERT_EQ(tabs->count(), 2);
    EXPECT_EQ(tabs->currentIndex(), 0) << "the tab after the deleted one";
    EXPECT_EQ(Text(qobject_cast<QPlainTextEdit*>(tabs->widget(0))->toPlainText()), "b is not an IP address.");
    EXPECT_EQ(window->Controller().TabCount(), 2);

    Trigger(*window, "deleteTabAction");
    Trigger(*window, "deleteTabAction");
    Trigger(*window, "deleteTabAction");
    EXPECT_EQ(tabs->count(), 0);
    EXPECT_EQ(window->Controller().TabCount(), 0);
}

TEST_F(InvestigationWindowTest, PasteCommandsTakeTheClipboard)
{
    auto window = MakeWindow();
    recipients = "a@one.example";
    QGuiApplication::clipboard()->setText(" b@two.example\r\n");

    Trigger(*window, "pasteEmailAction");
    EXPECT_EQ(recipients, "a@one.example,b@two.example");

    Trigger(*window, "pasteEmailHardAction");
    EXPECT_EQ(recipients, "b@two.example");
}

TEST_F(InvestigationWindowTest, ClosedWhileACommandWaitsItHidesAndTheCloseCompletesAfterwards)
{
    registries.Answer(Registry::Arin, "193.0.0.1", whois_text::ArinRipeRange("193.0.0.0 - 193.255.255.255"));
    registries.Answer(Registry::Ripe, "193.0.0.1", "found\n");
    auto window = MakeWindow();
    int closed = 0;
    window->Controller().onClosed = [&closed] { ++closed; };
    window->show();
    Find<QLineEdit>(*window, "urlEdit")->setText("193.0.0.1");
    bool closedMeanwhile = true;
    ui.onPendingInput = [&, calls = 0]() mutable {
        if (++calls == 2) {
            window->close();
            closedMeanwhile = closed > 0;
        }
    };

    Trigger(*window, "magicWhoisAction");

    EXPECT_FALSE(window->isVisible());
    EXPECT_FALSE(closedMeanwhile);
    EXPECT_EQ(closed, 1);
    EXPECT_EQ(Find<QTabWidget>(*window, "resultTabs")->count(), 0);
    EXPECT_EQ(registries.QueriesTo(Registry::Ripe), std::vector<std::string> { "193.0.0.1" });
}

// The windowed program: the mailer's session creates the window for its
// contact search, and the Netvane command shows it.
class InvestigationHookupTest : public ::testing::Test {
protected:
    InvestigationHookupTest()
        : xdg("XDG_CONFIG_HOME", home.Path().c_str())
        , mailer(program.Path())
    {
        mailer.Start();
        registries.Configure(mailer.Settings());
        InstallInvestigationWindow(
            mailer, { [this] { return recipients; }, [this](const std::string& text) { recipients = text; } });
    }

    ~InvestigationHookupTest() override
    {
        mailer.Shutdown();
        FlushDeletions();
    }

    static void FlushDeletions() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

    static std::vector<InvestigationWindow*> Windows()
    {
        std::vector<InvestigationWindow*> windows;
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            if (auto* window = qobject_cast<InvestigationWindow*>(widget))
                windows.push_back(window);
        }
        return windows;
    }

    TempDir program;
    TempDir home;
    ScopedEnv xdg;
    LoopbackRegistries registries;
    RecordingUi ui;
    MailerController mailer;
    std::string recipients;
};

TEST_F(InvestigationHookupTest, TheHiddenWindowTheSearchCreatedIsTheOneShown)
{
    ContactSearch& search = mailer.Session().Search();
    ASSERT_EQ(Windows().size(), 1u);
    QPointer<InvestigationWindow> window = Windows()[0];
    EXPECT_FALSE(window->isVisible()) << "created hidden";
    EXPECT_EQ(window->Controller().SearchPointer().get(), &search);

    registries.Refuse(Registry::Arin);
    EXPECT_FALSE(mailer.Session().IsIanaReserved("62.4.17.7"));
    EXPECT_TRUE(
        Text(window->findChild<QLabel*>("statusText")->text()).ends_with(": Socket Error # 10061 Connection refused."))
        << "the search writes into the window's status line";

    mailer.showInvestigation("192.0.2.7");

    EXPECT_EQ(Windows().size(), 1u);
    EXPECT_TRUE(window->isVisible());
    EXPECT_EQ(window->Url(), "192.0.2.7");
    EXPECT_EQ(mailer.Session().SearchReference().Get(), &search);
}

TEST_F(InvestigationHookupTest, ClosingDestroysTheWindowAndTheNextUserGetsAFreshOne)
{
    mailer.showInvestigation("192.0.2.7");
    QPointer<InvestigationWindow> first = Windows().at(0);
    first->SetUrl("x");
    first->Controller().RunReverseDns();
    first->Controller().RunReverseDns();

    first->close();
    FlushDeletions();

    EXPECT_TRUE(first.isNull());
    EXPECT_FALSE(mailer.Session().SearchReference());
    EXPECT_TRUE(Windows().empty());

    mailer.showInvestigation("198.51.100.9");
    ASSERT_EQ(Windows().size(), 1u);
    InvestigationWindow* second = Windows()[0];
    EXPECT_TRUE(second->isVisible());
    EXPECT_EQ(second->Url(), "198.51.100.9");
    EXPECT_EQ(second->Server(), mailer.Settings().DefaultWhoisHost);
    EXPECT_EQ(second->Controller().TabCount(), 0);
}

TEST_F(InvestigationHookupTest, ClosedDuringTheMailersChaseTheWindowGoesOnlyAfterTheChase)
{
    registries.Answer(Registry::Arin, "193.0.0.1", whois_text::ArinRipeRange("193.0.0.0 - 193.255.255.255"));
    registries.Answer(Registry::Ripe, "193.0.0.1", "found\n");
    mailer.showInvestigation("193.0.0.1");
    QPointer<InvestigationWindow> window = Windows().at(0);
    ui.onPendingInput = [&] {
        if (window) {
            window->close();
            FlushDeletions();
        }
    };

    std::string answer = mailer.Session().Search().ChaseRegistries("193.0.0.1", WhoisDetail::Brief);

    EXPECT_EQ(answer, "found\r\n");
    FlushDeletions();
    EXPECT_TRUE(window.isNull());
    EXPECT_FALSE(mailer.Session().SearchReference());
}

TEST_F(InvestigationHookupTest, ThePasteCommandsFillTheMailersRecipients)
{
    mailer.showInvestigation("192.0.2.7");
    recipients = "a@one.example";
    QGuiApplication::clipboard()->setText("b@two.example");

    Windows().at(0)->findChild<QAction*>("pasteEmailAction")->trigger();

    EXPECT_EQ(recipients, "a@one.example,b@two.example");
}

TEST_F(InvestigationHookupTest, TheMailerShuttingDownTakesTheWindowWithIt)
{
    mailer.showInvestigation("192.0.2.7");
    QPointer<InvestigationWindow> window = Windows().at(0);

    mailer.Shutdown();
    EXPECT_FALSE(window->isVisible());
    FlushDeletions();

    EXPECT_TRUE(window.isNull());
}

} // namespace
} // namespace morvanta::test
