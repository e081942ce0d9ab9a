#include "mailer/SystemMailClient.h"

#include "fixtures/SendmailPrograms.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

TEST(SystemMailClientNames, ShortenAttachmentNameKeepsTwelveCharactersAtMost)
{
    struct Case {
        const char* name;
        const char* input;
        const char* expected;
    };
    const Case cases[] = {
        { "twelve characters stay", "abcdefgh.txt", "abcdefgh.txt" },
        { "sixteen letters and an extension keep the last eight letters", "abcdefghijklmnop.txt", "ijklmnop.txt" },
        { "a short extension is not cut into", "abcdefghijklmnop.gz", "ijklmnop.gz" },
        { "a dot at the ninth character keeps the whole name", "abcdefgh.ijklmn", "defgh.ijklmn" },
        { "a dot at the tenth character keeps the eight before it", "abcdefghi.jklmn", "defghi.jklmn" },
        { "the first dot counts", "report-for-192.0.2.1.eml", "92.0.2.1.eml" },
        { "no dot", "no-dot-in-this-long-name", "is-long-name" },
        { "a leading dot", ".hidden-config-file", "-config-file" },
        { "leading dots left by the cut go", "x.............y", "y" },
        { "empty", "", "" },
    };
    SystemMailClient client(nullptr);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(client.ShortenAttachmentName(c.input), c.expected);
    }
}

TEST(SystemMailClientMessage, ShortTextsAreCutAndTheLongTextReplacesText)
{
    SystemMailClient client(nullptr);
    const std::string longer(300, 's');
    client.SetSubject(longer);
    client.SetText(longer);
    client.SetProfile(longer);
    client.SetPassword(longer);
    for (const std::string* text : { &client.Subject(), &client.Text(), &client.Profile(), &client.Password() })
        EXPECT_EQ(*text, longer.substr(0, 255));

    client.SetLongText(longer + longer);
    EXPECT_EQ(client.Text(), "");
    EXPECT_EQ(client.LongText(), longer + longer);
    client.SetText("short");
    client.SetLongText(std::nullopt);
    EXPECT_EQ(client.LongText(), std::nullopt);
    EXPECT_EQ(client.Text(), "");
}

TEST(SystemMailClientMessage, ClearMessageEmptiesTheListsSubjectLongTextAndReceipt)
{
    SystemMailClient client(nullptr);
    client.Recipient = { "a@example.org" };
    client.CC = { "b@example.org" };
    client.Bcc = { "c@example.org" };
    client.Attachment = { "/tmp/x" };
    client.SetSubject("Subject");
    client.SetLongText("Body");
    client.Acknowledge = true;
    client.ClearMessage();
    EXPECT_TRUE(client.Recipient.empty());
    EXPECT_TRUE(client.CC.empty());
    EXPECT_TRUE(client.Bcc.empty());
    EXPECT_TRUE(client.Attachment.empty());
    EXPECT_EQ(client.Subject(), "");
    EXPECT_EQ(client.LongText(), std::nullopt);
    EXPECT_FALSE(client.Acknowledge);
}

TEST(SystemMailClientMessage, WithoutTheServiceEveryOperationRaisesItsError)
{
    SystemMailClient client(nullptr);
    EXPECT_FALSE(client.MapiAvailable());
    for (auto operation : { &SystemMailClient::Logon, &SystemMailClient::Logoff, &SystemMailClient::SendMail }) {
        try {
            (void)(client.*operation)();
            ADD_FAILURE() << "no error raised";
        } catch (const MapiUnavailableError& error) {
            EXPECT_STREQ(error.what(), "MAPI services are not available on this system");
        }
    }
}

// A client over a program that keeps what it is given, with every event
// written down.
class SystemMailClientTest : public ::testing::Test {
protected:
    SystemMailClientTest()
        : client(LoadSimpleMapi(programs.Capturing(), 20))
    {
        auto note = [this](const char* name) { return [this, name](SystemMailClient&) { events.push_back(name); }; };
        client.OnBeforeLogon = note("BeforeLogon");
        client.OnAfterLogon = note("AfterLogon");
        client.OnBeforeLogoff = note("BeforeLogoff");
        client.OnAfterLogoff = note("AfterLogoff");
        client.OnBeforeSendMail = note("BeforeSendMail");
        client.OnAfterSendMail = note("AfterSendMail");
        client.OnMapiError = [this](SystemMailClient&, MapiResult code) { errors.push_back(code); };
        client.Recipient = { "abuse@example.net" };
        client.SetSubject("Report");
        client.SetLongText("Body\r\n");
    }

    // The header block of the message the program read.
    std::string SentHeaders() const
    {
        std::string message = programs.CapturedMessage();
        return message.substr(0, message.find("\n\n") + 1);
    }

    SendmailPrograms programs;
    TempDir files;
    SystemMailClient client;
    std::vector<std::string> events;
    std::vector<MapiResult> errors;
};

TEST_F(SystemMailClientTest, ASendWithoutASessionLogsOnAndOffByItself)
{
    EXPECT_EQ(client.SendMail(), mapi::SuccessSuccess);
    EXPECT_EQ(events, (std::vector<std::string> { "BeforeLogon", "AfterLogon", "BeforeSendMail", "AfterSendMail",
                                                  "BeforeLogoff", "AfterLogoff" }));
    EXPECT_FALSE(client.HasSession());
    EXPECT_TRUE(errors.empty());
    EXPECT_TRUE(programs.CapturedAnything());
}

