#pragma once

#include "base/Files.h"

#include <string>
#include <string_view>

// Plain text files: written with CR LF line ends, read with CR LF, a lone LF
// or a lone CR as line ends. Paths are full paths.
namespace morvanta {

// Appends the line and CR LF to the file, creating it when missing. When the
// file cannot be opened, written or closed, shows "Could not access " and
// the path, titled "Access Error", and returns false.
bool AppendLineToFile(const std::string& path, std::string_view line);

// The whole file with every line followed by CR LF (a final line without a
// line break gets one); empty when the file does not exist. Throws
// FileError when it exists but cannot be read.
[[nodiscard]] std::string ReadFileText(const std::string& path);

// Rewrites the file sorted with the line added, each line followed by CR LF.
// The order is the collation of the user's locale (from the environment:
// LC_ALL, LC_COLLATE, LANG) on the texts with their letters case-folded;
// when collation ties two different folded texts, their bytes decide, so
// only lines that differ in letter case alone count as equal. Lines equal to
// an earlier one are dropped, and the new line is not added when an equal one
// is there. Lines are stored as given. The file is replaced only once the new
// content is fully written, so a failure leaves the old file as it was;
// failures throw FileError.
void AddLineToSortedFile(const std::string& path, std::string_view line);

// Deletes the entries matching the mask ("*": any run of characters, "?":
// one character; every other character stands for itself and the match is
// case-sensitive). The folder ends with "/"; an empty folder does nothing.
// A deletion that fails is skipped silently, as are folders.
void DeleteMatchingFiles(const std::string& folder, const std::string& mask);

// Whether the whole name matches the mask of DeleteMatchingFiles.
[[nodiscard]] bool MatchesMask(std::string_view name, std::string_view mask);

} // namespace morvanta
