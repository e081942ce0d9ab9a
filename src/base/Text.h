#pragma once

#include <string>
#include <string_view>
#include <vector>

// Byte-wise text helpers shared by every subsystem. Texts are 8-bit strings;
// "blank" means a character of code 0 to 32.
namespace morvanta {

inline constexpr const char* CRLF = "\r\n";

[[nodiscard]] inline bool IsBlank(char c)
{
    return static_cast<unsigned char>(c) <= 32;
}

[[nodiscard]] std::string Trim(std::string_view text);
[[nodiscard]] std::string TrimLeft(std::string_view text);
[[nodiscard]] std::string TrimRight(std::string_view text);

// Without the spaces and tabs at either end (other control bytes stay).
[[nodiscard]] std::string TrimSpacesAndTabs(std::string_view text);

// Changes only the letters A to Z (a to z).
[[nodiscard]] std::string LowerCase(std::string_view text);
[[nodiscard]] std::string UpperCase(std::string_view text);

// Equal when they differ only in the letter case of A to Z.
[[nodiscard]] bool SameText(std::string_view a, std::string_view b);

[[nodiscard]] inline bool Contains(std::string_view text, std::string_view part)
{
    return text.find(part) != std::string_view::npos;
}

[[nodiscard]] std::string ReplaceAll(std::string_view text, std::string_view from, std::string_view to);

// Splits at CR LF, a lone LF or a lone CR. A final line break does not start
// another line, so "a\r\nb" and "a\r\nb\r\n" both give a and b.
[[nodiscard]] std::vector<std::string> SplitLines(std::string_view text);

// Every line followed by CR LF.
[[nodiscard]] std::string JoinLinesCrLf(const std::vector<std::string>& lines);

// Every LF becomes CR LF (so a CR LF becomes CR CR LF).
[[nodiscard]] std::string LfToCrLf(std::string_view text);

} // namespace morvanta
