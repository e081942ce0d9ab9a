#pragma once

#include <string>
#include <unordered_map>

namespace morvanta {

// What the mailer knows about the report in progress. The mailer window owns
// it; the contact search reads and writes it. Everything starts empty and is
// never cleared.
struct ReportContext {
    // The source address of the report in progress, the value of "%IP%".
    std::string CurrentIP;
    // The abuse service's answer and the brief registry answer last fetched
    // by the contact search, with LF already turned into CR LF.
    std::string AbuseAnswer;
    std::string WhoisAnswer;
    // The addresses those two answers were fetched for, empty when no server
    // answered the fetch (it failed, or asked nothing), so that it is tried
    // again. CurrentIP is also set by commands that fetch nothing, so it
    // alone cannot tell whether the stored answers belong to it.
    std::string AbuseAnswerFor;
    std::string WhoisAnswerFor;
    // What the first registry said of each address it was asked about:
    // whether IANA holds it. Kept as long as the mailer, so each address is
    // asked about once.
    std::unordered_map<std::string, bool> IanaVerdicts;
};

} // namespace morvanta
