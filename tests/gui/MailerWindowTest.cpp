#include "mailer/gui/MailerWindow.h"

#include "app/gui/HelpWindow.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/TestFiles.h"

#include <QAction>
#include <QApplication>
#include <QTimer>
#include <QClipboard>
#include <QComboBox>
#include <QDropEvent>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QScreen>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBrowser>
#include <QToolBar>
#include <QToolButton>
#include <QUrl>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <memory>
#include <string>
#include <vector>

using namespace morvanta;
using namespace morvanta::test;

namespace {

using Lines = std::vector<std::string>;

class MailerWindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        WriteFile(program / "Morvanta.html", ReadFile(std::string(MORVANTA_PROGRAM_DIR) + "/Morvanta.html"));
        controller.Start();
        window = std::make_unique<MailerWindow>(controller);
    }

    void TearDown() override
    {
        window->close();
        window.reset();
    }

    void ShowActive()
    {
        window->show();
        window->activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(window.get()));
    }

    template <typename T> T* Find(const char* name) const
    {
        T* found = window->findChild<T*>(name);
        EXPECT_NE(found, nullptr) << name;
        return found;
    }

    QPlainTextEdit* MessageBox() const { return Find<QPlainTextEdit>("messageEdit"); }

    // Drags the files onto the message box and drops them there.
    void DropFiles(const std::vector<std::string>& paths)
    {
        QMimeData data;
        QList<QUrl> urls;
        for (const std::string& path : paths)
            urls.append(QUrl::fromLocalFile(QString::fromStdString(path)));
        data.setUrls(urls);
        QWidget* target = MessageBox()->viewport();
        const QPoint at = target->rect().center();
        QDragEnterEvent enter(at, Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &enter);
        ASSERT_TRUE(enter.isAccepted());
        QDropEvent drop(QPointF(at), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(target, &drop);
        EXPECT_TRUE(drop.isAccepted());
    }

    TempDir program;
    TempDir user;
    ScopedEnv xdg { "XDG_CONFIG_HOME", user.Path().c_str() };
    RecordingUi ui;
    MailerController controller { program.Path() };
    std::unique_ptr<MailerWindow> window;
};

TEST_F(MailerWindowTest, OpensTitledCentredAtItsDefaultSize)
{
    window->show();
    QApplication::processEvents();

    EXPECT_EQ(window->windowTitle().toStdString(), "Morvanta Mailer");
    EXPECT_EQ(window->width(), 678);
    EXPECT_EQ(window->height() - window->menuBar()->height(), 435);
    const QPoint screenCentre = window->screen()->availableGeometry().center();
    EXPECT_LE((window->geometry().center() - screenCentre).manhattanLength(), 2);
}

TEST_F(MailerWindowTest, MenusHoldTheirItemsWithCaptionsAndShortcuts)
{
    struct Item {
        const char* caption; // empty: a separator
        const char* shortcut;
        bool visible;
    };
    struct Case {
        const char* menu;
        const char* title;
        std::vector<Item> items;
    };
    const Case cases[] = {
        { "mailMenu", "&Mail", { { "&Send report", "Ctrl+S", true }, { "&Bulk report", "Ctrl+B", true } } },
        { "toolsMenu",
          "&Tools",
          {
              { "&Netvane", "", true },
              { "&URL launcher", "Ctrl+L", true },
              { "&Find complaint emails", "Ctrl+F", true },
              { "Find &harder", "F3", true },
              { "Add to bl&acklist", "Alt+A", true },
              { "Add to bl&ocklist", "Alt+O", true },
              { "Edit &blacklist", "", false },
              { "A&pply blacklist", "", false },
              { "Fix emails", "", false },
          } },
        { "helpMenu",
          "&Help",
          { { "&How to use Morvanta", "", true },
            { "&Morvanta on the web", "", true },
            { "", "", true },
            { "About", "", true } } },
    };

    std::vector<std::string> titles;
    for (QAction* action : window->menuBar()->actions())
        titles.push_back(action->text().toStdString());
    EXPECT_EQ(titles, (std::vector<std::string> { "&Mail", "&Tools", "&Help" }));

    for (const Case& c : cases) {
        SCOPED_TRACE(c.menu);
        QMenu* menu = Find<QMenu>(c.menu);
        ASSERT_NE(menu, nullptr);
        EXPECT_EQ(menu->title().toStdString(), c.title);
        const QList<QAction*> actions = menu->actions();
        ASSERT_EQ(actions.size(), static_cast<qsizetype>(c.items.size()));
        for (qsizetype i = 0; i < actions.size(); ++i) {
            const Item& item = c.items[static_cast<size_t>(i)];
            SCOPED_TRACE(item.caption);
            EXPECT_EQ(actions[i]->isSeparator(), std::string(item.caption).empty());
            EXPECT_EQ(actions[i]->text().toStdString(), item.caption);
            EXPECT_EQ(actions[i]->shortcut().toString(QKeySequence::PortableText).toStdString(), item.shortcut);
            EXPECT_EQ(actions[i]->isVisible(), item.visible);
        }
    }
}

