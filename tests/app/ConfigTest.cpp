#include "app/Config.h"

#include "app/IniFile.h"
#include "app/PasswordScramble.h"
#include "app/Platform.h"
#include "base/Files.h"
#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>

#include <sys/stat.h>
#include <unistd.h>

using namespace morvanta;
using namespace morvanta::test;

namespace {

// A program folder and a user configuration folder of the test's own.
class ConfigTest : public ::testing::Test {
protected:
    std::string MainFile() const { return program / "Morvanta.ini"; }
    std::string UserFile() const { return user.Path() + "Morvanta/Morvanta.ini"; }

    void WriteUserFile(const std::string& content)
    {
        mkdir((user.Path() + "Morvanta").c_str(), 0755);
        WriteFile(UserFile(), content);
    }

    TempDir program;
    TempDir user;
    ScopedEnv xdg { "XDG_CONFIG_HOME", user.Path().c_str() };
};

TEST_F(ConfigTest, WithoutIniFilesEverySettingHasItsDefault)
{
    Config config(program.Path());
    const MailSettings& mail = *config.Mail;
    EXPECT_EQ(config.ProgramFolder, program.Path());
    EXPECT_EQ(mail.DefaultFile, "VirusReport.txt");
    EXPECT_EQ(config.LastBulkReportPath, "");
    EXPECT_EQ(mail.DefaultSubject, "Virus report");
    EXPECT_EQ(mail.CurrentSubject, "Virus report");
    EXPECT_EQ(mail.DefaultFromName, "Morvanta");
    EXPECT_EQ(mail.MailAgent, "Morvanta Mail");
    EXPECT_EQ(mail.HostAddress, "mail");
    EXPECT_EQ(mail.Port, 25);
    EXPECT_EQ(mail.UseTLS, 0);
    EXPECT_FALSE(mail.UseMAPI);
    EXPECT_EQ(mail.SendmailProgram, "/usr/sbin/sendmail");
    EXPECT_FALSE(mail.Authentication);
    EXPECT_FALSE(mail.ForwardUnProcessed);
    EXPECT_EQ(mail.EMailLoginID, "");
    EXPECT_EQ(mail.EMailPassword, "");
    EXPECT_EQ(mail.CC, "");
    EXPECT_EQ(mail.BCC, "");
    EXPECT_EQ(mail.DefaultFromEMailAddress, "");
    EXPECT_EQ(mail.CurrentFromEMailAddress, "");
    EXPECT_EQ(mail.ForwardUnProcessedEmail, "");
    EXPECT_EQ(config.DefaultWhoisName, "ARIN");
    EXPECT_EQ(config.DefaultWhoisHost, "whois.arin.net");
    EXPECT_EQ(config.PopMailHostList, "");
    EXPECT_FALSE(config.PauseBulkReporting);
    EXPECT_EQ(config.RipeWhoisHost, "whois.ripe.net");
    EXPECT_EQ(config.AfrinicWhoisHost, "whois.afrinic.net");
    EXPECT_EQ(config.ApnicWhoisHost, "whois.apnic.net");
    EXPECT_EQ(config.JpnicWhoisHost, "whois.nic.ad.jp");
    EXPECT_EQ(config.LacnicWhoisHost, "whois.lacnic.net");
    EXPECT_EQ(config.BrnicWhoisHost, "whois.registro.br");
    EXPECT_EQ(config.AbuseWhoisHost, "whois.abuse.net");
    EXPECT_EQ(config.WhoisPort, 43);
    EXPECT_EQ(config.NetworkTimeout, 60);
    EXPECT_TRUE(config.PreferAbuseMailbox);
    EXPECT_FALSE(PathExists(UserFile()));
}

// A value for every setting that differs from its default, written where
// the setting lives; the printed form is what the config command shows.
struct WrittenSetting {
    const SettingDef* setting;
    std::string stored;
    std::string printed;
};

std::vector<WrittenSetting> DistinctValues()
{
    std::vector<WrittenSetting> values;
    int n = 0;
    for (const SettingDef& setting : SettingDefs()) {
        ++n;
        const std::string text = std::string("value ") + setting.key + " " + std::to_string(n);
        switch (setting.kind) {
        case SettingKind::Text: values.push_back({ &setting, text, text }); break;
        case SettingKind::Password: values.push_back({ &setting, EncryptString("pw", PasswordKey), "***" }); break;
        case SettingKind::Number: {
            char hex[16];
            std::snprintf(hex, sizeof hex, "0x%x", 1000 + n);
            values.push_back({ &setting, hex, std::to_string(1000 + n) });
            break;
        }
        case SettingKind::Truth:
            if (setting.defaultNumber != 0)
                values.push_back({ &setting, "0", "0" });
            else
                values.push_back({ &setting, "2", "1" });
            break;
        }
    }
    return values;
}

TEST_F(ConfigTest, ReadsEveryKeyOfBothFiles)
{
    const std::vector<WrittenSetting> values = DistinctValues();
    std::string templateName;
    for (const auto& value : values)
        if (value.setting->file == SettingFile::User && std::string(value.setting->key) == "DefaultFile")
            templateName = value.stored;
    ASSERT_FALSE(templateName.empty());

    std::map<std::string, std::string> mainSections;
    std::map<std::string, std::string> userSections;
    for (const auto& value : values) {
        const SettingDef& setting = *value.setting;
        const std::string line = std::string(setting.key) + "=" + IniFile::FormatValue(value.stored) + "\r\n";
        switch (setting.file) {
        case SettingFile::Main: mainSections[setting.section] += line; break;
        case SettingFile::Template: mainSections[templateName] += line; break;
        case SettingFile::User: userSections[setting.section] += line; break;
        }
    }
    auto render = [](const std::map<std::string, std::string>& sections) {
        std::string text;
        for (const auto& [section, lines] : sections)
            text += "[" + section + "]\r\n" + lines;
        return text;
    };
    WriteFile(MainFile(), render(mainSections));
    WriteUserFile(render(userSections));

    Config config(program.Path());
    for (const auto& value : values) {
        SCOPED_TRACE(value.setting->PrintedName());
        EXPECT_EQ(value.setting->PrintedValue(config), value.printed);
        if (value.setting->kind == SettingKind::Password) {
            EXPECT_EQ(*value.setting->text(config), DecryptString(value.stored, PasswordKey));
        }
    }
    EXPECT_EQ(config.Mail->CurrentSubject, config.Mail->DefaultSubject);
    EXPECT_EQ(config.Mail->CurrentFromEMailAddress, config.Mail->DefaultFromEMailAddress);
    // The server names, the pages, the ports and the mailbox preference are among the keys read back.
    for (const char* key : { "RipeWhoisHost", "AfrinicWhoisHost", "ApnicWhoisHost", "JpnicWhoisHost", "LacnicWhoisHost",
                             "BrnicWhoisHost", "AbuseWhoisHost", "HomePage", "ReportServiceUrl", "WhoisPort",
                             "NetworkTimeout", "PreferAbuseMailbox", "Port", "UseTLS", "SendmailProgram" }) {
        SCOPED_TRACE(key);
        EXPECT_EQ(std::count_if(values.begin(), values.end(),
                                [&](const WrittenSetting& v) { return std::string(v.setting->key) == key; }),
                  1);
    }
}

TEST_F(ConfigTest, QuotedFieldsAndHexadecimalNumbersReadAsTheProfileReaderReadsThem)
{
    WriteFile(MainFile(), "[Options]\r\nPopMailHostList=pop.example.org,\"mx, two\"\r\nWhoisPort=0x10\r\n"
                          "NetworkTimeout=0\r\n");
    Config config(program.Path());
    EXPECT_EQ(config.PopMailHostList, "pop.example.org,\"mx, two\"");
    EXPECT_EQ(config.WhoisPort, 16);
    EXPECT_EQ(config.NetworkTimeout, 0);
}

TEST_F(ConfigTest, TruthValueWrittenAsAWordIsFalse)
{
    WriteFile(MainFile(), "[MailOptions]\r\nUseMAPI=yes\r\nAuthentication=0x0\r\n[Options]\r\nWhoisPort=port\r\n");
    Config config(program.Path());
    EXPECT_FALSE(config.Mail->UseMAPI);
    EXPECT_FALSE(config.Mail->Authentication);
    EXPECT_EQ(config.WhoisPort, 43);
}

TEST_F(ConfigTest, ChoosingAnotherTemplateReadsItsSubject)
{
    WriteFile(MainFile(), "[VirusReport.txt]\r\nDefaultSubject=Virus from your network\r\n"
                          "[SpamReport.txt]\r\nDefaultSubject=Spam from your network\r\n");
    Config config(program.Path());
    EXPECT_EQ(config.Mail->CurrentSubject, "Virus from your network");

    config.Mail->DefaultFile = "SpamReport.txt";
    config.LoadMainSettings();
    EXPECT_EQ(config.Mail->DefaultSubject, "Spam from your network");
    EXPECT_EQ(config.Mail->CurrentSubject, "Spam from your network");

    config.Mail->DefaultFile = "OtherReport.txt";
    config.LoadMainSettings();
    EXPECT_EQ(config.Mail->CurrentSubject, "Virus report");
}

TEST_F(ConfigTest, PasswordOfNBytesGivesNBytes)
{
    const std::string stored[] = { "", "x", std::string("\x01\x7f\xfe ab", 6) };
    for (const auto& value : stored) {
        WriteFile(MainFile(), "[MailOptions]\r\nEMailPassword=" + IniFile::FormatValue(value) + "\r\n");
        Config config(program.Path());
        EXPECT_EQ(config.Mail->EMailPassword.size(), value.size());
        EXPECT_EQ(config.Mail->EMailPassword, DecryptString(value, PasswordKey));
    }
}

TEST_F(ConfigTest, ChangedValuesReachTheUserFileAndTheMainFileIsUntouched)
{
    const std::string main = "[MailOptions]\r\nHostAddress=smtp\r\n";
    WriteFile(MainFile(), main);
    struct stat before { };
    stat(MainFile().c_str(), &before);
    {
        Config config(program.Path());
        config.Mail->DefaultFile = "SpamReport.txt";
        config.LastBulkReportPath = "/home/me/saved spam/";
        config.SaveUserSettings();
    }
    EXPECT_EQ(
        ReadFile(UserFile()),
        "[MailOptions]\r\nDefaultFile=SpamReport.txt\r\n\r\n[Defaults]\r\nLastBulkReportPath=/home/me/saved spam/\r\n");
    struct stat after { };
    stat(MainFile().c_str(), &after);
    EXPECT_EQ(ReadFile(MainFile()), main);
    EXPECT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
    EXPECT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);

