#include "cache/fDM.h"

#include "analysis/EmailHarvest.h"
#include "analysis/TextFiles.h"
#include "app/Platform.h"
#include "app/Text.h"
#include "app/UiServices.h"
#include "tables/TableEngineError.h"

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

// The list without the entries equal to the address, and with ",," closed
// up as the removal always did; the list itself when no entry is equal.
// Entries are compared whole, so x@y.com leaves ax@y.com alone.
std::string WithoutEntry(const std::string& list, const std::string& address, bool& removed)
{
    std::string kept;
    bool first = true;
    removed = false;
    size_t start = 0;
    for (;;) {
        size_t comma = list.find(',', start);
        std::string_view entry(list.data() + start, (comma == std::string::npos ? list.size() : comma) - start);
        if (entry == address) {
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
    FilteredView(TTable& table, const std::string& expression)
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
    TTable& table_;
};

} // namespace

TDM::TDM(const std::string& programFolder, const Clock& clock, TContactFinder& finder)
    : Database("Morvanta")
    , tblIPList(Database, IPListTableDef())
    , tblIPStats(Database, IPStatsTableDef())
    , programFolder_(IncludeTrailingPathDelimiter(programFolder))
    , clock_(clock)
    , finder_(finder)
{
    Database.Disconnect();
    Database.SetFolder(programFolder_);
    Database.Connect();
}

TDM::~TDM() = default;

void TDM::OpenTableSafe(TTable& table)
{
    try {
        table.Open();
    } catch (const ETableEngineError& error) {
        if (IsTableDamageCode(error.code())) {
            ForgetKnownAddresses();
            (void)table.RepairTable();
            table.Open();
        } else if (error.code() == TableError::OldVersion) {
            ForgetKnownAddresses();
            table.UpgradeTable();
            table.Open();
        } else {
            Ui().ShowMessage(error.what(), "Error", MessageButtons::Ok, MessageIcon::None);
        }
    } catch (const std::exception& error) {
        Ui().ShowMessage(error.what(), "Error", MessageButtons::Ok, MessageIcon::None);
    }
}

void TDM::ForgetKnownAddresses()
{
    knownAddresses_.clear();
    keysLoaded_ = false;
}

bool TDM::IsCachedIP(const std::string& address)
{
    OpenTableSafe(tblIPList);
    if (!keysLoaded_) {
        for (std::string& key : tblIPList.PrimaryKeys())
            knownAddresses_.insert(std::move(key));
        keysLoaded_ = true;
    }
    if (knownAddresses_.contains(address))
        return true;
    // Another program may have cached it since the keys were read.
    if (!tblIPList.FindKey(address))
        return false;
    knownAddresses_.insert(address);
    return true;
}

std::string TDM::LookupComplaintEmails(const std::string& address, std::uint16_t level,
                                       std::uint16_t templatePosition)
{
    if (address.empty())
        return {};
    const AddressSet set = SetForLevel(level);
    const int today = TDate::Of(clock_.LocalNow()).dayNumber;
    std::string result;

    OpenTableSafe(tblIPList);
    if (tblIPList.FindKey(address)) {
        const std::string stored = tblIPList.FieldByName(set.list).AsString();
        const int setOn = tblIPList.FieldByName(set.date).AsDate().dayNumber;
        tblIPList.Edit();
        TField& reports = tblIPList.FieldByName("Reports");
        reports.SetAsInteger(reports.AsInteger() + 1);
        tblIPList.Post();
        tblIPList.FlushBuffers();
        if (!stored.empty() && setOn > today - FreshDays) {
            result = stored;
        } else {
            result = LowerCase(finder_.FindContacts(address, level));
            StoreContacts(address, level, result, true);
        }
    } else {
        result = LowerCase(finder_.FindContacts(address, level));
        if (!result.empty())
            StoreContacts(address, level, result, false);
    }

    OpenTableSafe(tblIPStats);
    tblIPStats.AppendRecord({ address, TDateTime::Of(clock_.LocalNow()), templatePosition });
    tblIPStats.FlushBuffers();
    return result;
}

void TDM::StoreContacts(const std::string& address, std::uint16_t level, const std::string& list, bool counted)
{
    const AddressSet set = SetForLevel(level);
    const TDate today = TDate::Of(clock_.LocalNow());
    const TDate longAgo { today.dayNumber - (FreshDays + 1) };

    // The search may have let the user's input through, and another command
    // may have moved the current row or added this address meanwhile: find
    // the row again rather than write into whichever row is current.
    OpenTableSafe(tblIPList);
    if (tblIPList.FindKey(address)) {
        tblIPList.Edit();
        tblIPList.FieldByName(set.list).SetAsString(list);
        tblIPList.FieldByName(set.date).SetAsDate(today);
        if (!counted) {
            TField& reports = tblIPList.FieldByName("Reports");
            reports.SetAsInteger(reports.AsInteger() + 1);
        }
        tblIPList.Post();
    } else if (!list.empty()) {
        if (level >= 2)
            tblIPList.AppendRecord({ address, "", longAgo, list, today, 1 });
        else
            tblIPList.AppendRecord({ address, list, today, "", longAgo, 1 });
    } else {
        return;
    }
    tblIPList.FlushBuffers();
}

void TDM::RemoveEmailFromCache(const std::string& address)
{
    OpenTableSafe(tblIPList);
    const std::string entry = LowerCase(Trim(address));
    if (entry.empty())
        return;
    FilteredView view(tblIPList, "Emails LIKE \"%" + entry + "%\"");
    TField& emails = tblIPList.FieldByName("EMails");
    for (tblIPList.First(); !tblIPList.Eof(); tblIPList.Next()) {
        bool removed = false;
        std::string cleaned = WithoutEntry(emails.AsString(), entry, removed);
        if (!removed)
            continue;
        tblIPList.Edit();
        emails.SetAsString(cleaned);
        tblIPList.Post();
    }
    view.Finish();
}

void TDM::RemoveEmailsFromCache(const std::vector<std::string>& addresses)
{
    for (const std::string& address : addresses)
        RemoveEmailFromCache(address);
}

void TDM::ApplyBlacklist()
{
    for (const char* name : { BlacklistFileName, BlocklistFileName }) {
        const std::string path = programFolder_ + name;
        if (FileExists(path))
            RemoveEmailsFromCache(SplitLines(ReadFileText(path)));
    }
}

void TDM::FixEmails()
{
    OpenTableSafe(tblIPList);
    FilteredView view(tblIPList, "Emails LIKE \",%\"");
    TField& emails = tblIPList.FieldByName("EMails");
    for (tblIPList.First(); !tblIPList.Eof(); tblIPList.Next()) {
        const std::string list = emails.AsString();
        const size_t commas = list.find_first_not_of(',');
        tblIPList.Edit();
        emails.SetAsString(commas == std::string::npos ? std::string() : list.substr(commas));
        tblIPList.Post();
    }
    view.Finish();
}

} // namespace morvanta
