#include "net/SmtpClient.h"

#include "ConnectionFixture.h"
#include "base/Clock.h"
#include "base/Text.h"
#include "fixtures/CollectingSink.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/TestFiles.h"
#include "net/Base64.h"
#include "net/MessageErrors.h"
#include "net/NetError.h"
#include "net/TlsIoHandler.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace morvanta::test {
namespace {

using Lines = std::vector<std::string>;

// An SMTP server for one connection that answers every command with a
// fitting success, unless a one-time override says otherwise for a command
// beginning with its text. After a 354 reply it reads message data up to
// the "." line. Everything the client sent stays recorded by the server.
struct SmtpPeer {
    std::string greeting = "220 peer.test ESMTP\r\n";
    std::string ehlo = "250-peer.test\r\n250 8BITMIME\r\n";
    std::vector<std::pair<std::string, std::string>> overrides;
    std::chrono::milliseconds replyDelay { 0 }; // before every reply
    bool stopReadingInData = false; // after the 354 reply
    // While reading message data: a pause after every 64 KiB or so.
    std::chrono::milliseconds dataPause { 0 };

    SmtpPeer& Greet(std::string text)
    {
        greeting = std::move(text);
        return *this;
    }

    SmtpPeer& Capabilities(std::string reply)
    {
        ehlo = std::move(reply);
        return *this;
    }

    SmtpPeer& Answer(std::string commandStart, std::string reply)
    {
        overrides.emplace_back(std::move(commandStart), std::move(reply));
        return *this;
    }

    operator PeerHandler() const
    {
        return [script = *this](PeerConnection& peer) mutable {
            peer.Send(script.greeting);
            int loginStep = 0;
            bool inData = false;
            size_t dataLines = 0;
            while (std::optional<std::string> received = peer.ReadLine()) {
                std::string line = *received;
                if (!line.empty() && line.back() == '\r')
                    line.pop_back();
                if (inData && line != ".") {
                    if (script.dataPause.count() > 0 && ++dataLines % 800 == 0)
                        peer.Pause(script.dataPause);
                    continue;
                }
                inData = false;
                std::string reply;
                auto match = std::find_if(script.overrides.begin(), script.overrides.end(),
                                          [&](const auto& entry) { return line.rfind(entry.first, 0) == 0; });
                if (match != script.overrides.end()) {
                    reply = match->second;
                    script.overrides.erase(match);
                    loginStep = 0;
                } else if (loginStep == 1) {
                    reply = "334 UGFzc3dvcmQ6\r\n";
                    loginStep = 2;
                } else if (loginStep == 2) {
                    reply = "235 2.7.0 Authentication successful\r\n";
                    loginStep = 0;
                } else if (line.rfind("EHLO", 0) == 0) {
                    reply = script.ehlo;
                } else if (line == "AUTH LOGIN") {
                    reply = "334 VXNlcm5hbWU6\r\n";
                    loginStep = 1;
                } else if (line == "DATA") {
                    reply = "354 End data with <CR><LF>.<CR><LF>\r\n";
                } else if (line == "QUIT") {
                    reply = "221 2.0.0 Bye\r\n";
                } else {
                    reply = "250 2.0.0 OK\r\n";
                }
                if (script.replyDelay.count() > 0)
                    peer.Pause(script.replyDelay);
                peer.Send(reply);
                if (reply.rfind("354", 0) == 0) {
                    if (script.stopReadingInData) {
                        peer.StopReading();
                        return;
                    }
                    inData = true;
                }
                if (line == "QUIT" && reply.rfind("221", 0) == 0)
                    return;
            }
        };
    }
};

// The lines a client sent outside the message data (which runs from DATA
// to a "." line; a DATA without one was refused).
Lines Commands(const std::string& transcript)
{
    const Lines lines = SplitLines(transcript);
    Lines commands;
    for (auto line = lines.begin(); line != lines.end(); ++line) {
        commands.push_back(*line);
        if (*line == "DATA") {
            auto end = std::find(line + 1, lines.end(), ".");
            if (end != lines.end())
                line = end - 1;
        }
    }
    return commands;
}

// The message data a client sent after DATA, up to the "." line.
std::string DataOf(const std::string& transcript)
{
    size_t start = transcript.find("DATA\r\n");
    size_t end = transcript.find("\r\n.\r\n", start);
    if (start == std::string::npos || end == std::string::npos)
        return {};
    return transcript.substr(start + 6, end + 2 - start - 6);
}

// Runs the action, which must raise SmtpReplyError with this code,
// enhanced code (empty: none) and message.
void ExpectReplyError(const std::function<void()>& action, int code, const std::string& enhanced,
                      const std::string& message)
{
    try {
        action();
        ADD_FAILURE() << "no exception";
    } catch (const SmtpReplyError& error) {
        EXPECT_EQ(error.ErrorCode(), code);
        EXPECT_EQ(error.EnhancedCode().ReplyAsStr(), enhanced);
        EXPECT_EQ(error.what(), message);
    }
}

class SmtpClientTest : public ::testing::Test {
protected:
    SmtpClientTest()
        : clock(FixedClock::AtLocal(2026, 3, 2, 9, 30, 0, 3600))
        , message(clock)
    {
        smtp.Host = "127.0.0.1";
        smtp.HeloName = "client.test";
        smtp.ReadTimeout = 10000;
        smtp.OnStatus = [this](NetComponent*, NetStatus, const std::string& text) { statuses.push_back(text); };
        message.From().SetText("Reporter <reporter@example.org>");
        message.Recipients.SetAddressListText("abuse@example.net");
        message.Subject = "Spam report";
        message.Body = { "A report." };
    }

