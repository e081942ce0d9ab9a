#pragma once

#include "analysis/SourceIP.h"
#include "cache/ContactCache.h"
#include "cache/ContactFinder.h"
#include "investigate/ContactSearch.h"
#include "investigate/ReportContext.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace morvanta {

class Clock;
class Config;

// Everything a report needs besides the message: the report context, the
// contact cache and the contact search (the investigation routines, whose
// one instance is created hidden on first use). The mailer's controller owns
// one for the window's life; morvanta-cli makes one per command.
class ReportSession : public ContactFinder, public SourceIpChecks {
public:
    using StatusSink = std::function<void(const std::string&)>;

    // The settings and the clock must outlive the session.
    ReportSession(const Config& config, const Clock& clock);
    ~ReportSession() override;
    ReportSession(const ReportSession&) = delete;
    ReportSession& operator=(const ReportSession&) = delete;

    // Where status texts go: the mailer's status line (the contact search's
    // progress, and what the cache did when a search failed) and the
    // investigation window's status line (its failures and the registries it
    // asks). Unset sinks drop the texts.
    void SetStatusSinks(StatusSink mailerStatus, StatusSink searchStatus);
    // The mailer's alone, leaving the other as it is.
    void SetMailerStatusSink(StatusSink mailerStatus) { mailerStatus_ = std::move(mailerStatus); }

    // What creates the contact search: the windowed program creates its
    // investigation window here. Without a factory a bare instance is made.
    // The session connects the instance's status sinks that the factory left
    // unset.
    void SetSearchFactory(ContactSearchReference::Factory factory);

    [[nodiscard]] ReportContext& Context() { return context_; }
    [[nodiscard]] const Config& Settings() const { return config_; }

    // The contact cache, bound to the program folder on first use.
    [[nodiscard]] ContactCache& Cache();

    // The one contact search, created on first use.
    [[nodiscard]] ContactSearch& Search() { return search_.Ensure(); }
    [[nodiscard]] ContactSearchReference& SearchReference() { return search_; }

    // The source IP of a message, judged against this session's report
    // context, cache and first registry.
    [[nodiscard]] std::string FindSourceIP(const std::vector<std::string>& lines);

    [[nodiscard]] std::string LookupComplaintEmails(const std::string& address, std::uint16_t level,
                                                    std::uint16_t templatePosition, LookupOutcome* outcome = nullptr);

    // ContactFinder
    [[nodiscard]] FoundContacts FindContacts(const std::string& address, std::uint16_t level) override;

    // SourceIpChecks
    void PrepareToJudge() override;
    [[nodiscard]] std::string CurrentIP() override { return context_.CurrentIP; }
    [[nodiscard]] bool IsCachedIP(const std::string& address) override;
    [[nodiscard]] bool IsIanaReserved(const std::string& address) override;

private:
    [[nodiscard]] std::shared_ptr<ContactSearch> MakeSearch();

    const Config& config_;
    const Clock& clock_;
    ReportContext context_;
    StatusSink mailerStatus_;
    StatusSink searchStatus_;
    ContactSearchReference::Factory factory_;
    ContactSearchReference search_;
    std::unique_ptr<ContactCache> cache_;
};

} // namespace morvanta
