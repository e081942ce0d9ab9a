#include "tables/Database.h"

#include "base/Files.h"
#include "tables/Table.h"
#include "tables/TableError.h"
#include "tables/TableFile.h"

#include <algorithm>
#include <exception>

namespace morvanta {

Database::Database(std::string databaseName)
    : name_(std::move(databaseName))
{
}

Database::~Database()
{
    try {
        Disconnect();
    } catch (...) {
        // A table whose pending edit could not be posted is closed without it.
    }
    for (Table* table : tables_)
        table->database_ = nullptr;
}

void Database::SetFolder(const std::string& folder)
{
    if (connected_)
        throw TableError(TableErrorCode::General,
                         "Cannot change the folder of database " + name_ + " while it is connected");
    folder_ = IncludeTrailingPathDelimiter(folder);
}

void Database::Connect()
{
    if (connected_)
        return;
    if (folder_.empty())
        throw TableError(TableErrorCode::CannotOpen, "Database " + name_ + " has no folder");
    if (!DirectoryExists(folder_))
        throw TableError(TableErrorCode::CannotOpen,
                         "Database " + name_ + ": the folder " + folder_ + " does not exist");
    connected_ = true;
}

void Database::Disconnect()
{
    std::exception_ptr failure;
    for (Table* table : tables_) {
        try {
            table->Close();
        } catch (...) {
            table->CloseDiscarding();
            if (!failure)
                failure = std::current_exception();
        }
    }
    connected_ = false;
    if (failure)
        std::rethrow_exception(failure);
}

std::string Database::TableFileName(std::string_view tableName) const
{
    return folder_ + std::string(tableName) + kTableFileExtension;
}

void Database::Attach(Table& table)
{
    tables_.push_back(&table);
}

void Database::Detach(Table& table)
{
    tables_.erase(std::remove(tables_.begin(), tables_.end(), &table), tables_.end());
}

} // namespace morvanta
