#include "mailer/SmtpDelivery.h"

#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/SmtpTestServer.h"
#include "fixtures/TcpRelay.h"
#include "fixtures/TestFiles.h"
#include "net/Base64.h"
#include "net/MessageErrors.h"
#include "net/NetError.h"
#include "net/SocketIoHandler.h"
#include "net/TlsIoHandler.h"

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

using Lines = std::vector<std::string>;

const char* const User = "reporter";
const char* const Password = "s3cret pass";

std::string BinaryData(size_t size, unsigned seed)
{
    std::string data(size, '\0');
    for (size_t i = 0; i < size; ++i)
        data[i] = static_cast<char>((i * seed + i / 253) & 0xFF);
    return data;
}

// A report as the mailer composes one: the sender with its display name
// and read receipt, recipients in To, CC and BCC, a body holding lines
// that need the transparency dot, and two attachments.
class SmtpDeliveryTest : public ::testing::Test {
protected:
    SmtpDeliveryTest()
    {
        small = BinaryData(50000, 7);
        large = BinaryData(1000001, 13);
        WriteFile(folder / "evidence.bin", small);
        WriteFile(folder / "headers.eml", large);

        message.From().SetText("Morvanta <reporter@example.org>");
        message.ReceiptRecipient.SetText(message.From().Text());
        message.Recipients.SetAddressListText("abuse@example.net, \"Doe, Jane\" <security-team@example.com>, "
                                              "noc@example.org");
        message.CCList.SetAddressListText("copy@example.net");
        message.BccList.SetAddressListText("hidden@example.net");
        message.Subject = "Spam report for 192.0.2.1";
        message.Body = { "Please stop the spam from 192.0.2.1.", ".", "..two dots", "", "Received: from x", "end" };
        message.Parts.AddAttachmentFile(folder / "evidence.bin");
        message.Parts.AddAttachmentFile(folder / "headers.eml");

        mail.HostAddress = "127.0.0.1";
        mail.MailAgent = "Morvanta Mail";
        mail.EMailLoginID = User;
        mail.EMailPassword = Password;
        smtp.HeloName = "client.test";
    }

    // A server in that mode that takes the test login.
    static SmtpTestServer::Options ServerOptions(const std::string& mode, const TestCertificates::KeyPair& certificate)
    {
        SmtpTestServer::Options options;
        options.mode = mode;
        options.certificate = certificate;
        options.user = User;
        options.password = Password;
        return options;
    }

    void Configure(int port, int useTLS, bool authentication)
    {
        mail.Port = port;
        mail.UseTLS = useTLS;
        mail.Authentication = authentication;
        ApplyMailSettings(smtp, mail, 20);
    }

    TempDir folder;
    std::string small;
    std::string large;
    MailMessage message;
    MailSettings mail;
    SmtpClient smtp;
};

