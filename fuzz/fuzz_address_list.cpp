// The address-list parser and the header forms written back from it.
#include "net/EmailAddress.h"
#include "net/HeaderCoding.h"
#include "net/NetError.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    morvanta::EmailAddressList list;
    try {
        list.SetAddressListText(AsText(data, size));
    } catch (const morvanta::NetError&) {
        // A text that cannot be taken apart is refused; what was parsed stays.
    }
    (void)list.AddressListText();
    const morvanta::HeaderCoding coding = morvanta::ChooseHeaderCoding("en_US", "UTF-8");
    (void)morvanta::EncodeAddress(list, morvanta::AddressAsName::Off, coding);
    (void)morvanta::EncodeAddress(list, morvanta::AddressAsName::On, coding);
    return 0;
}
