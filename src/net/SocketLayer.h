#pragma once

#include <netinet/in.h>

#include <optional>
#include <string>
#include <string_view>

namespace morvanta {

// The process-wide socket layer. The first network component creates it and
// the last one releases it; the count of live components is kept under a
// lock.
class SocketLayer {
public:
    // Called by every network component when it is created and destroyed.
    static void IncUsage();
    static void DecUsage();

    [[nodiscard]] static int UsageCount();
    // The layer, or nullptr while no network component exists.
    [[nodiscard]] static SocketLayer* Instance();

    // The host name of this computer when the layer was created (empty when
    // the platform gave none).
    [[nodiscard]] const std::string& LocalHostName() const { return localHostName_; }

    SocketLayer(const SocketLayer&) = delete;
    SocketLayer& operator=(const SocketLayer&) = delete;

private:
    SocketLayer();

    std::string localHostName_;
};

// The address of a text made of four decimal numbers 0 to 255 joined by
// dots (one trailing dot allowed); nothing for any other text.
[[nodiscard]] std::optional<in_addr> ParseNumericAddress(std::string_view text);

[[nodiscard]] bool IsNumericAddress(std::string_view text);

// "localhost" in any letter case gives 127.0.0.1 and a numeric address
// itself, unchanged; any other name the first IPv4 address the resolver
// lists. Throws SocketError (11001 for an unknown name).
[[nodiscard]] std::string ResolveAddress(const std::string& host);

// The official name of the address. A text that is no address is looked up
// as 255.255.255.255. Throws SocketError.
[[nodiscard]] std::string ReverseLookup(const std::string& address);

} // namespace morvanta
