// Saves pictures of the investigation window with a few tabs filled: a
// WHOIS answer, a reverse DNS name, an abuse contact and a trace, all
// against peers of its own (loopback registries and a routed network of
// namespaces). Started by scripts/screenshots-investigation.sh.
#include "app/Config.h"
#include "fixtures/RoutedNetwork.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "investigate/gui/InvestigationWindow.h"

#include <QApplication>
#include <QTabWidget>

#include <iostream>
#include <memory>
#include <string>

using namespace morvanta;
using namespace morvanta::test;

namespace {

const std::string Hosts = "10.0.1.2 gw1.isp.example.net\n"
                          "10.0.2.2 core2.transit.example.org\n"
                          "10.0.3.2 relay.spam.example\n";

bool Save(QWidget& window, const std::string& path)
{
    QApplication::processEvents();
    if (!window.grab().save(QString::fromStdString(path))) {
        std::cerr << "cannot write " << path << "\n";
        return false;
    }
    std::cout << path << std::endl;
    return true;
}

std::string TakePictures(const std::string& outputFolder, const std::string& suffix)
{
    int argc = 1;
    char name[] = "investigation_screens";
    char* argv[] = { name, nullptr };
    QApplication application(argc, argv);

    TempDir folder;
    WriteFile(folder / "WhoisList.txt", ReadFile(std::string(MORVANTA_PROGRAM_DIR) + "/WhoisList.txt"));
    LoopbackRegistries registries;
    Config config(folder.Path());
    registries.Configure(config);
    registries.Answer(Registry::Arin, "10.0.3.2",
                      whois_text::ArinNetwork("10.0.3.0 - 10.0.3.255", "Spam Relay Hosting", "abuse@spam.example",
                                              "noc@spam.example"));
    registries.Answer(Registry::Abuse, "-h relay.spam.example",
                      whois_text::AbuseServiceAnswer("relay.spam.example", "abuse@spam.example"));
    ReportContext report;

    auto controller
        = std::make_shared<InvestigationController>(config, std::make_shared<ContactSearch>(config, report));
    InvestigationWindow window(controller);
    window.show();
    window.SetUrl(routed::Target);
    window.SetServer(config.DefaultWhoisHost);
    controller->RunWhois();
    controller->RunReverseDns();
    controller->RunAbuseContact();
    controller->RunTraceroute();
    // The server box shows a name, as it would for a user.
    window.SetServer("whois.arin.net");

    bool saved = Save(window, outputFolder + "/investigation-trace-" + suffix + ".png");
    window.findChild<QTabWidget*>("resultTabs")->setCurrentIndex(0);
    saved = Save(window, outputFolder + "/investigation-whois-" + suffix + ".png") && saved;
    window.findChild<QTabWidget*>("resultTabs")->setCurrentIndex(1);
    saved = Save(window, outputFolder + "/investigation-rdns-" + suffix + ".png") && saved;
    return saved ? "saved" : "not saved";
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 3) {
        std::cerr << "usage: investigation_screens OUTDIR SUFFIX\n";
        return 2;
    }
    const std::string outputFolder = argv[1];
    const std::string suffix = argv[2];
    RoutedNetworkOptions options;
    options.limit = std::chrono::seconds(120);
    std::optional<std::string> result = RunInRoutedNetwork(
        Hosts, [&] { return TakePictures(outputFolder, suffix); }, options);
    if (!result) {
        std::cerr << "The pictures need a routed network of namespaces: run as root with ip(8) installed.\n";
        return 1;
    }
    if (*result != "saved") {
        std::cerr << *result << "\n";
        return 1;
    }
    return 0;
}
