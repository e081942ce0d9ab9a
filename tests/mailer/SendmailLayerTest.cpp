#include "mailer/SendmailLayer.h"

#include "fixtures/SendmailPrograms.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include <sys/stat.h>

namespace morvanta::test {
namespace {

using namespace std::chrono_literals;

// 2024-03-05 06:07:08 UTC, shown at UTC+1.
const FixedClock Clock { std::chrono::system_clock::time_point { 1709618828s }, 3600 };

MapiRecipient Recipient(unsigned long recipientClass, const std::string& address)
{
    return { recipientClass, address, "SMTP:" + address, {} };
}

class SendmailLayerTest : public ::testing::Test {
protected:
    SendmailLayer CapturingLayer(int timeoutSeconds = 20)
    {
        return SendmailLayer(programs.Capturing(), timeoutSeconds, Clock);
    }

    // A message the program only has to read.
    static MapiMessage SmallMessage()
    {
        MapiMessage message;
        message.subject = "Report";
        message.noteText = "Body\r\n";
        message.recipients = { Recipient(mapi::To, "abuse@example.net") };
        return message;
    }

    SendmailPrograms programs;
    TempDir files;
};

TEST_F(SendmailLayerTest, IsAvailableOnlyForAFileThatMayBeExecuted)
{
    std::string executable = programs.Script("sendmail", "exit 0");
    std::string plain = files / "plain";
    WriteFile(plain, "#!/bin/sh\n");
    chmod(plain.c_str(), 0644);
    struct Case {
        const char* name;
        std::string path;
        bool available;
    };
    const Case cases[] = {
        { "executable script", executable, true },
        { "file without execute permission", plain, false },
        { "missing file", files / "missing", false },
        { "folder", files.Path(), false },
        { "empty path", "", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(LoadSimpleMapi(c.path, 60) != nullptr, c.available);
    }
}

TEST_F(SendmailLayerTest, SessionsAreDistinctAndEndOnce)
{
    SendmailLayer layer = CapturingLayer();
    MapiSession first = 0;
    MapiSession second = 0;
    EXPECT_EQ(layer.MAPILogon("", "", 0, first), mapi::SuccessSuccess);
    EXPECT_EQ(layer.MAPILogon("any profile", "secret", mapi::NewSession, second), mapi::SuccessSuccess);
    EXPECT_NE(first, 0u);
    EXPECT_NE(second, 0u);
    EXPECT_NE(first, second);

    EXPECT_EQ(layer.MAPILogoff(first, 0), mapi::SuccessSuccess);
    EXPECT_EQ(layer.MAPILogoff(first, 0), mapi::InvalidSession);
    EXPECT_EQ(layer.MAPILogoff(0, 0), mapi::InvalidSession);
    MapiRecipient* resolved = nullptr;
    EXPECT_EQ(layer.MAPIResolveName(first, "a@example.org", 0, resolved), mapi::InvalidSession);
    EXPECT_EQ(layer.MAPISendMail(first, SmallMessage(), 0), mapi::InvalidSession);
    EXPECT_FALSE(programs.CapturedAnything());
    EXPECT_EQ(layer.MAPILogoff(second, 0), mapi::SuccessSuccess);
}

TEST_F(SendmailLayerTest, LogonFailsOnceTheProgramIsGone)
{
    std::string program = programs.Script("vanishing", "exit 0");
    auto layer = LoadSimpleMapi(program, 60);
    ASSERT_NE(layer, nullptr);
    std::remove(program.c_str());
    MapiSession session = 7;
    EXPECT_EQ(layer->MAPILogon("", "", mapi::LogonUi, session), mapi::LoginFailure);
    EXPECT_EQ(session, 0u);
}

TEST_F(SendmailLayerTest, ResolvesAddressesBareOrAsSmtpLiterals)
{
    struct Case {
        const char* name;
        const char* text;
        MapiResult result;
        const char* displayName;
        const char* address;
    };
    const Case cases[] = {
        { "bare address", "abuse@example.net", mapi::SuccessSuccess, "abuse@example.net", "SMTP:abuse@example.net" },
        { "address with a display name", "Abuse Desk <abuse@example.net>", mapi::SuccessSuccess, "Abuse Desk",
          "SMTP:abuse@example.net" },
        { "literal", "[SMTP:abuse@example.net]", mapi::SuccessSuccess, "abuse@example.net", "SMTP:abuse@example.net" },
        { "literal type in lower case", "[smtp:abuse@example.net]", mapi::SuccessSuccess, "abuse@example.net",
          "SMTP:abuse@example.net" },
        { "literal without its closing bracket, two addresses", "[SMTP:abuse@example.net,noc@example.org",
          mapi::SuccessSuccess, "abuse@example.net, noc@example.org", "SMTP:abuse@example.net, noc@example.org" },
        { "two addresses with display names", "Abuse <abuse@example.net>, NOC <noc@example.org>", mapi::SuccessSuccess,
          "Abuse <abuse@example.net>, NOC <noc@example.org>", "SMTP:abuse@example.net, noc@example.org" },
        { "empty literal", "[SMTP:", mapi::UnknownRecipient, "", "" },
        { "empty literal with its bracket", "[SMTP:]", mapi::UnknownRecipient, "", "" },
        { "other address type", "[FAX:+1 555 0100]", mapi::UnknownRecipient, "", "" },
        { "text after the literal", "[SMTP:abuse@example.net] and more", mapi::UnknownRecipient, "", "" },
        { "a name without an address", "Abuse Desk", mapi::UnknownRecipient, "", "" },
        { "address without a domain", "abuse@", mapi::UnknownRecipient, "", "" },
        { "one good and one bad entry", "abuse@example.net, nobody", mapi::UnknownRecipient, "", "" },
        { "line break inside", "abuse@example.net\r\nBcc: victim@example.org", mapi::UnknownRecipient, "", "" },
        { "empty", "", mapi::UnknownRecipient, "", "" },
    };
    SendmailLayer layer = CapturingLayer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        for (unsigned long flags : { 0UL, mapi::Dialog }) {
            MapiRecipient* resolved = nullptr;
            ASSERT_EQ(layer.MAPIResolveName(0, c.text, flags, resolved), c.result);
            if (c.result != mapi::SuccessSuccess) {
                EXPECT_EQ(resolved, nullptr);
                continue;
            }
            ASSERT_NE(resolved, nullptr);
            EXPECT_EQ(resolved->name, c.displayName);
            EXPECT_EQ(resolved->address, c.address);
            EXPECT_EQ(std::string(resolved->entryId.begin(), resolved->entryId.end()), c.address);
            EXPECT_EQ(layer.OutstandingBuffers(), 1u);
            EXPECT_EQ(layer.MAPIFreeBuffer(resolved), mapi::SuccessSuccess);
            EXPECT_EQ(layer.MAPIFreeBuffer(resolved), mapi::Failure);
        }
    }
    EXPECT_EQ(layer.OutstandingBuffers(), 0u);
}

TEST_F(SendmailLayerTest, ComposesTheMessageAndRunsTheProgramWithTAndI)
{
    WriteFile(files / "evidence.txt", "spam");
    MapiMessage message;
    message.subject = "Spam from 192.0.2.1";
    message.noteText = "Please look into this.\r\n.\r\nReceived: from x\r\n";
    message.recipients = {
        { mapi::To, "Abuse and NOC", "SMTP:Abuse Desk <abuse@example.net>, noc@example.org", {} },
        { mapi::To, "Postmaster", "SMTP:postmaster@example.net", {} },
        Recipient(mapi::Cc, "copy@example.net"),
        Recipient(mapi::Bcc, "hidden@example.org"),
        // The address given as the name when the address is missing.
        { mapi::Bcc, "second-hidden@example.org", "", {} },
    };
    message.files = { { -1, files / "evidence.txt", "shown.txt" } };

    SendmailLayer layer = CapturingLayer();
    ASSERT_EQ(layer.MAPISendMail(0, message, 0), mapi::SuccessSuccess) << layer.LastFailure();
    EXPECT_EQ(programs.CapturedArguments(), (std::vector<std::string> { "-t", "-i" }));
    std::string sent = programs.CapturedMessage();
    std::string boundary = sent.substr(sent.find("boundary=\"") + 10);
    boundary = boundary.substr(0, boundary.find('"'));
    EXPECT_EQ(sent, "Subject: Spam from 192.0.2.1\n"
                    "To: \"Abuse Desk\" <abuse@example.net>, noc@example.org, \"Postmaster\"\n"
                    " <postmaster@example.net>\n"
                    "Cc: copy@example.net\n"
                    "Content-Type: multipart/mixed; boundary=\""
                        + boundary
                        + "\"\n"
                          "MIME-Version: 1.0\n"
                          "Date: Tue, 5 Mar 2024 07:07:08 +0100\n"
                          "Bcc: hidden@example.org, second-hidden@example.org\n"
                          "\n"
                          "This is a multi-part message in MIME format\n"
                          "\n"
                          "--"
                        + boundary
                        + "\n"
                          "Content-Type: text/plain\n"
                          "Content-Transfer-Encoding: 7bit\n"
                          "\n"
                          "Please look into this.\n"
                          ".\n"
                          "Received: from x\n"
                          "\n"
                          "--"
                        + boundary
                        + "\n"
                          "Content-Type: application/octet-stream;\n"
                          "        name=\"shown.txt\"\n"
                          "Content-Transfer-Encoding: base64\n"
                          "Content-Disposition: attachment;\n"
                          "        filename=\"shown.txt\"\n"
                          "\n"
                          "c3BhbQ==\n"
                          "\n"
                          "--"
                        + boundary
                        + "--\n"
                          "\n");
}

TEST_F(SendmailLayerTest, RefusesWhatItCannotSendWithoutRunningTheProgram)
{
    struct Case {
        const char* name;
        MapiMessage message;
        unsigned long flags;
        MapiResult result;
    };
    std::vector<Case> cases;
    cases.push_back({ "a send form asked for", SmallMessage(), mapi::Dialog, mapi::NotSupported });
    MapiMessage receipt = SmallMessage();
    receipt.flags = mapi::ReceiptRequested;
    cases.push_back({ "a read receipt asked for", receipt, 0, mapi::NotSupported });
    MapiMessage nobody = SmallMessage();
    nobody.recipients.clear();
    cases.push_back({ "no recipient", nobody, 0, mapi::UnknownRecipient });
    MapiMessage originator = SmallMessage();
    originator.recipients.push_back(Recipient(mapi::Originator, "me@example.org"));
    cases.push_back({ "an originator among the recipients", originator, 0, mapi::BadRecipientType });
    MapiMessage unreadable = SmallMessage();
    unreadable.recipients.push_back({ mapi::To, "Abuse Desk", "SMTP:Abuse Desk", {} });
    cases.push_back({ "a recipient that is no address", unreadable, 0, mapi::UnknownRecipient });
    MapiMessage missing = SmallMessage();
    missing.files = { { -1, files / "missing.zip", "missing.zip" } };
    cases.push_back({ "an attachment that names no file", missing, 0, mapi::AttachmentNotFound });
    mkfifo((files / "pipe").c_str(), 0600);
    MapiMessage pipe = SmallMessage();
    pipe.files = { { -1, files / "pipe", "pipe" } };
    cases.push_back({ "an attachment that is a named pipe", pipe, 0, mapi::AttachmentOpenFailure });
    MapiMessage folder = SmallMessage();
    folder.files = { { -1, files.Path(), "folder" } };
    cases.push_back({ "an attachment that names a folder", folder, 0, mapi::AttachmentNotFound });

    SendmailLayer layer = CapturingLayer();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(layer.MAPISendMail(0, c.message, c.flags), c.result);
        EXPECT_FALSE(layer.LastFailure().empty());
        EXPECT_FALSE(programs.CapturedAnything());
    }
}

TEST_F(SendmailLayerTest, ReportsEveryWayTheProgramCanFail)
{
    struct Case {
        const char* name;
        std::string body;
        int timeoutSeconds;
        const char* reason;
    };
    const Case cases[] = {
        { "non-zero exit status", "cat > /dev/null\necho 'sendmail: no route to host' >&2\nexit 75", 20,
          "failed with exit status 75.\r\nsendmail: no route to host" },
        { "ended by a signal", "cat > /dev/null\nkill -9 $$", 20, "was ended by signal 9." },
        { "exits at once without reading", "exit 0", 20, "stopped reading before the end of the message." },
        { "stops reading half-way", "dd bs=1 count=10 of=/dev/null 2> /dev/null\nexit 0", 20,
          "stopped reading before the end of the message." },
        { "hangs", "exec sleep 60", 1, "did not finish within 1 seconds and was stopped." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SendmailLayer layer(programs.Script("failing", c.body), c.timeoutSeconds, Clock);
        auto started = std::chrono::steady_clock::now();
        EXPECT_EQ(layer.MAPISendMail(0, SmallMessage(), 0), mapi::Failure);
        EXPECT_LT(std::chrono::steady_clock::now() - started, 10s);
        EXPECT_NE(layer.LastFailure().find(c.reason), std::string::npos) << layer.LastFailure();
    }
}

TEST_F(SendmailLayerTest, AProgramThatCannotBeStartedFails)
{
    SendmailLayer layer(files / "missing-sendmail", 20, Clock);
    EXPECT_EQ(layer.MAPISendMail(0, SmallMessage(), 0), mapi::Failure);
    EXPECT_NE(layer.LastFailure().find("could not be started"), std::string::npos) << layer.LastFailure();
}

TEST_F(SendmailLayerTest, AProgramThatEchoesALargeMessageWhileReadingDoesNotBlockTheSend)
{
    // The program writes as much as it reads before it has read everything:
    // both pipes must be served at once.
    std::string large(3 * 1024 * 1024, 'x');
    for (std::size_t i = 0; i < large.size(); i += 1000)
        large[i] = '\n';
    WriteFile(files / "large.bin", large);
    MapiMessage message = SmallMessage();
    message.files = { { -1, files / "large.bin", "large.bin" } };
    SendmailLayer layer(programs.Script("echoing", "exec cat"), 20, Clock);
    EXPECT_EQ(layer.MAPISendMail(0, message, 0), mapi::SuccessSuccess) << layer.LastFailure();
}

TEST_F(SendmailLayerTest, KeepsNoMailboxOfItsOwn)
{
    SendmailLayer layer = CapturingLayer();
    MapiSession session = 0;
    ASSERT_EQ(layer.MAPILogon("", "", 0, session), mapi::SuccessSuccess);
    std::string id = "seed";
    EXPECT_EQ(layer.MAPIFindNext(session, "", "", 0, id), mapi::NoMessages);
    EXPECT_EQ(id, "");
    MapiMessage read;
    EXPECT_EQ(layer.MAPIReadMail(session, "1", 0, read), mapi::NotSupported);
    EXPECT_EQ(layer.MAPIDeleteMail(session, "1", 0), mapi::NotSupported);
    EXPECT_EQ(layer.MAPISaveMail(session, SmallMessage(), 0, id), mapi::NotSupported);
    std::vector<MapiRecipient> chosen { Recipient(mapi::To, "a@example.org") };
    EXPECT_EQ(layer.MAPIAddress(session, "Address book", 0, chosen), mapi::NotSupported);
    EXPECT_TRUE(chosen.empty());
    EXPECT_FALSE(programs.CapturedAnything());
}

} // namespace
} // namespace morvanta::test
