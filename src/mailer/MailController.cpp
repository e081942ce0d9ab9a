#include "mailer/MailController.h"

#include "app/Platform.h"
#include "app/UiServices.h"

#include <exception>

namespace morvanta {

TMailController::TMailController(std::string programFolder)
    : programFolder_(IncludeTrailingPathDelimiter(std::move(programFolder)))
{
}

TMailController::TMailController()
    : TMailController(GetProgramFolder())
{
}

TMailController::~TMailController() = default;

std::string TMailController::SpoolFolder() const
{
    return programFolder_ + "UnProcessableSpam/";
}

void TMailController::FormCreate()
{
    config_ = std::make_unique<TConfig>(programFolder_);
    ForceDirectories(SpoolFolder());
}

void TMailController::FormDestroy()
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
