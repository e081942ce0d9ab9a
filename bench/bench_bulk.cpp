// A bulk run of 1,000 saved messages with morvanta-cli bulk, one process
// for the whole folder as a cron job would start it, against loopback WHOIS
// registries and a loopback mail server: once with every source address
// cached (target: 200 messages per second or more, peak memory under 60 MB)
// and once with none cached, so that every message costs a registry chase.
// The mail server is a peer that answers at once, so that the figures are
// the program's; one more run with every address cached goes to aiosmtpd,
// whose own speed then bounds the rate.
// The run without a cache is made in a network namespace of its own whose
// name service is a hosts file, so the reverse look-ups of the searches
// never leave it.
#include "base/Clock.h"
#include "base/Text.h"
#include "fixtures/CliProcess.h"
#include "fixtures/PrivateNetwork.h"
#include "fixtures/ScriptedTcpServer.h"
#include "fixtures/SmtpTestServer.h"
#include "fixtures/TestFiles.h"
#include "fixtures/WhoisRegistries.h"
#include "tables/TableDef.h"
#include "tables/TableFile.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

namespace {

using namespace morvanta;
using namespace morvanta::test;

constexpr int Messages = 1000;
constexpr double RateTarget = 200; // messages per second, all cached
constexpr long PeakMemoryTargetKB = 60 * 1024;

std::string SourceOf(int index)
{
    // Global addresses: special-purpose ones are never a message's source.
    // Only loopback registries are asked about them.
    return "62.4." + std::to_string(index / 250) + "." + std::to_string(index % 250 + 1);
}

std::string SavedMessage(int index)
{
    return "Return-Path: <bounce@spam.example>\r\n"
           "Received: from relay.spam.example (relay.spam.example ["
           + SourceOf(index)
           + "])\r\n"
             "\tby mx.mine.example (Postfix) with ESMTP id 4F1A2C0\r\n"
             "From: \"Prize Office\" <winner@spam.example>\r\n"
             "Subject: You have won "
           + std::to_string(index)
           + "\r\n\r\n"
             "Send your bank details to claim the prize.\r\n"
             "The offer ends today.\r\n";
}

struct RunFigures {
    double seconds = 0;
    long peakKilobytes = 0;
    int exitStatus = -1;
    size_t linesSent = 0;
};

// Runs morvanta-cli to its end with standard output counted and standard
// error dropped; its time and peak memory as the kernel counted them.
RunFigures RunCli(const std::vector<std::string>& arguments, const std::string& home)
{
    auto start = std::chrono::steady_clock::now();
    CliProcess cli(arguments, { "XDG_CONFIG_HOME=" + home });
    CliProcess::Ending ending = cli.Finish();
    RunFigures figures;
    figures.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    figures.peakKilobytes = ending.peakKilobytes;
    figures.exitStatus = ending.exitStatus;
    for (const std::string& line : SplitLines(ending.output))
        figures.linesSent += line.size() > 5 && line.compare(line.size() - 5, 5, "\tsent") == 0 ? 1 : 0;
    return figures;
}

// A mail server that takes every message at once: a loopback peer that
// costs next to nothing, so the figures are the program's own. It answers
// one command at a time (no PIPELINING), so that its replies never wait for
// an acknowledgement.
PeerHandler QuickSmtpPeer()
{
    return [](PeerConnection& peer) {
        peer.Send("220 mx.bench ESMTP\r\n");
        while (auto line = peer.ReadLine()) {
            if (line->rfind("DATA", 0) == 0) {
                peer.Send("354 Go ahead\r\n");
                while (auto data = peer.ReadLine())
                    if (*data == ".\r")
                        break;
                peer.Send("250 2.0.0 Queued\r\n");
            } else if (line->rfind("QUIT", 0) == 0) {
                peer.Send("221 2.0.0 Bye\r\n");
                return;
            } else {
                peer.Send("250 2.0.0 Ok\r\n");
            }
        }
    };
}

enum class MailPeer { Quick, Aiosmtpd };

// The program folder and the folder of saved messages of one run.
struct BulkSetup {
    TempDir program;
    TempDir home;
    TempDir inbox;

