#pragma once

#include "investigate/ContactSearch.h"
#include "investigate/InvestigationView.h"
#include "net/IcmpClient.h"

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace morvanta {

class Config;

// The mailer's E-Mails box, which the paste commands fill.
struct RecipientsBox {
    std::function<std::string()> text;
    std::function<void(const std::string&)> setText;
};

// The logic behind the investigation window: its result tabs, its status
// line and its commands (whois, magic whois, IP block, abuse contact,
// reverse DNS, traceroute, the paste commands, delete tab and close). It owns
// the program's one ICMP client and shares the contact search, whose WHOIS
// client all the WHOIS commands use.
//
// Some commands let pending input through (the magic whois, the registry
// chase, the traceroute). The user may delete a tab or close the window
// then: a command writes only into its own tab while that tab exists, a
// trace whose tab is gone or whose window is closing stops, and a close
// completes when the last running command has returned.
class InvestigationController : public std::enable_shared_from_this<InvestigationController> {
public:
    static constexpr int TraceProbeTimeout = 5000;
    static constexpr int PreliminaryHopLimit = 30;
    static constexpr int HighestHop = 31;
    static constexpr int CreatedReceiveTimeout = 60000;

    // The settings must outlive the controller. The controller routes the
    // search's status texts into its own status line while it lives.
    InvestigationController(const Config& config, std::shared_ptr<ContactSearch> search);
    ~InvestigationController();
    InvestigationController(const InvestigationController&) = delete;
    InvestigationController& operator=(const InvestigationController&) = delete;

    // The window is created: its server box gets the default server and the
    // lines of WhoisList.txt. The view must stay valid until DetachView.
    void AttachView(InvestigationView& view);
    // The window is gone; the controller may still finish a command.
    void DetachView();

    void ConnectRecipients(RecipientsBox box) { recipients_ = std::move(box); }

    [[nodiscard]] const std::shared_ptr<ContactSearch>& SearchPointer() const { return search_; }
    [[nodiscard]] IcmpClient& Icmp() { return icmp_; }

    // The result tabs in tab order; the current one by position (-1: none).
    [[nodiscard]] int TabCount() const { return static_cast<int>(tabs_.size()); }
    [[nodiscard]] const std::vector<ResultTab>& Tabs() const { return tabs_; }
    [[nodiscard]] int CurrentTab() const { return current_; }
    [[nodiscard]] const ResultTab* FindTab(int id) const;
    // The user made another tab current.
    void SelectTab(int position);

    [[nodiscard]] const std::string& Status() const { return status_; }

    // The commands of the window's buttons.
    void RunWhois();
    void RunMagicWhois();
    void RunIPBlock();
    void RunAbuseContact();
    void RunReverseDns();
    void RunTraceroute();

    // Asks the server box's server for the network block of the URL box's
    // address ("-a" before the address for RIPE's server, else "+"). A
    // socket error is shown in the status line and gives an empty text.
    [[nodiscard]] std::string QueryIPBlock();

    // Probes the address with rising hop limits, one row per probe, until
    // the address answers, a router reports it unreachable, or hop 31.
    void RunTrace(int tabId, const std::string& address);

    // The commands of the menu.
    void DeleteTab();
    void PasteEmail();
    void PasteEmailHard();
    // Deletes every tab and closes; when a command is still running, the
    // close completes when it returns. Then onClosed is called, once.
    void Close();

    [[nodiscard]] bool Busy() const { return running_ > 0; }
    [[nodiscard]] bool Closed() const { return closed_; }
    std::function<void()> onClosed;

    // The message of the socket error that emptied the last IP block, or that
    // kept the last traceroute from resolving its target; nothing when they
    // succeeded.
    [[nodiscard]] const std::optional<std::string>& LastFailure() const { return lastFailure_; }

    // How long each probe of a trace waits.
    void SetProbeTimeout(int milliseconds) { probeTimeout_ = milliseconds; }

private:
    class CommandScope;

    [[nodiscard]] InvestigationView& View() { return view_ ? *view_ : detachedFields_; }
    void SetStatus(const std::string& text);
    int OpenTab(const std::string& caption, TabKind kind);
    [[nodiscard]] ResultTab* TabById(int id);
    [[nodiscard]] bool TabExists(int id) const { return FindTab(id) != nullptr; }
    void WriteTabText(int id, const std::string& text);
    void AddTraceRow(int id, const TraceRow& row);
    // Whether a trace writing into the tab may go on.
    [[nodiscard]] bool TraceGoesOn(int tabId) const { return TabExists(tabId) && !closeRequested_; }
    void ProbeHost(const std::string& address, int hopLimit);
    void FinishClose();

    const Config& config_;
    std::shared_ptr<ContactSearch> search_;
    ContactSearch::StatusSink previousSearchStatus_;
    IcmpClient icmp_;
    InvestigationView* view_ = nullptr;
    InvestigationFields detachedFields_;
    RecipientsBox recipients_;
    std::vector<ResultTab> tabs_;
    int current_ = -1;
    int lastTabId_ = 0;
    std::string status_;
    std::optional<std::string> lastFailure_;
    int probeTimeout_ = TraceProbeTimeout;
    int running_ = 0;
    bool closeRequested_ = false;
    bool closed_ = false;
};

} // namespace morvanta
