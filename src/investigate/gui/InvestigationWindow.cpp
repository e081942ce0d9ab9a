#include "investigate/gui/InvestigationWindow.h"

#include "app/gui/CommandGuard.h"
#include "app/gui/QtText.h"
#include "base/Text.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QComboBox>
#include <QFontDatabase>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenuBar>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QStatusBar>
#include <QTabWidget>
#include <QToolBar>
#include <QTreeWidget>

namespace morvanta {

namespace {

// Shown answers carry CR LF, or CR CR LF where the server sent CR LF.
QString DisplayText(const std::string& text)
{
    std::string shown = text;
    std::string before;
    do {
        before = shown;
        shown = ReplaceAll(before, "\r\n", "\n");
    } while (shown != before);
    return ToQString(ReplaceAll(shown, "\r", "\n"));
}

QStringList RowCells(const TraceRow& row)
{
    return { ToQString(row.hop), ToQString(row.ip), ToQString(row.note), ToQString(row.rdns) };
}

} // namespace

InvestigationWindow::InvestigationWindow(std::shared_ptr<InvestigationController> controller, QWidget* parent)
    : QMainWindow(parent)
    , controller_(std::move(controller))
{
    setObjectName("investigationWindow");
    setWindowTitle("Netvane");
    QFont font("Arial");
    font.setPixelSize(13);
    setFont(font);

    BuildAddressBar();
    BuildCommandBar();
    BuildMenu();

    resultTabs_ = new QTabWidget(this);
    resultTabs_->setObjectName("resultTabs");
    setCentralWidget(resultTabs_);
    connect(resultTabs_, &QTabWidget::currentChanged, this, [this](int position) {
        if (!followingController_)
            controller_->SelectTab(position);
    });

    statusLabel_ = new QLabel(this);
    statusLabel_->setObjectName("statusText");
    statusBar()->setObjectName("statusBar");
    statusBar()->setSizeGripEnabled(true);
    statusBar()->addWidget(statusLabel_, 1);

    resize(539, 407);
    controller_->AttachView(*this);
}

InvestigationWindow::~InvestigationWindow()
{
    controller_->DetachView();
}

void InvestigationWindow::Dispose()
{
    hide();
    if (controller_->Busy()) {
        // The close completes when the command returns, and its onClosed
        // comes back here.
        controller_->Close();
        return;
    }
    deleteLater();
}

void InvestigationWindow::BuildAddressBar()
{
    auto* bar = new QToolBar("Address", this);
    bar->setObjectName("addressBar");
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);

    auto* fields = new QWidget(bar);
    auto* layout = new QHBoxLayout(fields);
    layout->setContentsMargins(3, 2, 3, 2);
    layout->setSpacing(4);

    urlEdit_ = new QLineEdit(fields);
    urlEdit_->setObjectName("urlEdit");
    urlEdit_->setMinimumWidth(160);
    layout->addWidget(urlEdit_, 1);

    auto* serverLabel = new QLabel(" Whois:", fields);
    layout->addWidget(serverLabel);
    serverBox_ = new QComboBox(fields);
    serverBox_->setObjectName("serverBox");
    serverBox_->setEditable(true);
    serverBox_->setInsertPolicy(QComboBox::NoInsert);
    serverBox_->setMinimumWidth(145);
    serverBox_->setSizeAdjustPolicy(QComboBox::AdjustToMinimumContentsLengthWithIcon);
    serverLabel->setBuddy(serverBox_);
    layout->addWidget(serverBox_);

    auto* argumentsLabel = new QLabel("Args:", fields);
    layout->addWidget(argumentsLabel);
    argumentsEdit_ = new QLineEdit(fields);
    argumentsEdit_->setObjectName("argumentsEdit");
    argumentsEdit_->setFixedWidth(argumentsEdit_->fontMetrics().horizontalAdvance(QStringLiteral("-a  ")) + 12);
    argumentsLabel->setBuddy(argumentsEdit_);
    layout->addWidget(argumentsEdit_);

