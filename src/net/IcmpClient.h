#pragma once

#include "net/IcmpPacket.h"
#include "net/NetComponent.h"
#include "net/SocketCalls.h"

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace morvanta {

// Sends one ICMP echo request at a time over a raw IPv4 socket, with the
// time-to-live asked for, and waits for the message that answers it: the
// target's echo reply, a router's time-exceeded or a destination-unreachable
// message. A raw socket needs root or CAP_NET_RAW; without it every probe
// fails with socket error 10013.
class IcmpClient : public NetComponent {
public:
    using MillisecondCounter = std::function<std::uint32_t()>;
    using ReplyEvent = std::function<void(IcmpClient& sender, const ReplyStatus& status)>;

    static constexpr std::uint16_t FirstSequence = 3489;
    static constexpr int DefaultHopLimit = 128;
    static constexpr int DefaultReceiveTimeout = 5000;

    // The counter stamps the requests and times the waits; the identifier
    // goes into every request (by default the low 16 bits of the process
    // number).
    explicit IcmpClient(MillisecondCounter counter = SystemMillisecondCounter,
                        std::uint16_t identifier = ProcessIdentifier());
    ~IcmpClient() override;

    // The target, a host name or dotted quad, resolved at every probe.
    std::string Host;
    // Given to the platform's send call; meaningless for ICMP.
    int Port = 0;
    int Protocol = 1;
    // How long a probe waits for its answer, in ms.
    int ReceiveTimeout = DefaultReceiveTimeout;
    // The sequence number of the next request.
    std::uint16_t NextSequence = FirstSequence;
    // Fired after every completed probe.
    ReplyEvent OnReply;

    [[nodiscard]] int HopLimit() const { return hopLimit_; }
    // The IP time-to-live of the requests. Applied to the socket at once,
    // which is opened for it when there is none.
    void SetHopLimit(int hopLimit);

    // Sends one echo request to Host (sequence 0: the running number) and
    // waits for its answer, which Reply() then holds. Throws SocketError,
    // PackageSizeTooBigError, NotAllBytesSentError or IcmpError; after a
    // failure the socket stays open and the sequence number is not advanced.
    void Probe(std::string_view payload = {}, std::uint16_t sequence = 0);

    // The result of the latest completed probe.
    [[nodiscard]] const ReplyStatus& Reply() const { return reply_; }

    [[nodiscard]] bool SocketOpen() const { return socket_ != sockets::InvalidHandle; }

    // CLOCK_MONOTONIC in ms, truncated to 32 bits.
    [[nodiscard]] static std::uint32_t SystemMillisecondCounter();
    [[nodiscard]] static std::uint16_t ProcessIdentifier();

private:
    // The socket, opened when needed, with the time-to-live applied.
    sockets::Handle Socket();
    void AwaitReply(int timeoutMs);
    void CloseSocket() noexcept;

    MillisecondCounter counter_;
    std::uint16_t identifier_;
    int hopLimit_ = DefaultHopLimit;
    sockets::Handle socket_ = sockets::InvalidHandle;
    ReplyStatus reply_;
};

} // namespace morvanta
