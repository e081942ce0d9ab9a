#include "net/IdIOHandlerStack.h"

#include "net/IdException.h"
#include "net/IdStack.h"

#include <algorithm>

namespace morvanta {

void TIdIOHandlerSocket::Open()
{
    TIdIOHandler::Open();
    binding_.Reset();
    if (Host.empty() || Port <= 0)
        return;
    ConnectSocket();
}

void TIdIOHandlerSocket::Close()
{
    binding_.CloseSocket();
    TIdIOHandler::Close();
}

void TIdIOHandlerStack::ConnectSocket()
{
    if (Port > 65535)
        throw EIdException("Invalid port " + std::to_string(Port) + ": a TCP port is a number from 1 to 65535.");
    binding_.AllocateSocket(IPVersion);
    binding_.IP = BoundIP;
    binding_.Port = BoundPort;
    binding_.Bind();
    binding_.SetNoDelay(!UseNagle);

    std::string address = Host;
    if (!IsNumericAddress(Host)) {
        DoStatus(hsResolving, Host);
        address = ResolveAddress(Host);
    }
    binding_.PeerIP = address;
    binding_.PeerPort = Port;
    DoStatus(hsConnecting, address);
    binding_.Connect();
}

bool TIdIOHandlerStack::WaitReadable(int timeout)
{
    if (!binding_.HandleAllocated())
        throw EIdConnClosedGracefully();
    if (PendingRawBytes() > 0)
        return true;
    return binding_.Readable(timeout < 0 ? sockets::WaitForever : timeout);
}

void TIdIOHandlerStack::CheckDisconnect(bool raiseIfDisconnected, bool ignoreBuffer)
{
    bool disconnected;
    if (peerClosed_) {
        if (binding_.HandleAllocated()) {
            binding_.CloseSocket();
            DoStatus(hsDisconnected);
        }
        disconnected = true;
    } else {
        disconnected = !binding_.HandleAllocated();
    }
    // Data that arrived before the close stays readable; only a read that
    // needs more than the buffer holds fails.
    if (disconnected && inputBuffer_ && (inputBuffer_->Empty() || ignoreBuffer) && raiseIfDisconnected)
        throw EIdConnClosedGracefully();
}

int TIdIOHandlerStack::FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout)
{
    timeout = EffectiveTimeout(timeout);
    CheckDisconnect(raiseIfDisconnected, false);
    if (!binding_.HandleAllocated()) {
        if (raiseIfDisconnected)
            throw EIdException(RSNotConnected);
        return 0;
    }
    const size_t chunk = static_cast<size_t>(std::max(RecvBufferSize, 1));
    size_t count;
    do {
        if (!WaitReadable(timeout)) {
            if (raiseOnTimeout)
                throw EIdReadTimeout();
            return -1;
        }
        char* into = inputBuffer_->PrepareAppend(chunk);
        try {
            count = ReceiveRaw(into, chunk);
        } catch (...) {
            inputBuffer_->CommitAppend(0);
            throw;
        }
        inputBuffer_->CommitAppend(count);
        if (count == 0)
            peerClosed_ = true;
        CheckDisconnect(raiseIfDisconnected, false);
    } while (count == 0 && binding_.HandleAllocated());
    return static_cast<int>(count);
}

bool TIdIOHandlerStack::IsConnected()
{
    FillInputBuffer(false, 0, false);
    return (opened_ && binding_.HandleAllocated() && !peerClosed_) || (inputBuffer_ && !inputBuffer_->Empty());
}

void TIdIOHandlerStack::PollForData(int timeout)
{
    if (IsConnected())
        FillInputBuffer(false, timeout, false);
}

void TIdIOHandlerStack::SendDirect(std::string_view bytes)
{
    CheckDisconnect(true, true);
    if (!binding_.HandleAllocated())
        throw EIdNotConnected(RSNotConnected);
    size_t sent = 0;
    while (sent < bytes.size()) {
        size_t count = SendRaw(bytes.data() + sent, bytes.size() - sent);
        if (count == 0)
            peerClosed_ = true;
        CheckDisconnect(true, false);
        if (!binding_.HandleAllocated())
            throw EIdConnClosedGracefully();
        sent += count;
        DoWork(wmWrite, static_cast<int64_t>(count));
    }
}

size_t TIdIOHandlerStack::SendRaw(const char* data, size_t size)
{
    return binding_.Send(data, size);
}

size_t TIdIOHandlerStack::ReceiveRaw(char* into, size_t size)
{
    return binding_.Receive(into, size);
}

} // namespace morvanta
