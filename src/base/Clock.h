#pragma once

#include <chrono>

namespace morvanta {

// A moment as the local wall clock shows it.
struct LocalDateTime {
    int year = 1970;
    int month = 1; // 1..12
    int day = 1; // 1..31
    int hour = 0;
    int minute = 0;
    int second = 0;
    int weekday = 4; // 0 = Sunday
    int utcOffsetSeconds = 0; // local time minus UTC

    // Days since 1970-01-01 of the local date.
    [[nodiscard]] int DayNumber() const;
};

// Where the program takes the time from. The cache's 30-day rule and the
// Date header depend on it, so tests put a clock of their own in its place.
class Clock {
public:
    virtual ~Clock() = default;
    [[nodiscard]] virtual std::chrono::system_clock::time_point Now() const = 0;
    [[nodiscard]] virtual LocalDateTime ToLocal(std::chrono::system_clock::time_point moment) const = 0;

    [[nodiscard]] LocalDateTime LocalNow() const { return ToLocal(Now()); }
};

// The system clock and the time zone of the process.
class SystemClock : public Clock {
public:
    [[nodiscard]] std::chrono::system_clock::time_point Now() const override;
    [[nodiscard]] LocalDateTime ToLocal(std::chrono::system_clock::time_point moment) const override;

    static const SystemClock& Instance();
};

// A clock that stands still until moved, in a zone with a fixed offset.
class FixedClock : public Clock {
public:
    explicit FixedClock(std::chrono::system_clock::time_point now, int utcOffsetSeconds = 0)
        : now_(now)
        , offset_(utcOffsetSeconds)
    {
    }

    // The given local wall-clock time in a zone with the given offset.
    static FixedClock AtLocal(int year, int month, int day, int hour = 12, int minute = 0, int second = 0,
                              int utcOffsetSeconds = 0);

    [[nodiscard]] std::chrono::system_clock::time_point Now() const override { return now_; }
    [[nodiscard]] LocalDateTime ToLocal(std::chrono::system_clock::time_point moment) const override;

    void Set(std::chrono::system_clock::time_point now) { now_ = now; }
    void AdvanceSeconds(int seconds) { now_ += std::chrono::seconds(seconds); }

private:
    std::chrono::system_clock::time_point now_;
    int offset_;
};

} // namespace morvanta
