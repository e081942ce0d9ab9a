// The source-IP scan over any message, with checks that accept every
// candidate and with checks that hold every candidate reserved.
#include "analysis/SourceIP.h"
#include "base/Text.h"

#include "FuzzSupport.h"

namespace {

class Checks : public morvanta::SourceIpChecks {
public:
    explicit Checks(bool reserved)
        : reserved_(reserved)
    {
    }
    std::string CurrentIP() override { return "192.0.2.1"; }
    bool IsCachedIP(const std::string&) override { return false; }
    bool IsIanaReserved(const std::string&) override { return reserved_; }

private:
    bool reserved_;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> lines = morvanta::SplitLines(AsText(data, size));
    for (bool reserved : { false, true }) {
        Checks checks(reserved);
        (void)morvanta::FindSourceIP(lines, "", checks);
        (void)morvanta::FindSourceIP(lines, "mx.example.org,\"pop, two\"", checks);
    }
    return 0;
}
