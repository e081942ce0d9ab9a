#include "net/IcmpPacket.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace morvanta {
namespace {

using Bytes = std::vector<std::uint8_t>;

// An IPv4 header of headerLength bytes (a multiple of 4) from the source
// address with the time-to-live; the rest of the datagram follows it.
Bytes IpHeader(std::size_t headerLength, std::uint8_t ttl, Bytes source)
{
    Bytes header(headerLength, 0);
    header[0] = static_cast<std::uint8_t>(0x40 | (headerLength / 4));
    header[8] = ttl;
    header[9] = 1;
    std::copy(source.begin(), source.end(), header.begin() + 12);
    return header;
}

Bytes Join(std::initializer_list<Bytes> parts)
{
    Bytes all;
    for (const Bytes& part : parts)
        all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes ToBytes(const EchoRequest& request)
{
    return Bytes(request.begin(), request.end());
}

// An ICMP error message of the type, quoting the probe's datagram.
Bytes ErrorMessage(std::uint8_t type, const Bytes& quotedDatagram)
{
    return Join({ Bytes { type, 0, 0, 0, 0, 0, 0, 0 }, quotedDatagram });
}

// An echo request or reply with the sequence number, least significant byte first.
Bytes Echo(std::uint8_t type, std::uint16_t sequence)
{
    Bytes echo = ToBytes(BuildEchoRequest(0x4242, sequence, 7));
    echo[0] = type;
    return echo;
}

constexpr std::uint16_t Probed = 3489;

TEST(InternetChecksum, MatchesTheWorkedExampleOfRfc1071)
{
    // RFC 1071, 3: the words 0001 f203 f4f5 f6f7 sum to ddf2, whose one's
    // complement 220d is stored in the byte order of the data.
    const Bytes data { 0x00, 0x01, 0xf2, 0x03, 0xf4, 0xf5, 0xf6, 0xf7 };
    const std::uint16_t checksum = InternetChecksum(data);
    EXPECT_EQ(checksum & 0xff, 0x22);
    EXPECT_EQ(checksum >> 8, 0x0d);
}

TEST(InternetChecksum, PadsAnOddLastByteWithZero)
{
    EXPECT_EQ(InternetChecksum(Bytes { 0x01, 0x02, 0x03 }), InternetChecksum(Bytes { 0x01, 0x02, 0x03, 0x00 }));
    EXPECT_EQ(InternetChecksum(Bytes {}), 0xffff);
}

TEST(BuildEchoRequest, LaysOutEveryByte)
{
    const EchoRequest request = BuildEchoRequest(0x1234, 3489, 0x01020304);

    Bytes expected { 8, 0, 0, 0, 0x34, 0x12, 0xa1, 0x0d, 0x04, 0x03, 0x02, 0x01, 0, 0, 0, 0, 0, 0, 0, 0 };
    expected.resize(EchoRequestSize, 'E');
    const std::uint16_t checksum = InternetChecksum(expected);
    expected[2] = static_cast<std::uint8_t>(checksum);
    expected[3] = static_cast<std::uint8_t>(checksum >> 8);
    EXPECT_EQ(ToBytes(request), expected);
    EXPECT_EQ(InternetChecksum(request), 0) << "the checksum verifies";
}

TEST(BuildEchoRequest, PutsThePayloadFirstAndCutsItAt32Characters)
{
    struct Case {
        const char* name;
        std::string payload;
        std::string expected;
    };
    const Case cases[] = {
        { "empty", "", std::string(32, 'E') },
        { "short", "ping", "ping" + std::string(28, 'E') },
        { "exactly 32", std::string(32, 'x'), std::string(32, 'x') },
        { "longer", std::string(32, 'y') + "cut", std::string(32, 'y') },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const EchoRequest request = BuildEchoRequest(1, 2, 3, c.payload);
        EXPECT_EQ(std::string(request.begin() + 20, request.end()), c.expected);
        EXPECT_EQ(InternetChecksum(request), 0);
    }
}

TEST(ParseReply, ClassifiesTheAnswersToTheProbe)
{
    const Bytes probe = Join({ IpHeader(20, 1, { 10, 0, 1, 1 }), ToBytes(BuildEchoRequest(0x0101, Probed, 99)) });
    // A router quotes the IP header and the first 8 bytes of the probe.
    const Bytes quote(probe.begin(), probe.begin() + 28);
    struct Case {
        const char* name;
        Bytes datagram;
        ReplyOutcome outcome;
        std::uint8_t type;
        std::string from;
        std::uint8_t ttl;
    };
    const Case cases[] = {
        { "echo reply", Join({ IpHeader(20, 61, { 10, 0, 3, 2 }), Echo(0, Probed) }), ReplyOutcome::Echo, 0, "10.0.3.2",
          61 },
        { "echo request seen on the way out", Join({ IpHeader(20, 64, { 127, 0, 0, 1 }), Echo(8, Probed) }),
          ReplyOutcome::Echo, 8, "127.0.0.1", 64 },
        { "time exceeded quoting the probe", Join({ IpHeader(20, 63, { 10, 0, 2, 2 }), ErrorMessage(11, quote) }),
          ReplyOutcome::TtlExpired, 11, "10.0.2.2", 63 },
        { "destination unreachable quoting the whole probe",
          Join({ IpHeader(20, 62, { 10, 0, 2, 2 }), ErrorMessage(3, probe) }), ReplyOutcome::Unreachable, 3, "10.0.2.2",
          62 },
        { "time exceeded with IP options, quoted as long as the outer header",
          Join({ IpHeader(24, 250, { 192, 0, 2, 9 }),
                 ErrorMessage(
                     11, Join({ IpHeader(24, 1, { 10, 0, 1, 1 }), Bytes(probe.begin() + 20, probe.begin() + 28) })) }),
          ReplyOutcome::TtlExpired, 11, "192.0.2.9", 250 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::optional<ReplyStatus> status = ParseReply(c.datagram, Probed);
        ASSERT_TRUE(status.has_value());
        EXPECT_EQ(status->Outcome, c.outcome);
        EXPECT_EQ(status->ReplyType, c.type);
        EXPECT_EQ(status->ReplyFrom, c.from);
        EXPECT_EQ(status->ReplyTTL, c.ttl);
        EXPECT_EQ(status->ReplySequence, Probed);
        EXPECT_EQ(status->ReplyBytes, c.datagram.size());
    }
}

TEST(ParseReply, SkipsWhatAnswersAnotherProbe)
{
    const Bytes otherProbe
        = Join({ IpHeader(20, 1, { 10, 0, 1, 1 }), ToBytes(BuildEchoRequest(0x0101, Probed + 1, 0)) });
    const Bytes ourProbe = Join({ IpHeader(20, 1, { 10, 0, 1, 1 }), ToBytes(BuildEchoRequest(0x0101, Probed, 0)) });
    struct Case {
        const char* name;
        Bytes datagram;
    };
    const Case cases[] = {
        { "echo reply with a foreign sequence number", Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), Echo(0, 77) }) },
        { "echo request with a foreign sequence number",
          Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), Echo(8, Probed + 1) }) },
        { "time exceeded quoting another probe",
          Join({ IpHeader(20, 64, { 10, 0, 1, 2 }),
                 ErrorMessage(11, Bytes(otherProbe.begin(), otherProbe.begin() + 28)) }) },
        { "error that quotes nothing", Join({ IpHeader(20, 64, { 10, 0, 1, 2 }), ErrorMessage(11, {}) }) },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ParseReply(c.datagram, Probed), std::nullopt);
    }
}