    bar->addWidget(fields);
    addToolBar(Qt::TopToolBarArea, bar);
}

QAction* InvestigationWindow::AddCommand(const char* objectName, const char* hint, const char* themeIcon,
                                         const char* iconFile, void (InvestigationController::*command)())
{
    const QIcon fallback(QStringLiteral(":/icons/") + QLatin1String(iconFile));
    auto* action = new QAction(QIcon::fromTheme(QLatin1String(themeIcon), fallback), QString::fromLatin1(hint), this);
    action->setObjectName(QLatin1String(objectName));
    action->setToolTip(QString::fromLatin1(hint));
    connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    return action;
}

void InvestigationWindow::BuildCommandBar()
{
    auto* bar = new QToolBar("Commands", this);
    bar->setObjectName("commandBar");
    bar->setOrientation(Qt::Vertical);
    bar->setMovable(false);
    bar->setFloatable(false);
    bar->toggleViewAction()->setVisible(false);
    bar->setIconSize(QSize(20, 20));

    using C = InvestigationController;
    bar->addAction(
        AddCommand("magicWhoisAction", "Magic whois", "system-search", "magic-whois.svg", &C::RunMagicWhois));
    bar->addAction(AddCommand("traceAction", "Traceroute", "network-wired", "traceroute.svg", &C::RunTraceroute));
    bar->addAction(AddCommand("whoisAction", "WhoIs", "dialog-question", "whois.svg", &C::RunWhois));
    bar->addAction(AddCommand("ipBlockAction", "IP Block", "network-server", "ip-block.svg", &C::RunIPBlock));
    bar->addAction(
        AddCommand("reverseDnsAction", "reverse DNS", "network-workgroup", "reverse-dns.svg", &C::RunReverseDns));
    bar->addAction(AddCommand("abuseAction", "Abuse@", "mail-mark-junk", "abuse-contact.svg", &C::RunAbuseContact));
    addToolBar(Qt::LeftToolBarArea, bar);
}

void InvestigationWindow::BuildMenu()
{
    QMenu* file = menuBar()->addMenu("&File");
    file->setObjectName("fileMenu");
    auto add = [this, file](const char* objectName, const char* caption, const QKeySequence& shortcut,
                            void (InvestigationController::*command)()) {
        QAction* action = file->addAction(QString::fromLatin1(caption));
        action->setObjectName(QLatin1String(objectName));
        action->setShortcut(shortcut);
        connect(action, &QAction::triggered, this, [this, command] { Run(command); });
    };
    using C = InvestigationController;
    add("pasteEmailAction", "&Paste e-mail", QKeySequence(Qt::CTRL | Qt::Key_E), &C::PasteEmail);
    add("pasteEmailHardAction", "&Paste e-mail hard", QKeySequence(Qt::CTRL | Qt::Key_R), &C::PasteEmailHard);
    add("deleteTabAction", "&Delete tab", QKeySequence(Qt::CTRL | Qt::Key_F4), &C::DeleteTab);
    QAction* close = file->addAction("&Close");
    close->setObjectName("closeAction");
    connect(close, &QAction::triggered, this, &QWidget::close);
}

void InvestigationWindow::Run(void (InvestigationController::*command)())
{
    // The controller may outlive the window while a command runs.
    std::shared_ptr<InvestigationController> controller = controller_;
    RunGuarded([&controller, command] { ((*controller).*command)(); });
}

std::string InvestigationWindow::Url() const
{
    return FromQString(urlEdit_->text());
}

void InvestigationWindow::SetUrl(const std::string& text)
{
    urlEdit_->setText(ToQString(text));
}

std::string InvestigationWindow::Server() const
{
    return FromQString(serverBox_->currentText());
}

void InvestigationWindow::SetServer(const std::string& text)
{
    serverBox_->setEditText(ToQString(text));
}

void InvestigationWindow::SetServerList(const std::vector<std::string>& servers)
{
    const QString text = serverBox_->currentText();
    serverBox_->clear();
    for (const std::string& server : servers)
        serverBox_->addItem(ToQString(server));
    serverBox_->setEditText(text);
}

