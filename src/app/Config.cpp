#include "app/Config.h"

#include "app/IniFile.h"
#include "app/PasswordScramble.h"
#include "app/Platform.h"

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

void Config::LoadUserSettings()
{
    IniFile ini(UserSettingsPath());
    Mail->DefaultFile = ini.ReadString("MailOptions", "DefaultFile", defaults::DefaultFile);
    LastBulkReportPath = ini.ReadString("Defaults", "LastBulkReportPath", "");
}

void Config::LoadMainSettings()
{
    IniFile ini(MainSettingsPath());
    MailSettings& mail = *Mail;

    mail.HostAddress = ini.ReadString("MailOptions", "HostAddress", defaults::HostAddress);
    mail.UseMAPI = ini.ReadBool("MailOptions", "UseMAPI", false);
    mail.Authentication = ini.ReadBool("MailOptions", "Authentication", false);
    mail.EMailLoginID = ini.ReadString("MailOptions", "EMailLoginID", "");
    mail.EMailPassword = DecryptString(ini.ReadString("MailOptions", "EMailPassword", ""), PasswordKey);
    mail.CC = ini.ReadString("MailOptions", "CC", "");
    mail.BCC = ini.ReadString("MailOptions", "BCC", "");
    mail.DefaultFromEMailAddress = ini.ReadString("MailOptions", "DefaultFromEMailAddress", "");
    mail.DefaultFromName = ini.ReadString("MailOptions", "DefaultFromName", defaults::DefaultFromName);

    mail.DefaultSubject = ini.ReadString(mail.DefaultFile, "DefaultSubject", defaults::DefaultSubject);

    mail.ForwardUnProcessed = ini.ReadBool("MailOptions", "ForwardUnProcessed", false);
    mail.ForwardUnProcessedEmail = ini.ReadString("MailOptions", "ForwardUnProcessedEmail", "");
    mail.MailAgent = ini.ReadString("MailOptions", "MailAgent", defaults::MailAgent);
    mail.Port = ini.ReadInteger("MailOptions", "Port", defaults::SmtpPort);
    mail.UseTLS = ini.ReadInteger("MailOptions", "UseTLS", defaults::UseTLS);

    DefaultWhoisName = ini.ReadString("Options", "DefaultWhoisName", defaults::DefaultWhoisName);
    DefaultWhoisHost = ini.ReadString("Options", "DefaultWhoisHost", defaults::DefaultWhoisHost);
    PopMailHostList = ini.ReadString("Options", "PopMailHostList", "");
    PauseBulkReporting = ini.ReadBool("Options", "PauseBulkReporting", false);

    RipeWhoisHost = ini.ReadString("Options", "RipeWhoisHost", defaults::RipeWhoisHost);
    AfrinicWhoisHost = ini.ReadString("Options", "AfrinicWhoisHost", defaults::AfrinicWhoisHost);
    ApnicWhoisHost = ini.ReadString("Options", "ApnicWhoisHost", defaults::ApnicWhoisHost);
    JpnicWhoisHost = ini.ReadString("Options", "JpnicWhoisHost", defaults::JpnicWhoisHost);
    LacnicWhoisHost = ini.ReadString("Options", "LacnicWhoisHost", defaults::LacnicWhoisHost);
    BrnicWhoisHost = ini.ReadString("Options", "BrnicWhoisHost", defaults::BrnicWhoisHost);
    AbuseWhoisHost = ini.ReadString("Options", "AbuseWhoisHost", defaults::AbuseWhoisHost);
    WhoisPort = ini.ReadInteger("Options", "WhoisPort", defaults::WhoisPort);
    NetworkTimeout = ini.ReadInteger("Options", "NetworkTimeout", defaults::NetworkTimeout);
    HomePage = ini.ReadString("Options", "HomePage", defaults::HomePage);
    ReportServiceUrl = ini.ReadString("Options", "ReportServiceUrl", defaults::ReportServiceUrl);

    mail.CurrentSubject = mail.DefaultSubject;
    mail.CurrentFromEMailAddress = mail.DefaultFromEMailAddress;
}

void Config::SaveUserSettings()
{
    std::string folder = UserSettingsFolder();
    ForceDirectories(folder);
    IniFile ini(folder + IniFileName);
    ini.WriteString("MailOptions", "DefaultFile", Mail->DefaultFile);
    ini.WriteString("Defaults", "LastBulkReportPath", LastBulkReportPath);
}

} // namespace morvanta
