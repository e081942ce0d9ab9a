#pragma once

#include "analysis/FoundContacts.h"

#include <cstdint>
#include <string>

namespace morvanta {

// Where the contact cache gets a list it does not hold: the WHOIS contact
// search of the investigation window.
class ContactFinder {
public:
    virtual ~ContactFinder() = default;

    // The complaint address list for the address at the search level,
    // possibly empty, and whether any query of the search was answered.
    // Failures are the finder's to absorb.
    [[nodiscard]] virtual FoundContacts FindContacts(const std::string& address, std::uint16_t level) = 0;
};

} // namespace morvanta
