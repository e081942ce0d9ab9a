#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The texts a report is made of: the macro of the templates, the record of
// the report log, and the message enclosed in a SpamAssassin report.
namespace morvanta {

// The text with every "%IP%", in any letter case, replaced by the address,
// or by "unknown" when the address is empty. What is put in is not scanned
// again.
[[nodiscard]] std::string ExpandMacros(std::string_view text, const std::string& currentIP);

// The body of a report: the template with its macro expanded, then the
// message, every line ending in CR LF.
[[nodiscard]] std::string ReportBody(const std::vector<std::string>& templateLines,
                                     const std::vector<std::string>& messageLines, const std::string& currentIP);

// One record of MVMail.log as handed to AppendLineToFile (which ends it with
// one more CR LF): the To, CC, BCC and Subject lines, an empty line, the body
// (whose lines already end with CR LF) and a CR LF, an empty line, the
// Attachments line, a line of 37 hyphens and an empty line.
[[nodiscard]] std::string ReportLogRecord(const std::string& to, const std::string& cc, const std::string& bcc,
                                          const std::string& subject, const std::string& body,
                                          const std::string& attachment);

inline constexpr const char* SpamAssassinMarker = "Content-Description: original message before SpamAssassin";

// Whether a line holds the marker of a SpamAssassin report (letter case as written).
[[nodiscard]] bool IsSpamAssassinReport(const std::vector<std::string>& lines);

// The message a SpamAssassin report encloses: the first line goes, then
// every line up to the first that is exactly the marker, then every line up
// to the first empty one, and that empty line. Nothing when the lines run
// out before that, or nothing is left after it.
[[nodiscard]] std::optional<std::vector<std::string>> ReduceSpamAssassinReport(const std::vector<std::string>& lines);

} // namespace morvanta
