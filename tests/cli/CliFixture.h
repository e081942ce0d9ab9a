#pragma once

#include "fixtures/TestFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta::test {

// A program folder and a home of its own, for running the tool on them.
class CliFixture : public ::testing::Test {
protected:
    [[nodiscard]] std::vector<std::string> Environment() const { return { "XDG_CONFIG_HOME=" + home.Path() }; }

    ProcessResult Run(std::vector<std::string> arguments, const std::string& input = {})
    {
        return RunIn(folder.Path(), std::move(arguments), input);
    }

    ProcessResult RunIn(const std::string& programFolder, std::vector<std::string> arguments,
                        const std::string& input = {})
    {
        arguments.insert(arguments.begin(), { "--folder", programFolder });
        return RunCli(arguments, input, Environment());
    }

    TempDir folder;
    TempDir home;
};

// A program folder whose settings aim every WHOIS query at a loopback port.
class LoopbackWhoisFixture : public CliFixture {
protected:
    void WriteSettings(int port, const std::string& more = "")
    {
        WriteFile(folder / "Morvanta.ini", "[Options]\r\nDefaultWhoisHost=127.0.0.1\r\nWhoisPort="
                                               + std::to_string(port) + "\r\nNetworkTimeout=5\r\n" + more);
    }
};

} // namespace morvanta::test
