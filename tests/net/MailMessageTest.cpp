#include "net/MailMessage.h"

#include "app/Platform.h"
#include "base/Text.h"
#include "fixtures/CollectingSink.h"
#include "fixtures/TestFiles.h"
#include "net/Base64.h"
#include "net/MessageErrors.h"
#include "net/MimeBoundary.h"
#include "net/NetError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {
namespace {

using Lines = std::vector<std::string>;
using test::CollectingSink;

const HeaderCoding Latin1 { "ISO-8859-1", 'Q', HeaderTransferKind::EightBit, "ISO-8859-1" };

const char* const DateLine = "Date: Tue, 8 Dec 2026 14:02:08 +0100";

// Bytes 0 to 255 over and over, so every base64 character occurs.
std::string BinaryData(size_t size)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * 7 + i / 256) & 0xFF);
    return data;
}

Lines Concat(std::initializer_list<Lines> parts)
{
    Lines result;
    for (const Lines& part : parts)
        result.insert(result.end(), part.begin(), part.end());
    return result;
}

class MessageTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        // A fixed boundary: the same values every run.
        auto state = std::make_shared<unsigned>(7);
        MimeBoundary::Reset([state] {
            *state = *state * 1103515245u + 12345u;
            return static_cast<double>((*state >> 8) % 10000) / 10000.0;
        });
        boundary = MimeBoundary::Get();
        message.OnInitializeISO = [](HeaderCoding& coding) { coding = Latin1; };
    }

    void TearDown() override { MimeBoundary::Reset(); }

    // A typical report: a named sender, two recipients, two
    // body lines, a read receipt to the sender and the mail agent's header.
    void FillReport()
    {
        message.ClearMessage();
        message.From().SetText("Morvanta <reports@example.org>");
        message.Recipients.SetAddressListText("abuse@example.net, abuse@example.com");
        message.Subject = "Virus report";
        message.SetBodyText("Spam from 192.0.2.7.\r\nPlease stop it.");
        message.ReceiptRecipient.SetText("Morvanta <reports@example.org>");
        message.ExtraHeaders.SetHeaderValue("X-Mailer", "Morvanta Mail");
    }

    std::string Attach(const std::string& name, const std::string& content)
    {
        std::string path = dir / name;
        test::WriteFile(path, content);
        message.Parts.AddAttachmentFile(path);
        return path;
    }

    CollectingSink Write()
    {
        CollectingSink sink;
        message.WriteMessage(sink);
        return sink;
    }

    Lines Base64Lines(const std::string& data)
    {
        Lines lines;
        for (size_t i = 0; i < data.size(); i += Base64LineBytes)
            lines.push_back(EncodeBase64(data.substr(i, Base64LineBytes)));
        return lines;
    }

    Lines AttachmentLines(const std::string& name, const std::string& data)
    {
        return Concat({ { "Content-Type: application/octet-stream;", "        name=\"" + name + "\"",
                          "Content-Transfer-Encoding: base64", "Content-Disposition: attachment;",
                          "        filename=\"" + name + "\"", "" },
                        Base64Lines(data),
                        { "" } });
    }

    FixedClock clock = FixedClock::AtLocal(2026, 12, 8, 14, 2, 8, 3600);
    MailMessage message { clock };
    test::TempDir dir;
    std::string boundary;
};

TEST_F(MessageTest, TheFixedSourceGivesTheSameBoundaryEveryRun)
{
    EXPECT_EQ(boundary.size(), 34u);
    EXPECT_EQ(boundary, MimeBoundary::Get());
    EXPECT_NE(boundary.find("=_"), std::string::npos);
}

TEST_F(MessageTest, PlainReportIsHeaderBlankLineBodyAndBlankLine)
{
    FillReport();
    CollectingSink sink = Write();
    EXPECT_EQ(sink.lines, (Lines {
                              "From: \"Morvanta\" <reports@example.org>",
                              "Subject: Virus report",
                              "To: abuse@example.net, abuse@example.com",
                              "Disposition-Notification-To: \"Morvanta\" <reports@example.org>",
                              DateLine,
                              "X-Mailer: Morvanta Mail",
                              "",
                              "Spam from 192.0.2.7.",
                              "Please stop it.",
                              "",
                          }));
    EXPECT_EQ(sink.blockSizes, (std::vector<size_t> { 6 }));
    EXPECT_EQ(sink.statuses, (Lines { "Encoding text" }));
    EXPECT_EQ(message.Encoding, MessageEncoding::PlainText);
    EXPECT_EQ(message.AttachmentEncoding, "UUE");
}

