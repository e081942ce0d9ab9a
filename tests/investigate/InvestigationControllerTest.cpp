#include "investigate/InvestigationController.h"

#include "app/Config.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/RecordingUi.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "net/NetError.h"

#include <gtest/gtest.h>

#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace morvanta::test {
namespace {

using namespace whois_text;

// A controller over a contact search aimed at loopback registries, with the
// window's fields as plain texts.
class InvestigationControllerTest : public ::testing::Test {
protected:
    InvestigationControllerTest()
        : config(folder.Path())
    {
        registries.Configure(config);
        search = std::make_shared<ContactSearch>(config, report);
        controller = std::make_shared<InvestigationController>(config, search);
        controller->AttachView(fields);
    }

    [[nodiscard]] const ResultTab& LastTab() const { return controller->Tabs().back(); }

    // Opens a tab without touching the network.
    void OpenTextTab(const std::string& text)
    {
        fields.url = text;
        controller->RunReverseDns();
    }

    [[nodiscard]] std::vector<std::string> TabTexts() const
    {
        std::vector<std::string> texts;
        for (const ResultTab& tab : controller->Tabs())
            texts.push_back(tab.text);
        return texts;
    }

    TempDir folder;
    LoopbackRegistries registries;
    Config config;
    ReportContext report;
    RecordingUi ui;
    InvestigationFields fields;
    std::shared_ptr<ContactSearch> search;
    std::shared_ptr<InvestigationController> controller;
};

TEST_F(InvestigationControllerTest, TheServerBoxOffersTheDefaultAndTheLinesOfWhoisList)
{
    EXPECT_EQ(fields.server, config.DefaultWhoisHost);
    EXPECT_TRUE(fields.serverList.empty()) << "no WhoisList.txt";

    WriteFile(folder / "WhoisList.txt", "whois.one.example\r\n\r\nwhois.two.example\nlast.example");
    InvestigationFields another;
    auto second = std::make_shared<InvestigationController>(config, std::make_shared<ContactSearch>(config, report));
    second->AttachView(another);
    EXPECT_EQ(another.server, config.DefaultWhoisHost);
    EXPECT_EQ(another.serverList,
              (std::vector<std::string> { "whois.one.example", "", "whois.two.example", "last.example" }));
    EXPECT_EQ(second->TabCount(), 0);
}

TEST_F(InvestigationControllerTest, WhoisSendsTheArgumentsABlankAndTheResolvedAddress)
{
    struct Case {
        const char* name;
        std::string url;
        std::string arguments;
        std::string query;
    };
    const Case cases[] = {
        { "bare address", "127.0.0.1", "", "127.0.0.1" },
        { "arguments before the address", "127.0.0.1", "-a", "-a 127.0.0.1" },
        { "trimmed as a whole", "127.0.0.1", "  n + ", "n +  127.0.0.1" },
        { "a host name is resolved", "LocalHost", "", "127.0.0.1" },
    };
    registries.AnswerOthers(Registry::Ripe, [](const std::string& query) { return "asked " + query + "\nline\n"; });
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        registries.ClearQueries();
        fields.statusHistory.clear();
        fields.url = c.url;
        fields.arguments = c.arguments;
        fields.server = registries.Host(Registry::Ripe);

        controller->RunWhois();

        EXPECT_EQ(registries.QueriesTo(Registry::Ripe), std::vector<std::string> { c.query });
        EXPECT_EQ(LastTab().caption, "whois");
        EXPECT_EQ(LastTab().text, "asked " + c.query + "\r\nline\r\n");
        EXPECT_EQ(controller->CurrentTab(), controller->TabCount() - 1);
        EXPECT_EQ(fields.statusHistory,
                  (std::vector<std::string> { "Searching " + fields.server + "...", "Disconnected" }));
    }
    EXPECT_EQ(controller->TabCount(), 4);
}

TEST_F(InvestigationControllerTest, WhoisFailureEndsTheCommandWithAnEmptyTab)
{
    registries.Refuse(Registry::Ripe);
    fields.url = "127.0.0.1";
    fields.server = registries.Host(Registry::Ripe);

    try {
        controller->RunWhois();
        ADD_FAILURE() << "no error";
    } catch (const SocketError& error) {
        EXPECT_EQ(error.code(), 10061);
    }
    ASSERT_EQ(controller->TabCount(), 1);
    EXPECT_EQ(LastTab().text, "");
    EXPECT_EQ(fields.status, "Searching " + fields.server + "...");
}

