#include "tables/TableFile.h"

#include "base/Files.h"
#include "base/Text.h"
#include "tables/TableError.h"
#include "tables/TableSalvage.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <unordered_map>

namespace morvanta {

namespace {

constexpr const char* kFormatTable = "morvanta_format";
constexpr const char* kUpgradeTable = "morvanta_upgrade";
constexpr std::string_view kFormatMagic = "Morvanta table";
constexpr int kPageSize = 4096;
constexpr std::int64_t kSecondsPerDay = 86400;

std::string Context(const TableDef& definition, const std::string& path)
{
    return "table " + definition.name + " (" + path + ")";
}

std::optional<std::uint64_t> FileSize(const std::string& path)
{
    struct stat info { };
    if (::stat(path.c_str(), &info) != 0)
        return std::nullopt;
    return static_cast<std::uint64_t>(info.st_size);
}

std::string ReadTableBytes(const std::string& path, const std::string& context)
{
    try {
        return ReadWholeFile(path).value_or(std::string());
    } catch (const FileError& error) {
        throw TableError(TableErrorCode::ReadFailed, context, error.what());
    }
}

// Format 1 keeps a date as its day number and a date-time as seconds from
// 1970-01-01 00:00 wall-clock time; a number outside the years 1 to 9999 is
// no date.
std::optional<TableDate> DateOfDayNumber(std::int64_t number)
{
    if (number < kFirstDayNumber || number > kLastDayNumber)
        return std::nullopt;
    return TableDate { static_cast<int>(number) };
}

std::optional<TableDateTime> DateTimeOfSeconds(std::int64_t seconds)
{
    std::int64_t day = seconds / kSecondsPerDay;
    std::int64_t second = seconds % kSecondsPerDay;
    if (second < 0) {
        --day;
        second += kSecondsPerDay;
    }
    auto date = DateOfDayNumber(day);
    if (!date)
        return std::nullopt;
    return TableDateTime { date->dayNumber, static_cast<int>(second) };
}

const char* DeclaredType(FieldType type, int format)
{
    switch (type) {
    case FieldType::Text: return "TEXT";
    case FieldType::Integer: return "INTEGER";
    case FieldType::Date: return format == 1 ? "DATE" : "DATE_TEXT";
    case FieldType::DateTime: return format == 1 ? "DATETIME" : "DATETIME_TEXT";
    }
    return "";
}

std::string IndexName(const TableDef& definition)
{
    return definition.name + "_primary";
}

std::string CreateTableSql(const TableDef& definition, const std::string& tableName, int format)
{
    std::string sql = "CREATE TABLE " + QuoteIdentifier(tableName) + "(";
    for (size_t i = 0; i < definition.fields.size(); ++i) {
        if (i)
            sql += ", ";
        sql += QuoteIdentifier(definition.fields[i].name) + " " + DeclaredType(definition.fields[i].type, format);
    }
    return sql + ")";
}

std::string CreateIndexSql(const TableDef& definition)
{
    return "CREATE UNIQUE INDEX " + QuoteIdentifier(IndexName(definition)) + " ON " + QuoteIdentifier(definition.name)
           + "(" + QuoteIdentifier(definition.fields[*definition.PrimaryKeyIndex()].name) + ")";
}

void Rollback(SqliteConnection& connection)
{
    try {
        connection.Execute("ROLLBACK");
    } catch (const TableError&) {
        // Nothing was begun, or SQLite rolled back by itself.
    }
}

void InsertRows(SqliteConnection& connection, const TableDef& definition, const std::string& tableName,
                const std::vector<TableRow>& rows, int format)
{
    std::string sql
        = "INSERT INTO " + QuoteIdentifier(tableName) + "(rowid, " + ColumnListSql(definition) + ") VALUES(?1";
    for (size_t i = 0; i < definition.fields.size(); ++i)
        sql += ", ?" + std::to_string(i + 2);
    sql += ")";
    SqliteStatement insert = connection.Prepare(sql);
    for (const TableRow& row : rows) {
        if (row.values.size() != definition.fields.size())
            throw TableError(TableErrorCode::BadValue, connection.Context(),
                             "a row of " + std::to_string(row.values.size()) + " values for "
                                 + std::to_string(definition.fields.size()) + " fields");
        StatementScope scope(insert);
        if (row.rowid != 0)
            insert.BindInteger(1, row.rowid);
        for (size_t i = 0; i < row.values.size(); ++i)
            BindFieldValue(insert, static_cast<int>(i + 2), row.values[i], definition.fields[i].type, format,
                           connection.Context());
        (void)insert.Step();
    }
}

// Lays out a new table file in an empty database: the table with the rows,
// then its index, the format record and the header fields, in one transaction.
void CreateSchema(SqliteConnection& connection, const TableDef& definition, int format,
                  const std::vector<TableRow>& rows)
{
    connection.Execute("PRAGMA page_size=" + std::to_string(kPageSize));
    connection.Execute("BEGIN IMMEDIATE");
    try {
        if (connection.QueryInteger("SELECT count(*) FROM sqlite_schema") != 0) {
            // Another process has just created it.
            Rollback(connection);
            return;
        }
        connection.Execute(CreateTableSql(definition, definition.name, format));
        InsertRows(connection, definition, definition.name, rows, format);
        if (definition.PrimaryKeyIndex())
            connection.Execute(CreateIndexSql(definition));
        connection.Execute(std::string("CREATE TABLE ") + kFormatTable
                           + "(magic BLOB, format INTEGER, table_name TEXT)");
        SqliteStatement record = connection.Prepare(std::string("INSERT INTO ") + kFormatTable + " VALUES(?1, ?2, ?3)");
        record.BindBlob(1, kFormatMagic);
        record.BindInteger(2, format);
        record.BindText(3, definition.name);
        (void)record.Step();
        connection.Execute("PRAGMA application_id=" + std::to_string(static_cast<std::int32_t>(kTableApplicationId)));
        connection.Execute("PRAGMA user_version=" + std::to_string(format));
        connection.Execute("COMMIT");
    } catch (...) {
        Rollback(connection);
        throw;
    }
}

// The file could not even yield its schema. A header that still reads well
// but promises more pages than the file has means the file was cut short.
int ClassifyUnreadableFile(const std::string& path)
{
    std::string start;
    {
        std::ifstream stream(path, std::ios::binary);
        start.resize(100);
        stream.read(start.data(), 100);
        start.resize(static_cast<size_t>(std::max<std::streamsize>(stream.gcount(), 0)));
    }
    auto header = salvage::ReadDatabaseHeader(start);
    auto size = FileSize(path).value_or(0);
    bool walInUse = FileSize(path + "-wal").value_or(0) > 0;
    if (header.valid && header.pageCountValid && !walInUse
        && size < static_cast<std::uint64_t>(header.pageCount) * header.pageSize)
        return TableErrorCode::DataRecordCorrupt;
    return TableErrorCode::HeaderCorrupt;
}

struct Diagnosis {
    bool header = false;
    bool table = false;
    bool index = false;
    bool other = false;
    std::vector<std::string> findings;

