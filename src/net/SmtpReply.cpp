#include "net/SmtpReply.h"

#include "base/Text.h"

#include <algorithm>
#include <charconv>

namespace morvanta {

namespace {

// A non-empty run of digits that fits an int.
bool ParseNumber(std::string_view text, int& value)
{
    if (text.empty() || !std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; }))
        return false;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size();
}

struct EnhancedParts {
    int statusClass = 0;
    int subject = 0;
    int details = 0;
};

bool SplitEnhancedCode(std::string_view word, EnhancedParts& parts)
{
    size_t first = word.find('.');
    if (first == std::string_view::npos)
        return false;
    size_t second = word.find('.', first + 1);
    if (second == std::string_view::npos)
        return false;
    std::string_view statusClass = word.substr(0, first);
    if (statusClass.empty() || (statusClass[0] != '2' && statusClass[0] != '4' && statusClass[0] != '5'))
        return false;
    if (!ParseNumber(word.substr(first + 1, second - first - 1), parts.subject)
        || !ParseNumber(word.substr(second + 1), parts.details))
        return false;
    if (!ParseNumber(statusClass, parts.statusClass))
        parts.statusClass = statusClass[0] - '0';
    return true;
}

} // namespace

std::string SmtpEnhancedCode::ReplyAsStr() const
{
    if (!Available)
        return {};
    return std::to_string(StatusClass) + "." + std::to_string(Subject) + "." + std::to_string(Details);
}

void SmtpEnhancedCode::SetReplyAsStr(std::string_view text)
{
    EnhancedParts parts;
    Available = SplitEnhancedCode(text, parts);
    StatusClass = Available ? parts.statusClass : 0;
    Subject = Available ? parts.subject : 0;
    Details = Available ? parts.details : 0;
}

bool IsEnhancedStatusCode(std::string_view word)
{
    EnhancedParts parts;
    return SplitEnhancedCode(word, parts);
}

bool IsEndOfReplyLine(std::string_view line)
{
    return line.size() < 4 || line[3] == ' ';
}

int SmtpReply::NumericCode() const
{
    int value = 0;
    return ParseNumber(Code, value) ? value : 0;
}

void SmtpReply::Clear()
{
    Code.clear();
    Text.clear();
    EnhancedCode.SetReplyAsStr("");
}

void SmtpReply::SetFormattedReply(const std::vector<std::string>& lines)
{
    Clear();
    if (lines.empty())
        return;
    std::string code = Trim(std::string_view(lines.front()).substr(0, 4));
    if (code.size() == 4 && code[3] == '-')
        code.pop_back();
    Code = code;
    int value = 0;
    if (!Code.empty() && !(ParseNumber(Code, value) && value >= 100 && value <= 999))
        throw NetError(ReplaceAll(RSReplyCodeNotValid, "%s", Code));

    for (const std::string& line : lines) {
        std::string text = line.size() > 4 ? line.substr(4) : std::string();
        size_t wordEnd = text.find(' ');
        std::string_view word = std::string_view(text).substr(0, wordEnd);
        // A line without text takes back an enhanced code seen before it.
        if (text.empty() || IsEnhancedStatusCode(word)) {
            EnhancedCode.SetReplyAsStr(word);
            text.erase(0, wordEnd == std::string::npos ? text.size() : wordEnd + 1);
        }
        Text.push_back(std::move(text));
    }
}

std::string SmtpReply::TextWithLineEnds() const
{
    std::string message;
    for (const std::string& line : Text)
        message += line + CRLF;
    return message;
}

SmtpReplyError::SmtpReplyError(const SmtpReply& reply)
    : NetError(reply.TextWithLineEnds())
    , errorCode_(reply.NumericCode())
    , enhancedCode_(reply.EnhancedCode)
{
}

} // namespace morvanta
