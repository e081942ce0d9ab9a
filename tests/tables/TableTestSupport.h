#pragma once

#include "fixtures/TestFiles.h"
#include "tables/Database.h"
#include "tables/Table.h"
#include "tables/TableEngineError.h"
#include "tables/TableFile.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace morvanta::test {

// A temporary folder with a connected database on it.
class TableFolder {
public:
    TableFolder()
    {
        database.SetFolder(folder.Path());
        database.Connect();
    }

    [[nodiscard]] std::string File(const std::string& table) const { return database.TableFileName(table); }

    TempDir folder;
    TDatabase database;
};

inline constexpr int kDay = 19800; // 2024-03-18

[[nodiscard]] inline std::vector<TValue> IPListValues(const std::string& ip, const std::string& emails,
                                                      int lastUpdate = kDay, const std::string& emails2 = "",
                                                      int lastUpdate2 = kDay - 31, std::int64_t reports = 1)
{
    return { ip, emails, TDate { lastUpdate }, emails2, TDate { lastUpdate2 }, reports };
}

// Rows 1..count with addresses long enough to fill several dozen pages.
[[nodiscard]] std::vector<TTableRow> MakeIPListRows(int count);

// Every row of the table file, read through SQLite.
[[nodiscard]] std::vector<TTableRow> ReadRows(const std::string& path, const TTableDef& definition);

// Runs a query on the file with a plain SQLite connection and returns the
// first column of every row as text.
[[nodiscard]] std::vector<std::string> Query(const std::string& path, const std::string& sql);
void Execute(const std::string& path, const std::string& sql);

// Page numbers of an object's pages of one kind ("leaf", "internal", "overflow")
// as SQLite's dbstat reports them.
[[nodiscard]] std::vector<std::uint32_t> PagesOf(const std::string& path, const std::string& object,
                                                 const std::string& kind);

void OverwriteBytes(const std::string& path, std::uint64_t offset, const std::string& bytes);
void TruncateFile(const std::string& path, std::uint64_t size);

using OpenTables = std::vector<std::unique_ptr<TTable>>;

// Runs the work in a child process on a database bound to the folder, and
// kills the child with SIGKILL as soon as the work has returned, while the
// tables it returned are still open. False when the child failed or did not
// report within a minute.
[[nodiscard]] bool RunInChildAndKill(const std::string& folder, const std::function<OpenTables(TDatabase&)>& work);

// The engine code of the exception the action throws, or 0 when it throws none.
[[nodiscard]] int EngineCodeOf(const std::function<void()>& action);

} // namespace morvanta::test
