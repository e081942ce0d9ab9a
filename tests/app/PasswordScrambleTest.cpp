#include "app/PasswordScramble.h"

#include <gtest/gtest.h>

using namespace morvanta;

namespace {

TEST(PasswordScrambleTest, KeyAdvancesWithTheScrambledByte)
{
    // Worked out by hand from the scramble's rule.
    EXPECT_EQ(EncryptString("secret", 239), "\x73\xae\xc4\x63\xcd\x7d");
    EXPECT_EQ(DecryptString("\x50\xf3\x1b\x28\x54\xc2\x21\xbe\xe0", 239), "Pa55word!");
}

TEST(PasswordScrambleTest, ScrambleDecryptsBackToThePassword)
{
    const std::string passwords[]
        = { "", "a", "Pa55word!", std::string("\0\xff\x80 tab\there", 12), std::string(300, 'z') };
    for (const auto& password : passwords) {
        std::string scrambled = EncryptString(password, PasswordKey);
        EXPECT_EQ(scrambled.size(), password.size());
        EXPECT_EQ(DecryptString(scrambled, PasswordKey), password);
    }
}

TEST(PasswordScrambleTest, StartValueMatters)
{
    EXPECT_NE(EncryptString("password", 239), EncryptString("password", 240));
    EXPECT_NE(DecryptString(EncryptString("password", 239), 1), "password");
}

} // namespace
