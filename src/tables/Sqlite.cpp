#include "tables/Sqlite.h"

#include "tables/TableEngineError.h"

#include <sqlite3.h>

#include <utility>

namespace morvanta {

namespace {

// The engine error for an SQLite result on the connection.
[[noreturn]] void ThrowSqliteError(sqlite3* database, int result, const std::string& context)
{
    int extended = database ? sqlite3_extended_errcode(database) : result;
    if ((extended & 0xff) != (result & 0xff))
        extended = result;
    std::string detail = database ? sqlite3_errmsg(database) : sqlite3_errstr(result);
    throw ETableEngineError(TableErrorFromSqlite(extended), context, detail);
}

} // namespace

std::string QuoteIdentifier(std::string_view name)
{
    std::string quoted = "\"";
    for (char c : name) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

TSqliteStatement::TSqliteStatement(sqlite3_stmt* statement, std::shared_ptr<const std::string> context)
    : statement_(statement)
    , context_(std::move(context))
{
}

TSqliteStatement::~TSqliteStatement()
{
    sqlite3_finalize(statement_);
}

TSqliteStatement::TSqliteStatement(TSqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr))
    , context_(std::move(other.context_))
{
}

TSqliteStatement& TSqliteStatement::operator=(TSqliteStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
        context_ = std::move(other.context_);
    }
    return *this;
}

void TSqliteStatement::Fail(int result) const
{
    ThrowSqliteError(sqlite3_db_handle(statement_), result, context_ ? *context_ : std::string("table"));
}

void TSqliteStatement::BindNull(int index)
{
    if (int result = sqlite3_bind_null(statement_, index); result != SQLITE_OK)
        Fail(result);
}

void TSqliteStatement::BindText(int index, std::string_view text)
{
    if (int result = sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        result != SQLITE_OK)
        Fail(result);
}

void TSqliteStatement::BindInteger(int index, std::int64_t number)
{
    if (int result = sqlite3_bind_int64(statement_, index, number); result != SQLITE_OK)
        Fail(result);
}

void TSqliteStatement::BindBlob(int index, std::string_view bytes)
{
    if (int result = sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
        result != SQLITE_OK)
        Fail(result);
}

bool TSqliteStatement::Step()
{
    int result = sqlite3_step(statement_);
    if (result == SQLITE_ROW)
        return true;
    if (result == SQLITE_DONE)
        return false;
    // The statement's own error must be read before the reset clears it.
    int extended = sqlite3_extended_errcode(sqlite3_db_handle(statement_));
    std::string detail = sqlite3_errmsg(sqlite3_db_handle(statement_));
    sqlite3_reset(statement_);
    throw ETableEngineError(TableErrorFromSqlite(extended), context_ ? *context_ : "table", detail);
}

void TSqliteStatement::Reset()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

int TSqliteStatement::ColumnType(int column) const
{
    return sqlite3_column_type(statement_, column);
}

bool TSqliteStatement::IsNull(int column) const
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t TSqliteStatement::ColumnInteger(int column) const
{
    return sqlite3_column_int64(statement_, column);
}

std::string TSqliteStatement::ColumnText(int column) const
{
    const void* bytes = sqlite3_column_type(statement_, column) == SQLITE_BLOB ? sqlite3_column_blob(statement_, column)
                                                                                 : sqlite3_column_text(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    if (!bytes || size <= 0)
        return {};
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

TStatementScope::~TStatementScope()
{
    statement_.Reset();
}

TSqliteConnection::TSqliteConnection(const std::string& path, Mode mode, std::string context)
    : context_(std::make_shared<const std::string>(std::move(context)))
{
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::ReadWriteCreate)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3* database = nullptr;
    int result = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
    if (result != SQLITE_OK) {
        std::string detail = database ? sqlite3_errmsg(database) : sqlite3_errstr(result);
        sqlite3_close_v2(database);
        throw ETableEngineError(TableErrorFromSqlite(result), *context_, detail);
    }
    database_ = database;
    sqlite3_extended_result_codes(database_, 1);
    // Another process (the program beside its command-line tool) may hold
    // the file for the moment of a write.
    sqlite3_busy_timeout(database_, 5000);
}

TSqliteConnection::~TSqliteConnection()
{
    Close();
}

TSqliteConnection::TSqliteConnection(TSqliteConnection&& other) noexcept
    : database_(std::exchange(other.database_, nullptr))
    , context_(std::move(other.context_))
{
    other.context_ = std::make_shared<const std::string>();
}

TSqliteConnection& TSqliteConnection::operator=(TSqliteConnection&& other) noexcept
{
    if (this != &other) {
        Close();
        database_ = std::exchange(other.database_, nullptr);
        context_ = std::move(other.context_);
        other.context_ = std::make_shared<const std::string>();
    }
    return *this;
}

void TSqliteConnection::Fail(int result) const
{
    ThrowSqliteError(database_, result, *context_);
}

void TSqliteConnection::Execute(std::string_view sql)
{
    std::string text(sql);
    char* message = nullptr;
    int result = sqlite3_exec(database_, text.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (result != SQLITE_OK)
        Fail(result);
}

TSqliteStatement TSqliteConnection::Prepare(std::string_view sql)
{
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v3(database_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                    &statement, nullptr);
    if (result != SQLITE_OK)
        Fail(result);
    return TSqliteStatement(statement, context_);
}

std::int64_t TSqliteConnection::QueryInteger(std::string_view sql)
{
    TSqliteStatement statement = Prepare(sql);
    return statement.Step() ? statement.ColumnInteger(0) : 0;
}

std::int64_t TSqliteConnection::LastInsertRowid() const
{
    return sqlite3_last_insert_rowid(database_);
}

int TSqliteConnection::Changes() const
{
    return sqlite3_changes(database_);
}

void TSqliteConnection::Close()
{
    if (database_) {
        sqlite3_close_v2(database_);
        database_ = nullptr;
    }
}

} // namespace morvanta
