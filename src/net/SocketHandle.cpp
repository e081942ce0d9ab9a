#include "net/SocketHandle.h"

#include "net/NetError.h"
#include "net/SocketLayer.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>

#include <arpa/inet.h>

namespace morvanta {

namespace {

constexpr int AddressFamilyNotSupported = 10047;
constexpr int CannotAssignAddress = 10049;

in_addr NumericAddressOf(const std::string& text)
{
    auto address = ParseNumericAddress(text);
    if (!address)
        RaiseSocketError(CannotAssignAddress);
    return *address;
}

} // namespace

SocketHandle::~SocketHandle()
{
    CloseSocket();
}

void SocketHandle::AllocateSocket(IpVersion version)
{
    CloseSocket();
    if (version != IpVersion::V4)
        RaiseSocketError(AddressFamilyNotSupported);
    IPVersion = version;
    handle_ = sockets::CreateSocket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
}

void SocketHandle::Bind()
{
    if (IP.empty() && Port == 0)
        return;
    try {
        in_addr local {};
        local.s_addr = htonl(INADDR_ANY);
        if (!IP.empty())
            local = NumericAddressOf(ResolveAddress(IP));
        if (Port < 0 || Port > 65535)
            throw CouldNotBindSocketError();
        sockets::Bind(handle_, sockets::MakeAddress(local, Port));
    } catch (const SocketError&) {
        throw CouldNotBindSocketError();
    }
}

void SocketHandle::Connect()
{
    sockets::Connect(handle_, sockets::MakeAddress(NumericAddressOf(PeerIP), PeerPort));
    sockaddr_in local = sockets::LocalAddress(handle_);
    IP = sockets::FormatAddress(local.sin_addr);
    Port = ntohs(local.sin_port);
}

void SocketHandle::SetNoDelay(bool noDelay)
{
    sockets::SetIntegerOption(handle_, IPPROTO_TCP, TCP_NODELAY, noDelay ? 1 : 0);
}

std::optional<size_t> SocketHandle::Send(const char* data, size_t size, int timeoutMs)
{
    return sockets::Send(handle_, data, size, timeoutMs);
}

size_t SocketHandle::Receive(char* into, size_t size)
{
    return sockets::Receive(handle_, into, size);
}

bool SocketHandle::Readable(int timeoutMs)
{
    return sockets::WaitReadable(handle_, timeoutMs);
}

void SocketHandle::CloseSocket() noexcept
{
    if (!HandleAllocated())
        return;
    sockets::ShutdownSend(handle_);
    sockets::Close(handle_);
    handle_ = sockets::InvalidHandle;
}

void SocketHandle::Reset()
{
    CloseSocket();
    IP.clear();
    Port = 0;
    PeerIP.clear();
    PeerPort = 0;
}

} // namespace morvanta