    [[nodiscard]] bool Damaged() const { return header || table || index || other; }
    [[nodiscard]] int Code() const
    {
        if (header)
            return TableErrorCode::HeaderCorrupt;
        if (table)
            return TableErrorCode::DataRecordCorrupt;
        if (index)
            return TableErrorCode::IndexPageCorrupt;
        return other ? TableErrorCode::DataRecordCorrupt : 0;
    }
};

// The page a message of the integrity check is about: the number after the
// first "Page "/"page ".
std::optional<std::uint32_t> PageOfFinding(std::string_view finding)
{
    for (size_t at = finding.find("age "); at != std::string_view::npos; at = finding.find("age ", at + 1)) {
        if (at == 0 || (finding[at - 1] != 'P' && finding[at - 1] != 'p'))
            continue;
        size_t digits = at + 4;
        std::uint32_t number = 0;
        size_t end = digits;
        while (end < finding.size() && finding[end] >= '0' && finding[end] <= '9')
            number = number * 10 + static_cast<std::uint32_t>(finding[end++] - '0');
        if (end > digits)
            return number;
    }
    return std::nullopt;
}

struct SchemaObject {
    std::string type;
    std::string name;
};

// Runs SQLite's integrity check and sorts what it finds by the structure it
// hurts: the schema (page 1), the table's b-tree, an index, or only free space.
Diagnosis Diagnose(SqliteConnection& connection, const std::string& path)
{
    Diagnosis diagnosis;
    std::vector<std::string> messages;
    try {
        SqliteStatement check = connection.Prepare("PRAGMA integrity_check(100)");
        StatementScope scope(check);
        while (check.Step()) {
            for (auto& line : SplitLines(check.ColumnText(0))) {
                if (!line.empty() && !line.starts_with("*** in database"))
                    messages.push_back(line);
            }
        }
    } catch (const TableError& error) {
        // The check itself stumbled over a page it could not read.
        diagnosis.findings.push_back(error.detail());
        diagnosis.other = true;
    }
    if (messages.size() == 1 && messages[0] == "ok")
        messages.clear();

    std::map<std::uint32_t, SchemaObject> roots { { 1, { "table", "sqlite_schema" } } };
    try {
        SqliteStatement schema = connection.Prepare("SELECT type, name, rootpage FROM sqlite_schema");
        StatementScope scope(schema);
        while (schema.Step()) {
            if (schema.ColumnInteger(2) > 0)
                roots[static_cast<std::uint32_t>(schema.ColumnInteger(2))]
                    = { schema.ColumnText(0), schema.ColumnText(1) };
        }
    } catch (const TableError& error) {
        diagnosis.findings.push_back(error.detail());
        diagnosis.header = true;
    }

    std::vector<std::uint32_t> pages;
    for (const std::string& message : messages) {
        diagnosis.findings.push_back(message);
        if (Contains(message, " missing from index ") || Contains(message, "non-unique entry in index ")
            || Contains(message, "wrong # of entries in index "))
            diagnosis.index = true;
        else if (message.starts_with("NULL value in "))
            diagnosis.table = true;
        else if (Contains(message, "is never used") || Contains(message, "freelist"))
            diagnosis.other = true;
        else if (auto page = PageOfFinding(message))
            pages.push_back(*page);
        else
            diagnosis.other = true;
    }
    if (pages.empty())
        return diagnosis;

    // Which tree each page belongs to, from the pages as the file holds them.
    std::string file = ReadTableBytes(path, connection.Context());
    salvage::WalPages wal = salvage::ReadCommittedWalPages(ReadTableBytes(path + "-wal", connection.Context()));
    std::string_view headerPage = wal.pages.count(1) ? std::string_view(wal.pages.at(1)) : std::string_view(file);
    auto header = salvage::ReadDatabaseHeader(headerPage);
    if (!header.valid) {
        diagnosis.header = true;
        return diagnosis;
    }
    salvage::PageImage image(file, wal, header.pageSize, header.pageSize - header.reservedBytes);
    std::vector<std::uint32_t> rootList;
    for (const auto& entry : roots)
        rootList.push_back(entry.first);
    auto owners = salvage::MapPagesToTrees(image, rootList);
    for (std::uint32_t page : pages) {
        auto owner = owners.find(page);
        if (owner == owners.end()) {
            diagnosis.table = true; // unknown: assume the worst
            continue;
        }
        const SchemaObject& object = roots[owner->second];
        if (owner->second == 1)
            diagnosis.header = true;
        else if (object.type == "index")
            diagnosis.index = true;
        else
            diagnosis.table = true;
    }
    return diagnosis;
}

// What the header and the format record say; throws for files that are not
// ours or are newer, and for a header that disagrees with the record.
// Returns 0 for an empty database.
int ReadFormat(SqliteConnection& connection, const TableDef& definition, const std::string& path)
{
    const std::string& context = connection.Context();
    std::int64_t objects = 0;
    try {
        objects = connection.QueryInteger("SELECT count(*) FROM sqlite_schema");
    } catch (const TableError& error) {
        if (!IsTableDamageCode(error.code()))
            throw;
        throw TableError(ClassifyUnreadableFile(path), context, error.detail());
    }
    auto applicationId = static_cast<std::uint32_t>(connection.QueryInteger("PRAGMA application_id"));
    std::int64_t userVersion = connection.QueryInteger("PRAGMA user_version");
    if (objects == 0) {
        if (applicationId == 0 && userVersion == 0)
            return 0;
        if (applicationId == kTableApplicationId)
            throw TableError(TableErrorCode::HeaderCorrupt, context, "the file has lost its schema");
        throw TableError(TableErrorCode::NotATableFile, context, "an empty database of another program");
    }
    bool hasRecord
        = connection.QueryInteger(std::string("SELECT count(*) FROM sqlite_schema WHERE type='table' AND name='")
                                  + kFormatTable + "'")
          != 0;
    if (!hasRecord) {
        if (applicationId == kTableApplicationId)
            throw TableError(TableErrorCode::HeaderCorrupt, context, "the format record is missing");
        throw TableError(TableErrorCode::NotATableFile, context, "a database of another program");
    }
    SqliteStatement record = connection.Prepare(std::string("SELECT magic, format, table_name FROM ") + kFormatTable);
    StatementScope scope(record);
    if (!record.Step())
        throw TableError(TableErrorCode::HeaderCorrupt, context, "the format record is empty");
    std::string magic = record.ColumnText(0);
    std::int64_t format = record.ColumnInteger(1);
    std::string tableName = record.ColumnText(2);
    if (magic != kFormatMagic)
        throw TableError(TableErrorCode::HeaderCorrupt, context, "the format record is damaged");
    if (!SameText(tableName, definition.name))
        throw TableError(TableErrorCode::NotATableFile, context,
                         "the file holds table " + tableName + ", not " + definition.name);
    if (applicationId != kTableApplicationId || userVersion != format)
        throw TableError(TableErrorCode::HeaderCorrupt, context, "the file header disagrees with the format record");
    if (format > kCurrentTableFormat)
        throw TableError(TableErrorCode::NewerVersion, context,
                         "table format " + std::to_string(format) + "; this program knows formats up to "
                             + std::to_string(kCurrentTableFormat) + " and leaves the file as it is");
    if (format < kOldestTableFormat)
        throw TableError(TableErrorCode::NotATableFile, context, "unknown table format " + std::to_string(format));
    return static_cast<int>(format);
}

void CheckStructure(SqliteConnection& connection, const TableDef& definition, int format)
{
    const std::string& context = connection.Context();
    SqliteStatement columns = connection.Prepare("PRAGMA table_info(" + QuoteIdentifier(definition.name) + ")");
    StatementScope scope(columns);
    std::vector<std::pair<std::string, std::string>> found;
    while (columns.Step())
        found.emplace_back(columns.ColumnText(1), columns.ColumnText(2));
    if (found.empty())
        throw TableError(TableErrorCode::HeaderCorrupt, context, "the file has lost table " + definition.name);
    bool same = found.size() == definition.fields.size();
    for (size_t i = 0; same && i < found.size(); ++i) {
        same = SameText(found[i].first, definition.fields[i].name)
               && SameText(found[i].second, DeclaredType(definition.fields[i].type, format));
    }
    if (!same) {
        std::string have, want;
        for (auto& [name, type] : found)
            have += (have.empty() ? "" : ", ") + name + " " + type;
        for (auto& field : definition.fields)
            want += (want.empty() ? "" : ", ") + field.name + " " + DeclaredType(field.type, format);
        throw TableError(TableErrorCode::StructureMismatch, context, "fields (" + have + "), expected (" + want + ")");
    }
}

void CheckIndex(SqliteConnection& connection, const TableDef& definition)
{
    auto key = definition.PrimaryKeyIndex();
    if (!key)
        return;
    const std::string& context = connection.Context();
    SqliteStatement list = connection.Prepare("PRAGMA index_list(" + QuoteIdentifier(definition.name) + ")");
    bool unique = false, found = false;
    {
        StatementScope scope(list);
        while (list.Step()) {
            if (list.ColumnText(1) == IndexName(definition)) {
                found = true;
                unique = list.ColumnInteger(2) != 0;
            }
        }
    }
    if (!found)
        throw TableError(TableErrorCode::InvalidIndexField, context,
                         "the primary index " + IndexName(definition) + " is missing");
    SqliteStatement info = connection.Prepare("PRAGMA index_info(" + QuoteIdentifier(IndexName(definition)) + ")");
    StatementScope scope(info);
    std::vector<std::string> columns;
    while (info.Step())
        columns.push_back(info.ColumnText(2));
    if (!unique || columns.size() != 1 || !SameText(columns[0], definition.fields[*key].name))
        throw TableError(TableErrorCode::InvalidIndexField, context,
                         "the primary index " + IndexName(definition) + " is not a unique index on "
                             + definition.fields[*key].name);
}

void Configure(SqliteConnection& connection)
{
    try {
        connection.Execute("PRAGMA journal_mode=WAL");
    } catch (const TableError& error) {
        // A write-protected file still reads; its writes fail as they come.
        if (error.code() != TableErrorCode::ReadOnly)
            throw;
    }
    connection.Execute("PRAGMA synchronous=NORMAL");
    connection.Execute("PRAGMA secure_delete=ON");
}

// A row as found on a page, if its values fit the fields.
std::optional<TableRow> RowFromRecord(const salvage::LeafRecord& record, const TableDef& definition)
{
    using Kind = salvage::RecordValue::Kind;
    if (record.values.size() != definition.fields.size())
        return std::nullopt;
    TableRow row;
    row.rowid = record.rowid;
    for (size_t i = 0; i < record.values.size(); ++i) {
        const auto& stored = record.values[i];
        if (stored.kind == Kind::Null) {
            row.values.emplace_back();
            continue;
        }
        switch (definition.fields[i].type) {
        case FieldType::Text:
            if (stored.kind != Kind::Text)
                return std::nullopt;
            row.values.emplace_back(stored.bytes);
            break;
        case FieldType::Integer:
            if (stored.kind != Kind::Integer)
                return std::nullopt;
            row.values.emplace_back(stored.integer);
            break;
        case FieldType::Date: {
            auto date = stored.kind == Kind::Integer ? DateOfDayNumber(stored.integer)
                        : stored.kind == Kind::Text  ? ParseDate(stored.bytes)
                                                     : std::nullopt;
            if (!date)
                return std::nullopt;
            row.values.emplace_back(*date);
            break;
        }
        case FieldType::DateTime: {
            auto moment = stored.kind == Kind::Integer ? DateTimeOfSeconds(stored.integer)
                          : stored.kind == Kind::Text  ? ParseDateTime(stored.bytes)
                                                       : std::nullopt;
            if (!moment)
                return std::nullopt;
            row.values.emplace_back(*moment);
            break;
        }
        }
    }
    return row;
}

// Every row that the pages of a damaged file still hold, in rowid order.
std::vector<TableRow> SalvageRows(const std::string& path, const TableDef& definition, const std::string& context)
{
    std::string file = ReadTableBytes(path, context);
    salvage::WalPages wal = salvage::ReadCommittedWalPages(ReadTableBytes(path + "-wal", context));
    std::string_view headerPage = wal.pages.count(1) ? std::string_view(wal.pages.at(1)) : std::string_view(file);
    auto header = salvage::ReadDatabaseHeader(headerPage);

    std::vector<std::uint32_t> pageSizes;
    if (header.valid)
        pageSizes.push_back(header.pageSize);
    if (wal.pageSize)
        pageSizes.push_back(wal.pageSize);
    for (std::uint32_t size : { 4096u, 1024u, 2048u, 8192u, 16384u, 32768u, 65536u, 512u }) {
        if (std::find(pageSizes.begin(), pageSizes.end(), size) == pageSizes.end())
            pageSizes.push_back(size);
    }

    std::vector<TableRow> best;
    for (std::uint32_t pageSize : pageSizes) {
        bool trusted = header.valid && pageSize == header.pageSize;
        salvage::PageImage image(file, wal, pageSize, trusted ? pageSize - header.reservedBytes : pageSize);
        std::set<std::uint32_t> skip;
        if (trusted)
            skip = salvage::FreelistPages(image, header.freelistTrunk);
        std::vector<TableRow> rows;
        std::set<std::int64_t> seen;
        for (const auto& record : salvage::ScanTableLeafPages(image, skip)) {
            auto row = RowFromRecord(record, definition);
            if (row && seen.insert(row->rowid).second)
                rows.push_back(std::move(*row));
        }
        if (rows.size() > best.size()) {
            best = std::move(rows);
        }
        if (trusted && !best.empty())
            break;
    }
    std::sort(best.begin(), best.end(), [](const TableRow& a, const TableRow& b) { return a.rowid < b.rowid; });
    return best;
}

// Keeps, of the rows sharing a primary key, the one added last; returns how
// many were left out.
size_t DropDuplicateKeys(std::vector<TableRow>& rows, const TableDef& definition)
{
    auto key = definition.PrimaryKeyIndex();
    if (!key)
        return 0;
    std::unordered_map<std::string, size_t> last;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].values[*key].IsText())
            last[rows[i].values[*key].Text()] = i;
    }
    std::vector<TableRow> kept;
    kept.reserve(rows.size());
    for (size_t i = 0; i < rows.size(); ++i) {
        const TableValue& value = rows[i].values[*key];
        if (!value.IsText() || last[value.Text()] == i)
            kept.push_back(std::move(rows[i]));
    }
    size_t dropped = rows.size() - kept.size();
    rows = std::move(kept);
    return dropped;
}

