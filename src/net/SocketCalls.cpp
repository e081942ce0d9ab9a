#include "net/SocketCalls.h"

#include "base/Text.h"
#include "net/NetError.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace morvanta::sockets {

namespace {

constexpr int HostNotFound = 11001;
constexpr int TryAgain = 11002;
constexpr int NoRecovery = 11003;
constexpr int NoData = 11004;

int ThrowIfFailed(int result)
{
    if (result < 0)
        RaiseErrno(errno);
    return result;
}

// RFC 6761, 6.4: "Name resolution APIs and libraries SHOULD recognize
// "invalid" names as special and SHOULD always return immediate negative
// responses."
bool IsInvalidName(std::string_view name)
{
    if (!name.empty() && name.back() == '.')
        name.remove_suffix(1);
    constexpr std::string_view suffix = ".invalid";
    if (SameText(name, suffix.substr(1)))
        return true;
    return name.size() > suffix.size() && SameText(name.substr(name.size() - suffix.size()), suffix);
}

// A connect interrupted by a signal goes on in the background; wait for it
// to end and take its result.
void FinishInterruptedConnect(Handle handle)
{
    pollfd entry { handle, POLLOUT, 0 };
    while (poll(&entry, 1, -1) < 0) {
        if (errno != EINTR)
            RaiseErrno(errno);
    }
    int error = 0;
    socklen_t length = sizeof error;
    ThrowIfFailed(getsockopt(handle, SOL_SOCKET, SO_ERROR, &error, &length));
    if (error != 0)
        RaiseErrno(error);
}

} // namespace

int WinsockCodeFromErrno(int error)
{
    switch (error) {
    case EINTR: return 10004;
    case EBADF: return 10009;
    case EACCES:
    case EPERM: return 10013;
    case EFAULT: return 10014;
    case EINVAL: return 10022;
    case EMFILE:
    case ENFILE: return 10024;
    case EAGAIN: return 10035;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return 10038;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return 10048;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return 10053;
    case ECONNRESET:
    case EPIPE: return 10054; // a send after the peer reset the connection
    case ENOBUFS:
    case ENOMEM: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return 10057;
    case ESHUTDOWN: return 10058;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return 10060;
    case ECONNREFUSED: return 10061;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    default: return error;
    }
}

int WinsockCodeFromResolver(int result, int systemError, LookupKind kind)
{
    switch (result) {
    case EAI_NONAME: return kind == LookupKind::Forward ? HostNotFound : NoData;
    case EAI_AGAIN: return TryAgain;
    case EAI_FAIL: return NoRecovery;
    case EAI_NODATA:
    case EAI_ADDRFAMILY: return NoData;
    case EAI_MEMORY: return 10055;
    case EAI_FAMILY: return 10047;
    case EAI_SOCKTYPE: return 10044;
    case EAI_SYSTEM: return WinsockCodeFromErrno(systemError);
    default: return NoRecovery;
    }
}

void RaiseErrno(int error)
{
    RaiseSocketError(WinsockCodeFromErrno(error));
}

Handle CreateSocket(int family, int type, int protocol)
{
    return ThrowIfFailed(socket(family, type | SOCK_CLOEXEC, protocol));
}

void Bind(Handle handle, const sockaddr_in& address)
{
    ThrowIfFailed(bind(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address));
}

