#include "app/Platform.h"
#include "cli/CliCommand.h"

#include <CLI/CLI.hpp>

#include <exception>
#include <iostream>

int main(int argc, char** argv)
{
    using namespace morvanta;
    using namespace morvanta::cli;

    CLI::App app { "Morvanta: finds who is responsible for spam and virus mail and reports it to them.",
                   "morvanta-cli" };
    app.set_version_flag("--version", std::string("morvanta-cli ") + MORVANTA_VERSION);
    app.require_subcommand(1);
    app.fallthrough();

    std::string folder;
    app.add_option("--folder", folder, "Program folder whose settings, tables and files are used")
        ->check(CLI::ExistingDirectory);

    CliContext context;
    SetUpCommands(app, context, argc, argv);
    app.parse_complete_callback([&] {
        if (!folder.empty())
            SetProgramFolder(folder);
    });

    try {
        app.parse(argc, argv);
    } catch (const CLI::CallForVersion& version) {
        std::cout << version.what() << '\n';
        return ExitDone;
    } catch (const CLI::ParseError& error) {
        int status = app.exit(error);
        return status == 0 ? ExitDone : ExitUsage;
    } catch (const std::exception& error) {
        std::cerr << error.what() << '\n';
        return ExitFailed;
    }
    return context.exitStatus;
}
