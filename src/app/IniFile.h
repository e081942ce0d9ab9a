#pragma once

#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

// A settings file could not be written.
class IniFileError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An ini file read and written by the rules of Windows private-profile files:
// "[section]" lines and "key=value" lines; section and key names match
// without regard to letter case; the first section of a name and the first
// key of a name in it count; blanks around names and values are dropped, and
// so is one pair of quotes around a value; a value is at most 2047
// characters; a line without "=" gives no value.
class IniFile {
public:
    static constexpr size_t MaxValueLength = 2047;

    explicit IniFile(std::string path);
    // The file's content is given rather than read; writing still goes to the path.
    IniFile(std::string path, std::string_view content);

    [[nodiscard]] const std::string& FileName() const { return path_; }

    [[nodiscard]] std::string ReadString(const std::string& section, const std::string& key,
                                         const std::string& defaultValue) const;

    // A decimal number or "0x" followed by hexadecimal digits; anything else,
    // or a missing key, gives the default.
    [[nodiscard]] int ReadInteger(const std::string& section, const std::string& key, int defaultValue) const;

    // Stored as an integer: 0 is false, any other number true.
    [[nodiscard]] bool ReadBool(const std::string& section, const std::string& key, bool defaultValue) const;

    // Changes or adds the key and writes the whole file anew. Throws
    // IniFileError("Unable to write to " + path) when that fails.
    void WriteString(const std::string& section, const std::string& key, const std::string& value);

    // The text to put after "key=" so that ReadString gives the value back
    // unchanged (a value with blanks at its ends is put in quotes).
    [[nodiscard]] static std::string FormatValue(const std::string& value);

    // Parses the text of a number as the profile reader does; false when it
    // is not one.
    [[nodiscard]] static bool ParseInteger(const std::string& text, int& value);

private:
    void Load();
    void Parse(std::string_view content);
    [[nodiscard]] bool FindValue(const std::string& section, const std::string& key, std::string& value) const;

    std::string path_;
    std::vector<std::string> lines_;
};

} // namespace morvanta
