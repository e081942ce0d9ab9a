#include "net/SocketIoHandler.h"

#include "net/NetError.h"
#include "net/SocketLayer.h"

#include <algorithm>
#include <optional>

namespace morvanta {

void SocketIoHandlerBase::Open()
{
    IoHandler::Open();
    binding_.Reset();
    if (Host.empty() || Port <= 0)
        return;
    ConnectSocket();
}

void SocketIoHandlerBase::Close()
{
    binding_.CloseSocket();
    IoHandler::Close();
}

void SocketIoHandler::ConnectSocket()
{
    if (Port > 65535)
        throw NetError("Invalid port " + std::to_string(Port) + ": a TCP port is a number from 1 to 65535.");
    binding_.AllocateSocket(IPVersion);
    binding_.IP = BoundIP;
    binding_.Port = BoundPort;
    binding_.Bind();
    binding_.SetNoDelay(!UseNagle);

    std::string address = Host;
    if (!IsNumericAddress(Host)) {
        DoStatus(NetStatus::Resolving, Host);
        address = ResolveAddress(Host);
    }
    binding_.PeerIP = address;
    binding_.PeerPort = Port;
    DoStatus(NetStatus::Connecting, address);
    binding_.Connect();
}

bool SocketIoHandler::WaitReadable(int timeout)
{
    if (!binding_.HandleAllocated())
        throw ConnectionClosedError();
    if (PendingRawBytes() > 0)
        return true;
    return binding_.Readable(timeout < 0 ? sockets::WaitForever : timeout);
}

void SocketIoHandler::CheckDisconnect(bool raiseIfDisconnected, bool ignoreBuffer)
{
    bool disconnected;
    if (peerClosed_) {
        if (binding_.HandleAllocated()) {
            binding_.CloseSocket();
            DoStatus(NetStatus::Disconnected);
        }
        disconnected = true;
    } else {
        disconnected = !binding_.HandleAllocated();
    }
    // Data that arrived before the close stays readable; only a read that
    // needs more than the buffer holds fails.
    if (disconnected && inputBuffer_ && (inputBuffer_->Empty() || ignoreBuffer) && raiseIfDisconnected)
        throw ConnectionClosedError();
}

int SocketIoHandler::FillInputBuffer(bool raiseIfDisconnected, int timeout, bool raiseOnTimeout)
{
    const WaitBudget budget = BudgetFor(timeout, WaitKind::Read);
    CheckDisconnect(raiseIfDisconnected, false);
    if (!binding_.HandleAllocated()) {
        if (raiseIfDisconnected)
            throw NetError(RSNotConnected);
        return 0;
    }
    const size_t chunk = static_cast<size_t>(std::max(RecvBufferSize, 1));
    size_t count;
    do {
        if (!WaitReadable(budget.timeout)) {
            // The end of the conversation's time is no time-out a caller
            // may ignore.
            if (raiseOnTimeout || budget.byDeadline)
                RaiseTimeout(budget, WaitKind::Read);
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

bool SocketIoHandler::IsConnected()
{
    FillInputBuffer(false, 0, false);
    return (opened_ && binding_.HandleAllocated() && !peerClosed_) || (inputBuffer_ && !inputBuffer_->Empty());
}

void SocketIoHandler::PollForData(int timeout)
{
    if (IsConnected())
        FillInputBuffer(false, timeout, false);
}

void SocketIoHandler::SendDirect(std::string_view bytes)
{
    CheckDisconnect(true, true);
    if (!binding_.HandleAllocated())
        throw NotConnectedError(RSNotConnected);
    size_t sent = 0;
    while (sent < bytes.size()) {
        size_t count = SendRaw(bytes.data() + sent, bytes.size() - sent);
        if (count == 0)
            peerClosed_ = true;
        CheckDisconnect(true, false);
        if (!binding_.HandleAllocated())
            throw ConnectionClosedError();
        sent += count;
        CountSent(count);
    }
}

size_t SocketIoHandler::SendRaw(const char* data, size_t size)
{
    const WaitBudget budget = BudgetFor(TimeoutDefault, WaitKind::Write);
    std::optional<size_t> sent = binding_.Send(data, size, budget.timeout);
    if (!sent)
        RaiseTimeout(budget, WaitKind::Write);
    return *sent;
}

size_t SocketIoHandler::ReceiveRaw(char* into, size_t size)
{
    return binding_.Receive(into, size);
}

} // namespace morvanta
