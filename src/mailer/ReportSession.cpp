#include "mailer/ReportSession.h"

#include "app/Config.h"
#include "base/Clock.h"

namespace morvanta {

ReportSession::ReportSession(const Config& config, const Clock& clock)
    : config_(config)
    , clock_(clock)
{
    search_.SetFactory([this] { return MakeSearch(); });
}

ReportSession::~ReportSession()
{
    search_.Close();
}

void ReportSession::SetStatusSinks(StatusSink mailerStatus, StatusSink searchStatus)
{
    mailerStatus_ = std::move(mailerStatus);
    searchStatus_ = std::move(searchStatus);
}

void ReportSession::SetSearchFactory(ContactSearchReference::Factory factory)
{
    factory_ = std::move(factory);
}

std::shared_ptr<ContactSearch> ReportSession::MakeSearch()
{
    std::shared_ptr<ContactSearch> search = factory_ ? factory_() : std::make_shared<ContactSearch>(config_, context_);
    if (search) {
        // The sinks are looked up at each text, so sinks set later still count.
        if (!search->OnStatus)
            search->OnStatus = [this](const std::string& text) {
                if (searchStatus_)
                    searchStatus_(text);
            };
        if (!search->OnMailerStatus)
            search->OnMailerStatus = [this](const std::string& text) {
                if (mailerStatus_)
                    mailerStatus_(text);
            };
    }
    return search;
}

ContactCache& ReportSession::Cache()
{
    if (!cache_) {
        cache_ = std::make_unique<ContactCache>(config_.ProgramFolder, clock_, *this);
        cache_->OnStatus = [this](const std::string& text) {
            if (mailerStatus_)
                mailerStatus_(text);
        };
    }
    return *cache_;
}

std::string ReportSession::FindSourceIP(const std::vector<std::string>& lines)
{
    return morvanta::FindSourceIP(lines, config_.PopMailHostList, *this);
}

std::string ReportSession::LookupComplaintEmails(const std::string& address, std::uint16_t level,
                                                 std::uint16_t templatePosition, LookupOutcome* outcome)
{
    return Cache().LookupComplaintEmails(address, level, templatePosition, outcome);
}

FoundContacts ReportSession::FindContacts(const std::string& address, std::uint16_t level)
{
    return Search().FindContacts(address, level);
}

void ReportSession::PrepareToJudge()
{
    (void)Search();
}

bool ReportSession::IsCachedIP(const std::string& address)
{
    return Cache().IsCachedIP(address);
}

bool ReportSession::IsIanaReserved(const std::string& address)
{
    return Search().IsIanaReserved(address);
}

} // namespace morvanta
