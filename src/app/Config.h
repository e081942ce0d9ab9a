#pragma once

#include <memory>
#include <string>
#include <vector>

namespace morvanta {

class IniFile;

// The mail options.
class MailSettings {
public:
    bool ForwardUnProcessed = false;
    bool UseMAPI = false;
    bool Authentication = false;
    std::string ForwardUnProcessedEmail;
    std::string DefaultSubject;
    std::string DefaultFromEMailAddress;
    std::string DefaultFromName;
    std::string DefaultFile;
    std::string EMailLoginID;
    std::string EMailPassword; // in clear
    std::string CC;
    std::string BCC;
    std::string CurrentFromEMailAddress;
    std::string CurrentSubject;
    std::string MailAgent;
    std::string HostAddress;
    int Port = 0;
    int UseTLS = 0; // 0 plain, 1 STARTTLS, 2 TLS from the first byte
    std::string SendmailProgram; // run as "-t -i" when UseMAPI is set
};

inline constexpr const char* IniFileName = "Morvanta.ini";

namespace defaults {
inline constexpr const char* DefaultFile = "VirusReport.txt";
inline constexpr const char* DefaultSubject = "Virus report";
inline constexpr const char* DefaultFromName = "Morvanta";
inline constexpr const char* MailAgent = "Morvanta Mail";
inline constexpr const char* HostAddress = "mail";
inline constexpr int SmtpPort = 25;
inline constexpr int UseTLS = 0;
inline constexpr const char* SendmailProgram = "/usr/sbin/sendmail";
inline constexpr const char* DefaultWhoisName = "ARIN";
inline constexpr const char* DefaultWhoisHost = "whois.arin.net";
inline constexpr const char* RipeWhoisHost = "whois.ripe.net";
inline constexpr const char* AfrinicWhoisHost = "whois.afrinic.net";
inline constexpr const char* ApnicWhoisHost = "whois.apnic.net";
inline constexpr const char* JpnicWhoisHost = "whois.nic.ad.jp";
inline constexpr const char* LacnicWhoisHost = "whois.lacnic.net";
inline constexpr const char* BrnicWhoisHost = "whois.registro.br";
inline constexpr const char* AbuseWhoisHost = "whois.abuse.net";
inline constexpr int WhoisPort = 43;
inline constexpr int NetworkTimeout = 60;
inline constexpr bool PreferAbuseMailbox = true;
inline constexpr const char* HomePage = "https://morvanta.example/";
inline constexpr const char* ReportServiceUrl = "https://www.spamcop.net/sc";
} // namespace defaults

// The program's settings: the main Morvanta.ini of the program folder, which
// is only read, and the per-user Morvanta.ini, which holds the two values the
// program changes and is written by SaveUserSettings.
class Config {
public:
    // Reads both files. The program folder is where the main file lives.
    explicit Config(std::string programFolder);
    Config();
    ~Config();
    Config(const Config&) = delete;
    Config& operator=(const Config&) = delete;

    void LoadUserSettings();
    void LoadMainSettings();

    // Writes DefaultFile and LastBulkReportPath into the per-user file,
    // creating its folder. Throws IniFileError on failure.
    void SaveUserSettings();

    // The per-user file, read and written at the same place: the user's
    // configuration folder (or, without one, the program folder) followed by
    // "Morvanta/Morvanta.ini".
    [[nodiscard]] static std::string UserSettingsFolder();
    [[nodiscard]] static std::string UserSettingsPath();
    [[nodiscard]] std::string MainSettingsPath() const { return ProgramFolder + IniFileName; }

    std::unique_ptr<MailSettings> Mail;
    std::string LastBulkReportPath;
    std::string ProgramFolder;
    std::string DefaultWhoisName;
    std::string DefaultWhoisHost;
    std::string PopMailHostList;
    bool PauseBulkReporting = false;

    std::string RipeWhoisHost;
    std::string AfrinicWhoisHost;
    std::string ApnicWhoisHost;
    std::string JpnicWhoisHost;
    std::string LacnicWhoisHost;
    std::string BrnicWhoisHost;
    std::string AbuseWhoisHost;
    int WhoisPort = defaults::WhoisPort;
    int NetworkTimeout = defaults::NetworkTimeout; // seconds, 0 waits for ever
    // At levels 0 and 1, a registry answer that designates abuse mailboxes
    // gives those instead of its keyword lines.
    bool PreferAbuseMailbox = defaults::PreferAbuseMailbox;
    std::string HomePage;
    std::string ReportServiceUrl;
};

// Where a setting is stored and how it is read. One table of them drives
// reading the files, morvanta-cli's config command and the settings tests,
// so a key is spelt in one place only.
enum class SettingFile {
    Main, // Morvanta.ini of the program folder, only read
    User, // the per-user Morvanta.ini, written at shut-down
    Template, // the main file's section named after the chosen template
};
enum class SettingKind {
    Text,
    Number, // decimal or 0x hexadecimal; anything else gives the default
    Truth, // a number: 0 false, anything else true
    Password, // stored scrambled, held in clear
};

struct SettingDef {
    SettingFile file;
    const char* section; // empty for SettingFile::Template
    const char* key;
    SettingKind kind;
    const char* defaultText; // Text and Password
    int defaultNumber; // Number and Truth
    // The field the setting fills: text for Text and Password, number for
    // Number, truth for Truth (the others are null).
    std::string* (*text)(Config&);
    int* (*number)(Config&);
    bool* (*truth)(Config&);

    // "Section.Key" as morvanta-cli's config command names it: the main
    // file's section, "Template" or "User".
    [[nodiscard]] std::string PrintedName() const;
    // The value in force, as the config command prints it (truth values as
    // 0 or 1, the password as "***" when set).
    [[nodiscard]] std::string PrintedValue(Config& config) const;
};

// Every setting, in the order the config command prints them.
[[nodiscard]] const std::vector<SettingDef>& SettingDefs();

} // namespace morvanta
