// The settings reader over any file content.
#include "app/Config.h"
#include "app/IniFile.h"

#include "FuzzSupport.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    morvanta::IniFile ini("/nonexistent/Morvanta.ini", AsText(data, size));
    for (const morvanta::SettingDef& setting : morvanta::SettingDefs()) {
        const std::string section = *setting.section ? setting.section : "VirusReport.txt";
        (void)ini.ReadString(section, setting.key, setting.defaultText);
        (void)ini.ReadInteger(section, setting.key, setting.defaultNumber);
        (void)ini.ReadBool(section, setting.key, false);
    }
    int number = 0;
    (void)morvanta::IniFile::ParseInteger(std::string(AsText(data, size)), number);
    return 0;
}
