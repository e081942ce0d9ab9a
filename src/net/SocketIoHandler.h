#pragma once

#include "net/IoHandler.h"
#include "net/SocketHandle.h"

#include <cstddef>
#include <string>

namespace morvanta {

// An I/O handler on a socket: creates, binds and connects it.
class SocketIoHandlerBase : public IoHandler {
public:
    // The local end to bind to; by default the platform chooses.
    std::string BoundIP;
    int BoundPort = 0;
    // TCP_NODELAY is set to the opposite.
    bool UseNagle = true;

    [[nodiscard]] SocketHandle& Binding() { return binding_; }
    [[nodiscard]] const SocketHandle& Binding() const { return binding_; }

    // Starts a conversation: fresh input buffer, and a connected socket when
    // Host and Port are set.
    void Open() override;
    void Close() override;
    virtual void ConnectSocket() = 0;

protected:
    SocketHandle binding_;
};

// The handler every client uses: a plain TCP socket. The bytes go through
// SendRaw and ReceiveRaw, so a TLS layer can be put under the buffers by
// overriding those (and PendingRawBytes and Close) without touching the
// line reading above them.
class SocketIoHandler : public SocketIoHandlerBase {
public:
    int FillInputBuffer(bool raiseIfDisconnected = true, int timeout = TimeoutDefault,
                        bool raiseOnTimeout = true) override;
    bool IsConnected() override;
    void CheckDisconnect(bool raiseIfDisconnected = true, bool ignoreBuffer = false) override;
    void PollForData(int timeout) override;
    void SendDirect(std::string_view bytes) override;
    bool WaitReadable(int timeout) override;
    void ConnectSocket() override;

protected:
    // Sends what the transport takes, waiting for room at most as long as
    // ReadTimeout and the conversation's time allow; returns the count.
    // Raises WriteTimeoutError or ConversationTimeoutError when the wait
    // runs out.
    virtual size_t SendRaw(const char* data, size_t size);
    // Receives up to size bytes; 0 means the peer has closed.
    virtual size_t ReceiveRaw(char* into, size_t size);
    // Bytes the transport holds already decoded, readable without waiting.
    [[nodiscard]] virtual size_t PendingRawBytes() const { return 0; }
};

} // namespace morvanta
