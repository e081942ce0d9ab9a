#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

struct sqlite3;
struct sqlite3_stmt;

// The SQLite calls of the table engine, each wrapped once: a failing call
// throws TableError with the engine code for SQLite's result
// (TableErrorFromSqlite) and a message that names the table file.
namespace morvanta {

// What a failure message says of the connection: the file it names, and how
// long a statement waits for another program's lock before it gives up.
struct SqliteContext {
    std::string name;
    std::chrono::milliseconds wait { 0 };
};

class SqliteStatement {
public:
    SqliteStatement() = default;
    SqliteStatement(sqlite3_stmt* statement, std::shared_ptr<const SqliteContext> context);
    ~SqliteStatement();
    SqliteStatement(SqliteStatement&& other) noexcept;
    SqliteStatement& operator=(SqliteStatement&& other) noexcept;
    SqliteStatement(const SqliteStatement&) = delete;
    SqliteStatement& operator=(const SqliteStatement&) = delete;

    void BindNull(int index);
    void BindText(int index, std::string_view text);
    void BindInteger(int index, std::int64_t number);
    void BindBlob(int index, std::string_view bytes);

    // True while it yields a row.
    [[nodiscard]] bool Step();
    // Ready to run again; the bindings are cleared.
    void Reset();

    [[nodiscard]] int ColumnType(int column) const; // SQLITE_INTEGER, SQLITE_TEXT, ...
    [[nodiscard]] bool IsNull(int column) const;
    [[nodiscard]] std::int64_t ColumnInteger(int column) const;
    // Text and BLOB columns as bytes.
    [[nodiscard]] std::string ColumnText(int column) const;

private:
    [[noreturn]] void Fail(int result) const;

    sqlite3_stmt* statement_ = nullptr;
    std::shared_ptr<const SqliteContext> context_;
};

// Runs the statement's reset when the scope ends, so that no read stays open
// after an early return or a failure.
class StatementScope {
public:
    explicit StatementScope(SqliteStatement& statement)
        : statement_(statement)
    {
    }
    ~StatementScope();
    StatementScope(const StatementScope&) = delete;
    StatementScope& operator=(const StatementScope&) = delete;

private:
    SqliteStatement& statement_;
};

class SqliteConnection {
public:
    enum class Mode { ReadWrite, ReadWriteCreate };

    SqliteConnection() = default;
    // The context names the file in messages, such as "table IPList (/x/IPList.db)".
    // A statement that finds the file locked by another program's write
    // waits for it up to the wait given, then fails with TableError(Busy).
    SqliteConnection(const std::string& path, Mode mode, std::string context, std::chrono::milliseconds wait);
    ~SqliteConnection();
    SqliteConnection(SqliteConnection&& other) noexcept;
    SqliteConnection& operator=(SqliteConnection&& other) noexcept;
    SqliteConnection(const SqliteConnection&) = delete;
    SqliteConnection& operator=(const SqliteConnection&) = delete;

    [[nodiscard]] const std::string& Context() const { return context_->name; }

    void Execute(std::string_view sql);
    [[nodiscard]] SqliteStatement Prepare(std::string_view sql);
    // The first column of the first row as an integer (0 when there is none).
    [[nodiscard]] std::int64_t QueryInteger(std::string_view sql);

    [[nodiscard]] std::int64_t LastInsertRowid() const;
    [[nodiscard]] int Changes() const;

    // Closes the connection; failures of the closing checkpoint are ignored
    // because committed data is safe in the log either way.
    void Close();

private:
    [[noreturn]] void Fail(int result) const;

    sqlite3* database_ = nullptr;
    std::shared_ptr<const SqliteContext> context_ = std::make_shared<const SqliteContext>();
};

// "name" quoted as an SQL identifier.
[[nodiscard]] std::string QuoteIdentifier(std::string_view name);

} // namespace morvanta
