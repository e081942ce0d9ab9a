#include "net/TlsIoHandler.h"

#include "net/SocketLayer.h"

#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <chrono>
#include <climits>
#include <optional>

namespace morvanta {

namespace {

using SteadyClock = std::chrono::steady_clock;

constexpr size_t TransferPiece = 16384;

// The reason of the last OpenSSL error, or an empty text.
std::string LastOpenSSLReason()
{
    unsigned long error = ERR_peek_last_error();
    ERR_clear_error();
    if (error == 0)
        return {};
    const char* reason = ERR_reason_error_string(error);
    return reason ? reason : "error " + std::to_string(ERR_GET_REASON(error));
}

bool IsUntrustedIssuer(long verifyResult)
{
    return verifyResult == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY
           || verifyResult == X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT
           || verifyResult == X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT
           || verifyResult == X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN || verifyResult == X509_V_ERR_CERT_UNTRUSTED;
}

// Milliseconds left until the deadline; negative input means no limit.
int MillisecondsLeft(int timeout, SteadyClock::time_point start)
{
    if (timeout < 0)
        return -1;
    auto spent = std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
    return static_cast<int>(std::max<int64_t>(0, timeout - spent));
}

} // namespace

// The TLS engine works on two memory buffers, and the handler moves the
// bytes between them and the socket itself: so every wait keeps the
// handler's time-out and every socket failure its usual error.
struct TlsIoHandler::Session {
    SSL_CTX* context = nullptr;
    SSL* ssl = nullptr;
    BIO* input = nullptr; // socket -> engine
    BIO* output = nullptr; // engine -> socket
    bool established = false;

