#include "tables/TableEngineError.h"

#include <sqlite3.h>

namespace morvanta {

ETableEngineError::ETableEngineError(int code, const std::string& message)
    : std::runtime_error(message)
    , code_(code)
    , detail_(message)
{
}

ETableEngineError::ETableEngineError(int code, const std::string& context, const std::string& detail)
    : std::runtime_error(std::string(TableErrorText(code)) + " in " + context + ": " + detail)
    , code_(code)
    , context_(context)
    , detail_(detail)
{
}

ETableEngineError ETableEngineError::WithCode(int code) const
{
    if (context_.empty())
        return ETableEngineError(code, what());
    return ETableEngineError(code, context_, detail_);
}

const char* TableErrorText(int code)
{
    switch (code) {
    case TableError::BlobEndedEarly:
        return "End of BLOB data reached too early";
    case TableError::HeaderCorrupt:
        return "Header information corrupt";
    case TableError::DataRecordCorrupt:
        return "Data record buffers corrupt";
    case TableError::BlobBlockCorrupt:
        return "BLOB block buffers corrupt";
    case TableError::IndexPageCorrupt:
        return "Index page buffers corrupt";
    case TableError::ReadFailed:
        return "Error reading from the table";
    case TableError::WriteFailed:
        return "Error writing to the table";
    case TableError::InvalidBlobOffset:
        return "Invalid BLOB offset";
    case TableError::InvalidIndexField:
        return "Invalid field number in an index";
    case TableError::InvalidBlobLength:
        return "Invalid BLOB length";
    case TableError::OldVersion:
        return "The table is not of the current version";
    case TableError::NewerVersion:
        return "The table was written by a newer version of the program";
    case TableError::NotATableFile:
        return "Not a table file of this program";
    case TableError::StructureMismatch:
        return "The table has other fields than expected";
    case TableError::CannotOpen:
        return "Cannot open the table file";
    case TableError::Busy:
        return "The table is locked by another program";
    case TableError::ReadOnly:
        return "The table cannot be written";
    case TableError::KeyViolation:
        return "Key violation";
    case TableError::NotActive:
        return "The table is not open";
    case TableError::NotEditing:
        return "The table is not in edit mode";
    case TableError::NoCurrentRecord:
        return "No current record";
    case TableError::FieldNotFound:
        return "Field not found";
    case TableError::BadFilter:
        return "Invalid filter expression";
    case TableError::BadValue:
        return "The value does not fit the field";
    case TableError::RecordDeleted:
        return "The record was deleted by another program";
    case TableError::NotConnected:
        return "The database is not connected";
    case TableError::BadDefinition:
        return "Invalid table definition";
    case TableError::OutOfMemory:
        return "Out of memory";
    default:
        return "Table engine error";
    }
}

bool IsTableDamageCode(int code)
{
    switch (code) {
    case TableError::BlobEndedEarly:
    case TableError::HeaderCorrupt:
    case TableError::DataRecordCorrupt:
    case TableError::BlobBlockCorrupt:
    case TableError::IndexPageCorrupt:
    case TableError::ReadFailed:
    case TableError::WriteFailed:
    case TableError::InvalidBlobOffset:
    case TableError::InvalidIndexField:
    case TableError::InvalidBlobLength:
        return true;
    default:
        return false;
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
    case SQLITE_CORRUPT_INDEX:
        return TableError::IndexPageCorrupt;
    case SQLITE_IOERR_WRITE:
    case SQLITE_IOERR_FSYNC:
    case SQLITE_IOERR_DIR_FSYNC:
    case SQLITE_IOERR_TRUNCATE:
        return TableError::WriteFailed;
    case SQLITE_CONSTRAINT_UNIQUE:
    case SQLITE_CONSTRAINT_PRIMARYKEY:
        return TableError::KeyViolation;
    default:
        break;
    }
    switch (sqliteExtendedCode & 0xff) {
    case SQLITE_NOTADB:
        return TableError::HeaderCorrupt;
    case SQLITE_CORRUPT:
        return TableError::DataRecordCorrupt;
    case SQLITE_FULL:
        return TableError::WriteFailed;
    case SQLITE_IOERR:
        return TableError::ReadFailed;
    case SQLITE_CANTOPEN:
    case SQLITE_PERM:
    case SQLITE_AUTH:
        return TableError::CannotOpen;
    case SQLITE_BUSY:
    case SQLITE_LOCKED:
        return TableError::Busy;
    case SQLITE_READONLY:
        return TableError::ReadOnly;
    case SQLITE_NOMEM:
        return TableError::OutOfMemory;
    case SQLITE_TOOBIG:
    case SQLITE_MISMATCH:
    case SQLITE_RANGE:
        return TableError::BadValue;
    default:
        return TableError::General;
    }
}

} // namespace morvanta
