#pragma once

#include "browser/BrowserPolicy.h"

#include <QWidget>

#include <string>

class QMenu;
class QStatusBar;
class QWebEngineDownloadRequest;
class QWebEngineLoadingInfo;
class QWebEngineProfile;
class QWebEngineView;

namespace morvanta {

// A small web browser for one address taken from a message: the page, a
// status line, and a pop-up menu to copy from it. It has a profile of its
// own that keeps nothing (no cookies, cache or history outlive it), saves
// no downloads, runs no plugins and gives scripts no clipboard; it frees
// itself when closed.
class BrowserWindow : public QWidget {
    Q_OBJECT

public:
    explicit BrowserWindow(const std::string& reportServiceUrl, QWidget* parent = nullptr);
    ~BrowserWindow() override;

    // Goes to the text as it is, whatever surrounds the address in it.
    void Navigate(const std::string& address);

    [[nodiscard]] QWebEngineView* View() const { return view_; }
    [[nodiscard]] QWebEngineProfile* Profile() const { return profile_; }
    [[nodiscard]] QString StatusText() const;
    [[nodiscard]] const std::string& RequestedAddress() const { return requested_; }

protected:
    void showEvent(QShowEvent* event) override;

private:
    void LoadingChanged(const QWebEngineLoadingInfo& info);
    void NavigationComplete();
    void RefuseDownload(QWebEngineDownloadRequest* download);
    void ShowStatus(const QString& text);

    BrowserPolicy policy_;
    std::string requested_;
    QWebEngineProfile* profile_ = nullptr;
    QWebEngineView* view_ = nullptr;
    QStatusBar* statusBar_ = nullptr;
    QMenu* popupMenu_ = nullptr;
};

// Decides, once and before the web engine starts, whether it runs in its
// sandbox (see DecideWebViewStart); unsandboxed, the engine is told so.
WebViewStart PrepareWebViewSandbox();

// A new browser window on the address, shown minimised and owned by no
// other window; null when the web view may not start (as root without the
// user's consent), after a message box that says why. That box is shown
// once for the windows of one command.
BrowserWindow* OpenBrowserWindow(const std::string& address, const std::string& reportServiceUrl);
// The same with the decision given.
BrowserWindow* OpenBrowserWindow(const std::string& address, const std::string& reportServiceUrl, WebViewStart start);

} // namespace morvanta