TEST(ParseReply, ReadsNoSequenceNumberBeyondTheBytesReceived)
{
    const Bytes probe = Join({ IpHeader(20, 1, { 10, 0, 1, 1 }), ToBytes(BuildEchoRequest(0x0101, Probed, 0)) });
    const Bytes answer = Join({ IpHeader(20, 64, { 10, 0, 1, 2 }), ErrorMessage(3, probe) });
    // The quoted sequence number is at bytes 54 and 55; the bytes after the
    // cut still hold it, but they were not received.
    for (std::size_t received : { std::size_t { 54 }, std::size_t { 55 } }) {
        SCOPED_TRACE(received);
        EXPECT_EQ(ParseReply(std::span(answer.data(), received), Probed), std::nullopt);
    }
    EXPECT_TRUE(ParseReply(std::span(answer.data(), 56), Probed).has_value());
}

TEST(ParseReply, RefusesShortDatagramsAndOtherTypes)
{
    Bytes longHeaderClaim = Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), Echo(0, Probed) });
    longHeaderClaim[0] = 0x4f; // 60 bytes of header claimed, 72 bytes there
    Bytes pastTheData = Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), Bytes { 0, 0, 0, 0, 0, 0, 0, 0 } });
    pastTheData[0] = 0x4f; // 60 + 8 bytes needed, 28 there
    struct Case {
        const char* name;
        Bytes datagram;
        std::string message;
    };
    const Case cases[] = {
        { "shorter than its header plus 8", Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), Bytes { 0, 0, 0, 0, 0, 0, 0 } }),
          RSIcmpNotEnoughBytes },
        { "a header length that points past the data", pastTheData, RSIcmpNotEnoughBytes },
        { "source quench", Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), ErrorMessage(4, {}) }), RSIcmpNonEchoResponse },
        { "redirect", Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), ErrorMessage(5, {}) }), RSIcmpNonEchoResponse },
        { "timestamp reply", Join({ IpHeader(20, 64, { 10, 0, 3, 2 }), ErrorMessage(14, {}) }), RSIcmpNonEchoResponse },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            (void)ParseReply(c.datagram, Probed);
            ADD_FAILURE() << "no error";
        } catch (const IcmpError& error) {
            EXPECT_EQ(std::string(error.what()), c.message);
        }
    }
    // The claimed 60-byte header leaves 12 bytes: enough for the ICMP header,
    // and the type byte is read where the claim puts it.
    EXPECT_THROW((void)ParseReply(longHeaderClaim, Probed), IcmpError);
}

