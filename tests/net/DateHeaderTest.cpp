#include "net/DateHeader.h"

#include "net/MessageErrors.h"

#include <gtest/gtest.h>

namespace morvanta {
namespace {

struct DateCase {
    const char* name;
    FixedClock clock;
    const char* expected;
};

TEST(InternetDateText, WritesWeekdayDateTimeAndTheLocalOffset)
{
    const DateCase cases[] = {
        { "one hour ahead of UTC", FixedClock::AtLocal(2026, 12, 8, 14, 2, 8, 3600), "Tue, 8 Dec 2026 14:02:08 +0100" },
        { "UTC is plus and four zeros", FixedClock::AtLocal(2027, 1, 31, 0, 0, 0, 0),
          "Sun, 31 Jan 2027 00:00:00 +0000" },
        { "behind UTC with half hours", FixedClock::AtLocal(2026, 7, 4, 23, 59, 59, -(3 * 3600 + 1800)),
          "Sat, 4 Jul 2026 23:59:59 -0330" },
        { "far ahead", FixedClock::AtLocal(2024, 2, 29, 9, 5, 1, 13 * 3600 + 45 * 60),
          "Thu, 29 Feb 2024 09:05:01 +1345" },
    };
    for (const DateCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(InternetDateText(c.clock.LocalNow()), c.expected);
    }
}

TEST(InternetDateText, LocalTimeThatCouldNotBeToldRaisesTheTimeZoneError)
{
    LocalDateTime unknown;
    unknown.day = 0; // what a failed localtime_r leaves
    unknown.month = 1;
    try {
        (void)InternetDateText(unknown);
        FAIL() << "no error raised";
    } catch (const TimeZoneInfoError& error) {
        EXPECT_STREQ(error.what(), "Failed attempting to retrieve time zone information.");
    }
}

} // namespace
} // namespace morvanta