    Session() = default;
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;
    ~Session()
    {
        SSL_free(ssl); // frees both memory buffers
        SSL_CTX_free(context);
    }
};

TlsIoHandler::TlsIoHandler() = default;

TlsIoHandler::~TlsIoHandler() = default;

bool TlsIoHandler::TLSActive() const
{
    return session_ && session_->established;
}

void TlsIoHandler::ConnectSocket()
{
    session_.reset();
    transportClosed_ = false;
    SocketIoHandler::ConnectSocket();
    if (!PassThrough)
        StartSSL();
}

void TlsIoHandler::RaiseTLSFailure(const std::string& during)
{
    std::string reason = LastOpenSSLReason();
    if (reason.empty())
        reason = transportClosed_ ? "the server closed the connection" : "the server broke off the exchange";
    throw TlsError("TLS " + during + " with " + Host + " failed: " + reason + ".");
}

void TlsIoHandler::StartSSL()
{
    if (!binding_.HandleAllocated())
        throw ConnectionClosedError();
    // Bytes received before the handshake came in clear (RFC 3207 section 6
    // warns of such injected commands): the handshake must start on an empty
    // buffer.
    if (inputBuffer_ && !inputBuffer_->Empty())
        throw TlsError("The server " + Host
                       + " sent more data before the TLS handshake; the connection was closed, nothing was sent.");

    session_ = std::make_unique<Session>();
    Session& session = *session_;
    ERR_clear_error();
    session.context = SSL_CTX_new(TLS_client_method());
    if (!session.context)
        RaiseTLSFailure("set-up");
    SSL_CTX_set_min_proto_version(session.context, TLS1_2_VERSION);
    SSL_CTX_set_verify(session.context, SSL_VERIFY_PEER, nullptr);
    if (SSL_CTX_set_default_verify_paths(session.context) != 1)
        RaiseTLSFailure("set-up (loading the system's trusted certificates)");
    session.ssl = SSL_new(session.context);
    session.input = BIO_new(BIO_s_mem());
    session.output = BIO_new(BIO_s_mem());
    if (!session.ssl || !session.input || !session.output) {
        BIO_free(session.input);
        BIO_free(session.output);
        session.input = session.output = nullptr;
        RaiseTLSFailure("set-up");
    }
    SSL_set_bio(session.ssl, session.input, session.output);

    // RFC 6125: the name the user asked for is the one the certificate must
    // carry; an address is checked against the certificate's IP entries.
    // Server Name Indication carries names only (RFC 6066 section 3).
    bool named;
    if (IsNumericAddress(Host)) {
        named = X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(session.ssl), Host.c_str()) == 1;
    } else {
        SSL_set_hostflags(session.ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
        named
            = SSL_set1_host(session.ssl, Host.c_str()) == 1 && SSL_set_tlsext_host_name(session.ssl, Host.c_str()) == 1;
    }
    if (!named)
        throw TlsError("TLS set-up for " + Host + " failed: the host name cannot be checked against a certificate.");
    SSL_set_connect_state(session.ssl);

    for (;;) {
        ERR_clear_error();
        int result = SSL_do_handshake(session.ssl);
        FlushTLSOutput(OutputWait::UpToTimeout);
        if (result == 1)
            break;
        int error = SSL_get_error(session.ssl, result);
        if (error == SSL_ERROR_WANT_READ && !transportClosed_) {
            const WaitBudget budget = BudgetFor(TimeoutDefault, WaitKind::Read);
            if (!ReadTLSInput(budget.timeout))
                RaiseTimeout(budget, WaitKind::Read);
            continue;
        }
        long verifyResult = SSL_get_verify_result(session.ssl);
        if (verifyResult != X509_V_OK) {
            ERR_clear_error();
            std::string message = "The certificate of the server " + Host
                                  + " could not be verified: " + X509_verify_cert_error_string(verifyResult)
                                  + ". The connection was closed, nothing was sent.";
            if (IsUntrustedIssuer(verifyResult))
                message += " A certificate authority of your own can be added to the system's trust store.";
            throw TlsCertificateError(message);
        }
        RaiseTLSFailure("handshake");
    }
    session.established = true;
}

void TlsIoHandler::FlushTLSOutput(OutputWait wait)
{
    char piece[TransferPiece];
    for (;;) {
        int count = BIO_read(session_->output, piece, sizeof piece);
        if (count <= 0)
            return;
        size_t sent = 0;
        while (sent < static_cast<size_t>(count)) {
            const WaitBudget budget = wait == OutputWait::UpToTimeout ? BudgetFor(TimeoutDefault, WaitKind::Write)
                                                                      : WaitBudget { 0, false };
            std::optional<size_t> now = binding_.Send(piece + sent, static_cast<size_t>(count) - sent, budget.timeout);
            if (!now) {
                if (wait == OutputWait::None)
                    return;
                RaiseTimeout(budget, WaitKind::Write);
            }
            if (*now == 0)
                throw ConnectionClosedError();
            sent += *now;
        }
    }
}

bool TlsIoHandler::ReadTLSInput(int timeout)
{
    if (!binding_.Readable(timeout < 0 ? sockets::WaitForever : timeout))
        return false;
    char piece[TransferPiece];
    size_t count = binding_.Receive(piece, sizeof piece);
    if (count == 0) {
        transportClosed_ = true;
        return true;
    }
    BIO_write(session_->input, piece, static_cast<int>(count));
    return true;
}

bool TlsIoHandler::WaitReadable(int timeout)
{
    if (!TLSActive())
        return SocketIoHandler::WaitReadable(timeout);
    if (!binding_.HandleAllocated())
        throw ConnectionClosedError();
    // A readable socket may hold only part of a record, or a message of the
    // protocol itself (a session ticket): only decoded data counts.
    const auto start = SteadyClock::now();
    for (;;) {
        if (SSL_pending(session_->ssl) > 0 || transportClosed_)
            return true;
        unsigned char probe;
        ERR_clear_error();
        int result = SSL_peek(session_->ssl, &probe, 1);
        FlushTLSOutput(OutputWait::UpToTimeout);
        if (result > 0)
            return true;
        int error = SSL_get_error(session_->ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            return true;
        if (error != SSL_ERROR_WANT_READ)
            RaiseTLSFailure("connection");
        if (!ReadTLSInput(MillisecondsLeft(timeout, start)))
            return false;
    }
}

size_t TlsIoHandler::ReceiveRaw(char* into, size_t size)
{
    if (!TLSActive())
        return SocketIoHandler::ReceiveRaw(into, size);
    const int piece = static_cast<int>(std::min<size_t>(size, INT_MAX));
    for (;;) {
        ERR_clear_error();
        int result = SSL_read(session_->ssl, into, piece);
        FlushTLSOutput(OutputWait::UpToTimeout);
        if (result > 0)
            return static_cast<size_t>(result);
        int error = SSL_get_error(session_->ssl, result);
        if (error == SSL_ERROR_ZERO_RETURN)
            return 0;
        if (error != SSL_ERROR_WANT_READ)
            RaiseTLSFailure("connection");
        // The peer closed without saying so in TLS; what came is all there is.
        if (transportClosed_)
            return 0;
        const WaitBudget budget = BudgetFor(TimeoutDefault, WaitKind::Read);
        if (!WaitReadable(budget.timeout))
            RaiseTimeout(budget, WaitKind::Read);
    }
}

size_t TlsIoHandler::SendRaw(const char* data, size_t size)
{
    if (!TLSActive())
        return SocketIoHandler::SendRaw(data, size);
    const int piece = static_cast<int>(std::min<size_t>(size, INT_MAX));
    for (;;) {
        ERR_clear_error();
        int result = SSL_write(session_->ssl, data, piece);
        FlushTLSOutput(OutputWait::UpToTimeout);
        if (result > 0)
            return static_cast<size_t>(result);
        int error = SSL_get_error(session_->ssl, result);
        if (error != SSL_ERROR_WANT_READ || transportClosed_) {
            if (error == SSL_ERROR_ZERO_RETURN || transportClosed_)
                return 0;
            RaiseTLSFailure("connection");
        }
        const WaitBudget budget = BudgetFor(TimeoutDefault, WaitKind::Read);
        if (!ReadTLSInput(budget.timeout))
            RaiseTimeout(budget, WaitKind::Read);
    }
}

size_t TlsIoHandler::PendingRawBytes() const
{
    if (!TLSActive())
        return 0;
    return static_cast<size_t>(std::max(0, SSL_pending(session_->ssl)));
}

void TlsIoHandler::Close()
{
    if (TLSActive() && binding_.HandleAllocated() && !transportClosed_) {
        // close_notify, so the server can tell the end from a cut.
        try {
            SSL_shutdown(session_->ssl);
            // Only what the socket takes at once: a peer that stopped
            // reading gets no say in how long closing takes.
            FlushTLSOutput(OutputWait::None);
        } catch (...) {
            // The connection is going away; a failed good-bye changes nothing.
        }
    }
    session_.reset();
    transportClosed_ = false;
    SocketIoHandler::Close();
}

} // namespace morvanta
