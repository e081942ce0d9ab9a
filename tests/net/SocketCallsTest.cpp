#include "net/SocketCalls.h"

#include <gtest/gtest.h>

#include "net/NetError.h"

#include <chrono>
#include <optional>
#include <string>
#include <thread>

#include <cerrno>
#include <netdb.h>
#include <sys/socket.h>
#include <unistd.h>

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

// A connected pair whose first end has a send buffer as small as the system
// allows, filled until it takes nothing more.
class FullSocket : public ::testing::Test {
protected:
    void SetUp() override
    {
        ASSERT_EQ(socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends), 0);
        int size = 1;
        setsockopt(ends[0], SOL_SOCKET, SO_SNDBUF, &size, sizeof size);
        setsockopt(ends[1], SOL_SOCKET, SO_RCVBUF, &size, sizeof size);
        const std::string chunk(4096, 'x');
        while (sockets::Send(ends[0], chunk.data(), chunk.size(), 0))
            filled += chunk.size();
    }

    void TearDown() override
    {
        close(ends[0]);
        close(ends[1]);
    }

    int ends[2] = { -1, -1 };
    size_t filled = 0;
};

TEST_F(FullSocket, SendGivesUpAfterTheTimeOutInsteadOfBlocking)
{
    ASSERT_GT(filled, 0u);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(sockets::Send(ends[0], "y", 1, 300), std::nullopt);
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, std::chrono::milliseconds(290));
    EXPECT_LT(waited, std::chrono::seconds(3));
    EXPECT_FALSE(sockets::WaitWritable(ends[0], 0));
}

TEST_F(FullSocket, SendWaitsForRoomAndTakesWhatFits)
{
    std::thread reader([this] {
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        std::string buffer(filled, '\0');
        size_t read = 0;
        while (read < filled) {
            ssize_t count = recv(ends[1], buffer.data(), buffer.size(), 0);
            if (count <= 0)
                break;
            read += static_cast<size_t>(count);
        }
    });
    std::optional<size_t> sent = sockets::Send(ends[0], "y", 1, 5000);
    reader.join();
    EXPECT_EQ(sent, 1u);
}

TEST_F(FullSocket, SendToAClosedPeerRaisesTheResetError)
{
    close(ends[1]);
    ends[1] = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    try {
        (void)sockets::Send(ends[0], "y", 1, 1000);
        ADD_FAILURE() << "no exception";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), 10054);
    }
}

} // namespace
} // namespace morvanta::test
