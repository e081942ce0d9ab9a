#include "mailer/Spool.h"

#include "analysis/TextFiles.h"
#include "base/Files.h"
#include "base/Text.h"
#include "mailer/BulkFolder.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

namespace morvanta {

namespace {

void WriteFileDurably(const std::string& path, const std::string& content)
{
    int fd = ::open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
    int failure = fd < 0 ? errno : 0;
    if (failure == 0 && !WriteAllBytes(fd, content))
        failure = errno;
    if (failure == 0 && ::fsync(fd) != 0)
        failure = errno;
    if (fd >= 0 && ::close(fd) != 0 && failure == 0)
        failure = errno;
    if (failure != 0)
        throw FileError("Cannot write file \"" + path + "\". " + std::strerror(failure), failure);
}

} // namespace

Spool::Spool(std::string folder)
    : folder_(std::move(folder))
{
}

std::string Spool::Add(const std::vector<std::string>& lines) const
{
    // The lines are written under a name outside the mask first, so that no
    // half-written file is ever taken for a spooled message, and then renamed
    // over the new empty "_MV" file.
    const std::string staging = CreateUniqueFile(folder_, ".spool");
    const std::string path = [&] {
        try {
            WriteFileDurably(staging, JoinLinesCrLf(lines));
            return CreateUniqueFile(folder_, "_MV");
        } catch (...) {
            ::unlink(staging.c_str());
            throw;
        }
    }();
    if (std::rename(staging.c_str(), path.c_str()) != 0) {
        int failure = errno;
        ::unlink(staging.c_str());
        ::unlink(path.c_str());
        throw FileError("Cannot write file \"" + path + "\". " + std::strerror(failure), failure);
    }
    SyncFolderOf(path);
    return path;
}

std::vector<std::string> Spool::Files() const
{
    std::vector<std::string> paths;
    for (const std::string& name : PlainFilesMatching(folder_, Mask))
        paths.push_back(folder_ + name);
    return paths;
}

void Spool::Clear() const
{
    DeleteMatchingFiles(folder_, Mask);
}

} // namespace morvanta
