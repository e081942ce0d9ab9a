#pragma once

#include "tables/Sqlite.h"
#include "tables/TableDef.h"
#include "tables/TableFile.h"
#include "tables/TableFileLock.h"
#include "tables/TableFilter.h"
#include "tables/TableValue.h"

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

class Database;
class Table;

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
class Field {
public:
    [[nodiscard]] const std::string& FieldName() const;
    [[nodiscard]] FieldType DataType() const;

    [[nodiscard]] bool IsNull() const;
    [[nodiscard]] TableValue Value() const;
    [[nodiscard]] std::string AsString() const;
    [[nodiscard]] std::int64_t AsInteger() const;
    [[nodiscard]] TableDate AsDate() const;
    [[nodiscard]] TableDateTime AsDateTime() const;

    void SetValue(const TableValue& value);
    void SetAsString(std::string_view text);
    void SetAsInteger(std::int64_t number);
    void SetAsDate(TableDate date);
    // A date field takes the day of the moment.
    void SetAsDateTime(TableDateTime moment);
    void Clear();

private:
    friend class Table;
    Field(Table& table, size_t index)
        : table_(&table)
        , index_(index)
    {
    }

    [[noreturn]] void Refuse(const std::string& what) const;

    Table* table_;
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
// Outside a transaction every Post and AppendRecord is committed before it
// returns, with the file's log synced to disk: what a returned call wrote
// survives the program being killed, and the machine losing power. Inside
// one, that holds from Commit on. FlushBuffers posts a pending edit. Like
// the classic data sets, moving the cursor, changing the filter, flushing or
// closing posts a pending edit first.
//
// Another program may use the same file at once. Its writes are seen by the
// next read; a row read and then written back outside a transaction may
// have been changed by it in between, so a read followed by a write that
// depends on it belongs in a transaction.
//
// A failure that shows the file damaged closes the table and marks the file
// suspect, so that the next Open, in this program or another, checks it and
// meets the damage, and the caller can repair it.
class Table {
public:
    // TableError(BadDefinition) for a definition the engine cannot keep.
    Table(Database& database, TableDef definition);
    ~Table();
    Table(const Table&) = delete;
    Table& operator=(const Table&) = delete;

    [[nodiscard]] const std::string& TableName() const { return definition_.name; }
    [[nodiscard]] const TableDef& Definition() const { return definition_; }

    // Opens the table file, creating it empty with its fields when it is
    // missing, and makes the first row current. Does nothing when open.
    // TableError for damage (8961, 8962, 8965, 10023...), an older
    // format (12035), a newer format, a file of the wrong shape, a database
    // that is not connected, a repair or upgrade by another program that
    // outlasts the database's wait limit (Busy), ...
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

    // TableError(FieldNotFound) for an unknown name; letter case is ignored.
    [[nodiscard]] Field& FieldByName(std::string_view name);
    [[nodiscard]] const Field& FieldByName(std::string_view name) const;
    [[nodiscard]] size_t FieldCount() const { return fields_.size(); }
    [[nodiscard]] Field& Fields(size_t index) { return fields_.at(index); }

    void Edit();
    // Writes the current row. KeyViolation when the key is another row's;
    // RecordDeleted when the row is gone. The table stays in Edit on failure.
    void Post();
    void Cancel();

    // Appends a row from all its values in field order; it becomes current.
    void AppendRecord(const std::vector<TableValue>& values);

    // See TableFilter for the expressions understood. Setting an invalid one
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

    // A transaction holds the file's write lock from its start: what is read
    // inside it cannot change under it, and other programs' writes wait for
    // it to end (up to the database's wait limit, then they fail with
    // TableError(Busy)); it fails the same way when another program's write
    // outlasts that limit. Closing the table rolls back an open transaction.
    // See TableTransaction.
    void StartTransaction();
    void Commit();
    // Drops every write since StartTransaction and reads the current row
    // again. Does nothing outside a transaction or on a closed table.
    void Rollback();
    [[nodiscard]] bool InTransaction() const { return inTransaction_; }

    void FlushBuffers();
    // Reads the current row again, as other processes may have changed it;
    // when it is gone or no longer in the view, the next row becomes current.
    void Refresh();

    // On the closed table's file: see RepairTableFile and UpgradeTableFile.
    RepairReport RepairTable();
    void UpgradeTable();

private:
    friend class Field;
    friend class Database;

    struct Statements {
        SqliteStatement selectByKey;
        SqliteStatement selectByRowid;
        SqliteStatement walk;
        SqliteStatement maxRowid;
        SqliteStatement count;
        SqliteStatement update;
        SqliteStatement insert;
    };

    template <class Action> decltype(auto) Guarded(Action&& action);

    void CheckActive() const;
    void CheckBrowseMode();
    void CheckClosedForMaintenance(const char* what) const;
    void CloseDiscarding();
    void CloseDamaged();
    [[nodiscard]] TableRow ReadRow(const SqliteStatement& statement) const;
    [[nodiscard]] bool InView(const TableRow& row) const;
    [[nodiscard]] std::int64_t LastRowid();
    void AdvanceFrom(std::int64_t rowid);
    [[nodiscard]] std::string Context() const;

    Database* database_;
    TableDef definition_;
    std::vector<Field> fields_;
    std::string fileName_;
    TableFileLock lock_; // released after the connection has closed
    SqliteConnection connection_;
    Statements statements_;
    TableState state_ = TableState::Inactive;
    std::optional<TableRow> current_;
    std::optional<TableRow> beforeEdit_;
    bool eof_ = true;
    std::optional<std::int64_t> walkEnd_;
    std::string filterText_;
    std::optional<TableFilter> filter_;
    bool filtered_ = false;
    bool inTransaction_ = false;
};

// A transaction of a table for the life of the object: rolled back when the
// scope ends without Commit, also on a failure.
class TableTransaction {
public:
    explicit TableTransaction(Table& table)
        : table_(table)
    {
        table_.StartTransaction();
    }
    ~TableTransaction();
    TableTransaction(const TableTransaction&) = delete;
    TableTransaction& operator=(const TableTransaction&) = delete;

    void Commit() { table_.Commit(); }

private:
    Table& table_;
};

} // namespace morvanta
