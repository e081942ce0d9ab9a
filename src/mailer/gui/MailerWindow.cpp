#include "mailer/gui/MailerWindow.h"

#include "app/gui/CommandGuard.h"
#include "app/gui/HelpWindow.h"
#include "app/gui/QtText.h"
#include "base/Text.h"
#include "base/UiServices.h"
#include "mailer/SavedMessage.h"
#include "mailer/gui/MessageEdit.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>
#include <QScreen>
#include <QStatusBar>
#include <QStyle>
#include <QTimer>
#include <QToolBar>
#include <QToolButton>
#include <QVBoxLayout>

#include <limits>

namespace morvanta {

namespace {

// The client area at the default font and 100% scaling.
constexpr int DefaultClientWidth = 678;
constexpr int DefaultClientHeight = 435;

// Text lines the info box shows; characters the template list is wide.
constexpr int InfoLines = 4;
constexpr int TemplateListCharacters = 17;

QIcon CommandIcon(const char* themeName, const char* fallback)
{
    return QIcon::fromTheme(themeName, QIcon(QString(":/icons/") + fallback + ".svg"));
}

// Line edits hold 32767 characters unless told otherwise; a long list of
// addresses must never be cut short without a word.
void AllowAnyLength(QLineEdit* edit)
{
    edit->setMaxLength(std::numeric_limits<int>::max());
}

QLineEdit* MakeLineEdit(const char* objectName, QWidget* parent)
{
    auto* edit = new QLineEdit(parent);
    edit->setObjectName(objectName);
    AllowAnyLength(edit);
    return edit;
}

QLabel* MakeLabel(const QString& text, QWidget* buddy, QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

MailerWindow::MailerWindow(MailerController& controller, QWidget* parent)
    : QMainWindow(parent)
    , controller_(controller)
{
    setObjectName("mailerWindow");
    setWindowTitle("Morvanta Mailer");
    setWindowIcon(QIcon::fromTheme("morvanta", QIcon(":/icons/morvanta.svg")));

    BuildActions();
    BuildMenus();
    BuildToolBar();
    BuildFields();
    SetTabOrder();

    statusText_ = new QLabel(this);
    statusText_->setObjectName("statusText");
    statusText_->setTextFormat(Qt::PlainText);
    // A long status text must not widen the window.
    statusText_->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    statusBar()->setObjectName("statusBar");
    statusBar()->addWidget(statusText_, 1);

    connect(qApp, &QApplication::focusChanged, this, &MailerWindow::OnFocusChanged);
    controller_.AttachView(*this);

    FitToFont();
    resize(DefaultClientWidth, DefaultClientHeight + menuBar()->sizeHint().height());
    PlaceOnScreen();
}

MailerWindow::~MailerWindow()
{
    // The fields go before this object does; focus moving among them then
    // must not reach a half-destroyed window.
    disconnect(qApp, nullptr, this, nullptr);
}

template <typename Command>
QAction* MailerWindow::AddCommand(const char* objectName, const QString& caption, Command command)
{
    auto* action = new QAction(caption, this);
    action->setObjectName(objectName);
    connect(action, &QAction::triggered, this, [command = std::move(command)] { RunGuarded(command); });
    return action;
}

void MailerWindow::BuildActions()
{
    MailerController& c = controller_;
    sendReportAction_ = AddCommand("sendReportAction", "&Send report", [&c] { c.SendReport(); });
    sendReportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_S));
    sendReportAction_->setToolTip("Send report");
    sendReportAction_->setIcon(CommandIcon("mail-send", "send-report"));