TEST_F(InvestigationControllerTest, MagicWhoisShowsEachRegistryAndFillsItsTab)
{
    registries.Answer(Registry::Arin, "193.0.0.1", ArinRipeRange("193.0.0.0 - 193.255.255.255"));
    registries.Answer(Registry::Ripe, "193.0.0.1", "inetnum: 193.0.0.0 - 193.0.7.255\nabuse-mailbox: a@ripe.example\n");
    fields.url = "193.0.0.1";

    controller->RunMagicWhois();

    EXPECT_EQ(LastTab().caption, "whois");
    EXPECT_EQ(LastTab().text, "inetnum: 193.0.0.0 - 193.0.7.255\r\nabuse-mailbox: a@ripe.example\r\n");
    EXPECT_EQ(fields.statusHistory,
              (std::vector<std::string> { "Searching ARIN...", "Searching RIPE...", "Disconnected" }));
    EXPECT_EQ(ui.pendingInputCalls, 2) << "once before the chase, once before RIPE";
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(InvestigationControllerTest, MagicWhoisFailureShowsTheMessageThenDisconnected)
{
    registries.Refuse(Registry::Arin);
    fields.url = "193.0.0.1";

    controller->RunMagicWhois();

    EXPECT_EQ(LastTab().text, "");
    EXPECT_EQ(fields.statusHistory,
              (std::vector<std::string> { "Searching ARIN...",
                                          registries.Host(Registry::Arin) + ":" + std::to_string(config.WhoisPort)
                                              + ": " + SocketErrorMessage(10061),
                                          "Disconnected" }));
    EXPECT_TRUE(ui.messages.empty());
}

TEST_F(InvestigationControllerTest, MagicWhoisReportsAFailureOutsideTheChaseInAMessageBox)
{
    ui.onPendingInput = [calls = 0]() mutable {
        if (++calls == 1)
            throw std::runtime_error("the input went wrong");
    };
    search->whois_.Host = "whois.last.example";
    fields.url = "193.0.0.1";

    controller->RunMagicWhois();

    ASSERT_EQ(ui.messages.size(), 1u);
    EXPECT_EQ(ui.messages[0].text, "Error occurred when attempting to contact WHOIS server whois.last.example.  Full "
                                   "error message:\n\nthe input went wrong");
    EXPECT_EQ(ui.messages[0].buttons, MessageButtons::Ok);
    EXPECT_EQ(fields.status, "Disconnected");
    EXPECT_EQ(LastTab().text, "");
    EXPECT_TRUE(registries.Queries().empty());
}

TEST_F(InvestigationControllerTest, IPBlockAsksWithPlusOrWithDashAForRipesServer)
{
    ScriptedTcpServer server([](PeerConnection& peer) {
        std::optional<std::string> line = peer.ReadLine();
        peer.Send("block for " + line.value_or("?") + "\n");
        peer.Close();
    });
    config.WhoisPort = server.Port();
    config.RipeWhoisHost = "localhost";
    struct Case {
        const char* name;
        std::string server;
        std::string url;
        std::string query;
    };
    const Case cases[] = {
        { "RIPE's server", "localhost", "127.0.0.1", "-a 127.0.0.1" },
        { "RIPE's server in other letters", "LOCALHOST", "127.0.0.1", "+ 127.0.0.1" },
        { "another server", "127.0.0.1", "127.0.0.1", "+ 127.0.0.1" },
        { "the URL box trimmed", "127.0.0.1", " \t127.0.0.1 ", "+ 127.0.0.1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fields.statusHistory.clear();
        fields.server = c.server;
        fields.url = c.url;

        controller->RunIPBlock();

        EXPECT_EQ(LastTab().caption, "IP Block");
        EXPECT_EQ(LastTab().text, "block for " + c.query + "\r\r\n");
        EXPECT_EQ(fields.statusHistory, (std::vector<std::string> { "Searching " + c.server + "...", "Disconnected" }));
        EXPECT_FALSE(controller->LastFailure());
    }
}

TEST_F(InvestigationControllerTest, IPBlockShowsASocketErrorAndGivesAnEmptyTab)
{
    registries.Refuse(Registry::Arin);
    fields.server = registries.Host(Registry::Arin);
    struct Case {
        const char* name;
        std::string url;
        int code;
    };
    const Case cases[] = {
        { "refused", "127.0.0.1", 10061 },
        { "unknown name", "nowhere.invalid", 11001 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fields.statusHistory.clear();
        fields.url = c.url;

        controller->RunIPBlock();

        EXPECT_EQ(LastTab().text, "");
        EXPECT_EQ(fields.statusHistory, (std::vector<std::string> { "Searching " + fields.server + "...",
                                                                    SocketErrorMessage(c.code), "Disconnected" }));
        EXPECT_EQ(controller->LastFailure(), SocketErrorMessage(c.code));
    }
}

TEST_F(InvestigationControllerTest, AbuseContactAsksTheServiceAboutTheDomain)
{
    registries.Answer(Registry::Abuse, "-h spam.example", "spam.example: abuse@spam.example\n");
    fields.url = " spam.example ";

    controller->RunAbuseContact();

    EXPECT_EQ(LastTab().caption, "Abuse");
    EXPECT_EQ(LastTab().text, "spam.example: abuse@spam.example\r\n");
    EXPECT_EQ(fields.statusHistory,
              (std::vector<std::string> { "Searching " + config.AbuseWhoisHost + "...", "Disconnected" }));
}

TEST_F(InvestigationControllerTest, AbuseContactFailureShowsTheMessageAndLeavesTheTabEmpty)
{
    registries.Refuse(Registry::Abuse);
    fields.url = "spam.example";

    controller->RunAbuseContact();

    EXPECT_EQ(LastTab().text, "");
    EXPECT_EQ(fields.statusHistory,
              (std::vector<std::string> { "Searching " + config.AbuseWhoisHost + "...",
                                          config.AbuseWhoisHost + ":" + std::to_string(config.WhoisPort) + ": "
                                              + SocketErrorMessage(10061),
                                          "Disconnected" }));
}

TEST_F(InvestigationControllerTest, ReverseDnsNamesAnAddressOrSaysItIsNone)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n127.0.0.5 official.test alias.test\n", [&] {
        std::vector<std::string> results;
        for (const char* url : { " 127.0.0.5 ", "127.0.0.6", "not.an.address ", "1.2.3" }) {
            fields.url = url;
            controller->RunReverseDns();
            results.push_back(LastTab().caption + "|" + LastTab().text);
        }
        results.push_back(fields.statusHistory.front());
        results.push_back(fields.statusHistory.back());
        return PackFields(results);
    });
    if (!outcome)
        GTEST_SKIP() << "no private network namespace on this system";
    EXPECT_EQ(UnpackFields(*outcome), (std::vector<std::string> {
                                          "rDNS|Canonical name: official.test",
                                          "rDNS|Canonical name: No rDNS",
                                          "rDNS|not.an.address is not an IP address.",
                                          "rDNS|1.2.3 is not an IP address.",
                                          "Performing rDNS...",
                                          "Disconnected",
                                      }));
}

