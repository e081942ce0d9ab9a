#include "app/Platform.h"
#include "app/gui/CommandGuard.h"
#include "app/gui/QtUiServices.h"
#include "app/gui/TerminationSignals.h"
#include "base/UiServices.h"
#include "mailer/MailerController.h"
#include "mailer/gui/BrowserHooks.h"
#include "mailer/gui/InvestigationHookup.h"
#include "mailer/gui/MailerWindow.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char* argv[])
{
    using namespace morvanta;

    CreateInstanceMutex("MorvantaMutex");

    // The web engine of the browser windows is prepared before Qt starts.
    PrepareWebEngine();

    // The program reads no arguments of its own; Qt may take its standard ones.
    QApplication application(argc, argv);
    QApplication::setApplicationName("Morvanta");
    QGuiApplication::setDesktopFileName("morvanta");
    QApplication::setWindowIcon(QIcon::fromTheme("morvanta", QIcon(":/icons/morvanta.svg")));

    QtUiServices services;
    ScopedUiServices installed(services);

    // The mailer window: its settings and spool folder first, then the window.
    MailerController controller;
    RunGuarded([&] { controller.Start(); });
    if (!controller.HasConfig())
        return 1;
    InstallBrowserHooks(controller);
    MailerWindow window(controller);
    InstallInvestigationWindow(controller, RecipientsOf(window));

    // The contact cache, which needs the settings.
    RunGuarded([&] { (void)controller.Session().Cache(); });

    CloseOnTerminationSignals(window);
    window.show();
    return application.exec();
}
