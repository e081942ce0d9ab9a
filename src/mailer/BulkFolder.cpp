#include "mailer/BulkFolder.h"

#include "analysis/TextFiles.h"
#include "base/Files.h"

#include <dirent.h>
#include <sys/stat.h>

#include <memory>
#include <string_view>

namespace morvanta {

namespace {

struct DirCloser {
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

[[nodiscard]] bool IsPlainFile(const std::string& folder, const dirent& entry)
{
    if (entry.d_type == DT_REG)
        return true;
    if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
        return false;
    struct stat info { };
    return ::stat((folder + entry.d_name).c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

// Calls the visitor with the name of every plain file in listing order
// until it returns false.
template <typename Visitor> void VisitPlainFiles(const std::string& folder, Visitor&& visit)
{
    DirHandle dir(opendir(folder.empty() ? "." : folder.c_str()));
    if (!dir)
        return;
    while (const dirent* entry = readdir(dir.get())) {
        std::string_view name = entry->d_name;
        if (name == "." || name == "..")
            continue;
        if (IsPlainFile(folder, *entry) && !visit(std::string(name)))
            return;
    }
}

} // namespace

std::vector<std::string> PlainFilesMatching(const std::string& folder, const std::string& mask)
{
    std::vector<std::string> names;
    VisitPlainFiles(folder, [&](std::string name) {
        if (MatchesMask(name, mask))
            names.push_back(std::move(name));
        return true;
    });
    return names;
}

BulkFolder::BulkFolder(std::string folder)
    : folder_(IncludeTrailingPathDelimiter(std::move(folder)))
{
}

std::optional<std::string> BulkFolder::TakeNextFile()
{
    for (int listing = 0; listing < 2; ++listing) {
        while (next_ < batch_.size()) {
            std::string& name = batch_[next_++];
            // Taken by an earlier batch, or gone since the listing.
            if (taken_.count(name) != 0 || !FileExists(folder_ + name))
                continue;
            taken_.insert(name);
            return std::move(name);
        }
        if (listing == 1)
            break;
        batch_.clear();
        next_ = 0;
        VisitPlainFiles(folder_, [&](std::string name) {
            if (taken_.count(name) == 0)
                batch_.push_back(std::move(name));
            return true;
        });
    }
    batch_.clear();
    next_ = 0;
    return std::nullopt;
}

} // namespace morvanta
