#pragma once

#include <functional>
#include <string>
#include <vector>

// What the browser windows and the URL launcher decide, apart from the web
// view that shows the pages.
namespace morvanta {

// Set to "1", it lets the web view run without its sandbox when the program
// runs as root (where the sandbox cannot run). Pages come from spam, so this
// is the user's explicit choice and never the program's.
inline constexpr const char* AllowUnsandboxedWebViewVariable = "MORVANTA_ALLOW_UNSANDBOXED_WEB_VIEW";

enum class WebViewStart {
    Sandboxed,
    Unsandboxed, // as root, with the variable set
    Refused, // as root, without it: no browser window opens
};

[[nodiscard]] WebViewStart DecideWebViewStart(bool runningAsRoot, const char* allowValue);

// Why no browser window opens, for the user.
[[nodiscard]] std::string WebViewRefusedText();
inline constexpr const char* WebViewRefusedTitle = "Browser";

// One browser window's rule for its navigations: the first one that
// completes maximises the window; a later one that completes at the
// reporting service's page closes it.
class BrowserPolicy {
public:
    enum class Action { None, Maximize, Close };

    explicit BrowserPolicy(std::string reportServiceUrl);

    // A navigation completed; the location is the web view's address now.
    // The page closes the window only when the whole address equals the
    // service's, byte for byte.
    [[nodiscard]] Action NavigationComplete(const std::string& location);
    [[nodiscard]] bool FirstNavigationDone() const { return firstNavigationDone_; }

    // The status line's texts.
    [[nodiscard]] static std::string LoadingStatus(const std::string& location) { return "Loading " + location; }
    static constexpr const char* DoneStatus = "Done";

    // The lines of a message the URL launcher opens, trimmed, in order:
    // those that hold "http://" (exactly so: "HTTP://" and "https://" alone
    // do not count). Each is opened whole, with any text around the address.
    [[nodiscard]] static std::vector<std::string> LinesToOpen(const std::vector<std::string>& lines);
    // The URL launcher: `open` once for each of those lines, in order.
    static void OpenUrlLines(const std::vector<std::string>& lines,
                             const std::function<void(const std::string& url)>& open);

private:
    std::string reportServiceUrl_;
    bool firstNavigationDone_ = false;
};

} // namespace morvanta
