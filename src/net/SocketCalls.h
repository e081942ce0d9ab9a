#pragma once

#include <netinet/in.h>

#include <cstddef>
#include <optional>
#include <string>

// Every socket and resolver call of the program goes through these
// functions. A failure is raised once, here, as SocketError with the
// Windows Sockets code that matches the platform's error.
namespace morvanta::sockets {

using Handle = int;
inline constexpr Handle InvalidHandle = -1;

// A time-out for WaitReadable that never ends.
inline constexpr int WaitForever = -1;

// The Windows Sockets code for an errno value (ECONNREFUSED -> 10061,
// ETIMEDOUT -> 10060, ...). A value without a counterpart keeps its number.
[[nodiscard]] int WinsockCodeFromErrno(int error);

enum class LookupKind { Forward, Reverse };

// The code for a getaddrinfo/getnameinfo result (EAI_NONAME -> 11001 for a
// forward look-up, 11004 for a reverse one; EAI_AGAIN -> 11002, ...).
// systemError is errno at the time of the call, for EAI_SYSTEM.
[[nodiscard]] int WinsockCodeFromResolver(int result, int systemError, LookupKind kind);

[[noreturn]] void RaiseErrno(int error);

[[nodiscard]] Handle CreateSocket(int family, int type, int protocol);
void Bind(Handle handle, const sockaddr_in& address);
// Blocks until the connection is made or the platform gives up.
void Connect(Handle handle, const sockaddr_in& address);
void SetIntegerOption(Handle handle, int level, int name, int value);

// Sends what the platform takes, waiting up to the time-out (in ms;
// WaitForever or any negative value waits without limit) for room in the
// socket's buffer; returns the count, or nothing when no byte could be sent
// in time. Never blocks beyond the time-out, never raises SIGPIPE.
[[nodiscard]] std::optional<size_t> Send(Handle handle, const char* data, size_t size, int timeoutMs);
// Returns the count received; 0 when the peer has closed.
[[nodiscard]] size_t Receive(Handle handle, char* into, size_t size);
// One datagram to the address; returns the count the platform took.
[[nodiscard]] size_t SendTo(Handle handle, const void* data, size_t size, const sockaddr_in& to);
// One datagram, cut at size; returns its length as received.
[[nodiscard]] size_t ReceiveFrom(Handle handle, void* into, size_t size);
// True when the socket has data or a closed end to read within the time-out
// (in ms; WaitForever or any negative value waits without limit).
[[nodiscard]] bool WaitReadable(Handle handle, int timeoutMs);
// True when the socket can take data, or has failed, within the time-out.
[[nodiscard]] bool WaitWritable(Handle handle, int timeoutMs);

// These never fail: there is nothing a caller could do about it.
void ShutdownSend(Handle handle) noexcept;
void Close(Handle handle) noexcept;

[[nodiscard]] sockaddr_in LocalAddress(Handle handle);
[[nodiscard]] sockaddr_in MakeAddress(in_addr address, int port);
[[nodiscard]] std::string FormatAddress(in_addr address);

// The host name of this computer, or an empty text.
[[nodiscard]] std::string LocalHostName();

// The first IPv4 address the resolver lists for the name.
[[nodiscard]] in_addr LookupFirstIPv4(const std::string& name);
// The official name of the address.
[[nodiscard]] std::string LookupName(in_addr address);

} // namespace morvanta::sockets
