#include "net/NetError.h"

#include <utility>

namespace morvanta {

namespace {

constexpr int HostNotFound = 11001;

// The Windows Sockets texts, from 10004 to 10066.
constexpr std::pair<int, const char*> SocketErrorTexts[] = {
    { 10004, "Interrupted system call." },
    { 10009, "Bad file number." },
    { 10013, "Access denied." },
    { 10014, "Buffer fault." },
    { 10022, "Invalid argument." },
    { 10024, "Too many open files." },
    { 10035, "Operation would block." },
    { 10036, "Operation now in progress." },
    { 10037, "Operation already in progress." },
    { 10038, "Socket operation on non-socket." },
    { 10039, "Destination address required." },
    { 10040, "Message too long." },
    { 10041, "Protocol wrong type for socket." },
    { 10042, "Bad protocol option." },
    { 10043, "Protocol not supported." },
    { 10044, "Socket type not supported." },
    { 10045, "Operation not supported on socket." },
    { 10046, "Protocol family not supported." },
    { 10047, "Address family not supported by protocol family." },
    { 10048, "Address already in use." },
    { 10049, "Cannot assign requested address." },
    { 10050, "Network is down." },
    { 10051, "Network is unreachable." },
    { 10052, "Net dropped connection or reset." },
    { 10053, "Software caused connection abort." },
    { 10054, "Connection reset by peer." },
    { 10055, "No buffer space available." },
    { 10056, "Socket is already connected." },
    { 10057, "Socket is not connected." },
    { 10058, "Cannot send or receive after socket is closed." },
    { 10059, "Too many references, cannot splice." },
    { 10060, "Connection timed out." },
    { 10061, "Connection refused." },
    { 10062, "Too many levels of symbolic links." },
    { 10063, "File name too long." },
    { 10064, "Host is down." },
    { 10065, "No route to host." },
    { 10066, "Directory not empty" },
    { HostNotFound, "Host not found." },
};

} // namespace

std::string SocketErrorText(int code)
{
    for (const auto& [number, text] : SocketErrorTexts) {
        if (number == code)
            return text;
    }
    return {};
}

std::string SocketErrorMessage(int code)
{
    return "Socket Error # " + std::to_string(code) + "\r\n" + SocketErrorText(code);
}

SocketError::SocketError(int code)
    : NetError(SocketErrorMessage(code))
    , code_(code)
{
}

std::string DurationText(int64_t milliseconds)
{
    std::string text = std::to_string(milliseconds / 1000);
    if (int64_t fraction = milliseconds % 1000; fraction != 0) {
        std::string digits = std::to_string(1000 + fraction).substr(1);
        digits.erase(digits.find_last_not_of('0') + 1);
        text += "." + digits;
    }
    return text + (milliseconds == 1000 ? " second" : " seconds");
}

WriteTimeoutError::WriteTimeoutError(const std::string& host, int64_t timeoutMs)
    : NetTimeoutError("Write Timeout: the server " + host + " took no data for " + DurationText(timeoutMs) + ".")
{
}

ConversationTimeoutError::ConversationTimeoutError(const std::string& host, int64_t limitMs)
    : NetTimeoutError("Conversation Timeout: the server " + host + " did not finish within " + DurationText(limitMs)
                      + ".")
{
}

ReplyTooLongError::ReplyTooLongError(const std::string& host, size_t maxLines, size_t maxBytes)
    : NetError("The server " + host + " sent a reply of more than " + std::to_string(maxLines) + " lines or "
               + std::to_string(maxBytes) + " bytes; the connection was closed.")
{
}

void RaiseSocketError(int code)
{
    if (code == 10038)
        throw NotASocketError();
    throw SocketError(code);
}

} // namespace morvanta
