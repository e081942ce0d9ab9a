#pragma once

#include "base/Clock.h"

#include <string>

namespace morvanta {

// RFC 5322 3.3 date-time with the local offset, such as
// "Tue, 8 Dec 2026 14:02:08 +0100". Throws TimeZoneInfoError
// when the local time could not be told (the fields are out of range).
[[nodiscard]] std::string InternetDateText(const LocalDateTime& local);

} // namespace morvanta
