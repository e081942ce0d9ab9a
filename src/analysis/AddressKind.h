#pragma once

#include <string_view>

namespace morvanta {

enum class AddressKind {
    NotAnAddress, // not four decimal numbers 0 to 255 joined by dots
    Reserved, // in the IANA IPv4 special-purpose registry, multicast or reserved
    Global, // anything else: an address some network operator holds
};

// What an IPv4 address written as a dotted quad is, from a built-in table
// of the IANA IPv4 Special-Purpose Address Registry (RFC 6890 and its
// updates) with the multicast block 224.0.0.0/4 and the reserved block
// 240.0.0.0/4 added. Leading zeros are read as decimal. Any other text,
// blanks included, is no address.
[[nodiscard]] AddressKind ClassifyIPv4(std::string_view text);

} // namespace morvanta
