#include "net/SocketCalls.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <netdb.h>

namespace morvanta::test {
namespace {

TEST(SocketCalls, MapsPlatformErrorsOntoWinsockCodes)
{
    struct Case {
        const char* name;
        int error;
        int code;
    };
    const Case cases[] = {
        { "ECONNREFUSED", ECONNREFUSED, 10061 },
        { "ETIMEDOUT", ETIMEDOUT, 10060 },
        { "ECONNRESET", ECONNRESET, 10054 },
        { "EPIPE", EPIPE, 10054 },
        { "ENETUNREACH", ENETUNREACH, 10051 },
        { "EHOSTUNREACH", EHOSTUNREACH, 10065 },
        { "EADDRINUSE", EADDRINUSE, 10048 },
        { "EACCES", EACCES, 10013 },
        { "EPERM", EPERM, 10013 },
        { "ENOTSOCK", ENOTSOCK, 10038 },
        { "EMFILE", EMFILE, 10024 },
        { "EIO (no counterpart)", EIO, EIO },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sockets::WinsockCodeFromErrno(c.error), c.code);
    }
}

TEST(SocketCalls, MapsResolverErrorsOntoWinsockCodes)
{
    using sockets::LookupKind;
    struct Case {
        const char* name;
        int result;
        LookupKind kind;
        int code;
    };
    const Case cases[] = {
        { "unknown name", EAI_NONAME, LookupKind::Forward, 11001 },
        { "address without a name", EAI_NONAME, LookupKind::Reverse, 11004 },
        { "try again", EAI_AGAIN, LookupKind::Forward, 11002 },
        { "no recovery", EAI_FAIL, LookupKind::Forward, 11003 },
        { "no IPv4 address", EAI_ADDRFAMILY, LookupKind::Forward, 11004 },
        { "system error", EAI_SYSTEM, LookupKind::Forward, 10024 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(sockets::WinsockCodeFromResolver(c.result, EMFILE, c.kind), c.code);
    }
}

} // namespace
} // namespace morvanta::test