    Config again(program.Path());
    EXPECT_EQ(again.Mail->DefaultFile, "SpamReport.txt");
    EXPECT_EQ(again.LastBulkReportPath, "/home/me/saved spam/");
}

TEST_F(ConfigTest, UnwritableUserFolderIsReportedWithThePath)
{
    // A file where the configuration folder should be.
    WriteFile(user.Path() + "Morvanta", "not a folder");
    Config config(program.Path());
    try {
        config.SaveUserSettings();
        FAIL() << "no error";
    } catch (const IniFileError& error) {
        EXPECT_EQ(std::string(error.what()), "Unable to write to " + UserFile());
    }
}

// Without any configuration folder (no XDG_CONFIG_HOME and a user unknown
// to the password database) the settings live below the program folder,
// and they are read back from where they were written.
TEST(ConfigFallbackTest, WithoutAHomeTheUserFileIsReadWhereItIsWritten)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to run as a user without a password entry";
    TempDir program;
    chmod(program.Path().c_str(), 0777);
    const std::string main = "[MailOptions]\r\nHostAddress=smtp\r\n";
    WriteFile(program / "Morvanta.ini", main);

    EXPECT_EXIT(
        {
            unsetenv("XDG_CONFIG_HOME");
            SetProgramFolder(program.Path());
            if (setgid(54321) != 0 || setuid(54321) != 0)
                _exit(10);
            if (Config::UserSettingsPath() != program.Path() + "Morvanta/Morvanta.ini")
                _exit(11);
            {
                Config config(program.Path());
                config.Mail->DefaultFile = "SpamReport.txt";
                config.LastBulkReportPath = "/bulk/";
                config.SaveUserSettings();
            }
            Config again(program.Path());
            if (again.Mail->DefaultFile != "SpamReport.txt" || again.LastBulkReportPath != "/bulk/")
                _exit(12);
            _exit(0);
        },
        ::testing::ExitedWithCode(0), "");
    EXPECT_EQ(ReadFile(program / "Morvanta.ini"), main);
    EXPECT_TRUE(PathExists(program / "Morvanta/Morvanta.ini"));
}

} // namespace
