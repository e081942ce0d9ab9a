#include "browser/BrowserPolicy.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace morvanta {
namespace {

using Lines = std::vector<std::string>;

TEST(BrowserPolicy, TheLauncherOpensEveryTrimmedLineHoldingHttpInLineOrder)
{
    const Lines message {
        "Received: from mx.example.net",
        "   http://first.example/offer   ",
        "Visit http://second.example/buy now!",
        "HTTP://CAPITALS.EXAMPLE/",
        "https://secure.example/",
        "\thttp://third.example/\t",
        "see https://a.example/ and http://fourth.example/",
        "",
    };
    EXPECT_EQ(BrowserPolicy::LinesToOpen(message),
              (Lines { "http://first.example/offer", "Visit http://second.example/buy now!", "http://third.example/",
                       "see https://a.example/ and http://fourth.example/" }));

    Lines opened;
    BrowserPolicy::OpenUrlLines(message, [&](const std::string& url) { opened.push_back(url); });
    EXPECT_EQ(opened, BrowserPolicy::LinesToOpen(message));
}

TEST(BrowserPolicy, NothingQualifiesNothingOpens)
{
    int opened = 0;
    BrowserPolicy::OpenUrlLines({ "no address here", "HTTP://LOUD.EXAMPLE/", "https://only.example/" },
                                [&](const std::string&) { ++opened; });
    EXPECT_EQ(opened, 0);
    // Without a way to open windows the command does nothing at all.
    BrowserPolicy::OpenUrlLines({ "http://a.example/" }, nullptr);
}

TEST(BrowserPolicy, TheFirstNavigationMaximisesEvenOnTheServicePage)
{
    const std::string service = "https://report.example/sc";
    BrowserPolicy policy(service);
    EXPECT_FALSE(policy.FirstNavigationDone());
    EXPECT_EQ(policy.NavigationComplete(service), BrowserPolicy::Action::Maximize);
    EXPECT_TRUE(policy.FirstNavigationDone());
    EXPECT_EQ(policy.NavigationComplete(service), BrowserPolicy::Action::Close);
}

TEST(BrowserPolicy, OnlyALaterNavigationToExactlyTheServicePageCloses)
{
    struct Case {
        const char* name;
        const char* location;
        BrowserPolicy::Action action;
    };
    const Case cases[] = {
        { "the service page", "https://report.example/sc", BrowserPolicy::Action::Close },
        { "another page", "https://report.example/other", BrowserPolicy::Action::None },
        { "a query after the path", "https://report.example/sc?id=1", BrowserPolicy::Action::None },
        { "a trailing slash", "https://report.example/sc/", BrowserPolicy::Action::None },
        { "other letter case", "https://report.example/SC", BrowserPolicy::Action::None },
        { "plain http", "http://report.example/sc", BrowserPolicy::Action::None },
        { "empty", "", BrowserPolicy::Action::None },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        BrowserPolicy policy("https://report.example/sc");
        ASSERT_EQ(policy.NavigationComplete("http://spam.example/"), BrowserPolicy::Action::Maximize);
        EXPECT_EQ(policy.NavigationComplete(c.location), c.action);
    }
}

TEST(BrowserPolicy, AnEmptyServiceAddressClosesNothing)
{
    BrowserPolicy policy("");
    ASSERT_EQ(policy.NavigationComplete(""), BrowserPolicy::Action::Maximize);
    EXPECT_EQ(policy.NavigationComplete(""), BrowserPolicy::Action::None);
}

TEST(BrowserPolicy, StatusTexts)
{
    EXPECT_EQ(BrowserPolicy::LoadingStatus("http://a.example/"), "Loading http://a.example/");
    EXPECT_STREQ(BrowserPolicy::DoneStatus, "Done");
}

TEST(BrowserPolicy, AsRootTheWebViewRunsUnsandboxedOnlyWhenTheUserSaysSo)
{
    struct Case {
        const char* name;
        bool root;
        const char* value;
        WebViewStart start;
    };
    const Case cases[] = {
        { "ordinary user", false, nullptr, WebViewStart::Sandboxed },
        { "ordinary user with the variable", false, "1", WebViewStart::Sandboxed },
        { "root without the variable", true, nullptr, WebViewStart::Refused },
        { "root with the variable empty", true, "", WebViewStart::Refused },
        { "root with the variable 0", true, "0", WebViewStart::Refused },
        { "root with the variable yes", true, "yes", WebViewStart::Refused },
        { "root with the variable 1", true, "1", WebViewStart::Unsandboxed },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(DecideWebViewStart(c.root, c.value), c.start);
    }
    EXPECT_NE(WebViewRefusedText().find("MORVANTA_ALLOW_UNSANDBOXED_WEB_VIEW=1"), std::string::npos);
}

} // namespace
} // namespace morvanta
