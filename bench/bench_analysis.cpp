// Throughput of the message analysis hot paths: harvesting addresses from a
// large registry answer, finding the abuse mailboxes it designates (also in
// answers made to be slow) and finding dotted quads in header lines.
#include "analysis/AbuseMailbox.h"
#include "analysis/DottedQuad.h"
#include "analysis/EmailHarvest.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <fstream>
#include <random>
#include <string>
#include <vector>

namespace {

using namespace morvanta;

constexpr size_t AnswerSize = 1 << 20;

// A registry answer as the WHOIS servers send it: comment blocks, "key:
// value" objects, a contact address every few lines, some of them abuse
// mailboxes, many repeated.
std::string RegistryAnswer()
{
    std::mt19937 random(7);
    auto number = [&](int limit) { return std::to_string(random() % limit); };
    std::string answer;
    answer.reserve(AnswerSize + 4096);
    while (answer.size() < AnswerSize) {
        const std::string net = number(200) + "." + number(256) + "." + number(256);
        const std::string org = "ORG-EX" + number(400) + "-RIPE";
        const std::string domain = "provider-" + number(60) + ".example.net";
        // clang-format off
        answer += "% Information related to '" + net + ".0 - " + net + ".255'\r\n"
                  "\r\n"
                  "inetnum:        " + net + ".0 - " + net + ".255\r\n"
                  "netname:        EXAMPLE-NET-" + number(9999) + "\r\n"
                  "descr:          Example Broadband Customers, Dynamic Pool\r\n"
                  "country:        NL\r\n"
                  "org:            " + org + "\r\n"
                  "admin-c:        EX" + number(999) + "-RIPE\r\n"
                  "tech-c:         EX" + number(999) + "-RIPE\r\n"
                  "status:         ASSIGNED PA\r\n"
                  "mnt-by:         EXAMPLE-MNT\r\n"
                  "created:        2019-03-14T09:21:44Z\r\n"
                  "last-modified:  2023-11-02T16:05:12Z\r\n"
                  "source:         RIPE\r\n"
                  "\r\n"
                  "role:           Example Network Operations\r\n"
                  "address:        Keizersgracht " + number(900) + ", Amsterdam\r\n"
                  "e-mail:         noc@" + domain + "\r\n"
                  "abuse-mailbox:  Abuse@" + domain + "\r\n"
                  "notify:         hostmaster@" + domain + "\r\n"
                  "remarks:        Please send spam complaints to abuse@" + domain + ", with full headers.\r\n"
                  "nic-hdl:        EX" + number(999) + "-RIPE\r\n"
                  "\r\n";
        // clang-format on
    }
    return answer;
}

// A program folder holding two small exclusion lists.
class ProgramFolder {
public:
    ProgramFolder()
    {
        std::ofstream blacklist(Path() + BlacklistFileName, std::ios::binary);
        std::ofstream blocklist(Path() + BlocklistFileName, std::ios::binary);
        for (int i = 0; i < 40; ++i) {
            blacklist << "hostmaster@provider-" << i << ".example.net\r\n";
            blocklist << "postmaster@other-" << i << ".example.org\r\n";
        }
    }
    [[nodiscard]] const std::string& Path() const { return folder_.Path(); }

private:
    morvanta::bench::ScratchFolder folder_;
};

void BM_HarvestEmails(benchmark::State& state, KeywordFilter filter, uint16_t level, AbuseMailboxes mailboxes)
{
    const std::string answer = RegistryAnswer();
    const ProgramFolder folder;
    for (auto _ : state)
        benchmark::DoNotOptimize(HarvestEmails("", answer, filter, level, folder.Path(), mailboxes));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
}
BENCHMARK_CAPTURE(BM_HarvestEmails, registry_answer_designated, KeywordFilter::On, 0, AbuseMailboxes::Preferred)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HarvestEmails, registry_answer_filtered, KeywordFilter::On, 0, AbuseMailboxes::Ignored)
    ->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(BM_HarvestEmails, registry_answer_harder, KeywordFilter::On, 2, AbuseMailboxes::Preferred)
    ->Unit(benchmark::kMillisecond);

