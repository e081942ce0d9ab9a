#include "net/IdTCPConnection.h"

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

} // namespace morvanta
