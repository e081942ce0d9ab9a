#include "net/IdComponent.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta::test {
namespace {

TEST(IdComponent, FormatsTheStatusTexts)
{
    struct Case {
        TIdStatus status;
        const char* argument;
        const char* text;
    };
    const Case cases[] = {
        { hsResolving, "mail", "Resolving hostname mail." },
        { hsConnecting, "192.0.2.1", "Connecting to 192.0.2.1." },
        { hsConnected, "mail", "Connected." },
        { hsDisconnecting, "", "Disconnecting." },
        { hsDisconnected, "", "Disconnected." },
        { hsStatusText, "Encoding text", "Encoding text" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        EXPECT_EQ(StatusText(c.status, c.argument), c.text);
    }
}

class RecordingComponent : public TIdComponent {
public:
    RecordingComponent()
    {
        OnWorkBegin = [this](TIdComponent*, TWorkMode mode, int64_t max) {
            events.push_back("begin " + std::to_string(mode) + " max " + std::to_string(max));
        };
        OnWork = [this](TIdComponent*, TWorkMode mode, int64_t count) {
            events.push_back("work " + std::to_string(mode) + " " + std::to_string(count));
        };
        OnWorkEnd = [this](TIdComponent*, TWorkMode mode) { events.push_back("end " + std::to_string(mode)); };
    }
    std::vector<std::string> events;
};

TEST(IdComponent, ReportsOnlyTheOutermostWorkAndCountsAcrossNestedLevels)
{
    RecordingComponent component;
    component.DoWork(wmRead, 5);
    component.BeginWork(wmRead, 100);
    component.DoWork(wmRead, 10);
    component.BeginWork(wmRead, 7);
    component.DoWork(wmRead, 20);
    component.EndWork(wmRead);
    component.DoWork(wmWrite, 3);
    component.EndWork(wmRead);
    component.EndWork(wmRead);

    EXPECT_EQ(component.events,
              (std::vector<std::string> { "begin 0 max 100", "work 0 10", "work 0 30", "end 0" }));
}

TEST(IdComponent, WorkOfAComponentWithATargetIsReportedByTheTarget)
{
    RecordingComponent connection;
    RecordingComponent handler;
    handler.WorkTarget = &connection;
    handler.BeginWork(wmWrite);
    handler.DoWork(wmWrite, 4);
    handler.EndWork(wmWrite);

    EXPECT_TRUE(handler.events.empty());
    EXPECT_EQ(connection.events, (std::vector<std::string> { "begin 1 max 0", "work 1 4", "end 1" }));
}

} // namespace
} // namespace morvanta::test
