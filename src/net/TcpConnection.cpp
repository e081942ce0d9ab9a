#include "net/TcpConnection.h"

#include "base/Text.h"
#include "net/NetError.h"

#include <algorithm>
#include <exception>

namespace morvanta {

TcpConnection::~TcpConnection()
{
    if (!ioHandler_)
        return;
    try {
        ioHandler_->Close();
    } catch (...) {
        // A destructor has nobody to report to.
    }
}

void TcpConnection::SetIOHandler(std::unique_ptr<IoHandler> handler)
{
    if (ioHandler_)
        ioHandler_->Close();
    ioHandler_ = std::move(handler);
    if (ioHandler_)
        ioHandler_->WorkTarget = this;
}

bool TcpConnection::IsConnected()
{
    return ioHandler_ && ioHandler_->IsConnected();
}

void TcpConnection::CloseConnection(bool notifyPeer)
{
    std::exception_ptr goodbyeError;
    try {
        // After a time-out the peer is out of step: a good-bye would only
        // wait for it once more.
        if (notifyPeer && IsConnected() && !ioHandler_->TimedOut())
            NotifyPeerOfClose();
    } catch (...) {
        goodbyeError = std::current_exception();
    }
    if (ioHandler_ && ioHandler_->Opened()) {
        DoStatus(NetStatus::Disconnecting);
        ioHandler_->Close();
        if (OnDisconnected)
            OnDisconnected(this);
        DoStatus(NetStatus::Disconnected);
    }
    if (goodbyeError)
        std::rethrow_exception(goodbyeError);
}

void CheckCommandLine(std::string_view command)
{
    // A line break would let the text end the command early and smuggle in
    // another one.
    if (command.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw NetError("A command cannot hold a line break or a NUL character: it was not sent.");
}

int TcpConnection::SendCommand(std::string_view command, const std::vector<int>& allowedCodes)
{
    if (!ioHandler_)
        throw NotConnectedError(RSNotConnectedCommand);
    CheckCommandLine(command);
    ioHandler_->SendLine(command);
    return ReadReply(allowedCodes);
}

int TcpConnection::ReadReply(const std::vector<int>& allowedCodes)
{
    if (!ioHandler_)
        throw NotConnectedError(RSNotConnectedCommand);
    // Blank lines before the reply count as well: a peer that sends them
    // (or continuation lines) for ever is stopped here.
    size_t lineCount = 0;
    size_t byteCount = 0;
    auto receive = [&] {
        std::string line = ioHandler_->ReceiveLine();
        ++lineCount;
        byteCount += line.size() + 2;
        if (lineCount > MaxReplyLines || byteCount > MaxReplySize) {
            const std::string host = ioHandler_->Host;
            CloseConnection(false);
            throw ReplyTooLongError(host, MaxReplyLines, MaxReplySize);
        }
        return line;
    };
    std::vector<std::string> lines;
    std::string first;
    while ((first = Trim(receive())).empty()) { }
    lines.push_back(std::move(first));
    while (!IsEndOfReplyLine(lines.back()))
        lines.push_back(receive());
    lastReply_.SetFormattedReply(lines);

    const int code = lastReply_.NumericCode();
    if (!allowedCodes.empty() && std::find(allowedCodes.begin(), allowedCodes.end(), code) == allowedCodes.end())
        throw SmtpReplyError(lastReply_);
    return code;
}

} // namespace morvanta
