#pragma once

#include "app/Config.h"
#include "base/Clock.h"
#include "mailer/BulkFolder.h"
#include "mailer/MailerView.h"
#include "mailer/ReportSession.h"
#include "mailer/Spool.h"
#include "mailer/SystemMailClient.h"
#include "net/MailMessage.h"
#include "net/SmtpClient.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvanta {

// How one run of the send command ended.
enum class SendOutcome {
    NothingToSend, // the E-Mails box was blank
    InvalidSettings, // no SMTP host or no sender address: nothing sent or logged
    Sent,
    Failed, // delivery failed; logged, and spooled when there was a message
};

// What became of one file of a bulk run.
enum class BulkOutcome {
    Sent,
    Spooled, // no complaint address: the message went to the spool
    Failed, // not delivered (spooled when the send got as far as that)
    Empty, // the file held nothing to report
};

struct BulkFileResult {
    std::string fileName;
    std::string address; // the source IP, empty when none was found
    std::string recipients;
    BulkOutcome outcome = BulkOutcome::Failed;
    // Still in the bulk folder: the message was neither reported nor spooled.
    bool kept = false;
};

// The logic behind the mailer window: it owns the settings, the report
// session, the SMTP client and the message for the window's whole life and
// runs the window's commands.
//
// Commands may be entered again while one runs: a bulk run lets the window
// handle pending input between two files, and the contact search before it
// asks a further registry. While a send, find or bulk command runs, a second
// one of these is ignored; the other commands run. A shut-down asked for at
// such a moment takes place when the running command has returned, and a
// bulk run stops before its next step, leaving the file on screen in the
// folder.
class MailerController {
public:
    explicit MailerController(std::string programFolder, const Clock& clock = SystemClock::Instance());
    MailerController();
    ~MailerController();
    MailerController(const MailerController&) = delete;
    MailerController& operator=(const MailerController&) = delete;

    // Builds the settings, the report session and the system-mail client
    // (available when MailOptions SendmailProgram can be run) and makes sure
    // the spool folder exists. The contact cache comes after the window:
    // CreateContactCache.
    void Start();

    // Binds the contact cache to the program folder; called once the window
    // exists.
    void CreateContactCache();

    // Shut-down, in this order: the system-mail logoff (with UseMAPI), the
    // E-Mails history into SentTo.txt, the per-user settings. A failing step
    // is shown in a plain message box and the next steps still run, so that
    // one failure loses nothing else.
    void Shutdown();

    [[nodiscard]] Config& Settings() { return *config_; }
    // The report context, contact cache and contact search of the window.
    [[nodiscard]] ReportSession& Session() { return *session_; }
    [[nodiscard]] bool HasConfig() const { return config_ != nullptr; }

    [[nodiscard]] std::string SpoolFolder() const;
    // The help file, set when the window is first shown.
    [[nodiscard]] const std::string& HelpFilePath() const { return helpFile_; }
    // Where the file-open dialog starts.
    [[nodiscard]] const std::string& AttachmentFolder() const { return attachmentFolder_; }

    // The window's fields. Set once the window exists, before Show; the
    // view must outlive the controller's use of it. The contact search's
    // progress goes into its status bar, the SMTP client's into its info box.
    void AttachView(MailerView& view);

    // What the windowed program does for the commands that open other
    // windows; unset hooks do nothing. The Netvane command calls
    // showInvestigation with the message's source IP once the contact
    // search exists; the URL launcher calls openBrowser once per qualifying
    // line, in line order; the on-the-web command calls launchUrl with the
    // home page.
    std::function<void(const std::string& address)> showInvestigation;
    std::function<void(const std::string& url)> openBrowser;
    std::function<bool(const std::string& url)> launchUrl;

    // Told about every file of a bulk run once its turn is over.
    std::function<void(const BulkFileResult& result)> onBulkFile;

    // The window is shown for the first time: Initialize, then
    // ApplyTemplateDefaults. An error ends them and is shown; the window is
    // shown all the same.
    void Show();

    // Subject, CC and BCC boxes from the chosen template's settings.
    void ApplyTemplateDefaults();

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

