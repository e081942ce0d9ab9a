#include "net/IdSMTP.h"

#include "app/Text.h"
#include "net/IdCoderMIME.h"
#include "net/IdSSLOpenSSL.h"
#include "net/IdSocketCalls.h"
#include "net/IdStack.h"

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
class DataPhaseSink : public TIdMessageSink {
public:
    DataPhaseSink(TIdIOHandler& io, TIdComponent& reporter)
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

    void Status(const std::string& text) override { reporter_.DoStatus(hsStatusText, text); }

private:
    TIdIOHandler& io_;
    TIdComponent& reporter_;
};

std::string EnvelopeCommand(std::string_view verb, const std::string& address)
{
    std::string command = std::string(verb) + "<" + address + ">";
    CheckCommandLine(command);
    return command;
}

// MAIL FROM, then one RCPT TO per recipient; all checked before any is sent.
std::vector<std::string> EnvelopeCommands(const TIdMessage& message, const TIdEMailAddressList& recipients)
{
    std::vector<std::string> commands;
    commands.push_back(EnvelopeCommand("MAIL FROM:", message.FromList.Empty() ? "" : message.FromList[0].Address));
    for (const TIdEMailAddressItem& recipient : recipients)
        commands.push_back(EnvelopeCommand("RCPT TO:", recipient.Address));
    return commands;
}

std::string GreetingName(const std::string& heloName)
{
    if (!heloName.empty())
        return heloName;
    if (TIdStack* stack = TIdStack::Instance(); stack && !stack->LocalHostName().empty())
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

TIdSMTP::TIdSMTP()
{
    Port = IdSMTPDefaultPort;
}

bool TIdSMTP::TLSActive() const
{
    auto* tls = dynamic_cast<TIdSSLIOHandlerSocketOpenSSL*>(IOHandler());
    return tls && tls->TLSActive();
}

std::unique_ptr<TIdIOHandler> TIdSMTP::CreateIOHandler() const
{
    return std::make_unique<TIdSSLIOHandlerSocketOpenSSL>();
}

void TIdSMTP::OpenConnection()
{
    if (IsConnected())
        throw EIdAlreadyConnected();
    EnsureIOHandler();
    auto* tls = dynamic_cast<TIdSSLIOHandlerSocketOpenSSL*>(ioHandler_.get());
    if (UseTLS != utNoTLSSupport && !tls)
        throw EIdException("TLS was asked for, but the connection's I/O handler cannot speak it.");
    if (tls)
        tls->PassThrough = UseTLS != utUseImplicitTLS;

    TIdTCPClientCustom::OpenConnection();
    bool handshakeStarted = false;
    try {
        ReadReply({ 220 });
        SendGreeting();
        if (UseTLS == utUseRequireTLS) {
            if (!HasCapability("STARTTLS"))
                throw EIdTLSClientTLSNotAvailable(Host);
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

void TIdSMTP::SendGreeting()
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

bool TIdSMTP::HasCapability(std::string_view name) const
{
    return std::any_of(capabilities_.begin(), capabilities_.end(),
                       [name](const std::string& line) { return SameText(Trim(line), name); });
}

void TIdSMTP::Authenticate()
{
    if (AuthType == atDefault && !loggedIn_ && !Username.empty()) {
        std::vector<std::string> mechanisms = AuthMechanisms(capabilities_);
        if (std::find(mechanisms.begin(), mechanisms.end(), "LOGIN") != mechanisms.end()) {
            SendCommand("AUTH LOGIN", { 334 });
            SendCommand(EncodeBase64(Username), { 334 });
            SendCommand(EncodeBase64(Password), { 235 });
        }
    }
    loggedIn_ = true;
}

void TIdSMTP::SendMessage(TIdMessage& AMsg)
{
    if (!ioHandler_)
        throw EIdNotConnected(RSNotConnectedCommand);
    // Never log in or send in clear when encryption was asked for.
    if (UseTLS != utNoTLSSupport && !TLSActive())
        throw EIdException("The connection to " + Host + " is not encrypted; nothing was sent.");

    Authenticate();
    AMsg.ExtraHeaders.SetHeaderValue("X-Mailer", MailAgent);

    TIdEMailAddressList recipients;
    recipients.SetAddressListText(AMsg.Recipients.AddressListText());
    if (!AMsg.CCList.Empty())
        recipients.SetAddressListText(recipients.AddressListText() + ", " + AMsg.CCList.AddressListText());
    if (!AMsg.BccList.Empty())
        recipients.SetAddressListText(recipients.AddressListText() + ", " + AMsg.BccList.AddressListText());

    const std::vector<std::string> envelope = EnvelopeCommands(AMsg, recipients);
    if (PipeLining && HasCapability("PIPELINING"))
        SendPipelined(AMsg, envelope);
    else
        SendStepByStep(AMsg, envelope);
}

void TIdSMTP::SendStepByStep(TIdMessage& AMsg, const std::vector<std::string>& envelope)
{
    SendCommand("RSET");
    SendCommand(envelope.front(), { 250 });
    for (auto rcptTo = envelope.begin() + 1; rcptTo != envelope.end(); ++rcptTo)
        SendCommand(*rcptTo, { 250, 251 });
    SendCommand("DATA", { 354 });
    SendData(AMsg);
    SendCommand(".", { 250 });
}

void TIdSMTP::SendPipelined(TIdMessage& AMsg, const std::vector<std::string>& envelope)
{
    std::vector<std::string> commands { "RSET" };
    commands.insert(commands.end(), envelope.begin(), envelope.end());
    commands.push_back("DATA");
    ioHandler_->SendLines(commands);

    // Every reply is read, so the conversation stays in step; the first
    // refusal is the one reported.
    std::optional<TIdReplySMTP> pending;
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
        throw EIdSMTPReplyError(*pending);
    }
    if (pending) {
        // DATA was accepted all the same: end the empty message at once.
        SendCommand(".");
        throw EIdSMTPReplyError(*pending);
    }
    SendData(AMsg);
    SendCommand(".", { 250 });
}

void TIdSMTP::SendData(TIdMessage& AMsg)
{
    DataPhaseSink sink(*ioHandler_, *this);
    try {
        ioHandler_->OpenWriteBuffer(DataWriteThreshold);
        AMsg.WriteMessage(sink);
        ioHandler_->CloseWriteBuffer();
    } catch (...) {
        // The server still takes every line as message text, so a QUIT
        // could not end the conversation; without the final "." it drops
        // the unfinished message.
        ioHandler_->CancelWriteBuffer();
        CloseConnection(false);
        throw;
    }
}

void TIdSMTP::NotifyPeerOfClose()
{
    SendCommand("QUIT", { 221 });
}

void TIdSMTP::CloseConnection(bool notifyPeer)
{
    // Cleared first, so also a failed QUIT leaves the next connection to log in.
    loggedIn_ = false;
    TIdTCPClientCustom::CloseConnection(notifyPeer);
}

} // namespace morvanta
