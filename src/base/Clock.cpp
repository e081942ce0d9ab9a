#include "base/Clock.h"

#include <ctime>

namespace morvanta {

using namespace std::chrono;

int LocalDateTime::DayNumber() const
{
    return sys_days(year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                   std::chrono::day(static_cast<unsigned>(day))))
        .time_since_epoch()
        .count();
}

system_clock::time_point SystemClock::Now() const
{
    return system_clock::now();
}

LocalDateTime SystemClock::ToLocal(system_clock::time_point moment) const
{
    std::time_t seconds = system_clock::to_time_t(moment);
    std::tm local {};
    localtime_r(&seconds, &local);
    LocalDateTime result;
    result.year = local.tm_year + 1900;
    result.month = local.tm_mon + 1;
    result.day = local.tm_mday;
    result.hour = local.tm_hour;
    result.minute = local.tm_min;
    result.second = local.tm_sec;
    result.weekday = local.tm_wday;
    result.utcOffsetSeconds = static_cast<int>(local.tm_gmtoff);
    return result;
}

const SystemClock& SystemClock::Instance()
{
    static SystemClock clock;
    return clock;
}

FixedClock FixedClock::AtLocal(int year, int month, int day, int hour, int minute, int second, int utcOffsetSeconds)
{
    sys_days date = year_month_day(std::chrono::year(year), std::chrono::month(static_cast<unsigned>(month)),
                                   std::chrono::day(static_cast<unsigned>(day)));
    system_clock::time_point local = date + hours(hour) + minutes(minute) + seconds(second);
    return FixedClock(local - seconds(utcOffsetSeconds), utcOffsetSeconds);
}

LocalDateTime FixedClock::ToLocal(system_clock::time_point moment) const
{
    auto local = floor<seconds>(moment) + seconds(offset_);
    sys_days date = floor<days>(local);
    year_month_day ymd(date);
    hh_mm_ss<seconds> time(local - date);
    LocalDateTime result;
    result.year = static_cast<int>(ymd.year());
    result.month = static_cast<int>(static_cast<unsigned>(ymd.month()));
    result.day = static_cast<int>(static_cast<unsigned>(ymd.day()));
    result.hour = static_cast<int>(time.hours().count());
    result.minute = static_cast<int>(time.minutes().count());
    result.second = static_cast<int>(time.seconds().count());
    result.weekday = static_cast<int>(weekday(date).c_encoding());
    result.utcOffsetSeconds = offset_;
    return result;
}

} // namespace morvanta
