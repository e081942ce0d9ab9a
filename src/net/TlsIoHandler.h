#pragma once

#include "net/NetError.h"
#include "net/SocketIoHandler.h"

#include <cstddef>
#include <memory>
#include <string>

namespace morvanta {

// The TLS handshake failed: the server is not speaking TLS, offers no
// protocol version or cipher in common, or closed the connection.
class TlsError : public NetError {
public:
    explicit TlsError(const std::string& message)
        : NetError(message)
    {
    }
};

// The server's certificate does not lead to a trusted authority, or it is
// not valid for the host name that was connected to.
class TlsCertificateError : public TlsError {
public:
    using TlsError::TlsError;
};

// A socket I/O handler with TLS (OpenSSL) under its buffers. While
// PassThrough is set the bytes travel in clear; StartSSL then turns the open
// connection into TLS (STARTTLS). A connection opened with PassThrough clear
// is TLS from its first byte.
//
// The server's certificate chain is verified against the system's trust
// store (OpenSSL's default paths, which also honour SSL_CERT_FILE and
// SSL_CERT_DIR) and must be valid for Host: its DNS name, or its IP address
// when Host is numeric. There is deliberately no switch to turn this off.
class TlsIoHandler : public SocketIoHandler {
public:
    TlsIoHandler();
    ~TlsIoHandler() override;

    bool PassThrough = true;

    // Runs the TLS handshake on the open connection, waiting at most
    // ReadTimeout for each answer and for room to send. Raises TlsCertificateError or
    // TlsError, and TlsError as well when received bytes are still
    // unread: they came in clear and must not pass for protected ones.
    void StartSSL();
    [[nodiscard]] bool TLSActive() const;

    void ConnectSocket() override;
    void Close() override;
    bool WaitReadable(int timeout) override;

protected:
    size_t SendRaw(const char* data, size_t size) override;
    size_t ReceiveRaw(char* into, size_t size) override;
    [[nodiscard]] size_t PendingRawBytes() const override;

private:
    struct Session;

    enum class OutputWait { UpToTimeout, None };
    // Sends everything the TLS engine has written, waiting for room as long
    // as ReadTimeout and the conversation's time allow (raising when that
    // runs out), or, with OutputWait::None, only what the socket takes at
    // once.
    void FlushTLSOutput(OutputWait wait);
    // Moves what the socket has into the TLS engine, waiting up to timeout
    // ms (negative: without limit). False on a time-out; sets
    // transportClosed_ when the peer has closed.
    bool ReadTLSInput(int timeout);
    [[noreturn]] void RaiseTLSFailure(const std::string& during);

    std::unique_ptr<Session> session_;
    bool transportClosed_ = false;
};

} // namespace morvanta