TEST_F(SmtpDeliveryTest, AReportArrivesWholeOverEveryKindOfConnection)
{
    struct Case {
        const char* name;
        std::string serverMode;
        int useTLS;
        bool authentication;
        bool pipelining;
    };
    const Case cases[] = {
        { "plain", "plain", 0, false, false },
        { "plain, pipelined", "plain", 0, false, true },
        { "AUTH LOGIN", "auth", 0, true, false },
        { "STARTTLS with AUTH LOGIN", "starttls", 1, true, true },
        { "TLS from the first byte with AUTH LOGIN", "tls", 2, true, false },
    };
    TrustTestAuthority trust;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer::Options options = ServerOptions(c.serverMode, SharedTestCertificates().server);
        options.pipelining = c.pipelining;
        SmtpTestServer server(options);
        Configure(server.Port(), c.useTLS, c.authentication);

        ASSERT_NO_THROW(DeliverMessage(smtp, message)) << server.Log();
        EXPECT_FALSE(smtp.IsConnected());
        ASSERT_EQ(server.MessageCount(), 1);

        StoredEnvelope envelope = server.Envelope(1);
        EXPECT_EQ(envelope.from, "reporter@example.org");
        EXPECT_EQ(envelope.recipients, (Lines { "abuse@example.net", "security-team@example.com", "noc@example.org",
                                                "copy@example.net", "hidden@example.net" }));
        EXPECT_EQ(envelope.login, c.authentication ? User : "");
        EXPECT_EQ(envelope.tls, c.useTLS != 0);

        ParsedMessage parsed = server.Parse(1);
        EXPECT_TRUE(parsed.defects.empty());
        EXPECT_EQ(parsed.HeaderNames(), (Lines { "From", "Subject", "To", "Cc", "Content-Type", "MIME-Version",
                                                 "Disposition-Notification-To", "Date", "X-Mailer" }));
        EXPECT_EQ(parsed.Header("From"), "\"Morvanta\" <reporter@example.org>");
        EXPECT_EQ(parsed.Header("Subject"), "Spam report for 192.0.2.1");
        EXPECT_EQ(parsed.Header("Disposition-Notification-To"), "\"Morvanta\" <reporter@example.org>");
        EXPECT_EQ(parsed.Header("X-Mailer"), "Morvanta Mail");
        EXPECT_EQ(parsed.mailboxes,
                  (std::vector<ParsedMessage::Mailbox> { { "To", "", "abuse@example.net" },
                                                         { "To", "Doe, Jane", "security-team@example.com" },
                                                         { "To", "", "noc@example.org" },
                                                         { "Cc", "", "copy@example.net" } }));
        EXPECT_EQ(parsed.body, message.Body);
        ASSERT_EQ(parsed.attachments.size(), 2u);
        EXPECT_EQ(parsed.attachments[0].fileName, "evidence.bin");
        EXPECT_EQ(parsed.attachments[0].sha256, Sha256Hex(small));
        EXPECT_EQ(parsed.attachments[1].fileName, "headers.eml");
        EXPECT_EQ(parsed.attachments[1].size, large.size());
        EXPECT_EQ(parsed.attachments[1].sha256, Sha256Hex(large));
    }
}

TEST_F(SmtpDeliveryTest, BccRecipientsAndLongToLinesAsStored)
{
    SmtpTestServer server({});
    Configure(server.Port(), 0, false);
    DeliverMessage(smtp, message);

    ParsedMessage parsed = server.Parse(1);
    const Lines& raw = parsed.rawHeaderLines;
    for (const std::string& line : raw) {
        EXPECT_EQ(line.find("hidden@"), std::string::npos) << line;
        EXPECT_LE(line.size(), 78u) << line;
    }
    // The To line is longer than 78 characters, so it goes on in a
    // continuation line.
    auto to = std::find_if(raw.begin(), raw.end(), [](const std::string& line) { return line.rfind("To: ", 0) == 0; });
    ASSERT_NE(to, raw.end());
    ASSERT_NE(to + 1, raw.end());
    EXPECT_TRUE((to + 1)->front() == ' ' || (to + 1)->front() == '\t') << *(to + 1);
}

TEST_F(SmtpDeliveryTest, StartTLSKeepsTheLoginAndTheMessageOffTheWire)
{
    struct Case {
        const char* name;
        std::string serverMode;
        int useTLS;
        std::string clearPrefix; // all that may travel in clear
    };
    const Case cases[] = {
        { "STARTTLS", "starttls", 1, "EHLO client.test\r\nSTARTTLS\r\n" },
        { "TLS from the first byte", "tls", 2, "" },
    };
    TrustTestAuthority trust;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer server(ServerOptions(c.serverMode, SharedTestCertificates().server));
        TcpRelay relay(server.Port());
        Configure(relay.Port(), c.useTLS, true);

        DeliverMessage(smtp, message);
        ASSERT_EQ(server.MessageCount(), 1);
        EXPECT_EQ(server.Envelope(1).login, User);

        const std::string wire = relay.FromClient();
        EXPECT_EQ(wire.substr(0, c.clearPrefix.size()), c.clearPrefix);
        // A TLS handshake record follows at once.
        ASSERT_GT(wire.size(), c.clearPrefix.size());
        EXPECT_EQ(wire[c.clearPrefix.size()], '\x16');
        for (const std::string& secret : { EncodeBase64(User), EncodeBase64(Password), std::string("AUTH"),
                                           std::string("MAIL FROM"), std::string("Spam report") })
            EXPECT_EQ(wire.find(secret), std::string::npos) << secret;
    }
}