    // Whether a send, find or bulk command is running (the others are
    // refused meanwhile), and whether a bulk run is under way.
    [[nodiscard]] bool Busy() const { return mailing_; }
    [[nodiscard]] bool BulkActive() const { return bulkActive_; }
    // A bulk run that pauses before each report waits for the send command.
    [[nodiscard]] bool BulkWaiting() const { return bulkActive_ && pending_ && !mailing_; }
    // For the command-line tool: a bulk run never pauses, whatever
    // PauseBulkReporting says.
    void NeverPause() { neverPause_ = true; }

    // How the last send command ended.
    [[nodiscard]] SendOutcome LastSendOutcome() const { return lastSend_; }

    // The steps of the send command, each on its own.
    [[nodiscard]] bool ValidSMTPParams() const;
    // Fills the SMTP client and the message for one report from the
    // settings, the window's fields and the template lines. Throws
    // EmailParseError for an address text that cannot be taken apart, and
    // NetError for a port or TLS setting out of range.
    void AssembleMessage(const std::vector<std::string>& templateLines);
    // Saves the lines as a new "_MV" file of the spool; its path.
    std::string SpoolUnprocessable(const std::vector<std::string>& lines);
    // Forwards the spool in one message when it holds three files or more.
    void ForwardUnprocessedMessages();

    [[nodiscard]] SmtpClient& Smtp() { return smtp_; }
    [[nodiscard]] SystemMailClient* SystemMail() { return systemMail_.get(); }
    [[nodiscard]] MailMessage& Message() { return message_; }

private:
    struct SendResult {
        SendOutcome outcome = SendOutcome::NothingToSend;
        std::vector<std::string> messageLines; // the message box as sent
        bool spooled = false;
    };

    // The file of a bulk run whose message is in the window.
    struct PendingFile {
        std::string path;
        std::string name;
        std::vector<std::string> lines; // as loaded (and reduced)
        std::string address;
        // Set once the message was spooled or found empty (the file is gone).
        std::optional<BulkOutcome> settled;
        bool keptAfterSettling = false;
    };

    enum class BulkStep {
        Ended, // no file left
        Paused, // waiting for the user's send command
        Stopped, // a shut-down came while the window handled input
        Settled, // the file was dealt with without a send
        ReadyToSend,
    };

    class CommandScope;
    class MailingScope;

    [[nodiscard]] MailerView& View();
    [[nodiscard]] MailSettings& Mail() { return *config_->Mail; }
    [[nodiscard]] std::uint16_t TemplatePosition() const;
    void ShowPlainMessage(const std::string& text) const;

    [[nodiscard]] std::vector<std::string> LoadTemplate();
    [[nodiscard]] SendResult Send();
    // Delivery through the system's mail program: fills the subject and body
    // given to it; false after a failure, which it has shown.
    [[nodiscard]] bool SendViaMAPI(const std::vector<std::string>& templateLines,
                                   const std::vector<std::string>& messageLines, std::string& subject,
                                   std::string& body);
    void WriteLogRecord(const std::string& subject, const std::string& body);

    void RunBulk();
    [[nodiscard]] BulkStep BulkReportNext();
    void EndBulkRun();
    void SettleSpooledFile(const std::vector<std::string>& lines);
    void ConcludeBulkFile(const SendResult& result);
    void ReportBulkFile(const PendingFile& file, BulkOutcome outcome, bool kept);
    [[nodiscard]] bool DeleteBulkFile(const PendingFile& file);

    void AddToList(const char* caption, const char* prompt, const char* fileName);
    void ShutdownNow();

    std::string programFolder_;
    const Clock& clock_;
    std::unique_ptr<Config> config_;
    std::unique_ptr<ReportSession> session_;
    std::unique_ptr<SystemMailClient> systemMail_;
    MailerView* view_ = nullptr;
    Spool spool_;

    SmtpClient smtp_;
    MailMessage message_;
    std::string smtpHost_;
    SendOutcome lastSend_ = SendOutcome::NothingToSend;

    std::string helpFile_;
    std::string attachmentFolder_;
    std::vector<std::string> templateNames_;
    bool historyLoaded_ = false;

    bool forwardMode_ = false;
    bool bulkActive_ = false;
    std::vector<std::string> forwardFiles_;
    std::optional<BulkFolder> bulkFolder_;
    std::optional<PendingFile> pending_;
    bool neverPause_ = false;

    int commandDepth_ = 0;
    bool mailing_ = false;
    bool shutdownRequested_ = false;
};

} // namespace morvanta
