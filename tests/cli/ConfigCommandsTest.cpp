#include "app/Config.h"
#include "app/PasswordScramble.h"

#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>

using namespace morvanta;
using namespace morvanta::test;

namespace {

class CliConfigTest : public ::testing::Test {
protected:
    ProcessResult Cli(const std::vector<std::string>& arguments, const std::string& input = {})
    {
        return RunCli(arguments, input, { "XDG_CONFIG_HOME=" + user.Path() });
    }

    static std::map<std::string, std::string> Settings(const std::string& output)
    {
        std::map<std::string, std::string> settings;
        std::istringstream lines(output);
        std::string line;
        while (std::getline(lines, line)) {
            size_t equals = line.find('=');
            if (equals != std::string::npos)
                settings[line.substr(0, equals)] = line.substr(equals + 1);
        }
        return settings;
    }

    TempDir program;
    TempDir user;
};

TEST_F(CliConfigTest, PrintsEveryDefaultForAnEmptyFolder)
{
    ProcessResult result = Cli({ "--folder", program.Path(), "config" });
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    auto settings = Settings(result.out);
    EXPECT_EQ(settings["ProgramFolder"], program.Path());
    EXPECT_EQ(settings["MailOptions.HostAddress"], "mail");
    EXPECT_EQ(settings["MailOptions.Port"], "25");
    EXPECT_EQ(settings["MailOptions.UseMAPI"], "0");
    EXPECT_EQ(settings["MailOptions.SendmailProgram"], "/usr/sbin/sendmail");
    EXPECT_EQ(settings["MailOptions.MailAgent"], "Morvanta Mail");
    EXPECT_EQ(settings["MailOptions.EMailPassword"], "");
    EXPECT_EQ(settings["Options.WhoisPort"], "43");
    EXPECT_EQ(settings["Options.DefaultWhoisHost"], "whois.arin.net");
    EXPECT_EQ(settings["Options.NetworkTimeout"], "60");
    EXPECT_EQ(settings["Options.PreferAbuseMailbox"], "1");
    EXPECT_EQ(settings["User.DefaultFile"], "VirusReport.txt");
    EXPECT_EQ(settings["User.LastBulkReportPath"], "");
    EXPECT_EQ(settings["Template.DefaultSubject"], "Virus report");
}

TEST_F(CliConfigTest, PrintsEverySettingOnceInTheOrderOfTheSettingsTable)
{
    ProcessResult result = Cli({ "--folder", program.Path(), "config" });
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    std::vector<std::string> names;
    std::istringstream lines(result.out);
    std::string line;
    while (std::getline(lines, line))
        names.push_back(line.substr(0, line.find('=')));
    std::vector<std::string> expected { "ProgramFolder" };
    for (const SettingDef& setting : SettingDefs())
        expected.push_back(setting.PrintedName());
    EXPECT_EQ(names, expected);
}

TEST_F(CliConfigTest, PrintsTheFolderSettingsAndHidesThePassword)
{
    WriteFile(program / "Morvanta.ini", "[MailOptions]\r\nHostAddress=smtp.example.org\r\nUseMAPI=2\r\nEMailPassword="
                                            + EncryptString("pw", PasswordKey) + "\r\n[Options]\r\nWhoisPort=0x10\r\n");
    ProcessResult result = Cli({ "--folder", program.Path(), "config" });
    ASSERT_EQ(result.exitStatus, 0) << result.err;
    auto settings = Settings(result.out);
    EXPECT_EQ(settings["MailOptions.HostAddress"], "smtp.example.org");
    EXPECT_EQ(settings["MailOptions.UseMAPI"], "1");
    EXPECT_EQ(settings["MailOptions.EMailPassword"], "***");
    EXPECT_EQ(settings["Options.WhoisPort"], "16");
}

TEST_F(CliConfigTest, ScrambledPasswordLineIsReadBackAsThePassword)
{
    const std::string passwords[] = { "secret", " blank at the ends ", "\"quoted\"", "p=w" };
    for (const auto& password : passwords) {
        SCOPED_TRACE(password);
        ProcessResult result = Cli({ "scramble" }, password + "\n");
        ASSERT_EQ(result.exitStatus, 0) << result.err;
        ASSERT_EQ(result.out.rfind("EMailPassword=", 0), 0u);
        WriteFile(program / "Morvanta.ini", "[MailOptions]\r\n" + result.out);
        ScopedEnv xdg("XDG_CONFIG_HOME", user.Path().c_str());
        Config config(program.Path());
        EXPECT_EQ(config.Mail->EMailPassword, password);
    }
}

TEST_F(CliConfigTest, ScrambleRefusesAPasswordThatCannotBeStored)
{
    // Find a short password whose scrambled form holds a line break.
    std::string refused;
    for (int a = 32; a < 127 && refused.empty(); ++a) {
        for (int b = 32; b < 127; ++b) {
            std::string candidate { static_cast<char>(a), static_cast<char>(b) };
            if (EncryptString(candidate, PasswordKey).find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
                refused = candidate;
                break;
            }
        }
    }
    ASSERT_FALSE(refused.empty());
    ProcessResult result = Cli({ "scramble" }, refused + "\n");
    EXPECT_EQ(result.exitStatus, 1);
    EXPECT_EQ(result.out, "");
    EXPECT_NE(result.err.find("cannot be stored"), std::string::npos);
}

TEST_F(CliConfigTest, UsageErrorsExitWithTwo)
{
    EXPECT_EQ(Cli({}).exitStatus, 2);
    EXPECT_EQ(Cli({ "no-such-command" }).exitStatus, 2);
    EXPECT_EQ(Cli({ "--folder", program / "missing", "config" }).exitStatus, 2);
}

TEST_F(CliConfigTest, HelpAndVersionExitWithZero)
{
    ProcessResult help = Cli({ "--help" });
    EXPECT_EQ(help.exitStatus, 0);
    EXPECT_NE(help.out.find("config"), std::string::npos);
    EXPECT_NE(help.out.find("--folder"), std::string::npos);
    ProcessResult version = Cli({ "--version" });
    EXPECT_EQ(version.exitStatus, 0);
    EXPECT_EQ(version.out.rfind("morvanta-cli ", 0), 0u);
}

} // namespace