TEST_F(SystemMailClientTest, ASendInAnOpenSessionKeepsIt)
{
    ASSERT_EQ(client.Logon(), mapi::SuccessSuccess);
    ASSERT_EQ(client.Logon(), mapi::SuccessSuccess);
    events.clear();
    EXPECT_EQ(client.SendMail(), mapi::SuccessSuccess);
    EXPECT_EQ(events, (std::vector<std::string> { "BeforeSendMail", "AfterSendMail" }));
    EXPECT_TRUE(client.HasSession());
    EXPECT_EQ(client.Logoff(), mapi::SuccessSuccess);
    EXPECT_FALSE(client.HasSession());
    EXPECT_EQ(client.Logoff(), mapi::SuccessSuccess);
}

TEST_F(SystemMailClientTest, EndingWithAnOpenSessionLogsOff)
{
    bool loggedOff = false;
    {
        SystemMailClient ending(LoadSimpleMapi(programs.Capturing(), 20));
        ending.OnAfterLogoff = [&](SystemMailClient&) { loggedOff = true; };
        ASSERT_EQ(ending.Logon(), mapi::SuccessSuccess);
    }
    EXPECT_TRUE(loggedOff);
}

TEST_F(SystemMailClientTest, UnresolvableLinesAreLeftOutAndTheOthersSent)
{
    client.Recipient = { "Abuse Desk <abuse@example.net>", "", "[SMTP:noc@example.org]" };
    client.CC = { "not an address" };
    client.Bcc = { "[SMTP:" };
    ASSERT_EQ(client.SendMail(), mapi::SuccessSuccess) << client.LastFailure();
    EXPECT_EQ(errors, (std::vector<MapiResult> { mapi::UnknownRecipient, mapi::UnknownRecipient }));
    // A resolved line holds the display name; a literal keeps its text.
    EXPECT_EQ(client.Recipient, (std::vector<std::string> { "Abuse Desk", "", "[SMTP:noc@example.org]" }));
    EXPECT_EQ(client.CC, (std::vector<std::string> { "not an address" }));
    std::string headers = SentHeaders();
    EXPECT_NE(headers.find("To: \"Abuse Desk\" <abuse@example.net>, noc@example.org\n"), std::string::npos) << headers;
    EXPECT_EQ(headers.find("Cc:"), std::string::npos) << headers;
    EXPECT_EQ(headers.find("Bcc:"), std::string::npos) << headers;
    EXPECT_EQ(client.Layer()->OutstandingBuffers(), 0u);
}

TEST_F(SystemMailClientTest, WithNoRecipientLeftTheSendFormIsAskedForAndRefused)
{
    client.Recipient = { "[SMTP:nobody" };
    EXPECT_EQ(client.SendMail(), mapi::NotSupported);
    EXPECT_EQ(errors, (std::vector<MapiResult> { mapi::UnknownRecipient, mapi::NotSupported }));
    EXPECT_FALSE(programs.CapturedAnything());
    EXPECT_NE(client.LastFailure().find("None of the recipients"), std::string::npos) << client.LastFailure();
    EXPECT_FALSE(client.HasSession());
}

TEST_F(SystemMailClientTest, AMissingAttachmentStopsTheSendBeforeAnythingIsHandedOver)
{
    WriteFile(files / "present.txt", "x");
    client.Attachment = { files / "present.txt", files / "missing.zip" };
    EXPECT_EQ(client.SendMail(), mapi::AttachmentNotFound);
    EXPECT_EQ(errors, (std::vector<MapiResult> { mapi::AttachmentNotFound }));
    EXPECT_FALSE(programs.CapturedAnything());
    EXPECT_NE(client.LastFailure().find(files / "missing.zip"), std::string::npos);
    EXPECT_FALSE(client.HasSession());
}

TEST_F(SystemMailClientTest, AttachmentsAreOfferedUnderShortenedNamesUnlessTruncationIsOff)
{
    WriteFile(files / "abcdefghijklmnop.txt", "evidence");
    client.Attachment = { files / "abcdefghijklmnop.txt" };
    ASSERT_EQ(client.SendMail(), mapi::SuccessSuccess) << client.LastFailure();
    EXPECT_NE(programs.CapturedMessage().find("filename=\"ijklmnop.txt\""), std::string::npos);

    client.TruncateAttachmentNames = false;
    ASSERT_EQ(client.SendMail(), mapi::SuccessSuccess) << client.LastFailure();
    EXPECT_NE(programs.CapturedMessage().find("filename=\"abcdefghijklmnop.txt\""), std::string::npos);
}

TEST_F(SystemMailClientTest, TextIsTheBodyOnlyWithoutALongText)
{
    client.SetLongText(std::nullopt);
    client.SetText("The short body");
    ASSERT_EQ(client.SendMail(), mapi::SuccessSuccess);
    EXPECT_NE(programs.CapturedMessage().find("\n\nThe short body\n"), std::string::npos);
}

TEST_F(SystemMailClientTest, AReadReceiptCannotBeAskedFor)
{
    client.Acknowledge = true;
    EXPECT_EQ(client.SendMail(), mapi::NotSupported);
    EXPECT_FALSE(programs.CapturedAnything());
}

TEST_F(SystemMailClientTest, ASendFailsWithLoginFailureOnceTheProgramIsGone)
{
    std::string program = programs.Script("vanishing", "exit 0");
    SystemMailClient vanishing(LoadSimpleMapi(program, 20));
    std::vector<MapiResult> codes;
    vanishing.OnMapiError = [&](SystemMailClient&, MapiResult code) { codes.push_back(code); };
    vanishing.Recipient = { "abuse@example.net" };
    std::remove(program.c_str());
    EXPECT_EQ(vanishing.SendMail(), mapi::LoginFailure);
    EXPECT_EQ(codes, (std::vector<MapiResult> { mapi::LoginFailure, mapi::LoginFailure }));
    EXPECT_FALSE(vanishing.HasSession());
}

} // namespace
} // namespace morvanta::test
