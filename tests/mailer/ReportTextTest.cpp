#include "mailer/ReportText.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace morvanta {
namespace {

using Lines = std::vector<std::string>;

TEST(ExpandMacros, ReplacesTheMacroInAnyLetterCaseAndNothingElse)
{
    struct Case {
        const char* name;
        std::string text;
        std::string address;
        std::string expected;
    };
    const Case cases[] = {
        { "upper case", "Spam from %IP%", "192.0.2.7", "Spam from 192.0.2.7" },
        { "lower case", "spam from %ip%", "192.0.2.7", "spam from 192.0.2.7" },
        { "mixed case, twice", "%Ip% and %iP%", "192.0.2.7", "192.0.2.7 and 192.0.2.7" },
        { "side by side", "%IP%%IP%", "192.0.2.7", "192.0.2.7192.0.2.7" },
        { "inside percent signs", "%%IP%%", "192.0.2.7", "%192.0.2.7%" },
        { "no address", "Report for %IP%.", "", "Report for unknown." },
        { "incomplete macros stay", "%IP, IP%, % IP %", "192.0.2.7", "%IP, IP%, % IP %" },
        { "no macro", "Plain text\r\n", "192.0.2.7", "Plain text\r\n" },
        { "empty text", "", "192.0.2.7", "" },
        { "what is put in is not scanned again", "%IP%IP%", "%", "%IP%" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ExpandMacros(c.text, c.address), c.expected);
    }
}

TEST(ReportLogRecord, HoldsTheHeadersTheBodyAndTheClosingLinesExactly)
{
    EXPECT_EQ(ReportLogRecord("abuse@isp.example", "copy@example.net", "", "Spam from 192.0.2.7", "A\r\nB\r\n",
                              "/home/me/evidence.zip"),
              "To: abuse@isp.example\r\n"
              "CC: copy@example.net\r\n"
              "BCC: \r\n"
              "Subject: Spam from 192.0.2.7\r\n"
              "\r\n"
              "A\r\n"
              "B\r\n"
              "\r\n"
              "\r\n"
              "Attachments: /home/me/evidence.zip\r\n"
              "-------------------------------------\r\n"
              "\r\n");
    EXPECT_EQ(ReportLogRecord("", "", "", "", "", ""), "To: \r\nCC: \r\nBCC: \r\nSubject: \r\n\r\n\r\n\r\nAttachments: "
                                                       "\r\n-------------------------------------\r\n\r\n");
}

TEST(SpamAssassinReport, IsRecognisedByItsMarkerAnywhereAsWritten)
{
    EXPECT_TRUE(IsSpamAssassinReport({ "x", "  Content-Description: original message before SpamAssassin  " }));
    EXPECT_FALSE(IsSpamAssassinReport({ "content-description: original message before spamassassin" }));
    EXPECT_FALSE(IsSpamAssassinReport({}));
}

TEST(SpamAssassinReport, ReducesToTheEnclosedMessageOrToNothingWhenTheLinesRunOut)
{
    const std::string marker = SpamAssassinMarker;
    struct Case {
        const char* name;
        Lines report;
        std::optional<Lines> expected;
    };
    const Case cases[] = {
        { "a whole report",
          { "Received: by spamd", "Subject: [SPAM] x", "", "Spam detection software...", "------------=_1",
            "Content-Type: message/rfc822; x-spam-type=original", marker, "Content-Disposition: inline", "",
            "Received: from relay [192.0.2.7]", "Subject: x", "", "body", "------------=_1--" },
          Lines { "Received: from relay [192.0.2.7]", "Subject: x", "", "body", "------------=_1--" } },
        { "the first line goes even when it is the marker",
          { marker, "x", marker, "", "Received: from relay [192.0.2.7]" },
          Lines { "Received: from relay [192.0.2.7]" } },
        { "marker only as part of a line", { "a", "  " + marker, "", "message" }, std::nullopt },
        { "the marker is the first line only", { marker, "", "message" }, std::nullopt },
        { "no empty line after the marker", { "a", marker, "Content-Disposition: inline", "message" }, std::nullopt },
        { "nothing after the empty line", { "a", marker, "Content-Disposition: inline", "" }, std::nullopt },
        { "an empty text", {}, std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ReduceSpamAssassinReport(c.report), c.expected);
    }
}

} // namespace
} // namespace morvanta
