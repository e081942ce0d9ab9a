#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <unordered_set>
#include <vector>

namespace morvanta {

// The names of the plain files of the folder (which ends with "/") whose
// names match the mask of MatchesMask, in the order the folder listing gives
// them. Hidden files count; folders do not. An unreadable or missing folder
// has none.
[[nodiscard]] std::vector<std::string> PlainFilesMatching(const std::string& folder, const std::string& mask);

// The folder of saved messages a bulk run works through. Every plain file is
// one message, whatever its name. The run takes each file once: a file that
// is still there after its turn (because it could not be reported, spooled
// or deleted) is not taken again by the same run.
class BulkFolder {
public:
    explicit BulkFolder(std::string folder);

    // The next plain file in listing order that the run has not taken yet,
    // now taken; nothing when there is none. The folder is listed once for
    // a whole batch of files (listing a large folder anew for every file
    // would cost more than reporting it) and listed again when the batch is
    // done, so files added during the run are found too.
    [[nodiscard]] std::optional<std::string> TakeNextFile();

    // The folder, with a trailing "/".
    [[nodiscard]] const std::string& Path() const { return folder_; }

private:
    std::string folder_;
    std::unordered_set<std::string> taken_;
    std::vector<std::string> batch_;
    size_t next_ = 0;
};

} // namespace morvanta
