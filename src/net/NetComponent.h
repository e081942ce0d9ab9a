#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace morvanta {

enum class NetStatus {
    Resolving,
    Connecting,
    Connected,
    Disconnecting,
    Disconnected,
    StatusText,
};

enum class WorkMode { Read, Write };

// The text of a status, with the argument in place of its "%s".
[[nodiscard]] std::string StatusText(NetStatus status, std::string_view argument);

// The base of every network component: status and work notifications. While
// any component exists the socket layer exists.
class NetComponent {
public:
    using StatusEvent = std::function<void(NetComponent* sender, NetStatus status, const std::string& statusText)>;
    using WorkBeginEvent = std::function<void(NetComponent* sender, WorkMode workMode, int64_t workCountMax)>;
    using WorkEvent = std::function<void(NetComponent* sender, WorkMode workMode, int64_t workCount)>;
    using WorkEndEvent = std::function<void(NetComponent* sender, WorkMode workMode)>;

    NetComponent();
    virtual ~NetComponent();
    NetComponent(const NetComponent&) = delete;
    NetComponent& operator=(const NetComponent&) = delete;

    StatusEvent OnStatus;
    WorkBeginEvent OnWorkBegin;
    WorkEvent OnWork;
    WorkEndEvent OnWorkEnd;

    // Reports the status with its text from the status table.
    void DoStatus(NetStatus status, std::string_view argument = {});

    // Work is counted per mode. Begins nest: only the outermost begin resets
    // the count and fires OnWorkBegin, only the outermost end fires
    // OnWorkEnd, and progress is reported only between them.
    void BeginWork(WorkMode mode, int64_t countMax = 0);
    void DoWork(WorkMode mode, int64_t count);
    void EndWork(WorkMode mode);

    // When set, work is reported by that component instead of this one (an
    // I/O handler reports through its connection).
    NetComponent* WorkTarget = nullptr;

private:
    struct WorkState {
        int level = 0;
        int64_t count = 0;
        int64_t countMax = 0;
    };
    WorkState work_[2];
};

} // namespace morvanta
