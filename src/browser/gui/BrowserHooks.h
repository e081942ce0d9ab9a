#pragma once

#include <string>

namespace morvanta {

class MailerController;

// To be called in main() before the QApplication is made: the web engine
// shares its OpenGL contexts, and its sandbox is decided (see
// PrepareWebViewSandbox).
void PrepareWebEngine();

// Hands the address to the user's default handler. When that fails, says
// so in a message box and returns false.
bool LaunchUrl(const std::string& address);

// The mailer's URL launcher opens browser windows, closing on the
// configured ReportServiceUrl page, and its on-the-web command uses
// LaunchUrl. Call after the controller's Start.
void InstallBrowserHooks(MailerController& controller);

} // namespace morvanta
