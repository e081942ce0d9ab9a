#pragma once

#include "tables/Sqlite.h"
#include "tables/TableDef.h"
#include "tables/TableFileLock.h"
#include "tables/TableValue.h"

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

// Table files. Each table is one SQLite database file in the database folder,
// named after the table with the extension ".db" (IPList.db, IPStats.db).
// Besides the table and its primary index (named "<Table>_primary", unique)
// the file holds a one-row table morvanta_format (a magic BLOB, the format
// number, the table name); the format number is also kept in the header's
// user version, and the header's application id marks the file as ours.
//
// Formats:
//   1  dates as INTEGER day numbers, date-times as INTEGER seconds from
//      1970-01-01 00:00 wall-clock time (declared DATE and DATETIME)
//   2  dates as TEXT "YYYY-MM-DD", date-times as TEXT "YYYY-MM-DD HH:MM:SS"
//      (declared DATE_TEXT and DATETIME_TEXT), readable in any SQLite tool
//
// Open files run in WAL mode with synchronous=NORMAL: a committed write
// survives the program being killed or crashing at any moment, and the file
// stays consistent through a power failure, which can at most cost the
// last look-ups' counters, statistics rows or a freshly found list (a new
// search finds it again). Waiting for the disk at every commit (FULL) made
// each look-up cost two disk flushes, which capped bulk runs at about a
// hundred messages a second. secure_delete is on, so content freed by an
// update is zeroed and a salvage cannot bring old rows back.
//
// Several programs may use a table file at once; its lock file (see
// TableFileLock) keeps repairs and upgrades apart from them.
namespace morvanta {

inline constexpr int kCurrentTableFormat = 2;
inline constexpr int kOldestTableFormat = 1;
inline constexpr std::uint32_t kTableApplicationId = 0x4D565442; // "MVTB"
inline constexpr const char* kTableFileExtension = ".db";

struct TableRow {
    std::int64_t rowid = 0; // 0: let the file choose
    std::vector<TableValue> values;

    friend bool operator==(const TableRow&, const TableRow&) = default;
};

enum class VersionCheck { RequireCurrent, AllowOlder };

struct OpenedTableFile {
    TableFileLock lock; // held shared; released after the connection has closed
    SqliteConnection connection;
    int format = kCurrentTableFormat;
    bool checked = false; // the whole file was checked for damage
};

// Opens a table file for use, creating it with the definition's fields when
// it is missing or empty, and checks it: that it is one of our table files
// for this table, of a format this program knows, with the definition's
// fields in order and its primary index. SQLite's integrity check over the
// whole file runs only when the program opening it is alone with a file
// that was not left clean as it is now, or when damage was met in it (see
// TableFileLock): so opening costs the same however many rows the file holds.
// Throws TableError: HeaderCorrupt, DataRecordCorrupt,
// IndexPageCorrupt or InvalidIndexField for damage, OldVersion for an older
// format (unless allowed), NewerVersion, NotATableFile, StructureMismatch,
// CannotOpen, Busy when a repair or upgrade by another program outlasts the
// wait, ...
[[nodiscard]] OpenedTableFile OpenTableFile(const std::string& path, const TableDef& definition,
                                            VersionCheck check = VersionCheck::RequireCurrent,
                                            std::chrono::milliseconds wait = kTableWaitLimit);

// Writes a new table file holding the rows (rowids kept) in the given format,
// and records it clean. Refuses to overwrite an existing file.
void WriteTableFile(const std::string& path, const TableDef& definition, const std::vector<TableRow>& rows,
                    int format = kCurrentTableFormat, std::chrono::milliseconds wait = kTableWaitLimit);

// Every row of an open table file in rowid order, read through the table's
// own b-tree (not its index). Dates stored in either format are understood.
[[nodiscard]] std::vector<TableRow> ReadTableRows(SqliteConnection& connection, const TableDef& definition);

// Brings a table file of an older format to the current one in a single
// transaction; a current file is left alone. NewerVersion for a newer one.
void UpgradeTableFile(const std::string& path, const TableDef& definition,
                      std::chrono::milliseconds wait = kTableWaitLimit);

struct RepairReport {
    enum class Action {
        NothingToRepair, // no file
        Rebuilt, // every row read through the table; indexes rebuilt, file compacted
        Salvaged, // rows saved page by page from a damaged file
    };
    Action action = Action::NothingToRepair;
    size_t rowsKept = 0;
    size_t rowsDropped = 0; // rows whose key another, later row also had
    std::string backupPath; // the damaged file, kept when anything may have been lost
};

// Repairs a table file, waiting until every other program has closed it.
// When SQLite can still read the table's own b-tree, every row is copied
// into a fresh file with its indexes built anew, and the fresh file takes
// the old one's place. When the header or the table's pages are damaged,
// every row that can still be read off the pages (and the committed pages of
// the WAL) is saved into the fresh file instead, and the damaged file stays
// beside it as "<file>.bak-YYYYMMDD-HHMMSS" (its WAL too); of these backups
// the newest kKeptBackups are kept. An older format comes out in the current
// one. A newer format, a file that is not ours, or a table with other fields
// are not repaired: TableError.
[[nodiscard]] RepairReport RepairTableFile(const std::string& path, const TableDef& definition,
                                           std::chrono::milliseconds wait = kTableWaitLimit);

inline constexpr size_t kKeptBackups = 3;

// Work on a table file that no other program has open: from construction,
// which waits for the others to close the table (TableError(Busy) when the
// wait runs out), to destruction, other programs wait to open it.
class TableMaintenance {
public:
    TableMaintenance(std::string path, TableDef definition, std::chrono::milliseconds wait = kTableWaitLimit);

    // See RepairTableFile, UpgradeTableFile and WriteTableFile.
    [[nodiscard]] RepairReport Repair();
    void Upgrade();
    void Write(const std::vector<TableRow>& rows, int format = kCurrentTableFormat);

private:
    std::string path_;
    TableDef definition_;
    std::string context_;
    std::chrono::milliseconds wait_;
    TableFileLock lock_;
};

// For a damage error met on an open file: the code that names the damage
// (HeaderCorrupt, DataRecordCorrupt, IndexPageCorrupt), or 0 when the
// integrity check finds the file sound.
[[nodiscard]] int DiagnoseTableDamage(SqliteConnection& connection, const std::string& path);

// Statement pieces shared with Table.
[[nodiscard]] std::string ColumnListSql(const TableDef& definition);
void BindFieldValue(SqliteStatement& statement, int index, const TableValue& value, FieldType type, int format,
                    const std::string& context);
// A value as stored; dates and date-times in either format are understood, and
// anything else is returned as it is (text) for the field to judge.
[[nodiscard]] TableValue ReadFieldValue(const SqliteStatement& statement, int column, FieldType type);

} // namespace morvanta