TEST_F(SmtpDeliveryTest, AServerCertificateThatFailsVerificationStopsTheSendBeforeTheLogin)
{
    struct Case {
        const char* name;
        std::string serverMode;
        int useTLS;
        std::string host;
        TestCertificates::KeyPair certificate;
        bool trusted;
        std::string reason;
    };
    const TestCertificates& certificates = SharedTestCertificates();
    const Case cases[] = {
        { "TLS, certificate for another name", "tls", 2, "localhost", certificates.wrongName, true,
          "hostname mismatch" },
        { "STARTTLS, certificate for another address", "starttls", 1, "127.0.0.1", certificates.wrongName, true,
          "IP address mismatch" },
        { "TLS, self-signed certificate", "tls", 2, "127.0.0.1", certificates.selfSigned, true,
          "self-signed certificate" },
        { "STARTTLS, authority not in the trust store", "starttls", 1, "localhost", certificates.server, false,
          "unable to get local issuer certificate" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::optional<TrustTestAuthority> trust;
        std::optional<ScopedEnv> noFile;
        std::optional<ScopedEnv> noFolder;
        if (c.trusted) {
            trust.emplace();
        } else {
            // Only an empty store: the test authority is unknown there.
            noFile.emplace("SSL_CERT_FILE", (certificates.emptyFolder + "/none.pem").c_str());
            noFolder.emplace("SSL_CERT_DIR", certificates.emptyFolder.c_str());
        }
        SmtpTestServer server(ServerOptions(c.serverMode, c.certificate));
        TcpRelay relay(server.Port());
        mail.HostAddress = c.host;
        Configure(relay.Port(), c.useTLS, true);

        try {
            DeliverMessage(smtp, message);
            ADD_FAILURE() << "no exception";
        } catch (const TlsCertificateError& error) {
            const std::string text = error.what();
            EXPECT_NE(text.find("The certificate of the server " + c.host + " could not be verified: " + c.reason),
                      std::string::npos)
                << text;
        }
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_EQ(server.MessageCount(), 0);
        const std::string wire = relay.FromClient();
        EXPECT_EQ(wire.find("QUIT"), std::string::npos);
        EXPECT_EQ(wire.find(EncodeBase64(Password)), std::string::npos);
        EXPECT_EQ(wire.find("AUTH"), std::string::npos);
    }
}

TEST_F(SmtpDeliveryTest, AServerThatStopsReadingEndsTheEncryptedSendWithinNetworkTimeout)
{
    struct Case {
        const char* name;
        std::string serverMode;
        int useTLS;
    };
    const Case cases[] = {
        { "STARTTLS", "starttls", 1 },
        { "TLS from the first byte", "tls", 2 },
    };
    TrustTestAuthority trust;
    const std::string big = BinaryData(4 * 1024 * 1024, 3);
    WriteFile(folder / "big.bin", big);
    message.Parts.AddAttachmentFile(folder / "big.bin");
    smtp.OnConnected = [this](NetComponent*) {
        int size = 4096;
        auto& handler = dynamic_cast<SocketIoHandlerBase&>(*smtp.IOHandler());
        setsockopt(handler.Binding().Handle(), SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SmtpTestServer server(ServerOptions(c.serverMode, SharedTestCertificates().server));
        // Enough for the handshake, the login and the envelope, not for
        // the message.
        TcpRelay relay(server.Port(), 100000);
        mail.Port = relay.Port();
        mail.UseTLS = c.useTLS;
        mail.Authentication = true;
        ApplyMailSettings(smtp, mail, 1);

        const auto start = std::chrono::steady_clock::now();
        try {
            DeliverMessage(smtp, message);
            ADD_FAILURE() << "no exception";
        } catch (const WriteTimeoutError& error) {
            EXPECT_STREQ(error.what(), "Write Timeout: the server 127.0.0.1 took no data for 1 second.");
        }
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(5));
        EXPECT_FALSE(smtp.IsConnected());
        EXPECT_EQ(server.MessageCount(), 0);
    }
}

TEST_F(SmtpDeliveryTest, AnAttachmentThatIsNoRegularFileFailsBeforeTheServerIsContacted)
{
    ASSERT_EQ(mkfifo((folder / "pipe").c_str(), 0600), 0);
    SmtpTestServer server({});
    TcpRelay relay(server.Port());
    Configure(relay.Port(), 0, false);
    const std::string paths[] = { folder / "pipe", "/dev/zero", folder.Path() };
    for (const std::string& path : paths) {
        SCOPED_TRACE(path);
        message.Parts.Clear();
        message.Parts.AddAttachmentFile(folder / "evidence.bin");
        message.Parts.AddAttachmentFile(path);
        try {
            DeliverMessage(smtp, message);
            ADD_FAILURE() << "no exception";
        } catch (const NotARegularFileError& error) {
            EXPECT_EQ(error.path(), path);
            EXPECT_EQ(std::string(error.what()).rfind("Cannot open file " + path + ": it is ", 0), 0u) << error.what();
        }
        EXPECT_FALSE(smtp.IsConnected());
    }
    EXPECT_EQ(relay.FromClient(), "");
    EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SmtpDeliveryTest, TLSFromTheFirstByteToAPlainServerFails)
{
    SmtpTestServer server({});
    Configure(server.Port(), 2, true);

    EXPECT_THROW(DeliverMessage(smtp, message), TlsError);
    EXPECT_FALSE(smtp.IsConnected());
    EXPECT_EQ(server.MessageCount(), 0);
}

TEST_F(SmtpDeliveryTest, ACertificateForLocalhostMatchesTheNameLocalhost)
{
    TrustTestAuthority trust;
    SmtpTestServer::Options options;
    options.mode = "tls";
    options.certificate = SharedTestCertificates().server;
    SmtpTestServer server(options);
    mail.HostAddress = "localhost";
    Configure(server.Port(), 2, false);

    EXPECT_NO_THROW(DeliverMessage(smtp, message));
    EXPECT_EQ(server.MessageCount(), 1);
}

TEST_F(SmtpDeliveryTest, ARefusedConnectionRaisesTheSocketError)
{
    ClosedPort closed;
    Configure(closed.Port(), 0, false);
    try {
        DeliverMessage(smtp, message);
        ADD_FAILURE() << "no exception";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), 10061);
    }
    EXPECT_FALSE(smtp.IsConnected());
}

