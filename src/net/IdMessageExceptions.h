#pragma once

#include "net/IdException.h"

#include <stdexcept>
#include <string>

// The errors of address parsing and message writing.
namespace morvanta {

// An address text that cannot be taken apart.
class EIdEmailParseError : public EIdException {
public:
    EIdEmailParseError()
        : EIdException("@ Outside address")
    {
    }
};

// The local offset from UTC cannot be told, so no Date header can be written.
class EIdFailedToRetreiveTimeZoneInfo : public EIdException {
public:
    EIdFailedToRetreiveTimeZoneInfo()
        : EIdException("Failed attempting to retrieve time zone information.")
    {
    }
};

// A file that an attachment is read from failed; code() is the errno value.
class EFileStreamError : public std::runtime_error {
public:
    EFileStreamError(const std::string& message, std::string path, int code)
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

class EFOpenError : public EFileStreamError {
public:
    EFOpenError(const std::string& path, int code)
        : EFileStreamError("Cannot open file " + path, path, code)
    {
    }
};

class EReadError : public EFileStreamError {
public:
    EReadError(const std::string& path, int code)
        : EFileStreamError("Cannot read file " + path, path, code)
    {
    }
};

} // namespace morvanta