TEST_F(MessageTest, ReportWithAttachmentIsMultipartWithTheBodyAsFirstPart)
{
    FillReport();
    const std::string data = BinaryData(200);
    Attach("spam.eml", data);
    CollectingSink sink = Write();

    const std::string contentType = "Content-Type: multipart/mixed; boundary=\"" + boundary + "\"";
    EXPECT_EQ(contentType.size(), 76u);
    EXPECT_EQ(sink.lines, Concat({ {
                                       "From: \"Morvanta\" <reports@example.org>",
                                       "Subject: Virus report",
                                       "To: abuse@example.net, abuse@example.com",
                                       contentType,
                                       "MIME-Version: 1.0",
                                       "Disposition-Notification-To: \"Morvanta\" <reports@example.org>",
                                       DateLine,
                                       "X-Mailer: Morvanta Mail",
                                       "",
                                       "This is a multi-part message in MIME format",
                                       "",
                                       "--" + boundary,
                                       "Content-Type: text/plain",
                                       "Content-Transfer-Encoding: 7bit",
                                       "",
                                       "Spam from 192.0.2.7.",
                                       "Please stop it.",
                                       "",
                                       "--" + boundary,
                                   },
                                   AttachmentLines("spam.eml", data),
                                   { "--" + boundary + "--", "" } }));
    EXPECT_EQ(sink.blockSizes, (std::vector<size_t> { 8 }));
    EXPECT_EQ(sink.statuses, (Lines { "Encoding text", "Encoding attachment" }));
}

TEST_F(MessageTest, WritingChangesTheMessageAndClearMessageUndoesIt)
{
    FillReport();
    message.From().Name.clear();
    Attach("spam.eml", "x");
    (void)Write();
    EXPECT_EQ(message.Encoding, MessageEncoding::Mime);
    EXPECT_EQ(message.AttachmentEncoding, "MIME");
    EXPECT_EQ(message.From().Name, "reports@example.org");
    ASSERT_EQ(message.Parts.Count(), 2u);
    EXPECT_EQ(message.Parts[0].ContentTransfer, "base64");
    EXPECT_EQ(message.Parts[0].ContentDisposition, "attachment");
    EXPECT_EQ(message.Parts[0].ContentType, "application/octet-stream");
    EXPECT_EQ(message.Parts[1].Kind(), MessagePartKind::Text);
    EXPECT_FALSE(message.LastGeneratedHeaders.Empty());

    message.Priority = MessagePriority::High;
    message.ConvertPreamble = false;
    message.Date = clock.Now();
    message.ClearMessage();
    EXPECT_EQ(message.Parts.Count(), 0u);
    EXPECT_TRUE(message.FromList.Empty());
    EXPECT_TRUE(message.Recipients.Empty());
    EXPECT_TRUE(message.Body.empty());
    EXPECT_TRUE(message.ExtraHeaders.Empty());
    EXPECT_TRUE(message.Subject.empty());
    EXPECT_EQ(message.Encoding, MessageEncoding::Default);
    EXPECT_EQ(message.Priority, MessagePriority::Normal);
    EXPECT_TRUE(message.ConvertPreamble);
    EXPECT_TRUE(message.UseNowForDate());
}

TEST_F(MessageTest, EmptyDisplayNameMakesTheAddressTheNameOnlyInFrom)
{
    FillReport();
    message.From().SetText("reports@example.org");
    message.ReceiptRecipient.SetText("reports@example.org");
    CollectingSink sink = Write();
    EXPECT_EQ(sink.lines[0], "From: \"reports@example.org\" <reports@example.org>");
    EXPECT_EQ(sink.lines[3], "Disposition-Notification-To: reports@example.org");
}

TEST_F(MessageTest, BodyWithAHighByteGivesAnEightBitTextPartWithoutCharset)
{
    FillReport();
    message.SetBodyText("Gr\xfc\xdf"
                        "e");
    Attach("a.bin", "x");
    CollectingSink sink = Write();
    auto start = std::find(sink.lines.begin(), sink.lines.end(), "Content-Type: text/plain");
    ASSERT_NE(start, sink.lines.end());
    EXPECT_EQ(*(start + 1), "Content-Transfer-Encoding: 8bit");
    EXPECT_EQ(sink.Text().find("charset"), std::string::npos);
}

TEST_F(MessageTest, EmptyBodyAndOneAttachmentIsASinglePartMessage)
{
    FillReport();
    message.Body.clear();
    message.Body = { " ", "\t" };
    const std::string data = BinaryData(100);
    Attach("only.bin", data);
    CollectingSink sink = Write();
    EXPECT_TRUE(message.IsSinglePart());
    EXPECT_EQ(sink.lines, Concat({ {
                                       "From: \"Morvanta\" <reports@example.org>",
                                       "Subject: Virus report",
                                       "To: abuse@example.net, abuse@example.com",
                                       "MIME-Version: 1.0",
                                       "Disposition-Notification-To: \"Morvanta\" <reports@example.org>",
                                       DateLine,
                                       "X-Mailer: Morvanta Mail",
                                   },
                                   AttachmentLines("only.bin", data) }));
    EXPECT_EQ(sink.Text().find(boundary), std::string::npos);
    EXPECT_EQ(sink.statuses, (Lines { "Encoding attachment" }));
}

