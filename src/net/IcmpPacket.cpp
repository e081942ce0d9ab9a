#include "net/IcmpPacket.h"

#include <algorithm>

namespace morvanta {

namespace {

void PutLittleEndian16(std::uint8_t* at, std::uint16_t value)
{
    at[0] = static_cast<std::uint8_t>(value);
    at[1] = static_cast<std::uint8_t>(value >> 8);
}

void PutLittleEndian32(std::uint8_t* at, std::uint32_t value)
{
    for (int i = 0; i < 4; ++i)
        at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

// The 16-bit value at the offset, least significant byte first, or nothing
// when it does not lie wholly inside the data.
std::optional<std::uint16_t> ReadLittleEndian16(std::span<const std::uint8_t> data, std::size_t offset)
{
    if (offset > data.size() || data.size() - offset < 2)
        return std::nullopt;
    return static_cast<std::uint16_t>(data[offset] | (data[offset + 1] << 8));
}

std::string DottedQuad(std::span<const std::uint8_t> bytes)
{
    return std::to_string(bytes[0]) + "." + std::to_string(bytes[1]) + "." + std::to_string(bytes[2]) + "."
           + std::to_string(bytes[3]);
}

constexpr std::size_t IpSourceOffset = 12;
constexpr std::size_t IpTtlOffset = 8;
constexpr std::size_t IcmpHeaderSize = 8;
constexpr std::size_t IcmpSequenceOffset = 6;

} // namespace

std::uint16_t InternetChecksum(std::span<const std::uint8_t> data)
{
    std::uint32_t sum = 0;
    std::size_t i = 0;
    for (; i + 1 < data.size(); i += 2)
        sum += static_cast<std::uint32_t>(data[i] | (data[i + 1] << 8));
    if (i < data.size())
        sum += data[i];
    while (sum >> 16)
        sum = (sum & 0xffff) + (sum >> 16);
    return static_cast<std::uint16_t>(~sum);
}

EchoRequest BuildEchoRequest(std::uint16_t identifier, std::uint16_t sequence, std::uint32_t sendTime,
                             std::string_view payload)
{
    EchoRequest request {};
    request[0] = IcmpEchoRequest;
    request[1] = 0;
    PutLittleEndian16(&request[4], identifier);
    PutLittleEndian16(&request[6], sequence);
    PutLittleEndian32(&request[8], sendTime);
    constexpr std::size_t payloadOffset = EchoRequestSize - EchoPayloadSize;
    std::fill(request.begin() + payloadOffset, request.end(), static_cast<std::uint8_t>(EchoPayloadFiller));
    const std::size_t kept = std::min(payload.size(), EchoPayloadSize);
    for (std::size_t i = 0; i < kept; ++i)
        request[payloadOffset + i] = static_cast<std::uint8_t>(payload[i]);
    PutLittleEndian16(&request[2], InternetChecksum(request));
    return request;
}

ReplyStatus TimedOutStatus(std::uint16_t sequence)
{
    ReplyStatus status;
    status.ReplySequence = sequence;
    return status;
}

std::optional<ReplyStatus> ParseReply(std::span<const std::uint8_t> datagram, std::uint16_t expectedSequence)
{
    if (datagram.empty())
        return TimedOutStatus(expectedSequence);

    const std::size_t headerLength = static_cast<std::size_t>(datagram[0] & 0x0f) * 4;
    if (headerLength + IcmpHeaderSize > datagram.size())
        throw IcmpError(RSIcmpNotEnoughBytes);

    const std::uint8_t type = datagram[headerLength];
    ReplyOutcome outcome;
    std::size_t sequenceOffset = headerLength + IcmpSequenceOffset;
    switch (type) {
    case IcmpEchoReply:
    case IcmpEchoRequest: outcome = ReplyOutcome::Echo; break;
    case IcmpDestinationUnreachable:
    case IcmpTimeExceeded:
        outcome = type == IcmpTimeExceeded ? ReplyOutcome::TtlExpired : ReplyOutcome::Unreachable;
        // The error quotes the probe's own datagram after its 8-byte header;
        // the quoted IP header is taken to be as long as the outer one.
        sequenceOffset = headerLength + IcmpHeaderSize + headerLength + IcmpSequenceOffset;
        break;
    default: throw IcmpError(RSIcmpNonEchoResponse);
    }

    // A probe that was cut off in the quote cannot be told to be ours.
    const std::optional<std::uint16_t> sequence = ReadLittleEndian16(datagram, sequenceOffset);
    if (!sequence || *sequence != expectedSequence)
        return std::nullopt;

    ReplyStatus status;
    status.ReplyBytes = datagram.size();
    // A header shorter than 20 bytes still gets its bytes read only where they exist.
    status.ReplyFrom
        = datagram.size() >= IpSourceOffset + 4 ? DottedQuad(datagram.subspan(IpSourceOffset, 4)) : "0.0.0.0";
    status.ReplyType = type;
    status.ReplySequence = *sequence;
    status.ReplyTTL = datagram.size() > IpTtlOffset ? datagram[IpTtlOffset] : 0;
    status.Outcome = outcome;
    return status;
}

std::uint16_t FollowingSequence(std::uint16_t sequence)
{
    return sequence == 0xffff ? 1 : static_cast<std::uint16_t>(sequence + 1);
}

std::uint32_t MillisecondSpan(std::uint32_t earlier, std::uint32_t later)
{
    // Unsigned arithmetic is modular, so this holds across one wrap of the
    // counter too.
    return later - earlier;
}

} // namespace morvanta
