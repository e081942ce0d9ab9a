#pragma once

#include <cstdint>
#include <string>

namespace morvanta {

// Where the contact cache gets a list it does not hold: the WHOIS contact
// search of the investigation window.
class ContactFinder {
public:
    virtual ~ContactFinder() = default;

    // The complaint address list for the address at the search level,
    // possibly empty. Failures are the finder's to absorb.
    [[nodiscard]] virtual std::string FindContacts(const std::string& address, std::uint16_t level) = 0;
};

} // namespace morvanta
