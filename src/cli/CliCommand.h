#pragma once

#include "app/Config.h"
#include "mailer/ReportSession.h"

#include <CLI/CLI.hpp>

#include <functional>
#include <memory>
#include <string>

namespace morvanta::cli {

// Exit status of the tool.
enum ExitStatus { ExitDone = 0, ExitFailed = 1, ExitUsage = 2 };

// What every command shares: the program folder, the settings read from it
// and the report session over them.
class CliContext {
public:
    // The settings, read on first use from the program folder in force.
    Config& Settings();

    // The report session, made on first use; every status text goes to
    // standard error.
    ReportSession& Session();

    int exitStatus = ExitDone;

private:
    std::unique_ptr<Config> config_;
    std::unique_ptr<ReportSession> session_;
};

// One status text on standard error.
void PrintStatus(const std::string& text);

// Says on standard error that standard output could not be written.
void ReportOutputFailure();

// Writes the text to standard output and flushes it; false, after saying so
// on standard error, when it could not be written.
[[nodiscard]] bool PrintResult(const std::string& text);

// Answers are shown with every LF turned into CR LF; the tool prints them as
// the server sent them. Every CR LF of such a text stands for one LF.
[[nodiscard]] std::string AsReceived(const std::string& shown);

// A command adds itself to the tool with a static CommandRegistration: its
// name and help line, and a setup that adds its options and callback to the
// subcommand made for it. The order decides its place in the help text.
using CommandSetup = std::function<void(CLI::App& command, CliContext& context)>;

struct CommandRegistration {
    CommandRegistration(int order, std::string name, std::string description, CommandSetup setup);
};

// Sets up the command the arguments call, or every command when they call
// none that is known (for the help text and for usage errors). Scripts start
// the tool once per query, so it does no more than that call needs.
void SetUpCommands(CLI::App& app, CliContext& context, int argc, const char* const* argv);

// Reads a whole file, or standard input for "-". Throws std::runtime_error
// with a clear message when it cannot.
[[nodiscard]] std::string ReadInputFile(const std::string& path);

} // namespace morvanta::cli