std::string BackupName(const std::string& path)
{
    std::time_t now = std::time(nullptr);
    std::tm local {};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
    std::string base = path + ".bak-" + stamp;
    std::string name = base;
    for (int n = 2; PathExists(name); ++n)
        name = base + "-" + std::to_string(n);
    return name;
}

void RemoveFile(const std::string& path)
{
    if (::unlink(path.c_str()) != 0 && errno != ENOENT)
        throw TableError(TableErrorCode::WriteFailed, "Cannot remove " + path + ": " + std::strerror(errno));
}

void RenameFile(const std::string& from, const std::string& to)
{
    if (::rename(from.c_str(), to.c_str()) != 0)
        throw TableError(TableErrorCode::WriteFailed,
                         "Cannot rename " + from + " to " + to + ": " + std::strerror(errno));
}

// Puts the fresh file in the damaged one's place. The damaged file gets a
// second name first, so that at every moment one of the two is in place;
// its WAL must go before the fresh file arrives, or SQLite would lay the old
// log over the new file.
std::string ReplaceFile(const std::string& path, const std::string& fresh, bool keepBackup)
{
    std::string backup;
    if (keepBackup) {
        backup = BackupName(path);
        if (::link(path.c_str(), backup.c_str()) != 0)
            throw TableError(TableErrorCode::WriteFailed,
                             "Cannot keep " + path + " as " + backup + ": " + std::strerror(errno));
        for (const char* suffix : { "-wal", "-journal" }) {
            if (PathExists(path + suffix))
                RenameFile(path + suffix, backup + suffix);
        }
    } else {
        RemoveFile(path + "-wal");
        RemoveFile(path + "-journal");
    }
    RemoveFile(path + "-shm");
    RenameFile(fresh, path);
    SyncFolderOf(path);
    return backup;
}

