#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

class TTable;

// A database bound to a folder: its tables are files in that folder, one per
// table, named "<Table>.db". The folder is set while disconnected; tables
// open only while the database is connected, and disconnecting closes them.
class TDatabase {
public:
    explicit TDatabase(std::string databaseName = "Morvanta");
    ~TDatabase();
    TDatabase(const TDatabase&) = delete;
    TDatabase& operator=(const TDatabase&) = delete;

    [[nodiscard]] const std::string& DatabaseName() const { return name_; }

    // Kept with a trailing "/". ETableEngineError(General) while connected.
    void SetFolder(const std::string& folder);
    [[nodiscard]] const std::string& Folder() const { return folder_; }

    // ETableEngineError(CannotOpen) when no folder is set or it does not exist.
    void Connect();
    // Closes every open table of the database (posting a pending edit first).
    void Disconnect();
    [[nodiscard]] bool Connected() const { return connected_; }

    [[nodiscard]] std::string TableFileName(std::string_view tableName) const;

private:
    friend class TTable;
    void Attach(TTable& table);
    void Detach(TTable& table);

    std::string name_;
    std::string folder_;
    bool connected_ = false;
    std::vector<TTable*> tables_;
};

} // namespace morvanta
