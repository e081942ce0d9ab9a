#include "net/NetComponent.h"

#include "net/SocketLayer.h"

namespace morvanta {

std::string StatusText(NetStatus status, std::string_view argument)
{
    static constexpr const char* Texts[] = {
        "Resolving hostname %s.", "Connecting to %s.", "Connected.", "Disconnecting.", "Disconnected.", "%s",
    };
    const auto index = static_cast<std::size_t>(status);
    if (index >= std::size(Texts))
        return std::string(argument);
    std::string text = Texts[index];
    size_t place = text.find("%s");
    if (place != std::string::npos)
        text.replace(place, 2, argument);
    return text;
}

NetComponent::NetComponent()
{
    SocketLayer::IncUsage();
}

NetComponent::~NetComponent()
{
    SocketLayer::DecUsage();
}

void NetComponent::DoStatus(NetStatus status, std::string_view argument)
{
    if (OnStatus)
        OnStatus(this, status, StatusText(status, argument));
}

void NetComponent::BeginWork(WorkMode mode, int64_t countMax)
{
    if (WorkTarget) {
        WorkTarget->BeginWork(mode, countMax);
        return;
    }
    WorkState& state = work_[static_cast<int>(mode)];
    if (state.level++ == 0) {
        state.count = 0;
        state.countMax = countMax;
        if (OnWorkBegin)
            OnWorkBegin(this, mode, countMax);
    }
}

void NetComponent::DoWork(WorkMode mode, int64_t count)
{
    if (WorkTarget) {
        WorkTarget->DoWork(mode, count);
        return;
    }
    WorkState& state = work_[static_cast<int>(mode)];
    if (state.level > 0) {
        state.count += count;
        if (OnWork)
            OnWork(this, mode, state.count);
    }
}

void NetComponent::EndWork(WorkMode mode)
{
    if (WorkTarget) {
        WorkTarget->EndWork(mode);
        return;
    }
    WorkState& state = work_[static_cast<int>(mode)];
    if (state.level == 1 && OnWorkEnd)
        OnWorkEnd(this, mode);
    if (state.level > 0)
        --state.level;
}

} // namespace morvanta
