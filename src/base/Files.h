#pragma once

#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

// Whole files and folders: one place for reading a file, replacing one
// without ever leaving it half written, and telling what exists.
namespace morvanta {

// A file that exists but cannot be read, or cannot be created or written.
// Carries the errno value of the failing call.
class FileError : public std::runtime_error {
public:
    FileError(const std::string& message, int errorCode)
        : std::runtime_error(message)
        , errorCode_(errorCode)
    {
    }
    [[nodiscard]] int code() const { return errorCode_; }

private:
    int errorCode_;
};

// Something, a file that is not a folder, a folder.
[[nodiscard]] bool PathExists(const std::string& path);
[[nodiscard]] bool FileExists(const std::string& path);
[[nodiscard]] bool DirectoryExists(const std::string& path);

// Creates the folder and any missing parents; true when it exists afterwards.
bool ForceDirectories(const std::string& folder);

// Appends a "/" unless the text already ends with one (an empty text stays empty).
[[nodiscard]] std::string IncludeTrailingPathDelimiter(const std::string& folder);

// The whole content of the file, or nothing when it does not exist. Throws
// FileError when it exists but cannot be read.
[[nodiscard]] std::optional<std::string> ReadWholeFile(const std::string& path);

// Gives the file the content: a new file is written beside it, flushed to
// disk and renamed over it, and the folder is flushed, so that after a crash
// or a full disk the file holds either the old content or the new. The
// file's permissions are kept, and a symbolic link keeps pointing at it.
// Throws FileError, leaving the old file as it was.
void ReplaceFileContent(const std::string& path, std::string_view content);

// Writes the content into the file the path names, which must exist, in
// place of what it held, and flushes it to disk. Throws FileError.
void WriteFileDurably(const std::string& path, std::string_view content);

// A new, empty file in the folder (which ends with "/") named the prefix, a
// hexadecimal number and ".tmp", created so that no other file of that name
// can exist before it. Returns its full path; throws FileError.
[[nodiscard]] std::string CreateUniqueFile(const std::string& folder, const std::string& prefix);

// Moves the file (which must lie on the folder's file system) to a new name
// in the folder, chosen as CreateUniqueFile chooses one. The name appears
// with the file's whole content in one step and never replaces another
// file; only where the file system cannot rename without replacing does an
// empty file reserve the name first. Returns the new full path; throws
// FileError, leaving the file where it was.
[[nodiscard]] std::string MoveUnderUniqueName(const std::string& existing, const std::string& folder,
                                              const std::string& prefix);

// Writes all of the bytes to the descriptor; false with errno set on failure.
[[nodiscard]] bool WriteAllBytes(int fd, std::string_view bytes);

// Flushes the folder entry of the path to disk (after a rename or a new file).
void SyncFolderOf(const std::string& path);

} // namespace morvanta
