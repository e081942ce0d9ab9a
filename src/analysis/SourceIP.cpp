#include "analysis/SourceIP.h"

#include "analysis/DottedQuad.h"
#include "base/Text.h"

#include <string_view>

namespace morvanta {

namespace {

bool IsBlankLine(std::string_view line)
{
    for (char c : line) {
        if (!IsBlank(c))
            return false;
    }
    return true;
}

// The host names of the list up to the first empty field: probing stops there.
std::vector<std::string> OwnHostProbes(const std::string& popMailHostList)
{
    std::vector<std::string> probes;
    for (int index = 0;; ++index) {
        std::string host = GetQuotedField(popMailHostList, ',', index);
        if (host.empty())
            break;
        probes.push_back("by " + host);
    }
    return probes;
}

// The header that starts at the line: the line and every directly following
// line that begins with a TAB, joined by CR LF.
std::string HeaderText(const std::vector<std::string>& lines, size_t first)
{
    std::string header = lines[first];
    for (size_t next = first + 1; next < lines.size() && !lines[next].empty() && lines[next][0] == '\t'; ++next) {
        header += CRLF;
        header += lines[next];
    }
    return header;
}

// Whether the lines joined by CR LF contain CR LF followed by "IP: ", and do
// not contain "X-Originating-IP: ". Neither text holds a line break past its
// start, so a match either lies inside one line or begins at a line break.
bool FallbackApplies(const std::vector<std::string>& lines)
{
    bool lineBeginsWithIp = false;
    for (size_t index = 0; index < lines.size(); ++index) {
        const std::string& line = lines[index];
        if (Contains(line, "X-Originating-IP: "))
            return false;
        if ((index > 0 && line.starts_with("IP: ")) || Contains(line, "\r\nIP: "))
            lineBeginsWithIp = true;
    }
    return lineBeginsWithIp;
}

class Scan {
public:
    Scan(SourceIpChecks& checks)
        : checks_(checks)
    {
    }

    // A candidate is accepted when it is the report's address, is cached, or
    // is not held by IANA; an accepted one replaces the result.
    void Judge(const std::string& candidate)
    {
        if (candidate.empty())
            return;
        if (!prepared_) {
            checks_.PrepareToJudge();
            prepared_ = true;
        }
        if (candidate == checks_.CurrentIP() || checks_.IsCachedIP(candidate) || !checks_.IsIanaReserved(candidate))
            result = candidate;
    }

    std::string result;

private:
    SourceIpChecks& checks_;
    bool prepared_ = false;
};

} // namespace

std::string FindSourceIP(const std::vector<std::string>& lines, const std::string& popMailHostList,
                         SourceIpChecks& checks)
{
    const std::vector<std::string> probes = OwnHostProbes(popMailHostList);
    Scan scan(checks);
    std::string candidate;
    bool ownHost = false;
    bool stop = false;

    for (size_t index = 0; index < lines.size() && !stop; ++index) {
        const std::string& line = lines[index];
        if (IsBlankLine(line)) {
            stop = true;
            continue;
        }
        if (!Contains(line, "Received: ") && !(scan.result.empty() && Contains(line, "X-Trace")))
            continue;

        const bool previousOwnHost = ownHost;
        ownHost = false;
        if (!probes.empty()) {
            const std::string header = HeaderText(lines, index);
            for (const std::string& probe : probes) {
                if (Contains(header, probe)) {
                    ownHost = true;
                    break;
                }
            }
        }
        if (previousOwnHost && !ownHost) {
            // The first header not written by the user's own hosts: the one
            // before it named the machine that handed the message in.
            candidate.clear();
            stop = true;
            continue;
        }
        candidate = ExtractDottedQuad(line);
        scan.Judge(candidate);
    }

    if (candidate.empty() && FallbackApplies(lines)) {
        for (const std::string& line : lines) {
            if (Contains(line, "IP: ")) {
                candidate = ExtractDottedQuad(line);
                scan.Judge(candidate);
                break;
            }
        }
    }
    return scan.result;
}

} // namespace morvanta
