#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>

// The errors of the network components. what() is the message exactly as
// the user sees it.
namespace morvanta {

inline constexpr const char* RSAlreadyConnected = "Already connected.";
inline constexpr const char* RSConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* RSNotConnected = "Not Connected";
inline constexpr const char* RSNotConnectedCommand = "Not connected.";
inline constexpr const char* RSReadTimeout = "Read Timeout";
inline constexpr const char* RSReadLnMaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr const char* RSCouldNotBindSocket = "Could not bind socket. Address and port are already in use.";
inline constexpr const char* RSPackageSizeTooBig = "Package Size Too Big.";
inline constexpr const char* RSNotAllBytesSent = "Not all bytes sent.";

class NetError : public std::runtime_error {
public:
    explicit NetError(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

// A failed socket or resolver call. The code is the Windows Sockets number
// (10061 for a refused connection, 11001 for an unknown host, ...), so the
// message reads the same on every platform.
class SocketError : public NetError {
public:
    explicit SocketError(int code);

    [[nodiscard]] int code() const { return code_; }

private:
    int code_;
};

// Code 10038, an operation on something that is not a socket.
class NotASocketError : public SocketError {
public:
    NotASocketError()
        : SocketError(10038)
    {
    }
};

class AlreadyConnectedError : public NetError {
public:
    AlreadyConnectedError()
        : NetError(RSAlreadyConnected)
    {
    }
};

class ConnectionClosedError : public NetError {
public:
    ConnectionClosedError()
        : NetError(RSConnectionClosedGracefully)
    {
    }
};

// A write on a handler without a socket ("Not Connected"), or a command on a
// connection without an I/O handler ("Not connected.").
class NotConnectedError : public NetError {
public:
    explicit NotConnectedError(const std::string& message = RSNotConnected)
        : NetError(message)
    {
    }
};

// A wait for the server ran out of time.
class NetTimeoutError : public NetError {
public:
    using NetError::NetError;
};

// Nothing arrived for ReadTimeout.
class ReadTimeoutError : public NetTimeoutError {
public:
    ReadTimeoutError()
        : NetTimeoutError(RSReadTimeout)
    {
    }
};

// The server took no data for ReadTimeout: it stopped reading, and its
// receive window stayed full.
class WriteTimeoutError : public NetTimeoutError {
public:
    WriteTimeoutError(const std::string& host, int64_t timeoutMs);
};

// The conversation as a whole went on longer than it may, however steadily
// the server kept it alive.
class ConversationTimeoutError : public NetTimeoutError {
public:
    ConversationTimeoutError(const std::string& host, int64_t limitMs);
};

// A reply longer than any server needs; the connection has been closed.
class ReplyTooLongError : public NetError {
public:
    ReplyTooLongError(const std::string& host, size_t maxLines, size_t maxBytes);
};

class LineTooLongError : public NetError {
public:
    LineTooLongError()
        : NetError(RSReadLnMaxLineLengthExceeded)
    {
    }
};

class CouldNotBindSocketError : public NetError {
public:
    CouldNotBindSocketError()
        : NetError(RSCouldNotBindSocket)
    {
    }
};

// A duration for a message: "1 second", "2 seconds", "1.5 seconds".
[[nodiscard]] std::string DurationText(int64_t milliseconds);

// A datagram the platform refuses as too large (socket error 10040).
class PackageSizeTooBigError : public NetError {
public:
    PackageSizeTooBigError()
        : NetError(RSPackageSizeTooBig)
    {
    }
};

// A datagram the platform took only in part.
class NotAllBytesSentError : public NetError {
public:
    NotAllBytesSentError()
        : NetError(RSNotAllBytesSent)
    {
    }
};

// The text of a Windows Sockets error code; empty for a code without one.
[[nodiscard]] std::string SocketErrorText(int code);

// "Socket Error # <code>" CR LF and the text of the code.
[[nodiscard]] std::string SocketErrorMessage(int code);

// Throws SocketError with the code, or NotASocketError for 10038.
[[noreturn]] void RaiseSocketError(int code);

} // namespace morvanta
