#include "net/HeaderCoding.h"

#include "base/Text.h"
#include "net/Base64.h"
#include "net/EmailAddress.h"

#include <algorithm>

#include <cerrno>
#include <iconv.h>
#include <langinfo.h>
#include <locale.h>

namespace morvanta {

namespace {

// RFC 2047 2: an encoded word is at most 75 characters long.
constexpr std::size_t MaxEncodedWordLength = 75;

constexpr char HexDigits[] = "0123456789ABCDEF";

bool IsWordSeparator(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

bool IsUtf8Continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xC0) == 0x80;
}

// RFC 2047 2: encoded-word = "=?" charset "?" encoding "?" encoded-text "?="
// A reader would decode such a word, so text that merely looks like one
// has to be protected by encoding it.
bool HoldsEncodedWord(std::string_view text)
{
    auto hasSpace = [](std::string_view part) {
        return std::any_of(part.begin(), part.end(), [](char c) { return IsBlank(c); });
    };
    for (size_t start = text.find("=?"); start != std::string_view::npos; start = text.find("=?", start + 2)) {
        size_t charsetEnd = text.find('?', start + 2);
        if (charsetEnd == std::string_view::npos)
            return false;
        std::string_view charset = text.substr(start + 2, charsetEnd - start - 2);
        if (charset.empty() || hasSpace(charset) || charsetEnd + 2 >= text.size() || text[charsetEnd + 2] != '?')
            continue;
        char letter = text[charsetEnd + 1];
        if (letter != 'Q' && letter != 'q' && letter != 'B' && letter != 'b')
            continue;
        size_t end = text.find("?=", charsetEnd + 3);
        if (end != std::string_view::npos && !hasSpace(text.substr(charsetEnd + 3, end - charsetEnd - 3)))
            return true;
    }
    return false;
}

class HeaderEncoder {
public:
    HeaderEncoder(std::string_view specials, const HeaderCoding& coding, bool encodeEquals)
        : specials_(specials)
        , coding_(coding)
        , encodeEquals_(encodeEquals)
        , open_("=?" + coding.CharSet + "?" + (IsQ() ? "Q" : "B") + "?")
        , utf8_(SameText(coding.CharSet, "UTF-8"))
    {
    }

    [[nodiscard]] bool NeedsEncoding(char c) const
    {
        auto byte = static_cast<unsigned char>(c);
        return byte < 32 || byte >= 127 || specials_.find(c) != std::string_view::npos || (encodeEquals_ && c == '=');
    }

    [[nodiscard]] bool NeedsEncoding(std::string_view word) const
    {
        return std::any_of(word.begin(), word.end(), [this](char c) { return NeedsEncoding(c); });
    }

    // The run as one or more encoded words, joined by CR LF and a blank.
    [[nodiscard]] std::string EncodeRun(std::string_view run) const
    {
        std::string result = open_;
        std::size_t count = open_.size() + 2;
        bool wordEmpty = true;
        auto append = [&](std::string_view piece) {
            if (!wordEmpty && count + piece.size() > MaxEncodedWordLength) {
                result += "?=\r\n " + open_;
                count = open_.size() + 2;
            }
            result += piece;
            count += piece.size();
            wordEmpty = false;
        };

        if (IsQ()) {
            for (std::size_t i = 0; i < run.size();) {
                std::size_t length = CharacterLength(run, i, run.size() - i);
                std::string piece;
                for (std::size_t j = i; j < i + length; ++j)
                    piece += EncodeQ(run[j]);
                append(piece);
                i += length;
            }
        } else {
            std::size_t groups = (MaxEncodedWordLength - std::min(MaxEncodedWordLength, open_.size() + 2)) / 4;
            std::size_t maxBytes = std::max<std::size_t>(3, groups * 3);
            for (std::size_t i = 0; i < run.size();) {
                std::size_t length = std::min(maxBytes, run.size() - i);
                if (utf8_) {
                    // RFC 2047 5: every encoded word holds whole characters.
                    std::size_t whole = length;
                    while (whole > 0 && i + whole < run.size() && IsUtf8Continuation(run[i + whole]))
                        --whole;
                    length = whole > 0 ? whole : CharacterLength(run, i, run.size() - i);
                }
                // Each piece is a word of its own, as padding may end it.
                if (i > 0)
                    result += "?=\r\n " + open_;
                result += EncodeBase64(run.substr(i, length));
                i += length;
            }
        }
        return result + "?=";
    }

private:
    [[nodiscard]] bool IsQ() const { return coding_.Encoding == 'Q' || coding_.Encoding == 'q'; }

