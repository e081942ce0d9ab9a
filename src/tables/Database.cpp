#include "tables/Database.h"

#include "app/Platform.h"
#include "tables/Table.h"
#include "tables/TableEngineError.h"
#include "tables/TableFile.h"

#include <algorithm>
#include <exception>

namespace morvanta {

TDatabase::TDatabase(std::string databaseName)
    : name_(std::move(databaseName))
{
}

TDatabase::~TDatabase()
{
    try {
        Disconnect();
    } catch (...) {
        // A table whose pending edit could not be posted is closed without it.
    }
    for (TTable* table : tables_)
        table->database_ = nullptr;
}

void TDatabase::SetFolder(const std::string& folder)
{
    if (connected_)
        throw ETableEngineError(TableError::General,
                                "Cannot change the folder of database " + name_ + " while it is connected");
    folder_ = IncludeTrailingPathDelimiter(folder);
}

void TDatabase::Connect()
{
    if (connected_)
        return;
    if (folder_.empty())
        throw ETableEngineError(TableError::CannotOpen, "Database " + name_ + " has no folder");
    if (!DirectoryExists(folder_))
        throw ETableEngineError(TableError::CannotOpen,
                                "Database " + name_ + ": the folder " + folder_ + " does not exist");
    connected_ = true;
}

void TDatabase::Disconnect()
{
    std::exception_ptr failure;
    for (TTable* table : tables_) {
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

std::string TDatabase::TableFileName(std::string_view tableName) const
{
    return folder_ + std::string(tableName) + kTableFileExtension;
}

void TDatabase::Attach(TTable& table)
{
    tables_.push_back(&table);
}

void TDatabase::Detach(TTable& table)
{
    tables_.erase(std::remove(tables_.begin(), tables_.end(), &table), tables_.end());
}

} // namespace morvanta
