#pragma once

#include <cstdint>
#include <string>

namespace morvanta {

// The start value of the stored e-mail password's scramble.
inline constexpr uint16_t PasswordKey = 239;

// Turns a scrambled text into the clear text of the same length.
[[nodiscard]] std::string DecryptString(const std::string& scrambled, uint16_t key);

// The inverse: DecryptString(EncryptString(text, k), k) == text.
[[nodiscard]] std::string EncryptString(const std::string& clear, uint16_t key);

} // namespace morvanta
