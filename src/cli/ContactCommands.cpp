// The mailer's find commands, the investigation window's chase, abuse and
// reverse DNS commands, and the mailer's exclusion and cache commands.
#include "analysis/DottedQuad.h"
#include "analysis/ExclusionList.h"
#include "analysis/TextFiles.h"
#include "app/Config.h"
#include "base/Text.h"
#include "cli/CliCommand.h"
#include "mailer/ReportSession.h"
#include "net/SocketLayer.h"

#include <iostream>
#include <memory>
#include <string>

namespace morvanta::cli {

namespace {

// The command-line tool has no template list, so every look-up is logged
// as made with no template selected: position -1 as an unsigned 16-bit number.
constexpr std::uint16_t NoTemplateSelected = 65535;

std::vector<std::string> MessageLines(const std::string& path)
{
    // Split as a pasted text is split into the message box's lines.
    return SplitLines(ReadInputFile(path));
}

std::uint16_t LevelFor(bool harder)
{
    return harder ? 2 : 0;
}

int RunSourceIp(CliContext& context, const std::string& path)
{
    std::vector<std::string> lines = MessageLines(path);
    std::string address = context.Session().FindSourceIP(lines);
    return PrintResult(address + "\n") ? ExitDone : ExitFailed;
}

int RunContacts(CliContext& context, const std::string& address, bool harder)
{
    if (!IsDottedQuad(address) || !IsNumericAddress(address)) {
        std::cerr << ("contacts: \"" + address + "\" is not an IPv4 address (four numbers 0 to 255 joined by dots)\n");
        return ExitUsage;
    }
    LookupOutcome outcome = LookupOutcome::Cached;
    std::string list = context.Session().LookupComplaintEmails(address, LevelFor(harder), NoTemplateSelected, &outcome);
    // Not the same as nobody found: the status line on standard error has said why.
    if (outcome == LookupOutcome::SearchFailed)
        return ExitFailed;
    return PrintResult(list + "\n") ? ExitDone : ExitFailed;
}

int RunFind(CliContext& context, const std::string& path, bool harder)
{
    std::vector<std::string> lines = MessageLines(path);
    std::string address = context.Session().FindSourceIP(lines);
    LookupOutcome outcome = LookupOutcome::Cached;
    std::string list = context.Session().LookupComplaintEmails(address, LevelFor(harder), NoTemplateSelected, &outcome);
    if (outcome == LookupOutcome::SearchFailed)
        return ExitFailed;
    PrintStatus("Finished " + address + " report");
    return PrintResult(address + "\t" + list + "\n") ? ExitDone : ExitFailed;
}

int RunMagic(CliContext& context, const std::string& target, bool detailed)
{
    ContactSearch& search = context.Session().Search();
    PrintStatus("Searching " + context.Settings().DefaultWhoisName + "...");
    std::string answer = search.ChaseRegistries(target, detailed ? WhoisDetail::Detailed : WhoisDetail::Brief);
    PrintStatus("Disconnected");
    // The failure's message is already on standard error: the status line shows it.
    if (search.LastFailure())
        return ExitFailed;
    return PrintResult(AsReceived(answer)) ? ExitDone : ExitFailed;
}

int RunAbuse(CliContext& context, const std::string& target)
{
    ContactSearch& search = context.Session().Search();
    PrintStatus("Searching " + context.Settings().AbuseWhoisHost + "...");
    std::string answer = search.QueryAbuseService(target);
    PrintStatus("Disconnected");
    if (search.LastFailure())
        return ExitFailed;
    return PrintResult(AsReceived(answer)) ? ExitDone : ExitFailed;
}

int RunReverseDns(CliContext& context, const std::string& target)
{
    ContactSearch& search = context.Session().Search();
    PrintStatus("Performing rDNS...");
    std::string address = Trim(target);
    bool isAddress = IsDottedQuad(address);
    std::string shown
        = isAddress ? "Canonical name: " + search.ReverseName(address) : address + " is not an IP address.";
    PrintStatus("Disconnected");
    if (!PrintResult(shown + "\n"))
        return ExitFailed;
    return isAddress ? ExitDone : ExitFailed;
}

// The add commands take the address as typed; only what would break the
// one-entry-a-line file is refused.
int RunAddToList(CliContext& context, const char* command, const char* fileName, const std::string& address)
{
    if (address.empty()) {
        std::cerr << (std::string(command) + ": the address is empty\n");
        return ExitUsage;
    }
    if (address.find_first_of("\r\n") != std::string::npos) {
        std::cerr << (std::string(command) + ": the address holds a line break\n");
        return ExitUsage;
    }
    context.Session().Cache().RemoveEmailFromCache(address);
    AddLineToSortedFile(context.Settings().ProgramFolder + fileName, address);
    return ExitDone;
}

struct FindOptions {
    std::string input;
    bool harder = false;
};

const CommandRegistration registerSourceIp(
    20, "source-ip", "Print the source IP of a message (an empty line when none)",
    [](CLI::App& command, CliContext& context) {
        auto path = std::make_shared<std::string>();
        command.add_option("FILE", *path, "The message, headers first; - for standard input")->required();
        command.callback([&context, path] { context.exitStatus = RunSourceIp(context, *path); });
    });

const CommandRegistration registerContacts(
    21, "contacts", "Print the complaint addresses for an IP address, from the cache or a new WHOIS search",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<FindOptions>();
        command.add_option("IP", options->input, "The IPv4 address")->required();
        command.add_flag("--harder", options->harder, "Search harder: every registry, every line of their answers");
        command.callback(
            [&context, options] { context.exitStatus = RunContacts(context, options->input, options->harder); });
    });

const CommandRegistration registerFind(
    22, "find", "Find the source IP of a message and its complaint addresses; prints the IP, a TAB and the list",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<FindOptions>();
        command.add_option("FILE", options->input, "The message, headers first; - for standard input")->required();
        command.add_flag("--harder", options->harder, "Search harder: every registry, every line of their answers");
        command.callback(
            [&context, options] { context.exitStatus = RunFind(context, options->input, options->harder); });
    });

