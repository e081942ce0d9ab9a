#include "tables/TableFileLock.h"

#include "base/Files.h"
#include "tables/TableError.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <optional>
#include <thread>
#include <utility>

namespace morvanta {

namespace {

using Clock = std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr const char* kCleanRecord = "clean ";
constexpr const char* kSuspectRecord = "suspect\n";
constexpr size_t kLongestRecord = 256;

int OpenLockFile(const std::string& path)
{
    int descriptor = ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0666);
    if (descriptor < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        descriptor = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    return descriptor;
}

enum class Attempt { Granted, Taken, Unsupported };

Attempt TryLock(int descriptor, int operation)
{
    for (;;) {
        if (::flock(descriptor, operation | LOCK_NB) == 0)
            return Attempt::Granted;
        if (errno == EINTR)
            continue;
        return errno == EWOULDBLOCK ? Attempt::Taken : Attempt::Unsupported;
    }
}

// Pauses between two attempts: short at first, so that the common wait for
// another program's quick look at the file costs little, then longer.
class Backoff {
public:
    explicit Backoff(std::chrono::milliseconds limit)
        : deadline_(Clock::now() + limit)
    {
    }

    // False when the time is up.
    bool Pause()
    {
        auto now = Clock::now();
        if (now >= deadline_)
            return false;
        std::this_thread::sleep_for(std::min<Clock::duration>(pause_, deadline_ - now));
        pause_ = std::min<Clock::duration>(pause_ * 2, 20ms);
        return true;
    }

private:
    Clock::time_point deadline_;
    Clock::duration pause_ = 1ms;
};

bool Later(const timespec& a, const timespec& b)
{
    return a.tv_sec != b.tv_sec ? a.tv_sec > b.tv_sec : a.tv_nsec > b.tv_nsec;
}

std::string TimeText(const timespec& time)
{
    return std::to_string(time.tv_sec) + "." + std::to_string(time.tv_nsec);
}

std::string CleanRecord(const struct stat& table)
{
    return kCleanRecord + std::to_string(table.st_dev) + " " + std::to_string(table.st_ino) + " "
           + std::to_string(table.st_size) + " " + TimeText(table.st_mtim) + " " + TimeText(table.st_ctim) + "\n";
}

// A rollback journal or a write-ahead log beside the file: a program was
// writing when it stopped, or is writing now.
bool HasLog(const std::string& tablePath)
{
    return PathExists(tablePath + "-wal") || PathExists(tablePath + "-journal");
}

} // namespace

TableFileLock::TableFileLock(int descriptor, std::string tablePath)
    : descriptor_(descriptor)
    , tablePath_(std::move(tablePath))
{
}

TableFileLock::~TableFileLock()
{
    Release();
}

TableFileLock::TableFileLock(TableFileLock&& other) noexcept
    : descriptor_(std::exchange(other.descriptor_, -1))
    , hold_(std::exchange(other.hold_, Hold::None))
    , tablePath_(std::move(other.tablePath_))
{
}

TableFileLock& TableFileLock::operator=(TableFileLock&& other) noexcept
{
    if (this != &other) {
        Release();
        descriptor_ = std::exchange(other.descriptor_, -1);
        hold_ = std::exchange(other.hold_, Hold::None);
        tablePath_ = std::move(other.tablePath_);
    }
    return *this;
}

std::optional<TableFileLock> TableFileLock::Acquire(const std::string& tablePath, Hold whileTaken,
                                                    std::chrono::milliseconds wait)
{
    int descriptor = OpenLockFile(tablePath + kTableLockExtension);
    if (descriptor < 0)
        return TableFileLock();
    TableFileLock lock(descriptor, tablePath);
    Backoff backoff(wait);
    for (;;) {
        Attempt attempt = TryLock(descriptor, LOCK_EX);
        if (attempt == Attempt::Granted) {
            lock.hold_ = Hold::Exclusive;
            return lock;
        }
        if (attempt == Attempt::Taken && whileTaken == Hold::Shared) {
            attempt = TryLock(descriptor, LOCK_SH);
            if (attempt == Attempt::Granted) {
                lock.hold_ = Hold::Shared;
                return lock;
            }
        }
        if (attempt == Attempt::Unsupported)
            return TableFileLock();
        if (!backoff.Pause())
            return std::nullopt;
    }
}

TableFileLock TableFileLock::ForUse(const std::string& tablePath, const std::string& context,
                                    std::chrono::milliseconds wait)
{
    std::optional<TableFileLock> lock = Acquire(tablePath, Hold::Shared, wait);
    if (!lock)
        throw TableError(TableErrorCode::Busy, context,
                         "another program has been repairing or upgrading it for more than " + WaitText(wait));
    return std::move(*lock);
}

TableFileLock TableFileLock::ForMaintenance(const std::string& tablePath, const std::string& context,
                                            std::chrono::milliseconds wait)
{
    std::optional<TableFileLock> lock = Acquire(tablePath, Hold::None, wait);
    if (!lock)
        throw TableError(TableErrorCode::Busy, context,
                         "another program kept it open for more than " + WaitText(wait)
                             + "; it must be closed for the table to be repaired or upgraded");
    return std::move(*lock);
}

void TableFileLock::Share()
{
    if (hold_ != Hold::Exclusive)
        return;
    // Linux turns the lock over in one step: no other program can take it
    // exclusively in between.
    while (::flock(descriptor_, LOCK_SH) != 0) {
        if (errno != EINTR)
            return;
    }
    hold_ = Hold::Shared;
}

std::string TableFileLock::ReadRecord() const
{
    if (descriptor_ < 0)
        return {};
    char buffer[kLongestRecord];
    ssize_t size;
    do {
        size = ::pread(descriptor_, buffer, sizeof buffer, 0);
    } while (size < 0 && errno == EINTR);
    return size > 0 ? std::string(buffer, static_cast<size_t>(size)) : std::string();
}

void TableFileLock::WriteRecord(const std::string& record)
{
    if (descriptor_ < 0)
        return;
    // A lock file that cannot be written only costs the next opener a check.
    ssize_t written;
    do {
        written = ::pwrite(descriptor_, record.data(), record.size(), 0);
    } while (written < 0 && errno == EINTR);
    if (written == static_cast<ssize_t>(record.size()))
        (void)::ftruncate(descriptor_, static_cast<off_t>(record.size()));
}

bool TableFileLock::Suspect() const
{
    return ReadRecord() == kSuspectRecord;
}

bool TableFileLock::FileLeftClean() const
{
    if (descriptor_ < 0)
        return false;
    std::string record = ReadRecord();
    if (!record.starts_with(kCleanRecord) || HasLog(tablePath_))
        return false;
    struct stat table {
    }, lock {};
    if (::stat(tablePath_.c_str(), &table) != 0 || ::fstat(descriptor_, &lock) != 0)
        return false;
    return record == CleanRecord(table) && Later(lock.st_mtim, table.st_ctim);
}

void TableFileLock::MarkSuspect()
{
    if (Held())
        WriteRecord(kSuspectRecord);
}

void TableFileLock::ClearRecord()
{
    if (Exclusive())
        WriteRecord({});
}

void TableFileLock::MarkClean()
{
    if (!Exclusive())
        return;
    struct stat table { };
    if (HasLog(tablePath_) || ::stat(tablePath_.c_str(), &table) != 0)
        return ClearRecord();
    // A change made to the table file after the record must not give it the
    // time stamps recorded. File systems stamp with a coarse clock, so the
    // record is kept only once the lock file's own stamp is later than the
    // table file's last change: every later change then stamps it later still.
    std::string record = CleanRecord(table);
    auto deadline = Clock::now() + 3s;
    for (;;) {
        WriteRecord(record);
        struct stat lock { };
        if (::fstat(descriptor_, &lock) != 0 || Clock::now() > deadline)
            return ClearRecord();
        if (Later(lock.st_mtim, table.st_ctim))
            return;
        std::this_thread::sleep_for(1ms);
    }
}

void TableFileLock::ReleaseAfterUse()
{
    if (hold_ == Hold::Shared && TryLock(descriptor_, LOCK_EX) == Attempt::Granted)
        hold_ = Hold::Exclusive;
    if (hold_ == Hold::Exclusive && !Suspect())
        MarkClean();
    Release();
}

void TableFileLock::Release()
{
    if (descriptor_ >= 0) {
        // Unlocked explicitly, for a child process forked meanwhile shares the
        // open file and would otherwise keep the lock.
        (void)::flock(descriptor_, LOCK_UN);
        ::close(descriptor_);
    }
    descriptor_ = -1;
    hold_ = Hold::None;
}

} // namespace morvanta
