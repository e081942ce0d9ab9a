#include "browser/gui/BrowserWindow.h"

#include "app/gui/QtText.h"
#include "base/UiServices.h"

#include <QKeySequence>
#include <QMenu>
#include <QShortcut>
#include <QStatusBar>
#include <QTimer>
#include <QVBoxLayout>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

#include <cstdlib>

#include <unistd.h>

namespace morvanta {

namespace {

// Pages come from spam: nothing of theirs may reach beyond the window.
void RestrictPage(QWebEnginePage& page)
{
    QWebEngineSettings* settings = page.settings();
    settings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    settings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    settings->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    settings->setAttribute(QWebEngineSettings::LocalContentCanAccessRemoteUrls, false);
    settings->setAttribute(QWebEngineSettings::HyperlinkAuditingEnabled, false);
    settings->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    settings->setAttribute(QWebEngineSettings::DnsPrefetchEnabled, false);
    QObject::connect(&page, &QWebEnginePage::featurePermissionRequested, &page,
                     [&page](const QUrl& origin, QWebEnginePage::Feature feature) {
                         page.setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
                     });
}

} // namespace

BrowserWindow::BrowserWindow(const std::string& reportServiceUrl, QWidget* parent)
    : QWidget(parent)
    , policy_(reportServiceUrl)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle("Browser");
    setObjectName("browserWindow");

    // No storage name: off the record, held in memory for this window only.
    profile_ = new QWebEngineProfile(this);
    profile_->setPersistentCookiesPolicy(QWebEngineProfile::NoPersistentCookies);
    profile_->setHttpCacheType(QWebEngineProfile::MemoryHttpCache);
    connect(profile_, &QWebEngineProfile::downloadRequested, this, &BrowserWindow::RefuseDownload);

    view_ = new QWebEngineView(this);
    view_->setObjectName("webView");
    auto* page = new QWebEnginePage(profile_, view_);
    RestrictPage(*page);
    view_->setPage(page);

    statusBar_ = new QStatusBar(this);
    statusBar_->setObjectName("statusBar");
    statusBar_->setSizeGripEnabled(false);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(view_, 1);
    layout->addWidget(statusBar_);

    popupMenu_ = new QMenu(this);
    QAction* copy = popupMenu_->addAction("&Copy");
    copy->setObjectName("copyAction");
    // The view copies its selection itself; with nothing selected nothing happens.
    connect(copy, &QAction::triggered, this, [this] { view_->triggerPageAction(QWebEnginePage::Copy); });
    QAction* selectAll = popupMenu_->addAction("Select &All");
    selectAll->setObjectName("selectAllAction");
    connect(selectAll, &QAction::triggered, this, [this] { view_->triggerPageAction(QWebEnginePage::SelectAll); });
    view_->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(view_, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& position) { popupMenu_->popup(view_->mapToGlobal(position)); });

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WindowShortcut);
    connect(escape, &QShortcut::activated, this, &QWidget::close);

    connect(page, &QWebEnginePage::loadingChanged, this, &BrowserWindow::LoadingChanged);
    connect(page, &QWebEnginePage::linkHovered, this, &BrowserWindow::ShowStatus);

    resize(460, 298);
}

BrowserWindow::~BrowserWindow()
{
    // The page must go before the profile it was made with.
    delete view_;
    view_ = nullptr;
}

void BrowserWindow::Navigate(const std::string& address)
{
    requested_ = address;
    view_->setUrl(QUrl(ToQString(address), QUrl::TolerantMode));
}

QString BrowserWindow::StatusText() const
{
    return statusBar_->currentMessage();
}

void BrowserWindow::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    view_->setFocus();
}

void BrowserWindow::ShowStatus(const QString& text)
{
    statusBar_->showMessage(text);
}

void BrowserWindow::LoadingChanged(const QWebEngineLoadingInfo& info)
{
    switch (info.status()) {
    case QWebEngineLoadingInfo::LoadStartedStatus:
        ShowStatus(ToQString(BrowserPolicy::LoadingStatus(FromQString(info.url().toString()))));
        break;
    case QWebEngineLoadingInfo::LoadSucceededStatus:
    case QWebEngineLoadingInfo::LoadFailedStatus:
        // A page that failed is shown by the view itself, as any other.
        ShowStatus(BrowserPolicy::DoneStatus);
        NavigationComplete();
        break;
    case QWebEngineLoadingInfo::LoadStoppedStatus: ShowStatus(BrowserPolicy::DoneStatus); break;
    }
}

void BrowserWindow::NavigationComplete()
{
    switch (policy_.NavigationComplete(FromQString(view_->url().toString()))) {
    case BrowserPolicy::Action::Maximize: showMaximized(); break;
    case BrowserPolicy::Action::Close:
        // Not from inside the view's own notification.
        QTimer::singleShot(0, this, &QWidget::close);
        break;
    case BrowserPolicy::Action::None: break;
    }
}

void BrowserWindow::RefuseDownload(QWebEngineDownloadRequest* download)
{
    QString name = download->downloadFileName();
    download->cancel();
    ShowStatus("Download refused: " + name);
}

WebViewStart PrepareWebViewSandbox()
{
    static const WebViewStart start = [] {
        WebViewStart decided = DecideWebViewStart(::geteuid() == 0, std::getenv(AllowUnsandboxedWebViewVariable));
        if (decided == WebViewStart::Unsandboxed)
            ::setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 1);
        return decided;
    }();
    return start;
}

BrowserWindow* OpenBrowserWindow(const std::string& address, const std::string& reportServiceUrl)
{
    return OpenBrowserWindow(address, reportServiceUrl, PrepareWebViewSandbox());
}

BrowserWindow* OpenBrowserWindow(const std::string& address, const std::string& reportServiceUrl, WebViewStart start)
{
    if (start == WebViewStart::Refused) {
        // One command opens several windows at once: one box says it for all.
        static bool told = false;
        if (!told) {
            told = true;
            Ui().ShowMessage(WebViewRefusedText(), WebViewRefusedTitle, MessageButtons::Ok, MessageIcon::Warning);
            // Back in the event loop the command has ended.
            QTimer::singleShot(0, [] { told = false; });
        }
        return nullptr;
    }
    auto* window = new BrowserWindow(reportServiceUrl);
    window->showMinimized();
    window->Navigate(address);
    return window;
}

} // namespace morvanta