    explicit BulkSetup(bool cached)
    {
        WriteFile(program / "VirusReport.txt", "The message below came from %IP%.\r\nPlease stop it.\r\n");
        if (cached) {
            const int today = SystemClock::Instance().LocalNow().DayNumber();
            std::vector<TableRow> rows;
            for (int i = 0; i < Messages; ++i) {
                std::string dashed = ReplaceAll(SourceOf(i), ".", "-");
                rows.push_back({ 0,
                                 { SourceOf(i), "abuse@" + dashed + ".example.net", TableDate { today }, "",
                                   TableDate { today - 31 }, std::int64_t { 1 } } });
            }
            WriteTableFile(program / "IPList.db", IPListTableDef(), rows);
        }
        for (int i = 0; i < Messages; ++i)
            WriteFile(inbox / ("m" + std::to_string(i) + ".eml"), SavedMessage(i));
    }

    // Starts the peers, aims the settings at them and runs the tool.
    [[nodiscard]] RunFigures Run(MailPeer mailPeer) const
    {
        LoopbackRegistries registries;
        registries.AnswerOthers(Registry::Arin, whois_text::ArinLikeResponder());
        std::unique_ptr<SmtpTestServer> aiosmtpd;
        std::unique_ptr<ScriptedTcpServer> quick;
        int port = 0;
        if (mailPeer == MailPeer::Aiosmtpd) {
            SmtpTestServer::Options options;
            options.store = false;
            aiosmtpd = std::make_unique<SmtpTestServer>(options);
            port = aiosmtpd->Port();
        } else {
            quick = std::make_unique<ScriptedTcpServer>(QuickSmtpPeer());
            port = quick->Port();
        }
        WriteFile(program / "Morvanta.ini", "[MailOptions]\r\nHostAddress=127.0.0.1\r\nPort=" + std::to_string(port)
                                                + "\r\nDefaultFromEMailAddress=reporter@example.org\r\n[Options]\r\n"
                                                + registries.OptionsIni());
        return RunCli({ "--folder", program.Path(), "bulk", inbox.Path() }, home.Path());
    }
};

// With every source cached nothing is looked up, so the loopback peers are
// enough; without, every search asks for reverse names too, which only a
// private network keeps on the machine.
RunFigures BulkRun(bool cached, MailPeer mailPeer)
{
    BulkSetup setup(cached);
    if (cached)
        return setup.Run(mailPeer);
    auto outcome = RunInPrivateNetwork(
        "127.0.0.1 localhost\n",
        [&setup, mailPeer] {
            RunFigures figures = setup.Run(mailPeer);
            return PackFields({ std::to_string(figures.seconds), std::to_string(figures.peakKilobytes),
                                std::to_string(figures.exitStatus), std::to_string(figures.linesSent) });
        },
        std::chrono::seconds(600));
    if (!outcome)
        throw std::runtime_error("no private network namespace on this system");
    std::vector<std::string> fields = UnpackFields(*outcome);
    if (fields.size() != 4)
        throw std::runtime_error("the bulk run failed: " + *outcome);
    RunFigures figures;
    figures.seconds = std::stod(fields[0]);
    figures.peakKilobytes = std::stol(fields[1]);
    figures.exitStatus = std::stoi(fields[2]);
    figures.linesSent = std::stoul(fields[3]);
    return figures;
}

void BM_BulkRun(benchmark::State& state)
{
    const bool cached = state.range(0) != 0;
    const MailPeer mailPeer = state.range(1) != 0 ? MailPeer::Aiosmtpd : MailPeer::Quick;
    double seconds = 0;
    long peak = 0;
    for (auto _ : state) {
        RunFigures figures = BulkRun(cached, mailPeer);
        if (figures.exitStatus != 0 || figures.linesSent != Messages) {
            state.SkipWithError(("exit status " + std::to_string(figures.exitStatus) + ", "
                                 + std::to_string(figures.linesSent) + " sent")
                                    .c_str());
            return;
        }
        state.SetIterationTime(figures.seconds);
        seconds += figures.seconds;
        peak = std::max(peak, figures.peakKilobytes);
    }
    const double rate = Messages * static_cast<double>(state.iterations()) / seconds;
    state.counters["messages_per_s"] = rate;
    state.counters["peak_MB"] = static_cast<double>(peak) / 1024;
    if (cached) {
        state.counters["rate_target_met"] = rate >= RateTarget ? 1 : 0;
        state.counters["memory_target_met"] = peak < PeakMemoryTargetKB ? 1 : 0;
    }
}
BENCHMARK(BM_BulkRun)
    ->ArgNames({ "cached", "aiosmtpd" })
    ->Args({ 1, 0 })
    ->Args({ 0, 0 })
    ->Args({ 1, 1 })
    ->Iterations(2)
    ->UseManualTime()
    ->Unit(benchmark::kMillisecond);

} // namespace
