#pragma once

#include <string>

namespace morvanta {

// What a contact search found: the complaint address list, and whether any
// server answered it at all. An empty list from a search that got answers
// means nobody was found; from one that got none (every query failed, as in
// an outage), that the list could not be searched.
struct FoundContacts {
    std::string list;
    bool answered = true;
};

} // namespace morvanta
