#include "mailer/Spool.h"

#include "analysis/TextFiles.h"
#include "base/Files.h"
#include "base/Text.h"
#include "mailer/BulkFolder.h"

#include <unistd.h>

namespace morvanta {

Spool::Spool(std::string folder)
    : folder_(std::move(folder))
{
}

std::string Spool::Add(const std::vector<std::string>& lines) const
{
    // The lines are written under a name outside the mask first, so that no
    // half-written file is ever taken for a spooled message, and the written
    // file then takes its "_MV" name in one step: no "_MV" file exists
    // before it holds the message, so a program killed at any moment leaves
    // no spool file without one.
    const std::string staging = CreateUniqueFile(folder_, ".spool");
    std::string path;
    try {
        WriteFileDurably(staging, JoinLinesCrLf(lines));
        path = MoveUnderUniqueName(staging, folder_, "_MV");
    } catch (...) {
        ::unlink(staging.c_str());
        throw;
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