// Records which action a key reached, and keeps the command from running.
class ShortcutRecorder : public QObject {
public:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() != QEvent::Shortcut)
            return false;
        reached.push_back(watched->objectName().toStdString());
        return true;
    }
    std::vector<std::string> reached;
};

TEST_F(MailerWindowTest, ShortcutsReachTheirCommandsFromEveryField)
{
    ShowActive();
    struct Case {
        QKeyCombination key;
        const char* action;
    };
    const Case cases[] = {
        { Qt::CTRL | Qt::Key_S, "sendReportAction" },        { Qt::CTRL | Qt::Key_B, "bulkReportAction" },
        { Qt::CTRL | Qt::Key_L, "urlLauncherAction" },       { Qt::CTRL | Qt::Key_F, "findComplaintEmailsAction" },
        { QKeyCombination(Qt::Key_F3), "findHarderAction" }, { Qt::ALT | Qt::Key_A, "addToBlacklistAction" },
        { Qt::ALT | Qt::Key_O, "addToBlocklistAction" },     { QKeyCombination(Qt::Key_F1), "contextHelpAction" },
    };
    ShortcutRecorder recorder;
    for (QAction* action : window->findChildren<QAction*>())
        action->installEventFilter(&recorder);

    for (const char* field : { "recipientsEdit", "subjectEdit", "attachmentEdit", "templateList", "messageEdit" }) {
        SCOPED_TRACE(field);
        Find<QWidget>(field)->setFocus(Qt::OtherFocusReason);
        for (const Case& c : cases) {
            SCOPED_TRACE(c.action);
            recorder.reached.clear();
            QTest::keyClick(QApplication::focusWidget(), c.key.key(), c.key.keyboardModifiers());
            EXPECT_EQ(recorder.reached, std::vector<std::string> { c.action });
        }
    }
}

TEST_F(MailerWindowTest, ToolButtonsRunTheMenuCommandsWithTheirHintsAndPictures)
{
    struct Button {
        const char* hint; // empty: a separator
        const char* action;
    };
    const Button expected[] = {
        { "Send report", "sendReportAction" },
        { "Bulk report", "bulkReportAction" },
        { "", "" },
        { "Netvane", "netvaneAction" },
        { "URL Launcher", "urlLauncherAction" },
        { "Find Complaint E-mails", "findComplaintEmailsAction" },
        { "Find Harder", "findHarderAction" },
        { "", "" },
        { "Help", "howToUseAction" },
    };
    QToolBar* toolBar = Find<QToolBar>("toolBar");
    ASSERT_NE(toolBar, nullptr);
    const QList<QAction*> actions = toolBar->actions();
    ASSERT_EQ(actions.size(), static_cast<qsizetype>(std::size(expected)));
    for (qsizetype i = 0; i < actions.size(); ++i) {
        const Button& button = expected[i];
        SCOPED_TRACE(button.hint);
        if (std::string(button.hint).empty()) {
            EXPECT_TRUE(actions[i]->isSeparator());
            continue;
        }
        auto* toolButton = qobject_cast<QToolButton*>(toolBar->widgetForAction(actions[i]));
        ASSERT_NE(toolButton, nullptr);
        EXPECT_EQ(toolButton->toolTip().toStdString(), button.hint);
        EXPECT_EQ(toolButton->defaultAction()->objectName().toStdString(), button.action);

        // The picture must really draw: a missing image plugin gives an
        // empty one.
        const QImage picture = toolButton->icon().pixmap(QSize(16, 16)).toImage();
        ASSERT_FALSE(picture.isNull());
        int opaque = 0;
        for (int y = 0; y < picture.height(); ++y) {
            for (int x = 0; x < picture.width(); ++x)
                opaque += qAlpha(picture.pixel(x, y)) > 0;
        }
        EXPECT_GT(opaque, 20);
    }
}

