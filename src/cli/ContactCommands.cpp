// The mailer's find commands, the investigation window's chase, abuse and
// reverse DNS commands, and the mailer's exclusion and cache commands.
#include "analysis/DottedQuad.h"
#include "analysis/EmailHarvest.h"
#include "analysis/SourceIP.h"
#include "analysis/TextFiles.h"
#include "base/Clock.h"
#include "app/Config.h"
#include "base/Text.h"
#include "cache/ContactCache.h"
#include "cli/CliCommand.h"
#include "investigate/ContactSearch.h"
#include "investigate/ReportContext.h"
#include "net/SocketLayer.h"

#include <iostream>
#include <memory>
#include <string>

namespace morvanta::cli {

namespace {

// The command-line tool has no template list, so every look-up is logged
// as made with no template selected: position -1 as an unsigned 16-bit number.
constexpr std::uint16_t NoTemplateSelected = 65535;

void PrintStatus(const std::string& text)
{
    // Standard error is unbuffered: one text, one write.
    std::cerr << (text + "\n");
}

[[nodiscard]] bool PrintResult(const std::string& text)
{
    std::cout << text;
    std::cout.flush();
    if (!std::cout) {
        std::cerr << "Cannot write the result to standard output.\n";
        return false;
    }
    return true;
}

// Answers are shown with every LF turned into CR LF; the tool prints them as
// the server sent them. Every CR LF of such a text stands for one LF.
std::string AsReceived(const std::string& shown)
{
    return ReplaceAll(shown, "\r\n", "\n");
}

// What the mailer window wires together: the report context, the
// investigation window's routines (created hidden on first use) and the
// data module, with every status text going to standard error.
class ContactServices : public ContactFinder, public SourceIpChecks {
public:
    explicit ContactServices(Config& config)
        : config_(config)
    {
        investigationWindow.SetFactory([this] {
            auto instance = std::make_shared<ContactSearch>(config_, report_);
            instance->OnStatus = PrintStatus;
            instance->OnMailerStatus = PrintStatus;
            return instance;
        });
    }

    ~ContactServices() override
    {
        investigationWindow.Close();
        investigationWindow.SetFactory({});
    }

    ContactServices(const ContactServices&) = delete;
    ContactServices& operator=(const ContactServices&) = delete;

    ContactSearch& Netvane() { return investigationWindow.Ensure(); }

    ContactCache& DM()
    {
        if (!dm_)
            dm_ = std::make_unique<ContactCache>(config_.ProgramFolder, SystemClock::Instance(), *this);
        return *dm_;
    }

    std::string FindContacts(const std::string& address, std::uint16_t level) override
    {
        return Netvane().FindContacts(address, level);
    }