TEST_F(MessageTest, EmptyBodyAndTwoAttachmentsHaveThePreambleAndNoTextPart)
{
    FillReport();
    message.Body.clear();
    Attach("one.bin", "1");
    Attach("two.bin", "22");
    CollectingSink sink = Write();
    Lines body(sink.lines.begin() + 8, sink.lines.end());
    EXPECT_EQ(body, Concat({ { "", "This is a multi-part message in MIME format", "", "--" + boundary },
                             AttachmentLines("one.bin", "1"),
                             { "--" + boundary },
                             AttachmentLines("two.bin", "22"),
                             { "--" + boundary + "--", "" } }));
    EXPECT_EQ(message.Parts.Count(), 2u);
    EXPECT_EQ(sink.statuses, (Lines { "Encoding attachment", "Encoding attachment" }));
}

TEST_F(MessageTest, AttachmentDataIsBase64In57ByteLines)
{
    const size_t sizes[] = { 0, 1, 56, 57, 58, 100000 };
    for (size_t size : sizes) {
        SCOPED_TRACE(size);
        FillReport();
        message.Body.clear();
        const std::string data = BinaryData(size);
        Attach("data.bin", data);
        CollectingSink sink = Write();

        auto blank = std::find(sink.lines.begin() + 7, sink.lines.end(), "");
        ASSERT_NE(blank, sink.lines.end());
        Lines dataLines(blank + 1, sink.lines.end() - 1);
        EXPECT_EQ(sink.lines.back(), "");
        EXPECT_EQ(dataLines.size(), (size + 56) / 57);
        std::string joined;
        for (size_t i = 0; i < dataLines.size(); ++i) {
            if (i + 1 < dataLines.size()) {
                EXPECT_EQ(dataLines[i].size(), 76u);
            }
            joined += dataLines[i];
        }
        EXPECT_EQ(test::DecodeBase64(joined), data);
        if (size == 57) {
            EXPECT_EQ(dataLines.back().size(), 76u);
        }
        if (size == 58) {
            EXPECT_EQ(dataLines.back().size(), 4u);
            EXPECT_EQ(dataLines.back().substr(2), "==");
        }
    }
}

TEST_F(MessageTest, AttachmentFileIsOpenedOnlyWhenItIsWritten)
{
    FillReport();
    std::string path = dir / "later.bin";
    message.Parts.AddAttachmentFile(path);
    test::WriteFile(path, "made after the attachment was added");
    CollectingSink sink = Write();
    EXPECT_NE(sink.Text().find(EncodeBase64("made after the attachment was added").substr(0, 40)), std::string::npos);
}

TEST_F(MessageTest, MissingAttachmentFileRaisesAndLeavesWhatWasWritten)
{
    FillReport();
    Attach("first.bin", "abc");
    std::string missing = dir / "missing.bin";
    message.Parts.AddAttachmentFile(missing);
    CollectingSink sink;
    try {
        message.WriteMessage(sink);
        FAIL() << "no error raised";
    } catch (const FileOpenError& error) {
        EXPECT_EQ(std::string(error.what()), "Cannot open file " + missing);
        EXPECT_EQ(error.code(), ENOENT);
    }
    EXPECT_NE(sink.Text().find(EncodeBase64("abc")), std::string::npos);
    EXPECT_EQ(sink.lines.back(), "--" + boundary);
}

TEST_F(MessageTest, BccAddressesNeverStandInTheHeader)
{
    FillReport();
    message.BccList.SetAddressListText("Hidden One <hidden@example.org>, secret@example.org");
    CollectingSink sink = Write();
    std::string text = sink.Text();
    EXPECT_EQ(text.find("hidden@"), std::string::npos);
    EXPECT_EQ(text.find("secret@"), std::string::npos);
    EXPECT_EQ(message.LastGeneratedHeaders.IndexOfName("Bcc"), -1);
    EXPECT_EQ(message.BccList.Count(), 2u);
}

TEST_F(MessageTest, CcAndSubjectLinesOnlyWhenThereIsSomethingToSay)
{
    FillReport();
    message.Subject.clear();
    CollectingSink without = Write();
    EXPECT_EQ(message.LastGeneratedHeaders.IndexOfName("Subject"), -1);
    EXPECT_EQ(message.LastGeneratedHeaders.IndexOfName("Cc"), -1);

    message.CCList.SetAddressListText("cc@example.org");
    CollectingSink with = Write();
    EXPECT_EQ(with.lines[1], "To: abuse@example.net, abuse@example.com");
    EXPECT_EQ(with.lines[2], "Cc: cc@example.org");
}