std::string InvestigationWindow::Arguments() const
{
    return FromQString(argumentsEdit_->text());
}

void InvestigationWindow::SetStatus(const std::string& text)
{
    // A status line of one line: an error's CR LF would hide what follows.
    statusLabel_->setText(DisplayText(text).replace('\n', ' ').trimmed());
}

std::optional<std::string> InvestigationWindow::ClipboardText() const
{
    const QMimeData* data = QGuiApplication::clipboard()->mimeData();
    if (!data || !data->hasText())
        return std::nullopt;
    return FromQString(data->text());
}

void InvestigationWindow::AddTab(const ResultTab& tab)
{
    QWidget* content = nullptr;
    if (tab.kind == TabKind::Trace) {
        auto* list = new QTreeWidget;
        list->setObjectName("traceList");
        list->setColumnCount(4);
        list->setHeaderLabels({ "Hop #", "IP", "Note", "rDNS" });
        list->setRootIsDecorated(false);
        list->setUniformRowHeights(true);
        list->setAllColumnsShowFocus(true);
        list->header()->setStretchLastSection(false);
        const int widths[] = { 50, 100, 125, 175 };
        for (int column = 0; column < 4; ++column)
            list->setColumnWidth(column, widths[column]);
        for (const TraceRow& row : tab.rows)
            list->addTopLevelItem(new QTreeWidgetItem(RowCells(row)));
        content = list;
    } else {
        auto* box = new QPlainTextEdit;
        box->setObjectName("resultText");
        box->setLineWrapMode(QPlainTextEdit::WidgetWidth);
        box->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        box->setHorizontalScrollBarPolicy(Qt::ScrollBarAsNeeded);
        // WHOIS answers line their values up in columns.
        QFont fixed = QFontDatabase::systemFont(QFontDatabase::FixedFont);
        fixed.setPixelSize(font().pixelSize());
        box->setFont(fixed);
        box->setPlainText(DisplayText(tab.text));
        content = box;
    }
    tabWidgets_[tab.id] = content;
    followingController_ = true;
    resultTabs_->addTab(content, ToQString(tab.caption));
    followingController_ = false;
}

QWidget* InvestigationWindow::TabWidget(int id) const
{
    auto found = tabWidgets_.find(id);
    return found == tabWidgets_.end() ? nullptr : found->second;
}

void InvestigationWindow::RemoveTab(int id)
{
    QWidget* content = TabWidget(id);
    if (!content)
        return;
    tabWidgets_.erase(id);
    followingController_ = true;
    resultTabs_->removeTab(resultTabs_->indexOf(content));
    followingController_ = false;
    delete content;
}

void InvestigationWindow::ShowCurrentTab(int id)
{
    if (QWidget* content = TabWidget(id)) {
        followingController_ = true;
        resultTabs_->setCurrentWidget(content);
        followingController_ = false;
    }
}

void InvestigationWindow::SetTabText(int id, const std::string& text)
{
    if (auto* box = qobject_cast<QPlainTextEdit*>(TabWidget(id)))
        box->setPlainText(DisplayText(text));
}

void InvestigationWindow::ClearTraceRows(int id)
{
    if (auto* list = qobject_cast<QTreeWidget*>(TabWidget(id)))
        list->clear();
}

void InvestigationWindow::AddTraceRow(int id, const TraceRow& row)
{
    if (auto* list = qobject_cast<QTreeWidget*>(TabWidget(id)))
        list->addTopLevelItem(new QTreeWidgetItem(RowCells(row)));
}

void InvestigationWindow::showEvent(QShowEvent* event)
{
    QMainWindow::showEvent(event);
    raise();
    activateWindow();
}

void InvestigationWindow::closeEvent(QCloseEvent* event)
{
    std::shared_ptr<InvestigationController> controller = controller_;
    RunGuarded([&controller] { controller->Close(); });
    event->accept();
}

} // namespace morvanta
