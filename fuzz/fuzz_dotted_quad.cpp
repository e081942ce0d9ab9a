// The dotted-quad and quoted-field routines over any text.
#include "analysis/DottedQuad.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text = AsText(data, size);
    (void)morvanta::ExtractDottedQuad(text);
    (void)morvanta::IsDottedQuad(text);
    if (!text.empty()) {
        const char separator = text.front();
        for (int index = 0; index < 4; ++index)
            (void)morvanta::GetQuotedField(text.substr(1), separator, index);
    }
    (void)morvanta::GetQuotedField(text, ',', 1000000);
    return 0;
}
