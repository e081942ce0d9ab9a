#pragma once

#include "base/Clock.h"

#include <concepts>
#include <cstdint>
#include <optional>
#include <ostream>
#include <string>
#include <string_view>
#include <variant>

namespace morvanta {

enum class FieldType { Text, Integer, Date, DateTime };

[[nodiscard]] const char* FieldTypeName(FieldType type);

// A whole local day, counted in days from 1970-01-01 (the numbering of
// LocalDateTime::DayNumber).
struct TableDate {
    int dayNumber = 0;

    [[nodiscard]] static TableDate Of(const LocalDateTime& moment) { return TableDate { moment.DayNumber() }; }

    friend auto operator<=>(const TableDate&, const TableDate&) = default;
};

// A local date and time of day to the second, without a zone.
struct TableDateTime {
    int dayNumber = 0;
    int secondOfDay = 0; // 0 to 86399

    [[nodiscard]] static TableDateTime Of(const LocalDateTime& moment);
    [[nodiscard]] TableDate Date() const { return TableDate { dayNumber }; }
    // The moment as wall-clock fields; the zone offset is 0.
    [[nodiscard]] LocalDateTime ToLocal() const;

    friend auto operator<=>(const TableDateTime&, const TableDateTime&) = default;
};

// The day numbers of 0001-01-01 and 9999-12-31, the range of the dates kept.
inline constexpr int kFirstDayNumber = -719162;
inline constexpr int kLastDayNumber = 2932896;

// Dates are written "YYYY-MM-DD" and date-times "YYYY-MM-DD HH:MM:SS", for
// the years 1 to 9999. Formatting a value outside them gives an empty optional.
[[nodiscard]] std::optional<std::string> FormatDate(TableDate date);
[[nodiscard]] std::optional<std::string> FormatDateTime(TableDateTime moment);
[[nodiscard]] std::optional<TableDate> ParseDate(std::string_view text);
[[nodiscard]] std::optional<TableDateTime> ParseDateTime(std::string_view text);

// One field value: null, a text (bytes as they are), an integer, a date or a
// date-time.
class TableValue {
public:
    TableValue() = default;
    TableValue(std::string text)
        : value_(std::move(text))
    {
    }
    TableValue(const char* text)
        : value_(std::string(text))
    {
    }
    TableValue(std::string_view text)
        : value_(std::string(text))
    {
    }
    template <std::integral Number>
    requires(!std::same_as<Number, bool> && !std::same_as<Number, char>) TableValue(Number number)
        : value_(static_cast<std::int64_t>(number))
    {
    }
    TableValue(TableDate date)
        : value_(date)
    {
    }
    TableValue(TableDateTime moment)
        : value_(moment)
    {
    }

    [[nodiscard]] bool IsNull() const { return std::holds_alternative<std::monostate>(value_); }
    [[nodiscard]] bool IsText() const { return std::holds_alternative<std::string>(value_); }
    [[nodiscard]] bool IsInteger() const { return std::holds_alternative<std::int64_t>(value_); }
    [[nodiscard]] bool IsDate() const { return std::holds_alternative<TableDate>(value_); }
    [[nodiscard]] bool IsDateTime() const { return std::holds_alternative<TableDateTime>(value_); }

    // The held value; asking for another kind than the one held throws
    // std::bad_variant_access.
    [[nodiscard]] const std::string& Text() const { return std::get<std::string>(value_); }
    [[nodiscard]] std::int64_t Integer() const { return std::get<std::int64_t>(value_); }
    [[nodiscard]] TableDate Date() const { return std::get<TableDate>(value_); }
    [[nodiscard]] TableDateTime DateTime() const { return std::get<TableDateTime>(value_); }

    // Whether the value may be stored in a field of the type: null fits
    // every field, otherwise the kinds must agree.
    [[nodiscard]] bool FitsField(FieldType type) const;

    // A short readable form for messages: NULL, "text", 12, 2024-05-01, ...
    [[nodiscard]] std::string Describe() const;

    friend bool operator==(const TableValue&, const TableValue&) = default;

private:
    std::variant<std::monostate, std::string, std::int64_t, TableDate, TableDateTime> value_;
};

std::ostream& operator<<(std::ostream& stream, const TableValue& value);
std::ostream& operator<<(std::ostream& stream, TableDate date);
std::ostream& operator<<(std::ostream& stream, TableDateTime moment);

} // namespace morvanta
