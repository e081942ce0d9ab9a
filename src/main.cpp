#include "app/Platform.h"
#include "app/gui/CommandGuard.h"
#include "app/gui/QtUiServices.h"
#include "app/gui/TerminationSignals.h"
#include "base/UiServices.h"
#include "mailer/MailerController.h"
#include "mailer/gui/MailerWindow.h"

#include <QApplication>

int main(int argc, char* argv[])
{
    using namespace morvanta;

    CreateInstanceMutex("MorvantaMutex");

    // The program reads no arguments of its own; Qt may take its standard ones.
    QApplication application(argc, argv);
    QApplication::setApplicationName("Morvanta");

    QtUiServices services;
    ScopedUiServices installed(services);

    MailerController controller;
    RunGuarded([&] { controller.Start(); });
    if (!controller.HasConfig())
        return 1;

    MailerWindow window(controller);
    CloseOnTerminationSignals(window);
    window.show();
    return application.exec();
}