TEST_F(MailerWindowTest, TabVisitsTheToolBarThenTheFieldsAndSkipsTheInfoBox)
{
    ShowActive();
    const std::vector<std::string> expected = {
        "sendReportButton",
        "bulkReportButton",
        "netvaneButton",
        "urlLauncherButton",
        "findComplaintEmailsButton",
        "findHarderButton",
        "helpButton",
        "recipientsEdit",
        "subjectEdit",
        "ccEdit",
        "bccEdit",
        "attachmentEdit",
        "browseAttachmentButton",
        "templateList",
        "messageEdit",
        "sendReportButton",
    };
    // The box whose part has the focus (an editable combo box focuses its line edit).
    auto focusedField = [] {
        QWidget* focused = QApplication::focusWidget();
        while (focused && focused->objectName().isEmpty())
            focused = focused->parentWidget();
        if (focused && focused->objectName() == "recipientsLineEdit")
            focused = focused->parentWidget();
        return focused ? focused->objectName().toStdString() : std::string("(none)");
    };

    Find<QWidget>("sendReportButton")->setFocus(Qt::TabFocusReason);
    std::vector<std::string> visited { focusedField() };
    for (size_t i = 1; i < expected.size(); ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        visited.push_back(focusedField());
    }
    EXPECT_EQ(visited, expected);

    QPlainTextEdit* info = Find<QPlainTextEdit>("infoEdit");
    EXPECT_EQ(info->toolTip().toStdString(), "This memo shows info messages");
    EXPECT_TRUE(info->isReadOnly());
}

TEST_F(MailerWindowTest, TextFieldsRoundTripThroughTheirWidgets)
{
    struct Field {
        const char* widget;
        void (MailerView::*set)(const std::string&);
        std::string (MailerView::*get)() const;
    };
    const Field fields[] = {
        { "recipientsEdit", &MailerView::SetRecipients, &MailerView::Recipients },
        { "subjectEdit", &MailerView::SetSubject, &MailerView::Subject },
        { "ccEdit", &MailerView::SetCc, &MailerView::Cc },
        { "bccEdit", &MailerView::SetBcc, &MailerView::Bcc },
        { "attachmentEdit", &MailerView::SetAttachmentPath, &MailerView::AttachmentPath },
    };
    struct Value {
        const char* name;
        std::string text;
    };
    const Value values[] = {
        { "plain", "abuse@example.net,noc@example.org" },
        { "UTF-8", "\"Gr\xc3\xbc\xc3\x9f"
                   "e, Team\" <abuse@example.net>" },
        { "longer than a line edit's default limit", std::string(40000, 'a') + "@example.net" },
        { "empty", "" },
    };
    MailerView& view = *window;
    for (const Field& field : fields) {
        SCOPED_TRACE(field.widget);
        QWidget* widget = Find<QWidget>(field.widget);
        for (const Value& value : values) {
            SCOPED_TRACE(value.name);
            (view.*field.set)(value.text);
            EXPECT_EQ((view.*field.get)(), value.text);
            const QString shown = qobject_cast<QComboBox*>(widget) ? qobject_cast<QComboBox*>(widget)->currentText()
                                                                   : qobject_cast<QLineEdit*>(widget)->text();
            EXPECT_EQ(shown, QString::fromUtf8(value.text));
        }
    }
}

