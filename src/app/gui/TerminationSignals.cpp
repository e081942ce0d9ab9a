#include "app/gui/TerminationSignals.h"

#include <QObject>
#include <QSocketNotifier>
#include <QWidget>

#include <csignal>
#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

namespace morvanta {

namespace {

// [0]: written by the signal handler; [1]: read by the event loop.
int g_signalPipe[2] = { -1, -1 };

void OnTerminationSignal(int)
{
    // Non-blocking: a burst of signals must never stall the handler. One
    // byte waiting is enough to close the window.
    const int savedErrno = errno;
    char byte = 1;
    [[maybe_unused]] ssize_t written = write(g_signalPipe[0], &byte, 1);
    errno = savedErrno;
}

} // namespace

void CloseOnTerminationSignals(QWidget& window)
{
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, g_signalPipe) != 0)
        return;
    fcntl(g_signalPipe[0], F_SETFL, fcntl(g_signalPipe[0], F_GETFL) | O_NONBLOCK);
    auto* notifier = new QSocketNotifier(g_signalPipe[1], QSocketNotifier::Read, &window);
    QObject::connect(notifier, &QSocketNotifier::activated, &window, [&window] {
        char bytes[64];
        [[maybe_unused]] ssize_t got = read(g_signalPipe[1], bytes, sizeof bytes);
        window.close();
    });
    struct sigaction action { };
    action.sa_handler = OnTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGHUP, &action, nullptr);
}

} // namespace morvanta
