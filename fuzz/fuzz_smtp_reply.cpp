// The SMTP reply parser over any reply lines.
#include "base/Text.h"
#include "net/NetError.h"
#include "net/SmtpReply.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::vector<std::string> lines = morvanta::SplitLines(AsText(data, size));
    for (const std::string& line : lines)
        (void)morvanta::IsEndOfReplyLine(line);
    morvanta::SmtpReply reply;
    try {
        reply.SetFormattedReply(lines);
    } catch (const morvanta::NetError&) {
        // An invalid reply code is refused.
    }
    (void)reply.NumericCode();
    (void)reply.TextWithLineEnds();
    (void)reply.EnhancedCode.ReplyAsStr();
    return 0;
}
