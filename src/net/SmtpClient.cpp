#include "net/SmtpClient.h"

#include "base/Text.h"
#include "net/Base64.h"
#include "net/SocketCalls.h"
#include "net/SocketLayer.h"
#include "net/TlsIoHandler.h"

#include <algorithm>
#include <exception>
#include <memory>
#include <optional>

namespace morvanta {

namespace {

// Outgoing message data is sent whenever this much has been collected, so
// a large attachment is never held whole.
constexpr int DataWriteThreshold = 32768;

// Writes the message into the connection during the data phase.
class DataPhaseSink : public MessageSink {
public:
    DataPhaseSink(IoHandler& io, NetComponent& reporter)
        : io_(io)
        , reporter_(reporter)
    {
    }

    void WriteLine(std::string_view line) override
    {
        if (!line.empty() && line.front() == '.')
            io_.SendLine(DotStuffed(line));
        else
            io_.SendLine(line);
    }

    void Status(const std::string& text) override { reporter_.DoStatus(NetStatus::StatusText, text); }

private:
    IoHandler& io_;
    NetComponent& reporter_;
};

std::string EnvelopeCommand(std::string_view verb, const std::string& address)
{
    std::string command = std::string(verb) + "<" + address + ">";
    CheckCommandLine(command);
    return command;
}

// MAIL FROM, then one RCPT TO per recipient; all checked before any is sent.
std::vector<std::string> EnvelopeCommands(const MailMessage& message, const EmailAddressList& recipients)
{
    std::vector<std::string> commands;
    commands.push_back(EnvelopeCommand("MAIL FROM:", message.FromList.Empty() ? "" : message.FromList[0].Address));
    for (const EmailAddress& recipient : recipients)
        commands.push_back(EnvelopeCommand("RCPT TO:", recipient.Address));
    return commands;
}

std::string GreetingName(const std::string& heloName)
{
    if (!heloName.empty())
        return heloName;
    if (SocketLayer* stack = SocketLayer::Instance(); stack && !stack->LocalHostName().empty())
        return stack->LocalHostName();
    return sockets::LocalHostName().substr(0, 15);
}

} // namespace

std::vector<std::string> AuthMechanisms(const std::vector<std::string>& capabilities)
{
    std::vector<std::string> mechanisms;
    for (const std::string& line : capabilities) {
        if (line.size() < 5 || !SameText(std::string_view(line).substr(0, 4), "AUTH")
            || (line[4] != ' ' && line[4] != '='))
            continue;
        std::string rest = UpperCase(ReplaceAll(std::string_view(line).substr(4), "=", " "));
        size_t start = 0;
        while ((start = rest.find_first_not_of(' ', start)) != std::string::npos) {
            size_t end = std::min(rest.find(' ', start), rest.size());
            std::string word = rest.substr(start, end - start);
            if (std::find(mechanisms.begin(), mechanisms.end(), word) == mechanisms.end())
                mechanisms.push_back(std::move(word));
            start = end;
        }
    }
    return mechanisms;
}

std::string DotStuffed(std::string_view line)
{
    if (line.empty() || line.front() != '.')
        return std::string(line);
    return "." + std::string(line);
}

SmtpClient::SmtpClient()
{
    Port = SmtpDefaultPort;
}

bool SmtpClient::TLSActive() const
{
    auto* tls = dynamic_cast<TlsIoHandler*>(IOHandler());
    return tls && tls->TLSActive();
}

std::unique_ptr<IoHandler> SmtpClient::CreateIOHandler() const
{
    return std::make_unique<TlsIoHandler>();
}

void SmtpClient::OpenConnection()
{
    if (IsConnected())
        throw AlreadyConnectedError();
    EnsureIOHandler();
    auto* tls = dynamic_cast<TlsIoHandler*>(ioHandler_.get());
    if (UseTLS != TlsMode::None && !tls)
        throw NetError("TLS was asked for, but the connection's I/O handler cannot speak it.");
    if (tls)
        tls->PassThrough = UseTLS != TlsMode::Implicit;

    TcpClientBase::OpenConnection();
    bool handshakeStarted = false;
    try {
        ReadReply({ 220 });
        SendGreeting();
        if (UseTLS == TlsMode::StartTls) {
            if (!HasCapability("STARTTLS"))
                throw StartTlsNotOfferedError(Host);
            SendCommand("STARTTLS", { 220 });
            handshakeStarted = true;
            tls->StartSSL();
            // RFC 3207 section 4.2: what the server said before TLS counts
            // for nothing; greet again to learn its capabilities.
            SendGreeting();
        }
    } catch (...) {
        std::exception_ptr error = std::current_exception();
        // After a broken handshake no plain QUIT can be understood.
        CloseConnection(!handshakeStarted || TLSActive());
        std::rethrow_exception(error);
    }
}

void SmtpClient::SendGreeting()
{
    capabilities_.clear();
    const std::string name = GreetingName(HeloName);
    if (UseEhlo && SendCommand("EHLO " + name) == 250) {
        const std::vector<std::string>& text = LastReply().Text;
        capabilities_.assign(text.begin() + std::min<size_t>(1, text.size()), text.end());
        return;
    }
    SendCommand("HELO " + name, { 250 });
}

bool SmtpClient::HasCapability(std::string_view name) const
{
    return std::any_of(capabilities_.begin(), capabilities_.end(),
                       [name](const std::string& line) { return SameText(Trim(line), name); });
}

void SmtpClient::Authenticate()
{
    if (AuthType == SmtpAuthentication::Login && !loggedIn_ && !Username.empty()) {
        std::vector<std::string> mechanisms = AuthMechanisms(capabilities_);
        if (std::find(mechanisms.begin(), mechanisms.end(), "LOGIN") != mechanisms.end()) {
            SendCommand("AUTH LOGIN", { 334 });
            SendCommand(EncodeBase64(Username), { 334 });
            SendCommand(EncodeBase64(Password), { 235 });
        }
    }
    loggedIn_ = true;
}

void SmtpClient::SendMessage(MailMessage& message)
{
    if (!ioHandler_)
        throw NotConnectedError(RSNotConnectedCommand);
    // Never log in or send in clear when encryption was asked for.
    if (UseTLS != TlsMode::None && !TLSActive())
        throw NetError("The connection to " + Host + " is not encrypted; nothing was sent.");
    // An attachment that cannot be read would stop the data phase half-way.
    message.Parts.CheckAttachmentsReadable();

    Authenticate();
    message.ExtraHeaders.SetHeaderValue("X-Mailer", MailAgent);

    EmailAddressList recipients;
    recipients.SetAddressListText(message.Recipients.AddressListText());
    if (!message.CCList.Empty())
        recipients.SetAddressListText(recipients.AddressListText() + ", " + message.CCList.AddressListText());
    if (!message.BccList.Empty())
        recipients.SetAddressListText(recipients.AddressListText() + ", " + message.BccList.AddressListText());

    const std::vector<std::string> envelope = EnvelopeCommands(message, recipients);
    if (PipeLining && HasCapability("PIPELINING"))
        SendPipelined(message, envelope);
    else
        SendStepByStep(message, envelope);
}

void SmtpClient::SendStepByStep(MailMessage& message, const std::vector<std::string>& envelope)
{
    SendCommand("RSET");
    SendCommand(envelope.front(), { 250 });
    for (auto rcptTo = envelope.begin() + 1; rcptTo != envelope.end(); ++rcptTo)
        SendCommand(*rcptTo, { 250, 251 });
    SendCommand("DATA", { 354 });
    SendData(message);
    SendCommand(".", { 250 });
}

void SmtpClient::SendPipelined(MailMessage& message, const std::vector<std::string>& envelope)
{
    std::vector<std::string> commands { "RSET" };
    commands.insert(commands.end(), envelope.begin(), envelope.end());
    commands.push_back("DATA");
    ioHandler_->SendLines(commands);

    // Every reply is read, so the conversation stays in step; the first
    // refusal is the one reported.
    std::optional<SmtpReply> pending;
    ReadReply();
    if (ReadReply() != 250)
        pending = LastReply();
    for (size_t i = 1; i < envelope.size(); ++i) {
        int code = ReadReply();
        if (code != 250 && code != 251 && !pending)
            pending = LastReply();
    }
    if (ReadReply() != 354) {
        if (!pending)
            pending = LastReply();
        throw SmtpReplyError(*pending);
    }
    if (pending) {
        // DATA was accepted all the same: end the empty message at once.
        SendCommand(".");
        throw SmtpReplyError(*pending);
    }
    SendData(message);
    SendCommand(".", { 250 });
}

void SmtpClient::SendData(MailMessage& message)
{
    DataPhaseSink sink(*ioHandler_, *this);
    // A large message on a slow line takes what it takes, as long as the
    // server keeps taking it.
    ioHandler_->SetSendCredit(true);
    try {
        ioHandler_->OpenWriteBuffer(DataWriteThreshold);
        message.WriteMessage(sink);
        ioHandler_->CloseWriteBuffer();
        ioHandler_->SetSendCredit(false);
    } catch (...) {
        ioHandler_->SetSendCredit(false);
        // The server still takes every line as message text, so a QUIT
        // could not end the conversation; without the final "." it drops
        // the unfinished message.
        ioHandler_->CancelWriteBuffer();
        CloseConnection(false);
        throw;
    }
}

void SmtpClient::NotifyPeerOfClose()
{
    SendCommand("QUIT", { 221 });
}

void SmtpClient::CloseConnection(bool notifyPeer)
{
    // Cleared first, so also a failed QUIT leaves the next connection to log in.
    loggedIn_ = false;
    TcpClientBase::CloseConnection(notifyPeer);
}

} // namespace morvanta