// Answers of state.range(0) bytes shaped to make a careless recogniser slow.
// The time per byte must not grow with the size.
std::string RepeatedTo(const std::string& piece, size_t size)
{
    std::string text;
    text.reserve(size + piece.size());
    while (text.size() < size)
        text += piece;
    return text;
}

void BM_DesignatedAbuseMailboxes(benchmark::State& state, const std::string& piece)
{
    const std::string answer = RepeatedTo(piece, static_cast<size_t>(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(DesignatedAbuseMailboxes(answer));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(answer.size()));
    state.SetComplexityN(state.range(0));
}
// One line without a break, full of keys and addresses.
BENCHMARK_CAPTURE(BM_DesignatedAbuseMailboxes, one_line, std::string("abuse-mailbox: a@b.example % Abuse contact "))
    ->RangeMultiplier(4)
    ->Range(1 << 16, 1 << 22)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
// Every line a designation of a new address.
BENCHMARK_CAPTURE(BM_DesignatedAbuseMailboxes, many_mailboxes, std::string("ABUSE-MAILBOX:  Abuse@Net.Example\r\r\n"))
    ->RangeMultiplier(4)
    ->Range(1 << 16, 1 << 22)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);
// One handle named again and again, and defined again and again with its addresses.
BENCHMARK_CAPTURE(BM_DesignatedAbuseMailboxes, repeated_handles,
                  std::string("abuse-c: H1\nnic-hdl-br: H1\ne-mail: a@b.example\ne-mail: c@d.example\n"))
    ->RangeMultiplier(4)
    ->Range(1 << 16, 1 << 22)
    ->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

// Header lines of received messages, relays with their addresses among the
// dates, message ids and other digits.
std::vector<std::string> HeaderLines()
{
    std::mt19937 random(11);
    auto number = [&](int limit) { return std::to_string(random() % limit); };
    std::vector<std::string> lines;
    for (int message = 0; message < 400; ++message) {
        for (int hop = 0; hop < 4; ++hop) {
            const std::string relay = "relay" + number(90) + ".mail.example.net";
            lines.push_back("Received: from " + relay + " (" + relay + " [" + number(224) + "." + number(256) + "."
                            + number(256) + "." + number(256) + "])");
            lines.push_back("\tby mx" + number(9) + ".example.org (Postfix) with ESMTPS id 4F3A" + number(99999)
                            + "C0D");
            lines.push_back("\tfor <user" + number(99) + "@example.org>; Tue, " + number(28) + " Jun 2024 " + number(24)
                            + ":" + number(60) + ":" + number(60) + " +0200 (CEST)");
        }
        lines.push_back("Message-ID: <20240604101112." + number(999999) + "@mail.example.net>");
        lines.push_back("Date: Tue, 4 Jun 2024 10:11:12 +0200");
        lines.push_back("X-Mailer: Example Mailer 3.2.1 (build 4471)");
        lines.push_back("Subject: Your invoice 2024-06 is ready");
    }
    return lines;
}

void BM_ExtractDottedQuad_HeaderLines(benchmark::State& state)
{
    const std::vector<std::string> lines = HeaderLines();
    int64_t bytes = 0;
    for (const auto& line : lines)
        bytes += static_cast<int64_t>(line.size());
    for (auto _ : state) {
        for (const auto& line : lines)
            benchmark::DoNotOptimize(ExtractDottedQuad(line));
    }
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * bytes);
}
BENCHMARK(BM_ExtractDottedQuad_HeaderLines);

// The whole header block at once, with no dotted quad in it: the full scan.
void BM_ExtractDottedQuad_HeaderBlockWithoutQuad(benchmark::State& state)
{
    std::string block;
    for (const auto& line : HeaderLines()) {
        if (!ExtractDottedQuad(line).empty())
            continue;
        block += line;
        block += "\r\n";
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(ExtractDottedQuad(block));
    state.SetBytesProcessed(static_cast<int64_t>(state.iterations()) * static_cast<int64_t>(block.size()));
}
BENCHMARK(BM_ExtractDottedQuad_HeaderBlockWithoutQuad);

} // namespace