// Where a backup name stands among the backups of a file: by the time it
// was made, then by the number that follows when several were made within
// the same second. Nothing for a name of another kind.
std::optional<std::pair<std::string, int>> BackupOrder(std::string_view suffix)
{
    auto digits = [](std::string_view text) {
        return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
    };
    if (suffix.size() < 15 || !digits(suffix.substr(0, 8)) || suffix[8] != '-' || !digits(suffix.substr(9, 6)))
        return std::nullopt;
    std::string stamp(suffix.substr(0, 15));
    std::string_view rest = suffix.substr(15);
    if (rest.empty())
        return std::pair { stamp, 1 };
    if (rest[0] != '-' || !digits(rest.substr(1)) || rest.size() > 10)
        return std::nullopt;
    return std::pair { stamp, std::stoi(std::string(rest.substr(1))) };
}

// Removes all but the newest kKeptBackups backups of the table file, each
// with its logs. A backup that cannot be removed stays: the repair that
// made the newest one has succeeded all the same.
void PruneBackups(const std::string& path)
{
    std::filesystem::path file(path);
    const std::string prefix = file.filename().string() + ".bak-";
    std::map<std::pair<std::string, int>, std::vector<std::filesystem::path>, std::greater<>> backups;
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(file.parent_path(), error)) {
        std::string name = entry.path().filename().string();
        if (!name.starts_with(prefix))
            continue;
        std::string_view suffix = std::string_view(name).substr(prefix.size());
        for (std::string_view log : { "-wal", "-journal", "-shm" }) {
            if (suffix.ends_with(log) && BackupOrder(suffix.substr(0, suffix.size() - log.size()))) {
                suffix.remove_suffix(log.size());
                break;
            }
        }
        if (auto order = BackupOrder(suffix))
            backups[*order].push_back(entry.path());
    }
    size_t kept = 0;
    for (const auto& [order, files] : backups) {
        if (++kept <= kKeptBackups)
            continue;
        for (const auto& backup : files)
            std::filesystem::remove(backup, error);
    }
}

