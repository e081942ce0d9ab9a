#pragma once

#include <optional>
#include <string>
#include <vector>

namespace morvanta {

enum class TabKind { Text, Trace };

// One row of a trace: the hop number, who answered, what the answer was,
// and the answering machine's name.
struct TraceRow {
    std::string hop;
    std::string ip;
    std::string note;
    std::string rdns;

    friend bool operator==(const TraceRow&, const TraceRow&) = default;
};

// A result tab: a text box, or the list of a trace.
struct ResultTab {
    int id = 0;
    std::string caption;
    TabKind kind = TabKind::Text;
    std::string text;
    std::vector<TraceRow> rows;
};

// The investigation window's fields as its controller reads and writes them.
// The Qt window implements it over its widgets; morvanta-cli and the tests
// over plain texts (InvestigationFields). Every text is the core's byte
// string; the window converts with the locale's codec.
class InvestigationView {
public:
    virtual ~InvestigationView() = default;

    // The URL box: the address or name to look into.
    [[nodiscard]] virtual std::string Url() const = 0;
    virtual void SetUrl(const std::string& text) = 0;
    // The server box: its text and its drop-down list.
    [[nodiscard]] virtual std::string Server() const = 0;
    virtual void SetServer(const std::string& text) = 0;
    virtual void SetServerList(const std::vector<std::string>& servers) = 0;
    // The arguments box.
    [[nodiscard]] virtual std::string Arguments() const = 0;
    // The one-line status bar.
    virtual void SetStatus(const std::string& text) = 0;
    // The clipboard's text; nothing when it holds none.
    [[nodiscard]] virtual std::optional<std::string> ClipboardText() const = 0;

    // The tab control follows the controller's tabs: a tab is added at the
    // end, removed, made current, and its content changed, always by id.
    virtual void AddTab(const ResultTab& tab) = 0;
    virtual void RemoveTab(int id) = 0;
    virtual void ShowCurrentTab(int id) = 0;
    virtual void SetTabText(int id, const std::string& text) = 0;
    virtual void ClearTraceRows(int id) = 0;
    virtual void AddTraceRow(int id, const TraceRow& row) = 0;
};

// A view over plain texts, for morvanta-cli and the tests. The tabs
// themselves are the controller's; this view keeps only what it is told.
class InvestigationFields : public InvestigationView {
public:
    std::string url;
    std::string server;
    std::vector<std::string> serverList;
    std::string arguments;
    std::string status;
    // Every status text in order.
    std::vector<std::string> statusHistory;
    std::optional<std::string> clipboard;

    [[nodiscard]] std::string Url() const override { return url; }
    void SetUrl(const std::string& text) override { url = text; }
    [[nodiscard]] std::string Server() const override { return server; }
    void SetServer(const std::string& text) override { server = text; }
    void SetServerList(const std::vector<std::string>& servers) override { serverList = servers; }
    [[nodiscard]] std::string Arguments() const override { return arguments; }
    void SetStatus(const std::string& text) override
    {
        status = text;
        statusHistory.push_back(text);
    }
    [[nodiscard]] std::optional<std::string> ClipboardText() const override { return clipboard; }

    void AddTab(const ResultTab&) override { }
    void RemoveTab(int) override { }
    void ShowCurrentTab(int) override { }
    void SetTabText(int, const std::string&) override { }
    void ClearTraceRows(int) override { }
    void AddTraceRow(int, const TraceRow&) override { }
};

} // namespace morvanta
