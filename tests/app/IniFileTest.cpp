#include "app/IniFile.h"

#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

using namespace morvanta;
using namespace morvanta::test;

namespace {

class IniFileTest : public ::testing::Test {
protected:
    std::string Write(const std::string& content)
    {
        WriteFile(path, content);
        return path;
    }

    TempDir dir;
    std::string path = dir / "Morvanta.ini";
};

TEST_F(IniFileTest, MissingFileGivesEveryDefault)
{
    IniFile ini(dir / "absent.ini");
    EXPECT_EQ(ini.ReadString("MailOptions", "HostAddress", "mail"), "mail");
    EXPECT_EQ(ini.ReadInteger("Options", "WhoisPort", 43), 43);
    EXPECT_TRUE(ini.ReadBool("Options", "X", true));
}

TEST_F(IniFileTest, ReadsValuesByTheProfileRules)
{
    struct Case {
        const char* name;
        const char* content;
        const char* section;
        const char* key;
        const char* expected;
    };
    const Case cases[] = {
        { "plain", "[A]\r\nkey=value\r\n", "A", "key", "value" },
        { "names ignore letter case", "[MailOptions]\r\nHOSTADDRESS=smtp\r\n", "mailoptions", "HostAddress", "smtp" },
        { "blanks around name and value dropped", "[ A ]\r\n  key  =  some value \t\r\n", "A", "key", "some value" },
        { "one pair of quotes dropped", "[A]\r\nkey=\" padded \"\r\n", "A", "key", " padded " },
        { "single quotes dropped", "[A]\r\nkey='x'\r\n", "A", "key", "x" },
        { "unmatched quote kept", "[A]\r\nkey=\"x\r\n", "A", "key", "\"x" },
        { "value may hold =", "[A]\r\nkey=a=b\r\n", "A", "key", "a=b" },
        { "empty value is a value", "[A]\r\nkey=\r\n", "A", "key", "" },
        { "missing final line break", "[A]\r\nkey=last", "A", "key", "last" },
        { "bare LF line ends", "[A]\nother=1\nkey=lf\n", "A", "key", "lf" },
        { "bare CR line ends", "[A]\rother=1\rkey=cr\r", "A", "key", "cr" },
        { "byte order mark ignored", "\xEF\xBB\xBF[A]\r\nkey=bom\r\n", "A", "key", "bom" },
        { "first key of a name counts", "[A]\r\nkey=first\r\nkey=second\r\n", "A", "key", "first" },
        { "first section of a name counts", "[A]\r\nkey=first\r\n[B]\r\n[A]\r\nkey=second\r\n", "A", "key", "first" },
        { "key only in a later duplicate section", "[A]\r\nother=1\r\n[a]\r\nkey=later\r\n", "A", "key", "default" },
        { "key in another section", "[B]\r\nkey=b\r\n", "A", "key", "default" },
        { "key before any section", "key=none\r\n[A]\r\n", "A", "key", "default" },
        { "line without = gives no value", "[A]\r\nkey\r\n", "A", "key", "default" },
        { "line without = is skipped", "[A]\r\ngarbage line\r\nkey=v\r\n", "A", "key", "v" },
        { "binary bytes kept", "[A]\r\nkey=\x01\xff\x80z\r\n", "A", "key", "\x01\xff\x80z" },
        { "line without closing bracket is no section", "[A\r\nkey=v\r\n", "A", "key", "default" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Write(c.content);
        IniFile ini(path);
        EXPECT_EQ(ini.ReadString(c.section, c.key, "default"), c.expected);
    }
}

TEST_F(IniFileTest, ValueIsCutAtTheNulByte)
{
    Write(std::string("[A]\r\nkey=ab\0cd\r\n", 16));
    EXPECT_EQ(IniFile(path).ReadString("A", "key", ""), "ab");
}

TEST_F(IniFileTest, LongValueIsCutAt2047Characters)
{
    std::string value(3000, 'x');
    value[2046] = 'y';
    value[2047] = 'z';
    Write("[A]\r\nkey=" + value + "\r\n");
    std::string read = IniFile(path).ReadString("A", "key", "");
    EXPECT_EQ(read.size(), 2047u);
    EXPECT_EQ(read.back(), 'y');
}

TEST_F(IniFileTest, IntegersAreDecimalOrHexAndAnythingElseIsTheDefault)
{
    struct Case {
        const char* text;
        int expected;
    };
    const Case cases[] = {
        { "2", 2 },
        { "0", 0 },
        { "-5", -5 },
        { "+7", 7 },
        { "0x1F", 31 },
        { "0X1f", 31 },
        { "0xFFFFFFFF", -1 },
        { "2147483647", 2147483647 },
        { "-2147483648", -2147483647 - 1 },
        { "2147483648", 99 },
        { "0x100000000", 99 },
        { "word", 99 },
        { "12abc", 99 },
        { "1 2", 99 },
        { "0x", 99 },
        { "-", 99 },
        { "", 99 },
        { "1.5", 99 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Write(std::string("[A]\r\nkey=") + c.text + "\r\n");
        EXPECT_EQ(IniFile(path).ReadInteger("A", "key", 99), c.expected);
    }
}

TEST_F(IniFileTest, TruthValuesAreIntegers)
{
    struct Case {
        const char* text;
        bool defaultValue;
        bool expected;
    };
    const Case cases[] = {
        { "1", false, true },  { "2", false, true },     { "0x10", false, true }, { "0", true, false },
        { "-1", false, true }, { "word", false, false }, { "word", true, true },  { "true", false, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.text);
        Write(std::string("[A]\r\nflag=") + c.text + "\r\n");
        EXPECT_EQ(IniFile(path).ReadBool("A", "flag", c.defaultValue), c.expected);
    }
}

TEST_F(IniFileTest, WriteCreatesTheFileWithTheSection)
{
    IniFile ini(path);
    ini.WriteString("MailOptions", "DefaultFile", "SpamReport.txt");
    EXPECT_EQ(ReadFile(path), "[MailOptions]\r\nDefaultFile=SpamReport.txt\r\n");
}

TEST_F(IniFileTest, WriteReplacesTheKeyAndKeepsEverythingElse)
{
    Write(
        "; comment\r\n[MailOptions]\r\nHostAddress=smtp\r\ndefaultfile=old.txt\r\nCC=a@b\r\n\r\n[Defaults]\r\nX=1\r\n");
    IniFile ini(path);
    ini.WriteString("mailoptions", "DefaultFile", "new.txt");
    EXPECT_EQ(
        ReadFile(path),
        "; comment\r\n[MailOptions]\r\nHostAddress=smtp\r\nDefaultFile=new.txt\r\nCC=a@b\r\n\r\n[Defaults]\r\nX=1\r\n");
}

TEST_F(IniFileTest, WriteAddsAMissingKeyAtTheEndOfItsSection)
{
    Write("[MailOptions]\r\nHostAddress=smtp\r\n\r\n[Defaults]\r\nX=1");
    IniFile ini(path);
    ini.WriteString("MailOptions", "DefaultFile", "a.txt");
    ini.WriteString("Other", "Y", "2");
    EXPECT_EQ(
        ReadFile(path),
        "[MailOptions]\r\nHostAddress=smtp\r\nDefaultFile=a.txt\r\n\r\n[Defaults]\r\nX=1\r\n\r\n[Other]\r\nY=2\r\n");
}

TEST_F(IniFileTest, WrittenValuesReadBackUnchanged)
{
    const std::string values[] = { "",         "plain", " leading blank",   "trailing blank ", "\"quoted\"",
                                   "'single'", "a=b",   "/home/u/My Mail/", "\x01\xfe bytes" };
    for (const auto& value : values) {
        SCOPED_TRACE(value);
        IniFile ini(path);
        ini.WriteString("Defaults", "LastBulkReportPath", value);
        EXPECT_EQ(IniFile(path).ReadString("Defaults", "LastBulkReportPath", "default"), value);
    }
}

TEST_F(IniFileTest, ValueWithALineBreakIsRefusedAndTheFileKept)
{
    Write("[Defaults]\r\nLastBulkReportPath=/old/\r\n");
    IniFile ini(path);
    for (const std::string& value : { std::string("/a\nb/"), std::string("/a\rb/"), std::string("a\0b", 3) }) {
        try {
            ini.WriteString("Defaults", "LastBulkReportPath", value);
            FAIL() << "no error";
        } catch (const IniFileError& error) {
            EXPECT_EQ(std::string(error.what()), "Unable to write to " + path);
        }
    }
    EXPECT_EQ(ReadFile(path), "[Defaults]\r\nLastBulkReportPath=/old/\r\n");
}

TEST_F(IniFileTest, WriteIntoAMissingFolderFailsWithTheFileName)
{
    std::string missing = dir / "no/such/folder/Morvanta.ini";
    IniFile ini(missing);
    try {
        ini.WriteString("A", "k", "v");
        FAIL() << "no error";
    } catch (const IniFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + missing);
    }
}

} // namespace