    void PrepareToJudge() override { (void)Netvane(); }
    std::string CurrentIP() override { return report_.CurrentIP; }
    bool IsCachedIP(const std::string& address) override { return DM().IsCachedIP(address); }
    bool IsIanaReserved(const std::string& address) override { return Netvane().IsIanaReserved(address); }

private:
    Config& config_;
    ReportContext report_;
    std::unique_ptr<ContactCache> dm_;
};

std::vector<std::string> MessageLines(const std::string& path)
{
    // Split as a pasted text is split into the message box's lines.
    return SplitLines(ReadInputFile(path));
}

std::uint16_t LevelFor(bool harder)
{
    return harder ? 2 : 0;
}

int RunSourceIp(Config& config, const std::string& path)
{
    std::vector<std::string> lines = MessageLines(path);
    ContactServices services(config);
    std::string address = FindSourceIP(lines, config.PopMailHostList, services);
    return PrintResult(address + "\n") ? ExitDone : ExitFailed;
}

int RunContacts(Config& config, const std::string& address, bool harder)
{
    if (!IsDottedQuad(address) || !IsNumericAddress(address)) {
        std::cerr << ("contacts: \"" + address + "\" is not an IPv4 address (four numbers 0 to 255 joined by dots)\n");
        return ExitUsage;
    }
    ContactServices services(config);
    std::string list = services.DM().LookupComplaintEmails(address, LevelFor(harder), NoTemplateSelected);
    return PrintResult(list + "\n") ? ExitDone : ExitFailed;
}

int RunFind(Config& config, const std::string& path, bool harder)
{
    std::vector<std::string> lines = MessageLines(path);
    ContactServices services(config);
    std::string address = FindSourceIP(lines, config.PopMailHostList, services);
    std::string list = services.DM().LookupComplaintEmails(address, LevelFor(harder), NoTemplateSelected);
    PrintStatus("Finished " + address + " report");
    return PrintResult(address + "\t" + list + "\n") ? ExitDone : ExitFailed;
}

int RunMagic(Config& config, const std::string& target, bool detailed)
{
    ContactServices services(config);
    ContactSearch& netvane = services.Netvane();
    PrintStatus("Searching " + config.DefaultWhoisName + "...");
    std::string answer = netvane.ChaseRegistries(target, detailed ? WhoisDetail::Detailed : WhoisDetail::Brief);
    PrintStatus("Disconnected");
    // The failure's message is already on standard error: the status line shows it.
    if (netvane.LastFailure())
        return ExitFailed;
    return PrintResult(AsReceived(answer)) ? ExitDone : ExitFailed;
}

int RunAbuse(Config& config, const std::string& target)
{
    ContactServices services(config);
    ContactSearch& netvane = services.Netvane();
    PrintStatus("Searching " + config.AbuseWhoisHost + "...");
    std::string answer = netvane.QueryAbuseService(target);
    PrintStatus("Disconnected");
    if (netvane.LastFailure())
        return ExitFailed;
    return PrintResult(AsReceived(answer)) ? ExitDone : ExitFailed;
}

int RunReverseDns(Config& config, const std::string& target)
{
    ContactServices services(config);
    ContactSearch& netvane = services.Netvane();
    PrintStatus("Performing rDNS...");
    std::string address = Trim(target);
    bool isAddress = IsDottedQuad(address);
    std::string shown = isAddress ? "Canonical name: " + netvane.ReverseName(address) : address + " is not an IP address.";
    PrintStatus("Disconnected");
    if (!PrintResult(shown + "\n"))
        return ExitFailed;
    return isAddress ? ExitDone : ExitFailed;
}

// The add commands take the address as typed; only what would break the
// one-entry-a-line file is refused.
int RunAddToList(Config& config, const char* command, const char* fileName, const std::string& address)
{
    if (address.empty()) {
        std::cerr << (std::string(command) + ": the address is empty\n");
        return ExitUsage;
    }
    if (address.find_first_of("\r\n") != std::string::npos) {
        std::cerr << (std::string(command) + ": the address holds a line break\n");
        return ExitUsage;
    }
    ContactServices services(config);
    services.DM().RemoveEmailFromCache(address);
    AddLineToSortedFile(config.ProgramFolder + fileName, address);
    return ExitDone;
}

struct FindOptions {
    std::string input;
    bool harder = false;
};

const CommandRegistration registerSourceIp(20, "source-ip",
    "Print the source IP of a message (an empty line when none)",
    [](CLI::App& command, CliContext& context) {
        auto path = std::make_shared<std::string>();
        command.add_option("FILE", *path, "The message, headers first; - for standard input")->required();
        command.callback([&context, path] { context.exitStatus = RunSourceIp(context.Settings(), *path); });
    });

const CommandRegistration registerContacts(21, "contacts",
    "Print the complaint addresses for an IP address, from the cache or a new WHOIS search",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<FindOptions>();
        command.add_option("IP", options->input, "The IPv4 address")->required();
        command.add_flag("--harder", options->harder, "Search harder: every registry, every line of their answers");
        command.callback([&context, options] {
            context.exitStatus = RunContacts(context.Settings(), options->input, options->harder);
    });
    });

const CommandRegistration registerFind(22, "find",
    "Find the source IP of a message and its complaint addresses; prints the IP, a TAB and the list",
    [](CLI::App& command, CliContext& context) {
        auto options = std::make_shared<FindOptions>();
        command.add_option("FILE", options->input, "The message, headers first; - for standard input")->required();
        command.add_flag("--harder", options->harder, "Search harder: every registry, every line of their answers");
        command.callback([&context, options] {
            context.exitStatus = RunFind(context.Settings(), options->input, options->harder);
    });
    });

const CommandRegistration registerMagic(51, "magic",
    "Chase an address through the registries (magic whois) and print the last answer",
    [](CLI::App& command, CliContext& context) {
        auto target = std::make_shared<std::string>();
        auto detailed = std::make_shared<bool>(false);
        command.add_flag("--detailed", *detailed, "Ask the registries for their detailed answers");
        command.add_option("TARGET", *target, "Address or host name; a name is resolved first")->required();
        command.callback([&context, target, detailed] {
            context.exitStatus = RunMagic(context.Settings(), *target, *detailed);
    });
    });

const CommandRegistration registerAbuse(53, "abuse",
    "Ask the abuse-contact service about a domain, or about the reverse name of an address",
    [](CLI::App& command, CliContext& context) {
        auto target = std::make_shared<std::string>();
        command.add_option("TARGET", *target, "Domain or IPv4 address")->required();
        command.callback([&context, target] { context.exitStatus = RunAbuse(context.Settings(), *target); });
    });

const CommandRegistration registerReverseDns(54, "rdns",
    "Print the reverse DNS name of an address (exit status 1 when ADDRESS is not one)",
    [](CLI::App& command, CliContext& context) {
        auto target = std::make_shared<std::string>();
        command.add_option("ADDRESS", *target, "IPv4 address")->required();
        command.callback([&context, target] { context.exitStatus = RunReverseDns(context.Settings(), *target); });
    });

void AddListCommand(CLI::App& list, CliContext& context, const char* name, const char* fileName)
{
    auto address = std::make_shared<std::string>();
    list.require_subcommand(1);
    auto* add = list.add_subcommand(
        "add", std::string("Remove the address from the cached lists and add it to ") + fileName);
    add->add_option("ADDRESS", *address, "E-mail address, kept as typed")->required();
    std::string command = std::string(name) + " add";
    add->callback([&context, address, command, fileName] {
        context.exitStatus = RunAddToList(context.Settings(), command.c_str(), fileName, *address);
    });
}

const CommandRegistration registerBlacklist(60, "blacklist",
    std::string("Change ") + BlacklistFileName + ", the addresses never reported to",
    [](CLI::App& command, CliContext& context) { AddListCommand(command, context, "blacklist", BlacklistFileName); });

const CommandRegistration registerBlocklist(61, "blocklist",
    std::string("Change ") + BlocklistFileName + ", the addresses never reported to",
    [](CLI::App& command, CliContext& context) { AddListCommand(command, context, "blocklist", BlocklistFileName); });

const CommandRegistration registerApplyBlacklist(62, "apply-blacklist",
    "Remove every address of the blacklist and the blocklist from the cached lists",
    [](CLI::App& command, CliContext& context) {
        command.callback([&context] {
            ContactServices services(context.Settings());
            services.DM().ApplyBlacklist();
    });
    });

const CommandRegistration registerFixEmails(63, "fix-emails", "Remove leading commas from the cached lists",
    [](CLI::App& command, CliContext& context) {
        command.callback([&context] {
            ContactServices services(context.Settings());
            services.DM().FixEmails();
    });
    });

} // namespace

} // namespace morvanta::cli
