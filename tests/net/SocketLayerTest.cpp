#include "net/SocketLayer.h"
#include "fixtures/PrivateResolver.h"
#include "net/NetError.h"
#include "net/TcpClient.h"
#include "net/WhoisClient.h"

#include <gtest/gtest.h>

#include <unistd.h>

namespace morvanta::test {
namespace {

TEST(SocketLayer, IsNumericAddressTakesFourNumbersFrom0To255)
{
    struct Case {
        const char* text;
        bool numeric;
    };
    const Case cases[] = {
        { "10.0.0.1", true },    { "255.255.255.255", true },
        { "0.0.0.0", true },     { "10.0.0.1.", true },
        { "010.0.0.1", true },   { "10.0.0", false },
        { "10.0.0.1.5", false }, { "10.0.0.1..", false },
        { "10.0.0.256", false }, { "10..0.1", false },
        { "10.0.0.-1", false },  { "10.0.0.1a", false },
        { " 10.0.0.1", false },  { "99999999999999999999.0.0.1", false },
        { "", false },           { "whois.example.net", false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(IsNumericAddress(c.text), c.numeric);
    }
}

TEST(SocketLayer, ResolveAddressKeepsNumericAddressesAndMapsLocalhostWithoutALookUp)
{
    struct Case {
        const char* text;
        const char* address;
    };
    const Case cases[] = {
        { "LOCALHOST", "127.0.0.1" }, { "localhost", "127.0.0.1" },   { "LocalHost", "127.0.0.1" },
        { "192.0.2.7", "192.0.2.7" }, { "192.0.2.7.", "192.0.2.7." },
    };
    // The private hosts file gives localhost another address, so a look-up
    // would show.
    auto result = RunWithHostsFile("127.0.0.9 localhost LOCALHOST\n", [&] {
        std::string answers;
        for (const Case& c : cases)
            answers += ResolveAddress(c.text) + " ";
        return answers;
    });
    if (!result)
        GTEST_SKIP() << "no private name service available";
    EXPECT_EQ(*result, "127.0.0.1 127.0.0.1 127.0.0.1 192.0.2.7 192.0.2.7. ");
}

TEST(SocketLayer, ResolveAddressTakesTheFirstAddressOfAName)
{
    auto result
        = RunWithHostsFile("127.0.0.5 multi.test\n127.0.0.6 multi.test\n", [] { return ResolveAddress("multi.test"); });
    if (!result)
        GTEST_SKIP() << "no private name service available";
    EXPECT_EQ(*result, "127.0.0.5");
}

TEST(SocketLayer, ResolveAddressFailsWithHostNotFoundForAnUnknownName)
{
    // A number above 255 makes the text a name, which the look-up does not know.
    for (const char* name : { "unknown.test", "10.0.0.256" }) {
        SCOPED_TRACE(name);
        auto result = RunWithHostsFile("127.0.0.5 known.test\n", [&] {
            try {
                return ResolveAddress(name);
            } catch (const SocketError& error) {
                return std::to_string(error.code()) + " " + error.what();
            }
        });
        if (!result)
            GTEST_SKIP() << "no private name service available";
        EXPECT_EQ(*result, "11001 Socket Error # 11001\r\nHost not found.");
    }
}

TEST(SocketLayer, ResolveAddressAnswersNamesUnderInvalidAtOnce)
{
    for (const char* name : { "host.invalid", "HOST.INVALID.", "invalid" }) {
        SCOPED_TRACE(name);
        try {
            (void)ResolveAddress(name);
            ADD_FAILURE() << "no exception";
        } catch (const SocketError& error) {
            EXPECT_EQ(error.code(), 11001);
            EXPECT_STREQ(error.what(), "Socket Error # 11001\r\nHost not found.");
        }
    }
}

TEST(SocketLayer, ReverseLookupGivesTheOfficialName)
{
    auto result = RunWithHostsFile("127.0.0.5 official.test alias.test\n", [] { return ReverseLookup("127.0.0.5"); });
    if (!result)
        GTEST_SKIP() << "no private name service available";
    EXPECT_EQ(*result, "official.test");
}

TEST(SocketLayer, ReverseLookupOfAnAddressWithoutANameFailsWithAnEmptyText)
{
    auto result = RunWithHostsFile("127.0.0.5 official.test\n", [] {
        try {
            return ReverseLookup("127.0.0.8");
        } catch (const SocketError& error) {
            return std::to_string(error.code()) + " " + error.what();
        }
    });
    if (!result)
        GTEST_SKIP() << "no private name service available";
    EXPECT_EQ(*result, "11004 Socket Error # 11004\r\n");
}

TEST(SocketLayer, LivesWhileAnyNetworkComponentLives)
{
    const int before = SocketLayer::UsageCount();
    {
        TcpClient client;
        WhoisClient whois;
        EXPECT_EQ(SocketLayer::UsageCount(), before + 2);
        ASSERT_NE(SocketLayer::Instance(), nullptr);

        char name[256] = {};
        ASSERT_EQ(gethostname(name, sizeof name - 1), 0);
        EXPECT_EQ(SocketLayer::Instance()->LocalHostName(), name);
    }
    EXPECT_EQ(SocketLayer::UsageCount(), before);
    if (before == 0) {
        EXPECT_EQ(SocketLayer::Instance(), nullptr);
    }
}

} // namespace
} // namespace morvanta::test
