#include "app/PasswordScramble.h"

namespace morvanta {

namespace {

// Both directions advance the key with the scrambled byte.
uint16_t NextKey(uint16_t key, unsigned char scrambledByte)
{
    return static_cast<uint16_t>((key + scrambledByte) * 52845u + 22719u);
}

} // namespace

std::string DecryptString(const std::string& scrambled, uint16_t key)
{
    std::string clear(scrambled.size(), '\0');
    for (size_t i = 0; i < scrambled.size(); ++i) {
        auto byte = static_cast<unsigned char>(scrambled[i]);
        clear[i] = static_cast<char>(byte ^ (key >> 8));
        key = NextKey(key, byte);
    }
    return clear;
}

std::string EncryptString(const std::string& clear, uint16_t key)
{
    std::string scrambled(clear.size(), '\0');
    for (size_t i = 0; i < clear.size(); ++i) {
        auto byte = static_cast<unsigned char>(static_cast<unsigned char>(clear[i]) ^ (key >> 8));
        scrambled[i] = static_cast<char>(byte);
        key = NextKey(key, byte);
    }
    return scrambled;
}

} // namespace morvanta
