#include "app/Config.h"
#include "base/Text.h"
#include "cli/CliCommand.h"
#include "net/NetError.h"
#include "net/SocketLayer.h"
#include "net/WhoisClient.h"

#include <iostream>
#include <memory>
#include <string>

namespace morvanta::cli {

namespace {

struct WhoisOptions {
    std::string host;
    bool hostGiven = false;
    std::string args;
    std::string target;
};

// The investigation window's whois command: the target is resolved, the
// arguments go before the address, and the answer is printed as received.
int RunWhois(const Config& config, const WhoisOptions& options)
{
    WhoisClient whois;
    whois.Host = options.hostGiven ? options.host : config.DefaultWhoisHost;
    whois.Port = config.WhoisPort;
    whois.ReadTimeout = ReadTimeoutFromSeconds(config.NetworkTimeout);
    // Standard error is unbuffered: one text, one write.
    std::cerr << ("Searching " + whois.Host + "...\n");
    std::string answer;
    try {
        std::string address = ResolveAddress(options.target);
        answer = whois.Query(Trim(options.args + " " + address));
    } catch (const NetError& error) {
        std::cerr << (error.what() + std::string("\n"));
        return ExitFailed;
    }
    std::cout.write(answer.data(), static_cast<std::streamsize>(answer.size()));
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "Cannot write the answer to standard output.\n";
        return ExitFailed;
    }
    std::cerr << "Disconnected\n";
    return ExitDone;
}

const CommandRegistration registerWhois(
    50, "whois", "Ask a WHOIS server about an address or host name and print its answer as received",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<WhoisOptions>();
        command.set_help_flag("--help", "Print this help message and exit");
        command
            .add_option("-h,--host", options->host, "WHOIS server to ask (default: DefaultWhoisHost of the settings)")
            ->each([options](const std::string&) { options->hostGiven = true; });
        command.add_option("--args", options->args,
                           "Text sent before the address, e.g. --args=-a (use = when it begins with a dash)");
        command.add_option("TARGET", options->target, "Address or host name to ask about; a name is resolved first")
            ->required();
        command.callback([&context, options] { context.exitStatus = RunWhois(context.Settings(), *options); });
    });

} // namespace

} // namespace morvanta::cli
