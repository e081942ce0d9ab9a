#pragma once

#include "app/Config.h"
#include "mailer/MailerView.h"
#include "mailer/ReportSession.h"

#include <cstdint>
#include <functional>

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

    // The window's fields. Set once the window exists, before Show; the
    // view must outlive the controller's use of it.
    void AttachView(MailerView& view) { view_ = &view; }

    // What the windowed program does for the commands that open other
    // windows; unset hooks do nothing. The Netvane command calls
    // showInvestigation with the message's source IP once the contact
    // search exists; the URL launcher calls openBrowser once per qualifying
    // line, in line order; the on-the-web command calls launchUrl with the
    // home page.
    std::function<void(const std::string& address)> showInvestigation;
    std::function<void(const std::string& url)> openBrowser;
    std::function<bool(const std::string& url)> launchUrl;

    // The window is shown for the first time: the history list, the
    // template list and the template defaults.
    void Show();

    // The window's commands.
    void SendReport();
    void BulkReport();
    void FindComplaintEmails(std::uint16_t level);
    void SelectTemplate(int position);
    void RecipientsExit();
    void BrowseAttachment();
    void OpenInvestigation();
    void LaunchUrls();
    void AddToBlacklist();
    void AddToBlocklist();
    void ApplyBlacklist();
    void FixEmails();
    void OpenHomePage();
    [[nodiscard]] std::string AboutText() const;

private:
    std::string programFolder_;
    std::unique_ptr<Config> config_;
    std::unique_ptr<ReportSession> session_;
    MailerView* view_ = nullptr;
};

} // namespace morvanta
