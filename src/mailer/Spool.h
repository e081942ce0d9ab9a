#pragma once

#include <string>
#include <vector>

namespace morvanta {

// The folder "UnProcessableSpam/" of the program folder: one "_MV" file per
// message that could not be reported, kept until a forward of them succeeds.
class Spool {
public:
    // The folder ends with "/".
    explicit Spool(std::string folder);

    static constexpr const char* Mask = "_MV*.*";

    // Saves the lines, each followed by CR LF, as a new "_MV" file and
    // returns its path. The file holds the whole message or does not exist
    // under that name. Throws FileError.
    std::string Add(const std::vector<std::string>& lines) const;

    // The full paths of the spool files, in listing order.
    [[nodiscard]] std::vector<std::string> Files() const;

    // Deletes every spool file, including any that were not forwarded.
    void Clear() const;

    [[nodiscard]] const std::string& Folder() const { return folder_; }

private:
    std::string folder_;
};

} // namespace morvanta
