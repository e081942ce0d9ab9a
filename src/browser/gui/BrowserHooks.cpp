#include "browser/gui/BrowserHooks.h"

#include "app/gui/QtText.h"
#include "base/UiServices.h"
#include "browser/gui/BrowserWindow.h"
#include "mailer/MailerController.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QUrl>

namespace morvanta {

void PrepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    (void)PrepareWebViewSandbox();
}

bool LaunchUrl(const std::string& address)
{
    QUrl url = QUrl::fromUserInput(ToQString(address));
    if (url.isValid() && QDesktopServices::openUrl(url))
        return true;
    Ui().ShowMessage("Launch Error", "Could not start your Internet browser", MessageButtons::Ok, MessageIcon::None);
    return false;
}

void InstallBrowserHooks(MailerController& controller)
{
    controller.openBrowser = [&controller](const std::string& url) {
        (void)OpenBrowserWindow(url, controller.Settings().ReportServiceUrl);
    };
    controller.launchUrl = [](const std::string& url) { return LaunchUrl(url); };
}

} // namespace morvanta
