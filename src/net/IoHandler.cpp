#include "net/IoHandler.h"

#include "base/Text.h"
#include "net/NetError.h"

#include <algorithm>
#include <chrono>
#include <climits>

namespace morvanta {

namespace {

using SteadyClock = std::chrono::steady_clock;

int64_t MillisecondsSince(SteadyClock::time_point start)
{
    return std::chrono::duration_cast<std::chrono::milliseconds>(SteadyClock::now() - start).count();
}

} // namespace

void IoHandler::Open()
{
    opened_ = true;
    peerClosed_ = false;
    inputBuffer_ = std::make_unique<ByteBuffer>();
    writeBuffer_.reset();
    conversationStart_ = SteadyClock::now();
    conversationTime_ = ReadTimeout > 0 ? int64_t { ReadTimeout } * ConversationTimeFactor : 0;
    creditedBytes_ = 0;
    sendCredit_ = false;
    timedOut_ = false;
}

void IoHandler::Close()
{
    opened_ = false;
    // The conversation is over: unread input would keep the handler
    // "connected", and collected output can no longer be sent.
    if (inputBuffer_)
        inputBuffer_->Clear();
    writeBuffer_.reset();
}

int IoHandler::EffectiveTimeout(int timeout) const
{
    if (timeout != TimeoutDefault)
        return timeout;
    return ReadTimeout > 0 ? ReadTimeout : TimeoutInfinite;
}

int64_t IoHandler::ConversationLimit() const
{
    return conversationTime_ + creditedBytes_ * 1000 / SendCreditBytesPerSecond;
}

int64_t IoHandler::ConversationTimeLeft() const
{
    if (conversationTime_ <= 0)
        return -1;
    return std::max<int64_t>(0, ConversationLimit() - MillisecondsSince(conversationStart_));
}

IoHandler::WaitBudget IoHandler::BudgetFor(int timeout, WaitKind kind)
{
    const int wait = EffectiveTimeout(timeout);
    const int64_t left = ConversationTimeLeft();
    if (left < 0 || (wait >= 0 && wait <= left))
        return { wait, false };
    const WaitBudget budget { static_cast<int>(std::min<int64_t>(left, INT_MAX)), true };
    // Also when data would be there at once: a peer that keeps sending must
    // not keep a conversation going past its time.
    if (budget.timeout == 0)
        RaiseTimeout(budget, kind);
    return budget;
}

void IoHandler::RaiseTimeout(const WaitBudget& budget, WaitKind kind)
{
    timedOut_ = true;
    if (budget.byDeadline)
        throw ConversationTimeoutError(Host, ConversationLimit());
    if (kind == WaitKind::Write)
        throw WriteTimeoutError(Host, budget.timeout);
    throw ReadTimeoutError();
}

void IoHandler::CountSent(size_t count)
{
    if (sendCredit_)
        creditedBytes_ += static_cast<int64_t>(count);
    DoWork(WorkMode::Write, static_cast<int64_t>(count));
}

std::string IoHandler::TakeInput(size_t count)
{
    if (!inputBuffer_)
        return {};
    std::string bytes = inputBuffer_->Extract(count);
    if (!bytes.empty())
        DoWork(WorkMode::Read, static_cast<int64_t>(bytes.size()));
    return bytes;
}

void IoHandler::SendBytes(std::string_view bytes)
{
    if (!writeBuffer_) {
        SendDirect(bytes);
        return;
    }
    writeBuffer_->Append(bytes);
    if (writeBufferThreshold_ > 0) {
        while (writeBuffer_ && writeBuffer_->Size() >= static_cast<size_t>(writeBufferThreshold_))
            FlushWriteBuffer(writeBufferThreshold_);
    }
}

void IoHandler::SendText(std::string_view text)
{
    if (!text.empty())
        SendBytes(text);
}

void IoHandler::SendLine(std::string_view text)
{
    std::string line;
    line.reserve(text.size() + 2);
    line.append(text);
    line.append(CRLF);
    SendText(line);
}

void IoHandler::SendLines(const std::vector<std::string>& lines)
{
    // Inside a write buffer that is already open the lines simply join it.
    const bool ownBuffer = !WriteBufferingActive();
    if (ownBuffer)
        OpenWriteBuffer();
    try {
        for (const std::string& line : lines)
            SendLine(line);
    } catch (...) {
        if (ownBuffer)
            CancelWriteBuffer();
        throw;
    }
    if (ownBuffer)
        CloseWriteBuffer();
}

std::string IoHandler::ReceiveUntilClosed()
{
    constexpr int PollSlice = 250;
    BeginWork(WorkMode::Read);
    try {
        std::string result;
        auto lastArrival = SteadyClock::now();
        while (IsConnected()) {
            int slice = PollSlice;
            if (ReadTimeout > 0) {
                int64_t left = ReadTimeout - MillisecondsSince(lastArrival);
                if (left <= 0)
                    RaiseTimeout({ ReadTimeout, false }, WaitKind::Read);
                slice = static_cast<int>(std::min<int64_t>(slice, left));
            }
            // Raises ConversationTimeoutError when the conversation's time
            // ends the wait.
            PollForData(slice);
            if (inputBuffer_ && !inputBuffer_->Empty()) {
                if (inputBuffer_->Size() > MaxUntilClosedSize - std::min(result.size(), MaxUntilClosedSize))
                    throw NetError("Answer too large: the server sent more than " + std::to_string(MaxUntilClosedSize)
                                   + " bytes without closing the connection.");
                result += TakeInput(inputBuffer_->Size());
                lastArrival = SteadyClock::now();
            }
        }
        EndWork(WorkMode::Read);
        return result;
    } catch (...) {
        EndWork(WorkMode::Read);
        throw;
    }
}

std::string IoHandler::ReceiveLine(std::string_view terminator, int timeout, int maxLength)
{
    if (terminator.empty())
        terminator = "\n";
    if (maxLength == -1)
        maxLength = MaxLineLength;
    LineWasSplit = false;
    LineTimedOut = false;
    const auto start = SteadyClock::now();
    const bool lineFeed = terminator == "\n";
    size_t searchFrom = 0;

    for (;;) {
        std::string_view held = inputBuffer_ ? inputBuffer_->View() : std::string_view();
        size_t position = held.find(terminator, std::min(searchFrom, held.size()));
        // A terminator of several bytes may have begun in the bytes already searched.
        searchFrom = held.size() >= terminator.size() ? held.size() - (terminator.size() - 1) : 0;

        if (maxLength > 0) {
            const size_t limit = static_cast<size_t>(maxLength);
            bool tooLong;
            if (position != std::string_view::npos) {
                size_t length = position;
                if (lineFeed && length > 0 && held[length - 1] == '\r')
                    --length;
                tooLong = length > limit;
            } else {
                // A CR just after the limit may still turn out to end the line.
                size_t allowed = limit + (lineFeed && held.size() > limit && held[limit] == '\r' ? 1 : 0);
                tooLong = held.size() > allowed;
            }
            if (tooLong) {
                if (MaxLineAction == LongLineAction::Raise)
                    throw LineTooLongError();
                LineWasSplit = true;
                return TakeInput(limit);
            }
        }

        if (position == std::string_view::npos) {
            CheckDisconnect(true, true);
            int count = FillInputBuffer(true, timeout, timeout == TimeoutDefault);
            LineTimedOut = count == -1 || (timeout >= 0 && MillisecondsSince(start) >= timeout);
            if (LineTimedOut)
                return {};
            continue;
        }

        std::string line = TakeInput(position + terminator.size());
        line.resize(position);
        if (lineFeed && !line.empty() && line.back() == '\r')
            line.pop_back();
        return line;
    }
}

std::string IoHandler::ReceiveNonEmptyLine(int attempts)
{
    for (int attempt = 0; attempt < attempts; ++attempt) {
        std::string line = Trim(ReceiveLine());
        if (!line.empty())
            return line;
    }
    return {};
}

void IoHandler::OpenWriteBuffer(int threshold)
{
    if (writeBuffer_)
        writeBuffer_->Clear();
    else
        writeBuffer_ = std::make_unique<ByteBuffer>();
    writeBufferThreshold_ = threshold;
}

void IoHandler::FlushWriteBuffer(int count)
{
    if (!writeBuffer_ || writeBuffer_->Empty())
        return;
    std::string bytes = count < 0 ? writeBuffer_->ExtractAll() : writeBuffer_->Extract(static_cast<size_t>(count));
    SendDirect(bytes);
}

void IoHandler::ClearWriteBuffer()
{
    if (writeBuffer_)
        writeBuffer_->Clear();
}

void IoHandler::CloseWriteBuffer()
{
    if (!writeBuffer_)
        return;
    try {
        FlushWriteBuffer(-1);
    } catch (...) {
        writeBuffer_.reset();
        throw;
    }
    writeBuffer_.reset();
}

void IoHandler::CancelWriteBuffer()
{
    ClearWriteBuffer();
    CloseWriteBuffer();
}

} // namespace morvanta
