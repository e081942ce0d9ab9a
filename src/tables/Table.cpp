#include "tables/Table.h"

#include "base/Text.h"
#include "tables/Database.h"
#include "tables/TableError.h"

#include <charconv>
#include <climits>

namespace morvanta {

namespace {

std::optional<std::int64_t> ParseInteger(std::string_view text)
{
    std::int64_t number = 0;
    const char* begin = text.data();
    const char* end = text.data() + text.size();
    if (!text.empty() && text[0] == '+')
        ++begin;
    auto [stop, error] = std::from_chars(begin, end, number);
    if (text.empty() || error != std::errc() || stop != end)
        return std::nullopt;
    return number;
}

bool IsCorruptionCode(int code)
{
    return code == TableErrorCode::HeaderCorrupt || code == TableErrorCode::DataRecordCorrupt
           || code == TableErrorCode::IndexPageCorrupt;
}

} // namespace

// --- Field ---------------------------------------------------------------

const std::string& Field::FieldName() const
{
    return table_->definition_.fields[index_].name;
}

FieldType Field::DataType() const
{
    return table_->definition_.fields[index_].type;
}

void Field::Refuse(const std::string& what) const
{
    throw TableError(TableErrorCode::BadValue,
                     "Field " + FieldName() + " of table " + table_->TableName() + ": " + what);
}

TableValue Field::Value() const
{
    table_->CheckActive();
    if (!table_->current_)
        return {};
    return table_->current_->values[index_];
}

bool Field::IsNull() const
{
    return Value().IsNull();
}

std::string Field::AsString() const
{
    TableValue value = Value();
    if (value.IsNull())
        return {};
    if (value.IsText())
        return value.Text();
    return value.Describe();
}

std::int64_t Field::AsInteger() const
{
    TableValue value = Value();
    if (value.IsNull())
        return 0;
    if (value.IsInteger())
        return value.Integer();
    if (value.IsText()) {
        if (auto number = ParseInteger(value.Text()))
            return *number;
    }
    Refuse(value.Describe() + " is not an integer");
}

TableDate Field::AsDate() const
{
    TableValue value = Value();
    if (value.IsNull())
        return {};
    if (value.IsDate())
        return value.Date();
    if (value.IsDateTime())
        return value.DateTime().Date();
    if (value.IsText()) {
        if (auto date = ParseDate(value.Text()))
            return *date;
        if (auto moment = ParseDateTime(value.Text()))
            return moment->Date();
    }
    Refuse(value.Describe() + " is not a date");
}

TableDateTime Field::AsDateTime() const
{
    TableValue value = Value();
    if (value.IsNull())
        return {};
    if (value.IsDateTime())
        return value.DateTime();
    if (value.IsDate())
        return TableDateTime { value.Date().dayNumber, 0 };
    if (value.IsText()) {
        if (auto moment = ParseDateTime(value.Text()))
            return *moment;
        if (auto date = ParseDate(value.Text()))
            return TableDateTime { date->dayNumber, 0 };
    }
    Refuse(value.Describe() + " is not a date-time");
}

void Field::SetValue(const TableValue& value)
{
    Table& table = *table_;
    table.CheckActive();
    if (table.state_ != TableState::Edit)
        throw TableError(TableErrorCode::NotEditing, std::string(TableErrorText(TableErrorCode::NotEditing)) + ": "
                                                         + table.Context() + ", field " + FieldName());
    if (!value.FitsField(DataType()))
        Refuse("the value " + value.Describe() + " does not fit a " + FieldTypeName(DataType()) + " field");
    if ((value.IsDate() && !FormatDate(value.Date())) || (value.IsDateTime() && !FormatDateTime(value.DateTime())))
        Refuse("the value " + value.Describe() + " is outside the years 1 to 9999");
    table.current_->values[index_] = value;
}

void Field::SetAsString(std::string_view text)
{
    switch (DataType()) {
    case FieldType::Text: return SetValue(TableValue(text));
    case FieldType::Integer:
        if (auto number = ParseInteger(text))
            return SetValue(*number);
        Refuse("\"" + std::string(text) + "\" is not an integer");
    case FieldType::Date:
        if (auto date = ParseDate(text))
            return SetValue(*date);
        Refuse("\"" + std::string(text) + "\" is not a date (YYYY-MM-DD)");
    case FieldType::DateTime:
        if (auto moment = ParseDateTime(text))
            return SetValue(*moment);
        if (auto date = ParseDate(text))
            return SetValue(TableDateTime { date->dayNumber, 0 });
        Refuse("\"" + std::string(text) + "\" is not a date-time (YYYY-MM-DD HH:MM:SS)");
    }
}

void Field::SetAsInteger(std::int64_t number)
{
    if (DataType() == FieldType::Text)
        return SetValue(std::to_string(number));
    if (DataType() != FieldType::Integer)
        Refuse("an integer does not fit a " + std::string(FieldTypeName(DataType())) + " field");
    SetValue(number);
}

void Field::SetAsDate(TableDate date)
{
    switch (DataType()) {
    case FieldType::Date: return SetValue(date);
    case FieldType::DateTime: return SetValue(TableDateTime { date.dayNumber, 0 });
    case FieldType::Text:
        if (auto text = FormatDate(date))
            return SetValue(*text);
        Refuse("the date is outside the years 1 to 9999");
    case FieldType::Integer: break;
    }
    Refuse("a date does not fit an integer field");
}

void Field::SetAsDateTime(TableDateTime moment)
{
    switch (DataType()) {
    case FieldType::DateTime: return SetValue(moment);
    case FieldType::Date: return SetValue(moment.Date());
    case FieldType::Text:
        if (auto text = FormatDateTime(moment))
            return SetValue(*text);
        Refuse("the date-time is not a valid one");
    case FieldType::Integer: break;
    }
    Refuse("a date-time does not fit an integer field");
}

void Field::Clear()
{
    SetValue(TableValue());
}

// --- Table ---------------------------------------------------------------

Table::Table(Database& database, TableDef definition)
    : database_(&database)
    , definition_(std::move(definition))
{
    ValidateTableDef(definition_);
    for (size_t i = 0; i < definition_.fields.size(); ++i)
        fields_.push_back(Field(*this, i));
    database_->Attach(*this);
}

Table::~Table()
{
    try {
        Close();
    } catch (...) {
        CloseDiscarding();
    }
    if (database_)
        database_->Detach(*this);
}

std::string Table::Context() const
{
    return "table " + definition_.name + (fileName_.empty() ? std::string() : " (" + fileName_ + ")");
}

template <class Action> decltype(auto) Table::Guarded(Action&& action)
{
    try {
        return action();
    } catch (const TableError& error) {
        if (!IsCorruptionCode(error.code()))
            throw;
        int code = error.code();
        if (code != TableErrorCode::IndexPageCorrupt) {
            try {
                if (int found = DiagnoseTableDamage(connection_, fileName_); found != 0)
                    code = found;
            } catch (const TableError&) {
                // Keep the first verdict.
            }
        }
        CloseDamaged();
        if (code == error.code())
            throw;
        throw error.WithCode(code);
    }
}

void Table::CheckActive() const
{
    if (!Active())
        throw TableError(TableErrorCode::NotActive,
                         std::string(TableErrorText(TableErrorCode::NotActive)) + ": " + Context());
}

void Table::CheckBrowseMode()
{
    if (state_ == TableState::Edit)
        Post();
}

void Table::CheckClosedForMaintenance(const char* what) const
{
    if (Active())
        throw TableError(TableErrorCode::General,
                         std::string("Cannot ") + what + " " + Context() + " while it is open");
    if (!database_ || !database_->Connected())
        throw TableError(TableErrorCode::NotConnected,
                         "Cannot " + std::string(what) + " " + Context() + ": the database is not connected");
}

void Table::Open()
{
    if (Active())
        return;
    if (!database_ || !database_->Connected())
        throw TableError(TableErrorCode::NotConnected, "Cannot open " + Context() + ": the database is not connected");
    fileName_ = database_->TableFileName(definition_.name);
    OpenedTableFile opened
        = OpenTableFile(fileName_, definition_, VersionCheck::RequireCurrent, database_->WaitLimit());
    lock_ = std::move(opened.lock);
    connection_ = std::move(opened.connection);

    std::string table = QuoteIdentifier(definition_.name);
    std::string columns = "rowid, " + ColumnListSql(definition_);
    try {
        if (auto key = definition_.PrimaryKeyIndex())
            statements_.selectByKey = connection_.Prepare("SELECT " + columns + " FROM " + table + " WHERE "
                                                          + QuoteIdentifier(definition_.fields[*key].name) + " = ?1");
        statements_.selectByRowid = connection_.Prepare("SELECT " + columns + " FROM " + table + " WHERE rowid = ?1");
        statements_.walk = connection_.Prepare("SELECT " + columns + " FROM " + table
                                               + " WHERE rowid > ?1 AND rowid <= ?2 ORDER BY rowid");
        statements_.maxRowid = connection_.Prepare("SELECT max(rowid) FROM " + table);
        statements_.count = connection_.Prepare("SELECT count(*) FROM " + table);
        std::string assignments, placeholders;
        for (size_t i = 0; i < definition_.fields.size(); ++i) {
            std::string number = std::to_string(i + 1);
            assignments += (i ? ", " : "") + QuoteIdentifier(definition_.fields[i].name) + " = ?" + number;
            placeholders += (i ? ", ?" : "?") + number;
        }
        std::string last = std::to_string(definition_.fields.size() + 1);
        statements_.update = connection_.Prepare("UPDATE " + table + " SET " + assignments + " WHERE rowid = ?" + last);
        statements_.insert = connection_.Prepare("INSERT INTO " + table + "(" + ColumnListSql(definition_) + ") VALUES("
                                                 + placeholders + ")");
        state_ = TableState::Browse;
        First();
    } catch (const TableError& error) {
        if (IsTableDamageCode(error.code()))
            CloseDamaged();
        else
            CloseDiscarding();
        throw;
    } catch (...) {
        CloseDiscarding();
        throw;
    }
}

void Table::Close()
{
    if (!Active())
        return;
    CheckBrowseMode();
    CloseDiscarding();
}

void Table::CloseDiscarding()
{
    statements_ = Statements {};
    connection_.Close();
    lock_.ReleaseAfterUse();
    inTransaction_ = false;
    state_ = TableState::Inactive;
    current_.reset();
    beforeEdit_.reset();
    eof_ = true;
    walkEnd_.reset();
}

void Table::CloseDamaged()
{
    lock_.MarkSuspect();
    CloseDiscarding();
}

TableRow Table::ReadRow(const SqliteStatement& statement) const
{
    TableRow row;
    row.rowid = statement.ColumnInteger(0);
    row.values.reserve(definition_.fields.size());
    for (size_t i = 0; i < definition_.fields.size(); ++i)
        row.values.push_back(ReadFieldValue(statement, static_cast<int>(i + 1), definition_.fields[i].type));
    return row;
}

bool Table::InView(const TableRow& row) const
{
    if (!filtered_ || !filter_)
        return true;
    const TableValue& value = row.values[filter_->FieldIndex()];
    return value.IsText() && filter_->Matches(value.Text());
}

std::int64_t Table::LastRowid()
{
    StatementScope scope(statements_.maxRowid);
    if (!statements_.maxRowid.Step() || statements_.maxRowid.IsNull(0))
        return INT64_MIN;
    return statements_.maxRowid.ColumnInteger(0);
}

void Table::AdvanceFrom(std::int64_t rowid)
{
    SqliteStatement& walk = statements_.walk;
    StatementScope scope(walk);
    walk.BindInteger(1, rowid);
    walk.BindInteger(2, *walkEnd_);
    while (walk.Step()) {
        TableRow row = ReadRow(walk);
        if (InView(row)) {
            current_ = std::move(row);
            eof_ = false;
            return;
        }
    }
    eof_ = true;
}

bool Table::FindKey(std::string_view key)
{
    CheckActive();
    if (!definition_.PrimaryKeyIndex())
        throw TableError(TableErrorCode::General, "Cannot look up a key in " + Context() + ": it has no primary index");
    CheckBrowseMode();
    return Guarded([&] {
        SqliteStatement& select = statements_.selectByKey;
        StatementScope scope(select);
        select.BindText(1, key);
        if (!select.Step())
            return false;
        TableRow row = ReadRow(select);
        if (!InView(row))
            return false;
        current_ = std::move(row);
        eof_ = false;
        walkEnd_.reset();
        return true;
    });
}

std::vector<std::string> Table::PrimaryKeys()
{
    CheckActive();
    auto key = definition_.PrimaryKeyIndex();
    if (!key)
        throw TableError(TableErrorCode::General, "Cannot list the keys of " + Context() + ": it has no primary index");
    return Guarded([&] {
        SqliteStatement select = connection_.Prepare("SELECT " + QuoteIdentifier(definition_.fields[*key].name)
                                                     + " FROM " + QuoteIdentifier(definition_.name));
        std::vector<std::string> keys;
        while (select.Step())
            keys.push_back(select.ColumnText(0));
        return keys;
    });
}

Field& Table::FieldByName(std::string_view name)
{
    auto index = definition_.FieldIndex(name);
    if (!index)
        throw TableError(TableErrorCode::FieldNotFound,
                         "Field not found: table " + definition_.name + " has no field " + std::string(name));
    return fields_[*index];
}

const Field& Table::FieldByName(std::string_view name) const
{
    return const_cast<Table*>(this)->FieldByName(name);
}

void Table::Edit()
{
    CheckActive();
    if (state_ == TableState::Edit)
        return;
    if (!current_)
        throw TableError(TableErrorCode::NoCurrentRecord,
                         std::string(TableErrorText(TableErrorCode::NoCurrentRecord)) + " to edit in " + Context());
    beforeEdit_ = current_;
    state_ = TableState::Edit;
}

void Table::Post()
{
    CheckActive();
    if (state_ != TableState::Edit)
        return;
    Guarded([&] {
        SqliteStatement& update = statements_.update;
        StatementScope scope(update);
        for (size_t i = 0; i < definition_.fields.size(); ++i)
            BindFieldValue(update, static_cast<int>(i + 1), current_->values[i], definition_.fields[i].type,
                           kCurrentTableFormat, Context());
        update.BindInteger(static_cast<int>(definition_.fields.size() + 1), current_->rowid);
        (void)update.Step();
        if (connection_.Changes() == 0)
            throw TableError(TableErrorCode::RecordDeleted,
                             std::string(TableErrorText(TableErrorCode::RecordDeleted)) + ": " + Context());
    });
    state_ = TableState::Browse;
    beforeEdit_.reset();
}

void Table::Cancel()
{
    if (state_ != TableState::Edit)
        return;
    current_ = beforeEdit_;
    beforeEdit_.reset();
    state_ = TableState::Browse;
}

void Table::AppendRecord(const std::vector<TableValue>& values)
{
    CheckActive();
    CheckBrowseMode();
    if (values.size() != definition_.fields.size())
        throw TableError(TableErrorCode::BadValue, "Cannot append to " + Context() + ": "
                                                       + std::to_string(values.size()) + " values for "
                                                       + std::to_string(definition_.fields.size()) + " fields");
    Guarded([&] {
        SqliteStatement& insert = statements_.insert;
        StatementScope scope(insert);
        for (size_t i = 0; i < values.size(); ++i) {
            try {
                BindFieldValue(insert, static_cast<int>(i + 1), values[i], definition_.fields[i].type,
                               kCurrentTableFormat, Context());
            } catch (const TableError& error) {
                throw TableError(error.code(),
                                 std::string(error.what()) + " (field " + definition_.fields[i].name + ")");
            }
        }
        (void)insert.Step();
        current_ = TableRow { connection_.LastInsertRowid(), values };
        eof_ = false;
        walkEnd_.reset();
    });
}

void Table::SetFilter(std::string_view expression)
{
    std::optional<TableFilter> parsed;
    if (!Trim(expression).empty())
        parsed = TableFilter::Parse(expression, definition_);
    if (Active() && filtered_)
        CheckBrowseMode();
    filterText_ = std::string(expression);
    filter_ = std::move(parsed);
    if (Active() && filtered_)
        First();
}

void Table::SetFiltered(bool filtered)
{
    if (filtered == filtered_)
        return;
    if (Active())
        CheckBrowseMode();
    filtered_ = filtered;
    if (Active())
        First();
}

void Table::First()
{
    CheckActive();
    CheckBrowseMode();
    Guarded([&] {
        current_.reset();
        walkEnd_ = LastRowid();
        AdvanceFrom(INT64_MIN);
    });
}

void Table::Next()
{
    CheckActive();
    CheckBrowseMode();
    if (eof_ || !current_)
        return;
    Guarded([&] {
        if (!walkEnd_)
            walkEnd_ = LastRowid();
        AdvanceFrom(current_->rowid);
    });
}

size_t Table::RecordCount()
{
    CheckActive();
    return Guarded([&]() -> size_t {
        if (!filtered_ || !filter_) {
            StatementScope scope(statements_.count);
            return statements_.count.Step() ? static_cast<size_t>(statements_.count.ColumnInteger(0)) : 0;
        }
        SqliteStatement& walk = statements_.walk;
        StatementScope scope(walk);
        walk.BindInteger(1, INT64_MIN);
        walk.BindInteger(2, INT64_MAX);
        size_t count = 0;
        while (walk.Step()) {
            if (InView(ReadRow(walk)))
                ++count;
        }
        return count;
    });
}

void Table::StartTransaction()
{
    CheckActive();
    if (inTransaction_)
        throw TableError(TableErrorCode::General, "A transaction of " + Context() + " is in progress already");
    CheckBrowseMode();
    Guarded([&] { connection_.Execute("BEGIN IMMEDIATE"); });
    inTransaction_ = true;
}

void Table::Commit()
{
    CheckActive();
    if (!inTransaction_)
        throw TableError(TableErrorCode::General, "No transaction of " + Context() + " to commit");
    CheckBrowseMode();
    Guarded([&] { connection_.Execute("COMMIT"); });
    inTransaction_ = false;
}

void Table::Rollback()
{
    if (!Active() || !inTransaction_)
        return;
    Cancel();
    inTransaction_ = false;
    Guarded([&] {
        try {
            connection_.Execute("ROLLBACK");
        } catch (const TableError& error) {
            // SQLite may have rolled back by itself after a failed write.
            if (IsCorruptionCode(error.code()))
                throw;
        }
    });
    if (current_) {
        std::int64_t rowid = current_->rowid;
        Guarded([&] {
            SqliteStatement& select = statements_.selectByRowid;
            StatementScope scope(select);
            select.BindInteger(1, rowid);
            if (select.Step()) {
                current_ = ReadRow(select);
            } else {
                current_.reset();
                eof_ = true;
            }
        });
    }
}

TableTransaction::~TableTransaction()
{
    try {
        table_.Rollback();
    } catch (...) {
        // The failure that ended the scope early is the one to report.
    }
}

void Table::FlushBuffers()
{
    CheckActive();
    CheckBrowseMode();
}

void Table::Refresh()
{
    CheckActive();
    CheckBrowseMode();
    if (!current_)
        return First();
    Guarded([&] {
        walkEnd_ = LastRowid();
        SqliteStatement& select = statements_.selectByRowid;
        std::int64_t rowid = current_->rowid;
        {
            StatementScope scope(select);
            select.BindInteger(1, rowid);
            if (select.Step()) {
                TableRow row = ReadRow(select);
                if (InView(row)) {
                    current_ = std::move(row);
                    return;
                }
            }
        }
        AdvanceFrom(rowid);
        if (eof_)
            current_.reset();
    });
}

RepairReport Table::RepairTable()
{
    CheckClosedForMaintenance("repair");
    return RepairTableFile(database_->TableFileName(definition_.name), definition_, database_->WaitLimit());
}

void Table::UpgradeTable()
{
    CheckClosedForMaintenance("upgrade");
    UpgradeTableFile(database_->TableFileName(definition_.name), definition_, database_->WaitLimit());
}

} // namespace morvanta
