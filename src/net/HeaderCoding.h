#pragma once

#include <string>
#include <string_view>

namespace morvanta {

class EmailAddress;
class EmailAddressList;

// How the texts of a message reach the wire.
enum class HeaderTransferKind {
    EightBit,
    Iso2022Jp, // texts are converted from the locale's codeset first
};

// The charset named in RFC 2047 encoded words, the encoding letter ('Q' or
// 'B') and the transfer kind, chosen from the user's locale.
struct HeaderCoding {
    std::string CharSet = "ISO-8859-1";
    char Encoding = 'Q';
    HeaderTransferKind TransferKind = HeaderTransferKind::EightBit;
    std::string SourceCodeset; // the codeset texts are in, for the conversion

    bool operator==(const HeaderCoding&) const = default;
};

// The choice for a locale name such as "ru_RU.KOI8-R" (language, territory,
// codeset, modifier) and its codeset. Under a UTF-8 codeset, and under the
// ASCII codeset of the C locale, the charset is "UTF-8", with the letter B
// for the languages whose own charsets use B.
[[nodiscard]] HeaderCoding ChooseHeaderCoding(std::string_view localeName, std::string_view codeset);

// The choice for the user's locale, as the environment sets it.
[[nodiscard]] HeaderCoding LocaleHeaderCoding();

// The text converted to ISO-2022-JP from the codeset; unchanged when that
// conversion is not possible.
[[nodiscard]] std::string ConvertToIso2022Jp(std::string_view text, const std::string& fromCodeset);

// RFC 2047: the words of the text that hold control characters, bytes from
// 127 up or one of the specials become encoded words; the others stay.
[[nodiscard]] std::string EncodeHeader(std::string_view text, std::string_view specials, const HeaderCoding& coding);

// Whether an address-as-name is used when an item has no display name.
enum class AddressAsName { Off, On };

// The specials of a display name (RFC 5322 "specials").
inline constexpr std::string_view AddressNameSpecials = "()<>@,;:\\\".[]";

// An item as a header shows it: `"Name" <address>`, an encoded name before
// `<address>`, or the bare address. With the switch on, an empty Name first
// becomes the address (the item is changed).
[[nodiscard]] std::string EncodeAddressItem(EmailAddress& item, AddressAsName addressAsName,
                                            const HeaderCoding& coding);

// Every item of the list in header form, joined by ", ".
[[nodiscard]] std::string EncodeAddress(EmailAddressList& list, AddressAsName addressAsName,
                                        const HeaderCoding& coding);

} // namespace morvanta
