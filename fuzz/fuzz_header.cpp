// Encoded words and header folding over any header text, in a UTF-8 and a
// single-byte locale's coding.
#include "net/HeaderCoding.h"
#include "net/HeaderList.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text = AsText(data, size);
    for (const auto& coding : { morvanta::ChooseHeaderCoding("de_DE", "UTF-8"),
                                morvanta::ChooseHeaderCoding("ja_JP", "UTF-8"),
                                morvanta::ChooseHeaderCoding("C", "ANSI_X3.4-1968") }) {
        std::string encoded = morvanta::EncodeHeader(text, morvanta::AddressNameSpecials, coding);
        (void)morvanta::FoldHeaderLine("Subject: " + encoded);
    }
    (void)morvanta::FoldHeaderLine(text);
    (void)morvanta::FoldHeaderLine(text, 20);
    return 0;
}