TEST_F(SmtpDeliveryTest, AClientWithoutAHostIsAFailureNotASuccess)
{
    SmtpClient unset;
    unset.Host = "";
    EXPECT_THROW(DeliverMessage(unset, message), NetError);
}

TEST(ApplyMailSettings, PutsTheMailOptionsIntoTheClient)
{
    MailSettings mail;
    mail.HostAddress = "mail.example.org";
    mail.Port = 587;
    mail.UseTLS = 1;
    mail.Authentication = true;
    mail.EMailLoginID = "user";
    mail.EMailPassword = "secret";
    mail.MailAgent = "Morvanta Mail";
    SmtpClient smtp;
    ApplyMailSettings(smtp, mail, 60);

    EXPECT_EQ(smtp.Host, "mail.example.org");
    EXPECT_EQ(smtp.Port, 587);
    EXPECT_EQ(smtp.UseTLS, TlsMode::StartTls);
    EXPECT_EQ(smtp.AuthType, SmtpAuthentication::Login);
    EXPECT_EQ(smtp.Username, "user");
    EXPECT_EQ(smtp.Password, "secret");
    EXPECT_EQ(smtp.MailAgent, "Morvanta Mail");
    EXPECT_EQ(smtp.ReadTimeout, 60000);

    mail.UseTLS = 2;
    mail.Authentication = false;
    ApplyMailSettings(smtp, mail, 0);
    EXPECT_EQ(smtp.UseTLS, TlsMode::Implicit);
    EXPECT_EQ(smtp.AuthType, SmtpAuthentication::None);
    EXPECT_EQ(smtp.ReadTimeout, 0);

    mail.UseTLS = 0;
    ApplyMailSettings(smtp, mail, 3000000);
    EXPECT_EQ(smtp.UseTLS, TlsMode::None);
    EXPECT_EQ(smtp.ReadTimeout, 2147483647);
}

TEST(ApplyMailSettings, RefusesAPortOrTLSChoiceItCannotHonour)
{
    struct Case {
        const char* name;
        int port;
        int useTLS;
    };
    const Case cases[] = {
        { "port 0", 0, 0 },
        { "port above 65535", 65536, 0 },
        { "UseTLS 3", 25, 3 },
        { "UseTLS -1", 25, -1 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        MailSettings mail;
        mail.HostAddress = "mail";
        mail.Port = c.port;
        mail.UseTLS = c.useTLS;
        SmtpClient smtp;
        smtp.UseTLS = TlsMode::Implicit;
        EXPECT_THROW(ApplyMailSettings(smtp, mail, 60), NetError);
        // Nothing was half applied.
        EXPECT_EQ(smtp.UseTLS, TlsMode::Implicit);
        EXPECT_EQ(smtp.Host, "");
    }
}

} // namespace
} // namespace morvanta::test
