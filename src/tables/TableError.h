#pragma once

#include <chrono>
#include <stdexcept>
#include <string>

namespace morvanta {

// The table engine's error numbers. The first group keeps the classic
// numbering of the desktop table engines that callers test for; the
// numbers from 30001 on are this engine's own.
namespace TableErrorCode {

// Damage: a repair (index rebuild, or a salvage of the readable rows) is the
// cure. The BLOB codes are part of the numbering but never raised: these
// tables hold no BLOB fields.
inline constexpr int BlobEndedEarly = 8711;
inline constexpr int HeaderCorrupt = 8961;
inline constexpr int DataRecordCorrupt = 8962;
inline constexpr int BlobBlockCorrupt = 8963;
inline constexpr int IndexPageCorrupt = 8965;
inline constexpr int ReadFailed = 9217;
inline constexpr int WriteFailed = 9218;
inline constexpr int InvalidBlobOffset = 9998;
inline constexpr int InvalidIndexField = 10023;
inline constexpr int InvalidBlobLength = 10029;

// An older table format of ours: an upgrade is the cure.
inline constexpr int OldVersion = 12035;

inline constexpr int General = 30001; // any other engine failure
inline constexpr int NewerVersion = 30002; // written by a newer program: never touched
inline constexpr int NotATableFile = 30003; // a database that is not one of our tables
inline constexpr int StructureMismatch = 30004; // our table, but other fields than expected
inline constexpr int CannotOpen = 30005; // missing folder, no permission
inline constexpr int Busy = 30006; // another process holds the file locked
inline constexpr int ReadOnly = 30007; // the file or folder cannot be written
inline constexpr int KeyViolation = 30008; // a second row with the same primary key
inline constexpr int NotActive = 30009; // the table is closed
inline constexpr int NotEditing = 30010; // a field written outside Edit
inline constexpr int NoCurrentRecord = 30011;
inline constexpr int FieldNotFound = 30012;
inline constexpr int BadFilter = 30013;
inline constexpr int BadValue = 30014; // a value that does not fit the field
inline constexpr int RecordDeleted = 30015; // the row vanished under an edit
inline constexpr int NotConnected = 30016; // the database is not connected
inline constexpr int BadDefinition = 30017; // a table definition the engine cannot keep
inline constexpr int OutOfMemory = 30018;

} // namespace TableErrorCode

// A failure of the table engine: a number from TableError and a message
// that names the table and says what went wrong.
class TableError : public std::runtime_error {
public:
    TableError(int code, const std::string& message);
    // The message "<the code's text> in <context>: <detail>".
    TableError(int code, const std::string& context, const std::string& detail);

    [[nodiscard]] int code() const { return code_; }
    // What went wrong without the code's text and the table named; the whole
    // message when it was given whole.
    [[nodiscard]] const std::string& detail() const { return detail_; }
    // The same failure under a code that names it better.
    [[nodiscard]] TableError WithCode(int code) const;

private:
    int code_;
    std::string context_;
    std::string detail_;
};

// A waiting time as a message gives it: "60 seconds", "1 second", "250 ms".
[[nodiscard]] std::string WaitText(std::chrono::milliseconds wait);

// The classic text of a code ("Header information corrupt", ...).
[[nodiscard]] const char* TableErrorText(int code);

// True for the codes that say the file is damaged.
[[nodiscard]] bool IsTableDamageCode(int code);

// The engine code for an SQLite result code (extended codes understood).
// SQLITE_CORRUPT becomes DataRecordCorrupt here; the table file code refines
// it by diagnosing the file.
[[nodiscard]] int TableErrorFromSqlite(int sqliteExtendedCode);

} // namespace morvanta
