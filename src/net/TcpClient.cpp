#include "net/TcpClient.h"

#include "net/NetError.h"
#include "net/SocketIoHandler.h"

#include <algorithm>
#include <climits>

namespace morvanta {

std::unique_ptr<IoHandler> TcpClientBase::CreateIOHandler() const
{
    return std::make_unique<SocketIoHandler>();
}

void TcpClientBase::EnsureIOHandler()
{
    if (ioHandler_)
        return;
    std::unique_ptr<IoHandler> handler = CreateIOHandler();
    handler->OnStatus = OnStatus;
    SetIOHandler(std::move(handler));
}

void TcpClientBase::OpenConnection()
{
    if (IsConnected())
        throw AlreadyConnectedError();
    EnsureIOHandler();
    try {
        ioHandler_->Port = Port;
        ioHandler_->Host = Host;
        ioHandler_->IPVersion = IPVersion;
        if (ReadTimeout > 0)
            ioHandler_->ReadTimeout = ReadTimeout;
        ioHandler_->Open();
        DoStatus(NetStatus::Connected, Host);
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