TEST_F(MessageTest, EveryHeaderFieldInItsOrder)
{
    FillReport();
    message.CCList.SetAddressListText("cc@example.org");
    message.NewsGroups = { "news.admin.net-abuse.email", "alt.spam" };
    message.Sender.SetText("Sender Name <sender@example.org>");
    message.ReplyTo.SetAddressListText("reply@example.org");
    message.Organization = "Example Org";
    message.References = "<ref@example.org>";
    message.Priority = MessagePriority::Highest;
    message.InReplyTo = "orig@example.org";
    message.Date = FixedClock::AtLocal(2026, 3, 1, 8, 0, 0, 3600).Now();
    message.ExtraHeaders.SetHeaderValue("X-Extra", "yes");
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders.Lines(),
              (Lines {
                  "From: \"Morvanta\" <reports@example.org>",
                  "Subject: Virus report",
                  "To: abuse@example.net, abuse@example.com",
                  "Cc: cc@example.org",
                  "Newsgroups: news.admin.net-abuse.email,alt.spam",
                  "Sender: Sender Name <sender@example.org>",
                  "Reply-To: reply@example.org",
                  "Organization: Example Org",
                  "Disposition-Notification-To: \"Morvanta\" <reports@example.org>",
                  "References: <ref@example.org>",
                  "Date: Sun, 1 Mar 2026 08:00:00 +0100",
                  "X-Priority: 1",
                  "X-Mailer: Morvanta Mail",
                  "X-Extra: yes",
                  "In-Reply-To: <orig@example.org>",
              }));
}

TEST_F(MessageTest, InReplyToFallsBackToAMessageIdOfTheExtraHeaders)
{
    FillReport();
    message.ExtraHeaders.SetHeaderValue("Message-ID", "<own@example.org>");
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders.Values("In-Reply-To"), "<own@example.org>");
    message.InReplyTo = "<given@example.org>";
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders.Values("In-Reply-To"), "<given@example.org>");
}

TEST_F(MessageTest, LongToLineIsFoldedAfterTheBlankThatFollowsAComma)
{
    FillReport();
    message.Recipients.SetAddressListText(
        "abuse-desk@provider-one.example.net, security@provider-two.example.com, noc@provider-three.example.org");
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders[2],
              "To: abuse-desk@provider-one.example.net, security@provider-two.example.com,");
    EXPECT_EQ(message.LastGeneratedHeaders[3], " noc@provider-three.example.org");
}

TEST_F(MessageTest, NonAsciiSubjectAndNamesAreEncoded)
{
    FillReport();
    message.Subject = "Virus report f\xfcr M\xfcller";
    message.From().Name = "M\xfcller, J.";
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders[0], "From: =?ISO-8859-1?Q?M=FCller=2C_J=2E?= <reports@example.org>");
    EXPECT_EQ(message.LastGeneratedHeaders[1], "Subject: Virus report =?ISO-8859-1?Q?f=FCr_M=FCller?=");
}

TEST_F(MessageTest, TwoMessagesOfOneRunShareTheBoundary)
{
    FillReport();
    Attach("a.bin", "a");
    std::string first = Write().Text();
    FillReport();
    Attach("b.bin", "b");
    std::string second = Write().Text();
    EXPECT_NE(first.find("boundary=\"" + boundary + "\""), std::string::npos);
    EXPECT_NE(second.find("boundary=\"" + boundary + "\""), std::string::npos);
}

TEST_F(MessageTest, NoDateMeansTheTimeOfSending)
{
    FillReport();
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders.Values("Date"), "Tue, 8 Dec 2026 14:02:08 +0100");
    clock.AdvanceSeconds(3600 * 24);
    message.BuildHeaderLines();
    EXPECT_EQ(message.LastGeneratedHeaders.Values("Date"), "Wed, 9 Dec 2026 14:02:08 +0100");
}

TEST_F(MessageTest, HeadersOnlyWritesNoBody)
{
    FillReport();
    Attach("a.bin", "a");
    CollectingSink sink;
    message.WriteMessage(sink, MessageWriteScope::HeadersOnly);
    EXPECT_EQ(sink.lines.size(), 8u);
    EXPECT_TRUE(sink.statuses.empty());
}

TEST_F(MessageTest, MimeWithoutPartsWritesThePlainBody)
{
    FillReport();
    message.Encoding = MessageEncoding::Mime;
    CollectingSink sink = Write();
    EXPECT_EQ(Lines(sink.lines.begin() + 3, sink.lines.end()),
              (Lines {
                  "Content-Type: text/plain",
                  "MIME-Version: 1.0",
                  "Disposition-Notification-To: \"Morvanta\" <reports@example.org>",
                  DateLine,
                  "X-Mailer: Morvanta Mail",
                  "",
                  "Spam from 192.0.2.7.",
                  "Please stop it.",
                  "",
              }));
}

