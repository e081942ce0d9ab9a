#include "net/Base64.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta {
namespace {

TEST(EncodeBase64, MatchesTheRfc4648TestVectors)
{
    const std::pair<std::string, std::string> cases[] = {
        { "", "" },
        { "f", "Zg==" },
        { "fo", "Zm8=" },
        { "foo", "Zm9v" },
        { "foob", "Zm9vYg==" },
        { "fooba", "Zm9vYmE=" },
        { "foobar", "Zm9vYmFy" },
        { std::string("\0\xff\xfe", 3), "AP/+" },
    };
    for (const auto& [input, expected] : cases) {
        SCOPED_TRACE(input);
        EXPECT_EQ(EncodeBase64(input), expected);
    }
}

TEST(EncodeBase64, FiftySevenBytesMakeOneLineOf76Characters)
{
    EXPECT_EQ(EncodeBase64(std::string(Base64LineBytes, 'x')).size(), 76u);
}

struct QuotedPrintableCase {
    const char* name;
    std::string line;
    std::vector<std::string> expected;
};

TEST(EncodeQuotedPrintableLine, EncodesWhatIsNotPlainPrintable)
{
    const QuotedPrintableCase cases[] = {
        { "plain text stays", "Hello, world!", { "Hello, world!" } },
        { "equals sign and high bytes", "a=b \xfc", { "a=3Db =FC" } },
        { "blank at the end of the line", "end ", { "end=20" } },
        { "TAB at the end of the line", "end\t", { "end=09" } },
        { "empty line", "", { "" } },
        { "long line gets soft breaks", std::string(80, 'a'), { std::string(75, 'a') + "=", std::string(5, 'a') } },
        { "an escape is never split", std::string(74, 'a') + "\xe9z", { std::string(74, 'a') + "=", "=E9z" } },
    };
    for (const QuotedPrintableCase& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> lines = EncodeQuotedPrintableLine(c.line);
        EXPECT_EQ(lines, c.expected);
        for (const std::string& line : lines)
            EXPECT_LE(line.size(), 76u);
    }
}

} // namespace
} // namespace morvanta
