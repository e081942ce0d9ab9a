#include "app/Platform.h"
#include "base/UiServices.h"
#include "app/gui/CommandGuard.h"
#include "app/gui/QtUiServices.h"
#include "mailer/MailerController.h"
#include "mailer/gui/MailerWindow.h"

#include <QApplication>
#include <QSocketNotifier>

#include <csignal>
#include <cstdlib>
#include <sys/socket.h>
#include <unistd.h>

namespace {

int g_signalPipe[2] = { -1, -1 };

void OnTerminationSignal(int)
{
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(g_signalPipe[0], &byte, 1);
}

// A termination request (logout, kill) closes the main window as the user
// would, so the per-user settings are written.
void CloseOnTerminationSignals(QWidget& window)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char byte;
        [[maybe_unused]] ssize_t got = read(g_signalPipe[1], &byte, 1);
        window.close();
    });
    struct sigaction action {};
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace

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

    MailerController controller;
    RunGuarded([&] { controller.FormCreate(); });
    if (!controller.HasConfig())
        return 1;

    MailerWindow window(controller);
    CloseOnTerminationSignals(window);
    window.show();
    return application.exec();
}
