#include "net/IdTCPClient.h"

#include "net/IdException.h"
#include "net/IdIOHandlerStack.h"

#include <algorithm>
#include <climits>

namespace morvanta {

std::unique_ptr<TIdIOHandler> TIdTCPClientCustom::CreateIOHandler() const
{
    return std::make_unique<TIdIOHandlerStack>();
}

void TIdTCPClientCustom::EnsureIOHandler()
{
    if (ioHandler_)
        return;
    std::unique_ptr<TIdIOHandler> handler = CreateIOHandler();
    handler->OnStatus = OnStatus;
    SetIOHandler(std::move(handler));
}

void TIdTCPClientCustom::OpenConnection()
{
    if (IsConnected())
        throw EIdAlreadyConnected();
    EnsureIOHandler();
    try {
        ioHandler_->Port = Port;
        ioHandler_->Host = Host;
        ioHandler_->IPVersion = IPVersion;
        if (ReadTimeout > 0)
            ioHandler_->ReadTimeout = ReadTimeout;
        ioHandler_->Open();
        DoStatus(hsConnected, Host);
        if (OnConnected)
            OnConnected(this);
    } catch (...) {
        ioHandler_->Close();
        throw;
    }
}

int ReadTimeoutFromSeconds(int seconds)
{
    if (seconds <= 0)
        return 0;
    return static_cast<int>(std::min<long long>(seconds * 1000LL, INT_MAX));
}

} // namespace morvanta