    bulkReportAction_ = AddCommand("bulkReportAction", "&Bulk report", [&c] { c.BulkReport(); });
    bulkReportAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_B));
    bulkReportAction_->setToolTip("Bulk report");
    bulkReportAction_->setIcon(CommandIcon("mail-send-receive", "bulk-report"));

    netvaneAction_ = AddCommand("netvaneAction", "&Netvane", [&c] { c.OpenInvestigation(); });
    netvaneAction_->setToolTip("Netvane");
    netvaneAction_->setIcon(CommandIcon("network-workgroup", "netvane"));

    urlLauncherAction_ = AddCommand("urlLauncherAction", "&URL launcher", [&c] { c.LaunchUrls(); });
    urlLauncherAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_L));
    urlLauncherAction_->setToolTip("URL Launcher");
    urlLauncherAction_->setIcon(CommandIcon("internet-web-browser", "url-launcher"));

    findComplaintEmailsAction_
        = AddCommand("findComplaintEmailsAction", "&Find complaint emails", [&c] { c.FindComplaintEmails(0); });
    findComplaintEmailsAction_->setShortcut(QKeySequence(Qt::CTRL | Qt::Key_F));
    findComplaintEmailsAction_->setToolTip("Find Complaint E-mails");
    findComplaintEmailsAction_->setIcon(CommandIcon("edit-find", "find-complaint-emails"));

    findHarderAction_ = AddCommand("findHarderAction", "Find &harder", [&c] { c.FindComplaintEmails(2); });
    findHarderAction_->setShortcut(QKeySequence(Qt::Key_F3));
    findHarderAction_->setToolTip("Find Harder");
    findHarderAction_->setIcon(CommandIcon("system-search", "find-harder"));

    addToBlacklistAction_ = AddCommand("addToBlacklistAction", "Add to bl&acklist", [&c] { c.AddToBlacklist(); });
    addToBlacklistAction_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_A));
    addToBlocklistAction_ = AddCommand("addToBlocklistAction", "Add to bl&ocklist", [&c] { c.AddToBlocklist(); });
    addToBlocklistAction_->setShortcut(QKeySequence(Qt::ALT | Qt::Key_O));

    // Kept for the old menu's sake: present, never shown, no shortcut.
    editBlacklistAction_ = AddCommand("editBlacklistAction", "Edit &blacklist", [] {});
    applyBlacklistAction_ = AddCommand("applyBlacklistAction", "A&pply blacklist", [&c] { c.ApplyBlacklist(); });
    fixEmailsAction_ = AddCommand("fixEmailsAction", "Fix emails", [&c] { c.FixEmails(); });
    for (QAction* hidden : { editBlacklistAction_, applyBlacklistAction_, fixEmailsAction_ })
        hidden->setVisible(false);

    howToUseAction_ = AddCommand("howToUseAction", "&How to use Morvanta", [this] { ShowHelp(HelpContents); });
    howToUseAction_->setToolTip("Help");
    howToUseAction_->setIcon(CommandIcon("help-contents", "help"));
    onTheWebAction_ = AddCommand("onTheWebAction", "&Morvanta on the web", [&c] { c.OpenHomePage(); });
    aboutAction_ = AddCommand("aboutAction", "About", [this] { ShowAbout(); });

    contextHelpAction_ = AddCommand("contextHelpAction", "Help", [this] { ShowHelp(HelpTopic); });
    contextHelpAction_->setShortcut(QKeySequence(Qt::Key_F1));
    contextHelpAction_->setShortcutContext(Qt::WindowShortcut);
    addAction(contextHelpAction_);
}

void MailerWindow::BuildMenus()
{
    QMenu* mail = menuBar()->addMenu("&Mail");
    mail->setObjectName("mailMenu");
    mail->addAction(sendReportAction_);
    mail->addAction(bulkReportAction_);

    QMenu* tools = menuBar()->addMenu("&Tools");
    tools->setObjectName("toolsMenu");
    tools->addAction(netvaneAction_);
    tools->addAction(urlLauncherAction_);
    tools->addAction(findComplaintEmailsAction_);
    tools->addAction(findHarderAction_);
    tools->addAction(addToBlacklistAction_);
    tools->addAction(addToBlocklistAction_);
    tools->addAction(editBlacklistAction_);
    tools->addAction(applyBlacklistAction_);
    tools->addAction(fixEmailsAction_);

    QMenu* help = menuBar()->addMenu("&Help");
    help->setObjectName("helpMenu");
    help->addAction(howToUseAction_);
    help->addAction(onTheWebAction_);
    help->addSeparator();
    help->addAction(aboutAction_);
}