void Connect(Handle handle, const sockaddr_in& address)
{
    if (connect(handle, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0)
        return;
    if (errno == EINTR)
        FinishInterruptedConnect(handle);
    else
        RaiseErrno(errno);
}

void SetIntegerOption(Handle handle, int level, int name, int value)
{
    ThrowIfFailed(setsockopt(handle, level, name, &value, sizeof value));
}

std::optional<size_t> Send(Handle handle, const char* data, size_t size, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    for (;;) {
        // Never blocking in send itself: a peer that stops reading would
        // otherwise hold the call for good once its window is full.
        ssize_t sent = send(handle, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (sent >= 0)
            return static_cast<size_t>(sent);
        if (errno == EINTR)
            continue;
        if (errno != EAGAIN && errno != EWOULDBLOCK)
            RaiseErrno(errno);
        int wait = -1;
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
        if (!WaitWritable(handle, wait))
            return std::nullopt;
    }
}

size_t Receive(Handle handle, char* into, size_t size)
{
    for (;;) {
        ssize_t received = recv(handle, into, size, 0);
        if (received >= 0)
            return static_cast<size_t>(received);
        if (errno != EINTR)
            RaiseErrno(errno);
    }
}

size_t SendTo(Handle handle, const void* data, size_t size, const sockaddr_in& to)
{
    for (;;) {
        ssize_t sent = sendto(handle, data, size, MSG_NOSIGNAL, reinterpret_cast<const sockaddr*>(&to), sizeof to);
        if (sent >= 0)
            return static_cast<size_t>(sent);
        if (errno != EINTR)
            RaiseErrno(errno);
    }
}

size_t ReceiveFrom(Handle handle, void* into, size_t size)
{
    for (;;) {
        ssize_t received = recvfrom(handle, into, size, 0, nullptr, nullptr);
        if (received >= 0)
            return static_cast<size_t>(received);
        if (errno != EINTR)
            RaiseErrno(errno);
    }
}

namespace {

bool WaitFor(Handle handle, short events, int timeoutMs)
{
    using Clock = std::chrono::steady_clock;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
    int wait = timeoutMs < 0 ? -1 : timeoutMs;
    for (;;) {
        pollfd entry { handle, events, 0 };
        int ready = poll(&entry, 1, wait);
        if (ready > 0) {
            if (entry.revents & POLLNVAL)
                RaiseSocketError(10038);
            return true;
        }
        if (ready == 0)
            return false;
        if (errno != EINTR)
            RaiseErrno(errno);
        if (timeoutMs >= 0) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
            wait = left > 0 ? static_cast<int>(left) : 0;
        }
    }
}

} // namespace

bool WaitReadable(Handle handle, int timeoutMs)
{
    return WaitFor(handle, POLLIN, timeoutMs);
}

bool WaitWritable(Handle handle, int timeoutMs)
{
    // POLLERR and POLLHUP come without being asked for; the next send then
    // reports the failure.
    return WaitFor(handle, POLLOUT, timeoutMs);
}

void ShutdownSend(Handle handle) noexcept
{
    shutdown(handle, SHUT_WR);
}

void Close(Handle handle) noexcept
{
    // Linux releases the descriptor even when close reports EINTR, so it is
    // never retried.
    close(handle);
}

sockaddr_in LocalAddress(Handle handle)
{
    sockaddr_in address {};
    socklen_t length = sizeof address;
    ThrowIfFailed(getsockname(handle, reinterpret_cast<sockaddr*>(&address), &length));
    return address;
}

sockaddr_in MakeAddress(in_addr address, int port)
{
    sockaddr_in result {};
    result.sin_family = AF_INET;
    result.sin_addr = address;
    result.sin_port = htons(static_cast<uint16_t>(port));
    return result;
}

std::string FormatAddress(in_addr address)
{
    char text[INET_ADDRSTRLEN] = {};
    inet_ntop(AF_INET, &address, text, sizeof text);
    return text;
}

std::string LocalHostName()
{
    char name[251] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return {};
    return name;
}

in_addr LookupFirstIPv4(const std::string& name)
{
    if (name.find('\0') != std::string::npos || IsInvalidName(name))
        RaiseSocketError(HostNotFound);
    addrinfo hints {};
    hints.ai_family = AF_INET;
    hints.ai_socktype = SOCK_STREAM;
    addrinfo* list = nullptr;
    int result = getaddrinfo(name.c_str(), nullptr, &hints, &list);
    if (result != 0)
        RaiseSocketError(WinsockCodeFromResolver(result, errno, LookupKind::Forward));
    in_addr first {};
    bool found = false;
    for (addrinfo* entry = list; entry && !found; entry = entry->ai_next) {
        if (entry->ai_family == AF_INET) {
            first = reinterpret_cast<const sockaddr_in*>(entry->ai_addr)->sin_addr;
            found = true;
        }
    }
    freeaddrinfo(list);
    if (!found)
        RaiseSocketError(NoData);
    return first;
}

std::string LookupName(in_addr address)
{
    sockaddr_in socketAddress = MakeAddress(address, 0);
    char name[NI_MAXHOST] = {};
    int result = getnameinfo(reinterpret_cast<const sockaddr*>(&socketAddress), sizeof socketAddress, name, sizeof name,
                             nullptr, 0, NI_NAMEREQD);
    if (result != 0)
        RaiseSocketError(WinsockCodeFromResolver(result, errno, LookupKind::Reverse));
    return name;
}

} // namespace morvanta::sockets
