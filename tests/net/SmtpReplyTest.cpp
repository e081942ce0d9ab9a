#include "net/SmtpReply.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta::test {
namespace {

TEST(SmtpReply, TakesTheCodeTextLinesAndEnhancedCodeApart)
{
    struct Case {
        const char* name;
        std::vector<std::string> lines;
        std::string code;
        std::vector<std::string> text;
        std::string enhanced;
    };
    const Case cases[] = {
        { "one line", { "250 OK" }, "250", { "OK" }, "" },
        { "several lines",
          { "250-mail.example", "250-PIPELINING", "250 AUTH LOGIN" },
          "250",
          { "mail.example", "PIPELINING", "AUTH LOGIN" },
          "" },
        { "code alone", { "250" }, "250", { "" }, "" },
        { "code and hyphen alone", { "250-", "250 last" }, "250", { "", "last" }, "" },
        { "enhanced code removed from the text",
          { "550 5.7.1 Relaying denied" },
          "550",
          { "Relaying denied" },
          "5.7.1" },
        { "enhanced code alone", { "250 2.0.0" }, "250", { "" }, "2.0.0" },
        { "last enhanced code counts",
          { "550-5.1.1 first", "550 5.1.2 second" },
          "550",
          { "first", "second" },
          "5.1.2" },
        { "a line without text takes the code back", { "550-5.1.1 first", "550" }, "550", { "first", "" }, "" },
        { "a line without an enhanced code keeps it",
          { "550-5.1.1 first", "550 second" },
          "550",
          { "first", "second" },
          "5.1.1" },
        { "class must begin with 2, 4 or 5", { "550 3.1.1 text" }, "550", { "3.1.1 text" }, "" },
        { "detail must be a number", { "550 5.1.x text" }, "550", { "5.1.x text" }, "" },
        { "two parts are no code", { "550 5.1 text" }, "550", { "5.1 text" }, "" },
        { "four parts are no code", { "550 5.1.1.1 text" }, "550", { "5.1.1.1 text" }, "" },
        { "leading zeros read as numbers", { "451 4.04.002 later" }, "451", { "later" }, "4.4.2" },
        { "text keeps inner blanks", { "220  two  blanks " }, "220", { " two  blanks " }, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpReply reply;
        reply.SetFormattedReply(c.lines);
        EXPECT_EQ(reply.Code, c.code);
        EXPECT_EQ(reply.Text, c.text);
        EXPECT_EQ(reply.EnhancedCode.ReplyAsStr(), c.enhanced);
        EXPECT_EQ(reply.EnhancedCode.Available, !c.enhanced.empty());
    }
}

TEST(SmtpReply, RefusesACodeThatIsNoNumberFrom100To999)
{
    struct Case {
        const char* name;
        std::string line;
        std::string message;
    };
    const Case cases[] = {
        { "letters", "abc hello", "Reply Code is not valid: abc" },
        { "below 100", "099 hello", "Reply Code is not valid: 099" },
        { "four digits", "2500 hello", "Reply Code is not valid: 2500" },
        { "digits and letter", "25x hello", "Reply Code is not valid: 25x" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpReply reply;
        try {
            reply.SetFormattedReply({ c.line });
            ADD_FAILURE() << "no exception";
        } catch (const NetError& error) {
            EXPECT_EQ(error.what(), c.message);
        }
    }
}

TEST(SmtpReply, EndsAReplyAtABlankAfterTheCodeOrAShortLine)
{
    struct Case {
        const char* line;
        bool ends;
    };
    const Case cases[] = {
        { "250 OK", true }, { "250-more", false }, { "250", true },   { "25", true },
        { "", true },       { "250-", false },     { "250x", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.line);
        EXPECT_EQ(IsEndOfReplyLine(c.line), c.ends);
    }
}

TEST(SmtpReply, ErrorCarriesCodeEnhancedCodeAndTheTextLines)
{
    SmtpReply reply;
    reply.SetFormattedReply({ "550-5.7.1 Relaying", "550 5.7.1 denied" });
    SmtpReplyError error(reply);

    EXPECT_EQ(error.ErrorCode(), 550);
    EXPECT_EQ(error.EnhancedCode().ReplyAsStr(), "5.7.1");
    EXPECT_STREQ(error.what(), "Relaying\r\ndenied\r\n");
}

TEST(SmtpReply, EnhancedCodeFromTextAndBackToText)
{
    SmtpEnhancedCode code;
    code.SetReplyAsStr("4.7.0");
    EXPECT_TRUE(code.Available);
    EXPECT_EQ(code.StatusClass, 4);
    EXPECT_EQ(code.Subject, 7);
    EXPECT_EQ(code.Details, 0);

    code.SetReplyAsStr("");
    EXPECT_FALSE(code.Available);
    EXPECT_EQ(code.ReplyAsStr(), "");
}

} // namespace
} // namespace morvanta::test