void MailerWindow::BuildToolBar()
{
    toolBar_ = new QToolBar("Tool bar", this);
    toolBar_->setObjectName("toolBar");
    toolBar_->setMovable(false);
    toolBar_->setFloatable(false);
    toolBar_->setIconSize(QSize(16, 16));
    toolBar_->setContextMenuPolicy(Qt::PreventContextMenu);
    addToolBar(Qt::TopToolBarArea, toolBar_);

    struct Button {
        QAction* action;
        const char* objectName;
    };
    const Button buttons[] = {
        { sendReportAction_, "sendReportButton" },
        { bulkReportAction_, "bulkReportButton" },
        { nullptr, nullptr },
        { netvaneAction_, "netvaneButton" },
        { urlLauncherAction_, "urlLauncherButton" },
        { findComplaintEmailsAction_, "findComplaintEmailsButton" },
        { findHarderAction_, "findHarderButton" },
        { nullptr, nullptr },
        { howToUseAction_, "helpButton" },
    };
    for (const Button& button : buttons) {
        if (!button.action) {
            toolBar_->addSeparator();
            continue;
        }
        toolBar_->addAction(button.action);
        QWidget* widget = toolBar_->widgetForAction(button.action);
        widget->setObjectName(button.objectName);
        // Reached with the Tab key, as the first stop of the window.
        widget->setFocusPolicy(Qt::TabFocus);
    }
}

void MailerWindow::BuildFields()
{
    auto* central = new QWidget(this);
    central->setObjectName("mailerArea");

    recipientsEdit_ = new QComboBox(central);
    recipientsEdit_->setObjectName("recipientsEdit");
    recipientsEdit_->setEditable(true);
    // The history is the controller's: Return must not add to it.
    recipientsEdit_->setInsertPolicy(QComboBox::NoInsert);
    recipientsEdit_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    recipientsEdit_->setMinimumContentsLength(20);
    recipientsEdit_->lineEdit()->setObjectName("recipientsLineEdit");
    AllowAnyLength(recipientsEdit_->lineEdit());

    subjectEdit_ = MakeLineEdit("subjectEdit", central);
    ccEdit_ = MakeLineEdit("ccEdit", central);
    bccEdit_ = MakeLineEdit("bccEdit", central);
    attachmentEdit_ = MakeLineEdit("attachmentEdit", central);

    browseButton_ = new QToolButton(central);
    browseButton_->setObjectName("browseAttachmentButton");
    browseButton_->setText("...");
    browseButton_->setAccessibleName("Choose the attachment");
    QFont bold = browseButton_->font();
    bold.setBold(true);
    browseButton_->setFont(bold);
    browseButton_->setFocusPolicy(Qt::StrongFocus);
    browseButton_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Preferred);
    connect(browseButton_, &QToolButton::clicked, this,
            [this] { RunGuarded([this] { controller_.BrowseAttachment(); }); });

    templateList_ = new QListWidget(central);
    templateList_->setObjectName("templateList");
    templateList_->setSelectionMode(QAbstractItemView::SingleSelection);
    templateList_->setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Ignored);
    templateList_->viewport()->installEventFilter(this);
    // The keyboard's choice. Not the current row: focusing the list makes
    // its first entry current without choosing it.
    connect(templateList_, &QListWidget::itemSelectionChanged, this, [this] {
        // A click is handled when it ends.
        if (settingTemplates_ || templateMousePress_)
            return;
        if (const int row = SelectedTemplate(); row >= 0)
            RunTemplateSelection(row);
    });
    connect(templateList_, &QListWidget::itemClicked, this, [this](QListWidgetItem* item) {
        templateMousePress_ = false;
        RunTemplateSelection(templateList_->row(item));
    });

    messageEdit_ = new MessageEdit(central);
    messageEdit_->setObjectName("messageEdit");
    messageEdit_->setAccessibleName("Message");
    messageEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    messageEdit_->setTabChangesFocus(true);
    connect(messageEdit_, &MessageEdit::filesDropped, this, &MailerWindow::LoadDroppedFiles);

    infoEdit_ = new QPlainTextEdit(central);
    infoEdit_->setObjectName("infoEdit");
    infoEdit_->setReadOnly(true);
    infoEdit_->setToolTip("This memo shows info messages");
    infoEdit_->setAccessibleName("Info messages");
    infoEdit_->setFocusPolicy(Qt::ClickFocus);
    infoEdit_->setTabChangesFocus(true);
    infoEdit_->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    infoEdit_->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);

    auto* fields = new QGridLayout;
    fields->addWidget(MakeLabel("E-Mails:", recipientsEdit_, central), 0, 0);
    fields->addWidget(recipientsEdit_, 0, 1, 1, 2);
    fields->addWidget(MakeLabel("Subject:", subjectEdit_, central), 1, 0);
    fields->addWidget(subjectEdit_, 1, 1, 1, 2);
    fields->addWidget(MakeLabel("CC:", ccEdit_, central), 2, 0);
    fields->addWidget(ccEdit_, 2, 1, 1, 2);
    fields->addWidget(MakeLabel("BCC:", bccEdit_, central), 3, 0);
    fields->addWidget(bccEdit_, 3, 1, 1, 2);
    fields->addWidget(MakeLabel("Attachment:", attachmentEdit_, central), 4, 0);
    fields->addWidget(attachmentEdit_, 4, 1);
    fields->addWidget(browseButton_, 4, 2);
    // Column 3 stays empty: the template list stands a little apart.
    fields->addWidget(MakeLabel("Message:", templateList_, central), 0, 4, Qt::AlignBottom);
    fields->addWidget(templateList_, 1, 4, 4, 1);
    fields->setColumnStretch(1, 1);
    fields->setColumnMinimumWidth(3, 4);
    fields->setHorizontalSpacing(4);
    fields->setVerticalSpacing(2);

    auto* layout = new QVBoxLayout(central);
    layout->setContentsMargins(8, 6, 8, 6);
    layout->setSpacing(6);
    layout->addLayout(fields);
    layout->addWidget(messageEdit_, 1);
    layout->addWidget(infoEdit_);
    setCentralWidget(central);
}

