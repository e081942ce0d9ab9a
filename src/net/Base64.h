#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// The MIME transfer encodings of RFC 2045.
namespace morvanta {

// Input bytes per base64 line: 57 bytes make 76 characters.
inline constexpr std::size_t Base64LineBytes = 57;

// Standard base64 (RFC 4648 section 4), the last group completed with "=",
// no line breaks.
[[nodiscard]] std::string EncodeBase64(std::string_view bytes);
void AppendBase64(std::string& target, const unsigned char* bytes, std::size_t size);

// One text line in quoted-printable (RFC 2045 section 6.7): the encoded
// lines, every one but the last ending in a soft line break "=".
[[nodiscard]] std::vector<std::string> EncodeQuotedPrintableLine(std::string_view line);

} // namespace morvanta
