#include "net/HeaderCoding.h"

#include "fixtures/TestFiles.h"
#include "net/EmailAddress.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta {
namespace {

const HeaderCoding Latin1 { "ISO-8859-1", 'Q', HeaderTransferKind::EightBit, "ISO-8859-1" };
const HeaderCoding Utf8Q { "UTF-8", 'Q', HeaderTransferKind::EightBit, "UTF-8" };
const HeaderCoding Utf8B { "UTF-8", 'B', HeaderTransferKind::EightBit, "UTF-8" };
const HeaderCoding Koi8 { "KOI8-R", 'B', HeaderTransferKind::EightBit, "KOI8-R" };
const HeaderCoding Japanese { "ISO-2022-JP", 'B', HeaderTransferKind::Iso2022Jp, "EUC-JP" };

struct EncodeCase {
    const char* name;
    std::string text;
    HeaderCoding coding;
    std::string expected;
};

TEST(EncodeHeader, EncodesOnlyTheWordsThatNeedIt)
{
    const EncodeCase cases[] = {
        { "plain text stays as it is", "Virus report from 10.0.0.1", Latin1, "Virus report from 10.0.0.1" },
        { "word with a high byte", "Hello M\xfcller", Latin1, "Hello =?ISO-8859-1?Q?M=FCller?=" },
        { "neighbouring words share one encoded word",
          "Gr\xfc\xdf \xfc"
          "ber alles",
          Latin1, "=?ISO-8859-1?Q?Gr=FC=DF_=FCber?= alles" },
        { "a plain word ends the run", "Gr\xfc\xdf Gott M\xfcller", Latin1,
          "=?ISO-8859-1?Q?Gr=FC=DF?= Gott =?ISO-8859-1?Q?M=FCller?=" },
        { "escaped characters inside an encoded word", "caf\xe9=?_x plain", Latin1,
          "=?ISO-8859-1?Q?caf=E9=3D=3F=5Fx?= plain" },
        { "white space before a run is copied", "a  \t\xe9", Latin1, "a  \t=?ISO-8859-1?Q?=E9?=" },
        { "control character", "bell\x07", Latin1, "=?ISO-8859-1?Q?bell=07?=" },
        { "text that looks like an encoded word is protected", "see =?UTF-8?Q?abc?= here", Latin1,
          "see =?ISO-8859-1?Q?=3D=3FUTF-8=3FQ=3Fabc=3F=3D?= here" },
        { "an equals sign alone needs no encoding", "a=b c", Latin1, "a=b c" },
        { "UTF-8 with Q",
          "Gr\xc3\xbc\xc3\x9f"
          "e",
          Utf8Q, "=?UTF-8?Q?Gr=C3=BC=C3=9Fe?=" },
        { "B groups three bytes", "\xf0\xd2\xc9\xd7\xc5\xd4 mir", Koi8, "=?KOI8-R?B?8NLJ18XU?= mir" },
        { "ISO-2022-JP is converted first", "\xc6\xfc\xcb\xdc", Japanese, "=?ISO-2022-JP?B?GyRCRnxLXBsoQg==?=" },
    };
    for (const EncodeCase& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(EncodeHeader(c.text, "", c.coding), c.expected);
    }
}

TEST(EncodeHeader, SpecialsMakeAWordNeedEncoding)
{
    EXPECT_EQ(EncodeHeader("M\xfcller, J.", AddressNameSpecials, Latin1), "=?ISO-8859-1?Q?M=FCller=2C_J=2E?=");
    EXPECT_EQ(EncodeHeader("Smith, J.", "", Latin1), "Smith, J.");
}

// The encoded words of a header value, and the bytes they carry.
struct EncodedWords {
    std::vector<std::string> words;
    std::vector<std::string> payloads;
};

EncodedWords SplitEncodedWords(const std::string& value, const std::string& open)
{
    EncodedWords result;
    size_t start = 0;
    for (;;) {
        size_t end = value.find("\r\n ", start);
        std::string word = value.substr(start, end == std::string::npos ? std::string::npos : end - start);
        EXPECT_EQ(word.substr(0, open.size()), open);
        EXPECT_EQ(word.substr(word.size() - 2), "?=");
        result.words.push_back(word);
        result.payloads.push_back(word.substr(open.size(), word.size() - open.size() - 2));
        if (end == std::string::npos)
            break;
        start = end + 3;
    }
    return result;
}

std::string DecodeQ(const std::string& payload)
{
    std::string bytes;
    for (size_t i = 0; i < payload.size(); ++i) {
        if (payload[i] == '_')
            bytes += ' ';
        else if (payload[i] == '=')
            bytes += static_cast<char>(std::stoi(payload.substr(i + 1, 2), nullptr, 16)), i += 2;
        else
            bytes += payload[i];
    }
    return bytes;
}

TEST(EncodeHeader, LongRunIsSplitIntoEncodedWordsOfAtMost75Characters)
{
    const std::string text(40, '\xe9');
    std::string encoded = EncodeHeader(text, "", Latin1);
    EncodedWords words = SplitEncodedWords(encoded, "=?ISO-8859-1?Q?");
    // 15 characters of "=?ISO-8859-1?Q?", 2 of "?=": 19 escapes of 3 fit in 75.
    ASSERT_EQ(words.words.size(), 3u);
    EXPECT_EQ(words.words[0].size(), 15u + 19 * 3 + 2);
    std::string decoded;
    for (const std::string& payload : words.payloads)
        decoded += DecodeQ(payload);
    EXPECT_EQ(decoded, text);
}

TEST(EncodeHeader, UnderUtf8NoEncodedWordSplitsACharacter)
{
    std::string euro;
    for (int i = 0; i < 30; ++i)
        euro += "\xe2\x82\xac"; // U+20AC, three bytes
    for (const HeaderCoding& coding : { Utf8Q, Utf8B }) {
        SCOPED_TRACE(coding.Encoding);
        std::string encoded = EncodeHeader(euro, "", coding);
        EncodedWords words = SplitEncodedWords(encoded, std::string("=?UTF-8?") + coding.Encoding + "?");
        EXPECT_GT(words.words.size(), 1u);
        for (const std::string& word : words.words)
            EXPECT_LE(word.size(), 75u) << word;
        if (coding.Encoding == 'Q') {
            for (const std::string& payload : words.payloads)
                EXPECT_EQ(DecodeQ(payload).size() % 3, 0u) << payload;
        } else {
            // Base64 of whole characters: 3, 6, 9... bytes, so no padding.
            for (const std::string& payload : words.payloads)
                EXPECT_EQ(payload.find('='), std::string::npos) << payload;
        }
    }
}

TEST(EncodeHeader, BLinesUpWordsAtGroupsOfThreeBytes)
{
    // "=?KOI8-R?B?" and "?=" leave room for 15 groups: 45 bytes a word.
    std::string encoded = EncodeHeader(std::string(50, '\xc1'), "", Koi8);
    EncodedWords words = SplitEncodedWords(encoded, "=?KOI8-R?B?");
    ASSERT_EQ(words.words.size(), 2u);
    EXPECT_EQ(words.payloads[0].size(), 60u);
    EXPECT_EQ(words.payloads[1], "wcHBwcE=");
}

struct AddressCase {
    const char* name;
    const char* itemName;
    AddressAsName addressAsName;
    std::string expected;
    std::string nameAfterwards;
};

TEST(EncodeAddressItem, WritesNameAndAddressAsAHeaderShowsThem)
{
    const AddressCase cases[] = {
        { "plain name is always quoted", "Morvanta", AddressAsName::Off, "\"Morvanta\" <r@example.org>", "Morvanta" },
        { "quotes and backslashes are escaped", "A \"B\" \\C", AddressAsName::Off,
          "\"A \\\"B\\\" \\\\C\" <r@example.org>", "A \"B\" \\C" },
        { "non-ASCII name is encoded", "J\xf6rg M\xfcller", AddressAsName::Off,
          "=?ISO-8859-1?Q?J=F6rg_M=FCller?= <r@example.org>", "J\xf6rg M\xfcller" },
        { "no name gives the bare address", "", AddressAsName::Off, "r@example.org", "" },
        { "with the switch on the address serves as name", "", AddressAsName::On, "\"r@example.org\" <r@example.org>",
          "r@example.org" },
    };
    for (const AddressCase& c : cases) {
        SCOPED_TRACE(c.name);
        EmailAddress item;
        item.Name = c.itemName;
        item.Address = "r@example.org";
        EXPECT_EQ(EncodeAddressItem(item, c.addressAsName, Latin1), c.expected);
        EXPECT_EQ(item.Name, c.nameAfterwards);
    }
}

TEST(EncodeAddress, JoinsTheItemsWithCommaAndBlank)
{
    EmailAddressList list;
    list.SetAddressListText("a@example.org, Bee <b@example.org>");
    EXPECT_EQ(EncodeAddress(list, AddressAsName::Off, Latin1), "a@example.org, \"Bee\" <b@example.org>");
    EmailAddressList empty;
    EXPECT_EQ(EncodeAddress(empty, AddressAsName::On, Latin1), "");
}

struct ChoiceCase {
    const char* locale;
    const char* codeset;
    const char* charSet;
    char letter;
    HeaderTransferKind kind;
};

TEST(ChooseHeaderCoding, FollowsTheLanguageTableAndPrefersUtf8)
{
    const ChoiceCase cases[] = {
        { "en_US.ISO-8859-1", "ISO-8859-1", "ISO-8859-1", 'Q', HeaderTransferKind::EightBit },
        { "de_DE@euro", "ISO-8859-15", "ISO-8859-1", 'Q', HeaderTransferKind::EightBit },
        { "C", "ANSI_X3.4-1968", "UTF-8", 'Q', HeaderTransferKind::EightBit },
        { "ja_JP.eucJP", "EUC-JP", "ISO-2022-JP", 'B', HeaderTransferKind::Iso2022Jp },
        { "ko_KR.EUC-KR", "EUC-KR", "csEUCKR", 'B', HeaderTransferKind::EightBit },
        { "ru_RU.KOI8-R", "KOI8-R", "KOI8-R", 'B', HeaderTransferKind::EightBit },
        { "uk_UA.CP1251", "CP1251", "windows-1251", 'B', HeaderTransferKind::EightBit },
        { "zh_CN.GB2312", "GB2312", "GB2312", 'B', HeaderTransferKind::EightBit },
        { "zh_TW.BIG5", "BIG5", "Big5", 'B', HeaderTransferKind::EightBit },
        { "C.UTF-8", "UTF-8", "UTF-8", 'Q', HeaderTransferKind::EightBit },
        { "de_DE.utf8", "UTF-8", "UTF-8", 'Q', HeaderTransferKind::EightBit },
        { "ru_RU.UTF-8", "UTF-8", "UTF-8", 'B', HeaderTransferKind::EightBit },
        { "ja_JP.UTF-8", "UTF-8", "UTF-8", 'B', HeaderTransferKind::EightBit },
    };
    for (const ChoiceCase& c : cases) {
        SCOPED_TRACE(c.locale);
        HeaderCoding coding = ChooseHeaderCoding(c.locale, c.codeset);
        EXPECT_EQ(coding.CharSet, c.charSet);
        EXPECT_EQ(coding.Encoding, c.letter);
        EXPECT_EQ(coding.TransferKind, c.kind);
        EXPECT_EQ(coding.SourceCodeset, c.codeset);
    }
}

TEST(LocaleHeaderCoding, FollowsTheLocaleOfTheEnvironment)
{
    {
        test::ScopedEnv locale("LC_ALL", "C.UTF-8");
        EXPECT_EQ(LocaleHeaderCoding().CharSet, "UTF-8");
    }
    {
        test::ScopedEnv locale("LC_ALL", "C");
        EXPECT_EQ(LocaleHeaderCoding().CharSet, "UTF-8");
        EXPECT_EQ(LocaleHeaderCoding().Encoding, 'Q');
    }
    {
        // A locale that is not installed leaves the C locale.
        test::ScopedEnv locale("LC_ALL", "xx_NOWHERE.KOI8-R");
        EXPECT_EQ(LocaleHeaderCoding().CharSet, "UTF-8");
    }
}

TEST(ConvertToIso2022Jp, LeavesTextUnchangedWhenItCannotConvert)
{
    EXPECT_EQ(ConvertToIso2022Jp("\xc6\xfc", "NO-SUCH-CODESET"), "\xc6\xfc");
    EXPECT_EQ(ConvertToIso2022Jp("\xff\xff", "EUC-JP"), "\xff\xff");
    EXPECT_EQ(ConvertToIso2022Jp("plain", "EUC-JP"), "plain");
}

} // namespace
} // namespace morvanta
