#include "ConnectionFixture.h"

#include "net/NetError.h"

#include <chrono>

namespace morvanta::test {
namespace {

using namespace std::chrono_literals;

const std::string LongestLine(16384, 'x');

using IoHandlerReceiveLine = ConnectionTest;

TEST_F(IoHandlerReceiveLine, SplitsWhatThePeerSentIntoLines)
{
    struct Case {
        const char* name;
        std::string sent;
        std::vector<std::string> lines;
    };
    const Case cases[] = {
        { "CR LF and bare LF both end a line", "abc\r\nabc\n", { "abc", "abc" } },
        { "a bare CR is part of the line", "abc\rdef\n", { "abc\rdef" } },
        { "empty lines", "\r\n\n", { "", "" } },
        { "only the CR right before the LF is dropped", "a\r\r\n", { "a\r" } },
        { "line of exactly the limit, LF", LongestLine + "\n", { LongestLine } },
        { "line of exactly the limit, CR LF", LongestLine + "\r\n", { LongestLine } },
        { "bytes are taken as they are", std::string("\0\xff\x80 \t\n", 6), { std::string("\0\xff\x80 \t", 5) } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.CloseConnection();
        Connect(PeerScript().Send(c.sent).StaySilent());
        for (const std::string& expected : c.lines)
            EXPECT_EQ(Io().ReceiveLine(), expected);
    }
}

TEST_F(IoHandlerReceiveLine, FindsLinesWhoseBytesArriveInSeveralPieces)
{
    Connect(
        PeerScript().Send("ab").Pause(50ms).Send("c\r").Pause(50ms).Send("\nde").Pause(50ms).Send("f\n").StaySilent());
    EXPECT_EQ(Io().ReceiveLine(), "abc");
    EXPECT_EQ(Io().ReceiveLine(), "def");
}

TEST_F(IoHandlerReceiveLine, FindsATerminatorOfSeveralBytesSplitAcrossPieces)
{
    Connect(PeerScript().Send("one<").Pause(50ms).Send("END>two<END>").StaySilent());
    EXPECT_EQ(Io().ReceiveLine("<END>"), "one");
    EXPECT_EQ(Io().ReceiveLine("<END>"), "two");
}

TEST_F(IoHandlerReceiveLine, RaisesOnALineLongerThanTheLimit)
{
    struct Case {
        const char* name;
        std::string sent;
    };
    const Case cases[] = {
        { "one character too many, LF", LongestLine + "x\n" },
        { "one character too many, CR LF", LongestLine + "x\r\n" },
        { "no terminator yet, but already too long", LongestLine + "xy" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.CloseConnection();
        Connect(PeerScript().Send(c.sent).StaySilent());
        try {
            (void)Io().ReceiveLine();
            ADD_FAILURE() << "no exception";
        } catch (const LineTooLongError& error) {
            EXPECT_STREQ(error.what(), "Max line length exceeded.");
        }
    }
}

TEST_F(IoHandlerReceiveLine, SplitsALongLineAtTheLimitWhenAskedTo)
{
    Connect(PeerScript().Send(LongestLine + "yz\r\n").StaySilent());
    Io().MaxLineAction = LongLineAction::Split;

    EXPECT_EQ(Io().ReceiveLine(), LongestLine);
    EXPECT_TRUE(Io().LineWasSplit);
    EXPECT_EQ(Io().ReceiveLine(), "yz");
    EXPECT_FALSE(Io().LineWasSplit);
}

TEST_F(IoHandlerReceiveLine, TakesTheLimitFromItsArgument)
{
    Connect(PeerScript().Send("abcd\nabc\n" + LongestLine + LongestLine + "\n").StaySilent());

    EXPECT_THROW((void)Io().ReceiveLine("\n", TimeoutDefault, 3), LineTooLongError);
    Io().InputBuffer()->Remove(5);
    EXPECT_EQ(Io().ReceiveLine("\n", TimeoutDefault, 3), "abc");
    EXPECT_EQ(Io().ReceiveLine("\n", TimeoutDefault, 0), LongestLine + LongestLine);
}

TEST_F(IoHandlerReceiveLine, RaisesClosedGracefullyWhenThePeerClosesBeforeTheLineEnds)
{
    Connect(PeerScript().Send("first\nlast"));
    EXPECT_EQ(Io().ReceiveLine(), "first");
    try {
        (void)Io().ReceiveLine();
        ADD_FAILURE() << "no exception";
    } catch (const ConnectionClosedError& error) {
        EXPECT_STREQ(error.what(), "Connection Closed Gracefully.");
    }
}

TEST_F(IoHandlerReceiveLine, StillReturnsLinesThatArrivedBeforeThePeerClosed)
{
    Connect(PeerScript().Send("one\ntwo\n"));
    ASSERT_TRUE(server->WaitForFinished(1));

    EXPECT_EQ(Io().ReceiveLine(), "one");
    EXPECT_EQ(Io().ReceiveLine(), "two");
    EXPECT_THROW((void)Io().ReceiveLine(), ConnectionClosedError);
}

TEST_F(IoHandlerReceiveLine, RaisesReadTimeoutWhenTheServerStaysSilentLongerThanReadTimeout)
{
    client.ReadTimeout = 200;
    Connect(PeerScript().StaySilent());
    auto start = std::chrono::steady_clock::now();
    try {
        (void)Io().ReceiveLine();
        ADD_FAILURE() << "no exception";
    } catch (const ReadTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Read Timeout");
    }
    EXPECT_GE(std::chrono::steady_clock::now() - start, 200ms);
}

TEST_F(IoHandlerReceiveLine, ReturnsEmptyAndSetsLineTimedOutForAnExplicitTimeout)
{
    Connect(PeerScript().Send("partial").StaySilent());

    EXPECT_EQ(Io().ReceiveLine("\n", 100), "");
    EXPECT_TRUE(Io().LineTimedOut);
    EXPECT_EQ(Io().InputBuffer()->View(), "partial");
}

TEST_F(IoHandlerReceiveLine, FailsWithNotConnectedBeforeTheFirstOpening)
{
    client.SetIOHandler(std::make_unique<SocketIoHandler>());
    try {
        (void)Io().ReceiveLine();
        ADD_FAILURE() << "no exception";
    } catch (const NetError& error) {
        EXPECT_STREQ(error.what(), "Not Connected");
    }
}

TEST_F(IoHandlerReceiveLine, ATricklingPeerIsCutOffWhenTheConversationsTimeRunsOut)
{
    struct Case {
        const char* name;
        int timeout;
    };
    const Case cases[] = {
        { "time-out from ReadTimeout", TimeoutDefault },
        { "explicit time-out", 5000 },
    };
    client.ReadTimeout = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.CloseConnection();
        Connect(Trickling(PeerScript(), "x"));
        ExpectCutOffAfterTheConversationsTime([&] { (void)Io().ReceiveLine("\n", c.timeout); });
        EXPECT_TRUE(Io().TimedOut());
    }
}

using IoHandlerReceiveNonEmptyLine = ConnectionTest;

TEST_F(IoHandlerReceiveNonEmptyLine, SkipsBlankLinesAndTrims)
{
    Connect(PeerScript().Send("\r\n \t\r\n  250 ok \r\n").StaySilent());
    EXPECT_EQ(Io().ReceiveNonEmptyLine(5), "250 ok");
}

TEST_F(IoHandlerReceiveNonEmptyLine, GivesUpAfterTheAttempts)
{
    Connect(PeerScript().Send("\n\nlate\n").StaySilent());
    EXPECT_EQ(Io().ReceiveNonEmptyLine(2), "");
    EXPECT_EQ(Io().ReceiveLine(), "late");
}

using IoHandlerReceiveUntilClosed = ConnectionTest;

TEST_F(IoHandlerReceiveUntilClosed, ReturnsEverythingIncludingAFinalLineWithoutLineFeed)
{
    Connect(PeerScript().Send("first\r\n").Pause(300ms).Send("last"));
    EXPECT_EQ(Io().ReceiveUntilClosed(), "first\r\nlast");
}

TEST_F(IoHandlerReceiveUntilClosed, ReturnsAnEmptyTextWhenThePeerClosesWithoutSending)
{
    Connect(PeerScript());
    EXPECT_EQ(Io().ReceiveUntilClosed(), "");
}

TEST_F(IoHandlerReceiveUntilClosed, KeepsWhatEarlierReadsLeftInTheBuffer)
{
    Connect(PeerScript().Send("line\nrest"));
    EXPECT_EQ(Io().ReceiveLine(), "line");
    EXPECT_EQ(Io().ReceiveUntilClosed(), "rest");
}

TEST_F(IoHandlerReceiveUntilClosed, RaisesReadTimeoutWhenNothingArrivesForReadTimeout)
{
    client.ReadTimeout = 300;
    Connect(PeerScript().Send("partial answer").StaySilent());
    EXPECT_THROW((void)Io().ReceiveUntilClosed(), ReadTimeoutError);
}

TEST_F(IoHandlerReceiveUntilClosed, ReadTimeoutLimitsEachSilenceNotTheWholeAnswer)
{
    client.ReadTimeout = 400;
    PeerScript slowServer;
    for (int piece = 0; piece < 6; ++piece)
        slowServer.Send("piece\n").Pause(150ms);
    Connect(slowServer);
    EXPECT_EQ(Io().ReceiveUntilClosed().size(), 36u);
}

TEST_F(IoHandlerReceiveUntilClosed, ATricklingPeerIsCutOffWhenTheConversationsTimeRunsOut)
{
    client.ReadTimeout = 300;
    Connect(Trickling(PeerScript(), "x"));
    ExpectCutOffAfterTheConversationsTime([&] { (void)Io().ReceiveUntilClosed(); });
}

TEST_F(IoHandlerReceiveUntilClosed, WithoutReadTimeoutTheConversationHasNoTimeLimit)
{
    client.ReadTimeout = 0;
    PeerScript slowServer;
    for (int piece = 0; piece < 4; ++piece)
        slowServer.Send("piece\n").Pause(100ms);
    Connect(slowServer);
    EXPECT_EQ(Io().ConversationTimeLeft(), -1);
    EXPECT_EQ(Io().ReceiveUntilClosed().size(), 24u);
}

TEST_F(IoHandlerReceiveUntilClosed, RefusesAnAnswerLargerThanTheLimit)
{
    struct Case {
        const char* name;
        size_t size;
        bool accepted;
    };
    const Case cases[] = {
        { "exactly the limit", MaxUntilClosedSizeDefault, true },
        { "one byte more", MaxUntilClosedSizeDefault + 1, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        client.CloseConnection();
        Connect(PeerScript().Send(std::string(c.size, 'a')));
        if (c.accepted) {
            EXPECT_EQ(Io().ReceiveUntilClosed().size(), c.size);
            continue;
        }
        try {
            (void)Io().ReceiveUntilClosed();
            ADD_FAILURE() << "no exception";
        } catch (const NetError& error) {
            EXPECT_STREQ(error.what(),
                         "Answer too large: the server sent more than 16777216 bytes without closing the connection.");
        }
    }
}

TEST_F(IoHandlerReceiveUntilClosed, ReportsTheBytesReadAsWorkOfTheConnection)
{
    std::vector<std::string> events;
    client.OnWorkBegin = [&](NetComponent* sender, WorkMode mode, int64_t) {
        EXPECT_EQ(sender, &client);
        events.push_back("begin " + std::to_string(static_cast<int>(mode)));
    };
    client.OnWork = [&](NetComponent*, WorkMode, int64_t count) { events.push_back(std::to_string(count)); };
    client.OnWorkEnd
        = [&](NetComponent*, WorkMode mode) { events.push_back("end " + std::to_string(static_cast<int>(mode))); };
    Connect(PeerScript().Send("abc").Pause(300ms).Send("de"));

    (void)Io().ReceiveUntilClosed();

    EXPECT_EQ(events, (std::vector<std::string> { "begin 0", "3", "5", "end 0" }));
}

using IoHandlerSend = ConnectionTest;

TEST_F(IoHandlerSend, SendsLinesWithCrLfAndNothingForAnEmptyText)
{
    Connect(PeerScript().ReadUntilClosed());
    Io().SendText("");
    Io().SendLine("");
    Io().SendText("a b");
    Io().SendLine(" c");
    Io().SendLines({ "d", "" });
    client.CloseConnection();
    ASSERT_TRUE(server->WaitForFinished(1));
    EXPECT_EQ(server->Received(), "\r\na b c\r\nd\r\n\r\n");
}

TEST_F(IoHandlerSend, SendsAllLinesOfSendLinesInOneSendCall)
{
    int sendCalls = 0;
    client.OnWork = [&](NetComponent*, WorkMode mode, int64_t) { sendCalls += mode == WorkMode::Write; };
    Connect(PeerScript().ReadUntilClosed());

    client.BeginWork(WorkMode::Write);
    Io().SendLines({ "one", "two", "" });
    client.EndWork(WorkMode::Write);

    EXPECT_EQ(sendCalls, 1);
    EXPECT_FALSE(Io().WriteBufferingActive());
}

TEST_F(IoHandlerSend, WriteBufferHoldsBytesUntilClosedAndDropsThemWhenCancelled)
{
    Connect(PeerScript().ReadUntilClosed());

    Io().OpenWriteBuffer();
    Io().SendLine("dropped");
    Io().CancelWriteBuffer();
    Io().OpenWriteBuffer();
    Io().SendLine("kept");
    Io().SendLines({ "joined" });
    EXPECT_TRUE(Io().WriteBufferingActive());
    EXPECT_EQ(Io().WriteBuffer()->View(), "kept\r\njoined\r\n");
    Io().CloseWriteBuffer();
    client.CloseConnection();

    ASSERT_TRUE(server->WaitForFinished(1));
    EXPECT_EQ(server->Received(), "kept\r\njoined\r\n");
}

TEST_F(IoHandlerSend, WriteBufferWithAThresholdSendsEachTimeItIsReached)
{
    Connect(PeerScript().ReadUntilClosed());

    Io().OpenWriteBuffer(4);
    Io().SendText("abcdef");
    EXPECT_EQ(Io().WriteBuffer()->View(), "ef");
    Io().CloseWriteBuffer();
    client.CloseConnection();

    ASSERT_TRUE(server->WaitForFinished(1));
    EXPECT_EQ(server->Received(), "abcdef");
}

TEST_F(IoHandlerSend, ANewConversationStartsWithoutTheLastOnesWriteBuffer)
{
    Connect(PeerScript().ReadUntilClosed());
    Io().OpenWriteBuffer();
    Io().SendLine("left over");
    client.CloseConnection();

    client.OpenConnection();
    EXPECT_FALSE(Io().WriteBufferingActive());
    Io().SendLine("fresh");
    client.CloseConnection();

    ASSERT_TRUE(server->WaitForFinished(2));
    EXPECT_EQ(server->Received(1), "fresh\r\n");
}

TEST_F(IoHandlerSend, APeerThatStopsReadingFailsTheWriteWithinReadTimeout)
{
    client.ReadTimeout = 1000;
    Connect(PeerScript().StopReading(), 4096);
    ShrinkSendBuffer();
    const std::string data(16 * 1024 * 1024, 'd');
    const auto start = std::chrono::steady_clock::now();
    try {
        Io().SendText(data);
        ADD_FAILURE() << "no exception";
    } catch (const WriteTimeoutError& error) {
        EXPECT_STREQ(error.what(), "Write Timeout: the server 127.0.0.1 took no data for 1 second.");
    }
    const auto waited = std::chrono::steady_clock::now() - start;
    EXPECT_GE(waited, 1s);
    EXPECT_LT(waited, 4s);
    EXPECT_TRUE(Io().TimedOut());
    EXPECT_LT(server->Received().size(), data.size());
}

TEST_F(IoHandlerSend, ReadTimeoutLimitsEachStallNotTheWholeWrite)
{
    client.ReadTimeout = 300;
    PeerScript slowReader;
    for (int i = 0; i < 12; ++i)
        slowReader.ReadBytes(32768).Pause(100ms);
    Connect(slowReader.ReadUntilClosed(), 4096);
    ShrinkSendBuffer();
    const std::string data(12 * 32768, 'd');
    const auto start = std::chrono::steady_clock::now();
    Io().SendText(data);
    EXPECT_GT(std::chrono::steady_clock::now() - start, 600ms);
    client.CloseConnection();
    ASSERT_TRUE(server->WaitForFinished(1));
    EXPECT_EQ(server->Received(), data);
}

TEST_F(IoHandlerSend, FailsWithNotConnectedWithoutASocket)
{
    client.SetIOHandler(std::make_unique<SocketIoHandler>());
    try {
        Io().SendLine("x");
        ADD_FAILURE() << "no exception";
    } catch (const NotConnectedError& error) {
        EXPECT_STREQ(error.what(), "Not Connected");
    }
}

} // namespace
} // namespace morvanta::test
