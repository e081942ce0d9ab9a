#include "app/Config.h"
#include "app/IniFile.h"
#include "app/PasswordScramble.h"
#include "cli/CliCommand.h"

#include <iostream>
#include <iterator>
#include <string>

namespace morvanta::cli {

namespace {

void PrintConfig(Config& config)
{
    std::cout << "ProgramFolder=" << config.ProgramFolder << '\n';
    for (const SettingDef& setting : SettingDefs())
        std::cout << setting.PrintedName() << '=' << setting.PrintedValue(config) << '\n';
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