TEST(ParseReply, TakesNothingForTheTimeOut)
{
    const std::optional<ReplyStatus> status = ParseReply({}, Probed);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(*status, TimedOutStatus(Probed));
    EXPECT_EQ(status->Outcome, ReplyOutcome::TimedOut);
    EXPECT_EQ(status->ReplyFrom, "0.0.0.0");
    EXPECT_EQ(status->ReplyBytes, 0u);
    EXPECT_EQ(status->ReplyTTL, 0);
    EXPECT_EQ(status->ReplyType, 0);
    EXPECT_EQ(status->ReplySequence, Probed);
}

TEST(ParseReply, ReadsNothingBeyondATinyHeader)
{
    // A header length of 4 bytes: the ICMP message starts at byte 4 and the
    // datagram ends before the source address would.
    Bytes datagram { 0x41, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0 };
    datagram[4] = 0; // echo reply
    datagram[10] = static_cast<std::uint8_t>(Probed);
    datagram[11] = static_cast<std::uint8_t>(Probed >> 8);
    const std::optional<ReplyStatus> status = ParseReply(datagram, Probed);
    ASSERT_TRUE(status.has_value());
    EXPECT_EQ(status->ReplyFrom, "0.0.0.0");
    EXPECT_EQ(status->ReplyTTL, 0);
    EXPECT_EQ(status->Outcome, ReplyOutcome::Echo);
}

TEST(FollowingSequence, CountsUpAndSkipsZeroAfter65535)
{
    EXPECT_EQ(FollowingSequence(3489), 3490);
    EXPECT_EQ(FollowingSequence(65534), 65535);
    EXPECT_EQ(FollowingSequence(65535), 1);
}

TEST(MillisecondSpan, SpansOneWrapOfTheCounter)
{
    EXPECT_EQ(MillisecondSpan(1000, 6000), 5000u);
    EXPECT_EQ(MillisecondSpan(7, 7), 0u);
    EXPECT_EQ(MillisecondSpan(0xffffff00u, 0x100u), 0x200u);
    EXPECT_EQ(MillisecondSpan(0xffffffffu, 0u), 1u);
}

} // namespace
} // namespace morvanta
