#include "net/IcmpClient.h"

#include "net/SocketLayer.h"

#include <netinet/in.h>
#include <unistd.h>

#include <array>
#include <ctime>

namespace morvanta {

namespace {

constexpr int SocketErrorMessageTooLong = 10040;
constexpr int SocketErrorHostNotFound = 11001;

} // namespace

IcmpClient::IcmpClient(MillisecondCounter counter, std::uint16_t identifier)
    : counter_(std::move(counter))
    , identifier_(identifier)
{
}

IcmpClient::~IcmpClient()
{
    CloseSocket();
}

std::uint32_t IcmpClient::SystemMillisecondCounter()
{
    timespec now {};
    clock_gettime(CLOCK_MONOTONIC, &now);
    const auto milliseconds
        = static_cast<std::uint64_t>(now.tv_sec) * 1000 + static_cast<std::uint64_t>(now.tv_nsec) / 1000000;
    return static_cast<std::uint32_t>(milliseconds);
}

std::uint16_t IcmpClient::ProcessIdentifier()
{
    return static_cast<std::uint16_t>(getpid());
}

void IcmpClient::SetHopLimit(int hopLimit)
{
    hopLimit_ = hopLimit;
    (void)Socket();
}

sockets::Handle IcmpClient::Socket()
{
    if (socket_ == sockets::InvalidHandle)
        socket_ = sockets::CreateSocket(AF_INET, SOCK_RAW, Protocol);
    sockets::SetIntegerOption(socket_, IPPROTO_IP, IP_TTL, hopLimit_);
    return socket_;
}

void IcmpClient::CloseSocket() noexcept
{
    if (socket_ != sockets::InvalidHandle) {
        sockets::Close(socket_);
        socket_ = sockets::InvalidHandle;
    }
}

void IcmpClient::Probe(std::string_view payload, std::uint16_t sequence)
{
    if (sequence != 0)
        NextSequence = sequence;
    const EchoRequest request = BuildEchoRequest(identifier_, NextSequence, counter_(), payload);
    const std::uint32_t start = counter_();

    const std::optional<in_addr> address = ParseNumericAddress(ResolveAddress(Host));
    if (!address)
        RaiseSocketError(SocketErrorHostNotFound);
    const sockets::Handle handle = Socket();
    size_t sent = 0;
    try {
        sent = sockets::SendTo(handle, request.data(), request.size(), sockets::MakeAddress(*address, Port));
    } catch (const SocketError& error) {
        if (error.code() == SocketErrorMessageTooLong)
            throw PackageSizeTooBigError();
        throw;
    }
    if (sent != request.size())
        throw NotAllBytesSentError();

    AwaitReply(ReceiveTimeout);
    reply_.ElapsedMs = MillisecondSpan(start, counter_());
    CloseSocket();
    if (OnReply)
        OnReply(*this, reply_);
    NextSequence = FollowingSequence(NextSequence);
}

void IcmpClient::AwaitReply(int timeoutMs)
{
    std::array<std::uint8_t, ReplyBufferSize> buffer {};
    const std::uint32_t start = counter_();
    long long remaining = timeoutMs < 0 ? 0 : timeoutMs;
    for (;;) {
        size_t received = 0;
        if (sockets::WaitReadable(socket_, static_cast<int>(remaining)))
            received = sockets::ReceiveFrom(socket_, buffer.data(), buffer.size());
        std::optional<ReplyStatus> answer = ParseReply(std::span(buffer.data(), received), NextSequence);
        if (answer) {
            reply_ = *answer;
            return;
        }
        reply_ = TimedOutStatus(NextSequence);
        remaining = static_cast<long long>(timeoutMs) - MillisecondSpan(start, counter_());
        if (remaining <= 0)
            return;
    }
}

} // namespace morvanta
