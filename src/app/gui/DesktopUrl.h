#pragma once

#include <string>

namespace morvanta {

// Opens the address with the desktop's default handler. A refusal is shown
// in a message box titled "Could not start your Internet browser" with the
// text "Launch Error"; the result says whether the desktop took it.
bool OpenWithDesktop(const std::string& address);

} // namespace morvanta
