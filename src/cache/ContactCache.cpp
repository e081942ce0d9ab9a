#include "cache/ContactCache.h"

#include "analysis/ExclusionList.h"
#include "base/Files.h"
#include "base/Text.h"
#include "base/UiServices.h"
#include "tables/TableError.h"

#include <exception>

namespace morvanta {

namespace {

struct AddressSet {
    const char* list;
    const char* date;
};

// Levels 0 and 1 are the normal search, every level above counts as harder.
AddressSet SetForLevel(std::uint16_t level)
{
    return level >= 2 ? AddressSet { "EMails2", "LastUpdate2" } : AddressSet { "EMails", "LastUpdate" };
}

// The list without the entries the exclusions exclude, and with ",," closed
// up as the removal always did; the list itself when none is excluded.
// Entries are compared whole, so x@y.com leaves ax@y.com alone.
std::string WithoutExcluded(const std::string& list, const ExclusionList& excluded, bool& removed)
{
    std::string kept;
    bool first = true;
    removed = false;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string_view entry(list.data() + start, (comma == std::string::npos ? list.size() : comma) - start);
        if (excluded.Excludes(entry)) {
            removed = true;
        } else {
            if (!first)
                kept += ',';
            kept += entry;
            first = false;
        }
        if (comma == std::string::npos)
            break;
        start = comma + 1;
    }
    return removed ? ReplaceAll(kept, ",,", ",") : list;
}

// Filters the table for the life of the object. Filtering is switched off
// again also when the work fails, so that later key look-ups see every row.
class FilteredView {
public:
    FilteredView(Table& table, const std::string& expression)
        : table_(table)
    {
        table_.SetFilter(expression);
        table_.SetFiltered(true);
    }

    ~FilteredView()
    {
        try {
            table_.SetFiltered(false);
        } catch (...) {
            // The failure that brought us here is the one to report.
        }
    }

    FilteredView(const FilteredView&) = delete;
    FilteredView& operator=(const FilteredView&) = delete;

    // The end of the work: flush, filtering off, and the view read again.
    void Finish()
    {
        table_.FlushBuffers();
        table_.SetFiltered(false);
        table_.Refresh();
    }

private:
    Table& table_;
};

} // namespace

ContactCache::ContactCache(const std::string& programFolder, const Clock& clock, ContactFinder& finder)
    : database_("Morvanta")
    , contacts_(database_, IPListTableDef())
    , lookups_(database_, IPStatsTableDef())
    , programFolder_(IncludeTrailingPathDelimiter(programFolder))
    , clock_(clock)
    , finder_(finder)
{
    database_.Disconnect();
    database_.SetFolder(programFolder_);
    database_.Connect();
}

ContactCache::~ContactCache() = default;

void ContactCache::OpenTableSafe(Table& table)
{
    if (table.Active())
        return;
    // While the table was closed, another program may have repaired it and
    // lost rows doing so.
    if (&table == &contacts_)
        ForgetKnownAddresses();
    try {
        table.Open();
    } catch (const TableError& error) {
        if (IsTableDamageCode(error.code())) {
            (void)table.RepairTable();
            table.Open();
        } else if (error.code() == TableErrorCode::OldVersion) {
            table.UpgradeTable();
            table.Open();
        } else {
            Ui().ShowMessage(error.what(), "Error", MessageButtons::Ok, MessageIcon::None);
        }
    } catch (const std::exception& error) {
        Ui().ShowMessage(error.what(), "Error", MessageButtons::Ok, MessageIcon::None);
    }
}

void ContactCache::ForgetKnownAddresses()
{
    knownAddresses_.clear();
    keysLoaded_ = false;
}

bool ContactCache::IsCachedIP(const std::string& address)
{
    OpenTableSafe(contacts_);
    if (!keysLoaded_) {
        for (std::string& key : contacts_.PrimaryKeys())
            knownAddresses_.insert(std::move(key));
        keysLoaded_ = true;
    }
    if (knownAddresses_.contains(address))
        return true;
    // Another program may have cached it since the keys were read.
    if (!contacts_.FindKey(address))
        return false;
    knownAddresses_.insert(address);
    return true;
}

