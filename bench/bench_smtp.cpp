// Delivering reports to a loopback aiosmtpd: reports per second sent in
// process (one connection per report, as the mailer sends them) against
// the same messages sent by msmtp, one process per message as a user's
// script would; and the peak memory of one report with a 50 MB attachment,
// which must be streamed.
#include "mailer/SmtpDelivery.h"

#include "BenchSupport.h"
#include "fixtures/SmtpTestServer.h"

#include <benchmark/benchmark.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

using namespace morvanta;
using namespace morvanta::bench;

constexpr int ReportsPerRound = 100;
constexpr size_t ReportAttachmentSize = 50 * 1024;
constexpr size_t LargeAttachmentSize = 50 * 1024 * 1024;
constexpr long PeakMemoryTargetKB = 4 * 1024;
const char* const Msmtp = "/usr/bin/msmtp";

pid_t Spawn(const std::vector<std::string>& arguments, posix_spawn_file_actions_t* actions)
{
    std::vector<char*> argv;
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    pid_t child = 0;
    if (posix_spawn(&child, argv[0], actions, nullptr, argv.data(), environ) != 0)
        return -1;
    return child;
}

// aiosmtpd on 127.0.0.1, accepting and forgetting every message.
const test::SmtpTestServer& Server()
{
    static const test::SmtpTestServer server([] {
        test::SmtpTestServer::Options options;
        options.store = false;
        return options;
    }());
    return server;
}

void FillReport(MailMessage& message, const std::string& attachment)
{
    message.ClearMessage();
    message.From().SetText("Morvanta <reporter@example.org>");
    message.ReceiptRecipient.SetText(message.From().Text());
    message.Recipients.SetAddressListText("abuse@example.net");
    message.Subject = "Spam report for 192.0.2.1";
    message.Body = { "Please stop the spam sent from 192.0.2.1.", "", "Received: from relay.example.net", "." };
    message.Parts.AddAttachmentFile(attachment);
}

void Configure(SmtpClient& smtp)
{
    MailSettings mail;
    mail.HostAddress = "127.0.0.1";
    mail.Port = Server().Port();
    mail.MailAgent = "Morvanta Mail";
    ApplyMailSettings(smtp, mail, 30);
}

// The message as it goes on the wire before the transparency dots, for
// msmtp to read from standard input.
class FileSink : public MessageSink {
public:
    explicit FileSink(const std::string& path)
        : out_(path, std::ios::binary)
    {
    }
    void WriteLine(std::string_view line) override
    {
        out_.write(line.data(), static_cast<std::streamsize>(line.size()));
        out_.write("\r\n", 2);
    }

private:
    std::ofstream out_;
};

// Runs msmtp once for the message file; false when it failed.
bool RunMsmtp(const std::string& messageFile)
{
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, messageFile.c_str(), O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, "/dev/null", O_WRONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 2, "/dev/null", O_WRONLY, 0);
    pid_t child = Spawn({ Msmtp, "--host=127.0.0.1", "--port=" + std::to_string(Server().Port()), "--auth=off",
                          "--tls=off", "--from=reporter@example.org", "--", "abuse@example.net" },
                        &actions);
    posix_spawn_file_actions_destroy(&actions);
    if (child <= 0)
        return false;
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

// Runs first, while the process is still small, so that the peak it
// measures is its own.
void BM_LargeAttachmentPeakMemory(benchmark::State& state)
{
    TemporaryFile large(LargeAttachmentSize, "large.bin");
    MailMessage message;
    SmtpClient smtp;
    Configure(smtp);
    // One small report first, so that what every send needs is in place.
    TemporaryFile small(1024, "small.bin");
    FillReport(message, small.Path());
    DeliverMessage(smtp, message);

    long rise = 0;
    for (auto _ : state) {
        FillReport(message, large.Path());
        const long before = PeakRssKilobytes();
        DeliverMessage(smtp, message);
        rise = std::max(rise, PeakRssKilobytes() - before);
    }
    state.counters["peak_rise_kb"] = static_cast<double>(rise);
    state.counters["within_4mb"] = rise <= PeakMemoryTargetKB ? 1 : 0;
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * LargeAttachmentSize));
    if (rise > PeakMemoryTargetKB)
        state.SkipWithError("sending the 50 MB attachment raised the peak memory by more than 4 MB");
}
BENCHMARK(BM_LargeAttachmentPeakMemory)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

void BM_ReportsInProcessVersusMsmtp(benchmark::State& state)
{
    if (access(Msmtp, X_OK) != 0) {
        state.SkipWithError("msmtp is missing");
        return;
    }
    TemporaryFile attachment(ReportAttachmentSize, "report.bin");
    MailMessage message;
    SmtpClient smtp;
    Configure(smtp);

    // The same 100 messages for both: written once for msmtp.
    std::vector<std::string> messageFiles;
    for (int i = 0; i < ReportsPerRound; ++i) {
        FillReport(message, attachment.Path());
        messageFiles.push_back(attachment.Path() + "." + std::to_string(i) + ".eml");
        FileSink sink(messageFiles.back());
        message.WriteMessage(sink);
    }

    double ourSeconds = 0;
    double theirSeconds = 0;
    for (auto _ : state) {
        auto start = std::chrono::steady_clock::now();
        for (int i = 0; i < ReportsPerRound; ++i) {
            FillReport(message, attachment.Path());
            DeliverMessage(smtp, message);
        }
        auto middle = std::chrono::steady_clock::now();
        for (const std::string& file : messageFiles) {
            if (!RunMsmtp(file)) {
                state.SkipWithError("msmtp failed");
                break;
            }
        }
        auto end = std::chrono::steady_clock::now();
        ourSeconds += std::chrono::duration<double>(middle - start).count();
        theirSeconds += std::chrono::duration<double>(end - middle).count();
    }
    for (const std::string& file : messageFiles)
        std::remove(file.c_str());

    const double reports = static_cast<double>(state.iterations()) * ReportsPerRound;
    state.counters["ours_per_second"] = reports / ourSeconds;
    state.counters["msmtp_per_second"] = reports / theirSeconds;
    // Target: at least 2.
    state.counters["ours_vs_msmtp"] = theirSeconds / ourSeconds;
}
BENCHMARK(BM_ReportsInProcessVersusMsmtp)->Iterations(3)->UseRealTime()->Unit(benchmark::kMillisecond);

} // namespace
