#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <string_view>

namespace morvanta {

enum TIdStatus : int {
    hsResolving = 0,
    hsConnecting = 1,
    hsConnected = 2,
    hsDisconnecting = 3,
    hsDisconnected = 4,
    hsStatusText = 5,
    ftpTransfer = 6,
    ftpReady = 7,
    ftpAborted = 8,
};

enum TWorkMode : int { wmRead = 0, wmWrite = 1 };

// The text of a status, with the argument in place of its "%s".
[[nodiscard]] std::string StatusText(TIdStatus status, std::string_view argument);

// The base of every network component: status and work notifications. While
// any component exists the socket layer exists.
class TIdComponent {
public:
    using TIdStatusEvent
        = std::function<void(TIdComponent* ASender, TIdStatus AStatus, const std::string& AStatusText)>;
    using TWorkBeginEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode, int64_t AWorkCountMax)>;
    using TWorkEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode, int64_t AWorkCount)>;
    using TWorkEndEvent = std::function<void(TIdComponent* ASender, TWorkMode AWorkMode)>;

    TIdComponent();
    virtual ~TIdComponent();
    TIdComponent(const TIdComponent&) = delete;
    TIdComponent& operator=(const TIdComponent&) = delete;

    TIdStatusEvent OnStatus;
    TWorkBeginEvent OnWorkBegin;
    TWorkEvent OnWork;
    TWorkEndEvent OnWorkEnd;

    // Reports the status with its text from the status table.
    void DoStatus(TIdStatus status, std::string_view argument = {});

    // Work is counted per mode. Begins nest: only the outermost begin resets
    // the count and fires OnWorkBegin, only the outermost end fires
    // OnWorkEnd, and progress is reported only between them.
    void BeginWork(TWorkMode mode, int64_t countMax = 0);
    void DoWork(TWorkMode mode, int64_t count);
    void EndWork(TWorkMode mode);

    // When set, work is reported by that component instead of this one (an
    // I/O handler reports through its connection).
    TIdComponent* WorkTarget = nullptr;

private:
    struct WorkState {
        int level = 0;
        int64_t count = 0;
        int64_t countMax = 0;
    };
    WorkState work_[2];
};

} // namespace morvanta
