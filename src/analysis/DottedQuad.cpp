#include "analysis/DottedQuad.h"

#include "base/Text.h"

namespace morvanta {

namespace {

[[nodiscard]] inline bool IsDigit(char c)
{
    return static_cast<unsigned char>(c - '0') <= 9;
}

} // namespace

std::string ExtractDottedQuad(std::string_view text)
{
    const char* const data = text.data();
    const size_t size = text.size();
    size_t i = 0;
    while (i < size) {
        // Between runs every character other than a digit only starts the
        // scan afresh, so skip straight to the next digit.
        while (i < size && !IsDigit(data[i]))
            ++i;
        if (i == size)
            break;

        const size_t start = i;
        size_t dots = 0;
        for (;;) {
            while (i < size && IsDigit(data[i]))
                ++i;
            if (i < size && data[i] == '.') {
                ++dots;
                ++i;
                if (i < size && IsDigit(data[i]))
                    continue;
                // A dot not followed by a digit leaves an empty group, which
                // spoils the run; a second dot is consumed with it.
                break;
            }
            if (dots == 3)
                return std::string(text.substr(start, i - start));
            break;
        }
    }
    return {};
}

bool IsDottedQuad(std::string_view text)
{
    if (text.size() < 7)
        return false;
    size_t i = 0;
    for (int group = 0; group < 4; ++group) {
        if (group > 0) {
            if (i >= text.size() || text[i] != '.')
                return false;
            ++i;
        }
        const size_t groupStart = i;
        while (i < text.size() && IsDigit(text[i]))
            ++i;
        if (i == groupStart)
            return false;
    }
    return i == text.size();
}

std::string GetQuotedField(std::string_view line, char separator, int index)
{
    const size_t size = line.size();
    size_t i = 0;
    int count = 0;
    bool quoted = false;
    while (i < size && count < index) {
        if (line[i] == '"') {
            if (i + 1 < size && line[i + 1] == '"')
                ++i;
            else
                quoted = !quoted;
        }
        if (line[i] == separator && !quoted)
            ++count;
        ++i;
    }

    std::string field;
    quoted = false;
    while (i < size && (line[i] != separator || quoted)) {
        if (line[i] == '"') {
            if (i + 1 < size && line[i + 1] == '"')
                ++i;
            else
                quoted = !quoted;
        }
        field += line[i];
        ++i;
    }

    if (!field.empty() && field.front() == '"' && field.back() == '"')
        field = field.size() >= 2 ? field.substr(1, field.size() - 2) : std::string();
    return Trim(field);
}

} // namespace morvanta
