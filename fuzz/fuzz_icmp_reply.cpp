// The ICMP reply decoder over any datagram, whatever its headers claim.
#include "net/IcmpPacket.h"
#include "net/NetError.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::span<const std::uint8_t> datagram(data, size);
    for (std::uint16_t sequence : { 0, 3489, 65535 }) {
        try {
            (void)morvanta::ParseReply(datagram, sequence);
        } catch (const morvanta::NetError&) {
            // A datagram too short, or of another type, is refused.
        }
    }
    return 0;
}
