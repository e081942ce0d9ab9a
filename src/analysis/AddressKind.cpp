#include "analysis/AddressKind.h"

#include <array>
#include <cstdint>
#include <optional>

namespace morvanta {

namespace {

struct Block {
    std::uint32_t network;
    int prefixLength;
};

constexpr std::uint32_t Quad(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

// The IANA IPv4 Special-Purpose Address Registry, plus multicast. Blocks of
// the registry that lie inside a larger one need no entry of their own:
// 0.0.0.0/32 ("this host", RFC 1122), the assignments inside 192.0.0.0/24
// (DS-Lite 192.0.0.0/29, RFC 6333; IPv4 service continuity 192.0.0.0/29,
// RFC 7335; the dummy address 192.0.0.8/32, RFC 7600; PCP and TURN anycast
// 192.0.0.9/32 and 192.0.0.10/32, RFC 7723 and RFC 8155; NAT64/DNS64
// discovery 192.0.0.170/32 and 192.0.0.171/32, RFC 7050) and the limited
// broadcast address 255.255.255.255/32 (RFC 919) inside 240.0.0.0/4.
constexpr std::array<Block, 18> ReservedBlocks { {
    { Quad(0, 0, 0, 0), 8 }, // "this network", RFC 791
    { Quad(10, 0, 0, 0), 8 }, // private use, RFC 1918
    { Quad(100, 64, 0, 0), 10 }, // shared address space, RFC 6598
    { Quad(127, 0, 0, 0), 8 }, // loopback, RFC 1122
    { Quad(169, 254, 0, 0), 16 }, // link local, RFC 3927
    { Quad(172, 16, 0, 0), 12 }, // private use, RFC 1918
    { Quad(192, 0, 0, 0), 24 }, // IETF protocol assignments, RFC 6890
    { Quad(192, 0, 2, 0), 24 }, // documentation (TEST-NET-1), RFC 5737
    { Quad(192, 31, 196, 0), 24 }, // AS112-v4, RFC 7535
    { Quad(192, 52, 193, 0), 24 }, // AMT, RFC 7450
    { Quad(192, 88, 99, 0), 24 }, // deprecated 6to4 relay anycast, RFC 7526
    { Quad(192, 168, 0, 0), 16 }, // private use, RFC 1918
    { Quad(192, 175, 48, 0), 24 }, // direct delegation AS112 service, RFC 7534
    { Quad(198, 18, 0, 0), 15 }, // benchmarking, RFC 2544
    { Quad(198, 51, 100, 0), 24 }, // documentation (TEST-NET-2), RFC 5737
    { Quad(203, 0, 113, 0), 24 }, // documentation (TEST-NET-3), RFC 5737
    { Quad(224, 0, 0, 0), 4 }, // multicast, RFC 5771
    { Quad(240, 0, 0, 0), 4 }, // reserved, RFC 1112
} };

[[nodiscard]] std::optional<std::uint32_t> ParseDottedQuad(std::string_view text)
{
    std::uint32_t value = 0;
    size_t position = 0;
    for (int part = 0; part < 4; ++part) {
        if (part > 0) {
            if (position >= text.size() || text[position] != '.')
                return std::nullopt;
            ++position;
        }
        const size_t start = position;
        std::uint32_t number = 0;
        while (position < text.size() && text[position] >= '0' && text[position] <= '9') {
            number = number * 10 + static_cast<std::uint32_t>(text[position] - '0');
            // Stops the number at once: a run of any length cannot wrap round.
            if (number > 255)
                return std::nullopt;
            ++position;
        }
        if (position == start)
            return std::nullopt;
        value = value << 8 | number;
    }
    if (position != text.size())
        return std::nullopt;
    return value;
}

[[nodiscard]] bool InBlock(std::uint32_t address, const Block& block)
{
    const std::uint32_t mask = block.prefixLength == 0 ? 0 : ~std::uint32_t { 0 } << (32 - block.prefixLength);
    return (address & mask) == (block.network & mask);
}

} // namespace

AddressKind ClassifyIPv4(std::string_view text)
{
    const std::optional<std::uint32_t> address = ParseDottedQuad(text);
    if (!address)
        return AddressKind::NotAnAddress;
    for (const Block& block : ReservedBlocks) {
        if (InBlock(*address, block))
            return AddressKind::Reserved;
    }
    return AddressKind::Global;
}

} // namespace morvanta
