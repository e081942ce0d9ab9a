#include "net/NetError.h"

#include <gtest/gtest.h>

#include <functional>

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

TEST(NetTimeoutErrors, SayWhatTimedOutAndShareOneBase)
{
    struct Case {
        const char* name;
        std::function<void()> raise;
        const char* message;
    };
    const Case cases[] = {
        { "read", [] { throw ReadTimeoutError(); }, "Read Timeout" },
        { "write", [] { throw WriteTimeoutError("mail.example.net", 60000); },
          "Write Timeout: the server mail.example.net took no data for 60 seconds." },
        { "write, a second", [] { throw WriteTimeoutError("127.0.0.1", 1000); },
          "Write Timeout: the server 127.0.0.1 took no data for 1 second." },
        { "conversation", [] { throw ConversationTimeoutError("whois.example.net", 2500); },
          "Conversation Timeout: the server whois.example.net did not finish within 2.5 seconds." },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        try {
            c.raise();
            ADD_FAILURE() << "no exception";
        } catch (const NetTimeoutError& error) {
            EXPECT_STREQ(error.what(), c.message);
        }
    }
}

TEST(ReplyTooLongError, NamesTheServerAndTheLimits)
{
    ReplyTooLongError error("mail.example.net", 1000, 1048576);
    EXPECT_STREQ(error.what(),
                 "The server mail.example.net sent a reply of more than 1000 lines or 1048576 bytes; the connection "
                 "was closed.");
}

TEST(DurationText, WritesWholeAndFractionalSeconds)
{
    struct Case {
        int64_t milliseconds;
        const char* text;
    };
    const Case cases[] = {
        { 0, "0 seconds" },      { 200, "0.2 seconds" }, { 1000, "1 second" },       { 1001, "1.001 seconds" },
        { 1500, "1.5 seconds" }, { 2000, "2 seconds" },  { 60050, "60.05 seconds" }, { 600000, "600 seconds" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.milliseconds);
        EXPECT_EQ(DurationText(c.milliseconds), c.text);
    }
}

} // namespace
} // namespace morvanta::test
