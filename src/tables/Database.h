#pragma once

#include "tables/TableFileLock.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

class Table;

// A database bound to a folder: its tables are files in that folder, one per
// table, named "<Table>.db". The folder is set while disconnected; tables
// open only while the database is connected, and disconnecting closes them.
class Database {
public:
    explicit Database(std::string databaseName = "Morvanta");
    ~Database();
    Database(const Database&) = delete;
    Database& operator=(const Database&) = delete;

    [[nodiscard]] const std::string& DatabaseName() const { return name_; }

    // Kept with a trailing "/". TableError(General) while connected.
    void SetFolder(const std::string& folder);
    [[nodiscard]] const std::string& Folder() const { return folder_; }

    // TableError(CannotOpen) when no folder is set or it does not exist.
    void Connect();
    // Closes every open table of the database (posting a pending edit first).
    void Disconnect();
    [[nodiscard]] bool Connected() const { return connected_; }

    [[nodiscard]] std::string TableFileName(std::string_view tableName) const;

    // How long its tables wait for another program (its write, a repair or
    // an upgrade it runs) before failing with TableError(Busy).
    void SetWaitLimit(std::chrono::milliseconds wait) { waitLimit_ = wait; }
    [[nodiscard]] std::chrono::milliseconds WaitLimit() const { return waitLimit_; }

private:
    friend class Table;
    void Attach(Table& table);
    void Detach(Table& table);

    std::string name_;
    std::string folder_;
    bool connected_ = false;
    std::chrono::milliseconds waitLimit_ = kTableWaitLimit;
    std::vector<Table*> tables_;
};

} // namespace morvanta
