// Writing report messages: throughput for a typical report, and the peak
// memory of one report with a 50 MB attachment, which must be streamed.
#include "net/MailMessage.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <sys/resource.h>
#include <unistd.h>

namespace {

using namespace morvanta;
using namespace morvanta::bench;

// Counts what it is given and keeps nothing.
class DiscardingSink : public MessageSink {
public:
    void WriteLine(std::string_view line) override { bytes += line.size() + 2; }
    std::size_t bytes = 0;
};

void FillReport(MailMessage& message, const std::string& attachment)
{
    message.ClearMessage();
    message.From().SetText("Morvanta <reports@example.org>");
    message.Recipients.SetAddressListText("abuse@example.net, abuse@example.com");
    message.Subject = "Virus report";
    message.SetBodyText("Spam from 192.0.2.7 reached us.\r\nPlease stop it.\r\n\r\nReceived: from ...");
    message.ReceiptRecipient.SetText("Morvanta <reports@example.org>");
    message.ExtraHeaders.SetHeaderValue("X-Mailer", "Morvanta Mail");
    message.Parts.AddAttachmentFile(attachment);
}

// Runs first, while the process's peak is still its start-up size.
void BM_Write50MBAttachmentPeakMemory(benchmark::State& state)
{
    TemporaryFile file(50u << 20);
    MailMessage message;
    bool reset = ResetPeakRss();
    long before = PeakRssKilobytes();
    std::size_t bytes = 0;
    for (auto _ : state) {
        FillReport(message, file.Path());
        DiscardingSink sink;
        message.WriteMessage(sink);
        bytes = sink.bytes;
    }
    long after = PeakRssKilobytes();
    state.counters["peak_rss_before_kB"] = static_cast<double>(before);
    state.counters["peak_rss_growth_kB"] = static_cast<double>(after - before);
    state.counters["peak_reset"] = reset ? 1 : 0;
    state.counters["message_MB"] = static_cast<double>(bytes) / (1 << 20);
    if (after - before > 4 * 1024)
        state.SkipWithError("writing the attachment raised the peak memory by more than 4 MB");
}
BENCHMARK(BM_Write50MBAttachmentPeakMemory)->Iterations(1)->Unit(benchmark::kMillisecond);

void BM_WriteReportWith50KBAttachment(benchmark::State& state)
{
    TemporaryFile file(50 * 1024);
    MailMessage message;
    std::size_t bytes = 0;
    for (auto _ : state) {
        FillReport(message, file.Path());
        DiscardingSink sink;
        message.WriteMessage(sink);
        bytes += sink.bytes;
    }
    state.SetItemsProcessed(state.iterations());
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}
BENCHMARK(BM_WriteReportWith50KBAttachment)->Unit(benchmark::kMicrosecond);

void BM_EncodeLongUtf8Subject(benchmark::State& state)
{
    HeaderCoding coding { "UTF-8", 'Q', HeaderTransferKind::EightBit, "UTF-8" };
    std::string subject;
    for (int i = 0; i < 20; ++i)
        subject += "Gr\xc3\xbc\xc3\x9f"
                   "e aus K\xc3\xb6ln ";
    for (auto _ : state) {
        HeaderList headers;
        headers.SetHeaderValue("Subject", EncodeHeader(subject, "", coding));
        benchmark::DoNotOptimize(headers);
    }
}
BENCHMARK(BM_EncodeLongUtf8Subject);

} // namespace
