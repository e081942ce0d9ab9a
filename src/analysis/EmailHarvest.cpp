#include "analysis/EmailHarvest.h"

#include "analysis/AbuseMailbox.h"

#include <array>
#include <cstring>
#include <functional>
#include <unordered_set>

namespace morvanta {

namespace {

enum CharClass : uint8_t {
    Other = 0,
    LocalOnly = 1, // "_": accepted before the "@" only
    Address = 2, // a-z, 0-9, ".", "-": accepted on both sides
};

constexpr std::array<uint8_t, 256> MakeCharClasses()
{
    std::array<uint8_t, 256> classes {};
    for (int c = 'a'; c <= 'z'; ++c)
        classes[c] = Address;
    for (int c = '0'; c <= '9'; ++c)
        classes[c] = Address;
    classes['.'] = Address;
    classes['-'] = Address;
    classes['_'] = LocalOnly;
    return classes;
}

constexpr std::array<uint8_t, 256> CharClasses = MakeCharClasses();

[[nodiscard]] inline uint8_t ClassOf(char c)
{
    return CharClasses[static_cast<unsigned char>(c)];
}

// The length the domain keeps once cleaned. Its characters hold no blanks,
// so trimming it changes nothing.
[[nodiscard]] size_t CleanedDomainLength(std::string_view domain)
{
    size_t length = domain.size();
    for (char last : { '.', '-', '_' }) {
        if (length > 0 && domain[length - 1] == last)
            --length;
    }
    return length;
}

// The last address of the line, as a part of it. A candidate is a local
// part, "@" and a domain part with no break between them, so it is a
// contiguous piece of the line.
[[nodiscard]] std::string_view LastAddress(std::string_view line)
{
    std::string_view result;
    size_t localStart = 0;
    size_t localLength = 0;
    size_t domainStart = 0;
    size_t domainLength = 0;
    bool atSign = false;

    auto endCandidate = [&] {
        if (atSign && localLength > 0 && domainLength > 0) {
            size_t kept = CleanedDomainLength(line.substr(domainStart, domainLength));
            if (kept > 0)
                result = line.substr(localStart, localLength + 1 + kept);
        }
        localLength = 0;
        domainLength = 0;
        atSign = false;
    };

    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        const uint8_t kind = ClassOf(c);
        if (!atSign) {
            if (kind != Other) {
                if (localLength == 0)
                    localStart = i;
                ++localLength;
                continue;
            }
            if (c == '@') {
                atSign = true;
                domainStart = i + 1;
                continue;
            }
        } else if (kind == Address) {
            ++domainLength;
            continue;
        }
        endCandidate();
    }
    endCandidate();
    return result;
}

[[nodiscard]] bool NamesAbuseContact(std::string_view loweredLine)
{
    for (std::string_view keyword : { "abuse", "security", "email:", "e-mail:" }) {
        if (loweredLine.find(keyword) != std::string_view::npos)
            return true;
    }
    return false;
}

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view text) const { return std::hash<std::string_view> {}(text); }
};

[[nodiscard]] inline bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

void LowerCaseInPlace(std::string& text)
{
    for (char& c : text) {
        if (static_cast<unsigned char>(c - 'A') <= 'Z' - 'A')
            c = static_cast<char>(c + ('a' - 'A'));
    }
}

} // namespace

std::string HarvestEmails(const std::string& list, std::string_view answer, KeywordFilter filter, uint16_t level,
                          const std::string& programFolder, AbuseMailboxes mailboxes)
{
    const ExclusionList excluded = ReadExclusionLists(programFolder);
    const bool filtered = filter == KeywordFilter::On && level <= 1;

    std::string result = list;
    std::unordered_set<std::string, TextHash, std::equal_to<>> taken;
    for (size_t start = 0; start <= list.size();) {
        size_t comma = list.find(',', start);
        if (comma == std::string::npos)
            comma = list.size();
        if (comma > start) {
            std::string entry = list.substr(start, comma - start);
            LowerCaseInPlace(entry);
            taken.insert(std::move(entry));
        }
        start = comma + 1;
    }
    auto take = [&](std::string_view address) {
        if (taken.find(address) != taken.end() || excluded.Excludes(address))
            return;
        taken.emplace(address);
        if (!result.empty())
            result += ',';
        result += address;
    };

    if (filtered && mailboxes == AbuseMailboxes::Preferred) {
        bool designated = false;
        for (const std::string& address : DesignatedAbuseMailboxes(answer)) {
            if (excluded.Excludes(address))
                continue;
            designated = true;
            take(address);
        }
        if (designated)
            return result;
    }

    std::string lowered;
    const char* const begin = answer.data();
    const char* const end = begin + answer.size();
    const char* p = begin;
    // A line without an "@" holds no address, whatever the filter says, so
    // only the lines around each "@" are looked at. p is always at the start
    // of a line or at the line break before one.
    while (p < end) {
        const char* atSign = static_cast<const char*>(std::memchr(p, '@', static_cast<size_t>(end - p)));
        if (!atSign)
            break;
        const char* lineStart = atSign;
        while (lineStart > p && !IsLineBreak(lineStart[-1]))
            --lineStart;
        const char* lineEnd = atSign + 1;
        while (lineEnd < end && !IsLineBreak(*lineEnd))
            ++lineEnd;
        p = lineEnd;

        lowered.assign(lineStart, lineEnd);
        LowerCaseInPlace(lowered);
        if (filtered && !NamesAbuseContact(lowered))
            continue;
        const std::string_view address = LastAddress(lowered);
        if (!address.empty())
            take(address);
    }
    return result;
}

std::string ExtractEmails(std::string_view line)
{
    return std::string(LastAddress(line));
}

std::string JoinWithSeparator(std::string_view first, std::string_view separator, std::string_view second)
{
    std::string result;
    result.reserve(first.size() + separator.size() + second.size());
    result += first;
    if (!first.empty() && !second.empty())
        result += separator;
    result += second;
    return result;
}

} // namespace morvanta