const CommandRegistration registerMagic(
    51, "magic", "Chase an address through the registries (magic whois) and print the last answer",
    [](CLI::App& command, CliContext& context) {
        auto target = std::make_shared<std::string>();
        auto detailed = std::make_shared<bool>(false);
        command.add_flag("--detailed", *detailed, "Ask the registries for their detailed answers");
        command.add_option("TARGET", *target, "Address or host name; a name is resolved first")->required();
        command.callback([&context, target, detailed] { context.exitStatus = RunMagic(context, *target, *detailed); });
    });

const CommandRegistration
    registerAbuse(53, "abuse", "Ask the abuse-contact service about a domain, or about the reverse name of an address",
                  [](CLI::App& command, CliContext& context) {
                      auto target = std::make_shared<std::string>();
                      command.add_option("TARGET", *target, "Domain or IPv4 address")->required();
                      command.callback([&context, target] { context.exitStatus = RunAbuse(context, *target); });
                  });

const CommandRegistration registerReverseDns(
    54, "rdns", "Print the reverse DNS name of an address (exit status 1 when ADDRESS is not one)",
    [](CLI::App& command, CliContext& context) {
        auto target = std::make_shared<std::string>();
        command.add_option("ADDRESS", *target, "IPv4 address")->required();
        command.callback([&context, target] { context.exitStatus = RunReverseDns(context, *target); });
    });

void AddListCommand(CLI::App& list, CliContext& context, const char* name, const char* fileName)
{
    auto address = std::make_shared<std::string>();
    list.require_subcommand(1);
    auto* add
        = list.add_subcommand("add", std::string("Remove the address from the cached lists and add it to ") + fileName);
    add->add_option("ADDRESS", *address, "E-mail address, or @ and a domain for all of its addresses; kept as typed")
        ->required();
    std::string command = std::string(name) + " add";
    add->callback([&context, address, command, fileName] {
        context.exitStatus = RunAddToList(context, command.c_str(), fileName, *address);
    });
}

const CommandRegistration registerBlacklist(
    60, "blacklist", std::string("Change ") + BlacklistFileName + ", the addresses never reported to",
    [](CLI::App& command, CliContext& context) { AddListCommand(command, context, "blacklist", BlacklistFileName); });

const CommandRegistration registerBlocklist(
    61, "blocklist", std::string("Change ") + BlocklistFileName + ", the addresses never reported to",
    [](CLI::App& command, CliContext& context) { AddListCommand(command, context, "blocklist", BlocklistFileName); });

const CommandRegistration
    registerApplyBlacklist(62, "apply-blacklist",
                           "Remove every address of the blacklist and the blocklist from the cached lists",
                           [](CLI::App& command, CliContext& context) {
                               command.callback([&context] { context.Session().Cache().ApplyBlacklist(); });
                           });

const CommandRegistration registerFixEmails(63, "fix-emails", "Remove leading commas from the cached lists",
                                            [](CLI::App& command, CliContext& context) {
                                                command.callback([&context] { context.Session().Cache().FixEmails(); });
                                            });

} // namespace

} // namespace morvanta::cli