void MailerWindow::SetTabOrder()
{
    QList<QWidget*> chain;
    for (QAction* action : toolBar_->actions()) {
        if (QWidget* button = toolBar_->widgetForAction(action); button && !action->isSeparator())
            chain.append(button);
    }
    chain << recipientsEdit_ << subjectEdit_ << ccEdit_ << bccEdit_ << attachmentEdit_ << browseButton_ << templateList_
          << messageEdit_;
    for (qsizetype i = 1; i < chain.size(); ++i)
        setTabOrder(chain[i - 1], chain[i]);
}

void MailerWindow::FitToFont()
{
    const QFontMetrics metrics = infoEdit_->fontMetrics();
    const int frame = infoEdit_->frameWidth();
    const int margin = static_cast<int>(infoEdit_->document()->documentMargin());
    infoEdit_->setFixedHeight(metrics.lineSpacing() * InfoLines + 2 * (frame + margin));

    const int scrollBar = templateList_->style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, templateList_);
    templateList_->setFixedWidth(templateList_->fontMetrics().averageCharWidth() * TemplateListCharacters + scrollBar
                                 + 2 * templateList_->frameWidth());
    templateList_->setMinimumHeight(templateList_->fontMetrics().lineSpacing() * 3);

    // Continuation lines of pasted headers start with a tab: eight spaces
    // wide, as in a terminal.
    messageEdit_->setTabStopDistance(messageEdit_->fontMetrics().horizontalAdvance(QLatin1Char(' ')) * 8);

    const int square = browseButton_->fontMetrics().horizontalAdvance("...") + browseButton_->fontMetrics().height();
    browseButton_->setFixedWidth(square);
}