TEST_F(InvestigationControllerTest, AbuseContactForAnAddressWithoutANameAsksNothing)
{
    auto outcome = RunInPrivateNetwork("127.0.0.1 localhost\n", [&] {
        LoopbackRegistries inside;
        inside.Configure(config);
        fields.url = "127.0.0.6";
        controller->RunAbuseContact();
        return PackFields({ LastTab().text, std::to_string(inside.Queries().size()), fields.status });
    });
    if (!outcome)
        GTEST_SKIP() << "no private network namespace on this system";
    EXPECT_EQ(UnpackFields(*outcome), (std::vector<std::string> { "", "0", "Disconnected" }));
}

TEST_F(InvestigationControllerTest, DeleteTabRemovesTheCurrentOneAndMakesTheNextCurrent)
{
    controller->DeleteTab();
    EXPECT_EQ(controller->TabCount(), 0) << "nothing to delete";

    for (const char* text : { "a", "b", "c", "d" })
        OpenTextTab(text);
    ASSERT_EQ(controller->TabCount(), 4);
    EXPECT_EQ(controller->CurrentTab(), 3);

    controller->SelectTab(1);
    controller->DeleteTab();
    EXPECT_EQ(TabTexts(), (std::vector<std::string> { "a is not an IP address.", "c is not an IP address.",
                                                      "d is not an IP address." }));
    EXPECT_EQ(controller->CurrentTab(), 1) << "the one after the deleted tab";

    controller->SelectTab(2);
    controller->DeleteTab();
    EXPECT_EQ(controller->CurrentTab(), 0) << "the first, when the last was deleted";
    EXPECT_EQ(controller->TabCount(), 2);

    controller->DeleteTab();
    controller->DeleteTab();
    EXPECT_EQ(controller->TabCount(), 0);
    EXPECT_EQ(controller->CurrentTab(), -1);
}

