#include "TableTestSupport.h"

#include <sqlite3.h>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>

namespace morvanta::test {

std::vector<TTableRow> MakeIPListRows(int count)
{
    std::vector<TTableRow> rows;
    for (int i = 1; i <= count; ++i) {
        std::string ip = "10." + std::to_string(i / 65536) + "." + std::to_string(i / 256 % 256) + "."
            + std::to_string(i % 256);
        std::string emails = "abuse@net" + std::to_string(i) + ".example,noc@isp" + std::to_string(i % 7) + ".example";
        rows.push_back({ i, IPListValues(ip, emails, kDay - i % 40, i % 3 ? "" : "security@x" + std::to_string(i) + ".example",
                                         kDay - 31, i % 11 + 1) });
    }
    return rows;
}

std::vector<TTableRow> ReadRows(const std::string& path, const TTableDef& definition)
{
    TOpenedTableFile opened = OpenTableFile(path, definition, VersionCheck::AllowOlder);
    return ReadTableRows(opened.connection, definition);
}

namespace {

struct RawDatabase {
    explicit RawDatabase(const std::string& path)
    {
        if (sqlite3_open_v2(path.c_str(), &handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
            throw std::runtime_error("cannot open " + path);
    }
    ~RawDatabase() { sqlite3_close_v2(handle); }
    sqlite3* handle = nullptr;
};

} // namespace

std::vector<std::string> Query(const std::string& path, const std::string& sql)
{
    RawDatabase database(path);
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_prepare_v2(database.handle, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK)
        throw std::runtime_error(std::string("query failed: ") + sqlite3_errmsg(database.handle));
    std::vector<std::string> result;
    int step;
    while ((step = sqlite3_step(statement)) == SQLITE_ROW) {
        auto text = sqlite3_column_text(statement, 0);
        result.emplace_back(text ? reinterpret_cast<const char*>(text) : "");
    }
    sqlite3_finalize(statement);
    if (step != SQLITE_DONE)
        throw std::runtime_error(std::string("query failed: ") + sqlite3_errmsg(database.handle));
    return result;
}

void Execute(const std::string& path, const std::string& sql)
{
    RawDatabase database(path);
    char* message = nullptr;
    if (sqlite3_exec(database.handle, sql.c_str(), nullptr, nullptr, &message) != SQLITE_OK) {
        std::string text = message ? message : "?";
        sqlite3_free(message);
        throw std::runtime_error("statement failed: " + text);
    }
}

std::vector<std::uint32_t> PagesOf(const std::string& path, const std::string& object, const std::string& kind)
{
    std::vector<std::uint32_t> pages;
    for (const auto& page : Query(path, "SELECT pageno FROM dbstat WHERE name='" + object + "' AND pagetype='" + kind
                                            + "' ORDER BY pageno"))
        pages.push_back(static_cast<std::uint32_t>(std::stoul(page)));
    return pages;
}

void OverwriteBytes(const std::string& path, std::uint64_t offset, const std::string& bytes)
{
    int descriptor = ::open(path.c_str(), O_WRONLY);
    if (descriptor < 0)
        throw std::runtime_error("cannot open " + path);
    ssize_t written = ::pwrite(descriptor, bytes.data(), bytes.size(), static_cast<off_t>(offset));
    ::close(descriptor);
    if (written != static_cast<ssize_t>(bytes.size()))
        throw std::runtime_error("cannot write " + path);
}

void TruncateFile(const std::string& path, std::uint64_t size)
{
    if (::truncate(path.c_str(), static_cast<off_t>(size)) != 0)
        throw std::runtime_error("cannot truncate " + path);
}

bool RunInChildAndKill(const std::string& folder, const std::function<OpenTables(TDatabase&)>& work)
{
    int ready[2];
    if (pipe(ready) != 0)
        return false;
    pid_t child = fork();
    if (child < 0)
        return false;
    if (child == 0) {
        close(ready[0]);
        try {
            TDatabase database;
            database.SetFolder(folder);
            database.Connect();
            OpenTables tables = work(database);
            if (write(ready[1], "K", 1) == 1) {
                for (;;)
                    pause();
            }
        } catch (...) {
        }
        _exit(2);
    }
    close(ready[1]);
    pollfd wait { ready[0], POLLIN, 0 };
    char byte = 0;
    bool reported = poll(&wait, 1, 60000) == 1 && read(ready[0], &byte, 1) == 1 && byte == 'K';
    kill(child, SIGKILL);
    int status = 0;
    waitpid(child, &status, 0);
    close(ready[0]);
    return reported && WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL;
}

int EngineCodeOf(const std::function<void()>& action)
{
    try {
        action();
    } catch (const ETableEngineError& error) {
        return error.code();
    }
    return 0;
}

} // namespace morvanta::test
