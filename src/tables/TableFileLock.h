#pragma once

#include <chrono>
#include <optional>
#include <string>

// Two programs on one table file: the window, and the command-line tool
// started by a cron job. Beside each table file lies "<file>.lock". Every
// program that has the table open holds a shared flock on it; a repair, an
// upgrade or the writing of a new file holds it exclusively, so that it
// waits for the users to close the table and they wait for it. The kernel
// drops the lock of a process that dies, so a killed program never leaves
// the table locked.
//
// The lock file also records what is known of the table file:
//   "clean <device> <inode> <size> <mtime> <ctime>": so the file was left by
//       the last of our programs that closed it;
//   "suspect": a program met damage in it;
//   nothing: unknown.
// An opener that finds itself alone with a file that is not recorded clean
// exactly as it is now (changed by something else, or left by a program that
// died with a log of unfinished writes beside it) checks the whole file for
// damage. Every other opening checks only what can be checked cheaply.
namespace morvanta {

inline constexpr std::chrono::milliseconds kTableWaitLimit { 60000 };
inline constexpr const char* kTableLockExtension = ".lock";

class TableFileLock {
public:
    TableFileLock() = default;
    ~TableFileLock();
    TableFileLock(TableFileLock&& other) noexcept;
    TableFileLock& operator=(TableFileLock&& other) noexcept;
    TableFileLock(const TableFileLock&) = delete;
    TableFileLock& operator=(const TableFileLock&) = delete;

    // For using the table: exclusive when no other program has it open, so
    // that the opener may check the file undisturbed, shared otherwise.
    // Waits while another program holds it exclusively. TableError(Busy)
    // when the wait runs out.
    [[nodiscard]] static TableFileLock ForUse(const std::string& tablePath, const std::string& context,
                                              std::chrono::milliseconds wait);
    // For repairing, upgrading or writing the file: exclusive, after every
    // other program has closed the table. TableError(Busy) when the wait runs
    // out.
    //
    // Where no lock file can be made or opened (a write-protected folder) or
    // the file system has no flock, both go on without a lock: nothing is
    // recorded, and the table file is checked whole at every opening.
    [[nodiscard]] static TableFileLock ForMaintenance(const std::string& tablePath, const std::string& context,
                                                      std::chrono::milliseconds wait);

    [[nodiscard]] bool Held() const { return hold_ != Hold::None; }
    [[nodiscard]] bool Exclusive() const { return hold_ == Hold::Exclusive; }
    // From exclusive to shared, letting other users in.
    void Share();

    [[nodiscard]] bool Suspect() const;
    // The record says the file was left clean exactly as it is now, and no
    // log of unfinished writes lies beside it.
    [[nodiscard]] bool FileLeftClean() const;

    void MarkSuspect();
    // Exclusive holds only. Records the file clean as it is now, unless a log
    // of writes lies beside it (then the record is cleared): call it with
    // every connection to the file closed.
    void MarkClean();
    // Exclusive holds only.
    void ClearRecord();

    // Ends a use of the table, its connection already closed. The last user
    // to leave records the file clean unless it is suspect.
    void ReleaseAfterUse();
    void Release();

private:
    enum class Hold { None, Shared, Exclusive };

    TableFileLock(int descriptor, std::string tablePath);
    // Exclusive, or while another program has the table open the hold given
    // (Shared; None: wait for it); without a lock where none can be had.
    // Nothing when the wait runs out.
    [[nodiscard]] static std::optional<TableFileLock> Acquire(const std::string& tablePath, Hold whileTaken,
                                                              std::chrono::milliseconds wait);

    [[nodiscard]] std::string ReadRecord() const;
    void WriteRecord(const std::string& record);

    int descriptor_ = -1;
    Hold hold_ = Hold::None;
    std::string tablePath_;
};

} // namespace morvanta
