#include "analysis/AbuseMailbox.h"

#include "analysis/EmailHarvest.h"
#include "base/Text.h"

#include <unordered_map>
#include <unordered_set>

namespace morvanta {

namespace {

enum class LineKind { Blank, Other, AbuseMailbox, AbuseContactComment, OrgAbuseEmail, AbuseContact, Handle, Email };

struct Line {
    LineKind kind = LineKind::Other;
    std::string_view value;
};

struct KeyKind {
    std::string_view key;
    LineKind kind;
};

constexpr KeyKind Keys[] = {
    { "abuse-mailbox", LineKind::AbuseMailbox }, { "orgabuseemail", LineKind::OrgAbuseEmail },
    { "abuse-c", LineKind::AbuseContact },       { "nic-hdl", LineKind::Handle },
    { "nic-hdl-br", LineKind::Handle },          { "e-mail", LineKind::Email },
};

constexpr std::string_view AbuseContactComment = "abuse contact for";

[[nodiscard]] bool IsSpaceOrTab(char c)
{
    return c == ' ' || c == '\t';
}

[[nodiscard]] std::string_view SkipSpacesAndTabs(std::string_view text)
{
    size_t start = 0;
    while (start < text.size() && IsSpaceOrTab(text[start]))
        ++start;
    return text.substr(start);
}

[[nodiscard]] std::string_view TrimBlanks(std::string_view text)
{
    while (!text.empty() && IsBlank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && IsBlank(text.back()))
        text.remove_suffix(1);
    return text;
}

[[nodiscard]] Line Classify(std::string_view line)
{
    const std::string_view rest = SkipSpacesAndTabs(line);
    if (TrimBlanks(rest).empty())
        return { LineKind::Blank, {} };
    if (rest.front() == '%') {
        // % Abuse contact for '193.0.0.0 - 193.0.7.255' is 'abuse@ripe.net'
        const std::string_view comment = SkipSpacesAndTabs(rest.substr(1));
        if (comment.size() >= AbuseContactComment.size()
            && SameText(comment.substr(0, AbuseContactComment.size()), AbuseContactComment))
            return { LineKind::AbuseContactComment, comment.substr(AbuseContactComment.size()) };
        return {};
    }
    // No key is longer than this: a line without a colon near its start is
    // not searched to its end for one.
    constexpr size_t LongestKey = 16;
    const size_t colon = rest.substr(0, LongestKey + 1).find(':');
    if (colon == std::string_view::npos)
        return {};
    const std::string_view key = rest.substr(0, colon);
    for (const KeyKind& known : Keys) {
        if (SameText(key, known.key))
            return { known.kind, TrimBlanks(rest.substr(colon + 1)) };
    }
    return {};
}

[[nodiscard]] std::string AddressIn(std::string_view value)
{
    return ExtractEmails(LowerCase(value));
}

// A contact with a handle: the addresses of its "e-mail:" lines.
struct Contact {
    std::vector<std::string> addresses;
};

class Designations {
public:
    void Add(std::string address)
    {
        if (!address.empty() && seen_.insert(address).second)
            list_.push_back(std::move(address));
    }

    [[nodiscard]] bool Empty() const { return list_.empty(); }
    [[nodiscard]] std::vector<std::string> Take() { return std::move(list_); }

private:
    std::vector<std::string> list_;
    std::unordered_set<std::string> seen_;
};

} // namespace

std::vector<std::string> DesignatedAbuseMailboxes(std::string_view answer)
{
    Designations direct;
    std::vector<Contact> contacts;
    std::unordered_map<std::string, std::vector<size_t>> contactsByHandle;
    std::vector<std::string> abuseHandles;
    // The contact the current paragraph's "e-mail:" lines belong to, and
    // the addresses seen in it before any handle.
    constexpr size_t None = static_cast<size_t>(-1);
    size_t current = None;
    std::vector<std::string> beforeHandle;

    size_t position = 0;
    while (position <= answer.size()) {
        size_t end = position;
        while (end < answer.size() && answer[end] != '\r' && answer[end] != '\n')
            ++end;
        const Line line = Classify(answer.substr(position, end - position));
        switch (line.kind) {
        case LineKind::Blank:
            current = None;
            beforeHandle.clear();
            break;
        case LineKind::Other: break;
        case LineKind::AbuseMailbox:
        case LineKind::AbuseContactComment:
        case LineKind::OrgAbuseEmail: direct.Add(AddressIn(line.value)); break;
        case LineKind::AbuseContact:
            if (!line.value.empty())
                abuseHandles.push_back(LowerCase(line.value));
            break;
        case LineKind::Handle:
            if (line.value.empty())
                break;
            current = contacts.size();
            contacts.push_back({ std::move(beforeHandle) });
            beforeHandle.clear();
            contactsByHandle[LowerCase(line.value)].push_back(current);
            break;
        case LineKind::Email: {
            std::string address = AddressIn(line.value);
            if (address.empty())
                break;
            if (current != None)
                contacts[current].addresses.push_back(std::move(address));
            else
                beforeHandle.push_back(std::move(address));
            break;
        }
        }
        if (end == answer.size())
            break;
        // One break: CR LF, LF, a lone CR, or CR CR LF.
        if (answer[end] == '\r' && end + 1 < answer.size() && answer[end + 1] == '\n')
            end += 1;
        else if (answer[end] == '\r' && end + 2 < answer.size() && answer[end + 1] == '\r' && answer[end + 2] == '\n')
            end += 2;
        position = end + 1;
    }

    if (!direct.Empty())
        return direct.Take();
    Designations viaContacts;
    std::unordered_set<std::string> usedHandles;
    for (const std::string& handle : abuseHandles) {
        if (!usedHandles.insert(handle).second)
            continue;
        auto found = contactsByHandle.find(handle);
        if (found == contactsByHandle.end())
            continue;
        for (size_t index : found->second) {
            for (std::string& address : contacts[index].addresses)
                viaContacts.Add(std::move(address));
        }
    }
    return viaContacts.Take();
}

} // namespace morvanta
