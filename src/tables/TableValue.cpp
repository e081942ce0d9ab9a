#include "tables/TableValue.h"

#include <chrono>
#include <cstdio>

namespace morvanta {

namespace {

using namespace std::chrono;

constexpr int kSecondsPerDay = 86400;

// Checked on the day number itself: a year_month_day keeps its year in 16
// bits, so a day number far outside wraps round to a year that looks valid.
std::optional<year_month_day> CivilDate(int dayNumber)
{
    if (dayNumber < kFirstDayNumber || dayNumber > kLastDayNumber)
        return std::nullopt;
    return year_month_day { sys_days { days { dayNumber } } };
}

// Reads exactly `width` decimal digits.
bool ReadDigits(std::string_view text, size_t position, size_t width, int& result)
{
    if (position + width > text.size())
        return false;
    result = 0;
    for (size_t i = position; i < position + width; ++i) {
        if (text[i] < '0' || text[i] > '9')
            return false;
        result = result * 10 + (text[i] - '0');
    }
    return true;
}

} // namespace

std::optional<TableDate> ParseDate(std::string_view text)
{
    int y = 0, m = 0, d = 0;
    if (text.size() != 10 || text[4] != '-' || text[7] != '-' || !ReadDigits(text, 0, 4, y)
        || !ReadDigits(text, 5, 2, m) || !ReadDigits(text, 8, 2, d) || y < 1)
        return std::nullopt;
    year_month_day date { year { y }, month { static_cast<unsigned>(m) }, day { static_cast<unsigned>(d) } };
    if (!date.ok())
        return std::nullopt;
    return TableDate { static_cast<int>(sys_days { date }.time_since_epoch().count()) };
}

const char* FieldTypeName(FieldType type)
{
    switch (type) {
    case FieldType::Text: return "text";
    case FieldType::Integer: return "integer";
    case FieldType::Date: return "date";
    case FieldType::DateTime: return "date-time";
    }
    return "?";
}

TableDateTime TableDateTime::Of(const LocalDateTime& moment)
{
    return TableDateTime { moment.DayNumber(), moment.hour * 3600 + moment.minute * 60 + moment.second };
}

LocalDateTime TableDateTime::ToLocal() const
{
    LocalDateTime result;
    year_month_day date { sys_days { days { dayNumber } } };
    result.year = static_cast<int>(date.year());
    result.month = static_cast<int>(static_cast<unsigned>(date.month()));
    result.day = static_cast<int>(static_cast<unsigned>(date.day()));
    result.hour = secondOfDay / 3600;
    result.minute = secondOfDay / 60 % 60;
    result.second = secondOfDay % 60;
    result.weekday = static_cast<int>(weekday { sys_days { days { dayNumber } } }.c_encoding());
    result.utcOffsetSeconds = 0;
    return result;
}

std::optional<std::string> FormatDate(TableDate date)
{
    auto civil = CivilDate(date.dayNumber);
    if (!civil)
        return std::nullopt;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%04d-%02u-%02u", static_cast<int>(civil->year()),
                  static_cast<unsigned>(civil->month()), static_cast<unsigned>(civil->day()));
    return std::string(buffer);
}

std::optional<std::string> FormatDateTime(TableDateTime moment)
{
    if (moment.secondOfDay < 0 || moment.secondOfDay >= kSecondsPerDay)
        return std::nullopt;
    auto date = FormatDate(moment.Date());
    if (!date)
        return std::nullopt;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, " %02d:%02d:%02d", moment.secondOfDay / 3600, moment.secondOfDay / 60 % 60,
                  moment.secondOfDay % 60);
    return *date + buffer;
}

std::optional<TableDateTime> ParseDateTime(std::string_view text)
{
    if (text.size() != 19 || text[10] != ' ' || text[13] != ':' || text[16] != ':')
        return std::nullopt;
    auto date = ParseDate(text.substr(0, 10));
    int h = 0, m = 0, s = 0;
    if (!date || !ReadDigits(text, 11, 2, h) || !ReadDigits(text, 14, 2, m) || !ReadDigits(text, 17, 2, s) || h > 23
        || m > 59 || s > 59)
        return std::nullopt;
    return TableDateTime { date->dayNumber, h * 3600 + m * 60 + s };
}

bool TableValue::FitsField(FieldType type) const
{
    switch (type) {
    case FieldType::Text: return IsNull() || IsText();
    case FieldType::Integer: return IsNull() || IsInteger();
    case FieldType::Date: return IsNull() || IsDate();
    case FieldType::DateTime: return IsNull() || IsDateTime();
    }
    return false;
}

std::string TableValue::Describe() const
{
    if (IsNull())
        return "NULL";
    if (IsText())
        return "\"" + Text() + "\"";
    if (IsInteger())
        return std::to_string(Integer());
    if (IsDate())
        return FormatDate(Date()).value_or("day " + std::to_string(Date().dayNumber));
    return FormatDateTime(DateTime())
        .value_or("day " + std::to_string(DateTime().dayNumber) + " second " + std::to_string(DateTime().secondOfDay));
}

std::ostream& operator<<(std::ostream& stream, const TableValue& value)
{
    return stream << value.Describe();
}

std::ostream& operator<<(std::ostream& stream, TableDate date)
{
    return stream << TableValue(date).Describe();
}

std::ostream& operator<<(std::ostream& stream, TableDateTime moment)
{
    return stream << TableValue(moment).Describe();
}

} // namespace morvanta
