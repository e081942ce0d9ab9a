#include "analysis/AddressKind.h"

#include <gtest/gtest.h>

#include <string>

namespace morvanta {
namespace {

// The first and last address of every block of the registry, and the
// addresses just outside it.
TEST(ClassifyIPv4, KnowsEveryBlockOfTheIanaRegistryToItsEdges)
{
    struct Block {
        const char* name;
        std::string first;
        std::string last;
        std::string before; // empty: the block starts at 0.0.0.0
        std::string after; // empty: the block ends at 255.255.255.255, or the next block follows
    };
    const Block blocks[] = {
        { "this network 0/8", "0.0.0.0", "0.255.255.255", "", "1.0.0.0" },
        { "private 10/8", "10.0.0.0", "10.255.255.255", "9.255.255.255", "11.0.0.0" },
        { "shared address space 100.64/10", "100.64.0.0", "100.127.255.255", "100.63.255.255", "100.128.0.0" },
        { "loopback 127/8", "127.0.0.0", "127.255.255.255", "126.255.255.255", "128.0.0.0" },
        { "link local 169.254/16", "169.254.0.0", "169.254.255.255", "169.253.255.255", "169.255.0.0" },
        { "private 172.16/12", "172.16.0.0", "172.31.255.255", "172.15.255.255", "172.32.0.0" },
        { "IETF protocol assignments 192.0.0/24", "192.0.0.0", "192.0.0.255", "191.255.255.255", "192.0.1.0" },
        { "TEST-NET-1 192.0.2/24", "192.0.2.0", "192.0.2.255", "192.0.1.255", "192.0.3.0" },
        { "AS112-v4 192.31.196/24", "192.31.196.0", "192.31.196.255", "192.31.195.255", "192.31.197.0" },
        { "AMT 192.52.193/24", "192.52.193.0", "192.52.193.255", "192.52.192.255", "192.52.194.0" },
        { "6to4 relay anycast 192.88.99/24", "192.88.99.0", "192.88.99.255", "192.88.98.255", "192.88.100.0" },
        { "private 192.168/16", "192.168.0.0", "192.168.255.255", "192.167.255.255", "192.169.0.0" },
        { "AS112 direct delegation 192.175.48/24", "192.175.48.0", "192.175.48.255", "192.175.47.255", "192.175.49.0" },
        { "benchmarking 198.18/15", "198.18.0.0", "198.19.255.255", "198.17.255.255", "198.20.0.0" },
        { "TEST-NET-2 198.51.100/24", "198.51.100.0", "198.51.100.255", "198.51.99.255", "198.51.101.0" },
        { "TEST-NET-3 203.0.113/24", "203.0.113.0", "203.0.113.255", "203.0.112.255", "203.0.114.0" },
        { "multicast 224/4", "224.0.0.0", "239.255.255.255", "223.255.255.255", "" },
        { "reserved 240/4 with the limited broadcast address", "240.0.0.0", "255.255.255.255", "", "" },
    };
    for (const Block& block : blocks) {
        SCOPED_TRACE(block.name);
        EXPECT_EQ(ClassifyIPv4(block.first), AddressKind::Reserved);
        EXPECT_EQ(ClassifyIPv4(block.last), AddressKind::Reserved);
        if (!block.before.empty()) {
            EXPECT_EQ(ClassifyIPv4(block.before), AddressKind::Global) << block.before;
        }
        if (!block.after.empty()) {
            EXPECT_EQ(ClassifyIPv4(block.after), AddressKind::Global) << block.after;
        }
    }
}

TEST(ClassifyIPv4, ReadsOnlyFourDecimalNumbersUpTo255)
{
    struct Case {
        const char* name;
        std::string text;
        AddressKind expected;
    };
    const Case cases[] = {
        { "a public address", "62.4.17.201", AddressKind::Global },
        { "leading zeros are decimal", "010.000.000.001", AddressKind::Reserved },
        { "a long run of zeros before a digit", "0000000000000000000000062.4.17.201", AddressKind::Global },
        { "a part above 255", "999.1.1.1", AddressKind::NotAnAddress },
        { "256 in the last part", "62.4.17.256", AddressKind::NotAnAddress },
        { "a run of digits that would overflow", "62.4.17.99999999999999999999999", AddressKind::NotAnAddress },
        { "three parts", "62.4.17", AddressKind::NotAnAddress },
        { "five parts", "62.4.17.201.1", AddressKind::NotAnAddress },
        { "a trailing dot", "62.4.17.201.", AddressKind::NotAnAddress },
        { "an empty part", "62..17.201", AddressKind::NotAnAddress },
        { "a blank before it", " 62.4.17.201", AddressKind::NotAnAddress },
        { "a sign", "+62.4.17.201", AddressKind::NotAnAddress },
        { "a host name", "relay.example.net", AddressKind::NotAnAddress },
        { "empty", "", AddressKind::NotAnAddress },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ClassifyIPv4(c.text), c.expected);
    }
}

} // namespace
} // namespace morvanta
