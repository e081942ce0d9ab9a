#pragma once

#include <string>

namespace morvanta {

class MailerController;

// To be called in main() before the QApplication is made: the web engine
// shares its OpenGL contexts, and its sandbox is decided (see
// PrepareWebViewSandbox).
void PrepareWebEngine();

// The mailer's URL launcher opens browser windows, closing on the
// configured ReportServiceUrl page, and its on-the-web command hands the
// home page to the desktop (OpenWithDesktop). Call after the controller's
// Start.
void InstallBrowserHooks(MailerController& controller);

} // namespace morvanta