TEST_F(MessageTest, PartsThatCannotBeWrittenAsAskedAreRefusedBeforeAnythingIsWritten)
{
    struct Case {
        const char* name;
        MessageEncoding encoding;
        const char* transfer;
    };
    const Case cases[] = {
        { "attachments in a plain-text message", MessageEncoding::PlainText, "" },
        { "attachment in quoted-printable", MessageEncoding::Default, "quoted-printable" },
        { "attachment in 7bit", MessageEncoding::Default, "7bit" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FillReport();
        Attach("a.bin", "a");
        message.Encoding = c.encoding;
        message.Parts[0].ContentTransfer = c.transfer;
        CollectingSink sink;
        EXPECT_THROW(message.WriteMessage(sink), NetError);
        EXPECT_TRUE(sink.lines.empty());
    }
}

TEST_F(MessageTest, UnknownTransferEncodingOfAnAttachmentBecomesBase64)
{
    FillReport();
    Attach("a.bin", "a");
    message.Parts[0].ContentTransfer = "x-uuencode";
    CollectingSink sink = Write();
    EXPECT_EQ(message.Parts[0].ContentTransfer, "base64");
}

TEST_F(MessageTest, TextPartsOfTheCallerAreWrittenWithTheirEncoding)
{
    FillReport();
    message.Body.clear();
    TextPart& quoted = message.Parts.AddText();
    quoted.Body = { "a=b" };
    quoted.CharSet = "ISO-8859-1";
    quoted.ContentType = "text/plain; charset=us-ascii";
    TextPart& based = message.Parts.AddText();
    based.Body = { "hello", "world" };
    based.ContentTransfer = "base64";
    TextPart& raw = message.Parts.AddText();
    raw.Body = { "\xe9t\xe9" };
    CollectingSink sink = Write();
    EXPECT_EQ(message.LastGeneratedHeaders.Values("Content-Type"),
              "multipart/alternative; boundary=\"" + boundary + "\"");
    const std::string text = sink.Text();
    EXPECT_NE(text.find("Content-Type: text/plain ; charset=\"ISO-8859-1\"\r\n"
                        "Content-Transfer-Encoding: quoted-printable\r\n\r\na=3Db\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Content-Transfer-Encoding: base64\r\n\r\n" + EncodeBase64("hello\r\nworld\r\n") + "\r\n"),
              std::string::npos);
    EXPECT_NE(text.find("Content-Transfer-Encoding: 8bit\r\n\r\n\xe9t\xe9\r\n"), std::string::npos);
}

TEST_F(MessageTest, LineBreakInAnAttachmentNameCannotEndThePartHeader)
{
    FillReport();
    Attach("evil\nContent-Type: text.bin", "a");
    CollectingSink sink = Write();
    EXPECT_NE(std::find(sink.lines.begin(), sink.lines.end(), "        name=\"evil Content-Type: text.bin\""),
              sink.lines.end());
}

TEST_F(MessageTest, BodyLineHoldingALineBreakIsWrittenAsSeveralLines)
{
    FillReport();
    message.Body = { "first\r\n.\r\nQUIT", "last" };
    CollectingSink plain = Write();
    EXPECT_EQ(Lines(plain.lines.end() - 6, plain.lines.end()), (Lines { "", "first", ".", "QUIT", "last", "" }));

    FillReport();
    message.Body = { "first\r\n.\r\nQUIT", "last" };
    Attach("a.bin", "a");
    CollectingSink multipart = Write();
    auto dot = std::find(multipart.lines.begin(), multipart.lines.end(), ".");
    ASSERT_NE(dot, multipart.lines.end());
    EXPECT_EQ(*(dot - 1), "first");
}

TEST_F(MessageTest, JapaneseTransferKindConvertsThePlainBody)
{
    FillReport();
    message.OnInitializeISO = [](HeaderCoding& coding) {
        coding = { "ISO-2022-JP", 'B', HeaderTransferKind::Iso2022Jp, "EUC-JP" };
    };
    message.Body = { "\xc6\xfc\xcb\xdc" };
    CollectingSink sink = Write();
    EXPECT_EQ(sink.lines[sink.lines.size() - 2], "\x1b$BF|K\\\x1b(B");
}

struct BodyCase {
    const char* name;
    std::string text;
    Lines expected;
};

TEST(MailMessageBody, AssignedTextIsCutIntoLines)
{
    const BodyCase cases[] = {
        { "all three line ends", "a\r\nb\nc\rd", { "a", "b", "c", "d" } },
        { "a final line break adds no line", "a\r\n", { "a" } },
        { "empty lines in between stay", "a\r\n\r\nb", { "a", "", "b" } },
        { "a NUL ends the text", std::string("a\r\nb\0c\r\nd", 9), { "a", "b" } },
        { "empty text", "", {} },
    };
    for (const BodyCase& c : cases) {
        SCOPED_TRACE(c.name);
        MailMessage message;
        message.SetBodyText(c.text);
        EXPECT_EQ(message.Body, c.expected);
    }
}

TEST(MailMessageFrom, AskingForFromAddsAnEmptySender)
{
    MailMessage message;
    EXPECT_EQ(message.From().Text(), "");
    EXPECT_EQ(message.FromList.Count(), 1u);
    message.From().Address = "a@example.org";
    EXPECT_EQ(message.FromList[0].Address, "a@example.org");
}

// A real parser reads the message back: the headers, decoded subject and
// addresses, the text part and the attachment bytes.
class MessageParsedByPython : public MessageTest {
protected:
    test::ProcessResult Parse(const std::string& text)
    {
        test::WriteFile(dir / "message.eml", text);
        EXPECT_TRUE(ForceDirectories(dir / "out"));
        static const char* script = R"PY(
import sys
from email import policy
from email.parser import BytesParser
message = BytesParser(policy=policy.default).parsebytes(open(sys.argv[1], 'rb').read())
print('HEADERS ' + '|'.join(message.keys()))
# A value that starts on a continuation line keeps its blank in Python.
print('SUBJECT ' + str(message['Subject']).lstrip(' '))
print('TO ' + ','.join(a.addr_spec for a in message['To'].addresses))
print('FROM ' + message['From'].addresses[0].display_name + '|' + message['From'].addresses[0].addr_spec)
print('DATE ' + message['Date'].datetime.isoformat())
for part in message.walk():
    if part.is_multipart():
        continue
    payload = part.get_payload(decode=True)
    name = part.get_filename()
    if name:
        open(sys.argv[2] + '/' + name, 'wb').write(payload)
        print('ATTACHMENT ' + name)
    else:
        print('TEXT ' + part.get_content_type() + ' ' + repr(payload.decode('latin-1')))
defects = list(message.defects) + [d for p in message.walk() for d in p.defects]
print('DEFECTS ' + repr(defects))
)PY";
        return test::RunProcess(
            { "/usr/bin/timeout", "60", "/usr/bin/python3", "-c", script, dir / "message.eml", dir / "out" }, {},
            { "PYTHONIOENCODING=utf-8" });
    }
};