// Writes a new table file without taking its lock: a fresh file of a repair,
// or one whose lock the caller holds.
void WriteFreshFile(const std::string& path, const TableDef& definition, const std::vector<TableRow>& rows, int format,
                    std::chrono::milliseconds wait)
{
    std::string context = Context(definition, path);
    if (format < kOldestTableFormat || format > kCurrentTableFormat)
        throw TableError(TableErrorCode::General, context, "cannot write table format " + std::to_string(format));
    if (PathExists(path))
        throw TableError(TableErrorCode::CannotOpen, context, "the file exists already");
    SqliteConnection connection(path, SqliteConnection::Mode::ReadWriteCreate, context, wait);
    connection.Execute("PRAGMA synchronous=FULL");
    try {
        CreateSchema(connection, definition, format, rows);
    } catch (...) {
        connection.Close();
        ::unlink(path.c_str());
        ::unlink((path + "-journal").c_str());
        throw;
    }
    connection.Close();
}

// Opens and checks a table file under its lock, held by the caller (or
// under none where the folder allows no lock file). Damage found marks the
// file suspect.
OpenedTableFile OpenLockedFile(const std::string& path, const TableDef& definition, VersionCheck check,
                               std::chrono::milliseconds wait, TableFileLock& lock)
{
    std::string context = Context(definition, path);
    OpenedTableFile opened;
    opened.checked = !lock.Held() || lock.Suspect() || (lock.Exclusive() && !lock.FileLeftClean());
    try {
        opened.connection = SqliteConnection(path, SqliteConnection::Mode::ReadWriteCreate, context, wait);
        SqliteConnection& connection = opened.connection;
        opened.format = ReadFormat(connection, definition, path);
        if (opened.format == 0) {
            CreateSchema(connection, definition, kCurrentTableFormat, {});
            opened.format = ReadFormat(connection, definition, path);
        }
        CheckStructure(connection, definition, opened.format);
        CheckIndex(connection, definition);
        if (opened.checked) {
            Diagnosis diagnosis = Diagnose(connection, path);
            if (diagnosis.Damaged()) {
                constexpr size_t kShown = 3;
                std::string detail;
                for (size_t i = 0; i < diagnosis.findings.size() && i < kShown; ++i)
                    detail += (i ? "; " : "") + diagnosis.findings[i];
                if (diagnosis.findings.size() > kShown)
                    detail += "; and " + std::to_string(diagnosis.findings.size() - kShown) + " more findings";
                throw TableError(diagnosis.Code(), context, detail);
            }
        }
        if (opened.format < kCurrentTableFormat && check == VersionCheck::RequireCurrent)
            throw TableError(TableErrorCode::OldVersion, context,
                             "table format " + std::to_string(opened.format) + ", current "
                                 + std::to_string(kCurrentTableFormat));
        Configure(connection);
    } catch (const TableError& error) {
        if (IsTableDamageCode(error.code()))
            lock.MarkSuspect();
        throw;
    }
    return opened;
}

