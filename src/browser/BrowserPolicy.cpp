#include "browser/BrowserPolicy.h"

#include "base/Text.h"

#include <cstring>

namespace morvanta {

WebViewStart DecideWebViewStart(bool runningAsRoot, const char* allowValue)
{
    if (!runningAsRoot)
        return WebViewStart::Sandboxed;
    if (allowValue != nullptr && std::strcmp(allowValue, "1") == 0)
        return WebViewStart::Unsandboxed;
    return WebViewStart::Refused;
}

std::string WebViewRefusedText()
{
    return std::string("The page is not opened. Morvanta is running as root, where the web view cannot use its "
                       "sandbox, and pages taken from spam are not shown without it.\r\n\r\n"
                       "Run Morvanta as an ordinary user, or set the environment variable ")
           + AllowUnsandboxedWebViewVariable
           + "=1 before starting it to open pages without the sandbox at your own risk.";
}

BrowserPolicy::BrowserPolicy(std::string reportServiceUrl)
    : reportServiceUrl_(std::move(reportServiceUrl))
{
}

BrowserPolicy::Action BrowserPolicy::NavigationComplete(const std::string& location)
{
    if (!firstNavigationDone_) {
        firstNavigationDone_ = true;
        return Action::Maximize;
    }
    return !reportServiceUrl_.empty() && location == reportServiceUrl_ ? Action::Close : Action::None;
}

std::vector<std::string> BrowserPolicy::LinesToOpen(const std::vector<std::string>& lines)
{
    std::vector<std::string> result;
    for (const std::string& line : lines) {
        std::string trimmed = Trim(line);
        if (Contains(trimmed, "http://"))
            result.push_back(std::move(trimmed));
    }
    return result;
}

void BrowserPolicy::OpenUrlLines(const std::vector<std::string>& lines,
                                 const std::function<void(const std::string& url)>& open)
{
    if (!open)
        return;
    for (const std::string& line : LinesToOpen(lines))
        open(line);
}

} // namespace morvanta
