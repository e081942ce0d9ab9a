#pragma once

#include <set>
#include <string>
#include <string_view>
#include <unordered_set>

namespace morvanta {

// The user's two exclusion lists in the program folder, one entry a line.
inline constexpr const char* BlacklistFileName = "EmailBlacklist.txt";
inline constexpr const char* BlocklistFileName = "EmailBlocklist.txt";
// The addresses of the registries and the documentation domains, shipped in
// the program folder and never written by the program. Same format.
inline constexpr const char* RegistryAddressesFileName = "RegistryAddresses.txt";

// Addresses that never receive a complaint. An entry is compared whole,
// trimmed and ignoring letter case: an address excludes exactly itself, and
// "@" followed by a domain excludes every address of that domain and of its
// subdomains ("@example.net" excludes a@example.net and b@mx.example.net,
// not c@myexample.net). Any other entry excludes nothing.
class ExclusionList {
public:
    void Add(std::string_view entry);
    // Every line of the text is an entry (CR LF, LF or CR end a line).
    void AddLines(std::string_view text);

    [[nodiscard]] bool Excludes(std::string_view address) const;
    [[nodiscard]] bool Empty() const { return addresses_.empty() && domains_.empty(); }

private:
    std::unordered_set<std::string> addresses_;
    std::unordered_set<std::string> domains_;
    // The lengths of the domains, so that an address is matched against the
    // tails of its domain that could be one, however long the domain is.
    std::set<size_t> domainLengths_;
};

// The entries of EmailBlacklist.txt, EmailBlocklist.txt and
// RegistryAddresses.txt of the program folder (ending in "/"). A missing
// file counts as empty; one that exists but cannot be read throws FileError.
[[nodiscard]] ExclusionList ReadExclusionLists(const std::string& programFolder);

} // namespace morvanta
