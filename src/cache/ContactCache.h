#pragma once

#include "base/Clock.h"
#include "cache/ContactFinder.h"
#include "tables/Database.h"
#include "tables/Table.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_set>
#include <vector>

namespace morvanta {

class ExclusionList;

// Where the list of a look-up came from.
enum class LookupOutcome {
    Cached, // a fresh list of the cache (or no address to look up)
    Searched, // a search that got answers, possibly finding nobody
    CachedAfterFailedSearch, // no server answered; the stale list was kept
    SearchFailed, // no server answered, and no list stood in for it
};

// The data module: the contact cache IPList (one row per address, two
// address lists of different search effort, each fresh for 30 days) and the
// look-up statistics IPStats, in the program folder. Tables open on first
// use; a damaged table is repaired and an old one upgraded as it opens.
// The window and the command-line tool may use the same folder at once:
// every read of a row that a write depends on shares a transaction with the
// write, so no look-up goes uncounted and no address gets a second row.
class ContactCache {
public:
    // Binds the database to the program folder (which must exist). The
    // clock gives "today"; the finder answers what the cache cannot.
    ContactCache(const std::string& programFolder, const Clock& clock, ContactFinder& finder);
    ~ContactCache();
    ContactCache(const ContactCache&) = delete;
    ContactCache& operator=(const ContactCache&) = delete;

    // Opens the table unless it is open. A damaged file is repaired (indexes
    // rebuilt, the file compacted, or the readable rows saved) and an older
    // format upgraded, then opened again; a failure of that second opening
    // passes to the caller. Any other failure is shown in an "Error" box and
    // the table stays closed.
    void OpenTableSafe(Table& table);

    // Whether IPList has a row for the address. Rows are never deleted while
    // the table is open (a repair, the only thing that may lose rows, needs
    // every program to close it), so the keys are read once per opening and
    // remembered: each table look-up costs a read transaction with its file
    // locks, and the source-IP scan asks about every candidate of every
    // message. An address not among them is looked up in the table, which
    // another program may have added it to. The current row is not moved.
    [[nodiscard]] bool IsCachedIP(const std::string& address);

    // The complaint addresses for the address: the cached list of the level
    // (0 or 1: the normal search, 2 and above: the harder one) while it is
    // fresh, else a new search, which is cached. When no server answers the
    // search, the stored list and its date are kept and the stored list is
    // returned, and the status line says so. Every look-up of a non-empty
    // address is counted in the row and logged in IPStats with the template
    // position (65535: no template selected). The outcome, when asked for,
    // tells where the list came from.
    [[nodiscard]] std::string LookupComplaintEmails(const std::string& address, std::uint16_t level,
                                                    std::uint16_t templatePosition, LookupOutcome* outcome = nullptr);

    // Takes the exclusion entry (trimmed, lower-cased) out of every
    // normal-search list, comparing whole entries: an address takes out
    // exactly that address, "@" and a domain every address of the domain and
    // its subdomains (see ExclusionList).
    void RemoveEmailFromCache(const std::string& address);
    void RemoveEmailsFromCache(const std::vector<std::string>& addresses);

    // Removes every address that EmailBlacklist.txt, EmailBlocklist.txt or
    // RegistryAddresses.txt of the program folder excludes from the cache.
    void ApplyBlacklist();

    // Removes the leading commas of every normal-search list.
    void FixEmails();

    static constexpr int FreshDays = 30;

    // The mailer's status line: what a look-up whose search failed did.
    std::function<void(const std::string&)> OnStatus;

    // The tables IPList and IPStats.
    [[nodiscard]] Table& Contacts() { return contacts_; }
    [[nodiscard]] Table& Lookups() { return lookups_; }

private:
    // Writes a search result into the address's row, or appends a row for
    // it. counted: the row's Reports already counts this look-up.
    void StoreContacts(const std::string& address, std::uint16_t level, const std::string& list, bool counted);
    void ShowStatus(const std::string& text);
    void RemoveExcluded(const std::string& filter, const ExclusionList& excluded);

    Database database_;
    Table contacts_;
    Table lookups_;
    std::string programFolder_;
    // Addresses known to have a row; forgotten whenever IPList opens, as a
    // repair may have lost rows while it was closed.
    void ForgetKnownAddresses();
    std::unordered_set<std::string> knownAddresses_;
    bool keysLoaded_ = false;
    const Clock& clock_;
    ContactFinder& finder_;
};

} // namespace morvanta
