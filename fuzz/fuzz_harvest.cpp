// The harvest of complaint addresses from a WHOIS answer, at every level,
// with and without the keyword filter and the designated abuse mailboxes.
#include "analysis/EmailHarvest.h"

#include "FuzzSupport.h"

#include <string>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view answer = AsText(data, size);
    // A folder without exclusion files.
    const std::string folder = "/nonexistent-morvanta-fuzz/";
    std::string list;
    for (std::uint16_t level : { 0, 2 }) {
        for (auto mailboxes : { morvanta::AbuseMailboxes::Preferred, morvanta::AbuseMailboxes::Ignored })
            list = morvanta::HarvestEmails(list, answer, morvanta::KeywordFilter::On, level, folder, mailboxes);
        list = morvanta::HarvestEmails(list, answer, morvanta::KeywordFilter::Off, level, folder,
                                       morvanta::AbuseMailboxes::Preferred);
    }
    (void)morvanta::ExtractEmails(answer);
    return 0;
}
