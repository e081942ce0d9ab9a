#include "net/Base64.h"

namespace morvanta {

namespace {

constexpr char Base64Alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
constexpr char HexDigits[] = "0123456789ABCDEF";

// RFC 2045 6.7: encoded lines are at most 76 characters, soft break included.
constexpr std::size_t QuotedPrintableWidth = 76;

} // namespace

void AppendBase64(std::string& target, const unsigned char* bytes, std::size_t size)
{
    target.reserve(target.size() + (size + 2) / 3 * 4);
    std::size_t i = 0;
    for (; i + 3 <= size; i += 3) {
        unsigned group = (bytes[i] << 16) | (bytes[i + 1] << 8) | bytes[i + 2];
        target += Base64Alphabet[(group >> 18) & 63];
        target += Base64Alphabet[(group >> 12) & 63];
        target += Base64Alphabet[(group >> 6) & 63];
        target += Base64Alphabet[group & 63];
    }
    if (size - i == 1) {
        unsigned group = bytes[i] << 16;
        target += Base64Alphabet[(group >> 18) & 63];
        target += Base64Alphabet[(group >> 12) & 63];
        target += "==";
    } else if (size - i == 2) {
        unsigned group = (bytes[i] << 16) | (bytes[i + 1] << 8);
        target += Base64Alphabet[(group >> 18) & 63];
        target += Base64Alphabet[(group >> 12) & 63];
        target += Base64Alphabet[(group >> 6) & 63];
        target += '=';
    }
}

std::string EncodeBase64(std::string_view bytes)
{
    std::string result;
    AppendBase64(result, reinterpret_cast<const unsigned char*>(bytes.data()), bytes.size());
    return result;
}

std::vector<std::string> EncodeQuotedPrintableLine(std::string_view line)
{
    std::vector<std::string> lines;
    std::string current;
    for (std::size_t i = 0; i < line.size(); ++i) {
        auto byte = static_cast<unsigned char>(line[i]);
        bool last = i + 1 == line.size();
        std::string piece;
        // Rule 3: a blank or TAB at the end of a line must be encoded.
        bool literal = (byte >= 33 && byte <= 126 && byte != '=') || ((byte == ' ' || byte == '\t') && !last);
        if (literal) {
            piece = static_cast<char>(byte);
        } else {
            piece = "=";
            piece += HexDigits[byte >> 4];
            piece += HexDigits[byte & 15];
        }
        // Keep room for the soft break "=" unless this is the line's end.
        std::size_t limit = last ? QuotedPrintableWidth : QuotedPrintableWidth - 1;
        if (current.size() + piece.size() > limit) {
            lines.push_back(current + "=");
            current.clear();
        }
        current += piece;
    }
    lines.push_back(current);
    return lines;
}

} // namespace morvanta
