#pragma once

#include "net/MailMessage.h"
#include "net/NetError.h"
#include "net/TcpClient.h"

#include <string>
#include <vector>

namespace morvanta {

inline constexpr int SmtpDefaultPort = 25;

enum class SmtpAuthentication { None, Login };

// How the conversation is protected. TlsMode::StartTls: STARTTLS (RFC 3207)
// right after EHLO, before anything else is sent, and the connection fails
// without it. TlsMode::Implicit: TLS from the first byte (RFC 8314, port
// 465). Both verify the server's certificate and host name.
enum class TlsMode { None, Implicit, StartTls };

// UseTLS asks for STARTTLS and the server does not offer it.
class StartTlsNotOfferedError : public NetError {
public:
    explicit StartTlsNotOfferedError(const std::string& host)
        : NetError("The mail server " + host
                   + " does not offer STARTTLS, so the connection cannot be encrypted. Nothing was sent: no "
                     "login, no message. (A server that speaks TLS from the first byte, usually on port 465, "
                     "needs UseTLS=2.)")
    {
    }
};

// Delivers messages to one SMTP server (RFC 5321): greeting, EHLO with a
// HELO fall-back, AUTH LOGIN when offered and configured, the mail
// transaction (pipelined when offered, RFC 2920), the data phase and QUIT.
class SmtpClient : public TcpClientBase {
public:
    SmtpClient();

    SmtpAuthentication AuthType = SmtpAuthentication::Login;
    std::string Username;
    std::string Password;
    std::string MailAgent; // the X-Mailer header; empty: none
    std::string HeloName; // empty: this computer's host name
    bool UseEhlo = true;
    bool PipeLining = true;
    TlsMode UseTLS = TlsMode::None;

    // Connects, reads the greeting and greets with EHLO (HELO when EHLO is
    // refused); with TlsMode::StartTls then STARTTLS and EHLO again. On a
    // failure after the TCP connection was made, QUIT is sent and the
    // connection closed before the error propagates; after a failed TLS
    // handshake it is closed without QUIT.
    void OpenConnection() override;

    // Logs in when due, sets X-Mailer and sends the message to the union of
    // Recipients, CCList and BccList. An attachment that cannot be read is
    // refused before anything is sent. When the message cannot be completed
    // in the data phase all the same, the connection is closed at once
    // without QUIT (the server would take a QUIT as message text), and the
    // error propagates.
    void SendMessage(MailMessage& message);

    // Says QUIT (expecting 221) when asked and connected, closes, and
    // forgets the login in every case.
    void CloseConnection(bool notifyPeer = true) override;

    // The lines of the last EHLO reply after the first one.
    [[nodiscard]] const std::vector<std::string>& ServerCapabilities() const { return capabilities_; }
    [[nodiscard]] bool LoggedIn() const { return loggedIn_; }
    // Whether the conversation is encrypted now.
    [[nodiscard]] bool TLSActive() const;

protected:
    void NotifyPeerOfClose() override;
    // One that can start TLS, whether or not UseTLS asks for it.
    [[nodiscard]] std::unique_ptr<IoHandler> CreateIOHandler() const override;

private:
    void SendGreeting();
    [[nodiscard]] bool HasCapability(std::string_view name) const;
    void Authenticate();
    // The envelope is the MAIL FROM command followed by the RCPT TO ones.
    void SendStepByStep(MailMessage& message, const std::vector<std::string>& envelope);
    void SendPipelined(MailMessage& message, const std::vector<std::string>& envelope);
    void SendData(MailMessage& message);

    std::vector<std::string> capabilities_;
    bool loggedIn_ = false;
};

// The login mechanisms named by the AUTH lines of the capabilities
// ("AUTH LOGIN PLAIN", or the old "AUTH=LOGIN"), upper-cased, each once.
[[nodiscard]] std::vector<std::string> AuthMechanisms(const std::vector<std::string>& capabilities);

// A line as the data phase sends it: one that begins with "." gets another
// one in front (RFC 5321 section 4.5.2).
[[nodiscard]] std::string DotStuffed(std::string_view line);

} // namespace morvanta