TEST_F(MailerWindowTest, RecipientHistoryIsTheDropDownListAndKeepsTheTypedText)
{
    MailerView& view = *window;
    view.SetRecipients("typed@example.net");
    view.SetRecipientHistory({ "new@example.net", "old@example.net,other@example.org" });

    auto* box = Find<QComboBox>("recipientsEdit");
    ASSERT_EQ(box->count(), 2);
    EXPECT_EQ(box->itemText(1).toStdString(), "old@example.net,other@example.org");
    EXPECT_EQ(view.RecipientHistory(), (Lines { "new@example.net", "old@example.net,other@example.org" }));
    EXPECT_EQ(view.Recipients(), "typed@example.net");

    view.SetRecipientHistory({});
    EXPECT_EQ(box->count(), 0);
    EXPECT_EQ(view.Recipients(), "typed@example.net");
}

TEST_F(MailerWindowTest, MessageLinesRoundTripThroughTheMessageBox)
{
    const Lines cases[] = {
        {},
        { "Received: from a", "Subject: b", "", "body" },
        { "one line" },
        { "" },
        { "ends with an empty line", "" },
        { "", "", "" },
        { "non-breaking\xc2\xa0space", "tab\there" },
    };
    MailerView& view = *window;
    for (const Lines& lines : cases) {
        SCOPED_TRACE(lines.empty() ? "no lines" : lines.front());
        view.SetMessageLines(lines);
        EXPECT_EQ(view.MessageLines(), lines);
    }
}

TEST_F(MailerWindowTest, MessageBoxSplitsAtEveryKindOfLineEnd)
{
    struct Case {
        const char* name;
        QString text;
        Lines expected;
    };
    const Case cases[] = {
        { "CR LF", "a\r\nb\r\n", { "a", "b" } },
        { "LF", "a\nb\n", { "a", "b" } },
        { "CR", "a\rb\r", { "a", "b" } },
        { "mixed, no final line end", "a\r\nb\nc\rd", { "a", "b", "c", "d" } },
        { "line separator", QString("a") + QChar(QChar::LineSeparator) + "b", { "a", "b" } },
    };
    MailerView& view = *window;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MessageBox()->setPlainText(c.text);
        EXPECT_EQ(view.MessageLines(), c.expected);

        // The same text pasted into the empty box.
        MessageBox()->clear();
        QApplication::clipboard()->setText(c.text);
        MessageBox()->paste();
        EXPECT_EQ(view.MessageLines(), c.expected);
    }
}

TEST_F(MailerWindowTest, TemplateListShowsTheNamesAndTheSelection)
{
    MailerView& view = *window;
    view.SetTemplateNames({ "VirusReport.txt", "SpamReport.txt" });
    auto* list = Find<QListWidget>("templateList");
    ASSERT_EQ(list->count(), 2);
    EXPECT_EQ(list->item(1)->text().toStdString(), "SpamReport.txt");
    EXPECT_EQ(view.SelectedTemplate(), -1);

    view.SelectTemplate(1);
    EXPECT_EQ(view.SelectedTemplate(), 1);
    EXPECT_TRUE(list->item(1)->isSelected());

    view.SelectTemplate(-1);
    EXPECT_EQ(view.SelectedTemplate(), -1);
    EXPECT_TRUE(list->selectedItems().isEmpty());

    view.SelectTemplate(5);
    EXPECT_EQ(view.SelectedTemplate(), -1);
}

