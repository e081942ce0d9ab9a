#include "net/DateHeader.h"

#include "net/MessageErrors.h"

#include <cstdio>
#include <cstdlib>

namespace morvanta {

namespace {

constexpr const char* WeekdayNames[] = { "Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat" };
constexpr const char* MonthNames[]
    = { "Jan", "Feb", "Mar", "Apr", "May", "Jun", "Jul", "Aug", "Sep", "Oct", "Nov", "Dec" };

bool IsPlausible(const LocalDateTime& local)
{
    constexpr int MaxOffsetSeconds = 24 * 3600;
    return local.weekday >= 0 && local.weekday <= 6 && local.month >= 1 && local.month <= 12 && local.day >= 1
           && local.day <= 31 && local.year >= 0 && local.year <= 9999 && local.hour >= 0 && local.hour <= 23
           && local.minute >= 0 && local.minute <= 59 && local.second >= 0 && local.second <= 60
           && std::abs(local.utcOffsetSeconds) < MaxOffsetSeconds;
}

} // namespace

std::string InternetDateText(const LocalDateTime& local)
{
    if (!IsPlausible(local))
        throw TimeZoneInfoError();
    int offsetMinutes = std::abs(local.utcOffsetSeconds) / 60;
    char buffer[64];
    std::snprintf(buffer, sizeof buffer, "%s, %d %s %04d %02d:%02d:%02d %c%02d%02d", WeekdayNames[local.weekday],
                  local.day, MonthNames[local.month - 1], local.year, local.hour, local.minute, local.second,
                  local.utcOffsetSeconds < 0 ? '-' : '+', offsetMinutes / 60, offsetMinutes % 60);
    return buffer;
}

} // namespace morvanta
