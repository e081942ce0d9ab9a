#include "mailer/SavedMessage.h"

#include "base/Text.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace morvanta {

namespace {

[[noreturn]] void FailWithErrno(const std::string& path, int error)
{
    throw SavedMessageError("Could not read " + path + ": " + std::strerror(error));
}

void CheckIsLoadable(const std::string& path, const struct stat& status)
{
    if (!S_ISREG(status.st_mode))
        throw SavedMessageError(path + " is not a regular file; only a saved message can be loaded.");
    if (static_cast<std::uint64_t>(status.st_size) > MaxSavedMessageBytes)
        throw SavedMessageError(path + " is too large to be a message: it holds " + std::to_string(status.st_size)
                                + " bytes, more than 50 MB.");
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd)
        : fd_(fd)
    {
    }
    ~FileDescriptor()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    [[nodiscard]] int Get() const { return fd_; }

private:
    int fd_;
};

} // namespace

std::vector<std::string> ReadSavedMessage(const std::string& path)
{
    struct stat status { };
    if (::stat(path.c_str(), &status) != 0)
        FailWithErrno(path, errno);
    CheckIsLoadable(path, status);

    // Non-blocking, so a FIFO put in the file's place after the check cannot
    // hold the open; the descriptor is checked again below.
    FileDescriptor file(::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (file.Get() < 0)
        FailWithErrno(path, errno);
    if (::fstat(file.Get(), &status) != 0)
        FailWithErrno(path, errno);
    CheckIsLoadable(path, status);

    std::string text;
    text.reserve(static_cast<size_t>(status.st_size));
    char buffer[65536];
    for (;;) {
        ssize_t count = ::read(file.Get(), buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR)
                continue;
            FailWithErrno(path, errno);
        }
        if (count == 0)
            break;
        text.append(buffer, static_cast<size_t>(count));
        // The file may grow while it is read.
        if (text.size() > MaxSavedMessageBytes)
            throw SavedMessageError(path + " is too large to be a message: it holds more than 50 MB.");
    }
    return SplitLines(text);
}

} // namespace morvanta