TEST_F(MailerWindowTest, TabbingThroughTheTemplateListChoosesNothingAndArrowKeysChoose)
{
    ShowActive();
    window->SetTemplateNames({ "VirusReport.txt", "SpamReport.txt" });
    Find<QWidget>("browseAttachmentButton")->setFocus(Qt::TabFocusReason);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
    auto* list = Find<QListWidget>("templateList");
    ASSERT_EQ(QApplication::focusWidget(), list);
    EXPECT_EQ(window->SelectedTemplate(), -1);

    QTest::keyClick(list, Qt::Key_Down);
    QTest::keyClick(list, Qt::Key_Down);
    EXPECT_EQ(window->SelectedTemplate(), 1);
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MailerWindowTest, AClickOnATemplateSelectsIt)
{
    ShowActive();
    window->SetTemplateNames({ "VirusReport.txt", "SpamReport.txt" });
    auto* list = Find<QListWidget>("templateList");
    QTest::mouseClick(list->viewport(), Qt::LeftButton, Qt::NoModifier, list->visualItemRect(list->item(1)).center());
    EXPECT_EQ(window->SelectedTemplate(), 1);
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MailerWindowTest, InfoBoxAndStatusBarShowTheirTexts)
{
    MailerView& view = *window;
    view.AppendInfo("Connecting to mail...");
    view.AppendInfo("Socket Error # 10061\r\nConnection refused.");
    EXPECT_EQ(Find<QPlainTextEdit>("infoEdit")->toPlainText().toStdString(),
              "Connecting to mail...\nSocket Error # 10061\nConnection refused.");
    view.ClearInfo();
    EXPECT_TRUE(Find<QPlainTextEdit>("infoEdit")->toPlainText().isEmpty());

    view.SetStatus("Finished 198.51.100.7 report");
    EXPECT_EQ(Find<QLabel>("statusText")->text().toStdString(), "Finished 198.51.100.7 report");
}

TEST_F(MailerWindowTest, LongTextsDoNotWidenTheWindow)
{
    window->show();
    QApplication::processEvents();
    const int width = window->width();
    window->SetStatus("Searching whois contacts for " + std::string(3000, 'x'));
    window->SetRecipientHistory({ std::string(3000, 'a') + "@example.net" });
    window->SetRecipients(std::string(3000, 'b') + "@example.net");
    window->SetTemplateNames({ std::string(300, 'T') + "Report.txt" });
    window->SetMessageLines({ std::string(3000, 'm') });
    QApplication::processEvents();
    EXPECT_EQ(window->width(), width);
    EXPECT_LE(window->minimumSizeHint().width(), width);
}

TEST_F(MailerWindowTest, DoubleClickOrCtrlAWithAnyModifierSelectsTheWholeMessage)
{
    ShowActive();
    window->SetMessageLines({ "first line", "second line" });
    QPlainTextEdit* box = MessageBox();
    const QString whole = box->toPlainText();

    QTest::mouseDClick(box->viewport(), Qt::LeftButton, Qt::NoModifier, QPoint(5, 5));
    EXPECT_EQ(box->textCursor().selectedText().size(), whole.size());

    const Qt::KeyboardModifiers modifiers[] = {
        Qt::ControlModifier,
        Qt::ControlModifier | Qt::ShiftModifier,
        Qt::ControlModifier | Qt::AltModifier,
    };
    for (Qt::KeyboardModifiers held : modifiers) {
        SCOPED_TRACE(static_cast<int>(held));
        box->moveCursor(QTextCursor::Start);
        ASSERT_FALSE(box->textCursor().hasSelection());
        box->setFocus();
        QTest::keyClick(box, Qt::Key_A, held);
        EXPECT_EQ(box->textCursor().selectedText().size(), whole.size());
    }
}

