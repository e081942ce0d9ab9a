#include "mailer/MailerController.h"

#include "app/Platform.h"
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

void MailerController::FormCreate()
{
    config_ = std::make_unique<Config>(programFolder_);
    ForceDirectories(SpoolFolder());
}

void MailerController::FormDestroy()
{
    if (!config_)
        return;
    try {
        config_->SaveUserSettings();
    } catch (const std::exception& error) {
        Ui().ShowMessage(error.what(), "Morvanta", MessageButtons::Ok, MessageIcon::None);
    }
    config_.reset();
}

} // namespace morvanta