void MailerWindow::PlaceOnScreen()
{
    QScreen* screen = this->screen() ? this->screen() : QGuiApplication::primaryScreen();
    if (!screen)
        return;
    const QRect area = screen->availableGeometry();
    move(area.center() - QPoint(width() / 2, height() / 2));
}

void MailerWindow::changeEvent(QEvent* event)
{
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::FontChange || event->type() == QEvent::StyleChange)
        FitToFont();
}

void MailerWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    if (shown_)
        return;
    shown_ = true;
    // A failure is shown and the window opens all the same.
    RunGuarded([this] { controller_.Show(); });
}

void MailerWindow::closeEvent(QCloseEvent* event)
{
    RunGuarded([this] { controller_.Shutdown(); });
    if (help_)
        help_->close();
    event->accept();
    // Closing the mailer ends the program, even while browser or
    // investigation windows are still open.
    QCoreApplication::quit();
}

bool MailerWindow::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == templateList_->viewport()) {
        if (event->type() == QEvent::MouseButtonPress)
            templateMousePress_ = true;
        else if (event->type() == QEvent::MouseButtonRelease)
            // After the click the release may emit has been handled.
            QTimer::singleShot(0, this, [this] { templateMousePress_ = false; });
    }
    return QMainWindow::eventFilter(watched, event);
}

void MailerWindow::RunTemplateSelection(int row)
{
    RunGuarded([this, row] { controller_.SelectTemplate(row); });
}

void MailerWindow::OnFocusChanged(QWidget* old, QWidget* now)
{
    // Only a move to another control of this window leaves the box: not a
    // switch to another program, a menu or the box's own drop-down list.
    auto inRecipients
        = [this](QWidget* widget) { return widget == recipientsEdit_ || recipientsEdit_->isAncestorOf(widget); };
    if (!old || !now || !inRecipients(old) || inRecipients(now))
        return;
    if (now->window() != this || now == menuBar() || menuBar()->isAncestorOf(now))
        return;
    RunGuarded([this] { controller_.RecipientsExit(); });
}

void MailerWindow::LoadDroppedFiles(const QStringList& paths)
{
    if (paths.size() != 1) {
        Ui().ShowMessage("Drop one saved message at a time.", "Morvanta", MessageButtons::Ok, MessageIcon::Warning);
        return;
    }
    RunGuarded([&] {
        try {
            SetMessageLines(ReadSavedMessage(FromQString(paths.front())));
        } catch (const SavedMessageError& error) {
            Ui().ShowMessage(error.what(), "Morvanta", MessageButtons::Ok, MessageIcon::Warning);
        }
    });
}

void MailerWindow::ShowHelp(const char* anchor)
{
    if (!help_) {
        const std::string folder = controller_.HasConfig() ? controller_.Settings().ProgramFolder : std::string();
        help_ = new HelpWindow(ToQString(folder + "Morvanta.html"), this);
    }
    help_->ShowTopic(anchor);
}

void MailerWindow::ShowAbout()
{
    Ui().ShowMessage(controller_.AboutText(), "Morvanta", MessageButtons::Ok, MessageIcon::None);
}

// MailerView

std::string MailerWindow::Recipients() const
{
    return FromQString(recipientsEdit_->currentText());
}

void MailerWindow::SetRecipients(const std::string& text)
{
    recipientsEdit_->setEditText(ToQString(text));
}

std::vector<std::string> MailerWindow::RecipientHistory() const
{
    std::vector<std::string> entries;
    entries.reserve(static_cast<size_t>(recipientsEdit_->count()));
    for (int i = 0; i < recipientsEdit_->count(); ++i)
        entries.push_back(FromQString(recipientsEdit_->itemText(i)));
    return entries;
}

void MailerWindow::SetRecipientHistory(const std::vector<std::string>& entries)
{
    const QString text = recipientsEdit_->currentText();
    QSignalBlocker blocker(recipientsEdit_);
    recipientsEdit_->clear();
    QStringList items;
    items.reserve(static_cast<qsizetype>(entries.size()));
    for (const std::string& entry : entries)
        items.append(ToQString(entry));
    recipientsEdit_->addItems(items);
    recipientsEdit_->setCurrentIndex(-1);
    recipientsEdit_->setEditText(text);
}

