#include "app/IniFile.h"

#include "base/Files.h"

#include "base/Text.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdint>
#include <fstream>
#include <iterator>

namespace morvanta {

namespace {

// "[name]"; a line that opens a bracket without closing it is no section.
bool IsSectionLine(const std::string& trimmed)
{
    return !trimmed.empty() && trimmed.front() == '[' && trimmed.find(']') != std::string::npos;
}

std::string SectionName(const std::string& trimmed)
{
    size_t close = trimmed.rfind(']');
    return TrimSpacesAndTabs(trimmed.substr(1, close - 1));
}

// Splits a key line; false when it holds no "=".
bool SplitKeyLine(const std::string& line, std::string& key, std::string& value)
{
    size_t equals = line.find('=');
    if (equals == std::string::npos)
        return false;
    key = TrimSpacesAndTabs(line.substr(0, equals));
    value = TrimSpacesAndTabs(line.substr(equals + 1));
    return true;
}

std::string Unquote(std::string value)
{
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front())
        return value.substr(1, value.size() - 2);
    return value;
}

} // namespace

std::string IniFile::FormatValue(const std::string& value)
{
    if (value.empty())
        return value;
    bool blankAtEdge = value.front() == ' ' || value.front() == '\t' || value.back() == ' ' || value.back() == '\t';
    bool quotedAlready
        = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') && value.back() == value.front();
    if (blankAtEdge || quotedAlready)
        return '"' + value + '"';
    return value;
}

namespace {

int HexDigit(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

} // namespace

IniFile::IniFile(std::string path)
    : path_(std::move(path))
{
    Load();
}

IniFile::IniFile(std::string path, std::string_view content)
    : path_(std::move(path))
{
    Parse(content);
}

void IniFile::Load()
{
    lines_.clear();
    // A settings file that cannot be read gives the defaults, as a missing one does.
    std::string content;
    try {
        content = ReadWholeFile(path_).value_or(std::string());
    } catch (const FileError&) {
        return;
    }
    Parse(content);
}

void IniFile::Parse(std::string_view content)
{
    if (content.substr(0, 3) == "\xEF\xBB\xBF")
        content.remove_prefix(3);
    lines_ = SplitLines(content);
}

bool IniFile::FindValue(const std::string& section, const std::string& key, std::string& value) const
{
    bool inSection = false;
    for (const auto& line : lines_) {
        std::string trimmed = TrimSpacesAndTabs(line);
        if (IsSectionLine(trimmed)) {
            if (inSection)
                return false; // only the first section of the name counts
            inSection = SameText(SectionName(trimmed), section);
            continue;
        }
        if (!inSection)
            continue;
        std::string lineKey;
        std::string lineValue;
        if (!SplitKeyLine(trimmed, lineKey, lineValue)) {
            if (SameText(trimmed, key))
                return false; // a key without "=" has no value
            continue;
        }
        if (SameText(lineKey, key)) {
            value = Unquote(lineValue);
            size_t nul = value.find('\0');
            if (nul != std::string::npos)
                value.resize(nul);
            if (value.size() > MaxValueLength)
                value.resize(MaxValueLength);
            return true;
        }
    }
    return false;
}

std::string IniFile::ReadString(const std::string& section, const std::string& key,
                                const std::string& defaultValue) const
{
    std::string value;
    if (FindValue(section, key, value))
        return value;
    return defaultValue;
}

bool IniFile::ParseInteger(const std::string& text, int& value)
{
    size_t i = 0;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
        negative = text[i] == '-';
        ++i;
    }
    bool hex = false;
    if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
        hex = true;
        i += 2;
    } else if (i < text.size() && text[i] == '$') {
        hex = true;
        ++i;
    }
    if (i >= text.size())
        return false;
    uint64_t magnitude = 0;
    for (; i < text.size(); ++i) {
        int digit = hex ? HexDigit(text[i]) : (text[i] >= '0' && text[i] <= '9' ? text[i] - '0' : -1);
        if (digit < 0)
            return false;
        magnitude = magnitude * (hex ? 16 : 10) + static_cast<uint64_t>(digit);
        if (magnitude > 0xFFFFFFFFull)
            return false;
    }
    int64_t result;
    if (hex) {
        // Hexadecimal digits give the 32-bit pattern, so 0xFFFFFFFF is -1.
        result = static_cast<int32_t>(static_cast<uint32_t>(magnitude));
    } else {
        if (magnitude > (negative ? 2147483648ull : 2147483647ull))
            return false;
        result = static_cast<int64_t>(magnitude);
    }
    if (negative)
        result = -result;
    if (result < INT_MIN || result > INT_MAX)
        return false;
    value = static_cast<int>(result);
    return true;
}

int IniFile::ReadInteger(const std::string& section, const std::string& key, int defaultValue) const
{
    int value = defaultValue;
    std::string text = ReadString(section, key, "");
    if (!text.empty() && ParseInteger(text, value))
        return value;
    return defaultValue;
}

bool IniFile::ReadBool(const std::string& section, const std::string& key, bool defaultValue) const
{
    return ReadInteger(section, key, defaultValue ? 1 : 0) != 0;
}

void IniFile::WriteString(const std::string& section, const std::string& key, const std::string& value)
{
    const std::string failure = "Unable to write to " + path_;
    // A line break or a NUL byte in a name or value would split the file's
    // lines and change other settings when read back.
    for (const std::string* part : { &section, &key, &value }) {
        if (part->find_first_of(std::string("\r\n\0", 3)) != std::string::npos)
            throw IniFileError(failure);
    }
    if (section.find(']') != std::string::npos || key.find('=') != std::string::npos || TrimSpacesAndTabs(key).empty())
        throw IniFileError(failure);

    Load();
    std::string newLine = key + "=" + FormatValue(value);

    size_t sectionStart = lines_.size(); // index of the section line
    size_t insertAt = lines_.size(); // after the last non-empty line of the section
    bool replaced = false;
    bool inSection = false;
    for (size_t i = 0; i < lines_.size(); ++i) {
        std::string trimmed = TrimSpacesAndTabs(lines_[i]);
        if (IsSectionLine(trimmed)) {
            if (inSection)
                break;
            if (SameText(SectionName(trimmed), section)) {
                inSection = true;
                sectionStart = i;
                insertAt = i + 1;
            }
            continue;
        }
        if (!inSection)
            continue;
        std::string lineKey;
        std::string lineValue;
        bool hasValue = SplitKeyLine(trimmed, lineKey, lineValue);
        if ((hasValue && SameText(lineKey, key)) || (!hasValue && SameText(trimmed, key))) {
            lines_[i] = newLine;
            replaced = true;
            break;
        }
        if (!trimmed.empty())
            insertAt = i + 1;
    }
    if (!replaced) {
        if (sectionStart < lines_.size()) {
            lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(insertAt), newLine);
        } else {
            if (!lines_.empty() && !TrimSpacesAndTabs(lines_.back()).empty())
                lines_.emplace_back();
            lines_.push_back("[" + section + "]");
            lines_.push_back(newLine);
        }
    }
    try {
        ReplaceFileContent(path_, JoinLinesCrLf(lines_));
    } catch (const FileError&) {
        throw IniFileError(failure);
    }
}

} // namespace morvanta
