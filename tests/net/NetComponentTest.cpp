#include "net/NetComponent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta::test {
namespace {

TEST(NetComponent, FormatsTheStatusTexts)
{
    struct Case {
        NetStatus status;
        const char* argument;
        const char* text;
    };
    const Case cases[] = {
        { NetStatus::Resolving, "mail", "Resolving hostname mail." },
        { NetStatus::Connecting, "192.0.2.1", "Connecting to 192.0.2.1." },
        { NetStatus::Connected, "mail", "Connected." },
        { NetStatus::Disconnecting, "", "Disconnecting." },
        { NetStatus::Disconnected, "", "Disconnected." },
        { NetStatus::StatusText, "Encoding text", "Encoding text" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StatusText(c.status, c.argument), c.text);
    }
}

class RecordingComponent : public NetComponent {
public:
    RecordingComponent()
    {
        OnWorkBegin = [this](NetComponent*, WorkMode mode, int64_t max) {
            events.push_back("begin " + std::to_string(static_cast<int>(mode)) + " max " + std::to_string(max));
        };
        OnWork = [this](NetComponent*, WorkMode mode, int64_t count) {
            events.push_back("work " + std::to_string(static_cast<int>(mode)) + " " + std::to_string(count));
        };
        OnWorkEnd = [this](NetComponent*, WorkMode mode) {
            events.push_back("end " + std::to_string(static_cast<int>(mode)));
        };
    }
    std::vector<std::string> events;
};

TEST(NetComponent, ReportsOnlyTheOutermostWorkAndCountsAcrossNestedLevels)
{
    RecordingComponent component;
    component.DoWork(WorkMode::Read, 5);
    component.BeginWork(WorkMode::Read, 100);
    component.DoWork(WorkMode::Read, 10);
    component.BeginWork(WorkMode::Read, 7);
    component.DoWork(WorkMode::Read, 20);
    component.EndWork(WorkMode::Read);
    component.DoWork(WorkMode::Write, 3);
    component.EndWork(WorkMode::Read);
    component.EndWork(WorkMode::Read);

    EXPECT_EQ(component.events, (std::vector<std::string> { "begin 0 max 100", "work 0 10", "work 0 30", "end 0" }));
}

TEST(NetComponent, WorkOfAComponentWithATargetIsReportedByTheTarget)
{
    RecordingComponent connection;
    RecordingComponent handler;
    handler.WorkTarget = &connection;
    handler.BeginWork(WorkMode::Write);
    handler.DoWork(WorkMode::Write, 4);
    handler.EndWork(WorkMode::Write);

    EXPECT_TRUE(handler.events.empty());
    EXPECT_EQ(connection.events, (std::vector<std::string> { "begin 1 max 0", "work 1 4", "end 1" }));
}

} // namespace
} // namespace morvanta::test