    // A receiveBufferSize above 0 makes a server that stops reading stall
    // the client soon.
    void Serve(PeerHandler handler, int receiveBufferSize = 0)
    {
        server = std::make_unique<ScriptedTcpServer>(std::move(handler), "127.0.0.1", 0, receiveBufferSize);
        smtp.Port = server->Port();
    }

    // The client's sends find no room soon when the server stops reading.
    void ShrinkSendBufferOnConnect()
    {
        smtp.OnConnected = [this](NetComponent*) { ShrinkSendBufferOf(*smtp.IOHandler()); };
    }

    // An attachment of that many bytes, from a file.
    void AttachFile(size_t size)
    {
        WriteFile(folder / "evidence.bin", std::string(size, 'e'));
        message.Parts.AddAttachmentFile(folder / "evidence.bin");
    }

    // Connects, sends the message and says good-bye.
    void Deliver()
    {
        smtp.OpenConnection();
        smtp.SendMessage(message);
        smtp.CloseConnection();
    }

    // What the client sent, once the server has finished.
    std::string Transcript()
    {
        EXPECT_TRUE(server->WaitForFinished(1));
        return server->Received();
    }

    Lines CommandsSent() { return Commands(Transcript()); }

    TempDir folder;
    FixedClock clock;
    MailMessage message;
    SmtpClient smtp;
    std::unique_ptr<ScriptedTcpServer> server;
    Lines statuses;
};

TEST_F(SmtpClientTest, PortIs25AndTheClientIsClosedAtFirst)
{
    SmtpClient fresh;
    EXPECT_EQ(fresh.Port, 25);
    EXPECT_FALSE(fresh.IsConnected());
    EXPECT_FALSE(fresh.LoggedIn());
    EXPECT_NO_THROW(fresh.CloseConnection());
}

TEST_F(SmtpClientTest, CommandsWithoutAConnectionRaiseNotConnected)
{
    SmtpClient fresh;
    try {
        fresh.SendCommand("NOOP");
        ADD_FAILURE() << "no exception";
    } catch (const NotConnectedError& error) {
        EXPECT_STREQ(error.what(), "Not connected.");
    }
    EXPECT_THROW(fresh.ReadReply(), NotConnectedError);
    EXPECT_THROW(fresh.SendMessage(message), NotConnectedError);
}

TEST_F(SmtpClientTest, SendsAReportStepByStepWhenPipeliningIsNotOffered)
{
    Serve(SmtpPeer());
    Deliver();

    EXPECT_EQ(CommandsSent(), (Lines { "EHLO client.test", "RSET", "MAIL FROM:<reporter@example.org>",
                                       "RCPT TO:<abuse@example.net>", "DATA", ".", "QUIT" }));
    EXPECT_EQ(statuses,
              (Lines { "Connecting to 127.0.0.1.", "Connected.", "Encoding text", "Disconnecting.", "Disconnected." }));
    EXPECT_EQ(smtp.ServerCapabilities(), (Lines { "8BITMIME" }));
    EXPECT_FALSE(smtp.IsConnected());
}

TEST_F(SmtpClientTest, SendsTheMessageAsWrittenWithTransparencyDotsAndTheMailAgent)
{
    message.Body = { ".", "..two dots", "no dot", ".x" };
    smtp.MailAgent = "Morvanta Mail";
    Serve(SmtpPeer());
    Deliver();

    CollectingSink written;
    message.WriteMessage(written);
    std::string expected;
    for (const std::string& line : written.lines)
        expected += (line.rfind('.', 0) == 0 ? "." : "") + line + "\r\n";
    const std::string data = DataOf(Transcript());
    EXPECT_EQ(data, expected);
    EXPECT_NE(data.find("\r\n..\r\n...two dots\r\nno dot\r\n..x\r\n"), std::string::npos);
    EXPECT_NE(data.find("\r\nX-Mailer: Morvanta Mail\r\n"), std::string::npos);
}

TEST_F(SmtpClientTest, AnEmptyMailAgentRemovesTheXMailerLine)
{
    message.ExtraHeaders.SetHeaderValue("X-Mailer", "left over");
    smtp.MailAgent = "";
    Serve(SmtpPeer());
    Deliver();

    EXPECT_EQ(DataOf(Transcript()).find("X-Mailer"), std::string::npos);
}

TEST_F(SmtpClientTest, SendsEveryRecipientOfToCcAndBccInOrderWithoutMergingDuplicates)
{
    message.Recipients.SetAddressListText("a@example.net, b@example.net");
    message.CCList.SetAddressListText("\"Doe, Jane\" <a@example.net>");
    message.BccList.SetAddressListText("hidden@example.net");
    Serve(SmtpPeer());
    Deliver();

    const std::string transcript = Transcript();
    EXPECT_EQ(Commands(transcript),
              (Lines { "EHLO client.test", "RSET", "MAIL FROM:<reporter@example.org>", "RCPT TO:<a@example.net>",
                       "RCPT TO:<b@example.net>", "RCPT TO:<a@example.net>", "RCPT TO:<hidden@example.net>", "DATA",
                       ".", "QUIT" }));
    EXPECT_EQ(DataOf(transcript).find("hidden@"), std::string::npos);
}

TEST_F(SmtpClientTest, GreetsWithHeloWhenEhloIsRefusedAndThenUsesNeitherLoginNorPipelining)
{
    smtp.Username = "user";
    smtp.Password = "secret";
    Serve(SmtpPeer().Answer("EHLO", "500 5.5.1 Unknown command\r\n"));
    Deliver();

    EXPECT_EQ(CommandsSent(),
              (Lines { "EHLO client.test", "HELO client.test", "RSET", "MAIL FROM:<reporter@example.org>",
                       "RCPT TO:<abuse@example.net>", "DATA", ".", "QUIT" }));
    EXPECT_TRUE(smtp.ServerCapabilities().empty());
}

TEST_F(SmtpClientTest, UsesHeloAloneWhenEhloIsSwitchedOff)
{
    smtp.UseEhlo = false;
    Serve(SmtpPeer());
    smtp.OpenConnection();
    smtp.CloseConnection();

    EXPECT_EQ(CommandsSent(), (Lines { "HELO client.test", "QUIT" }));
}

TEST_F(SmtpClientTest, AFailedGreetingSaysQuitAndClosesBeforeRaising)
{
    struct Case {
        const char* name;
        SmtpPeer peer;
        int code;
        std::string enhanced;
        std::string message;
        Lines commands;
    };
    const Case cases[] = {
        { "greeting not 220",
          SmtpPeer().Greet("554 5.3.2 No service\r\n"),
          554,
          "5.3.2",
          "No service\r\n",
          { "QUIT" } },
        { "HELO refused",
          SmtpPeer().Answer("EHLO", "502 no\r\n").Answer("HELO", "501 5.5.2 Bad name\r\n"),
          501,
          "5.5.2",
          "Bad name\r\n",
          { "EHLO client.test", "HELO client.test", "QUIT" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(c.peer);
        ExpectReplyError([&] { smtp.OpenConnection(); }, c.code, c.enhanced, c.message);
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_EQ(CommandsSent(), c.commands);
    }
}

TEST_F(SmtpClientTest, LogsInWithAuthLoginOnlyWhenOfferedAndConfigured)
{
    struct Case {
        const char* name;
        std::string authLine;
        SmtpAuthentication authType;
        std::string username;
        bool login;
    };
    const Case cases[] = {
        { "AUTH with LOGIN among others", "250 AUTH PLAIN LOGIN CRAM-MD5\r\n", SmtpAuthentication::Login, "user",
          true },
        { "old form with an equals sign", "250 AUTH=LOGIN\r\n", SmtpAuthentication::Login, "user", true },
        { "lower case", "250 auth login\r\n", SmtpAuthentication::Login, "user", true },
        { "only PLAIN and CRAM-MD5", "250 AUTH PLAIN CRAM-MD5\r\n", SmtpAuthentication::Login, "user", false },
        { "LOGIN in a word that is not AUTH", "250 XAUTH LOGIN\r\n", SmtpAuthentication::Login, "user", false },
        { "empty user name", "250 AUTH LOGIN\r\n", SmtpAuthentication::Login, "", false },
        { "authentication off", "250 AUTH LOGIN\r\n", SmtpAuthentication::None, "user", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        smtp.AuthType = c.authType;
        smtp.Username = c.username;
        smtp.Password = "pa:ss";
        SmtpPeer peer;
        peer.ehlo = "250-peer.test\r\n" + c.authLine;
        Serve(peer);
        Deliver();

        Lines expected { "EHLO client.test" };
        if (c.login)
            expected.insert(expected.end(), { "AUTH LOGIN", EncodeBase64("user"), EncodeBase64("pa:ss") });
        expected.insert(expected.end(), { "RSET", "MAIL FROM:<reporter@example.org>", "RCPT TO:<abuse@example.net>",
                                          "DATA", ".", "QUIT" });
        EXPECT_EQ(CommandsSent(), expected);
    }
}

TEST_F(SmtpClientTest, LogsInOncePerConnectionAndAgainOnTheNext)
{
    smtp.Username = "user";
    smtp.Password = "";
    SmtpPeer peer;
    peer.ehlo = "250-peer.test\r\n250 AUTH LOGIN\r\n";
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        Serve(peer);
        smtp.OpenConnection();
        EXPECT_FALSE(smtp.LoggedIn());
        smtp.SendMessage(message);
        EXPECT_TRUE(smtp.LoggedIn());
        smtp.SendMessage(message);
        smtp.CloseConnection();
        EXPECT_FALSE(smtp.LoggedIn());

        Lines commands = CommandsSent();
        EXPECT_EQ(std::count(commands.begin(), commands.end(), "AUTH LOGIN"), 1);
        // An empty password is sent as an empty line.
        EXPECT_EQ(commands[3], "");
    }
}

TEST_F(SmtpClientTest, ARefusedLoginRaisesWithTheServersTextAndLeavesTheConnectionOpen)
{
    smtp.Username = "user";
    smtp.Password = "wrong";
    SmtpPeer peer;
    peer.ehlo = "250-peer.test\r\n250 AUTH LOGIN\r\n";
    peer.Answer(EncodeBase64("wrong"), "535 5.7.8 Authentication credentials invalid\r\n");
    Serve(peer);
    smtp.OpenConnection();
    ExpectReplyError([&] { smtp.SendMessage(message); }, 535, "5.7.8", "Authentication credentials invalid\r\n");
    EXPECT_TRUE(smtp.IsConnected());
    smtp.CloseConnection();
    EXPECT_EQ(CommandsSent().back(), "QUIT");
}

TEST_F(SmtpClientTest, ARefusedRecipientStepByStepRaisesAtOnceBeforeData)
{
    message.Recipients.SetAddressListText("a@example.net, bad@example.net, c@example.net");
    Serve(SmtpPeer().Answer("RCPT TO:<bad@", "550 5.1.1 <bad@example.net>: Recipient address rejected\r\n"));
    smtp.OpenConnection();
    ExpectReplyError([&] { smtp.SendMessage(message); }, 550, "5.1.1",
                     "<bad@example.net>: Recipient address rejected\r\n");
    EXPECT_TRUE(smtp.IsConnected());
    smtp.CloseConnection();

    EXPECT_EQ(CommandsSent(), (Lines { "EHLO client.test", "RSET", "MAIL FROM:<reporter@example.org>",
                                       "RCPT TO:<a@example.net>", "RCPT TO:<bad@example.net>", "QUIT" }));
}

TEST_F(SmtpClientTest, PipelinedRefusalsRaiseTheFirstAfterEndingTheEmptyMessage)
{
    message.Recipients.SetAddressListText("a@example.net, bad@example.net, worse@example.net");
    SmtpPeer peer;
    peer.ehlo = "250-peer.test\r\n250-pipelining\r\n250 8BITMIME\r\n";
    peer.Answer("RCPT TO:<bad@", "550 5.1.1 first refusal\r\n")
        .Answer("RCPT TO:<worse@", "553 5.1.3 second refusal\r\n");
    Serve(peer);
    smtp.OpenConnection();
    ExpectReplyError([&] { smtp.SendMessage(message); }, 550, "5.1.1", "first refusal\r\n");
    // The reply to the "." is the last one read.
    EXPECT_EQ(smtp.LastReply().Code, "250");
    smtp.CloseConnection();

    const std::string transcript = Transcript();
    EXPECT_EQ(transcript.rfind("EHLO client.test\r\nRSET\r\nMAIL FROM:<reporter@example.org>\r\n"
                               "RCPT TO:<a@example.net>\r\nRCPT TO:<bad@example.net>\r\n"
                               "RCPT TO:<worse@example.net>\r\nDATA\r\n.\r\nQUIT\r\n",
                               0),
              0u)
        << transcript;
    EXPECT_EQ(transcript.size(), transcript.find("QUIT\r\n") + 6);
}

TEST_F(SmtpClientTest, PipelinedTransmissionRaisesTheRightReply)
{
    struct Case {
        const char* name;
        SmtpPeer peer;
        int code;
        Lines tail; // what follows the pipelined group, before QUIT
    };
    SmtpPeer pipelining;
    pipelining.ehlo = "250-peer.test\r\n250 PIPELINING\r\n";
    const Case cases[] = {
        { "all accepted: the data follow", pipelining, 0, { "." } },
        { "RSET refused is ignored", SmtpPeer(pipelining).Answer("RSET", "502 no\r\n"), 0, { "." } },
        { "MAIL FROM refused, DATA refused too",
          SmtpPeer(pipelining)
              .Answer("MAIL", "553 5.1.8 bad sender\r\n")
              .Answer("DATA", "503 5.5.1 no valid recipients\r\n"),
          553,
          {} },
        { "only DATA refused", SmtpPeer(pipelining).Answer("DATA", "554 5.5.0 no\r\n"), 554, {} },
        { "251 counts as accepted", SmtpPeer(pipelining).Answer("RCPT", "251 2.1.5 forwarded\r\n"), 0, { "." } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(c.peer);
        smtp.OpenConnection();
        int code = 0;
        try {
            smtp.SendMessage(message);
        } catch (const SmtpReplyError& error) {
            code = error.ErrorCode();
        }
        EXPECT_EQ(code, c.code);
        smtp.CloseConnection();

        Lines expected { "EHLO client.test", "RSET", "MAIL FROM:<reporter@example.org>", "RCPT TO:<abuse@example.net>",
                         "DATA" };
        expected.insert(expected.end(), c.tail.begin(), c.tail.end());
        expected.push_back("QUIT");
        EXPECT_EQ(CommandsSent(), expected);
    }
}

TEST_F(SmtpClientTest, PipelinesOnlyWhileTheSwitchIsOn)
{
    smtp.PipeLining = false;
    SmtpPeer peer;
    peer.ehlo = "250-peer.test\r\n250 PIPELINING\r\n";
    Serve(peer.Answer("RCPT", "550 refused\r\n"));
    smtp.OpenConnection();
    EXPECT_THROW(smtp.SendMessage(message), SmtpReplyError);
    smtp.CloseConnection();

    // Step by step: no DATA after the refusal.
    EXPECT_EQ(CommandsSent(), (Lines { "EHLO client.test", "RSET", "MAIL FROM:<reporter@example.org>",
                                       "RCPT TO:<abuse@example.net>", "QUIT" }));
}

TEST_F(SmtpClientTest, ReadsRepliesOfSeveralLinesAfterEmptyLines)
{
    Serve(SmtpPeer()
              .Greet("\r\n\r\n220-peer.test first\r\n220-second\r\n220 third\r\n")
              .Capabilities("250-peer.test\r\n250-SIZE 1000\r\n250 HELP\r\n"));
    smtp.OpenConnection();

    EXPECT_EQ(smtp.ServerCapabilities(), (Lines { "SIZE 1000", "HELP" }));
    EXPECT_EQ(smtp.SendCommand("NOOP", { 250 }), 250);
    smtp.CloseConnection();
}

TEST_F(SmtpClientTest, FaultyRepliesRaiseAndLeaveTheConnectionOpen)
{
    struct Case {
        const char* name;
        std::string reply;
        std::string message;
    };
    const Case cases[] = {
        { "code not a number", "25O OK\r\n", "Reply Code is not valid: 25O" },
        { "line over 16384 characters", "250 " + std::string(16381, 'x') + "\r\n", "Max line length exceeded." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(SmtpPeer().Answer("MAIL", c.reply));
        smtp.OpenConnection();
        try {
            smtp.SendMessage(message);
            ADD_FAILURE() << "no exception";
        } catch (const NetError& error) {
            EXPECT_EQ(error.what(), c.message);
        }
        EXPECT_TRUE(smtp.IsConnected());
        smtp.CloseConnection(false);
    }
}

TEST_F(SmtpClientTest, AReplyLineOfExactly16384CharactersIsAccepted)
{
    Serve(SmtpPeer().Answer("MAIL", "250 " + std::string(16380, 'x') + "\r\n"));
    EXPECT_NO_THROW(Deliver());
}

TEST_F(SmtpClientTest, QuitAnsweredWithAnotherCodeRaisesAfterClosing)
{
    Serve(SmtpPeer().Answer("QUIT", "250 2.0.0 not quite\r\n"));
    smtp.OpenConnection();
    smtp.SendMessage(message);
    ExpectReplyError([&] { smtp.CloseConnection(); }, 250, "2.0.0", "not quite\r\n");
    EXPECT_FALSE(smtp.IsConnected());
    EXPECT_FALSE(smtp.LoggedIn());
    EXPECT_EQ(statuses.back(), "Disconnected.");
}

// Data that fails to read part-way, as a file on a failing disk would.
class FailingAttachment : public Attachment {
public:
    FailingAttachment() { FileName = "failing.bin"; }

    std::unique_ptr<AttachmentReader> OpenReader() const override
    {
        struct Reader : AttachmentReader {
            size_t calls = 0;
            size_t Read(unsigned char* buffer, size_t size) override
            {
                if (calls++ > 0)
                    throw FileReadError("/failing/disk/failing.bin", EIO);
                std::fill(buffer, buffer + size, 'f');
                return size;
            }
        };
        return std::make_unique<Reader>();
    }
};

TEST_F(SmtpClientTest, AnUnfinishedDataPhaseClosesTheSocketWithoutQuit)
{
    message.Parts.Add(std::make_unique<FailingAttachment>());
    Serve(SmtpPeer());
    smtp.OpenConnection();

    EXPECT_THROW(smtp.SendMessage(message), FileReadError);
    EXPECT_FALSE(smtp.IsConnected());
    EXPECT_NO_THROW(smtp.CloseConnection());

    const std::string transcript = Transcript();
    EXPECT_EQ(Commands(transcript).back(), "DATA");
    EXPECT_EQ(transcript.find("QUIT"), std::string::npos);
    EXPECT_EQ(transcript.find("\r\n.\r\n"), std::string::npos);
}

TEST_F(SmtpClientTest, AnAttachmentThatCannotBeReadIsRefusedBeforeTheTransactionStarts)
{
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
    struct Case {
        const char* name;
        std::string path;
        std::string message;
    };
    const Case cases[] = {
        { "missing file", folder / "missing.bin", "Cannot open file " + folder / "missing.bin" },
        { "named pipe without a writer", folder / "pipe",
          "Cannot open file " + folder / "pipe" + ": it is a named pipe (FIFO), not a regular file." },
        { "endless device", "/dev/zero", "Cannot open file /dev/zero: it is a character device, not a regular file." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        message.Parts.Clear();
        AttachFile(10);
        message.Parts.AddAttachmentFile(c.path);
        Serve(SmtpPeer());
        smtp.OpenConnection();
        try {
            smtp.SendMessage(message);
            ADD_FAILURE() << "no exception";
        } catch (const FileOpenError& error) {
            EXPECT_EQ(error.what(), c.message);
        }
        smtp.CloseConnection();
        EXPECT_EQ(CommandsSent(), (Lines { "EHLO client.test", "QUIT" }));
    }
}

TEST_F(SmtpClientTest, AServerThatStopsReadingMessageDataFailsTheSendWithinReadTimeout)
{
    smtp.ReadTimeout = 1000;
    ShrinkSendBufferOnConnect();
    AttachFile(4 * 1024 * 1024);
    SmtpPeer peer;
    peer.stopReadingInData = true;
    Serve(peer, 4096);
    smtp.OpenConnection();

    const auto start = std::chrono::steady_clock::now();
    try {
        smtp.SendMessage(message);
        ADD_FAILURE() << "no exception";
    } catch (const WriteTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Write Timeout: the server 127.0.0.1 took no data for 1 second.");
    }
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(smtp.IsConnected());
    EXPECT_NO_THROW(smtp.CloseConnection());
    // The server never learns of the close: it reads nothing.
    EXPECT_EQ(Commands(server->Received()).back(), "DATA");
}

TEST_F(SmtpClientTest, ALargeMessageOnASlowButSteadyLineGoesOutPastTheConversationsTime)
{
    // 2 seconds for the conversation, and some 3 seconds of message data.
    smtp.ReadTimeout = 200;
    ShrinkSendBufferOnConnect();
    AttachFile(4 * 1024 * 1024);
    SmtpPeer peer;
    peer.dataPause = std::chrono::milliseconds(40);
    Serve(peer, 16384);

    const auto start = std::chrono::steady_clock::now();
    EXPECT_NO_THROW(Deliver());
    EXPECT_GT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(2000));
    EXPECT_EQ(CommandsSent().back(), "QUIT");
}

TEST_F(SmtpClientTest, AConversationOfSlowRepliesEndsWhenItsTimeRunsOut)
{
    // Every reply comes within ReadTimeout, but together they take longer
    // than ten times that.
    smtp.ReadTimeout = 400;
    std::string recipients;
    for (int i = 0; i < 40; ++i)
        recipients += (i ? ", " : "") + std::string("abuse") + std::to_string(i) + "@example.net";
    message.Recipients.SetAddressListText(recipients);
    SmtpPeer peer;
    peer.replyDelay = std::chrono::milliseconds(150);
    Serve(peer);

    const auto start = std::chrono::steady_clock::now();
    try {
        Deliver();
        ADD_FAILURE() << "no exception";
    } catch (const ConversationTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Conversation Timeout: the server 127.0.0.1 did not finish within 4 seconds.");
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(3900));
    EXPECT_LT(waited, std::chrono::seconds(6));
    smtp.CloseConnection();
    EXPECT_EQ(Transcript().find("QUIT"), std::string::npos);
}

TEST_F(SmtpClientTest, AReplyTrickledInCannotHoldTheConversationOpen)
{
    struct Case {
        const char* name;
        std::string piece;
    };
    const Case cases[] = {
        { "continuation lines", "220-still greeting\r\n" },
        { "blank lines", "\r\n" },
    };
    smtp.ReadTimeout = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(Trickling(PeerScript(), c.piece));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_THROW(smtp.OpenConnection(), ConversationTimeoutError);
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(smtp.IsConnected());
    }
}

TEST_F(SmtpClientTest, AnEndlessReplyIsCutOffAndTheConnectionClosed)
{
    const std::string longLine = "220-" + std::string(16000, 'l') + "\r\n";
    auto repeat = [](const std::string& piece, int count) {
        std::string text;
        for (int i = 0; i < count; ++i)
            text += piece;
        return text;
    };
    struct Case {
        const char* name;
        std::string greeting;
        bool accepted;
    };
    const Case cases[] = {
        { "1000 lines", repeat("220-hello\r\n", 999) + "220 ready\r\n", true },
        { "continuation lines for ever", repeat("220-hello\r\n", 3000), false },
        { "blank lines for ever", repeat("\r\n", 3000), false },
        { "blank lines and a reply, 1001 lines", repeat("\r\n", 1000) + "220 ready\r\n", false },
        { "over 1 MiB in long lines", repeat(longLine, 70) + "220 ready\r\n", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(PeerScript().Send(c.greeting).ReadLine().Send("250 peer.test\r\n").StaySilent());
        if (c.accepted) {
            EXPECT_NO_THROW(smtp.OpenConnection());
            smtp.CloseConnection(false);
            EXPECT_EQ(Transcript(), "EHLO client.test\r\n");
            continue;
        }
        try {
            smtp.OpenConnection();
            ADD_FAILURE() << "no exception";
        } catch (const ReplyTooLongError& error) {
            EXPECT_STREQ(error.what(),
                         "The server 127.0.0.1 sent a reply of more than 1000 lines or 1048576 bytes; the connection "
                         "was closed.");
        }
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_EQ(Transcript(), "");
    }
}

TEST_F(SmtpClientTest, RefusesAnAddressHoldingALineBreakBeforeTheTransactionStarts)
{
    struct Case {
        const char* name;
        bool inSender;
    };
    const Case cases[] = { { "recipient", false }, { "sender", true } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EmailAddress& item = c.inSender ? message.From() : message.Recipients.Add();
        const std::string before = item.Address;
        item.Address = "x@example.net>\r\nRCPT TO:<victim@example.net";
        Serve(SmtpPeer());
        smtp.OpenConnection();
        EXPECT_THROW(smtp.SendMessage(message), NetError);
        smtp.CloseConnection();
        item.Address = before;
        if (!c.inSender)
            message.Recipients.SetAddressListText("abuse@example.net");

        EXPECT_EQ(CommandsSent(), (Lines { "EHLO client.test", "QUIT" }));
    }
}

TEST_F(SmtpClientTest, ASilentServerFailsWithReadTimeout)
{
    smtp.ReadTimeout = 200;
    Serve(PeerScript().StaySilent());
    try {
        smtp.OpenConnection();
        ADD_FAILURE() << "no exception";
    } catch (const ReadTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Read Timeout");
    }
    EXPECT_FALSE(smtp.IsConnected());
}

TEST_F(SmtpClientTest, RequiredTLSWithoutStartTLSEndsBeforeAnyLogin)
{
    struct Case {
        const char* name;
        SmtpPeer peer;
        Lines commands;
    };
    SmtpPeer authOnly;
    authOnly.ehlo = "250-peer.test\r\n250-AUTH LOGIN PLAIN\r\n250 STARTTLSX\r\n";
    const Case cases[] = {
        { "EHLO without STARTTLS", authOnly, { "EHLO client.test", "QUIT" } },
        { "EHLO refused", SmtpPeer().Answer("EHLO", "500 no\r\n"), { "EHLO client.test", "HELO client.test", "QUIT" } },
    };
    smtp.UseTLS = TlsMode::StartTls;
    smtp.Username = "user";
    smtp.Password = "secret";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(c.peer);
        try {
            smtp.OpenConnection();
            ADD_FAILURE() << "no exception";
        } catch (const StartTlsNotOfferedError& error) {
            EXPECT_NE(std::string(error.what()).find("127.0.0.1 does not offer STARTTLS"), std::string::npos);
        }
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_THROW(smtp.SendMessage(message), NetError);

        const std::string transcript = Transcript();
        EXPECT_EQ(Commands(transcript), c.commands);
        EXPECT_EQ(transcript.find(EncodeBase64("secret")), std::string::npos);
    }
}

TEST_F(SmtpClientTest, AFailedStartTLSHandshakeClosesWithoutAPlainQuit)
{
    const std::string plainPart = "EHLO client.test\r\nSTARTTLS\r\n";
    auto startTLS = [] {
        return PeerScript()
            .Send("220 peer.test ESMTP\r\n")
            .ReadLine()
            .Send("250-peer.test\r\n250 STARTTLS\r\n")
            .ReadLine();
    };
    struct Case {
        const char* name;
        PeerHandler peer;
        bool clientHelloSent;
    };
    const Case cases[] = {
        // Lines sent in clear after the reply must not pass for lines sent
        // under TLS (RFC 3207 section 6).
        { "reply followed by plain data", startTLS().Send("220 2.0.0 Ready\r\n250 injected\r\n").ReadUntilClosed(),
          false },
        { "server answers the handshake in clear",
          startTLS().Send("220 2.0.0 Ready\r\n").ReadBytes(5).Send("554 5.7.0 no TLS here\r\n").ReadUntilClosed(),
          true },
    };
    smtp.UseTLS = TlsMode::StartTls;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Serve(c.peer);
        EXPECT_THROW(smtp.OpenConnection(), TlsError);
        EXPECT_FALSE(smtp.IsConnected());

        const std::string transcript = Transcript();
        EXPECT_EQ(transcript.rfind(plainPart, 0), 0u);
        EXPECT_EQ(transcript.find("QUIT"), std::string::npos);
        EXPECT_EQ(transcript.size() > plainPart.size(), c.clientHelloSent);
    }
}

TEST_F(SmtpClientTest, TLSNeedsAHandlerThatSpeaksIt)
{
    smtp.UseTLS = TlsMode::Implicit;
    smtp.SetIOHandler(std::make_unique<SocketIoHandler>());
    Serve(SmtpPeer());
    EXPECT_THROW(smtp.OpenConnection(), NetError);
    EXPECT_FALSE(smtp.IsConnected());
    EXPECT_EQ(server->ConnectionCount(), 0u);
}

} // namespace
} // namespace morvanta::test