std::string MailerWindow::Subject() const
{
    return FromQString(subjectEdit_->text());
}

void MailerWindow::SetSubject(const std::string& text)
{
    subjectEdit_->setText(ToQString(text));
}

std::string MailerWindow::Cc() const
{
    return FromQString(ccEdit_->text());
}

void MailerWindow::SetCc(const std::string& text)
{
    ccEdit_->setText(ToQString(text));
}

std::string MailerWindow::Bcc() const
{
    return FromQString(bccEdit_->text());
}

void MailerWindow::SetBcc(const std::string& text)
{
    bccEdit_->setText(ToQString(text));
}

std::string MailerWindow::AttachmentPath() const
{
    return FromQString(attachmentEdit_->text());
}

void MailerWindow::SetAttachmentPath(const std::string& path)
{
    attachmentEdit_->setText(ToQString(path));
}

std::vector<std::string> MailerWindow::MessageLines() const
{
    // The raw text keeps non-breaking spaces; its block and line separators
    // are line ends of the message.
    QString text = messageEdit_->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, u'\n');
    text.replace(QChar::LineSeparator, u'\n');
    return SplitLines(FromQString(text));
}

void MailerWindow::SetMessageLines(const std::vector<std::string>& lines)
{
    std::string text;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += lines[i];
    }
    // A final line break ends the last line rather than starting another, so
    // an empty last line needs one of its own.
    if (!lines.empty() && lines.back().empty())
        text += '\n';
    messageEdit_->setPlainText(ToQString(text));
}

void MailerWindow::SetTemplateNames(const std::vector<std::string>& names)
{
    settingTemplates_ = true;
    templateList_->clear();
    for (const std::string& name : names)
        templateList_->addItem(ToQString(name));
    settingTemplates_ = false;
}

int MailerWindow::SelectedTemplate() const
{
    const QList<QListWidgetItem*> selected = templateList_->selectedItems();
    return selected.isEmpty() ? -1 : templateList_->row(selected.front());
}

void MailerWindow::SelectTemplate(int position)
{
    settingTemplates_ = true;
    if (position >= 0 && position < templateList_->count()) {
        templateList_->setCurrentRow(position, QItemSelectionModel::ClearAndSelect);
    } else {
        templateList_->clearSelection();
        templateList_->setCurrentRow(-1);
    }
    settingTemplates_ = false;
}

void MailerWindow::ClearInfo()
{
    infoEdit_->clear();
}

void MailerWindow::AppendInfo(const std::string& line)
{
    QString text = ToQString(line);
    text.replace("\r\n", "\n");
    text.replace(u'\r', u'\n');
    infoEdit_->appendPlainText(text);
}

void MailerWindow::SetStatus(const std::string& text)
{
    statusText_->setText(ToQString(text));
    // Commands wait on the network without handling events: paint the
    // progress now, or it shows only once the command is over.
    statusText_->repaint();
}

bool MailerWindow::ChooseAttachmentFile(const std::string& startFolder, std::string& path)
{
    QFileDialog dialog(this, "Open", ToQString(startFolder),
                       "All Files (*);;Zip Files (*.zip *.Zip *.ZIP);;Executable Files (*.exe *.Exe *.EXE)");
    dialog.setFileMode(QFileDialog::ExistingFile);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return false;
    path = FromQString(dialog.selectedFiles().front());
    return true;
}

bool MailerWindow::ChooseBulkFolder(const std::string& startFolder, std::string& folder)
{
    const QString chosen
        = QFileDialog::getExistingDirectory(this, "Bulk report", ToQString(startFolder), QFileDialog::ShowDirsOnly);
    if (chosen.isEmpty())
        return false;
    folder = FromQString(chosen);
    return true;
}

} // namespace morvanta
