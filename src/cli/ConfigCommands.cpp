#include "app/Config.h"
#include "app/IniFile.h"
#include "app/PasswordScramble.h"
#include "cli/CliCommand.h"

#include <iostream>
#include <iterator>
#include <string>

namespace morvanta::cli {

namespace {

void PrintSetting(const std::string& name, const std::string& value)
{
    std::cout << name << '=' << value << '\n';
}

void PrintSetting(const std::string& name, int value)
{
    PrintSetting(name, std::to_string(value));
}

void PrintConfig(Config& config)
{
    const MailSettings& mail = *config.Mail;
    PrintSetting("ProgramFolder", config.ProgramFolder);
    PrintSetting("MailOptions.HostAddress", mail.HostAddress);
    PrintSetting("MailOptions.Port", mail.Port);
    PrintSetting("MailOptions.UseTLS", mail.UseTLS);
    PrintSetting("MailOptions.UseMAPI", mail.UseMAPI);
    PrintSetting("MailOptions.Authentication", mail.Authentication);
    PrintSetting("MailOptions.EMailLoginID", mail.EMailLoginID);
    PrintSetting("MailOptions.EMailPassword", mail.EMailPassword.empty() ? "" : "***");
    PrintSetting("MailOptions.CC", mail.CC);
    PrintSetting("MailOptions.BCC", mail.BCC);
    PrintSetting("MailOptions.DefaultFromEMailAddress", mail.DefaultFromEMailAddress);
    PrintSetting("MailOptions.DefaultFromName", mail.DefaultFromName);
    PrintSetting("MailOptions.ForwardUnProcessed", mail.ForwardUnProcessed);
    PrintSetting("MailOptions.ForwardUnProcessedEmail", mail.ForwardUnProcessedEmail);
    PrintSetting("MailOptions.MailAgent", mail.MailAgent);
    PrintSetting("Template.DefaultSubject", mail.DefaultSubject);
    PrintSetting("Options.DefaultWhoisName", config.DefaultWhoisName);
    PrintSetting("Options.DefaultWhoisHost", config.DefaultWhoisHost);
    PrintSetting("Options.PopMailHostList", config.PopMailHostList);
    PrintSetting("Options.PauseBulkReporting", config.PauseBulkReporting);
    PrintSetting("Options.RipeWhoisHost", config.RipeWhoisHost);
    PrintSetting("Options.AfrinicWhoisHost", config.AfrinicWhoisHost);
    PrintSetting("Options.ApnicWhoisHost", config.ApnicWhoisHost);
    PrintSetting("Options.JpnicWhoisHost", config.JpnicWhoisHost);
    PrintSetting("Options.LacnicWhoisHost", config.LacnicWhoisHost);
    PrintSetting("Options.BrnicWhoisHost", config.BrnicWhoisHost);
    PrintSetting("Options.AbuseWhoisHost", config.AbuseWhoisHost);
    PrintSetting("Options.WhoisPort", config.WhoisPort);
    PrintSetting("Options.NetworkTimeout", config.NetworkTimeout);
    PrintSetting("Options.HomePage", config.HomePage);
    PrintSetting("Options.ReportServiceUrl", config.ReportServiceUrl);
    PrintSetting("User.DefaultFile", mail.DefaultFile);
    PrintSetting("User.LastBulkReportPath", config.LastBulkReportPath);
}

// The password is the first line of standard input, without its line break.
std::string ReadPassword()
{
    std::string input((std::istreambuf_iterator<char>(std::cin)), std::istreambuf_iterator<char>());
    size_t end = input.find_first_of("\r\n");
    if (end != std::string::npos)
        input.resize(end);
    return input;
}

const CommandRegistration registerConfig(10, "config", "Print every setting in force, one Section.Key=value a line",
                                         [](CLI::App& command, CliContext& context) {
                                             command.callback([&context] { PrintConfig(context.Settings()); });
                                         });

const CommandRegistration registerScramble(
    11, "scramble", "Read a password from standard input and print the EMailPassword= line for Morvanta.ini",
    [](CLI::App& command, CliContext& context) {
        command.callback([&context] {
            std::string password = ReadPassword();
            std::string scrambled = EncryptString(password, PasswordKey);
            if (scrambled.find_first_of(std::string("\r\n\0", 3)) != std::string::npos) {
                std::cerr << "This password cannot be stored: its scrambled form holds a line break or a NUL byte, "
                             "which an ini file cannot keep. Please choose another password.\n";
                context.exitStatus = ExitFailed;
                return;
            }
            if (password.size() > IniFile::MaxValueLength) {
                std::cerr << "This password cannot be stored: it is longer than " << IniFile::MaxValueLength
                          << " characters.\n";
                context.exitStatus = ExitFailed;
                return;
            }
            std::cout << "EMailPassword=" << IniFile::FormatValue(scrambled) << '\n';
        });
    });

} // namespace

} // namespace morvanta::cli
