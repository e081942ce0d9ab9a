#include "mailer/MailerController.h"

#include "analysis/TextFiles.h"
#include "app/Platform.h"
#include "base/Files.h"
#include "base/Text.h"
#include "base/UiServices.h"
#include "browser/BrowserPolicy.h"
#include "mailer/ReportText.h"
#include "mailer/SavedMessage.h"
#include "mailer/SmtpDelivery.h"
#include "mailer/SystemMailDelivery.h"
#include "net/TlsIoHandler.h"

#include <unistd.h>

#include <cerrno>
#include <exception>
#include <stdexcept>

namespace morvanta {

namespace {

constexpr const char* ApplicationTitle = "Morvanta";
constexpr const char* HelpFileName = "Morvanta.html";
constexpr const char* HistoryFileName = "SentTo.txt";
constexpr const char* LogFileName = "MVMail.log";
constexpr const char* TemplateMask = "*Report.txt";
constexpr std::uint16_t NoTemplateSelected = 65535;

class BusyCursor {
public:
    BusyCursor() { Ui().SetBusyCursor(true); }
    ~BusyCursor() { Ui().SetBusyCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

} // namespace

// Counts the commands on the stack, so that a shut-down asked for while one
// waits for pending input happens after it has returned.
class MailerController::CommandScope {
public:
    explicit CommandScope(MailerController& controller)
        : controller_(controller)
    {
        ++controller_.commandDepth_;
    }
    ~CommandScope()
    {
        if (--controller_.commandDepth_ == 0 && controller_.shutdownRequested_) {
            try {
                controller_.ShutdownNow();
            } catch (...) {
                // Each step shows its own failure; nothing may leave a destructor.
            }
        }
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    MailerController& controller_;
};

class MailerController::MailingScope {
public:
    explicit MailingScope(MailerController& controller)
        : controller_(controller)
    {
        controller_.mailing_ = true;
    }
    ~MailingScope() { controller_.mailing_ = false; }
    MailingScope(const MailingScope&) = delete;
    MailingScope& operator=(const MailingScope&) = delete;

private:
    MailerController& controller_;
};

MailerController::MailerController(std::string programFolder, const Clock& clock)
    : programFolder_(IncludeTrailingPathDelimiter(std::move(programFolder)))
    , clock_(clock)
    , spool_(programFolder_ + "UnProcessableSpam/")
    , message_(clock)
    , attachmentFolder_(programFolder_)
{
    smtp_.OnStatus = [this](NetComponent*, NetStatus, const std::string& text) {
        if (view_)
            view_->AppendInfo(text);
    };
    // The report's last bytes and the final "." go out as two writes before
    // the client waits for the reply; with Nagle's algorithm the "." would
    // wait for the server's delayed acknowledgement, some 40 ms per report.
    auto handler = std::make_unique<TlsIoHandler>();
    handler->UseNagle = false;
    handler->OnStatus = smtp_.OnStatus;
    smtp_.SetIOHandler(std::move(handler));
}

MailerController::MailerController()
    : MailerController(GetProgramFolder())
{
}

MailerController::~MailerController() = default;

std::string MailerController::SpoolFolder() const
{
    return spool_.Folder();
}

void MailerController::Start()
{
    config_ = std::make_unique<Config>(programFolder_);
    session_ = std::make_unique<ReportSession>(*config_, clock_);
    systemMail_ = std::make_unique<SystemMailClient>(LoadSimpleMapi(Mail().SendmailProgram, config_->NetworkTimeout));
    session_->SetMailerStatusSink([this](const std::string& text) {
        if (view_)
            view_->SetStatus(text);
    });
    ForceDirectories(SpoolFolder());
}

void MailerController::CreateContactCache()
{
    if (session_)
        (void)session_->Cache();
}

void MailerController::AttachView(MailerView& view)
{
    view_ = &view;
}

MailerView& MailerController::View()
{
    if (!view_)
        throw std::logic_error("The mailer has no window fields attached.");
    return *view_;
}

void MailerController::ShowPlainMessage(const std::string& text) const
{
    Ui().ShowMessage(text, ApplicationTitle, MessageButtons::Ok, MessageIcon::None);
}

std::uint16_t MailerController::TemplatePosition() const
{
    int position = view_ ? view_->SelectedTemplate() : -1;
    return position < 0 ? NoTemplateSelected : static_cast<std::uint16_t>(position);
}

// --- Start and end ---------------------------------------------------------

void MailerController::Show()
{
    if (!config_)
        return;
    CommandScope command(*this);
    try {
        helpFile_ = config_->ProgramFolder + HelpFileName;
        // Without a session every send logs on by itself; the window stays
        // fully usable, so the remaining steps go on.
        if (Mail().UseMAPI)
            StartSystemMailSession(*systemMail_);
        attachmentFolder_ = config_->ProgramFolder;
        View().SetRecipients({});
        View().SetMessageLines({});
        View().SetAttachmentPath({});
        smtp_.MailAgent = Mail().MailAgent;

        const std::string history = config_->ProgramFolder + HistoryFileName;
        if (FileExists(history))
            View().SetRecipientHistory(SplitLines(ReadFileText(history)));
        historyLoaded_ = true;

        templateNames_ = PlainFilesMatching(config_->ProgramFolder, TemplateMask);
        View().SetTemplateNames(templateNames_);
        int selected = -1;
        for (size_t i = 0; i < templateNames_.size(); ++i) {
            if (SameText(templateNames_[i], Mail().DefaultFile)) {
                selected = static_cast<int>(i);
                break;
            }
        }
        View().SelectTemplate(selected);

        ApplyTemplateDefaults();
    } catch (const std::exception& error) {
        Ui().ShowError(error.what());
    }
}

void MailerController::ApplyTemplateDefaults()
{
    if (!config_)
        return;
    View().SetSubject(Mail().CurrentSubject);
    View().SetCc(Mail().CC);
    View().SetBcc(Mail().BCC);
}

void MailerController::Shutdown()
{
    if (!config_)
        return;
    if (commandDepth_ > 0) {
        shutdownRequested_ = true;
        return;
    }
    ShutdownNow();
}

void MailerController::ShutdownNow()
{
    shutdownRequested_ = false;
    if (!config_)
        return;
    auto step = [this](auto&& action) {
        try {
            action();
        } catch (const std::exception& error) {
            ShowPlainMessage(error.what());
        }
    };
    if (Mail().UseMAPI)
        step([this] { EndSystemMailSession(*systemMail_); });
    // A history that was never read is not written over the file.
    if (historyLoaded_ && view_) {
        step([this] {
            ReplaceFileContent(config_->ProgramFolder + HistoryFileName, JoinLinesCrLf(view_->RecipientHistory()));
        });
    }
    forwardFiles_.clear();
    step([this] { config_->SaveUserSettings(); });

    bulkActive_ = false;
    bulkFolder_.reset();
    pending_.reset();
    session_.reset();
    config_.reset();
}

// --- The window's smaller commands -----------------------------------------

void MailerController::FindComplaintEmails(std::uint16_t level)
{
    if (!config_ || mailing_)
        return;
    CommandScope command(*this);
    MailingScope mailing(*this);
    const std::string address = session_->FindSourceIP(View().MessageLines());
    LookupOutcome outcome = LookupOutcome::Cached;
    const std::string list = session_->LookupComplaintEmails(address, level, TemplatePosition(), &outcome);
    View().SetRecipients(list);
    // A search that no server answered leaves its own text in the status bar,
    // which says what the list in the box is worth.
    if (outcome != LookupOutcome::CachedAfterFailedSearch && outcome != LookupOutcome::SearchFailed)
        View().SetStatus("Finished " + address + " report");
}

void MailerController::SelectTemplate(int position)
{
    if (!config_ || position < 0 || static_cast<size_t>(position) >= templateNames_.size())
        return;
    CommandScope command(*this);
    Mail().DefaultFile = templateNames_[static_cast<size_t>(position)];
    config_->LoadMainSettings();
    View().SelectTemplate(position);
    ApplyTemplateDefaults();
}

void MailerController::RecipientsExit()
{
    if (!view_)
        return;
    const std::string text = view_->Recipients();
    if (text.empty())
        return;
    std::vector<std::string> history = view_->RecipientHistory();
    // A text that is part of any entry counts as known, as the history's
    // whole text is searched.
    if (Contains(JoinLinesCrLf(history), text))
        return;
    history.insert(history.begin(), text);
    view_->SetRecipientHistory(history);
}

void MailerController::BrowseAttachment()
{
    std::string path;
    if (!View().ChooseAttachmentFile(attachmentFolder_, path))
        return;
    if (FileExists(path))
        View().SetAttachmentPath(path);
    else
        ShowPlainMessage(path + " does not exist.");
}

void MailerController::OpenInvestigation()
{
    if (!config_)
        return;
    CommandScope command(*this);
    ReportContext& context = session_->Context();
    context.CurrentIP = session_->FindSourceIP(View().MessageLines());
    (void)session_->Search();
    if (showInvestigation)
        showInvestigation(context.CurrentIP);
}

void MailerController::LaunchUrls()
{
    if (openBrowser)
        BrowserPolicy::OpenUrlLines(View().MessageLines(), openBrowser);
}

void MailerController::AddToList(const char* caption, const char* prompt, const char* fileName)
{
    if (!config_)
        return;
    CommandScope command(*this);
    std::string answer;
    if (!Ui().AskText(caption, prompt, answer) || answer.empty())
        return;
    // The list holds one address a line.
    if (answer.find_first_of("\r\n") != std::string::npos) {
        ShowPlainMessage("An address to add to " + std::string(fileName) + " must be on one line.");
        return;
    }
    BusyCursor busy;
    session_->Cache().RemoveEmailFromCache(answer);
    AddLineToSortedFile(config_->ProgramFolder + fileName, answer);
}

void MailerController::AddToBlacklist()
{
    AddToList("Blacklist EMail", "Enter EMail address to blacklist", "EmailBlacklist.txt");
}

void MailerController::AddToBlocklist()
{
    AddToList("Blocklist EMail", "Enter EMail address to blocklist", "EmailBlocklist.txt");
}

void MailerController::ApplyBlacklist()
{
    if (!config_)
        return;
    CommandScope command(*this);
    BusyCursor busy;
    session_->Cache().ApplyBlacklist();
}

void MailerController::FixEmails()
{
    if (!config_)
        return;
    CommandScope command(*this);
    session_->Cache().FixEmails();
}

void MailerController::OpenHomePage()
{
    if (config_ && launchUrl)
        (void)launchUrl(config_->HomePage);
}

std::string MailerController::AboutText() const
{
    return "Morvanta\n\nVersion 2.001";
}

// --- Sending ---------------------------------------------------------------

void MailerController::SendReport()
{
    if (!config_ || mailing_)
        return;
    CommandScope command(*this);
    MailingScope mailing(*this);
    SendResult result = Send();
    if (pending_)
        ConcludeBulkFile(result);
    if (bulkActive_ && !shutdownRequested_)
        RunBulk();
}

bool MailerController::ValidSMTPParams() const
{
    return !smtpHost_.empty() && !config_->Mail->CurrentFromEMailAddress.empty();
}

std::vector<std::string> MailerController::LoadTemplate()
{
    const std::string path = config_->ProgramFolder + Mail().DefaultFile;
    if (FileExists(path))
        return SplitLines(ReadFileText(path));
    ShowPlainMessage(path + " does not exist.");
    return {};
}

MailerController::SendResult MailerController::Send()
{
    SendResult result;
    TrimWorkingSet();
    if (Trim(View().Recipients()).empty()) {
        lastSend_ = result.outcome;
        return result;
    }
    result.messageLines = View().MessageLines();
    session_->Context().CurrentIP = session_->FindSourceIP(result.messageLines);

    std::vector<std::string> templateLines;
    if (!forwardMode_)
        templateLines = LoadTemplate();

    smtpHost_ = Mail().HostAddress;
    if (!ValidSMTPParams()) {
        ShowPlainMessage("Invalid SMTP server parameters.");
        result.outcome = SendOutcome::InvalidSettings;
        lastSend_ = result.outcome;
        return result;
    }
    View().ClearInfo();

    std::string subject;
    std::string body;
    bool delivered = false;
    if (Mail().UseMAPI) {
        delivered = SendViaMAPI(templateLines, result.messageLines, subject, body);
    } else {
        // An address the parser refuses ends the command here: nothing is
        // sent, logged or spooled.
        AssembleMessage(templateLines);
        subject = message_.Subject;
        body = JoinLinesCrLf(message_.Body);
        try {
            DeliverMessage(smtp_, message_);
            delivered = true;
            if (forwardMode_)
                spool_.Clear();
        } catch (const std::exception& error) {
            ShowPlainMessage("Could not send mail, you may have an invalid SMTP host");
            View().AppendInfo(error.what());
        }
    }
    if (!delivered && !result.messageLines.empty()) {
        try {
            SpoolUnprocessable(result.messageLines);
            result.spooled = true;
        } catch (const FileError& error) {
            ShowPlainMessage(error.what());
        }
    }
    WriteLogRecord(subject, body);
    result.outcome = delivered ? SendOutcome::Sent : SendOutcome::Failed;
    lastSend_ = result.outcome;
    return result;
}

void MailerController::AssembleMessage(const std::vector<std::string>& templateLines)
{
    MailSettings& mail = Mail();
    ApplyMailSettings(smtp_, mail, config_->NetworkTimeout);
    smtp_.Host = smtpHost_;

    message_.Recipients.Clear();
    message_.ClearMessage();
    if (!mail.DefaultFromName.empty())
        message_.From().SetText(mail.DefaultFromName + " <" + mail.CurrentFromEMailAddress + ">");
    else
        message_.From().SetText(mail.CurrentFromEMailAddress);
    message_.Recipients.SetAddressListText(View().Recipients());
    message_.ReceiptRecipient.SetText(message_.From().Text());
    message_.CCList.SetAddressListText(View().Cc());
    message_.BccList.SetAddressListText(View().Bcc());

    if (forwardMode_) {
        for (const std::string& path : forwardFiles_)
            message_.Parts.AddAttachmentFile(path);
        return;
    }
    const std::string& address = session_->Context().CurrentIP;
    message_.Subject = ExpandMacros(View().Subject(), address);
    message_.SetBodyText(ReportBody(templateLines, View().MessageLines(), address));
    const std::string attachment = View().AttachmentPath();
    if (!attachment.empty())
        message_.Parts.AddAttachmentFile(attachment);
}

bool MailerController::SendViaMAPI(const std::vector<std::string>& templateLines,
                                   const std::vector<std::string>& messageLines, std::string& subject,
                                   std::string& body)
{
    SystemMailReport report;
    report.recipients = View().Recipients();
    report.configuredBcc = Mail().BCC;
    report.forwardMode = forwardMode_;
    report.forwardFiles = forwardFiles_;
    report.spoolFolder = SpoolFolder();
    if (!forwardMode_) {
        const std::string& address = session_->Context().CurrentIP;
        report.subject = ExpandMacros(View().Subject(), address);
        report.body = ReportBody(templateLines, messageLines, address);
        report.attachmentPath = View().AttachmentPath();
    }
    // A failure is shown there; the message is spooled and logged like one
    // that the SMTP server refused, and the program goes on.
    SystemMailOutcome outcome = SendViaSystemMail(*systemMail_, report);
    subject = outcome.subject;
    body = outcome.body;
    if (outcome.result != SystemMailResult::Sent && !outcome.detail.empty())
        View().AppendInfo(outcome.detail);
    return outcome.result == SystemMailResult::Sent;
}

void MailerController::WriteLogRecord(const std::string& subject, const std::string& body)
{
    (void)AppendLineToFile(
        config_->ProgramFolder + LogFileName,
        ReportLogRecord(View().Recipients(), View().Cc(), View().Bcc(), subject, body, View().AttachmentPath()));
}

std::string MailerController::SpoolUnprocessable(const std::vector<std::string>& lines)
{
    return spool_.Add(lines);
}

void MailerController::ForwardUnprocessedMessages()
{
    forwardFiles_ = spool_.Files();
    if (forwardFiles_.size() <= 2)
        return;
    View().SetMessageLines({});
    View().SetRecipients(Mail().ForwardUnProcessedEmail);
    struct ForwardModeScope {
        bool& flag;
        explicit ForwardModeScope(bool& mode)
            : flag(mode)
        {
            flag = true;
        }
        ~ForwardModeScope() { flag = false; }
    } forwarding(forwardMode_);
    (void)Send();
}

// --- Bulk reporting --------------------------------------------------------

void MailerController::BulkReport()
{
    if (!config_ || mailing_)
        return;
    CommandScope command(*this);
    MailingScope mailing(*this);
    TrimWorkingSet();
    std::string folder;
    if (!View().ChooseBulkFolder(config_->LastBulkReportPath, folder))
        return;
    View().ClearInfo();
    config_->LastBulkReportPath = IncludeTrailingPathDelimiter(folder);
    bulkActive_ = true;
    bulkFolder_.emplace(config_->LastBulkReportPath);
    // The message of a run left waiting stays in its folder.
    pending_.reset();
    RunBulk();
}

// One file per turn of the loop, so that a folder of any size keeps the
// same depth of calls.
void MailerController::RunBulk()
{
    while (bulkActive_ && !shutdownRequested_) {
        const BulkStep step = BulkReportNext();
        if (step == BulkStep::Settled)
            continue;
        if (step != BulkStep::ReadyToSend)
            return;
        SendResult result;
        try {
            result = Send();
        } catch (...) {
            // The run stops here; the file stays for the user's next send
            // command or the next run.
            if (pending_)
                ReportBulkFile(*pending_, BulkOutcome::Failed, true);
            throw;
        }
        ConcludeBulkFile(result);
    }
}

MailerController::BulkStep MailerController::BulkReportNext()
{
    std::optional<std::string> name = bulkFolder_ ? bulkFolder_->TakeNextFile() : std::nullopt;
    if (!name) {
        EndBulkRun();
        return BulkStep::Ended;
    }
    View().SetStatus("Loading file...");
    PendingFile file;
    file.name = *name;
    file.path = bulkFolder_->Path() + *name;
    // Gone since the folder was listed: whoever took it has it.
    if (!PathExists(file.path))
        return BulkStep::Settled;
    try {
        file.lines = ReadSavedMessage(file.path);
    } catch (const SavedMessageError& error) {
        // Unreadable or far too large: it stays where it is.
        ShowPlainMessage(error.what());
        View().SetRecipients({});
        ReportBulkFile(file, BulkOutcome::Failed, true);
        return BulkStep::Settled;
    }
    View().SetMessageLines(file.lines);
    if (IsSpamAssassinReport(file.lines)) {
        std::optional<std::vector<std::string>> enclosed = ReduceSpamAssassinReport(file.lines);
        if (!enclosed) {
            // Reporting the report itself would complain to the wrong network.
            View().SetRecipients({});
            bool spooled = false;
            try {
                SpoolUnprocessable(file.lines);
                spooled = true;
            } catch (const FileError& error) {
                ShowPlainMessage(error.what());
            }
            bool kept = !(spooled && DeleteBulkFile(file));
            View().SetStatus(spooled ? "No original message found in the SpamAssassin report: spooled it unreduced"
                                     : "No original message found in the SpamAssassin report");
            ReportBulkFile(file, spooled ? BulkOutcome::Spooled : BulkOutcome::Failed, kept);
            return BulkStep::Settled;
        }
        file.lines = std::move(*enclosed);
        View().SetMessageLines(file.lines);
    }

    file.address = session_->FindSourceIP(file.lines);
    View().SetRecipients(session_->LookupComplaintEmails(file.address, 0, TemplatePosition()));
    View().SetStatus("Finished " + file.address + " report");
    const std::string address = file.address;
    pending_ = std::move(file);

    Ui().ProcessPendingInput();
    if (shutdownRequested_ || !bulkActive_ || !pending_)
        return BulkStep::Stopped;

    if (Trim(View().Recipients()).empty())
        SettleSpooledFile(View().MessageLines());
    if (config_->PauseBulkReporting && !neverPause_) {
        View().SetStatus("Press Send Report button to report " + address);
        return BulkStep::Paused;
    }
    return BulkStep::ReadyToSend;
}

void MailerController::SettleSpooledFile(const std::vector<std::string>& lines)
{
    if (lines.empty()) {
        pending_->settled = BulkOutcome::Empty;
    } else {
        try {
            SpoolUnprocessable(lines);
            pending_->settled = BulkOutcome::Spooled;
        } catch (const FileError& error) {
            ShowPlainMessage(error.what());
            return;
        }
    }
    pending_->keptAfterSettling = !DeleteBulkFile(*pending_);
}

void MailerController::ConcludeBulkFile(const SendResult& result)
{
    PendingFile file = std::move(*pending_);
    pending_.reset();
    if (file.settled) {
        // Given an address by the user while the run waited, it went out too.
        BulkOutcome outcome = result.outcome == SendOutcome::Sent ? BulkOutcome::Sent : *file.settled;
        ReportBulkFile(file, outcome, file.keptAfterSettling);
        return;
    }
    const bool reported = result.outcome == SendOutcome::Sent || result.spooled;
    const bool kept = !(reported && DeleteBulkFile(file));
    ReportBulkFile(file, result.outcome == SendOutcome::Sent ? BulkOutcome::Sent : BulkOutcome::Failed, kept);
}

bool MailerController::DeleteBulkFile(const PendingFile& file)
{
    return ::unlink(file.path.c_str()) == 0 || errno == ENOENT;
}

void MailerController::ReportBulkFile(const PendingFile& file, BulkOutcome outcome, bool kept)
{
    if (onBulkFile)
        onBulkFile(BulkFileResult { file.name, file.address, View().Recipients(), outcome, kept });
}

void MailerController::EndBulkRun()
{
    bulkActive_ = false;
    bulkFolder_.reset();
    pending_.reset();
    if (Mail().ForwardUnProcessed && !Mail().ForwardUnProcessedEmail.empty())
        ForwardUnprocessedMessages();
    View().SetStatus("Finished bulk reporting.");
}

} // namespace morvanta
