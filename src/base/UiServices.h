#pragma once

#include <memory>
#include <string>

namespace morvanta {

enum class MessageButtons { Ok, OkCancel, YesNo, YesNoCancel, RetryCancel, AbortRetryIgnore };
enum class MessageIcon { None, Information, Warning, Error, Question };
enum class MessageResult { Ok, Cancel, Yes, No, Retry, Abort, Ignore };

// What the program's routines ask of the user interface. The Qt program
// answers with real dialogs, the command-line tool on standard error, and
// tests with a recorder that scripts the answers.
class UiServices {
public:
    virtual ~UiServices() = default;

    // A message box without an owner window.
    virtual MessageResult ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons,
                                      MessageIcon icon)
        = 0;

    // An input box: returns false when the user cancels, otherwise the answer
    // is left in value (which holds the default on entry).
    virtual bool AskText(const std::string& caption, const std::string& prompt, std::string& value) = 0;

    // The general error handler: a failure that no routine caught.
    virtual void ShowError(const std::string& message) = 0;

    virtual void SetBusyCursor(bool busy) = 0;

    // Lets the user interface handle the input that is waiting.
    virtual void ProcessPendingInput() = 0;
};

// The services in force for this process. Without a front end installed,
// messages go to standard error as "Title: text".
UiServices& Ui();

// Installs services for the lifetime of this object, restoring the previous
// ones afterwards.
class ScopedUiServices {
public:
    explicit ScopedUiServices(UiServices& services);
    ~ScopedUiServices();
    ScopedUiServices(const ScopedUiServices&) = delete;
    ScopedUiServices& operator=(const ScopedUiServices&) = delete;

private:
    UiServices* previous_;
};

// Front end for programs without windows: texts go to standard error, every
// box takes its first button and every input box is cancelled.
class ConsoleUiServices : public UiServices {
public:
    MessageResult ShowMessage(const std::string& text, const std::string& title, MessageButtons buttons,
                              MessageIcon icon) override;
    bool AskText(const std::string& caption, const std::string& prompt, std::string& value) override;
    void ShowError(const std::string& message) override;
    void SetBusyCursor(bool busy) override;
    void ProcessPendingInput() override;
};

} // namespace morvanta
