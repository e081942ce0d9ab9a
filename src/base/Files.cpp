#include "base/Files.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>

namespace morvanta {

namespace {

[[noreturn]] void ThrowFileError(const char* what, const std::string& path, int errorCode)
{
    throw FileError(std::string(what) + " \"" + path + "\". " + std::strerror(errorCode), errorCode);
}

// The file the path names: symbolic links are followed so that replacing
// the file keeps the link.
[[nodiscard]] std::string ResolvedPath(const std::string& path)
{
    struct stat info { };
    if (lstat(path.c_str(), &info) != 0 || !S_ISLNK(info.st_mode))
        return path;
    char resolved[PATH_MAX];
    if (!realpath(path.c_str(), resolved))
        return path;
    return resolved;
}

} // namespace

bool WriteAllBytes(int fd, std::string_view bytes)
{
    while (!bytes.empty()) {
        ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes.remove_prefix(static_cast<size_t>(written));
    }
    return true;
}

bool PathExists(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0;
}

bool FileExists(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && !S_ISDIR(info.st_mode);
}

bool DirectoryExists(const std::string& path)
{
    struct stat info { };
    return !path.empty() && ::stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
}

bool ForceDirectories(const std::string& folder)
{
    if (folder.empty())
        return false;
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    return DirectoryExists(folder);
}

std::string IncludeTrailingPathDelimiter(const std::string& folder)
{
    if (folder.empty() || folder.back() == '/')
        return folder;
    return folder + "/";
}

std::optional<std::string> ReadWholeFile(const std::string& path)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT)
            return std::nullopt;
        ThrowFileError("Cannot open file", path, errno);
    }
    std::string content;
    struct stat info { };
    if (fstat(fd, &info) == 0 && info.st_size > 0)
        content.reserve(static_cast<size_t>(info.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0) {
            if (errno == EINTR)
                continue;
            int failure = errno;
            ::close(fd);
            ThrowFileError("Cannot read file", path, failure);
        }
        if (got == 0)
            break;
        content.append(buffer, static_cast<size_t>(got));
    }
    ::close(fd);
    return content;
}

void SyncFolderOf(const std::string& path)
{
    auto slash = path.find_last_of('/');
    std::string folder = slash == std::string::npos ? "." : path.substr(0, slash + 1);
    int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
}

namespace {

// Writes the bytes, flushes them to disk and closes the descriptor; the
// error number of the first step that failed, or 0.
int WriteSyncAndClose(int fd, std::string_view content)
{
    int failure = 0;
    if (!WriteAllBytes(fd, content))
        failure = errno;
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (::close(fd) != 0 && failure == 0)
        failure = errno;
    return failure;
}

} // namespace

void WriteFileDurably(const std::string& path, std::string_view content)
{
    const int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    const int failure = fd < 0 ? errno : WriteSyncAndClose(fd, content);
    if (failure != 0)
        ThrowFileError("Cannot write file", path, failure);
}

void ReplaceFileContent(const std::string& path, std::string_view content)
{
    static std::atomic<unsigned> counter { 0 };
    const std::string target = ResolvedPath(path);

    struct stat original { };
    const bool exists = ::stat(target.c_str(), &original) == 0;

    std::string temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0; ++attempt) {
        temporary = target + ".tmp" + std::to_string(getpid()) + "-" + std::to_string(counter++);
        fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0 && (errno != EEXIST || attempt >= 100))
            ThrowFileError("Cannot create file", path, errno);
    }

    int failure = 0;
    if (exists && fchmod(fd, original.st_mode & 07777) != 0) {
        failure = errno;
        ::close(fd);
    } else {
        failure = WriteSyncAndClose(fd, content);
    }
    if (failure == 0 && std::rename(temporary.c_str(), target.c_str()) != 0)
        failure = errno;
    if (failure != 0) {
        ::unlink(temporary.c_str());
        ThrowFileError("Cannot write file", path, failure);
    }
    SyncFolderOf(target);
}

namespace {

// Tries names made of the prefix, a hexadecimal number and ".tmp" until the
// attempt (which returns false with errno set when it fails) makes one.
template <typename Attempt>
std::string TakeUniqueName(const std::string& folder, const std::string& prefix, Attempt&& take)
{
    // Start somewhere different in every process and at every call, so that
    // a crowded folder is not searched from its first name each time.
    static std::atomic<unsigned> sequence { 0 };
    auto now = static_cast<unsigned>(std::chrono::steady_clock::now().time_since_epoch().count());
    unsigned number = now ^ (static_cast<unsigned>(getpid()) << 16) ^ (sequence++ * 2654435761u);
    for (unsigned attempt = 0;; ++attempt, ++number) {
        if (number == 0)
            ++number;
        char hex[16];
        std::snprintf(hex, sizeof hex, "%X", number);
        std::string path = folder + prefix + hex + ".tmp";
        if (take(path))
            return path;
        if (errno != EEXIST || attempt >= 100000)
            ThrowFileError("Cannot create file", path, errno);
    }
}

} // namespace

std::string CreateUniqueFile(const std::string& folder, const std::string& prefix)
{
    return TakeUniqueName(folder, prefix, [](const std::string& path) {
        int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0)
            return false;
        ::close(fd);
        return true;
    });
}

std::string MoveUnderUniqueName(const std::string& existing, const std::string& folder, const std::string& prefix)
{
    try {
        return TakeUniqueName(folder, prefix, [&](const std::string& path) {
            return ::renameat2(AT_FDCWD, existing.c_str(), AT_FDCWD, path.c_str(), RENAME_NOREPLACE) == 0;
        });
    } catch (const FileError& error) {
        if (error.code() != EINVAL && error.code() != ENOSYS && error.code() != EOPNOTSUPP)
            throw;
    }
    // A file system that cannot rename without replacing: an empty file
    // reserves the name, and the rename goes over it.
    const std::string path = CreateUniqueFile(folder, prefix);
    if (std::rename(existing.c_str(), path.c_str()) != 0) {
        const int failure = errno;
        ::unlink(path.c_str());
        ThrowFileError("Cannot create file", path, failure);
    }
    return path;
}

} // namespace morvanta
