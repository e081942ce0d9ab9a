#include "analysis/ExclusionList.h"

#include "analysis/TextFiles.h"
#include "base/Text.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <unistd.h>

#include <string>
#include <vector>

namespace morvanta::test {
namespace {

TEST(ExclusionList, ComparesWholeEntriesIgnoringCaseAndBlanks)
{
    struct Case {
        const char* name;
        std::string entry;
        std::string address;
        bool excluded;
    };
    const Case cases[] = {
        { "the same address", "abuse@isp.net", "abuse@isp.net", true },
        { "an entry typed in capitals", "Abuse@ISP.net", "abuse@isp.net", true },
        { "an address met in capitals", "abuse@isp.net", "ABUSE@isp.NET", true },
        { "blanks around the entry", " \tabuse@isp.net \r", "abuse@isp.net", true },
        { "a longer entry does not exclude its tail", "spam-abuse@isp.net", "abuse@isp.net", false },
        { "nor its head", "abuse@isp.net.au", "abuse@isp.net", false },
        { "an entry does not exclude a longer address", "abuse@isp.net", "noc-abuse@isp.net", false },
        { "a domain alone excludes nothing", "isp.net", "abuse@isp.net", false },
        { "a user name alone excludes nothing", "abuse", "abuse@isp.net", false },
        { "@domain: an address of the domain", "@isp.net", "abuse@isp.net", true },
        { "@domain: an address of a subdomain", "@isp.net", "noc@mx.isp.net", true },
        { "@domain: a deeper subdomain", "@isp.net", "noc@a.b.c.isp.net", true },
        { "@domain: not another domain ending in its text", "@isp.net", "abuse@myisp.net", false },
        { "@domain: not the domain as a subdomain of another", "@isp.net", "abuse@isp.net.au", false },
        { "@domain in capitals", "@ISP.Net", "abuse@mx.isp.net", true },
        { "@ and a top-level domain", "@test", "abuse@foo.test", true },
        { "@ with dots around the domain", "@.isp.net.", "abuse@mx.isp.net", true },
        { "@ alone excludes nothing", "@", "abuse@isp.net", false },
        { "an empty entry excludes nothing", "", "abuse@isp.net", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ExclusionList list;
        list.Add(c.entry);
        EXPECT_EQ(list.Excludes(c.address), c.excluded);
    }
}

TEST(ExclusionList, EachLineOfATextIsAnEntry)
{
    ExclusionList list;
    list.AddLines("a@one.net\r\n\r\n@two.net\rb@three.net\nspam-c@four.net");
    for (const char* address : { "a@one.net", "x@two.net", "x@mx.two.net", "b@three.net", "spam-c@four.net" }) {
        EXPECT_TRUE(list.Excludes(address)) << address;
    }
    for (const char* address : { "c@four.net", "x@one.net", "b@four.net" }) {
        EXPECT_FALSE(list.Excludes(address)) << address;
    }
    EXPECT_FALSE(list.Empty());
    EXPECT_TRUE(ExclusionList().Empty());
}

class ExclusionFiles : public ::testing::Test {
protected:
    TempDir folder;
};

TEST_F(ExclusionFiles, AllThreeFilesOfTheProgramFolderCountAndMissingOnesAreEmpty)
{
    EXPECT_TRUE(ReadExclusionLists(folder.Path()).Empty());

    WriteFile(folder / BlacklistFileName, "black@one.net\r\n");
    WriteFile(folder / BlocklistFileName, "@block.net\r\n");
    WriteFile(folder / RegistryAddressesFileName, "@registry.net\r\n");
    const ExclusionList list = ReadExclusionLists(folder.Path());
    for (const char* address : { "black@one.net", "x@block.net", "hostmaster@registry.net" }) {
        EXPECT_TRUE(list.Excludes(address)) << address;
    }
    EXPECT_FALSE(list.Excludes("abuse@one.net"));
}

TEST_F(ExclusionFiles, AFileThatCannotBeReadIsAFailure)
{
    ASSERT_EQ(symlink("/proc/self/mem", (folder / RegistryAddressesFileName).c_str()), 0);
    EXPECT_THROW((void)ReadExclusionLists(folder.Path()), FileError);
}

// The list the program ships beside its executables.
std::string ShippedRegistryAddresses()
{
    return ReadFileText(std::string(MORVANTA_PROGRAM_DIR) + "/" + RegistryAddressesFileName);
}

TEST(ShippedRegistryAddresses, HoldsOnlyWholeAddressesOrDomains)
{
    const std::vector<std::string> lines = SplitLines(ShippedRegistryAddresses());
    ASSERT_FALSE(lines.empty());
    for (const std::string& line : lines) {
        SCOPED_TRACE(line);
        EXPECT_EQ(line, LowerCase(Trim(line)));
        ASSERT_FALSE(line.empty());
        EXPECT_EQ(line.find_first_of(" ,;"), std::string::npos);
        const size_t atSign = line.find('@');
        ASSERT_NE(atSign, std::string::npos);
        EXPECT_EQ(line.find('@', atSign + 1), std::string::npos);
        EXPECT_LT(atSign + 1, line.size());
    }
}

TEST(ShippedRegistryAddresses, ExcludeTheRegistriesAndTheDocumentationDomainsOnly)
{
    ExclusionList list;
    list.AddLines(ShippedRegistryAddresses());
    struct Case {
        const char* name;
        std::string address;
        bool excluded;
    };
    const Case cases[] = {
        { "IANA", "abuse@iana.org", true },
        { "ARIN", "hostmaster@arin.net", true },
        { "RIPE NCC", "abuse@ripe.net", true },
        { "APNIC's helpdesk", "helpdesk@apnic.net", true },
        { "LACNIC", "abuse@lacnic.net", true },
        { "AfriNIC", "abuse@afrinic.net", true },
        { "JPNIC", "hostmaster@nic.ad.jp", true },
        { "KRNIC", "hostmaster@nic.or.kr", true },
        { "CNNIC", "ipas@cnnic.cn", true },
        { "CNNIC, older domain", "hostmaster@cnnic.net.cn", true },
        { "TWNIC", "hostmaster@twnic.net.tw", true },
        { "VNNIC", "hostmaster@vnnic.vn", true },
        { "IDNIC", "hostmaster@idnic.net", true },
        { "the Brazilian registry", "hostmaster@registro.br", true },
        { "the Brazilian registry's staff", "abuse@nic.br", true },
        { "a documentation second-level domain", "abuse@example.net", true },
        { "a subdomain of one", "noc@mail.example.com", true },
        { "a documentation top-level domain", "abuse@isp.example", true },
        { ".test", "abuse@isp.test", true },
        { ".invalid", "abuse@isp.invalid", true },
        { "localhost", "root@localhost", true },
        { "an operator's abuse desk", "abuse@operator-telecom.co.kr", false },
        { "a Brazilian operator", "abuse@provedor.com.br", false },
        { "the Brazilian CERT", "mail-abuse@cert.br", false },
        { "a domain that merely ends in a registry's name", "abuse@notripe.net", false },
        { "a domain that merely contains a documentation name", "abuse@example.network", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(list.Excludes(c.address), c.excluded);
    }
}

} // namespace
} // namespace morvanta::test