void UpgradeOpenFile(SqliteConnection& connection, const TableDef& definition)
{
    connection.Execute("BEGIN IMMEDIATE");
    try {
        std::vector<TableRow> rows = ReadTableRows(connection, definition);
        connection.Execute(CreateTableSql(definition, kUpgradeTable, kCurrentTableFormat));
        InsertRows(connection, definition, kUpgradeTable, rows, kCurrentTableFormat);
        connection.Execute("DROP TABLE " + QuoteIdentifier(definition.name));
        connection.Execute(std::string("ALTER TABLE ") + kUpgradeTable + " RENAME TO "
                           + QuoteIdentifier(definition.name));
        if (definition.PrimaryKeyIndex())
            connection.Execute(CreateIndexSql(definition));
        connection.Execute(std::string("UPDATE ") + kFormatTable
                           + " SET format=" + std::to_string(kCurrentTableFormat));
        connection.Execute("PRAGMA user_version=" + std::to_string(kCurrentTableFormat));
        connection.Execute("COMMIT");
    } catch (...) {
        Rollback(connection);
        throw;
    }
}

} // namespace

std::string ColumnListSql(const TableDef& definition)
{
    std::string list;
    for (size_t i = 0; i < definition.fields.size(); ++i) {
        if (i)
            list += ", ";
        list += QuoteIdentifier(definition.fields[i].name);
    }
    return list;
}