std::string ContactCache::LookupComplaintEmails(const std::string& address, std::uint16_t level,
                                                std::uint16_t templatePosition, LookupOutcome* outcome)
{
    LookupOutcome how = LookupOutcome::Cached;
    if (outcome)
        *outcome = how;
    if (address.empty())
        return {};
    const AddressSet set = SetForLevel(level);
    const int today = TableDate::Of(clock_.LocalNow()).dayNumber;
    std::string result;

    OpenTableSafe(contacts_);
    bool found = false;
    std::string stored;
    int setOn = 0;
    {
        // The count is read and written back: another program counting the
        // same address must wait in between.
        TableTransaction counting(contacts_);
        found = contacts_.FindKey(address);
        if (found) {
            stored = contacts_.FieldByName(set.list).AsString();
            setOn = contacts_.FieldByName(set.date).AsDate().dayNumber;
            contacts_.Edit();
            Field& reports = contacts_.FieldByName("Reports");
            reports.SetAsInteger(reports.AsInteger() + 1);
            contacts_.Post();
        }
        counting.Commit();
    }
    if (found)
        contacts_.FlushBuffers();
    if (found && !stored.empty() && setOn > today - FreshDays) {
        result = stored;
    } else {
        FoundContacts search = finder_.FindContacts(address, level);
        if (search.answered) {
            how = LookupOutcome::Searched;
            result = LowerCase(search.list);
            if (found || !result.empty())
                StoreContacts(address, level, result, found);
        } else if (!stored.empty()) { // never without a row
            // An outage must not cost the addresses found before: they
            // stay, with their date, so the next look-up searches again.
            how = LookupOutcome::CachedAfterFailedSearch;
            result = stored;
            ShowStatus("Search for " + address + " failed: using the list cached on "
                       + FormatDate(TableDate { setOn }).value_or("an unknown day"));
        } else {
            how = LookupOutcome::SearchFailed;
            ShowStatus("Search for " + address + " failed: no WHOIS server answered");
        }
    }

    OpenTableSafe(lookups_);
    lookups_.AppendRecord({ address, TableDateTime::Of(clock_.LocalNow()), templatePosition });
    lookups_.FlushBuffers();
    if (outcome)
        *outcome = how;
    return result;
}

void ContactCache::ShowStatus(const std::string& text)
{
    if (OnStatus)
        OnStatus(text);
}

void ContactCache::StoreContacts(const std::string& address, std::uint16_t level, const std::string& list, bool counted)
{
    const AddressSet set = SetForLevel(level);
    const TableDate today = TableDate::Of(clock_.LocalNow());
    const TableDate longAgo { today.dayNumber - (FreshDays + 1) };

    // The search may have let the user's input through, and another command,
    // or another program, may have moved the current row or added this
    // address meanwhile: find the row again rather than write into whichever
    // row is current, and hold the file until the row is written.
    OpenTableSafe(contacts_);
    TableTransaction storing(contacts_);
    if (contacts_.FindKey(address)) {
        contacts_.Edit();
        contacts_.FieldByName(set.list).SetAsString(list);
        contacts_.FieldByName(set.date).SetAsDate(today);
        if (!counted) {
            Field& reports = contacts_.FieldByName("Reports");
            reports.SetAsInteger(reports.AsInteger() + 1);
        }
        contacts_.Post();
    } else if (!list.empty()) {
        if (level >= 2)
            contacts_.AppendRecord({ address, "", longAgo, list, today, 1 });
        else
            contacts_.AppendRecord({ address, list, today, "", longAgo, 1 });
    } else {
        return;
    }
    storing.Commit();
    contacts_.FlushBuffers();
}

void ContactCache::RemoveEmailFromCache(const std::string& address)
{
    OpenTableSafe(contacts_);
    const std::string entry = LowerCase(Trim(address));
    ExclusionList excluded;
    excluded.Add(entry);
    if (excluded.Empty())
        return;
    // The rows whose list holds the address, or the domain of a domain entry
    // (which its subdomains' addresses hold too, after a dot).
    std::string_view text = entry;
    if (text.front() == '@') {
        text.remove_prefix(1);
        while (!text.empty() && text.front() == '.')
            text.remove_prefix(1);
        while (!text.empty() && text.back() == '.')
            text.remove_suffix(1);
    }
    RemoveExcluded("Emails LIKE \"%" + std::string(text) + "%\"", excluded);
}

void ContactCache::RemoveEmailsFromCache(const std::vector<std::string>& addresses)
{
    for (const std::string& address : addresses)
        RemoveEmailFromCache(address);
}

void ContactCache::ApplyBlacklist()
{
    const ExclusionList excluded = ReadExclusionLists(programFolder_);
    if (excluded.Empty())
        return;
    OpenTableSafe(contacts_);
    RemoveExcluded("Emails LIKE \"%@%\"", excluded);
}

void ContactCache::RemoveExcluded(const std::string& filter, const ExclusionList& excluded)
{
    // Each row is read and written back whole: no other program may change
    // it in between.
    TableTransaction cleaning(contacts_);
    FilteredView view(contacts_, filter);
    Field& emails = contacts_.FieldByName("EMails");
    for (contacts_.First(); !contacts_.Eof(); contacts_.Next()) {
        bool removed = false;
        std::string cleaned = WithoutExcluded(emails.AsString(), excluded, removed);
        if (!removed)
            continue;
        contacts_.Edit();
        emails.SetAsString(cleaned);
        contacts_.Post();
    }
    cleaning.Commit();
    view.Finish();
}

void ContactCache::FixEmails()
{
    OpenTableSafe(contacts_);
    TableTransaction fixing(contacts_);
    FilteredView view(contacts_, "Emails LIKE \",%\"");
    Field& emails = contacts_.FieldByName("EMails");
    for (contacts_.First(); !contacts_.Eof(); contacts_.Next()) {
        const std::string list = emails.AsString();
        const size_t commas = list.find_first_not_of(',');
        contacts_.Edit();
        emails.SetAsString(commas == std::string::npos ? std::string() : list.substr(commas));
        contacts_.Post();
    }
    fixing.Commit();
    view.Finish();
}

} // namespace morvanta
