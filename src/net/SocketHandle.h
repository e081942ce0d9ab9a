#pragma once

#include "net/SocketCalls.h"

#include <cstddef>
#include <optional>
#include <string>

namespace morvanta {

enum class IpVersion { V4, V6 };

// One socket: its handle, its local end and its peer.
class SocketHandle {
public:
    SocketHandle() = default;
    ~SocketHandle();
    SocketHandle(const SocketHandle&) = delete;
    SocketHandle& operator=(const SocketHandle&) = delete;

    // Creates a stream socket of the family (only IPv4 is supported: IpVersion::V6
    // fails with socket error 10047).
    void AllocateSocket(IpVersion version);
    [[nodiscard]] bool HandleAllocated() const { return handle_ != sockets::InvalidHandle; }
    [[nodiscard]] sockets::Handle Handle() const { return handle_; }

    // Binds to IP and Port when either is set; otherwise the platform picks
    // the local end at connect. Throws CouldNotBindSocketError.
    void Bind();
    // Connects to PeerIP:PeerPort and then records the local end in IP and
    // Port.
    void Connect();
    void SetNoDelay(bool noDelay);

    // What the socket took within the time-out (ms, negative: no limit), or
    // nothing when it took no byte in that time.
    [[nodiscard]] std::optional<size_t> Send(const char* data, size_t size, int timeoutMs);
    [[nodiscard]] size_t Receive(char* into, size_t size);
    [[nodiscard]] bool Readable(int timeoutMs);

    // Shuts the sending side down and closes the socket, if one is open.
    void CloseSocket() noexcept;
    // Forgets both ends.
    void Reset();

    std::string IP;
    int Port = 0;
    std::string PeerIP;
    int PeerPort = 0;
    IpVersion IPVersion = IpVersion::V4;

private:
    sockets::Handle handle_ = sockets::InvalidHandle;
};

} // namespace morvanta