void BindFieldValue(SqliteStatement& statement, int index, const TableValue& value, FieldType type, int format,
                    const std::string& context)
{
    if (!value.FitsField(type))
        throw TableError(TableErrorCode::BadValue, context,
                         "the value " + value.Describe() + " does not fit a " + FieldTypeName(type) + " field");
    if (value.IsNull()) {
        statement.BindNull(index);
    } else if (value.IsText()) {
        statement.BindText(index, value.Text());
    } else if (value.IsInteger()) {
        statement.BindInteger(index, value.Integer());
    } else if (value.IsDate()) {
        if (format == 1) {
            statement.BindInteger(index, value.Date().dayNumber);
        } else if (auto text = FormatDate(value.Date())) {
            statement.BindText(index, *text);
        } else {
            throw TableError(TableErrorCode::BadValue, context,
                             "the date " + value.Describe() + " is outside the years 1 to 9999");
        }
    } else {
        TableDateTime moment = value.DateTime();
        if (format == 1) {
            statement.BindInteger(index, moment.dayNumber * kSecondsPerDay + moment.secondOfDay);
        } else if (auto text = FormatDateTime(moment)) {
            statement.BindText(index, *text);
        } else {
            throw TableError(TableErrorCode::BadValue, context,
                             "the date-time " + value.Describe() + " is not a valid one");
        }
    }
}

TableValue ReadFieldValue(const SqliteStatement& statement, int column, FieldType type)
{
    switch (statement.ColumnType(column)) {
    case SQLITE_NULL: return {};
    case SQLITE_INTEGER: {
        std::int64_t number = statement.ColumnInteger(column);
        if (type == FieldType::Date) {
            if (auto date = DateOfDayNumber(number))
                return *date;
        } else if (type == FieldType::DateTime) {
            if (auto moment = DateTimeOfSeconds(number))
                return *moment;
        } else if (type == FieldType::Text) {
            return std::to_string(number);
        }
        return number;
    }
    default: {
        std::string text = statement.ColumnText(column);
        if (type == FieldType::Date) {
            if (auto date = ParseDate(text))
                return *date;
        } else if (type == FieldType::DateTime) {
            if (auto moment = ParseDateTime(text))
                return *moment;
        }
        return text;
    }
    }
}

