#include "net/MailMessage.h"

#include "app/Platform.h"
#include "fixtures/CollectingSink.h"
#include "fixtures/TestFiles.h"
#include "net/Base64.h"
#include "net/MessageErrors.h"
#include "net/MimeBoundary.h"
#include "net/NetError.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
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

} // namespace
} // namespace morvanta
