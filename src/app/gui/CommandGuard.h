#pragma once

#include "base/UiServices.h"

#include <exception>
#include <utility>

namespace morvanta {

// Runs one command of a window. A failure that no routine caught ends the
// command and is shown by the general error handler; the program goes on.
template <typename Command> void RunGuarded(Command&& command)
{
    try {
        std::forward<Command>(command)();
    } catch (const std::exception& error) {
        Ui().ShowError(error.what());
    } catch (...) {
        Ui().ShowError("Unknown error");
    }
}

} // namespace morvanta
