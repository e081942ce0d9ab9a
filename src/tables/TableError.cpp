#include "tables/TableError.h"

#include <sqlite3.h>

namespace morvanta {

TableError::TableError(int code, const std::string& message)
    : std::runtime_error(message)
    , code_(code)
    , detail_(message)
{
}

TableError::TableError(int code, const std::string& context, const std::string& detail)
    : std::runtime_error(std::string(TableErrorText(code)) + " in " + context + ": " + detail)
    , code_(code)
    , context_(context)
    , detail_(detail)
{
}

TableError TableError::WithCode(int code) const
{
    if (context_.empty())
        return TableError(code, what());
    return TableError(code, context_, detail_);
}

std::string WaitText(std::chrono::milliseconds wait)
{
    auto count = wait.count();
    if (count % 1000 != 0)
        return std::to_string(count) + " ms";
    return std::to_string(count / 1000) + (count == 1000 ? " second" : " seconds");
}

const char* TableErrorText(int code)
{
    switch (code) {
    case TableErrorCode::BlobEndedEarly: return "End of BLOB data reached too early";
    case TableErrorCode::HeaderCorrupt: return "Header information corrupt";
    case TableErrorCode::DataRecordCorrupt: return "Data record buffers corrupt";
    case TableErrorCode::BlobBlockCorrupt: return "BLOB block buffers corrupt";
    case TableErrorCode::IndexPageCorrupt: return "Index page buffers corrupt";
    case TableErrorCode::ReadFailed: return "Error reading from the table";
    case TableErrorCode::WriteFailed: return "Error writing to the table";
    case TableErrorCode::InvalidBlobOffset: return "Invalid BLOB offset";
    case TableErrorCode::InvalidIndexField: return "Invalid field number in an index";
    case TableErrorCode::InvalidBlobLength: return "Invalid BLOB length";
    case TableErrorCode::OldVersion: return "The table is not of the current version";
    case TableErrorCode::NewerVersion: return "The table was written by a newer version of the program";
    case TableErrorCode::NotATableFile: return "Not a table file of this program";
    case TableErrorCode::StructureMismatch: return "The table has other fields than expected";
    case TableErrorCode::CannotOpen: return "Cannot open the table file";
    case TableErrorCode::Busy: return "The table is locked by another program";
    case TableErrorCode::ReadOnly: return "The table cannot be written";
    case TableErrorCode::KeyViolation: return "Key violation";
    case TableErrorCode::NotActive: return "The table is not open";
    case TableErrorCode::NotEditing: return "The table is not in edit mode";
    case TableErrorCode::NoCurrentRecord: return "No current record";
    case TableErrorCode::FieldNotFound: return "Field not found";
    case TableErrorCode::BadFilter: return "Invalid filter expression";
    case TableErrorCode::BadValue: return "The value does not fit the field";
    case TableErrorCode::RecordDeleted: return "The record was deleted by another program";
    case TableErrorCode::NotConnected: return "The database is not connected";
    case TableErrorCode::BadDefinition: return "Invalid table definition";
    case TableErrorCode::OutOfMemory: return "Out of memory";
    default: return "Table engine error";
    }
}

bool IsTableDamageCode(int code)
{
    switch (code) {
    case TableErrorCode::BlobEndedEarly:
    case TableErrorCode::HeaderCorrupt:
    case TableErrorCode::DataRecordCorrupt:
    case TableErrorCode::BlobBlockCorrupt:
    case TableErrorCode::IndexPageCorrupt:
    case TableErrorCode::ReadFailed:
    case TableErrorCode::WriteFailed:
    case TableErrorCode::InvalidBlobOffset:
    case TableErrorCode::InvalidIndexField:
    case TableErrorCode::InvalidBlobLength: return true;
    default: return false;
    }
}

// SQLite result codes onto the engine's:
//   SQLITE_NOTADB                                  -> HeaderCorrupt (8961)
//   SQLITE_CORRUPT_INDEX                           -> IndexPageCorrupt (8965)
//   any other SQLITE_CORRUPT                       -> DataRecordCorrupt (8962), refined by a diagnosis
//   SQLITE_IOERR_WRITE, _FSYNC, _DIR_FSYNC,
//     _TRUNCATE, SQLITE_FULL                       -> WriteFailed (9218)
//   any other SQLITE_IOERR                         -> ReadFailed (9217)
//   SQLITE_CANTOPEN, SQLITE_PERM, SQLITE_AUTH      -> CannotOpen
//   SQLITE_BUSY, SQLITE_LOCKED                     -> Busy
//   SQLITE_READONLY                                -> ReadOnly
//   SQLITE_CONSTRAINT_UNIQUE, _PRIMARYKEY          -> KeyViolation
//   SQLITE_NOMEM                                   -> OutOfMemory
//   SQLITE_TOOBIG, SQLITE_MISMATCH, SQLITE_RANGE   -> BadValue
//   everything else                                -> General
int TableErrorFromSqlite(int sqliteExtendedCode)
{
    switch (sqliteExtendedCode) {
    case SQLITE_CORRUPT_INDEX: return TableErrorCode::IndexPageCorrupt;
    case SQLITE_IOERR_WRITE:
    case SQLITE_IOERR_FSYNC:
    case SQLITE_IOERR_DIR_FSYNC:
    case SQLITE_IOERR_TRUNCATE: return TableErrorCode::WriteFailed;
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY: return TableErrorCode::KeyViolation;
    default: break;
    }
    switch (sqliteExtendedCode & 0xff) {
    case SQLITE_NOTADB: return TableErrorCode::HeaderCorrupt;
    case SQLITE_CORRUPT: return TableErrorCode::DataRecordCorrupt;
    case SQLITE_FULL: return TableErrorCode::WriteFailed;
    case SQLITE_IOERR: return TableErrorCode::ReadFailed;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH: return TableErrorCode::CannotOpen;
    case SQLITE_BUSY:
    case SQLITE_LOCKED: return TableErrorCode::Busy;
    case SQLITE_READONLY: return TableErrorCode::ReadOnly;
    case SQLITE_NOMEM: return TableErrorCode::OutOfMemory;
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE: return TableErrorCode::BadValue;
    default: return TableErrorCode::General;
    }
}

} // namespace morvanta
