// The two everyday paths of a report that need no WHOIS: finding the source
// IP of a message whose every candidate is already cached, and a complaint
// look-up answered from the cache with its durable writes (the counter and
// the statistics row).
#include "analysis/SourceIP.h"
#include "base/Clock.h"
#include "base/Text.h"
#include "cache/ContactCache.h"
#include "tables/TableFile.h"

#include "BenchSupport.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <set>
#include <string>
#include <vector>

using namespace morvanta;
using namespace morvanta::bench;

namespace {

// A finder that must never be asked: these paths are answered by the cache.
class NoSearch : public ContactFinder {
public:
    FoundContacts FindContacts(const std::string& address, std::uint16_t) override
    {
        std::cerr << "unexpected search for " << address << "\n";
        std::abort();
    }
};

constexpr int Today = 19800; // 2024-03-18

FixedClock BenchClock()
{
    return FixedClock::AtLocal(2024, 3, 18, 10, 0, 0);
}

std::string Dotted(int a, int b, int c, int d)
{
    return std::to_string(a) + "." + std::to_string(b) + "." + std::to_string(c) + "." + std::to_string(d);
}

struct Message {
    std::vector<std::string> lines;
    size_t headerBytes = 0;
};

// Messages as they arrive at a home mailbox: delivered by the user's own
// server, handed in by a relay, submitted from a dial-up address, with the
// signing and mailer headers of bulk mail and an HTML body.
std::vector<Message> MakeCorpus(int count, std::set<std::string>& candidates)
{
    std::vector<Message> corpus;
    const std::string signature(64, 'Q');
    for (int i = 0; i < count; ++i) {
        std::string relay = Dotted(198, 18 + i / 62500 % 2, i / 250 % 250, 1 + i % 250);
        std::string sender = Dotted(203, i / 62500 % 256, i / 250 % 250, 1 + i % 250);
        candidates.insert({ "192.0.2.25", relay, sender });
        std::string n = std::to_string(i);
        // clang-format off
        std::string header = "Return-Path: <bounce-" + n + "@news.shop" + n + ".example>\n"
            "Delivered-To: me@mine.example\n"
            "Received: from mx.mine.example (mx.mine.example [192.0.2.25])\n"
            "\tby pop.mine.example (Dovecot) with LMTP id 8Hk2Ad" + n + "\n"
            "\tfor <me@mine.example>; Mon, 18 Mar 2024 10:00:05 +0100\n"
            "Received: from relay" + n + ".example.net (relay" + n + ".example.net [" + relay + "])\n"
            "\tby mx.mine.example (Postfix) with ESMTPS id 4F1A2C0" + n + "\n"
            "\t(using TLSv1.3 with cipher TLS_AES_256_GCM_SHA384 (256/256 bits)\n"
            "\t key-exchange X25519 server-signature RSA-PSS (2048 bits) server-digest SHA256)\n"
            "\t(No client certificate requested)\n"
            "\tfor <me@mine.example>; Mon, 18 Mar 2024 10:00:02 +0100 (CET)\n"
            "Received: from [" + sender + "] (helo=pc" + n + ")\n"
            "\tby relay" + n + ".example.net with esmtpa (Exim 4.96)\n"
            "\t(envelope-from <bounce-" + n + "@news.shop" + n + ".example>)\n"
            "\tid 1rmB7x-000Abc-2Q; Mon, 18 Mar 2024 09:59:58 +0100\n"
            "Received: by 2002:a05:6a10:a0c9:b0:4f4:3f1b with SMTP id f9csp" + n + ";\n"
            "\tMon, 18 Mar 2024 01:59:57 -0700 (PDT)\n"
            "DKIM-Signature: v=1; a=rsa-sha256; c=relaxed/relaxed; d=shop" + n + ".example; s=s1;\n"
            "\th=from:to:subject:date:message-id:mime-version:content-type;\n"
            "\tbh=47DEQpj8HBSa+/TImW+5JCeuQeRkm5NMpJWZG3hSuFU=;\n"
            "\tb=" + signature + "\n\t " + signature + "\n\t " + signature + "\n\t " + signature + "\n"
            "From: \"Shop " + n + " Deals\" <deals@shop" + n + ".example>\n"
            "To: me@mine.example\n"
            "Subject: =?UTF-8?B?TGFzdCBjaGFuY2U6IDcwJSBvZmYgdG9kYXkgb25seQ==?=\n"
            "Date: Mon, 18 Mar 2024 09:59:57 +0100\n"
            "Message-ID: <" + n + ".1710752397@shop" + n + ".example>\n"
            "MIME-Version: 1.0\n"
            "Content-Type: text/html; charset=\"utf-8\"\n"
            "Content-Transfer-Encoding: quoted-printable\n"
            "X-Mailer: MassMailer Pro 7.2\n"
            "List-Unsubscribe: <https://shop" + n + ".example/unsubscribe?u=" + n + ">\n";
        // clang-format on
        std::string body = "\n<html><body><p>Dear customer,</p>\n";
        for (int line = 0; line < 30; ++line)
            body += "<p>Only today: everything at 70% off, click <a href=3D\"https://shop" + n
                    + ".example/deal\">here</a>.</p>\n";
        body += "</body></html>\n";
        Message message;
        message.lines = SplitLines(header + body);
        message.headerBytes = header.size();
        corpus.push_back(std::move(message));
    }
    return corpus;
}

void CacheAddresses(const std::string& folder, const std::set<std::string>& addresses, int extra)
{
    std::vector<TableRow> rows;
    std::int64_t rowid = 1;
    auto add = [&](const std::string& address) {
        rows.push_back(
            { rowid,
              { address, "abuse@" + std::to_string(rowid) + ".example.net,noc@isp.example",
                TableDate { Today - static_cast<int>(rowid % 20) }, "", TableDate { Today - 31 }, rowid % 9 + 1 } });
        ++rowid;
    };
    for (const std::string& address : addresses)
        add(address);
    for (int i = 0; i < extra; ++i)
        add(Dotted(10, i / 65536 % 256, i / 256 % 256, i % 256));
    WriteTableFile(folder + "IPList.db", IPListTableDef(), rows);
}

// Judges candidates as the mailer does, with a registry that must not be needed.
class CachedChecks : public SourceIpChecks {
public:
    explicit CachedChecks(ContactCache& dm)
        : dm_(dm)
    {
    }
    std::string CurrentIP() override { return {}; }
    bool IsCachedIP(const std::string& address) override { return dm_.IsCachedIP(address); }
    bool IsIanaReserved(const std::string& address) override
    {
        std::cerr << "unexpected WHOIS query for " << address << "\n";
        std::abort();
    }

private:
    ContactCache& dm_;
};

// Scans the messages of a corpus in turn, with state.range(0) more addresses
// cached beside their candidates.
void ScanCorpus(benchmark::State& state, int messages)
{
    std::set<std::string> candidates;
    const std::vector<Message> corpus = MakeCorpus(messages, candidates);
    ScratchFolder folder;
    CacheAddresses(folder.Path(), candidates, static_cast<int>(state.range(0)));
    FixedClock clock = BenchClock();
    NoSearch finder;
    ContactCache dm(folder.Path(), clock, finder);
    CachedChecks checks(dm);

    size_t bytes = 0;
    size_t index = 0;
    for (auto _ : state) {
        const Message& message = corpus[index++ % corpus.size()];
        std::string address = FindSourceIP(message.lines, "", checks);
        benchmark::DoNotOptimize(address);
        bytes += message.headerBytes;
    }
    state.SetBytesProcessed(static_cast<int64_t>(bytes));
}

// Each message of the corpus is scanned many times: its candidates are
// looked up in the table the first time, remembered afterwards, as when a
// message is sent after its complaint addresses were found.
void BM_FindSourceIPWithEveryCandidateCached(benchmark::State& state)
{
    ScanCorpus(state, 500);
}
BENCHMARK(BM_FindSourceIPWithEveryCandidateCached)->Arg(1000)->Arg(100000)->Unit(benchmark::kMicrosecond);

// Every message is new to the process, as in a bulk run over a folder: the
// table's keys are read at the first candidate, and every candidate after
// that is answered from them. As many iterations as messages, so none is
// scanned twice.
constexpr int FirstSightMessages = 10000;

void BM_FindSourceIPFirstSight(benchmark::State& state)
{
    ScanCorpus(state, FirstSightMessages);
}
BENCHMARK(BM_FindSourceIPFirstSight)->Arg(1000)->Iterations(FirstSightMessages)->Unit(benchmark::kMicrosecond);

void BM_LookupComplaintEmailsFromTheCache(benchmark::State& state)
{
    std::set<std::string> addresses;
    for (int i = 0; i < 1000; ++i)
        addresses.insert(Dotted(198, 51, i / 250, 1 + i % 250));
    const std::vector<std::string> ordered(addresses.begin(), addresses.end());
    ScratchFolder folder;
    CacheAddresses(folder.Path(), addresses, static_cast<int>(state.range(0)));
    FixedClock clock = BenchClock();
    NoSearch finder;
    ContactCache dm(folder.Path(), clock, finder);

    std::vector<double> milliseconds;
    size_t i = 0;
    for (auto _ : state) {
        const std::string& address = ordered[i++ * 7919 % ordered.size()];
        auto start = std::chrono::steady_clock::now();
        std::string list = dm.LookupComplaintEmails(address, 0, 65535);
        milliseconds.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
        if (list.empty())
            state.SkipWithError("not answered from the cache");
        benchmark::DoNotOptimize(list);
    }
    state.counters["median_ms"] = Percentile(milliseconds, 0.5);
    state.counters["p90_ms"] = Percentile(milliseconds, 0.9);
}
BENCHMARK(BM_LookupComplaintEmailsFromTheCache)->Arg(0)->Arg(50000)->Iterations(2000)->Unit(benchmark::kMillisecond);

} // namespace
