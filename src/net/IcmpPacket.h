#pragma once

#include "net/NetError.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

// The bytes of ICMP echo (RFC 792): the request the client sends and the
// decoding of what comes back, free of any socket.
namespace morvanta {

inline constexpr const char* RSIcmpNotEnoughBytes = "Not enough bytes received";
inline constexpr const char* RSIcmpNonEchoResponse = "Non-echo type response received";

class IcmpError : public NetError {
public:
    explicit IcmpError(const std::string& message)
        : NetError(message)
    {
    }
};

inline constexpr std::uint8_t IcmpEchoReply = 0;
inline constexpr std::uint8_t IcmpDestinationUnreachable = 3;
inline constexpr std::uint8_t IcmpEchoRequest = 8;
inline constexpr std::uint8_t IcmpTimeExceeded = 11;

// Header, send time, eight zero bytes and 32 bytes of payload.
inline constexpr std::size_t EchoRequestSize = 52;
inline constexpr std::size_t EchoPayloadSize = 32;
inline constexpr char EchoPayloadFiller = 'E';

// The most of a datagram the client looks at.
inline constexpr std::size_t ReplyBufferSize = 1024;

using EchoRequest = std::array<std::uint8_t, EchoRequestSize>;

// The RFC 1071 Internet checksum: the one's complement of the one's
// complement sum of the 16-bit words, an odd last byte padded with zero.
// Words are read in the byte order they have in the data, and the result is
// to be stored the same way, so it verifies on any host.
[[nodiscard]] std::uint16_t InternetChecksum(std::span<const std::uint8_t> data);

// The echo request: type 8, code 0, the checksum, then identifier, sequence
// number and send time least significant byte first, eight zero bytes, and
// the payload's first 32 characters padded with 'E'.
[[nodiscard]] EchoRequest BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t sendTime,
                                           std::string_view payload = {});

enum class ReplyOutcome { Echo, TimedOut, Unreachable, TtlExpired };

// What answered a probe.
struct ReplyStatus {
    // Length of the answering datagram; 0 on a time-out.
    std::size_t ReplyBytes = 0;
    // Its IP source address; "0.0.0.0" on a time-out.
    std::string ReplyFrom = "0.0.0.0";
    std::uint8_t ReplyType = 0;
    // The sequence number found in the answer; on a time-out the one probed.
    std::uint16_t ReplySequence = 0;
    // From just before sending to the end of the wait.
    std::uint32_t ElapsedMs = 0;
    // The time-to-live of the answering datagram as it arrived.
    std::uint8_t ReplyTTL = 0;
    ReplyOutcome Outcome = ReplyOutcome::TimedOut;

    friend bool operator==(const ReplyStatus&, const ReplyStatus&) = default;
};

[[nodiscard]] ReplyStatus TimedOutStatus(std::uint16_t sequence);

// Decodes a received IPv4 datagram (IP header included) for the probe with
// the sequence number. An empty datagram is the time-out. Returns nothing
// for a datagram that answers another probe: an echo with another sequence
// number, or an error message whose quoted probe is another's or lies
// beyond the bytes received. Throws IcmpError when the datagram is shorter
// than its IP header plus 8 bytes, or is an ICMP message of a type other
// than echo, echo reply, destination unreachable or time exceeded.
// Nothing is read outside the datagram, whatever its header claims.
[[nodiscard]] std::optional<ReplyStatus> ParseReply(std::span<const std::uint8_t> datagram,
                                                    std::uint16_t expectedSequence);

// What follows a sequence number: one more, and 1 after 65535, so that the
// running number never becomes 0 (the value with which a probe asks for the
// running number).
[[nodiscard]] std::uint16_t FollowingSequence(std::uint16_t sequence);

// Milliseconds from one reading of a 32-bit millisecond counter to a later
// one, across one wrap of the counter.
[[nodiscard]] std::uint32_t MillisecondSpan(std::uint32_t earlier, std::uint32_t later);

} // namespace morvanta