TEST_F(InvestigationControllerTest, PasteAppendsTheTrimmedClipboardToTheRecipients)
{
    std::string recipients;
    controller->ConnectRecipients({ [&] { return recipients; }, [&](const std::string& text) { recipients = text; } });
    struct Case {
        const char* name;
        bool hard;
        std::string before;
        std::optional<std::string> clipboard;
        std::string after;
    };
    const Case cases[] = {
        { "appended after a comma", false, "a@one.example", " b@two.example\r\n", "a@one.example,b@two.example" },
        { "into an empty box", false, "", "\tb@two.example ", "b@two.example" },
        { "no text on the clipboard", false, "a@one.example", std::nullopt, "a@one.example" },
        { "hard: the box is emptied first", true, "a@one.example", "b@two.example", "b@two.example" },
        { "hard: emptied even without text", true, "a@one.example", std::nullopt, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        recipients = c.before;
        fields.clipboard = c.clipboard;
        if (c.hard)
            controller->PasteEmailHard();
        else
            controller->PasteEmail();
        EXPECT_EQ(recipients, c.after);
    }
}

TEST_F(InvestigationControllerTest, CloseDeletesEveryTabAndReportsOnce)
{
    int closed = 0;
    controller->onClosed = [&closed] { ++closed; };
    OpenTextTab("a");
    OpenTextTab("b");

    controller->Close();
    controller->Close();

    EXPECT_EQ(controller->TabCount(), 0);
    EXPECT_TRUE(controller->Closed());
    EXPECT_EQ(closed, 1);
}

// The chase lets input through before it asks RIPE: the user acts then.
class PausedChaseTest : public InvestigationControllerTest {
protected:
    PausedChaseTest()
    {
        registries.Answer(Registry::Arin, "193.0.0.1", ArinRipeRange("193.0.0.0 - 193.255.255.255"));
        registries.Answer(Registry::Ripe, "193.0.0.1", "found\n");
    }

    // Acts at the second pending-input point, where the chase shows "Searching RIPE...".
    void DuringTheChase(std::function<void()> action)
    {
        ui.onPendingInput = [this, action, calls = 0]() mutable {
            if (++calls == 2)
                action();
        };
    }
};

TEST_F(PausedChaseTest, DeletingItsTabLetsTheChaseFinishWithoutWritingAnywhere)
{
    OpenTextTab("earlier");
    DuringTheChase([this] {
        controller->DeleteTab();
        OpenTextTab("started meanwhile");
    });

    fields.url = "193.0.0.1";
    controller->RunMagicWhois();

    EXPECT_EQ(TabTexts(), (std::vector<std::string> { "earlier is not an IP address.",
                                                      "started meanwhile is not an IP address." }));
    EXPECT_EQ(registries.QueriesTo(Registry::Ripe), std::vector<std::string> { "193.0.0.1" });
    EXPECT_EQ(fields.status, "Disconnected");
}

TEST_F(PausedChaseTest, ClosingTheWindowCompletesWhenTheChaseReturns)
{
    int closed = 0;
    bool busyWhenClosed = false;
    controller->onClosed = [&] {
        ++closed;
        busyWhenClosed = controller->Busy();
        // The owner lets go of the controller: the command still running keeps it.
        controller.reset();
    };
    std::weak_ptr<InvestigationController> watched = controller;
    DuringTheChase([this, &closed] {
        controller->Close();
        EXPECT_EQ(closed, 0) << "not while the chase runs";
        EXPECT_EQ(controller->TabCount(), 0);
    });

    fields.url = "193.0.0.1";
    std::shared_ptr<InvestigationController> running = controller;
    InvestigationController* raw = running.get();
    running.reset();
    raw->RunMagicWhois();

    EXPECT_EQ(closed, 1);
    EXPECT_FALSE(busyWhenClosed);
    EXPECT_TRUE(watched.expired()) << "destroyed once the command returned";
    EXPECT_EQ(registries.QueriesTo(Registry::Ripe), std::vector<std::string> { "193.0.0.1" })
        << "the chase ran to its end";
}

TEST_F(PausedChaseTest, NoCommandStartsOnceTheWindowIsClosing)
{
    DuringTheChase([this] {
        controller->Close();
        fields.url = "x";
        controller->RunReverseDns();
    });

    fields.url = "193.0.0.1";
    controller->RunMagicWhois();

    EXPECT_EQ(controller->TabCount(), 0);
    EXPECT_TRUE(controller->Closed());
}

} // namespace
} // namespace morvanta::test
