#include "mailer/ReportText.h"

#include "base/Text.h"

namespace morvanta {

std::string ExpandMacros(std::string_view text, const std::string& currentIP)
{
    static constexpr std::string_view Macro = "%IP%";
    const std::string value = currentIP.empty() ? std::string("unknown") : currentIP;
    std::string result;
    result.reserve(text.size());
    size_t start = 0;
    while (start < text.size()) {
        size_t found = std::string_view::npos;
        for (size_t i = start; i + Macro.size() <= text.size(); ++i) {
            if (SameText(text.substr(i, Macro.size()), Macro)) {
                found = i;
                break;
            }
        }
        if (found == std::string_view::npos)
            break;
        result.append(text.substr(start, found - start));
        result += value;
        start = found + Macro.size();
    }
    result.append(text.substr(start));
    return result;
}

std::string ReportBody(const std::vector<std::string>& templateLines, const std::vector<std::string>& messageLines,
                       const std::string& currentIP)
{
    return ExpandMacros(JoinLinesCrLf(templateLines), currentIP) + JoinLinesCrLf(messageLines);
}

std::string ReportLogRecord(const std::string& to, const std::string& cc, const std::string& bcc,
                            const std::string& subject, const std::string& body, const std::string& attachment)
{
    std::string record;
    record.reserve(body.size() + to.size() + cc.size() + bcc.size() + subject.size() + attachment.size() + 128);
    for (const std::string& item :
         { "To: " + to, "CC: " + cc, "BCC: " + bcc, "Subject: " + subject, std::string(), body, std::string(),
           "Attachments: " + attachment, std::string("-------------------------------------"), std::string() }) {
        record += item;
        record += CRLF;
    }
    return record;
}

bool IsSpamAssassinReport(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        if (Contains(line, SpamAssassinMarker))
            return true;
    return false;
}

std::optional<std::vector<std::string>> ReduceSpamAssassinReport(const std::vector<std::string>& lines)
{
    size_t first = 1;
    while (first < lines.size() && lines[first] != SpamAssassinMarker)
        ++first;
    while (first < lines.size() && !lines[first].empty())
        ++first;
    // The empty line that ends the part's headers goes too.
    ++first;
    if (first >= lines.size())
        return std::nullopt;
    return std::vector<std::string>(lines.begin() + static_cast<std::ptrdiff_t>(first), lines.end());
}

} // namespace morvanta
