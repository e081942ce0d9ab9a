#include "cli/CliCommand.h"

#include "base/Clock.h"
#include "base/Files.h"
#include "base/Text.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace morvanta::cli {

namespace {

struct Registered {
    std::string name;
    std::string description;
    CommandSetup setup;

    void SetUp(CLI::App& app, CliContext& context) const { setup(*app.add_subcommand(name, description), context); }
};

std::multimap<int, Registered>& Registry()
{
    static std::multimap<int, Registered> registry;
    return registry;
}

// The first word of the arguments that is no option of the tool itself.
std::string CalledCommand(int argc, const char* const* argv)
{
    for (int i = 1; i < argc; ++i) {
        std::string argument = argv[i];
        if (argument == "--folder") {
            ++i;
            continue;
        }
        if (argument.rfind("--folder=", 0) == 0)
            continue;
        if (!argument.empty() && argument[0] == '-')
            return {};
        return argument;
    }
    return {};
}

} // namespace

Config& CliContext::Settings()
{
    if (!config_)
        config_ = std::make_unique<Config>();
    return *config_;
}

ReportSession& CliContext::Session()
{
    if (!session_) {
        session_ = std::make_unique<ReportSession>(Settings(), SystemClock::Instance());
        session_->SetStatusSinks(PrintStatus, PrintStatus);
    }
    return *session_;
}

void PrintStatus(const std::string& text)
{
    // Standard error is unbuffered: one text, one write.
    std::cerr << (text + "\n");
}

void ReportOutputFailure()
{
    std::cerr << "Cannot write the result to standard output.\n";
}

bool PrintResult(const std::string& text)
{
    std::cout << text;
    std::cout.flush();
    if (!std::cout) {
        ReportOutputFailure();
        return false;
    }
    return true;
}

std::string AsReceived(const std::string& shown)
{
    return ReplaceAll(shown, "\r\n", "\n");
}

CommandRegistration::CommandRegistration(int order, std::string name, std::string description, CommandSetup setup)
{
    Registry().emplace(order, Registered { std::move(name), std::move(description), std::move(setup) });
}

void SetUpCommands(CLI::App& app, CliContext& context, int argc, const char* const* argv)
{
    const std::string called = CalledCommand(argc, argv);
    for (auto& [order, command] : Registry()) {
        if (command.name == called) {
            command.SetUp(app, context);
            return;
        }
    }
    for (auto& [order, command] : Registry())
        command.SetUp(app, context);
}

std::string ReadInputFile(const std::string& path)
{
    if (path == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    std::optional<std::string> content;
    try {
        content = ReadWholeFile(path);
    } catch (const FileError& error) {
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(error.code()));
    }
    if (!content)
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(ENOENT));
    return *content;
}

} // namespace morvanta::cli
