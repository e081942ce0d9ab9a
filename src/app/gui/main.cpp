#include "app/Platform.h"
#include "app/UiServices.h"
#include "app/gui/CommandGuard.h"
#include "app/gui/QtUiServices.h"
#include "mailer/MailController.h"
#include "mailer/gui/fMail.h"

#include <QApplication>
#include <QtWebEngineWidgets/QWebEngineView>

#include <cstdlib>
#include <unistd.h>

int main(int argc, char* argv[])
{
    using namespace morvanta;

    CreateInstanceMutex("MorvantaMutex");

    // The web view's browser engine refuses to start as root inside its sandbox.
    if (geteuid() == 0 && !std::getenv("QTWEBENGINE_DISABLE_SANDBOX"))
        setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);

    // The program reads no arguments of its own; Qt may take its standard ones.
    QApplication application(argc, argv);
    QApplication::setApplicationName("Morvanta");

    QtUiServices services;
    ScopedUiServices installed(services);

    TMailController controller;
    RunGuarded([&] { controller.FormCreate(); });
    if (!controller.HasConfig())
        return 1;

    TfrmMail window(controller);
    window.show();
    return application.exec();
}
