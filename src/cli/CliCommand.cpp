#include "cli/CliCommand.h"

#include <cerrno>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <stdexcept>

namespace morvanta::cli {

namespace {

std::multimap<int, CommandSetup>& Registry()
{
    static std::multimap<int, CommandSetup> registry;
    return registry;
}

} // namespace

TConfig& CliContext::Config()
{
    if (!config_)
        config_ = std::make_unique<TConfig>();
    return *config_;
}

CommandRegistration::CommandRegistration(int order, CommandSetup setup)
{
    Registry().emplace(order, std::move(setup));
}

void SetUpCommands(CLI::App& app, CliContext& context)
{
    for (auto& [order, setup] : Registry())
        setup(app, context);
}

std::string ReadInputFile(const std::string& path)
{
    if (path == "-")
        return std::string(std::istreambuf_iterator<char>(std::cin), std::istreambuf_iterator<char>());
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw std::runtime_error("Cannot read " + path + ": " + std::strerror(errno));
    return content;
}

} // namespace morvanta::cli
