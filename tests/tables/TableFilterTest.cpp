#include "tables/TableFilter.h"

#include "tables/TableError.h"

#include <gtest/gtest.h>

namespace morvanta {
namespace {

using Kind = TableFilter::Kind;

TEST(TableFilter, ReadsTheFormsTheCacheWrites)
{
    struct Case {
        const char* name;
        const char* expression;
        const char* field;
        Kind kind;
        const char* text;
    };
    const Case cases[] = {
        { "contains", R"(Emails LIKE "%x@y.com%")", "EMails", Kind::Contains, "x@y.com" },
        { "begins with a comma", R"(Emails LIKE ",%")", "EMails", Kind::BeginsWith, "," },
        { "ends with", R"(EMails2 like "%.org")", "EMails2", Kind::EndsWith, ".org" },
        { "equals", R"(ip LIKE "10.0.0.1")", "IP", Kind::Equals, "10.0.0.1" },
        { "blanks around", "  Emails   Like  \"%a%\"  ", "EMails", Kind::Contains, "a" },
        { "underscore is plain", R"(Emails LIKE "%a_b@c.org%")", "EMails", Kind::Contains, "a_b@c.org" },
        { "inner percent is plain", R"(Emails LIKE "%a%b@c.org%")", "EMails", Kind::Contains, "a%b@c.org" },
        { "address ending in percent", R"(Emails LIKE "%a%%")", "EMails", Kind::Contains, "a%" },
        { "inner quote is plain", R"(Emails LIKE "%"q"@c.org%")", "EMails", Kind::Contains, "\"q\"@c.org" },
        { "empty contains", R"(Emails LIKE "%%")", "EMails", Kind::Contains, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TableFilter filter = TableFilter::Parse(c.expression, IPListTableDef());
        EXPECT_EQ(IPListTableDef().fields[filter.FieldIndex()].name, c.field);
        EXPECT_EQ(filter.Test(), c.kind);
        EXPECT_EQ(filter.Text(), c.text);
    }
}

TEST(TableFilter, RejectsEverythingElseWithAClearError)
{
    struct Case {
        const char* name;
        const char* expression;
        int code;
    };
    const Case cases[] = {
        { "no operator", R"(Emails "%a%")", TableErrorCode::BadFilter },
        { "equals sign", R"(Emails = "a")", TableErrorCode::BadFilter },
        { "single quotes", "Emails LIKE '%a%'", TableErrorCode::BadFilter },
        { "unquoted", "Emails LIKE %a%", TableErrorCode::BadFilter },
        { "unterminated", R"(Emails LIKE "%a%)", TableErrorCode::BadFilter },
        { "trailing words", R"(Emails LIKE "%a%" AND)", TableErrorCode::BadFilter },
        { "NOT LIKE", R"(Emails NOT LIKE "%a%")", TableErrorCode::BadFilter },
        { "LIKEX", R"(Emails LIKEX "%a%")", TableErrorCode::BadFilter },
        { "no field", R"(LIKE "%a%")", TableErrorCode::BadFilter },
        { "unknown field", R"(Mails LIKE "%a%")", TableErrorCode::FieldNotFound },
        { "date field", R"(LastUpdate LIKE "2024%")", TableErrorCode::BadFilter },
        { "integer field", R"(Reports LIKE "1%")", TableErrorCode::BadFilter },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)TableFilter::Parse(c.expression, IPListTableDef());
            ADD_FAILURE() << "accepted";
        } catch (const TableError& error) {
            EXPECT_EQ(error.code(), c.code);
            EXPECT_NE(std::string(error.what()).find(c.expression), std::string::npos) << error.what();
        }
    }
}

TEST(TableFilter, MatchesPlainTextCaseSensitively)
{
    struct Case {
        const char* name;
        const char* expression;
        const char* field;
        bool matches;
    };
    const Case cases[] = {
        { "contained", R"(Emails LIKE "%x@y.com%")", "a@b.org,x@y.com", true },
        { "inside a longer address", R"(Emails LIKE "%x@y.com%")", "ax@y.com", true },
        { "underscore is no wildcard", R"(Emails LIKE "%a_b@c.org%")", "axb@c.org", false },
        { "underscore itself", R"(Emails LIKE "%a_b@c.org%")", "z@z.org,a_b@c.org", true },
        { "percent is no wildcard", R"(Emails LIKE "%a%b@c.org%")", "a-long-b@c.org", false },
        { "percent itself", R"(Emails LIKE "%a%b@c.org%")", "a%b@c.org", true },
        { "other case", R"(Emails LIKE "%x@y.com%")", "X@Y.COM", false },
        { "leading comma", R"(Emails LIKE ",%")", ",,a@b.org", true },
        { "comma later", R"(Emails LIKE ",%")", "a@b.org,", false },
        { "empty field", R"(Emails LIKE ",%")", "", false },
        { "ends with", R"(Emails LIKE "%.org")", "a@b.org", true },
        { "equals exactly", R"(Emails LIKE "a@b.org")", "a@b.org,", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(TableFilter::Parse(c.expression, IPListTableDef()).Matches(c.field), c.matches);
    }
}

} // namespace
} // namespace morvanta
