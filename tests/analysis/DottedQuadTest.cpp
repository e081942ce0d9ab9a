#include "analysis/DottedQuad.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace morvanta {
namespace {

struct TextCase {
    const char* name;
    std::string input;
    std::string expected;
};

TEST(ExtractDottedQuad, FindsTheFirstQuadEndedByAnyOtherCharacter)
{
    const TextCase cases[] = {
        { "bracketed in a Received line",
          "Received: from mail.example.invalid (mail.example.invalid [192.0.2.7]) by mx.example.invalid", "192.0.2.7" },
        { "letters directly around it", "x1.2.3.4y", "1.2.3.4" },
        { "at the very end", "from 10.0.0.1", "10.0.0.1" },
        { "group values not limited", "999.1.1.1;", "999.1.1.1" },
        { "long digit groups kept", "01234567890.1.2.3 ", "01234567890.1.2.3" },
        { "ended by a hyphen", "1.2.3.4-rev", "1.2.3.4" },
        { "fourth dot spoils the run, later quad taken", "1.2.3.4.5 and 6.7.8.9", "6.7.8.9" },
        { "short run does not stop the search", "1.2.3 4.5.6.7", "4.5.6.7" },
        { "leading dots skipped", "...1.2.3.4 ", "1.2.3.4" },
        { "a double dot starts a fresh run", "1.2..3.4.5.6 x", "3.4.5.6" },
        { "first of two quads", "[1.1.1.1] [2.2.2.2]", "1.1.1.1" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtractDottedQuad(c.input), c.expected);
    }
}

TEST(ExtractDottedQuad, GivesEmptyWithoutACompleteQuad)
{
    const TextCase cases[] = {
        { "empty text", "", "" },
        { "no digits", "Received: from localhost", "" },
        { "two groups at the end", "version 1.2", "" },
        { "three groups", "1.2.3", "" },
        { "double dot", "1..2.3.4 ", "" },
        { "trailing dot at the end", "host 10.0.0.8.", "" },
        { "trailing dots before a blank", "1.2.3.4.. x", "" },
        { "five groups at the end", "1.2.3.4.5", "" },
        { "empty group before the last dot", "1.2.3..4", "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExtractDottedQuad(c.input), c.expected);
    }
}

// The scan character by character, as plainly as it can be written.
std::string ReferenceDottedQuad(const std::string& text)
{
    std::string group, prefix;
    int dots = 0;
    for (char c : text) {
        if (c >= '0' && c <= '9') {
            group += c;
        } else if (c == '.' && !group.empty()) {
            ++dots;
            prefix += group + ".";
            group.clear();
        } else {
            if (dots == 3 && !group.empty())
                return prefix + group;
            group.clear();
            prefix.clear();
            dots = 0;
        }
    }
    return dots == 3 && !group.empty() ? prefix + group : std::string();
}

TEST(ExtractDottedQuad, AgreesWithThePlainScanOnRandomText)
{
    std::mt19937 random(20240601);
    const std::string alphabet = "0123456789...x ";
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::uniform_int_distribution<size_t> length(0, 24);
    for (int round = 0; round < 20000; ++round) {
        std::string text;
        for (size_t i = length(random); i > 0; --i)
            text += alphabet[pick(random)];
        ASSERT_EQ(ExtractDottedQuad(text), ReferenceDottedQuad(text)) << "text: \"" << text << '"';
    }
}

TEST(IsDottedQuad, AcceptsOnlyAWholeUntrimmedQuad)
{
    const struct {
        const char* name;
        std::string input;
        bool expected;
    } cases[] = {
        { "plain quad", "1.2.3.4", true },
        { "values above 255", "999.999.999.999", true },
        { "long groups", "0001.2.3.40000", true },
        { "leading blank", " 1.2.3.4", false },
        { "trailing blank", "1.2.3.4 ", false },
        { "trailing line break", "1.2.3.4\r\n", false },
        { "three groups", "1.2.3", false },
        { "five groups", "1.2.3.4.5", false },
        { "trailing dot", "1.2.3.4.", false },
        { "leading dot", ".1.2.3.4", false },
        { "empty group", "1.2..3.4", false },
        { "letter in a group", "1.2.3.4a", false },
        { "host name", "mail.example.invalid", false },
        { "sign", "1.2.3.-4", false },
        { "empty", "", false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(IsDottedQuad(c.input), c.expected);
    }
}

TEST(GetQuotedField, TakesTheFieldAtTheIndex)
{
    const struct {
        const char* name;
        std::string line;
        char separator;
        int index;
        std::string expected;
    } cases[] = {
        { "whole line trimmed without separators", "  mail.example.invalid  ", ',', 0, "mail.example.invalid" },
        { "second field", "a,b,c", ',', 1, "b" },
        { "other separator", "a;b", ';', 1, "b" },
        { "quoted field with a separator inside", "a,\"b,c\"", ',', 1, "b,c" },
        { "blank before the quote keeps the quotes", "a, \"b,c\"", ',', 1, "\"b,c\"" },
        { "quotes removed before the trim", "a,\"  b  \"", ',', 1, "b" },
        { "doubled quote inside quotes", "\"a\"\"b\",c", ',', 0, "a\"b" },
        { "separator inside quotes not counted", "\"x,y\",z", ',', 1, "z" },
        { "doubled quote does not end the quoted text", "\"a\"\"b,c\",d", ',', 1, "d" },
        { "empty field", "a,,b", ',', 1, "" },
        { "index beyond the last field", "a,b", ',', 2, "" },
        { "unclosed quote runs to the end", "a,\"b,c", ',', 1, "\"b,c" },
        { "lone quote", "a,\"", ',', 1, "" },
        { "quote as the last character while skipping", "a\"", ',', 1, "" },
        { "empty line", "", ',', 0, "" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(GetQuotedField(c.line, c.separator, c.index), c.expected);
    }
}

} // namespace
} // namespace morvanta
