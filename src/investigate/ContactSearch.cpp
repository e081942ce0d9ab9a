#include "investigate/ContactSearch.h"

#include "analysis/AddressKind.h"
#include "analysis/DottedQuad.h"
#include "analysis/EmailHarvest.h"
#include "app/Config.h"
#include "base/Text.h"
#include "base/UiServices.h"
#include "net/NetError.h"
#include "net/SocketLayer.h"

#include <exception>
#include <stdexcept>

namespace morvanta {

ContactSearch::ContactSearch(const Config& config, ReportContext& reportContext)
    : config_(config)
    , report_(reportContext)
{
    whois_.Port = config_.WhoisPort;
    whois_.ReadTimeout = ReadTimeoutFromSeconds(config_.NetworkTimeout);
}

ContactSearch::~ContactSearch() = default;

WhoisClient& ContactSearch::WhoisAt(const std::string& host)
{
    whois_.Host = host;
    whois_.Port = config_.WhoisPort;
    whois_.ReadTimeout = ReadTimeoutFromSeconds(config_.NetworkTimeout);
    return whois_;
}

std::string ContactSearch::Ask(const std::string& host, const std::string& query)
{
    WhoisAt(host);
    asking_ = host + ":" + std::to_string(config_.WhoisPort);
    std::string answer = whois_.Query(query);
    ++answers_;
    return answer;
}

void ContactSearch::ShowStatus(const std::string& text)
{
    if (OnStatus)
        OnStatus(text);
}

void ContactSearch::ShowProgress(const std::string& text)
{
    ShowStatus(text);
    Ui().ProcessPendingInput();
}

void ContactSearch::Fail(const std::string& message)
{
    lastFailure_ = message;
    ShowStatus(asking_.empty() ? message : asking_ + ": " + message);
}

std::string ContactSearch::ChaseRegistries(const std::string& target, WhoisDetail detail)
{
    // A window closed while the chase lets input through must outlive the chase.
    auto keepAlive = weak_from_this().lock();
    lastFailure_.reset();
    const bool detailed = detail == WhoisDetail::Detailed;
    try {
        whois_.Host = config_.DefaultWhoisHost;
        asking_ = target;
        const std::string address = ResolveAddress(target);
        const std::string plusQuery = (detailed ? "+ " : "") + address;
        std::string answer = Ask(config_.DefaultWhoisHost, plusQuery);

        if (Contains(answer, "RIPE Network Coordination Centre")) {
            ShowProgress("Searching RIPE...");
            const std::string query = (detailed ? "-a " : "") + address;
            answer = Ask(config_.RipeWhoisHost, query);
            if (Contains(answer, "ORG-AFNC1-RIPE"))
                answer = Ask(config_.AfrinicWhoisHost, query);
        } else if (Contains(answer, "search-apnic-not-arin")) {
            ShowProgress("Searching APNIC...");
            answer = Ask(config_.ApnicWhoisHost, plusQuery);
            if (Contains(answer, "JPNIC-NET-JP"))
                answer = Ask(config_.JpnicWhoisHost, address + " /e");
        } else if (Contains(answer, "LACNIC")) {
            ShowProgress("Searching LACNIC...");
            answer = Ask(config_.LacnicWhoisHost, plusQuery);
            // The BRNIC server names itself in the LACNIC answers it stands behind.
            const std::string& brnic = config_.BrnicWhoisHost;
            if (!brnic.empty() && Contains(answer, brnic)) {
                ShowProgress("Searching BRNIC...");
                answer = Ask(brnic, plusQuery);
            }
        } else if (Contains(answer, "No match found for")) {
            ShowProgress("Searching AfriNIC...");
            answer = Ask(config_.AfrinicWhoisHost, plusQuery);
        }
        return LfToCrLf(answer);
    } catch (const std::exception& error) {
        Fail(error.what());
    }
    return {};
}

std::string ContactSearch::QueryAbuseService(const std::string& target)
{
    auto keepAlive = weak_from_this().lock();
    lastFailure_.reset();
    asking_.clear();
    try {
        whois_.Host = config_.AbuseWhoisHost;
        std::string name = Trim(target);
        if (IsDottedQuad(name))
            name = ReverseName(name);
        if (name == "DEFAULT" || name == NoRDNS)
            return {};
        return LfToCrLf(Ask(config_.AbuseWhoisHost, "-h " + name));
    } catch (const std::exception& error) {
        Fail(error.what());
    }
    return {};
}

std::string ContactSearch::ReverseName(const std::string& address)
{
    try {
        return ReverseLookup(address);
    } catch (const SocketError&) {
        return NoRDNS;
    }
}

FoundContacts ContactSearch::FindContacts(const std::string& address, std::uint16_t level)
{
    auto keepAlive = weak_from_this().lock();
    const std::string& folder = config_.ProgramFolder;
    const AbuseMailboxes mailboxes = config_.PreferAbuseMailbox ? AbuseMailboxes::Preferred : AbuseMailboxes::Ignored;
    const bool sameAddress = address == report_.CurrentIP;
    report_.CurrentIP = address;
    auto status = [this](const std::string& text) {
        if (OnMailerStatus)
            OnMailerStatus(text);
    };
    const unsigned long answersBefore = answers_;
    bool reused = false;
    auto outcome = [&](std::string list) {
        return FoundContacts { std::move(list), reused || answers_ > answersBefore };
    };

    // An answer is reused only when it was fetched for this very address:
    // CurrentIP may have been set by a command that fetched nothing.
    status("Searching abuse contacts for " + address + "...");
    if (!sameAddress || report_.AbuseAnswerFor != address) {
        const unsigned long before = answers_;
        report_.AbuseAnswer = QueryAbuseService(address);
        report_.AbuseAnswerFor = !lastFailure_ && answers_ > before ? address : std::string();
    } else {
        reused = true;
    }
    std::string list = HarvestEmails({}, report_.AbuseAnswer, KeywordFilter::Off, level, folder, mailboxes);
    if (!list.empty() && level == 0)
        return outcome(std::move(list));

    status("Searching whois contacts for " + address + "...");
    if (!sameAddress || report_.WhoisAnswerFor != address) {
        report_.WhoisAnswer = ChaseRegistries(address, WhoisDetail::Brief);
        report_.WhoisAnswerFor = lastFailure_ ? std::string() : address;
    } else {
        reused = true;
    }
    list = HarvestEmails(list, report_.WhoisAnswer, KeywordFilter::On, level, folder, mailboxes);
    if (!list.empty() && level <= 1)
        return outcome(std::move(list));

    list = HarvestEmails(list, ChaseRegistries(address, WhoisDetail::Detailed), KeywordFilter::On, level, folder,
                         mailboxes);
    return outcome(std::move(list));
}

bool ContactSearch::IsIanaReserved(const std::string& address)
{
    auto keepAlive = weak_from_this().lock();
    lastFailure_.reset();
    asking_.clear();
    // Such an address is never the source of a message, whatever a registry
    // says or whether one can be reached; neither is a text that is no
    // address, which no registry could place.
    if (ClassifyIPv4(address) != AddressKind::Global)
        return true;
    if (auto known = report_.IanaVerdicts.find(address); known != report_.IanaVerdicts.end())
        return known->second;
    try {
        const bool reserved = Contains(Ask(config_.DefaultWhoisHost, address), IanaMarker);
        report_.IanaVerdicts[address] = reserved;
        return reserved;
    } catch (const std::exception& error) {
        Fail(error.what());
    }
    return false;
}

void ContactSearchReference::SetFactory(Factory factory)
{
    factory_ = std::move(factory);
}

ContactSearch& ContactSearchReference::Ensure()
{
    if (!instance_) {
        if (!factory_)
            throw std::logic_error("No investigation window can be created here");
        instance_ = factory_();
        if (!instance_)
            throw std::logic_error("The investigation window could not be created");
    }
    return *instance_;
}

void ContactSearchReference::Close()
{
    // Moved out first: the instance's destructor may look at the reference.
    auto closing = std::move(instance_);
}

} // namespace morvanta
