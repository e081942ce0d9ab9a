// The recognisers of a registry's designated abuse mailbox, and the
// special-purpose address table, over any answer text.
#include "analysis/AbuseMailbox.h"
#include "analysis/AddressKind.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text = AsText(data, size);
    (void)morvanta::DesignatedAbuseMailboxes(text);
    (void)morvanta::ClassifyIPv4(text.substr(0, 64));
    return 0;
}
