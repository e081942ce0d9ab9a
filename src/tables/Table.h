#pragma once

#include "tables/Sqlite.h"
#include "tables/TableDef.h"
#include "tables/TableFile.h"
#include "tables/TableFilter.h"
#include "tables/TableValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

class TDatabase;
class TTable;

enum class TableState { Inactive, Browse, Edit };

// A field of a table's current row. Reading needs an open table (a missing
// current row reads as null); writing needs the table in Edit.
//
// Reading converts: a null reads as "", 0, day 0 (1970-01-01) or its midnight;
// integers, dates and date-times read as text in decimal and ISO form; a text
// reads as an integer, date or date-time only when it is one, otherwise
// BadValue. Writing a value that does not suit the field (a text that is no
// number into an integer field, a date outside the years 1 to 9999, ...)
// throws BadValue and leaves the field as it was.
class TField {
public:
    [[nodiscard]] const std::string& FieldName() const;
    [[nodiscard]] FieldType DataType() const;

    [[nodiscard]] bool IsNull() const;
    [[nodiscard]] TValue Value() const;
    [[nodiscard]] std::string AsString() const;
    [[nodiscard]] std::int64_t AsInteger() const;
    [[nodiscard]] TDate AsDate() const;
    [[nodiscard]] TDateTime AsDateTime() const;

    void SetValue(const TValue& value);
    void SetAsString(std::string_view text);
    void SetAsInteger(std::int64_t number);
    void SetAsDate(TDate date);
    // A date field takes the day of the moment.
    void SetAsDateTime(TDateTime moment);
    void Clear();

private:
    friend class TTable;
    TField(TTable& table, size_t index)
        : table_(&table)
        , index_(index)
    {
    }

    [[noreturn]] void Refuse(const std::string& what) const;

    TTable* table_;
    size_t index_;
};

// A table of a database: opened on its primary index, with a current row,
// edits of that row, appends, a filter and a walk.
//
// The walk (First, then Next until Eof) visits the rows of the view in the
// order they were added, each at most once: it moves by rowid and ends at the
// last row that existed when it began, so it ends even when a rewritten row
// still satisfies the filter, and rows appended meanwhile are left for the
// next walk. The filter is tested on each row as it is when the walk reaches
// it.
//
// Every Post and AppendRecord is committed before it returns, with the file's
// log synced to disk: what a returned call wrote survives the program being
// killed, and the machine losing power. FlushBuffers posts a pending edit.
// Like the classic data sets, moving the cursor, changing the filter,
// flushing or closing posts a pending edit first.
//
// A failure that shows the file damaged closes the table, so that the next
// Open meets the damage and the caller can repair it.
class TTable {
public:
    // ETableEngineError(BadDefinition) for a definition the engine cannot keep.
    TTable(TDatabase& database, TTableDef definition);
    ~TTable();
    TTable(const TTable&) = delete;
    TTable& operator=(const TTable&) = delete;

    [[nodiscard]] const std::string& TableName() const { return definition_.name; }
    [[nodiscard]] const TTableDef& Definition() const { return definition_; }

    // Opens the table file, creating it empty with its fields when it is
    // missing, and makes the first row current. Does nothing when open.
    // ETableEngineError for damage (8961, 8962, 8965, 10023...), an older
    // format (12035), a newer format, a file of the wrong shape, a database
    // that is not connected, ...
    void Open();
    void Close();
    [[nodiscard]] bool Active() const { return state_ != TableState::Inactive; }
    [[nodiscard]] TableState State() const { return state_; }

    // Looks the key up on the primary index; when found (and admitted by an
    // active filter) the row becomes current. Otherwise the current row stays.
    [[nodiscard]] bool FindKey(std::string_view key);

    // Every value of the primary-index key, read in one pass; the current
    // row does not move.
    [[nodiscard]] std::vector<std::string> PrimaryKeys();

    // ETableEngineError(FieldNotFound) for an unknown name; letter case is ignored.
    [[nodiscard]] TField& FieldByName(std::string_view name);
    [[nodiscard]] const TField& FieldByName(std::string_view name) const;
    [[nodiscard]] size_t FieldCount() const { return fields_.size(); }
    [[nodiscard]] TField& Fields(size_t index) { return fields_.at(index); }

    void Edit();
    // Writes the current row. KeyViolation when the key is another row's;
    // RecordDeleted when the row is gone. The table stays in Edit on failure.
    void Post();
    void Cancel();

    // Appends a row from all its values in field order; it becomes current.
    void AppendRecord(const std::vector<TValue>& values);

    // See TTableFilter for the expressions understood. Setting an invalid one
    // throws and keeps the old. Changing the filter in force, or switching
    // filtering, makes the first row of the new view current.
    void SetFilter(std::string_view expression);
    [[nodiscard]] const std::string& Filter() const { return filterText_; }
    void SetFiltered(bool filtered);
    [[nodiscard]] bool Filtered() const { return filtered_; }

    void First();
    void Next();
    // True when the view is empty or a Next went past its last row (the
    // current row then stays the last one).
    [[nodiscard]] bool Eof() const { return eof_; }
    // The rows of the view.
    [[nodiscard]] size_t RecordCount();

    void FlushBuffers();
    // Reads the current row again, as other processes may have changed it;
    // when it is gone or no longer in the view, the next row becomes current.
    void Refresh();

    // On the closed table's file: see RepairTableFile and UpgradeTableFile.
    TRepairReport RepairTable();
    void UpgradeTable();

private:
    friend class TField;
    friend class TDatabase;

    struct Statements {
        TSqliteStatement selectByKey;
        TSqliteStatement selectByRowid;
        TSqliteStatement walk;
        TSqliteStatement maxRowid;
        TSqliteStatement count;
        TSqliteStatement update;
        TSqliteStatement insert;
    };

    template <class Action>
    decltype(auto) Guarded(Action&& action);

    void CheckActive() const;
    void CheckBrowseMode();
    void CheckClosedForMaintenance(const char* what) const;
    void CloseDiscarding();
    [[nodiscard]] TTableRow ReadRow(const TSqliteStatement& statement) const;
    [[nodiscard]] bool InView(const TTableRow& row) const;
    [[nodiscard]] std::int64_t LastRowid();
    void AdvanceFrom(std::int64_t rowid);
    [[nodiscard]] std::string Context() const;

    TDatabase* database_;
    TTableDef definition_;
    std::vector<TField> fields_;
    std::string fileName_;
    TSqliteConnection connection_;
    Statements statements_;
    TableState state_ = TableState::Inactive;
    std::optional<TTableRow> current_;
    std::optional<TTableRow> beforeEdit_;
    bool eof_ = true;
    std::optional<std::int64_t> walkEnd_;
    std::string filterText_;
    std::optional<TTableFilter> filter_;
    bool filtered_ = false;
};

} // namespace morvanta
