#pragma once

#include "base/UiServices.h"

namespace morvanta {

// The UI services with Qt dialogs.
class QtUiServices : public UiServices {
public:
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons,
                              MessageIcon icon) override;
    bool AskText(const std::string& caption, const std::string& prompt, std::string& value) override;
    void ShowError(const std::string& message) override;
    void SetBusyCursor(bool busy) override;
    void ProcessPendingInput() override;
};

} // namespace morvanta
