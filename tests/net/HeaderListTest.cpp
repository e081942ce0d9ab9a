#include "net/HeaderList.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta {
namespace {

using Lines = std::vector<std::string>;

TEST(HeaderList, SetHeaderValueAppendsANewNameAtTheEnd)
{
    HeaderList headers;
    headers.SetHeaderValue("From", "a@example.org");
    headers.SetHeaderValue("To", "b@example.org");
    EXPECT_EQ(headers.Lines(), (Lines { "From: a@example.org", "To: b@example.org" }));
}

TEST(HeaderList, SetHeaderValueReplacesInPlaceWithoutRegardToLetterCase)
{
    HeaderList headers;
    headers.SetHeaderValue("From", "a@example.org");
    headers.SetHeaderValue("Subject", "first");
    headers.SetHeaderValue("To", "b@example.org");
    headers.SetHeaderValue("SUBJECT", "second");
    EXPECT_EQ(headers.Lines(), (Lines { "From: a@example.org", "SUBJECT: second", "To: b@example.org" }));
}

TEST(HeaderList, ReplacingAFoldedHeaderDropsItsOldContinuationLines)
{
    HeaderList headers;
    headers.Add("Subject: one");
    headers.Add(" two");
    headers.Add("\tthree");
    headers.Add("To: b@example.org");
    headers.SetHeaderValue("subject", "new");
    EXPECT_EQ(headers.Lines(), (Lines { "subject: new", "To: b@example.org" }));
}

TEST(HeaderList, EmptyValueRemovesTheHeaderWithItsContinuationLines)
{
    HeaderList headers;
    headers.Add("Bcc: a@example.org,");
    headers.Add(" b@example.org");
    headers.Add("Date: now");
    headers.SetHeaderValue("Bcc", "");
    headers.SetHeaderValue("X-Missing", "");
    EXPECT_EQ(headers.Lines(), (Lines { "Date: now" }));
}

TEST(HeaderList, NameMatchesOnlyAWholeNameBeforeTheColon)
{
    HeaderList headers;
    headers.Add("To-Be: x");
    headers.Add(" To: continuation, not a header");
    EXPECT_EQ(headers.IndexOfName("To"), -1);
    EXPECT_EQ(headers.IndexOfName("to-be"), 0);
}

TEST(HeaderList, ValuesJoinsContinuationLines)
{
    HeaderList headers;
    headers.Add("Message-ID: <a@b>");
    headers.Add("To: x@example.org,");
    headers.Add(" y@example.org");
    EXPECT_EQ(headers.Values("message-id"), "<a@b>");
    EXPECT_EQ(headers.Values("To"), "x@example.org, y@example.org");
    EXPECT_EQ(headers.Values("Cc"), "");
}

struct FoldCase {
    const char* name;
    std::string line;
    Lines expected;
};

TEST(FoldHeaderLine, CutsLongLinesAtTheLastFoldPointWithin78Characters)
{
    const std::string a20(20, 'a');
    const std::string b70(70, 'b');
    const std::string c90(90, 'c');
    const FoldCase cases[] = {
        { "short line stays whole", "Subject: hello world", { "Subject: hello world" } },
        { "trailing blanks go", "Subject: hello  \t", { "Subject: hello" } },
        { "continuation lines count their blank",
          "X: " + std::string(74, 'y') + " " + std::string(76, 'z') + " w",
          { "X: " + std::string(74, 'y'), " " + std::string(76, 'z'), " w" } },
        { "exactly 78 characters stay whole",
          "Subject: " + std::string(69, 'x'),
          { "Subject: " + std::string(69, 'x') } },
        { "To list folds after the blank that follows a comma",
          "To: " + a20 + "@example.org, " + a20 + "@example.org, " + a20 + "@example.org",
          { "To: " + a20 + "@example.org, " + a20 + "@example.org,", " " + a20 + "@example.org" } },
        { "no fold point within 78: cut after the first one that follows",
          "X: " + c90 + " tail",
          { "X:", " " + c90, " tail" } },
        { "a piece without any fold point stays long", "X:" + c90, { "X:" + c90 } },
        { "commas inside double quotes are no fold points",
          "To: \"" + b70 + ", x\" <a@example.org>, b@example.org",
          { "To:", " \"" + b70 + ", x\"", " <a@example.org>, b@example.org" } },
        { "an escaped quote does not end the quoted text",
          "To: \"" + std::string(40, 'q') + " \\\" " + std::string(30, 'r') + ", x\" <a@example.org>",
          { "To:", " \"" + std::string(40, 'q') + " \\\" " + std::string(30, 'r') + ", x\"", " <a@example.org>" } },
        { "blanks and commas after a cut are dropped",
          "To: " + std::string(72, 'd') + ",  ,e@example.org",
          { "To: " + std::string(72, 'd') + ",", " e@example.org" } },
        { "an existing CR LF and blank is a cut",
          "Subject: =?X?Q?a?=\r\n =?X?Q?b?=",
          { "Subject: =?X?Q?a?=", " =?X?Q?b?=" } },
        { "a bare line break cannot start a header of its own",
          "Subject: hi\r\nBcc: evil@example.org",
          { "Subject: hi", " Bcc: evil@example.org" } },
        { "lone LF and lone CR too", "Subject: a\nB: c\rD: e", { "Subject: a", " B: c", " D: e" } },
    };
    for (const FoldCase& c : cases) {
        SCOPED_TRACE(c.name);
        Lines pieces = FoldHeaderLine(c.line);
        EXPECT_EQ(pieces, c.expected);
    }
}

TEST(FoldHeaderLine, NeverCutsInsideAnEncodedWord)
{
    const std::string word = "=?UTF-8?Q?Gr=C3=BC=C3=9Fe,_sch=C3=B6ne_Gr=C3=BC=C3=9Fe,_sch=C3=B6ne_Gr=C3=BC=C3=9Fe?=";
    const std::string quoteWord = "=?UTF-8?Q?=E2=80=9EGr=C3=BC=C3=9Fe\",_sch=C3=B6ne?=";
    const std::string tail = "aaaa, bbbb, cccc, dddd, eeee, ffff, gggg, hhhh, iiii, jjjj, kkkk, llll, mmmm";
    const FoldCase cases[] = {
        { "a Q word with commas stays whole", "Subject: " + word, { "Subject:", " " + word } },
        { "also longer than the width", "Subject:" + word + word, { "Subject:" + word + word } },
        { "the cut comes before the word", "Subject: Re: " + word, { "Subject: Re:", " " + word } },
        { "encoded words on their own lines stay whole",
          "Subject: " + word + "\r\n " + word,
          { "Subject:", " " + word, " " + word } },
        { "a double quote inside a word starts no quoted text",
          "Subject: " + quoteWord + " " + tail,
          { "Subject: " + quoteWord + " aaaa, bbbb, cccc,",
            " dddd, eeee, ffff, gggg, hhhh, iiii, jjjj, kkkk, llll, mmmm" } },
        { "a display name's words stay whole in an address list",
          "To: =?UTF-8?B?0J/RgNC40LLQtdGCLCDQvNC40YAsINGN0YLQviDQvtGC0YfRkdGC?= <a@example.org>, b@example.org",
          { "To: =?UTF-8?B?0J/RgNC40LLQtdGCLCDQvNC40YAsINGN0YLQviDQvtGC0YfRkdGC?=",
            " <a@example.org>, b@example.org" } },
        { "text that only looks like a word's start still folds",
          "Subject: =?UTF-8?Q?broken, " + std::string(70, 'x'),
          { "Subject: =?UTF-8?Q?broken,", " " + std::string(70, 'x') } },
    };
    for (const FoldCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(FoldHeaderLine(c.line), c.expected);
    }
}

TEST(FoldHeaderLine, EveryPieceOfALongAddressListFitsAndNoAddressIsLost)
{
    std::string value;
    for (int i = 0; i < 30; ++i)
        value += (i ? ", " : "") + std::string("user") + std::to_string(i) + "@example.org";
    HeaderList headers;
    headers.SetHeaderValue("To", value);
    ASSERT_GT(headers.Count(), 1u);
    std::string joined;
    for (size_t i = 0; i < headers.Count(); ++i) {
        EXPECT_LE(headers[i].size(), HeaderFoldWidth) << headers[i];
        if (i > 0) {
            EXPECT_EQ(headers[i][0], ' ');
            EXPECT_NE(headers[i][1], ' ');
        }
        joined += headers[i];
    }
    EXPECT_EQ(joined, "To: " + value);
}

} // namespace
} // namespace morvanta