OpenedTableFile OpenTableFile(const std::string& path, const TableDef& definition, VersionCheck check,
                              std::chrono::milliseconds wait)
{
    ValidateTableDef(definition);
    std::string context = Context(definition, path);
    TableFileLock lock = TableFileLock::ForUse(path, context, wait);
    OpenedTableFile opened = OpenLockedFile(path, definition, check, wait, lock);
    // A suspicion the check has just disproved, or a record of another state
    // of the file, would only cost the next opener another check.
    if (opened.checked)
        lock.ClearRecord();
    lock.Share();
    opened.lock = std::move(lock);
    return opened;
}

void WriteTableFile(const std::string& path, const TableDef& definition, const std::vector<TableRow>& rows, int format,
                    std::chrono::milliseconds wait)
{
    TableMaintenance(path, definition, wait).Write(rows, format);
}

std::vector<TableRow> ReadTableRows(SqliteConnection& connection, const TableDef& definition)
{
    SqliteStatement select = connection.Prepare("SELECT rowid, " + ColumnListSql(definition) + " FROM "
                                                + QuoteIdentifier(definition.name) + " ORDER BY rowid");
    StatementScope scope(select);
    std::vector<TableRow> rows;
    while (select.Step()) {
        TableRow row;
        row.rowid = select.ColumnInteger(0);
        for (size_t i = 0; i < definition.fields.size(); ++i)
            row.values.push_back(ReadFieldValue(select, static_cast<int>(i + 1), definition.fields[i].type));
        rows.push_back(std::move(row));
    }
    return rows;
}

void UpgradeTableFile(const std::string& path, const TableDef& definition, std::chrono::milliseconds wait)
{
    TableMaintenance(path, definition, wait).Upgrade();
}

RepairReport RepairTableFile(const std::string& path, const TableDef& definition, std::chrono::milliseconds wait)
{
    return TableMaintenance(path, definition, wait).Repair();
}

TableMaintenance::TableMaintenance(std::string path, TableDef definition, std::chrono::milliseconds wait)
    : path_(std::move(path))
    , definition_(std::move(definition))
    , context_(Context(definition_, path_))
    , wait_(wait)
{
    ValidateTableDef(definition_);
    lock_ = TableFileLock::ForMaintenance(path_, context_, wait_);
}

void TableMaintenance::Write(const std::vector<TableRow>& rows, int format)
{
    WriteFreshFile(path_, definition_, rows, format, wait_);
    lock_.MarkClean();
}

void TableMaintenance::Upgrade()
{
    {
        OpenedTableFile opened = OpenLockedFile(path_, definition_, VersionCheck::AllowOlder, wait_, lock_);
        if (opened.format != kCurrentTableFormat)
            UpgradeOpenFile(opened.connection, definition_);
    }
    lock_.MarkClean();
}

RepairReport TableMaintenance::Repair()
{
    RepairReport report;
    if (!PathExists(path_))
        return report;

    std::optional<std::vector<TableRow>> rows;
    try {
        SqliteConnection connection(path_, SqliteConnection::Mode::ReadWrite, context_, wait_);
        int format = ReadFormat(connection, definition_, path_);
        if (format == 0)
            throw TableError(TableErrorCode::HeaderCorrupt, context_, "the file holds no table");
        CheckStructure(connection, definition_, format);
        Diagnosis diagnosis = Diagnose(connection, path_);
        if (!diagnosis.header && !diagnosis.table)
            rows = ReadTableRows(connection, definition_);
    } catch (const TableError& error) {
        if (!IsTableDamageCode(error.code()))
            throw;
    }

    bool lossless = rows.has_value();
    if (!lossless)
        rows = SalvageRows(path_, definition_, context_);
    report.rowsDropped = DropDuplicateKeys(*rows, definition_);
    report.rowsKept = rows->size();
    report.action = lossless ? RepairReport::Action::Rebuilt : RepairReport::Action::Salvaged;

    std::string fresh = path_ + ".rebuild";
    for (const char* suffix : { "", "-journal", "-wal", "-shm" })
        RemoveFile(fresh + suffix);
    WriteFreshFile(fresh, definition_, *rows, kCurrentTableFormat, wait_);
    report.backupPath = ReplaceFile(path_, fresh, !lossless || report.rowsDropped > 0);
    lock_.MarkClean();
    if (!report.backupPath.empty())
        PruneBackups(path_);
    return report;
}

int DiagnoseTableDamage(SqliteConnection& connection, const std::string& path)
{
    try {
        (void)connection.QueryInteger("SELECT count(*) FROM sqlite_schema");
    } catch (const TableError& error) {
        if (IsTableDamageCode(error.code()))
            return ClassifyUnreadableFile(path);
        throw;
    }
    return Diagnose(connection, path).Code();
}

} // namespace morvanta
