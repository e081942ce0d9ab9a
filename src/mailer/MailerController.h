#pragma once

#include "app/Config.h"
#include "mailer/ReportSession.h"

#include <memory>
#include <string>

namespace morvanta {

// The logic behind the mailer window: it owns the settings for the window's
// whole life and runs the window's commands.
class MailerController {
public:
    explicit MailerController(std::string programFolder);
    MailerController();
    ~MailerController();

    // Builds the settings and makes sure the spool folder exists.
    void Start();

    // Shut-down: writes the per-user settings and frees them. A failing step
    // is shown in a plain message box and the steps after it are skipped.
    void Shutdown();

    [[nodiscard]] Config& Settings() { return *config_; }
    // The report context, contact cache and contact search of the window.
    [[nodiscard]] ReportSession& Session() { return *session_; }
    [[nodiscard]] bool HasConfig() const { return config_ != nullptr; }

    [[nodiscard]] std::string SpoolFolder() const;

private:
    std::string programFolder_;
    std::unique_ptr<Config> config_;
    std::unique_ptr<ReportSession> session_;
};

} // namespace morvanta
