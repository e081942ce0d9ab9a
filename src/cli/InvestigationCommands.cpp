// The investigation window's IP block and traceroute commands.
#include "app/Config.h"
#include "cli/CliCommand.h"
#include "investigate/InvestigationController.h"
#include "mailer/ReportSession.h"

#include <iostream>
#include <memory>
#include <string>

namespace morvanta::cli {

namespace {

// The window's fields for one command: status texts go to standard error as
// they come, trace rows to standard output, one line each, cells joined by TABs.
class ConsoleInvestigationView : public InvestigationFields {
public:
    void SetStatus(const std::string& text) override
    {
        InvestigationFields::SetStatus(text);
        PrintStatus(text);
    }

    void AddTraceRow(int, const TraceRow& row) override
    {
        std::cout << (row.hop + "\t" + row.ip + "\t" + row.note + "\t" + row.rdns + "\n");
        std::cout.flush();
        if (!std::cout)
            writeFailed = true;
    }

    bool writeFailed = false;
};

struct InvestigationOptions {
    std::string host;
    bool hostGiven = false;
    std::string target;
};

// A controller over the session's contact search, with the fields set as
// the user would set them in the window.
std::shared_ptr<InvestigationController> MakeController(CliContext& context, ConsoleInvestigationView& view,
                                                        const InvestigationOptions& options)
{
    auto controller
        = std::make_shared<InvestigationController>(context.Settings(), context.Session().Search().shared_from_this());
    controller->AttachView(view);
    view.url = options.target;
    if (options.hostGiven)
        view.server = options.host;
    return controller;
}

int RunIPBlock(CliContext& context, const InvestigationOptions& options)
{
    ConsoleInvestigationView view;
    auto controller = MakeController(context, view, options);
    controller->RunIPBlock();
    if (controller->LastFailure())
        return ExitFailed;
    return PrintResult(AsReceived(controller->Tabs().back().text)) ? ExitDone : ExitFailed;
}

int RunTrace(CliContext& context, const InvestigationOptions& options)
{
    ConsoleInvestigationView view;
    auto controller = MakeController(context, view, options);
    controller->RunTraceroute();
    if (view.writeFailed) {
        ReportOutputFailure();
        return ExitFailed;
    }
    return controller->LastFailure() ? ExitFailed : ExitDone;
}

const CommandRegistration registerIPBlock(
    52, "ipblock", "Ask a WHOIS server for the network block of an address and print its answer as received",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<InvestigationOptions>();
        command.set_help_flag("--help", "Print this help message and exit");
        command
            .add_option("-h,--host", options->host,
                        "WHOIS server to ask (default: DefaultWhoisHost of the settings); RIPE's is asked with -a")
            ->each([options](const std::string&) { options->hostGiven = true; });
        command.add_option("TARGET", options->target, "Address or host name; a name is resolved first")->required();
        command.callback([&context, options] { context.exitStatus = RunIPBlock(context, *options); });
    });

const CommandRegistration registerTrace(
    55, "trace",
    "Trace the route to an address by ICMP echo; one line per hop: number, address, note, name (TAB-separated). "
    "Needs root or CAP_NET_RAW",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<InvestigationOptions>();
        command.add_option("TARGET", options->target, "Address or host name; a name is resolved first")->required();
        command.callback([&context, options] { context.exitStatus = RunTrace(context, *options); });
    });

} // namespace

} // namespace morvanta::cli
