#pragma once

#include "analysis/ExclusionList.h"

#include <cstdint>
#include <string>
#include <string_view>

// Complaint address lists: lower-case e-mail addresses joined by single
// commas, in the order they were found; the empty text means none.
namespace morvanta {

// Whether a line must name an abuse or security contact to be used.
enum class KeywordFilter { Off, On };

// Whether the abuse mailboxes a registry answer designates stand in for its
// keyword lines.
enum class AbuseMailboxes { Ignored, Preferred };

// The list with the addresses of the WHOIS answer appended: at most one
// address a line (the last one, see ExtractEmails) from the line lower-cased.
// With the filter on and a level of 0 or 1 only lines containing "abuse",
// "security", "email:" or "e-mail:" are used; from level 2 on every line is.
// With the filter on, a level of 0 or 1 and the mailboxes preferred, an
// answer that designates abuse mailboxes (DesignatedAbuseMailboxes) gives
// those and nothing else, unless every one of them is excluded; then its
// keyword lines are used as above.
// An address is left out when the list already holds it or the exclusion
// lists of the program folder (ending in "/") exclude it; they are read
// afresh on every call. Throws FileError when an exclusion file exists but
// cannot be read.
[[nodiscard]] std::string HarvestEmails(const std::string& list, std::string_view answer, KeywordFilter filter,
                                        uint16_t level, const std::string& programFolder, AbuseMailboxes mailboxes);

// The last address of the line: a run of a-z, 0-9, ".", "-" and "_", an "@",
// and a run of a-z, 0-9, "." and "-", with one final ".", then one final
// "-", then one final "_" removed from the domain. Any other character ends
// a candidate. Empty when there is none; a candidate whose domain the
// removal would leave empty is no address.
[[nodiscard]] std::string ExtractEmails(std::string_view line);

// first + separator + second when both are non-empty, else first + second.
[[nodiscard]] std::string JoinWithSeparator(std::string_view first, std::string_view separator,
                                            std::string_view second);

} // namespace morvanta
