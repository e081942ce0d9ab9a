#include "mailer/MailerController.h"

#include "app/Platform.h"
#include "base/Files.h"
#include "base/Clock.h"
#include "base/UiServices.h"

#include <exception>

namespace morvanta {

MailerController::MailerController(std::string programFolder)
    : programFolder_(IncludeTrailingPathDelimiter(std::move(programFolder)))
{
}

MailerController::MailerController()
    : MailerController(GetProgramFolder())
{
}

MailerController::~MailerController() = default;

std::string MailerController::SpoolFolder() const
{
    return programFolder_ + "UnProcessableSpam/";
}

void MailerController::Start()
{
    config_ = std::make_unique<Config>(programFolder_);
    session_ = std::make_unique<ReportSession>(*config_, SystemClock::Instance());
    ForceDirectories(SpoolFolder());
}

void MailerController::Shutdown()
{
    if (!config_)
        return;
    try {
        config_->SaveUserSettings();
    } catch (const std::exception& error) {
        Ui().ShowMessage(error.what(), "Morvanta", MessageButtons::Ok, MessageIcon::None);
    }
    session_.reset();
    config_.reset();
}

// FIXME: the window's commands are being built; until then they do nothing.
void MailerController::Show() {}
void MailerController::SendReport() {}
void MailerController::BulkReport() {}
void MailerController::FindComplaintEmails(std::uint16_t) {}
void MailerController::SelectTemplate(int) {}
void MailerController::RecipientsExit() {}
void MailerController::BrowseAttachment() {}
void MailerController::OpenInvestigation() {}
void MailerController::LaunchUrls() {}
void MailerController::AddToBlacklist() {}
void MailerController::AddToBlocklist() {}
void MailerController::ApplyBlacklist() {}
void MailerController::FixEmails() {}
void MailerController::OpenHomePage() {}

std::string MailerController::AboutText() const
{
    return "Morvanta\n\nVersion 2.001";
}

} // namespace morvanta
