#include "net/IdComponent.h"

#include "net/IdStack.h"

namespace morvanta {

std::string StatusText(TIdStatus status, std::string_view argument)
{
    static constexpr const char* Texts[] = {
        "Resolving hostname %s.", "Connecting to %s.", "Connected.", "Disconnecting.", "Disconnected.",
        "%s", "%s", "%s", "%s",
    };
    if (status < hsResolving || status > ftpAborted)
        return std::string(argument);
    std::string text = Texts[status];
    size_t place = text.find("%s");
    if (place != std::string::npos)
        text.replace(place, 2, argument);
    return text;
}

TIdComponent::TIdComponent()
{
    TIdStack::IncUsage();
}

TIdComponent::~TIdComponent()
{
    TIdStack::DecUsage();
}

void TIdComponent::DoStatus(TIdStatus status, std::string_view argument)
{
    if (OnStatus)
        OnStatus(this, status, StatusText(status, argument));
}

void TIdComponent::BeginWork(TWorkMode mode, int64_t countMax)
{
    if (WorkTarget) {
        WorkTarget->BeginWork(mode, countMax);
        return;
    }
    WorkState& state = work_[mode];
    if (state.level++ == 0) {
        state.count = 0;
        state.countMax = countMax;
        if (OnWorkBegin)
            OnWorkBegin(this, mode, countMax);
    }
}

void TIdComponent::DoWork(TWorkMode mode, int64_t count)
{
    if (WorkTarget) {
        WorkTarget->DoWork(mode, count);
        return;
    }
    WorkState& state = work_[mode];
    if (state.level > 0) {
        state.count += count;
        if (OnWork)
            OnWork(this, mode, state.count);
    }
}

void TIdComponent::EndWork(TWorkMode mode)
{
    if (WorkTarget) {
        WorkTarget->EndWork(mode);
        return;
    }
    WorkState& state = work_[mode];
    if (state.level == 1 && OnWorkEnd)
        OnWorkEnd(this, mode);
    if (state.level > 0)
        --state.level;
}

} // namespace morvanta