TEST_F(MailerWindowTest, ADroppedSavedMessageReplacesTheMessageBoxLineByLine)
{
    window->SetMessageLines({ "what was there before" });
    WriteFile(program / "spam.eml", "Received: from x (198.51.100.7)\r\nSubject: hi\r\n\r\nbody\nmore\rlast");

    DropFiles({ program / "spam.eml" });

    EXPECT_EQ(window->MessageLines(),
              (Lines { "Received: from x (198.51.100.7)", "Subject: hi", "", "body", "more", "last" }));
    EXPECT_TRUE(ui.messages.empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MailerWindowTest, ADroppedBinaryFileLoadsWithoutHarm)
{
    std::string binary;
    for (int i = 0; i < 4096; ++i)
        binary += static_cast<char>(i * 37 % 256);
    WriteFile(program / "image.bin", binary);

    DropFiles({ program / "image.bin" });

    EXPECT_FALSE(window->MessageLines().empty());
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MailerWindowTest, DropsThatCannotBeLoadedAreRefusedAndKeepTheMessage)
{
    const std::string fifo = program / "pipe";
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    WriteFile(program / "a.eml", "a");
    WriteFile(program / "b.eml", "b");
    struct Case {
        const char* name;
        std::vector<std::string> paths;
        std::string message;
    };
    const Case cases[] = {
        { "FIFO", { fifo }, fifo + " is not a regular file; only a saved message can be loaded." },
        { "folder",
          { program.Path() + "." },
          program.Path() + ". is not a regular file; only a saved message can be loaded." },
        { "two files", { program / "a.eml", program / "b.eml" }, "Drop one saved message at a time." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ui.messages.clear();
        window->SetMessageLines({ "kept" });
        DropFiles(c.paths);
        EXPECT_EQ(window->MessageLines(), Lines { "kept" });
        ASSERT_EQ(ui.messages.size(), 1u);
        EXPECT_EQ(ui.messages[0].text, c.message);
        EXPECT_EQ(ui.messages[0].icon, MessageIcon::Warning);
    }
}

TEST_F(MailerWindowTest, F1OpensHelpAtTheWindowsTopicAndHelpCommandsAtTheContents)
{
    ShowActive();
    QTest::keyClick(window.get(), Qt::Key_F1);
    HelpWindow* help = window->Help();
    ASSERT_NE(help, nullptr);
    EXPECT_TRUE(help->isVisible());
    QTextBrowser* browser = help->Browser();
    EXPECT_EQ(browser->source().fileName().toStdString(), "Morvanta.html");
    EXPECT_EQ(browser->source().fragment().toStdString(), MailerWindow::HelpTopic);
    // The anchor exists and is below the first screen: the page scrolled.
    const int topicPosition = browser->verticalScrollBar()->value();
    EXPECT_GT(topicPosition, 0);

    help->close();
    Find<QAction>("howToUseAction")->trigger();
    EXPECT_TRUE(help->isVisible());
    EXPECT_EQ(browser->source().fragment().toStdString(), MailerWindow::HelpContents);
    EXPECT_LT(browser->verticalScrollBar()->value(), topicPosition / 2);

    // The tool button opens the same contents.
    help->close();
    QTest::mouseClick(Find<QToolButton>("helpButton"), Qt::LeftButton);
    EXPECT_TRUE(help->isVisible());
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(MailerWindowTest, HelpWithoutItsFileSaysSo)
{
    std::remove((program / "Morvanta.html").c_str());
    Find<QAction>("contextHelpAction")->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, program / "Morvanta.html" + " does not exist.");
    EXPECT_FALSE(window->Help() && window->Help()->isVisible());
}

TEST_F(MailerWindowTest, AboutShowsTheProgramAndItsVersion)
{
    Find<QAction>("aboutAction")->trigger();
    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Morvanta\n\nVersion 2.001");
    EXPECT_EQ(ui.messages[0].title, "Morvanta");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
}

TEST_F(MailerWindowTest, ClosingWritesTheUserSettings)
{
    window->show();
    QApplication::processEvents();
    controller.Settings().LastBulkReportPath = "/chosen/";
    EXPECT_TRUE(window->close());
    QApplication::processEvents();

    EXPECT_FALSE(window->isVisible());
    EXPECT_NE(ReadFile(user / "Morvanta/Morvanta.ini").find("LastBulkReportPath=/chosen/"), std::string::npos);
    EXPECT_TRUE(ui.errors.empty());
}

TEST_F(MailerWindowTest, ClosingEndsTheProgramWhileAnotherWindowIsOpen)
{
    window->show();
    QWidget browser;
    browser.show();
    bool closedByTheMailer = false;
    QTimer::singleShot(0, [&] { closedByTheMailer = window->close(); });
    // Should the close not end the event loop, this does, and the test fails.
    QTimer::singleShot(5000, [] { QCoreApplication::exit(1); });
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_TRUE(closedByTheMailer);
    EXPECT_FALSE(browser.isVisible()) << "the other windows close with the program";
}

} // namespace
