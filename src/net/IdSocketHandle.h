#pragma once

#include "net/IdSocketCalls.h"

#include <cstddef>
#include <string>

namespace morvanta {

enum TIdIPVersion : int { Id_IPv4 = 0, Id_IPv6 = 1 };

// One socket: its handle, its local end and its peer.
class TIdSocketHandle {
public:
    TIdSocketHandle() = default;
    ~TIdSocketHandle();
    TIdSocketHandle(const TIdSocketHandle&) = delete;
    TIdSocketHandle& operator=(const TIdSocketHandle&) = delete;

    // Creates a stream socket of the family (only IPv4 is supported: Id_IPv6
    // fails with socket error 10047).
    void AllocateSocket(TIdIPVersion version);
    [[nodiscard]] bool HandleAllocated() const { return handle_ != sockets::InvalidHandle; }
    [[nodiscard]] sockets::Handle Handle() const { return handle_; }

    // Binds to IP and Port when either is set; otherwise the platform picks
    // the local end at connect. Throws EIdCouldNotBindSocket.
    void Bind();
    // Connects to PeerIP:PeerPort and then records the local end in IP and
    // Port.
    void Connect();
    void SetNoDelay(bool noDelay);

    [[nodiscard]] size_t Send(const char* data, size_t size);
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
    TIdIPVersion IPVersion = Id_IPv4;

private:
    sockets::Handle handle_ = sockets::InvalidHandle;
};

} // namespace morvanta