    // Bytes of the character at i: a UTF-8 sequence stays in one piece.
    [[nodiscard]] std::size_t CharacterLength(std::string_view run, std::size_t i, std::size_t left) const
    {
        std::size_t length = 1;
        if (utf8_) {
            while (length < left && IsUtf8Continuation(run[i + length]))
                ++length;
        }
        return length;
    }

    [[nodiscard]] std::string EncodeQ(char c) const
    {
        // RFC 2047 4.2: "_" stands for a blank; "=", "?" and "_" are escaped.
        if (c == ' ')
            return "_";
        if (NeedsEncoding(c) || c == '=' || c == '?' || c == '_') {
            auto byte = static_cast<unsigned char>(c);
            return { '=', HexDigits[byte >> 4], HexDigits[byte & 15] };
        }
        return std::string(1, c);
    }

    std::string_view specials_;
    const HeaderCoding& coding_;
    bool encodeEquals_;
    std::string open_;
    bool utf8_;
};

std::string NormalizedCodeset(std::string_view codeset)
{
    std::string result;
    for (char c : UpperCase(codeset)) {
        if (c != '-' && c != '_')
            result += c;
    }
    return result;
}

} // namespace

HeaderCoding ChooseHeaderCoding(std::string_view localeName, std::string_view codeset)
{
    std::string_view name = localeName.substr(0, localeName.find_first_of(".@"));
    std::string language = LowerCase(name.substr(0, name.find('_')));
    std::string territory
        = name.find('_') == std::string_view::npos ? std::string() : UpperCase(name.substr(name.find('_') + 1));

    HeaderCoding coding;
    coding.SourceCodeset = std::string(codeset);
    if (language == "ja") {
        coding = { "ISO-2022-JP", 'B', HeaderTransferKind::Iso2022Jp, coding.SourceCodeset };
    } else if (language == "ko") {
        coding = { "csEUCKR", 'B', HeaderTransferKind::EightBit, coding.SourceCodeset };
    } else if (language == "ru") {
        coding = { "KOI8-R", 'B', HeaderTransferKind::EightBit, coding.SourceCodeset };
    } else if (language == "uk") {
        coding = { "windows-1251", 'B', HeaderTransferKind::EightBit, coding.SourceCodeset };
    } else if (language == "zh") {
        coding = { territory == "CN" ? "GB2312" : "Big5", 'B', HeaderTransferKind::EightBit, coding.SourceCodeset };
    }
    // Under the plain C locale the codeset is ASCII, which no text with a
    // byte from 128 up can be in; Qt and the terminal hand us UTF-8 there.
    std::string normalized = NormalizedCodeset(codeset);
    if (normalized == "UTF8" || normalized == "ANSIX3.41968" || normalized == "ASCII" || normalized == "USASCII") {
        coding.CharSet = "UTF-8";
        coding.TransferKind = HeaderTransferKind::EightBit;
    }
    return coding;
}

HeaderCoding LocaleHeaderCoding()
{
    locale_t locale = newlocale(LC_CTYPE_MASK, "", static_cast<locale_t>(nullptr));
    if (!locale)
        locale = newlocale(LC_CTYPE_MASK, "C", static_cast<locale_t>(nullptr));
    if (!locale)
        return {};
    std::string name = nl_langinfo_l(_NL_LOCALE_NAME(LC_CTYPE), locale);
    std::string codeset = nl_langinfo_l(CODESET, locale);
    freelocale(locale);
    return ChooseHeaderCoding(name, codeset);
}

