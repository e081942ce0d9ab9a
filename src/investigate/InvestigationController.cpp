#include "investigate/InvestigationController.h"

#include "analysis/DottedQuad.h"
#include "analysis/TextFiles.h"
#include "app/Config.h"
#include "base/Text.h"
#include "base/UiServices.h"
#include "net/NetError.h"
#include "net/SocketLayer.h"

#include <algorithm>
#include <exception>

namespace morvanta {

namespace {

constexpr const char* Disconnected = "Disconnected";
constexpr const char* WhoisListFile = "WhoisList.txt";

// The tab of the id, const or not as the list is; nullptr when it is gone.
template <typename Tabs> auto* TabIn(Tabs& tabs, int id)
{
    auto found = std::find_if(tabs.begin(), tabs.end(), [id](const ResultTab& tab) { return tab.id == id; });
    return found == tabs.end() ? nullptr : &*found;
}

} // namespace

// Marks a command as running for its whole length and keeps the controller
// alive meanwhile, so that a window closed while the command lets input
// through is destroyed only after the command has returned.
class InvestigationController::CommandScope {
public:
    explicit CommandScope(InvestigationController& controller)
        : controller_(controller)
        , keepAlive_(controller.weak_from_this().lock())
    {
        ++controller_.running_;
    }
    ~CommandScope()
    {
        if (--controller_.running_ == 0 && controller_.closeRequested_ && !controller_.closed_)
            controller_.FinishClose();
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    InvestigationController& controller_;
    std::shared_ptr<InvestigationController> keepAlive_;
};

InvestigationController::InvestigationController(const Config& config, std::shared_ptr<ContactSearch> search)
    : config_(config)
    , search_(std::move(search))
{
    icmp_.ReceiveTimeout = CreatedReceiveTimeout;
    previousSearchStatus_ = std::move(search_->OnStatus);
    // The search may outlive this controller (a routine still running);
    // the destructor gives the sink back.
    search_->OnStatus = [this](const std::string& text) { SetStatus(text); };
}

InvestigationController::~InvestigationController()
{
    search_->OnStatus = std::move(previousSearchStatus_);
}

void InvestigationController::AttachView(InvestigationView& view)
{
    view_ = &view;
    view.SetServer(config_.DefaultWhoisHost);
    std::vector<std::string> servers;
    try {
        servers = SplitLines(ReadFileText(config_.ProgramFolder + WhoisListFile));
    } catch (const FileError& error) {
        SetStatus(error.what());
    }
    view.SetServerList(servers);
}

void InvestigationController::DetachView()
{
    view_ = nullptr;
}

const ResultTab* InvestigationController::FindTab(int id) const
{
    return TabIn(tabs_, id);
}

ResultTab* InvestigationController::TabById(int id)
{
    return TabIn(tabs_, id);
}

void InvestigationController::SelectTab(int position)
{
    if (position >= 0 && position < TabCount())
        current_ = position;
}

void InvestigationController::SetStatus(const std::string& text)
{
    status_ = text;
    View().SetStatus(text);
}

int InvestigationController::OpenTab(const std::string& caption, TabKind kind)
{
    ResultTab tab;
    tab.id = ++lastTabId_;
    tab.caption = caption;
    tab.kind = kind;
    tabs_.push_back(tab);
    current_ = TabCount() - 1;
    View().AddTab(tab);
    View().ShowCurrentTab(tab.id);
    return tab.id;
}

void InvestigationController::WriteTabText(int id, const std::string& text)
{
    if (ResultTab* tab = TabById(id)) {
        tab->text = text;
        View().SetTabText(id, text);
    }
}

void InvestigationController::AddTraceRow(int id, const TraceRow& row)
{
    if (ResultTab* tab = TabById(id)) {
        tab->rows.push_back(row);
        View().AddTraceRow(id, row);
    }
}

void InvestigationController::RunWhois()
{
    if (closeRequested_)
        return;
    CommandScope scope(*this);
    const std::string server = View().Server();
    const int tab = OpenTab("whois", TabKind::Text);
    SetStatus("Searching " + server + "...");
    WhoisClient& whois = search_->WhoisAt(server);
    const std::string address = ResolveAddress(View().Url());
    const std::string answer = whois.Query(Trim(View().Arguments() + " " + address));
    WriteTabText(tab, LfToCrLf(answer));
    SetStatus(Disconnected);
}

void InvestigationController::RunMagicWhois()
{
    if (closeRequested_)
        return;
    CommandScope scope(*this);
    const int tab = OpenTab("whois", TabKind::Text);
    try {
        SetStatus("Searching " + config_.DefaultWhoisName + "...");
        Ui().ProcessPendingInput();
        const std::string answer = search_->ChaseRegistries(View().Url(), WhoisDetail::Brief);
        WriteTabText(tab, answer);
        SetStatus(Disconnected);
    } catch (const std::exception& error) {
        SetStatus(Disconnected);
        Ui().ProcessPendingInput();
        Ui().ShowMessage("Error occurred when attempting to contact WHOIS server " + search_->whois_.Host
                             + ".  Full error message:\n\n" + error.what(),
                         "Morvanta", MessageButtons::Ok, MessageIcon::None);
    }
}

std::string InvestigationController::QueryIPBlock()
{
    lastFailure_.reset();
    std::string result;
    try {
        const std::string server = View().Server();
        WhoisClient& whois = search_->WhoisAt(server);
        const char* prefix = server == config_.RipeWhoisHost ? "-a" : "+";
        const std::string address = ResolveAddress(Trim(View().Url()));
        result = LfToCrLf(whois.Query(prefix + std::string(" ") + address));
    } catch (const SocketError& error) {
        lastFailure_ = error.what();
        SetStatus(error.what());
    }
    return result;
}

void InvestigationController::RunIPBlock()
{
    if (closeRequested_)
        return;
    CommandScope scope(*this);
    const std::string server = View().Server();
    const int tab = OpenTab("IP Block", TabKind::Text);
    SetStatus("Searching " + server + "...");
    const std::string result = QueryIPBlock();
    WriteTabText(tab, result);
    SetStatus(Disconnected);
}

void InvestigationController::RunAbuseContact()
{
    if (closeRequested_)
        return;
    CommandScope scope(*this);
    const int tab = OpenTab("Abuse", TabKind::Text);
    SetStatus("Searching " + config_.AbuseWhoisHost + "...");
    const std::string answer = search_->QueryAbuseService(View().Url());
    WriteTabText(tab, answer);
    SetStatus(Disconnected);
}

void InvestigationController::RunReverseDns()
{
    if (closeRequested_)
        return;
    CommandScope scope(*this);
    const int tab = OpenTab("rDNS", TabKind::Text);
    SetStatus("Performing rDNS...");
    const std::string name = Trim(View().Url());
    if (IsDottedQuad(name))
        WriteTabText(tab, "Canonical name: " + search_->ReverseName(name));
    else
        WriteTabText(tab, name + " is not an IP address.");
    SetStatus(Disconnected);
}

void InvestigationController::RunTraceroute()
{
    if (closeRequested_)
        return;
    CommandScope scope(*this);
    lastFailure_.reset();
    const int tab = OpenTab("TraceRoute", TabKind::Trace);
    const std::string target = View().Url();
    SetStatus("resolving " + target);
    Ui().ProcessPendingInput();
    if (TraceGoesOn(tab)) {
        std::optional<std::string> address;
        try {
            address = ResolveAddress(target);
        } catch (const SocketError& error) {
            lastFailure_ = error.what();
            SetStatus(error.what());
        }
        if (address) {
            SetStatus("Tracing...");
            ProbeHost(*address, PreliminaryHopLimit);
            Ui().ProcessPendingInput();
            if (TraceGoesOn(tab))
                RunTrace(tab, *address);
        }
    }
    SetStatus(Disconnected);
}

void InvestigationController::ProbeHost(const std::string& address, int hopLimit)
{
    icmp_.Host = address;
    icmp_.SetHopLimit(hopLimit);
    icmp_.ReceiveTimeout = probeTimeout_;
    icmp_.Probe({}, 0);
}

void InvestigationController::RunTrace(int tabId, const std::string& address)
{
    if (ResultTab* tab = TabById(tabId))
        tab->rows.clear();
    View().ClearTraceRows(tabId);
    int hop = 0;
    bool reached = false;
    do {
        ++hop;
        ProbeHost(address, hop);
        const ReplyStatus reply = icmp_.Reply();
        TraceRow row { std::to_string(hop), reply.ReplyFrom, {}, {} };
        switch (reply.Outcome) {
        case ReplyOutcome::Echo:
            row.note = "Reached in : " + std::to_string(reply.ElapsedMs) + " ms";
            row.rdns = search_->ReverseName(reply.ReplyFrom);
            reached = true;
            break;
        case ReplyOutcome::TimedOut:
            row.ip = "?.?.?.?";
            row.note = "Timed out.";
            row.rdns = search_->ReverseName(reply.ReplyFrom);
            break;
        case ReplyOutcome::TtlExpired:
            row.note = "TTL=" + std::to_string(reply.ReplyTTL);
            row.rdns = search_->ReverseName(reply.ReplyFrom);
            break;
        case ReplyOutcome::Unreachable:
            row.note = "Destination network unreachable";
            AddTraceRow(tabId, row);
            return;
        }
        AddTraceRow(tabId, row);
        Ui().ProcessPendingInput();
        if (!TraceGoesOn(tabId))
            return;
    } while (!reached && hop < HighestHop);
}

void InvestigationController::DeleteTab()
{
    if (tabs_.empty())
        return;
    const int position = std::clamp(current_, 0, TabCount() - 1);
    const int id = tabs_[static_cast<size_t>(position)].id;
    tabs_.erase(tabs_.begin() + position);
    View().RemoveTab(id);
    if (tabs_.empty()) {
        current_ = -1;
        return;
    }
    // The tab after the deleted one, or the first when the last went.
    current_ = position < TabCount() ? position : 0;
    View().ShowCurrentTab(tabs_[static_cast<size_t>(current_)].id);
}

void InvestigationController::PasteEmail()
{
    const std::optional<std::string> clipboard = View().ClipboardText();
    if (!clipboard || !recipients_.text || !recipients_.setText)
        return;
    std::string recipients = recipients_.text();
    if (!recipients.empty())
        recipients += ",";
    recipients += Trim(*clipboard);
    recipients_.setText(recipients);
}

void InvestigationController::PasteEmailHard()
{
    if (recipients_.setText)
        recipients_.setText({});
    PasteEmail();
}

void InvestigationController::Close()
{
    if (closed_)
        return;
    while (!tabs_.empty())
        DeleteTab();
    closeRequested_ = true;
    if (running_ == 0)
        FinishClose();
}

void InvestigationController::FinishClose()
{
    closed_ = true;
    auto keepAlive = weak_from_this().lock();
    if (onClosed)
        onClosed();
}

} // namespace morvanta
