#include "browser/BrowserPolicy.h"
#include "mailer/gui/BrowserHooks.h"

#include <QApplication>

#include <gtest/gtest.h>

#include <unistd.h>

// Window tests run on Qt's offscreen platform, with one application object.
int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    // The web view's engine draws without a GPU and sends nothing of its own
    // (no updates, pre-connections or reports); any request for an address
    // beyond loopback goes to a proxy that is not there, so it fails.
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS",
            "--disable-gpu --disable-background-networking --disable-component-update --disable-domain-reliability "
            "--disable-sync --no-pings --dns-prefetch-disable --disable-dev-shm-usage --proxy-server=127.0.0.1:1");
    // The tests run as root on the build machine, where the engine's sandbox
    // cannot run: they give the consent the program asks of its user.
    if (geteuid() == 0)
        qputenv(morvanta::AllowUnsandboxedWebViewVariable, "1");
    morvanta::PrepareWebEngine();
    QApplication application(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
