#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>
#include <string>

using namespace morvanta;
using namespace morvanta::test;

namespace {

const std::string InstallScript = std::string(MORVANTA_SOURCE_DIR) + "/scripts/install.sh";
const std::string BuildDir = MORVANTA_BUILD_DIR;

ProcessResult Install(const std::string& prefix, const std::vector<std::string>& environment = {})
{
    std::vector<std::string> command { "/bin/sh", InstallScript, BuildDir };
    if (!prefix.empty())
        command.push_back(prefix);
    return RunProcess(command, {}, environment);
}

std::string RealPath(const std::string& path)
{
    char resolved[PATH_MAX];
    return ::realpath(path.c_str(), resolved) ? std::string(resolved) : std::string();
}

bool IsExecutableFile(const std::string& path)
{
    struct stat status { };
    return ::stat(path.c_str(), &status) == 0 && S_ISREG(status.st_mode) && ::access(path.c_str(), X_OK) == 0;
}

class InstallTest : public ::testing::Test {
protected:
    TempDir root;
};

TEST_F(InstallTest, PutsEveryFileInItsPlaceAndTheInstalledToolRuns)
{
    const std::string prefix = root / "prefix";
    ProcessResult result = Install(prefix);
    ASSERT_EQ(result.exitStatus, 0) << result.err;

    const std::string programFolder = prefix + "/lib/morvanta/";
    for (const char* name : { "morvanta", "morvanta-cli" }) {
        SCOPED_TRACE(name);
        EXPECT_TRUE(IsExecutableFile(programFolder + name));
        EXPECT_EQ(RealPath(prefix + "/bin/" + name), RealPath(programFolder + name));
    }
    for (const char* name : { "Morvanta.html", "VirusReport.txt", "SpamReport.txt", "WhoisList.txt" }) {
        SCOPED_TRACE(name);
        EXPECT_EQ(ReadFile(programFolder + name), ReadFile(std::string(MORVANTA_SOURCE_DIR) + "/data/program/" + name));
    }
    EXPECT_EQ(ReadFile(prefix + "/share/icons/hicolor/scalable/apps/morvanta.svg"),
              ReadFile(std::string(MORVANTA_SOURCE_DIR) + "/data/desktop/morvanta.svg"));

    const std::string entry = ReadFile(prefix + "/share/applications/morvanta.desktop");
    EXPECT_NE(entry.find("\nExec=\"" + prefix + "/bin/morvanta\"\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nTryExec=" + prefix + "/bin/morvanta\n"), std::string::npos) << entry;
    EXPECT_NE(entry.find("\nIcon=morvanta\n"), std::string::npos) << entry;
    ProcessResult validation
        = RunProcess({ "/usr/bin/desktop-file-validate", prefix + "/share/applications/morvanta.desktop" });
    EXPECT_EQ(validation.exitStatus, 0);
    EXPECT_EQ(validation.out + validation.err, "");

    ProcessResult version = RunProcess({ prefix + "/bin/morvanta-cli", "--version" });
    EXPECT_EQ(version.exitStatus, 0) << version.err;
    EXPECT_EQ(version.out, "morvanta-cli " MORVANTA_VERSION "\n");

    // Started through its link, the tool works in the installed folder.
    ProcessResult config
        = RunProcess({ prefix + "/bin/morvanta-cli", "config" }, {}, { "XDG_CONFIG_HOME=" + root.Path() + "config" });
    EXPECT_EQ(config.exitStatus, 0) << config.err;
    EXPECT_NE(config.out.find("ProgramFolder=" + RealPath(programFolder) + "/\n"), std::string::npos) << config.out;
}

TEST_F(InstallTest, InstallingAgainKeepsWhatTheUserChangedAndRenewsWhatIsOurs)
{
    const std::string prefix = root / "prefix";
    ASSERT_EQ(Install(prefix).exitStatus, 0);
    const std::string programFolder = prefix + "/lib/morvanta/";
    WriteFile(programFolder + "VirusReport.txt", "My own words about %IP%.\r\n");
    WriteFile(programFolder + "Morvanta.ini", "[MailOptions]\r\nHostAddress=smtp.example.net\r\n");
    WriteFile(programFolder + "MVMail.log", "To: abuse@example.net\r\n");
    WriteFile(programFolder + "Morvanta.html", "an old help");
    ::unlink((programFolder + "SpamReport.txt").c_str());

    ProcessResult again = Install(prefix);
    ASSERT_EQ(again.exitStatus, 0) << again.err;

    EXPECT_EQ(ReadFile(programFolder + "VirusReport.txt"), "My own words about %IP%.\r\n");
    EXPECT_EQ(ReadFile(programFolder + "Morvanta.ini"), "[MailOptions]\r\nHostAddress=smtp.example.net\r\n");
    EXPECT_EQ(ReadFile(programFolder + "MVMail.log"), "To: abuse@example.net\r\n");
    EXPECT_EQ(ReadFile(programFolder + "Morvanta.html"),
              ReadFile(std::string(MORVANTA_SOURCE_DIR) + "/data/program/Morvanta.html"));
    EXPECT_EQ(ReadFile(programFolder + "SpamReport.txt"),
              ReadFile(std::string(MORVANTA_SOURCE_DIR) + "/data/program/SpamReport.txt"));
}

TEST_F(InstallTest, WithoutAPrefixInstallsBelowTheHomeFoldersLocal)
{
    const std::string home = root / "home";
    ProcessResult result = Install("", { "HOME=" + home, "PREFIX=" });
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    EXPECT_TRUE(IsExecutableFile(home + "/.local/lib/morvanta/morvanta"));
    EXPECT_TRUE(PathExists(home + "/.local/share/applications/morvanta.desktop"));
}

TEST_F(InstallTest, APrefixWithSpacesGivesAQuotedLauncher)
{
    const std::string prefix = root / "my programs & more";
    ASSERT_EQ(Install(prefix).exitStatus, 0);
    const std::string entry = ReadFile(prefix + "/share/applications/morvanta.desktop");
    EXPECT_NE(entry.find("\nExec=\"" + prefix + "/bin/morvanta\"\n"), std::string::npos) << entry;
    EXPECT_EQ(
        RunProcess({ "/usr/bin/desktop-file-validate", prefix + "/share/applications/morvanta.desktop" }).exitStatus,
        0);
}

TEST_F(InstallTest, RefusesAPrefixTheLauncherCannotQuote)
{
    const std::string prefix = root / "say \"hi\"";
    ProcessResult result = Install(prefix);
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_NE(result.err.find("PREFIX must not contain"), std::string::npos) << result.err;
    EXPECT_FALSE(PathExists(prefix));
}

} // namespace
