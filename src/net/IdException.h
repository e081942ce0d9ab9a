#pragma once

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
inline constexpr const char* RSStackInitializationFailed = "Winsock Initialization Error.";

class EIdException : public std::runtime_error {
public:
    explicit EIdException(const std::string& message)
        : std::runtime_error(message)
    {
    }
};

// A failed socket or resolver call. The code is the Windows Sockets number
// (10061 for a refused connection, 11001 for an unknown host, ...), so the
// message reads the same on every platform.
class EIdSocketError : public EIdException {
public:
    explicit EIdSocketError(int code);

    [[nodiscard]] int code() const { return code_; }

private:
    int code_;
};

// Code 10038, an operation on something that is not a socket.
class EIdNotASocket : public EIdSocketError {
public:
    EIdNotASocket()
        : EIdSocketError(10038)
    {
    }
};

class EIdStackInitializationFailed : public EIdException {
public:
    EIdStackInitializationFailed()
        : EIdException(RSStackInitializationFailed)
    {
    }
};

class EIdAlreadyConnected : public EIdException {
public:
    EIdAlreadyConnected()
        : EIdException(RSAlreadyConnected)
    {
    }
};

class EIdConnClosedGracefully : public EIdException {
public:
    EIdConnClosedGracefully()
        : EIdException(RSConnectionClosedGracefully)
    {
    }
};

// A write on a handler without a socket ("Not Connected"), or a command on a
// connection without an I/O handler ("Not connected.").
class EIdNotConnected : public EIdException {
public:
    explicit EIdNotConnected(const std::string& message = RSNotConnected)
        : EIdException(message)
    {
    }
};

class EIdReadTimeout : public EIdException {
public:
    EIdReadTimeout()
        : EIdException(RSReadTimeout)
    {
    }
};

class EIdReadLnMaxLineLengthExceeded : public EIdException {
public:
    EIdReadLnMaxLineLengthExceeded()
        : EIdException(RSReadLnMaxLineLengthExceeded)
    {
    }
};

class EIdCouldNotBindSocket : public EIdException {
public:
    EIdCouldNotBindSocket()
        : EIdException(RSCouldNotBindSocket)
    {
    }
};

// The text of a Windows Sockets error code; empty for a code without one.
[[nodiscard]] std::string SocketErrorText(int code);

// "Socket Error # <code>" CR LF and the text of the code.
[[nodiscard]] std::string SocketErrorMessage(int code);

// Throws EIdSocketError with the code, or EIdNotASocket for 10038.
[[noreturn]] void RaiseSocketError(int code);

} // namespace morvanta
