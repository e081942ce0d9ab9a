#pragma once

#include "net/ByteBuffer.h"
#include "net/NetComponent.h"
#include "net/SocketHandle.h"

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

enum class LongLineAction { Raise, Split };

// Time-outs in ms, with two special values.
inline constexpr int TimeoutDefault = -1; // the handler's ReadTimeout
inline constexpr int TimeoutInfinite = -2; // no limit

inline constexpr int MaxLineLengthDefault = 16384;
inline constexpr int RecvBufferSizeDefault = 32768;
// No WHOIS answer comes near this; a peer that sends more is refused rather
// than allowed to exhaust memory.
inline constexpr size_t MaxUntilClosedSizeDefault = 16 * 1024 * 1024;

// A conversation, from its opening to its close, may last this many times
// ReadTimeout, however steadily the peer keeps it alive (no limit while
// ReadTimeout is 0).
inline constexpr int ConversationTimeFactor = 10;
// While data is sent with the send credit on, every this many bytes the peer
// takes give the conversation one more second: any line faster than that
// gets a large message through, a peer that takes a byte now and then does
// not hold the conversation open.
inline constexpr int64_t SendCreditBytesPerSecond = 1024;

// Reading and writing for one connection: the input buffer, line reading
// and write buffering. The transport underneath is a subclass's business.
class IoHandler : public NetComponent {
public:
    IoHandler() = default;

    // The peer, copied in by the connection before it opens the handler.
    std::string Host;
    int Port = 0;
    IpVersion IPVersion = IpVersion::V4;
    int ReadTimeout = 0; // ms; 0 waits without limit

    int RecvBufferSize = RecvBufferSizeDefault;
    int MaxLineLength = MaxLineLengthDefault;
    LongLineAction MaxLineAction = LongLineAction::Raise;
    size_t MaxUntilClosedSize = MaxUntilClosedSizeDefault;

    // Results of the last ReceiveLine.
    bool LineWasSplit = false;
    bool LineTimedOut = false;

    // Milliseconds left of the conversation's time, or -1 without a limit.
    [[nodiscard]] int64_t ConversationTimeLeft() const;
    // See SendCreditBytesPerSecond; off at every opening.
    void SetSendCredit(bool on) { sendCredit_ = on; }
    // A wait of this conversation ran out: the peer is out of step, and a
    // good-bye would only wait for it again.
    [[nodiscard]] bool TimedOut() const { return timedOut_; }

    [[nodiscard]] bool Opened() const { return opened_; }
    [[nodiscard]] bool PeerClosed() const { return peerClosed_; }
    // Received bytes not yet read; nullptr before the first opening.
    [[nodiscard]] ByteBuffer* InputBuffer() const { return inputBuffer_.get(); }
    // Present only while write buffering is open.
    [[nodiscard]] ByteBuffer* WriteBuffer() const { return writeBuffer_.get(); }
    [[nodiscard]] bool WriteBufferingActive() const { return writeBuffer_ != nullptr; }

    // Receives what the transport has, waiting up to the time-out (ms;
    // TimeoutDefault for ReadTimeout). Returns the count received, 0 when
    // the connection is found closed, -1 on a time-out without raising.
    // A wait that the end of the conversation's time cuts short raises
    // ConversationTimeoutError in any case.
    virtual int FillInputBuffer(bool raiseIfDisconnected = true, int timeout = TimeoutDefault,
                                bool raiseOnTimeout = true)
        = 0;
    // True while the connection is open or received bytes are unread.
    virtual bool IsConnected() = 0;
    // Notices a closed peer; raises ConnectionClosedError, when asked, if
    // the connection is closed and the input buffer cannot serve a read.
    virtual void CheckDisconnect(bool raiseIfDisconnected = true, bool ignoreBuffer = false) = 0;
    // Waits up to the time-out for data, without raising on a time-out or a
    // closed connection (but on the end of the conversation's time).
    virtual void PollForData(int timeout) = 0;
    virtual void Close();
    virtual void SendBytes(std::string_view bytes);
    virtual void SendDirect(std::string_view bytes) = 0;
    virtual void Open();
    virtual bool WaitReadable(int timeout) = 0;

    virtual void SendText(std::string_view text);
    // The text and CR LF, in one send.
    virtual void SendLine(std::string_view text);
    // Every line and CR LF, collected and sent together.
    virtual void SendLines(const std::vector<std::string>& lines);
    // Everything until the peer closes. Fails with ReadTimeoutError when
    // ReadTimeout is set and nothing arrives for that long, with
    // ConversationTimeoutError when the conversation's time runs out, and
    // with an NetError when more than MaxUntilClosedSize bytes arrive.
    virtual std::string ReceiveUntilClosed();
    // One line without its terminator (an empty terminator means LF; an LF
    // drops a CR before it). A timeout of 0 or more returns an empty text
    // with LineTimedOut set; the default one raises ReadTimeoutError. A
    // maxLength of -1 means MaxLineLength, 0 no limit. Every wait, also one
    // with a given timeout, raises ConversationTimeoutError when the
    // conversation's time runs out.
    virtual std::string ReceiveLine(std::string_view terminator = "\n", int timeout = TimeoutDefault,
                                    int maxLength = -1);
    // The first line that is not empty after trimming, trimmed; an empty text
    // after that many attempts.
    virtual std::string ReceiveNonEmptyLine(int attempts);

    virtual void CancelWriteBuffer();
    virtual void ClearWriteBuffer();
    // Sends what was collected and ends collecting, also when sending fails.
    virtual void CloseWriteBuffer();
    // Sends the first count collected bytes (all for -1).
    virtual void FlushWriteBuffer(int count = -1);
    // From now on bytes are collected; with a positive threshold, every time
    // that many are collected they are sent.
    virtual void OpenWriteBuffer(int threshold = -1);

protected:
    // How long a wait may last now: the time-out, cut short by the end of
    // the conversation's time (byDeadline then tells so).
    struct WaitBudget {
        int timeout; // ms; negative waits without limit
        bool byDeadline;
    };
    enum class WaitKind { Read, Write };

    // Takes bytes from the front of the input buffer, reporting them as
    // work read.
    std::string TakeInput(size_t count);
    // The configured time-out for a time-out argument of TimeoutDefault.
    [[nodiscard]] int EffectiveTimeout(int timeout) const;
    // The wait allowed for a time-out argument (TimeoutDefault for
    // ReadTimeout). Raises ConversationTimeoutError when the conversation's
    // time is over and the time-out asks for a wait.
    [[nodiscard]] WaitBudget BudgetFor(int timeout, WaitKind kind);
    // Raises the error of a wait that ran out: ConversationTimeoutError when
    // the conversation's time ended it, else ReadTimeoutError or
    // WriteTimeoutError.
    [[noreturn]] void RaiseTimeout(const WaitBudget& budget, WaitKind kind);
    // Reports bytes the transport took as work written, and earns their
    // send credit.
    void CountSent(size_t count);

    bool opened_ = false;
    bool peerClosed_ = false;
    std::unique_ptr<ByteBuffer> inputBuffer_;
    std::unique_ptr<ByteBuffer> writeBuffer_;
    int writeBufferThreshold_ = -1;

private:
    [[nodiscard]] int64_t ConversationLimit() const;

    std::chrono::steady_clock::time_point conversationStart_ {};
    int64_t conversationTime_ = 0; // ms; 0: no limit
    int64_t creditedBytes_ = 0;
    bool sendCredit_ = false;
    bool timedOut_ = false;
};

} // namespace morvanta
