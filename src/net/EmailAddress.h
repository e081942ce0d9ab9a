#pragma once

#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace morvanta {

// One mailbox: an address and an optional display name. Text() is the
// combined form, such as `"Doe, John" <john@example.org>`.
class EmailAddress {
public:
    EmailAddress() = default;
    explicit EmailAddress(std::string_view text) { SetText(text); }

    std::string Address;
    std::string Name;

    // Rendered from Address and Name.
    [[nodiscard]] std::string Text() const;
    // Takes the text apart into Address and Name. Throws EmailParseError
    // ("@ Outside address"); the item then keeps what was parsed before.
    void SetText(std::string_view text);

    // Address before / after its last "@" (empty when it has none).
    [[nodiscard]] std::string User() const;
    [[nodiscard]] std::string Domain() const;
};

// An ordered list of mailboxes. Add() never moves the items already there.
class EmailAddressList {
public:
    using Items = std::deque<EmailAddress>;

    [[nodiscard]] std::string AddressListText() const;
    // Replaces the whole list. On EmailParseError the entries before the
    // failing one stay, followed by what was parsed of the failing one.
    void SetAddressListText(std::string_view text);

    EmailAddress& Add();
    void Clear() { items_.clear(); }

    [[nodiscard]] std::size_t Count() const { return items_.size(); }
    [[nodiscard]] bool Empty() const { return items_.empty(); }
    [[nodiscard]] EmailAddress& operator[](std::size_t index) { return items_[index]; }
    [[nodiscard]] const EmailAddress& operator[](std::size_t index) const { return items_[index]; }
    [[nodiscard]] Items::iterator begin() { return items_.begin(); }
    [[nodiscard]] Items::iterator end() { return items_.end(); }
    [[nodiscard]] Items::const_iterator begin() const { return items_.begin(); }
    [[nodiscard]] Items::const_iterator end() const { return items_.end(); }

private:
    // Parses the entry into a new item, and drops the item again when it
    // names no mailbox at all.
    void AddEntry(std::string_view entry);

    Items items_;
};

// The address form of an item: the address bare, or in angle brackets when
// a name goes before it, with the local part quoted where it needs it.
[[nodiscard]] std::string AddressForm(const EmailAddress& item);

} // namespace morvanta
