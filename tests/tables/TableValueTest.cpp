#include "tables/TableValue.h"

#include <gtest/gtest.h>

namespace morvanta {
namespace {

TEST(TableValue, DatesRoundTripThroughTheirText)
{
    struct Case {
        const char* name;
        int dayNumber;
        const char* text;
    };
    const Case cases[] = {
        { "epoch", 0, "1970-01-01" },
        { "leap day", 19782, "2024-02-29" },
        { "before the epoch", -1, "1969-12-31" },
        { "first year", -719162, "0001-01-01" },
        { "last day", 2932896, "9999-12-31" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FormatDate(TableDate { c.dayNumber }), c.text);
        EXPECT_EQ(ParseDate(c.text), TableDate { c.dayNumber });
    }
}

TEST(TableValue, DateTimesRoundTripThroughTheirText)
{
    TableDateTime moment { 19782, 23 * 3600 + 59 * 60 + 58 };
    EXPECT_EQ(FormatDateTime(moment), "2024-02-29 23:59:58");
    EXPECT_EQ(ParseDateTime("2024-02-29 23:59:58"), moment);
    EXPECT_EQ(ParseDateTime("1970-01-01 00:00:00"), (TableDateTime { 0, 0 }));
}

TEST(TableValue, RejectsTextsThatAreNotExactlyADate)
{
    for (const char* text : { "", "2024-2-29", "2023-02-29", "2024-13-01", "2024-00-10", "0000-01-01", "2024-01-01 ",
                              "2024/01/01", "20x4-01-01", "2024-01-01 10:00:00" }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseDate(text));
    }
    for (const char* text :
         { "2024-01-01", "2024-01-01 24:00:00", "2024-01-01 10:60:00", "2024-01-01T10:00:00", "2024-01-01 10:00" }) {
        SCOPED_TRACE(text);
        EXPECT_FALSE(ParseDateTime(text));
    }
}

TEST(TableValue, DoesNotFormatYearsOutsideOneTo9999)
{
    // Far outside, a day number could wrap round to a year that looks valid.
    for (int dayNumber : { 2932897, -719163, 12000000, 2147483000, -2147483000 }) {
        SCOPED_TRACE(dayNumber);
        EXPECT_FALSE(FormatDate(TableDate { dayNumber }));
        EXPECT_FALSE(FormatDateTime(TableDateTime { dayNumber, 0 }));
    }
    EXPECT_FALSE(FormatDateTime(TableDateTime { 0, 86400 }));
}

TEST(TableValue, DateTimeKeepsTheWallClockOfALocalMoment)
{
    LocalDateTime local;
    local.year = 2024;
    local.month = 3;
    local.day = 18;
    local.hour = 14;
    local.minute = 5;
    local.second = 9;
    local.utcOffsetSeconds = 3600;
    TableDateTime moment = TableDateTime::Of(local);
    EXPECT_EQ(FormatDateTime(moment), "2024-03-18 14:05:09");
    LocalDateTime back = moment.ToLocal();
    EXPECT_EQ(back.hour, 14);
    EXPECT_EQ(back.day, 18);
    EXPECT_EQ(back.weekday, 1); // a Monday
    EXPECT_EQ(TableDate::Of(local), moment.Date());
}

TEST(TableValue, FitsOnlyFieldsOfItsOwnKind)
{
    EXPECT_TRUE(TableValue().FitsField(FieldType::Date));
    EXPECT_TRUE(TableValue("x").FitsField(FieldType::Text));
    EXPECT_FALSE(TableValue("2024-01-01").FitsField(FieldType::Date));
    EXPECT_FALSE(TableValue(5).FitsField(FieldType::Text));
    EXPECT_TRUE(TableValue(65535u).FitsField(FieldType::Integer));
    EXPECT_FALSE(TableValue(TableDate { 1 }).FitsField(FieldType::DateTime));
}

} // namespace
} // namespace morvanta
