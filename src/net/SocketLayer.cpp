#include "net/SocketLayer.h"

#include "base/Text.h"
#include "net/SocketCalls.h"

#include <arpa/inet.h>

#include <memory>
#include <mutex>

namespace morvanta {

namespace {

std::mutex& StackLock()
{
    static std::mutex lock;
    return lock;
}

int usageCount = 0;
std::unique_ptr<SocketLayer> stack;

// The decimal value of a field, 256 for any larger one, -1 when the field
// is not a number.
int FieldValue(std::string_view field)
{
    if (field.empty())
        return -1;
    int value = 0;
    for (char c : field) {
        if (c < '0' || c > '9')
            return -1;
        if (value <= 255)
            value = value * 10 + (c - '0');
    }
    return value > 255 ? 256 : value;
}

} // namespace

SocketLayer::SocketLayer()
    : localHostName_(sockets::LocalHostName())
{
}

void SocketLayer::IncUsage()
{
    std::lock_guard guard(StackLock());
    if (usageCount == 0)
        stack.reset(new SocketLayer());
    ++usageCount;
}

void SocketLayer::DecUsage()
{
    std::lock_guard guard(StackLock());
    if (usageCount > 0 && --usageCount == 0)
        stack.reset();
}

int SocketLayer::UsageCount()
{
    std::lock_guard guard(StackLock());
    return usageCount;
}

SocketLayer* SocketLayer::Instance()
{
    std::lock_guard guard(StackLock());
    return stack.get();
}

std::optional<in_addr> ParseNumericAddress(std::string_view text)
{
    uint32_t value = 0;
    for (int index = 0; index < 4; ++index) {
        size_t dot = text.find('.');
        std::string_view field = text.substr(0, dot);
        text = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
        int number = FieldValue(field);
        if (number < 0 || number > 255)
            return std::nullopt;
        value = (value << 8) | static_cast<uint32_t>(number);
    }
    if (!text.empty())
        return std::nullopt;
    in_addr address {};
    address.s_addr = htonl(value);
    return address;
}

bool IsNumericAddress(std::string_view text)
{
    return ParseNumericAddress(text).has_value();
}

std::string ResolveAddress(const std::string& host)
{
    if (SameText(host, "LOCALHOST"))
        return "127.0.0.1";
    if (IsNumericAddress(host))
        return host;
    return sockets::FormatAddress(sockets::LookupFirstIPv4(host));
}

std::string ReverseLookup(const std::string& address)
{
    in_addr value {};
    value.s_addr = inet_addr(address.c_str());
    return sockets::LookupName(value);
}

} // namespace morvanta
