#include "net/NetError.h"

#include <gtest/gtest.h>

namespace morvanta::test {
namespace {

TEST(SocketError, CarriesTheCodeAndItsText)
{
    struct Case {
        int code;
        const char* message;
    };
    const Case cases[] = {
        { 10004, "Socket Error # 10004\r\nInterrupted system call." },
        { 10013, "Socket Error # 10013\r\nAccess denied." },
        { 10060, "Socket Error # 10060\r\nConnection timed out." },
        { 10061, "Socket Error # 10061\r\nConnection refused." },
        { 10066, "Socket Error # 10066\r\nDirectory not empty" },
        { 11001, "Socket Error # 11001\r\nHost not found." },
        { 11004, "Socket Error # 11004\r\n" },
        { 10010, "Socket Error # 10010\r\n" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        SocketError error(c.code);
        EXPECT_EQ(error.code(), c.code);
        EXPECT_STREQ(error.what(), c.message);
    }
}

TEST(SocketError, Code10038IsRaisedAsNotASocket)
{
    try {
        RaiseSocketError(10038);
        ADD_FAILURE() << "no exception";
    } catch (const NotASocketError& error) {
        EXPECT_EQ(error.code(), 10038);
        EXPECT_STREQ(error.what(), "Socket Error # 10038\r\nSocket operation on non-socket.");
    }
    EXPECT_THROW(RaiseSocketError(10061), SocketError);
}

} // namespace
} // namespace morvanta::test