TEST_F(MessageParsedByPython, ReadsTheMultipartReportAsWritten)
{
    FillReport();
    message.Subject = "Virus report f\xfcr K\xf6ln";
    message.Recipients.SetAddressListText(
        "abuse-desk@provider-one.example.net, security@provider-two.example.com, noc@provider-three.example.org, "
        "\"Doe, John\" <john@example.org>");
    message.BccList.SetAddressListText("hidden@example.org");
    const std::string data = BinaryData(5000);
    Attach("spam.eml", data);
    Attach("empty.bin", "");
    test::ProcessResult result = Parse(Write().Text());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_EQ(result.out,
              "HEADERS From|Subject|To|Content-Type|MIME-Version|Disposition-Notification-To|Date|X-Mailer\n"
              "SUBJECT Virus report f\xc3\xbcr K\xc3\xb6ln\n"
              "TO abuse-desk@provider-one.example.net,security@provider-two.example.com,"
              "noc@provider-three.example.org,john@example.org\n"
              "FROM Morvanta|reports@example.org\n"
              "DATE 2026-12-08T14:02:08+01:00\n"
              "TEXT text/plain 'Spam from 192.0.2.7.\\r\\nPlease stop it.\\r\\n'\n"
              "ATTACHMENT spam.eml\n"
              "ATTACHMENT empty.bin\n"
              "DEFECTS []\n");
    EXPECT_EQ(test::ReadFile(dir / "out/spam.eml"), data);
    EXPECT_EQ(test::ReadFile(dir / "out/empty.bin"), "");
}

TEST_F(MessageParsedByPython, ReadsTheSinglePartMessage)
{
    FillReport();
    message.Body.clear();
    const std::string data = BinaryData(4321);
    Attach("only.bin", data);
    test::ProcessResult result = Parse(Write().Text());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find("ATTACHMENT only.bin\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("DEFECTS []\n"), std::string::npos) << result.out;
    EXPECT_EQ(test::ReadFile(dir / "out/only.bin"), data);
}

TEST_F(MessageParsedByPython, ReadsTheUtf8Subject)
{
    FillReport();
    message.OnInitializeISO = [](HeaderCoding& coding) {
        coding = { "UTF-8", 'B', HeaderTransferKind::EightBit, "UTF-8" };
    };
    std::string subject;
    for (int i = 0; i < 12; ++i)
        subject += "\xd0\x9f\xd1\x80\xd0\xb8\xd0\xb2\xd0\xb5\xd1\x82 "; // "Привет "
    message.Subject = subject + "end";
    test::ProcessResult result = Parse(Write().Text());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find("SUBJECT " + subject + "end\n"), std::string::npos) << result.out;
}

