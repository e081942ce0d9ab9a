#include "mailer/gui/BrowserHooks.h"

#include "app/gui/DesktopUrl.h"
#include "browser/gui/BrowserWindow.h"
#include "mailer/MailerController.h"

#include <QCoreApplication>

namespace morvanta {

void PrepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    (void)PrepareWebViewSandbox();
}

void InstallBrowserHooks(MailerController& controller)
{
    controller.openBrowser = [&controller](const std::string& url) {
        (void)OpenBrowserWindow(url, controller.Settings().ReportServiceUrl);
    };
    controller.launchUrl = OpenWithDesktop;
}

} // namespace morvanta
