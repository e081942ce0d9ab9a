#include "app/Platform.h"
#include "base/Files.h"

#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <pwd.h>
#include <semaphore.h>
#include <unistd.h>

using namespace morvanta;
using namespace morvanta::test;

namespace {

TEST(PlatformTest, ApplicationDataIsTheXdgConfigFolderWithATrailingSlash)
{
    ScopedEnv xdg("XDG_CONFIG_HOME", "/tmp/some/config");
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), "/tmp/some/config/");
}

TEST(PlatformTest, RelativeOrEmptyXdgConfigFolderFallsBackToTheHome)
{
    passwd* entry = getpwuid(getuid());
    ASSERT_NE(entry, nullptr);
    std::string expected = IncludeTrailingPathDelimiter(entry->pw_dir) + ".config/";
    for (const char* value : { "relative/config", "" }) {
        ScopedEnv xdg("XDG_CONFIG_HOME", value);
        EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), expected);
    }
    ScopedEnv unset("XDG_CONFIG_HOME", nullptr);
    EXPECT_EQ(GetSpecialFolder(CSIDL_APPDATA), expected);
}

TEST(PlatformTest, ProgramFolderCanBePointedElsewhere)
{
    TempDir dir;
    std::string original = GetProgramFolder();
    SetProgramFolder(dir.Path() + "sub/../");
    EXPECT_EQ(GetProgramFolder(), dir.Path());
    EXPECT_EQ(GetWindowsDir(), dir.Path());
    SetProgramFolder("");
    EXPECT_EQ(GetProgramFolder(), original);
}

TEST(PlatformTest, InstanceMutexesCanBeCreatedByEveryInstance)
{
    CreateInstanceMutex("MorvantaTestMutex");
    CreateInstanceMutex("MorvantaTestMutex");
    EXPECT_TRUE(PathExists("/dev/shm/sem.MorvantaTestMutex"));
    EXPECT_TRUE(PathExists("/dev/shm/sem.Global\\MorvantaTestMutex"));
    sem_unlink("/MorvantaTestMutex");
    sem_unlink("/Global\\MorvantaTestMutex");
}

} // namespace