// An attachment held in memory, so that its name may be longer than a file
// system allows.
class MemoryAttachment : public Attachment {
public:
    MemoryAttachment(std::string name, std::string data)
        : data_(std::move(data))
    {
        FileName = std::move(name);
    }

    std::unique_ptr<AttachmentReader> OpenReader() const override
    {
        struct Reader : AttachmentReader {
            explicit Reader(std::string_view data)
                : rest(data)
            {
            }
            size_t Read(unsigned char* buffer, size_t size) override
            {
                size_t count = std::min(size, rest.size());
                std::copy_n(rest.begin(), count, buffer);
                rest.remove_prefix(count);
                return count;
            }
            std::string_view rest;
        };
        return std::make_unique<Reader>(data_);
    }

private:
    std::string data_;
};

// The text (UTF-8, code points below 256 only) in ISO-8859-1.
std::string InLatin1(std::string_view utf8)
{
    std::string result;
    for (size_t i = 0; i < utf8.size(); ++i) {
        auto byte = static_cast<unsigned char>(utf8[i]);
        if (byte >= 0xC2 && byte <= 0xC3 && i + 1 < utf8.size())
            result += static_cast<char>(((byte & 0x03) << 6) | (static_cast<unsigned char>(utf8[++i]) & 0x3F));
        else
            result += utf8[i];
    }
    return result;
}

std::string Repeated(const std::string& text, size_t times, const std::string& separator)
{
    std::string result;
    for (size_t i = 0; i < times; ++i)
        result += (i ? separator : "") + text;
    return result;
}

