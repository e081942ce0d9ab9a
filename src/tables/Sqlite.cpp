#include "tables/Sqlite.h"

#include "tables/TableError.h"

#include <sqlite3.h>

#include <algorithm>
#include <climits>
#include <utility>

namespace morvanta {

namespace {

// The engine error for an SQLite result: its code, and SQLite's message,
// which for a lock held too long says how long was waited.
[[noreturn]] void ThrowSqliteError(int extended, std::string detail, const SqliteContext* context)
{
    int code = TableErrorFromSqlite(extended);
    if (code == TableErrorCode::Busy && context)
        detail = "another program kept it locked for more than " + WaitText(context->wait) + " (" + detail + ")";
    throw TableError(code, context ? context->name : std::string("table"), detail);
}

[[noreturn]] void ThrowSqliteError(sqlite3* database, int result, const SqliteContext* context)
{
    int extended = database ? sqlite3_extended_errcode(database) : result;
    if ((extended & 0xff) != (result & 0xff))
        extended = result;
    ThrowSqliteError(extended, database ? sqlite3_errmsg(database) : sqlite3_errstr(result), context);
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

SqliteStatement::SqliteStatement(sqlite3_stmt* statement, std::shared_ptr<const SqliteContext> context)
    : statement_(statement)
    , context_(std::move(context))
{
}

SqliteStatement::~SqliteStatement()
{
    sqlite3_finalize(statement_);
}

SqliteStatement::SqliteStatement(SqliteStatement&& other) noexcept
    : statement_(std::exchange(other.statement_, nullptr))
    , context_(std::move(other.context_))
{
}

SqliteStatement& SqliteStatement::operator=(SqliteStatement&& other) noexcept
{
    if (this != &other) {
        sqlite3_finalize(statement_);
        statement_ = std::exchange(other.statement_, nullptr);
        context_ = std::move(other.context_);
    }
    return *this;
}

void SqliteStatement::Fail(int result) const
{
    ThrowSqliteError(sqlite3_db_handle(statement_), result, context_.get());
}

void SqliteStatement::BindNull(int index)
{
    if (int result = sqlite3_bind_null(statement_, index); result != SQLITE_OK)
        Fail(result);
}

void SqliteStatement::BindText(int index, std::string_view text)
{
    if (int result = sqlite3_bind_text64(statement_, index, text.data(), text.size(), SQLITE_TRANSIENT, SQLITE_UTF8);
        result != SQLITE_OK)
        Fail(result);
}

void SqliteStatement::BindInteger(int index, std::int64_t number)
{
    if (int result = sqlite3_bind_int64(statement_, index, number); result != SQLITE_OK)
        Fail(result);
}

void SqliteStatement::BindBlob(int index, std::string_view bytes)
{
    if (int result = sqlite3_bind_blob64(statement_, index, bytes.data(), bytes.size(), SQLITE_TRANSIENT);
        result != SQLITE_OK)
        Fail(result);
}

bool SqliteStatement::Step()
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
    ThrowSqliteError(extended, detail, context_.get());
}

void SqliteStatement::Reset()
{
    sqlite3_reset(statement_);
    sqlite3_clear_bindings(statement_);
}

int SqliteStatement::ColumnType(int column) const
{
    return sqlite3_column_type(statement_, column);
}

bool SqliteStatement::IsNull(int column) const
{
    return sqlite3_column_type(statement_, column) == SQLITE_NULL;
}

std::int64_t SqliteStatement::ColumnInteger(int column) const
{
    return sqlite3_column_int64(statement_, column);
}

std::string SqliteStatement::ColumnText(int column) const
{
    const void* bytes = sqlite3_column_type(statement_, column) == SQLITE_BLOB
                            ? sqlite3_column_blob(statement_, column)
                            : sqlite3_column_text(statement_, column);
    int size = sqlite3_column_bytes(statement_, column);
    if (!bytes || size <= 0)
        return {};
    return std::string(static_cast<const char*>(bytes), static_cast<size_t>(size));
}

StatementScope::~StatementScope()
{
    statement_.Reset();
}

SqliteConnection::SqliteConnection(const std::string& path, Mode mode, std::string context,
                                   std::chrono::milliseconds wait)
    : context_(std::make_shared<const SqliteContext>(SqliteContext { std::move(context), wait }))
{
    int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOMUTEX;
    if (mode == Mode::ReadWriteCreate)
        flags |= SQLITE_OPEN_CREATE;
    sqlite3* database = nullptr;
    int result = sqlite3_open_v2(path.c_str(), &database, flags, nullptr);
    if (result != SQLITE_OK) {
        std::string detail = database ? sqlite3_errmsg(database) : sqlite3_errstr(result);
        sqlite3_close_v2(database);
        ThrowSqliteError(result, detail, context_.get());
    }
    database_ = database;
    sqlite3_extended_result_codes(database_, 1);
    sqlite3_busy_timeout(database_, static_cast<int>(std::min<std::int64_t>(wait.count(), INT_MAX)));
}

SqliteConnection::~SqliteConnection()
{
    Close();
}

SqliteConnection::SqliteConnection(SqliteConnection&& other) noexcept
    : database_(std::exchange(other.database_, nullptr))
    , context_(std::move(other.context_))
{
    other.context_ = std::make_shared<const SqliteContext>();
}

SqliteConnection& SqliteConnection::operator=(SqliteConnection&& other) noexcept
{
    if (this != &other) {
        Close();
        database_ = std::exchange(other.database_, nullptr);
        context_ = std::move(other.context_);
        other.context_ = std::make_shared<const SqliteContext>();
    }
    return *this;
}

void SqliteConnection::Fail(int result) const
{
    ThrowSqliteError(database_, result, context_.get());
}

void SqliteConnection::Execute(std::string_view sql)
{
    std::string text(sql);
    char* message = nullptr;
    int result = sqlite3_exec(database_, text.c_str(), nullptr, nullptr, &message);
    sqlite3_free(message);
    if (result != SQLITE_OK)
        Fail(result);
}

SqliteStatement SqliteConnection::Prepare(std::string_view sql)
{
    sqlite3_stmt* statement = nullptr;
    int result = sqlite3_prepare_v3(database_, sql.data(), static_cast<int>(sql.size()), SQLITE_PREPARE_PERSISTENT,
                                    &statement, nullptr);
    if (result != SQLITE_OK)
        Fail(result);
    return SqliteStatement(statement, context_);
}

std::int64_t SqliteConnection::QueryInteger(std::string_view sql)
{
    SqliteStatement statement = Prepare(sql);
    return statement.Step() ? statement.ColumnInteger(0) : 0;
}

std::int64_t SqliteConnection::LastInsertRowid() const
{
    return sqlite3_last_insert_rowid(database_);
}

int SqliteConnection::Changes() const
{
    return sqlite3_changes(database_);
}

void SqliteConnection::Close()
{
    if (database_) {
        sqlite3_close_v2(database_);
        database_ = nullptr;
    }
}

} // namespace morvanta
