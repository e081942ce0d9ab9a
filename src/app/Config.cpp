#include "app/Config.h"

#include "app/IniFile.h"
#include "app/PasswordScramble.h"
#include "app/Platform.h"
#include "base/Files.h"

namespace morvanta {

Config::Config(std::string programFolder)
    : Mail(std::make_unique<MailSettings>())
    , ProgramFolder(IncludeTrailingPathDelimiter(std::move(programFolder)))
{
    LoadUserSettings();
    LoadMainSettings();
}

Config::Config()
    : Config(GetProgramFolder())
{
}

Config::~Config() = default;

std::string Config::UserSettingsFolder()
{
    std::string folder = GetSpecialFolder(CSIDL_APPDATA);
    if (folder.empty())
        folder = IncludeTrailingPathDelimiter(GetWindowsDir());
    return folder + "Morvanta/";
}

std::string Config::UserSettingsPath()
{
    return UserSettingsFolder() + IniFileName;
}

namespace {

SettingDef Text(SettingFile file, const char* section, const char* key, const char* defaultText,
                std::string* (*field)(Config&))
{
    return { file, section, key, SettingKind::Text, defaultText, 0, field, nullptr, nullptr };
}

SettingDef Number(const char* section, const char* key, int defaultNumber, int* (*field)(Config&))
{
    return { SettingFile::Main, section, key, SettingKind::Number, "", defaultNumber, nullptr, field, nullptr };
}

SettingDef Truth(const char* section, const char* key, bool defaultValue, bool* (*field)(Config&))
{
    return { SettingFile::Main, section, key, SettingKind::Truth, "", defaultValue ? 1 : 0, nullptr, nullptr, field };
}

SettingDef Truth(const char* section, const char* key, bool* (*field)(Config&))
{
    return Truth(section, key, false, field);
}

constexpr SettingFile Main = SettingFile::Main;

} // namespace

const std::vector<SettingDef>& SettingDefs()
{
    static const std::vector<SettingDef> settings = {
        Text(Main, "MailOptions", "HostAddress", defaults::HostAddress, [](Config& c) { return &c.Mail->HostAddress; }),
        Number("MailOptions", "Port", defaults::SmtpPort, [](Config& c) { return &c.Mail->Port; }),
        Number("MailOptions", "UseTLS", defaults::UseTLS, [](Config& c) { return &c.Mail->UseTLS; }),
        Truth("MailOptions", "UseMAPI", [](Config& c) { return &c.Mail->UseMAPI; }),
        Text(Main, "MailOptions", "SendmailProgram", defaults::SendmailProgram,
             [](Config& c) { return &c.Mail->SendmailProgram; }),
        Truth("MailOptions", "Authentication", [](Config& c) { return &c.Mail->Authentication; }),
        Text(Main, "MailOptions", "EMailLoginID", "", [](Config& c) { return &c.Mail->EMailLoginID; }),
        { Main, "MailOptions", "EMailPassword", SettingKind::Password, "", 0,
          [](Config& c) { return &c.Mail->EMailPassword; }, nullptr, nullptr },
        Text(Main, "MailOptions", "CC", "", [](Config& c) { return &c.Mail->CC; }),
        Text(Main, "MailOptions", "BCC", "", [](Config& c) { return &c.Mail->BCC; }),
        Text(Main, "MailOptions", "DefaultFromEMailAddress", "",
             [](Config& c) { return &c.Mail->DefaultFromEMailAddress; }),
        Text(Main, "MailOptions", "DefaultFromName", defaults::DefaultFromName,
             [](Config& c) { return &c.Mail->DefaultFromName; }),
        Truth("MailOptions", "ForwardUnProcessed", [](Config& c) { return &c.Mail->ForwardUnProcessed; }),
        Text(Main, "MailOptions", "ForwardUnProcessedEmail", "",
             [](Config& c) { return &c.Mail->ForwardUnProcessedEmail; }),
        Text(Main, "MailOptions", "MailAgent", defaults::MailAgent, [](Config& c) { return &c.Mail->MailAgent; }),
        Text(SettingFile::Template, "", "DefaultSubject", defaults::DefaultSubject,
             [](Config& c) { return &c.Mail->DefaultSubject; }),
        Text(Main, "Options", "DefaultWhoisName", defaults::DefaultWhoisName,
             [](Config& c) { return &c.DefaultWhoisName; }),
        Text(Main, "Options", "DefaultWhoisHost", defaults::DefaultWhoisHost,
             [](Config& c) { return &c.DefaultWhoisHost; }),
        Text(Main, "Options", "PopMailHostList", "", [](Config& c) { return &c.PopMailHostList; }),
        Truth("Options", "PauseBulkReporting", [](Config& c) { return &c.PauseBulkReporting; }),
        Text(Main, "Options", "RipeWhoisHost", defaults::RipeWhoisHost, [](Config& c) { return &c.RipeWhoisHost; }),
        Text(Main, "Options", "AfrinicWhoisHost", defaults::AfrinicWhoisHost,
             [](Config& c) { return &c.AfrinicWhoisHost; }),
        Text(Main, "Options", "ApnicWhoisHost", defaults::ApnicWhoisHost, [](Config& c) { return &c.ApnicWhoisHost; }),
        Text(Main, "Options", "JpnicWhoisHost", defaults::JpnicWhoisHost, [](Config& c) { return &c.JpnicWhoisHost; }),
        Text(Main, "Options", "LacnicWhoisHost", defaults::LacnicWhoisHost,
             [](Config& c) { return &c.LacnicWhoisHost; }),
        Text(Main, "Options", "BrnicWhoisHost", defaults::BrnicWhoisHost, [](Config& c) { return &c.BrnicWhoisHost; }),
        Text(Main, "Options", "AbuseWhoisHost", defaults::AbuseWhoisHost, [](Config& c) { return &c.AbuseWhoisHost; }),
        Number("Options", "WhoisPort", defaults::WhoisPort, [](Config& c) { return &c.WhoisPort; }),
        Number("Options", "NetworkTimeout", defaults::NetworkTimeout, [](Config& c) { return &c.NetworkTimeout; }),
        Truth("Options", "PreferAbuseMailbox", defaults::PreferAbuseMailbox,
              [](Config& c) { return &c.PreferAbuseMailbox; }),
        Text(Main, "Options", "HomePage", defaults::HomePage, [](Config& c) { return &c.HomePage; }),
        Text(Main, "Options", "ReportServiceUrl", defaults::ReportServiceUrl,
             [](Config& c) { return &c.ReportServiceUrl; }),
        Text(SettingFile::User, "MailOptions", "DefaultFile", defaults::DefaultFile,
             [](Config& c) { return &c.Mail->DefaultFile; }),
        Text(SettingFile::User, "Defaults", "LastBulkReportPath", "", [](Config& c) { return &c.LastBulkReportPath; }),
    };
    return settings;
}

std::string SettingDef::PrintedName() const
{
    switch (file) {
    case SettingFile::Main: return std::string(section) + "." + key;
    case SettingFile::User: return std::string("User.") + key;
    case SettingFile::Template: return std::string("Template.") + key;
    }
    return key;
}

std::string SettingDef::PrintedValue(Config& config) const
{
    switch (kind) {
    case SettingKind::Text: return *text(config);
    case SettingKind::Password: return text(config)->empty() ? "" : "***";
    case SettingKind::Number: return std::to_string(*number(config));
    case SettingKind::Truth: return *truth(config) ? "1" : "0";
    }
    return {};
}

namespace {

void ReadSetting(const IniFile& ini, const std::string& section, const SettingDef& setting, Config& config)
{
    switch (setting.kind) {
    case SettingKind::Text: *setting.text(config) = ini.ReadString(section, setting.key, setting.defaultText); break;
    case SettingKind::Password:
        *setting.text(config) = DecryptString(ini.ReadString(section, setting.key, setting.defaultText), PasswordKey);
        break;
    case SettingKind::Number:
        *setting.number(config) = ini.ReadInteger(section, setting.key, setting.defaultNumber);
        break;
    case SettingKind::Truth:
        *setting.truth(config) = ini.ReadBool(section, setting.key, setting.defaultNumber != 0);
        break;
    }
}

} // namespace

void Config::LoadUserSettings()
{
    IniFile ini(UserSettingsPath());
    for (const SettingDef& setting : SettingDefs())
        if (setting.file == SettingFile::User)
            ReadSetting(ini, setting.section, setting, *this);
}

void Config::LoadMainSettings()
{
    IniFile ini(MainSettingsPath());
    // The template's section is named by DefaultFile, which the user file gave.
    const std::string templateSection = Mail->DefaultFile;
    for (const SettingDef& setting : SettingDefs()) {
        if (setting.file == SettingFile::Main)
            ReadSetting(ini, setting.section, setting, *this);
        else if (setting.file == SettingFile::Template)
            ReadSetting(ini, templateSection, setting, *this);
    }
    Mail->CurrentSubject = Mail->DefaultSubject;
    Mail->CurrentFromEMailAddress = Mail->DefaultFromEMailAddress;
}

void Config::SaveUserSettings()
{
    std::string folder = UserSettingsFolder();
    ForceDirectories(folder);
    IniFile ini(folder + IniFileName);
    for (const SettingDef& setting : SettingDefs())
        if (setting.file == SettingFile::User)
            ini.WriteString(setting.section, setting.key, *setting.text(*this));
}

} // namespace morvanta
