#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

// The abuse mailboxes a registry's WHOIS answer designates, lower-cased, in
// the order of the lines that designate them, each once. The designations:
//
//   abuse-mailbox:  abuse@isp.example                     RPSL (RIPE NCC, APNIC, AfriNIC
//   % Abuse contact for '...' is 'abuse@isp.example'      and the national registries
//                                                         that use their database)
//   OrgAbuseEmail:  abuse@isp.example                     ARIN
//
// and, only when the answer holds none of those, the "e-mail:" lines of each
// contact that an "abuse-c:" line names, found by its "nic-hdl:" or
// "nic-hdl-br:" line (LACNIC, registro.br). A contact runs from its handle
// line to the next handle line or blank line; "e-mail:" lines of the same
// paragraph before its handle belong to it too. Keys are matched ignoring
// letter case and blanks before them, handles ignoring letter case; the
// address is taken from the value as from a harvested line (the last one).
//
// One pass over the text: linear in its length, whatever it holds. Line
// breaks are CR LF, LF, CR, and CR CR LF (a CR LF the server sent, after its
// LF was turned into CR LF), which is one break, not two.
[[nodiscard]] std::vector<std::string> DesignatedAbuseMailboxes(std::string_view answer);

} // namespace morvanta
