#include "net/IdTCPConnection.h"

#include "net/IdException.h"

#include <algorithm>
#include <climits>
#include <exception>

namespace morvanta {

TIdTCPConnection::~TIdTCPConnection()
{
    if (!ioHandler_)
        return;
    try {
        ioHandler_->Close();
    } catch (...) {
        // A destructor has nobody to report to.
    }
}

void TIdTCPConnection::SetIOHandler(std::unique_ptr<TIdIOHandler> handler)
{
    if (ioHandler_)
        ioHandler_->Close();
    ioHandler_ = std::move(handler);
    if (ioHandler_)
        ioHandler_->WorkTarget = this;
}

bool TIdTCPConnection::IsConnected()
{
    return ioHandler_ && ioHandler_->IsConnected();
}

void TIdTCPConnection::CloseConnection(bool notifyPeer)
{
    std::exception_ptr goodbyeError;
    try {
        if (notifyPeer && IsConnected())
            NotifyPeerOfClose();
    } catch (...) {
        goodbyeError = std::current_exception();
    }
    if (ioHandler_ && ioHandler_->Opened()) {
        DoStatus(hsDisconnecting);
        ioHandler_->Close();
        if (OnDisconnected)
            OnDisconnected(this);
        DoStatus(hsDisconnected);
    }
    if (goodbyeError)
        std::rethrow_exception(goodbyeError);
}

void CheckCommandLine(std::string_view command)
{
    // A line break would let the text end the command early and smuggle in
    // another one.
    if (command.find_first_of(std::string_view("\r\n\0", 3)) != std::string_view::npos)
        throw EIdException("A command cannot hold a line break or a NUL character: it was not sent.");
}

int TIdTCPConnection::SendCommand(std::string_view command, const std::vector<int>& allowedCodes)
{
    if (!ioHandler_)
        throw EIdNotConnected(RSNotConnectedCommand);
    CheckCommandLine(command);
    ioHandler_->SendLine(command);
    return ReadReply(allowedCodes);
}

int TIdTCPConnection::ReadReply(const std::vector<int>& allowedCodes)
{
    if (!ioHandler_)
        throw EIdNotConnected(RSNotConnectedCommand);
    std::vector<std::string> lines;
    lines.push_back(ioHandler_->ReceiveNonEmptyLine(INT_MAX));
    while (!IsEndOfReplyLine(lines.back()))
        lines.push_back(ioHandler_->ReceiveLine());
    lastReply_.SetFormattedReply(lines);

    const int code = lastReply_.NumericCode();
    if (!allowedCodes.empty() && std::find(allowedCodes.begin(), allowedCodes.end(), code) == allowedCodes.end())
        throw EIdSMTPReplyError(lastReply_);
    return code;
}

} // namespace morvanta
