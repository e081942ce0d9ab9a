#pragma once

#include <string>
#include <vector>

namespace morvanta {

// The judgements FindSourceIP needs from outside the message: the report in
// progress, the contact cache and the first WHOIS registry.
class SourceIpChecks {
public:
    virtual ~SourceIpChecks() = default;

    // Called once, before the first candidate of a scan is judged (the
    // investigation window that asks the registry is created here).
    virtual void PrepareToJudge() { }

    [[nodiscard]] virtual std::string CurrentIP() = 0;
    [[nodiscard]] virtual bool IsCachedIP(const std::string& address) = 0;
    [[nodiscard]] virtual bool IsIanaReserved(const std::string& address) = 0;
};

// The address that handed the message into the user's mail system, taken
// from the header block of the message lines, or empty.
//
// Each "Received: " header (and, while nothing is accepted yet, each
// "X-Trace" line) offers the first dotted quad of its first line; a
// candidate is accepted when it is CurrentIP, is cached, or is not held by
// IANA, and the last accepted one wins. With the user's own mail hosts named
// in popMailHostList (comma-separated, quotes allowed), the walk ends at the
// first header not received "by " one of them after one that was. When the
// walk leaves no candidate, a line beginning with "IP: " may give one,
// unless the message has an "X-Originating-IP: " header.
[[nodiscard]] std::string FindSourceIP(const std::vector<std::string>& lines, const std::string& popMailHostList,
                                       SourceIpChecks& checks);

} // namespace morvanta
