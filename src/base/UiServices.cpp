#include "base/UiServices.h"

#include <cstdio>

namespace morvanta {

namespace {

ConsoleUiServices& ConsoleServices()
{
    static ConsoleUiServices services;
    return services;
}

UiServices* g_current = nullptr;

MessageResult FirstButton(MessageButtons buttons)
{
    switch (buttons) {
    case MessageButtons::Ok:
    case MessageButtons::OkCancel: return MessageResult::Ok;
    case MessageButtons::YesNo:
    case MessageButtons::YesNoCancel: return MessageResult::Yes;
    case MessageButtons::RetryCancel: return MessageResult::Retry;
    case MessageButtons::AbortRetryIgnore: return MessageResult::Abort;
    }
    return MessageResult::Ok;
}

} // namespace

UiServices& Ui()
{
    return g_current ? *g_current : ConsoleServices();
}

ScopedUiServices::ScopedUiServices(UiServices& services)
    : previous_(g_current)
{
    g_current = &services;
}

ScopedUiServices::~ScopedUiServices()
{
    g_current = previous_;
}

MessageResult ConsoleUiServices::ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons,
                                             MessageIcon)
{
    std::fprintf(stderr, "%s: %s\n", title.c_str(), text.c_str());
    return FirstButton(buttons);
}

bool ConsoleUiServices::AskText(const std::string& caption, const std::string& prompt, std::string&)
{
    std::fprintf(stderr, "%s: %s (no answer without a terminal)\n", caption.c_str(), prompt.c_str());
    return false;
}

void ConsoleUiServices::ShowError(const std::string& message)
{
    std::fprintf(stderr, "%s\n", message.c_str());
}

void ConsoleUiServices::SetBusyCursor(bool)
{
}

void ConsoleUiServices::ProcessPendingInput()
{
}

} // namespace morvanta