// Subjects, display names and attachment names in several scripts and
// lengths, with both encoding letters, as Python's email package reads
// them back. A word cut in the middle would show up as undecoded text.
TEST_F(MessageTest, PythonReadsBackEveryEncodedTextWhole)
{
    struct Script {
        const char* name;
        std::string text; // UTF-8
        bool latin1; // can be written in ISO-8859-1 too
    };
    const Script scripts[] = {
        { "Latin", "Gr\u00fc\u00dfe, sch\u00f6ne Gr\u00fc\u00dfe, sch\u00f6ne Gr\u00fc\u00dfe", true },
        { "Latin with punctuation", "\u00abDringend!\u00bb (Bericht) \"Gr\u00fc\u00dfe\" = \u00e0 la fa\u00e7on? _x_",
          true },
        { "Greek",
          "\u039a\u03b1\u03bb\u03b7\u03bc\u03ad\u03c1\u03b1, \u03ba\u03cc\u03c3\u03bc\u03b5, "
          "\u03ad\u03bd\u03b1 \u03bc\u03ae\u03bd\u03c5\u03bc\u03b1",
          false },
        { "Cyrillic",
          "\u041f\u0440\u0438\u0432\u0435\u0442, \u043c\u0438\u0440, \u044d\u0442\u043e "
          "\u043e\u0442\u0447\u0451\u0442",
          false },
        { "CJK",
          "\u8ff7\u60d1\u30e1\u30fc\u30eb\u3001\u5831\u544a, \u5783\u573e\u90ae\u4ef6, "
          "\uc2a4\ud338 \uc2e0\uace0",
          false },
        { "emoji", "Spam \U0001F389, again \U0001F680,\U0001F4E7 and again", false },
    };
    struct Length {
        const char* name;
        size_t times;
    };
    // Once; just over a line; several hundred characters.
    const Length lengths[] = { { "short", 1 }, { "just over 78", 2 }, { "several hundred", 12 } };
    const HeaderCoding codings[] = {
        { "UTF-8", 'Q', HeaderTransferKind::EightBit, "UTF-8" },
        { "UTF-8", 'B', HeaderTransferKind::EightBit, "UTF-8" },
        { "ISO-8859-1", 'Q', HeaderTransferKind::EightBit, "ISO-8859-1" },
        { "ISO-8859-1", 'B', HeaderTransferKind::EightBit, "ISO-8859-1" },
    };

    struct Expected {
        std::string tag;
        std::string subject;
        std::string name;
        std::string fileName;
    };
    std::vector<Expected> expected;
    std::vector<std::string> files;
    for (const HeaderCoding& coding : codings) {
        const bool latin1 = coding.CharSet == "ISO-8859-1";
        for (const Script& script : scripts) {
            if (latin1 && !script.latin1)
                continue;
            for (const Length& length : lengths) {
                const std::string text = Repeated(script.text, length.times, " ");
                const std::string written = latin1 ? InLatin1(text) : text;
                const std::string tag = coding.CharSet + "-" + coding.Encoding + " " + script.name + " " + length.name;
                FillReport();
                message.OnInitializeISO = [coding](HeaderCoding& chosen) { chosen = coding; };
                message.Subject = written;
                message.From().SetText("reports@example.org");
                message.From().Name = written;
                message.Recipients.SetAddressListText("abuse@example.net");
                message.Recipients.Add().SetText("abuse@example.net");
                message.Recipients[1].Name = written;
                // File names are sent as they are stored: UTF-8 on this
                // system.
                const std::string fileName = Repeated(script.text, std::min<size_t>(length.times, 6), " ") + ".txt";
                message.Parts.Add(std::make_unique<MemoryAttachment>(fileName, "data"));
                files.push_back(dir / ("message" + std::to_string(files.size()) + ".eml"));
                test::WriteFile(files.back(), Write().Text());
                expected.push_back({ tag, text, text, fileName });
            }
        }
    }

    static const char* script = R"PY(
import sys
import email.utils
from email import policy
from email.header import decode_header, make_header
from email.parser import BytesParser
def show(*fields):
    print('\t'.join(f.replace('\\', '\\\\').replace('\t', '\\t').replace('\r', '\\r').replace('\n', '\\n')
                    for f in fields))
for path in sys.argv[1:]:
    raw = open(path, 'rb').read()
    message = BytesParser(policy=policy.default).parsebytes(raw)
    # A value that starts on a continuation line keeps its blank in Python.
    show('SUBJECT', str(message['Subject']).lstrip(' '))
    # Python 3.11's header registry keeps the blank between two adjacent
    # encoded words of a display name, which RFC 2047 6.2 says to drop, so
    # names are decoded by the older email.header, which follows the RFC.
    legacy = BytesParser(policy=policy.compat32).parsebytes(raw)
    for header in ('From', 'To'):
        for name, address in email.utils.getaddresses([legacy[header].replace('\r\n', '')]):
            show(header.upper(), str(make_header(decode_header(name))), address)
    for part in message.walk():
        if part.get_filename() is not None:
            show('FILE', part.get_filename(), part.get_payload(decode=True).decode('latin-1'))
    defects = [d for p in message.walk() for d in p.defects]
    defects += [d for name in ('Subject', 'From', 'To') for d in message[name].defects]
    show('DEFECTS', repr(defects))
    show('LONGEST LINE', str(max(len(line) for line in raw.split(b'\r\n'))))
)PY";
    std::vector<std::string> command { "/usr/bin/timeout", "120", "/usr/bin/python3", "-c", script };
    command.insert(command.end(), files.begin(), files.end());
    test::ProcessResult result = test::RunProcess(command, {}, { "PYTHONIOENCODING=utf-8" });
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    std::string expectedOut;
    for (const Expected& e : expected) {
        expectedOut += "SUBJECT\t" + e.subject + "\n";
        expectedOut += "FROM\t" + e.name + "\treports@example.org\n";
        expectedOut += "TO\t\tabuse@example.net\n";
        expectedOut += "TO\t" + e.name + "\tabuse@example.net\n";
        expectedOut += "FILE\t" + e.fileName + "\tdata\n";
        expectedOut += "DEFECTS\t[]\n";
    }
    // Compare message by message, so that a failure names its case.
    const Lines got = SplitLines(result.out);
    const Lines want = SplitLines(expectedOut);
    Lines gotWithoutLengths;
    for (const std::string& line : got) {
        if (line.rfind("LONGEST LINE\t", 0) == 0)
            EXPECT_LE(std::stoul(line.substr(13)), 998u);
        else
            gotWithoutLengths.push_back(line);
    }
    ASSERT_EQ(gotWithoutLengths.size(), want.size()) << result.out;
    const size_t perMessage = want.size() / expected.size();
    for (size_t i = 0; i < expected.size(); ++i) {
        SCOPED_TRACE(expected[i].tag);
        EXPECT_EQ(Lines(gotWithoutLengths.begin() + static_cast<std::ptrdiff_t>(i * perMessage),
                        gotWithoutLengths.begin() + static_cast<std::ptrdiff_t>((i + 1) * perMessage)),
                  Lines(want.begin() + static_cast<std::ptrdiff_t>(i * perMessage),
                        want.begin() + static_cast<std::ptrdiff_t>((i + 1) * perMessage)));
    }
}

TEST_F(MessageParsedByPython, ReadsAFileNameWithQuotesAndBackslashesAsStored)
{
    FillReport();
    const std::string name = "report \"final\" \\ copy; n=1.txt";
    message.Parts.Add(std::make_unique<MemoryAttachment>(name, "data"));
    EXPECT_NE(Write().Text().find("filename=\"report \\\"final\\\" \\\\ copy; n=1.txt\"\r\n"), std::string::npos);
    test::ProcessResult result = Parse(Write().Text());
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_NE(result.out.find("ATTACHMENT " + name + "\n"), std::string::npos) << result.out;
    EXPECT_NE(result.out.find("DEFECTS []\n"), std::string::npos) << result.out;
}

} // namespace
} // namespace morvanta
