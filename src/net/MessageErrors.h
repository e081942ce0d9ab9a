#pragma once

#include "net/NetError.h"

#include <stdexcept>
#include <string>

// The errors of address parsing and message writing.
namespace morvanta {

// An address text that cannot be taken apart.
class EmailParseError : public NetError {
public:
    EmailParseError()
        : NetError("@ Outside address")
    {
    }
};

// The local offset from UTC cannot be told, so no Date header can be written.
class TimeZoneInfoError : public NetError {
public:
    TimeZoneInfoError()
        : NetError("Failed attempting to retrieve time zone information.")
    {
    }
};

// A file that an attachment is read from failed; code() is the errno value.
class FileStreamError : public std::runtime_error {
public:
    FileStreamError(const std::string& message, std::string path, int code)
        : std::runtime_error(message)
        , path_(std::move(path))
        , code_(code)
    {
    }

    [[nodiscard]] const std::string& path() const { return path_; }
    [[nodiscard]] int code() const { return code_; }

private:
    std::string path_;
    int code_;
};

class FileOpenError : public FileStreamError {
public:
    FileOpenError(const std::string& path, int code)
        : FileStreamError("Cannot open file " + path, path, code)
    {
    }

protected:
    FileOpenError(const std::string& message, const std::string& path, int code)
        : FileStreamError(message, path, code)
    {
    }
};

// An attachment path that names a folder, a named pipe, a device or a
// socket: reading it could block for ever or never end, so it is refused.
// code() is EISDIR for a folder and EINVAL for the others.
class NotARegularFileError : public FileOpenError {
public:
    // kind: "a folder", "a named pipe (FIFO)", ...
    NotARegularFileError(const std::string& path, const std::string& kind, int code)
        : FileOpenError("Cannot open file " + path + ": it is " + kind + ", not a regular file.", path, code)
    {
    }
};

class FileReadError : public FileStreamError {
public:
    FileReadError(const std::string& path, int code)
        : FileStreamError("Cannot read file " + path, path, code)
    {
    }
};

} // namespace morvanta
