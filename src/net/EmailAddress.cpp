#include "net/EmailAddress.h"

#include "base/Text.h"
#include "net/MessageErrors.h"

#include <algorithm>

namespace morvanta {

namespace {

// RFC 5322 atext.
bool IsAtomChar(char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'))
        return true;
    return std::string_view("!#$%&'*+-/=?_`{}|~").find(c) != std::string_view::npos;
}

// A backslash before every backslash and double quote.
std::string QuoteEscaped(std::string_view text)
{
    std::string result;
    result.reserve(text.size() + 2);
    for (char c : text) {
        if (c == '\\' || c == '"')
            result += '\\';
        result += c;
    }
    return result;
}

bool IsBlankText(std::string_view text)
{
    for (char c : text) {
        if (!IsBlank(c))
            return false;
    }
    return true;
}

// Where the item parser stands while it consumes a text.
struct ItemParseState {
    bool inQuotes = false;
    int commentDepth = 0;
    bool inAddress = false;
    bool angleSeen = false;
    bool afterAt = false;

    [[nodiscard]] std::string_view Delimiters() const
    {
        if (commentDepth > 0)
            return "()\\";
        if (inQuotes)
            return "\"\\";
        if (afterAt && angleSeen)
            return ".>(";
        if (afterAt)
            return ". (";
        if (inAddress)
            return "\"(@>";
        return "(\"< @\t";
    }
};

} // namespace

std::string AddressForm(const EmailAddress& item)
{
    if (item.Address.empty())
        return item.Name.empty() ? std::string() : std::string("<>");

    size_t at = item.Address.rfind('@');
    std::string_view address = item.Address;
    std::string_view local = at == std::string::npos ? address : address.substr(0, at);
    std::string_view domain = at == std::string::npos ? std::string_view() : address.substr(at + 1);

    for (char c : local) {
        if (IsAtomChar(c))
            continue;
        if (c == '.')
            break;
        std::string result = "<\"" + QuoteEscaped(local) + "\"";
        if (at != std::string::npos)
            result += "@" + std::string(domain);
        return result + ">";
    }
    if (item.Name.empty())
        return item.Address;
    return "<" + item.Address + ">";
}

std::string EmailAddress::Text() const
{
    if (Name.empty() || Name == UpperCase(Address))
        return AddressForm(*this);
    bool plainName = true;
    for (char c : Name) {
        if (!IsAtomChar(c) && c != ' ') {
            plainName = false;
            break;
        }
    }
    if (plainName)
        return Name + " " + AddressForm(*this);
    return "\"" + QuoteEscaped(Name) + "\" " + AddressForm(*this);
}

void EmailAddress::SetText(std::string_view value)
{
    Address.clear();
    Name.clear();
    std::string text = Trim(value);
    if (text.empty())
        return;
    if (text.find_first_of("(\"< @\t") == std::string::npos) {
        Address = text;
        return;
    }

    ItemParseState state;
    std::string_view rest = text;
    for (;;) {
        size_t position = rest.find_first_of(state.Delimiters());
        if (position == std::string_view::npos)
            break;
        std::string_view head = rest.substr(0, position);
        char delimiter = rest[position];
        size_t used = position + 1;

        switch (delimiter) {
        case ' ':
        case '\t':
            if (position == 0)
                break;
            if (state.afterAt) {
                Address += Trim(head);
            } else {
                Name += head;
                Name += delimiter;
            }
            break;
        case '"':
            if (state.inQuotes) {
                (state.angleSeen ? Address : Name) += Trim(head);
                state.inQuotes = false;
            } else {
                state.inQuotes = true;
                used = 1;
            }
            break;
        case '(':
            // Only text outside every comment is kept: a nested comment must
            // not leak into the address.
            if (position > 0 && state.commentDepth == 0) {
                if (state.inAddress)
                    Address += Trim(head);
                else
                    Name += head;
            }
            ++state.commentDepth;
            break;
        case ')': --state.commentDepth; break;
        case '.':
            if (state.angleSeen) {
                Address += TrimSpacesAndTabs(head) + ".";
                while (used < rest.size() && IsBlank(rest[used]))
                    ++used;
            } else {
                Address += head;
                Address += '.';
            }
            break;
        case '<':
            Name = Trim(Name + std::string(head));
            state.angleSeen = true;
            state.inAddress = true;
            break;
        case '>':
            Address += Trim(head);
            state.inAddress = false;
            state.afterAt = false;
            break;
        case '@':
            state.afterAt = true;
            if (!state.inAddress) {
                if (state.angleSeen)
                    throw EmailParseError();
                state.inAddress = true;
            }
            Address += head;
            Address += '@';
            break;
        case '\\':
            if (state.inQuotes) {
                std::string& target = state.inAddress ? Address : Name;
                target += head;
                if (position + 1 < rest.size())
                    target += rest[position + 1];
            }
            used = std::min(position + 2, rest.size());
            break;
        }
        rest.remove_prefix(used);
    }
    if (state.inAddress && !state.angleSeen)
        Address += Trim(rest);
}

std::string EmailAddress::User() const
{
    size_t at = Address.rfind('@');
    return at == std::string::npos ? std::string() : Address.substr(0, at);
}

std::string EmailAddress::Domain() const
{
    size_t at = Address.rfind('@');
    return at == std::string::npos ? std::string() : Address.substr(at + 1);
}

EmailAddress& EmailAddressList::Add()
{
    return items_.emplace_back();
}

std::string EmailAddressList::AddressListText() const
{
    std::string result;
    for (const auto& item : items_) {
        if (!result.empty())
            result += ", ";
        result += item.Text();
    }
    return result;
}

void EmailAddressList::AddEntry(std::string_view entry)
{
    // A parse error leaves the partly parsed item in the list.
    EmailAddress& item = Add();
    item.SetText(entry);
    std::string rendered = Trim(item.Text());
    if (rendered.empty() || rendered == "<>")
        items_.pop_back();
}

void EmailAddressList::SetAddressListText(std::string_view value)
{
    items_.clear();
    if (IsBlankText(value))
        return;
    if (value.find_first_of(":;(\", \t") == std::string_view::npos) {
        Add().SetText(TrimLeft(value));
        return;
    }

    std::string_view rest = value;
    std::string accumulator;
    bool inQuotes = false;
    int depth = 0;
    for (;;) {
        std::string_view delimiters = inQuotes ? "\"\\" : depth > 0 ? "(\\)" : ":;(\", \t";
        size_t position = rest.find_first_of(delimiters);
        if (position == std::string_view::npos)
            break;
        std::string_view head = rest.substr(0, position);
        char delimiter = rest[position];
        size_t used = position + 1;

        switch (delimiter) {
        case ' ':
        case '\t':
        case '"':
        case '(':
        case ')':
            accumulator.append(head);
            accumulator += delimiter;
            if (delimiter == '"')
                inQuotes = !inQuotes;
            else if (delimiter == '(')
                ++depth;
            else if (delimiter == ')')
                --depth;
            break;
        case ',':
            accumulator.append(head);
            AddEntry(accumulator);
            accumulator.clear();
            break;
        case ':':
            // A group name is no address.
            accumulator.clear();
            break;
        case ';':
            accumulator.append(head);
            if (!IsBlankText(accumulator))
                AddEntry(TrimLeft(accumulator));
            accumulator.clear();
            break;
        case '\\':
            accumulator.append(head);
            accumulator += '\\';
            if (position + 1 < rest.size()) {
                accumulator += rest[position + 1];
                ++used;
            }
            break;
        }
        rest.remove_prefix(used);
    }
    if (IsBlankText(accumulator) && IsBlankText(rest))
        return;
    accumulator.append(rest);
    AddEntry(TrimLeft(accumulator));
}

} // namespace morvanta