std::string ConvertToIso2022Jp(std::string_view text, const std::string& fromCodeset)
{
    if (text.empty() || fromCodeset.empty())
        return std::string(text);
    iconv_t converter = iconv_open("ISO-2022-JP", fromCodeset.c_str());
    if (converter == reinterpret_cast<iconv_t>(-1))
        return std::string(text);

    std::string input(text);
    std::string output(input.size() * 4 + 16, '\0');
    char* in = input.data();
    std::size_t inLeft = input.size();
    char* out = output.data();
    std::size_t outLeft = output.size();
    bool failed = false;
    // A final call with no input writes the shift back to ASCII.
    for (bool flushing = false;;) {
        std::size_t result = flushing ? iconv(converter, nullptr, nullptr, &out, &outLeft)
                                      : iconv(converter, &in, &inLeft, &out, &outLeft);
        if (result != static_cast<std::size_t>(-1)) {
            if (flushing)
                break;
            flushing = true;
            continue;
        }
        if (errno != E2BIG) {
            failed = true;
            break;
        }
        std::size_t used = output.size() - outLeft;
        output.resize(output.size() * 2);
        out = output.data() + used;
        outLeft = output.size() - used;
    }
    iconv_close(converter);
    if (failed)
        return std::string(text);
    output.resize(output.size() - outLeft);
    return output;
}

std::string EncodeHeader(std::string_view header, std::string_view specials, const HeaderCoding& coding)
{
    std::string converted;
    std::string_view text = header;
    if (coding.TransferKind == HeaderTransferKind::Iso2022Jp) {
        converted = ConvertToIso2022Jp(header, coding.SourceCodeset);
        text = converted;
    }

    HeaderEncoder encoder(specials, coding, HoldsEncodedWord(text));
    struct Word {
        std::string_view space; // the white space before the word
        std::string_view text;
    };
    std::vector<Word> words;
    for (std::size_t i = 0; i < text.size();) {
        std::size_t spaceStart = i;
        while (i < text.size() && IsWordSeparator(text[i]))
            ++i;
        std::size_t wordStart = i;
        while (i < text.size() && !IsWordSeparator(text[i]))
            ++i;
        words.push_back({ text.substr(spaceStart, wordStart - spaceStart), text.substr(wordStart, i - wordStart) });
    }

    std::string result;
    for (std::size_t i = 0; i < words.size();) {
        result += words[i].space;
        if (!encoder.NeedsEncoding(words[i].text)) {
            result += words[i].text;
            ++i;
            continue;
        }
        // A run spans every following word that needs encoding too, with
        // the white space between them.
        const char* runStart = words[i].text.data();
        std::size_t last = i;
        while (last + 1 < words.size() && encoder.NeedsEncoding(words[last + 1].text))
            ++last;
        const char* runEnd = words[last].text.data() + words[last].text.size();
        result += encoder.EncodeRun(std::string_view(runStart, static_cast<std::size_t>(runEnd - runStart)));
        i = last + 1;
    }
    return result;
}

std::string EncodeAddressItem(EmailAddress& item, AddressAsName addressAsName, const HeaderCoding& coding)
{
    if (addressAsName == AddressAsName::On && item.Name.empty())
        item.Name = item.Address;
    if (item.Name.empty())
        return item.Address;
    bool needsEncoding = std::any_of(item.Name.begin(), item.Name.end(), [](char c) {
        auto byte = static_cast<unsigned char>(c);
        return byte < 32 || byte >= 127;
    });
    if (needsEncoding)
        return EncodeHeader(item.Name, AddressNameSpecials, coding) + " <" + item.Address + ">";
    std::string quoted = "\"";
    for (char c : item.Name) {
        if (c == '\\' || c == '"')
            quoted += '\\';
        quoted += c;
    }
    return quoted + "\" <" + item.Address + ">";
}

std::string EncodeAddress(EmailAddressList& list, AddressAsName addressAsName, const HeaderCoding& coding)
{
    std::string result;
    for (EmailAddress& item : list) {
        if (!result.empty())
            result += ", ";
        result += EncodeAddressItem(item, addressAsName, coding);
    }
    return result;
}

} // namespace morvanta
