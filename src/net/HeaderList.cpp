#include "net/HeaderList.h"

#include "base/Text.h"

#include <algorithm>

namespace morvanta {

namespace {

bool IsContinuation(std::string_view line)
{
    return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

bool IsFoldPoint(char c)
{
    return c == ' ' || c == '\t' || c == ',';
}

bool IsLineBreak(char c)
{
    return c == '\r' || c == '\n';
}

// Dropped after a cut, so a continuation starts with its first real character.
bool IsDroppedAfterCut(char c)
{
    return IsFoldPoint(c) || IsLineBreak(c);
}

bool IsEncodedTextChar(char c)
{
    return c > ' ' && c < 127 && c != '?';
}

// RFC 2047 2: encoded-word = "=?" charset "?" encoding "?" encoded-text "?="
// The end of the encoded word that begins at start, or npos when none does.
std::size_t EncodedWordEnd(std::string_view text, std::size_t start)
{
    if (text.substr(start, 2) != "=?")
        return std::string_view::npos;
    std::size_t i = start + 2;
    while (i < text.size() && IsEncodedTextChar(text[i]))
        ++i;
    if (i == start + 2 || i + 2 >= text.size() || text[i] != '?' || text[i + 2] != '?')
        return std::string_view::npos;
    if (std::string_view("QqBb").find(text[i + 1]) == std::string_view::npos)
        return std::string_view::npos;
    i += 3;
    while (i < text.size() && IsEncodedTextChar(text[i]))
        ++i;
    if (text.substr(i, 2) != "?=")
        return std::string_view::npos;
    return i + 2;
}

bool HasName(std::string_view line, std::string_view name)
{
    return line.size() > name.size() && line[name.size()] == ':' && SameText(line.substr(0, name.size()), name);
}

} // namespace

std::vector<std::string> FoldHeaderLine(std::string_view text, std::size_t width)
{
    // No cut inside a quoted string, nor inside an encoded word: a Q-encoded
    // word may hold a comma (and a double quote), and a reader decodes
    // only whole words.
    std::vector<bool> shielded(text.size(), false);
    bool inQuotes = false;
    for (size_t i = 0; i < text.size(); ++i) {
        if (!inQuotes) {
            if (size_t end = EncodedWordEnd(text, i); end != std::string_view::npos) {
                std::fill(shielded.begin() + static_cast<std::ptrdiff_t>(i),
                          shielded.begin() + static_cast<std::ptrdiff_t>(end), true);
                i = end - 1;
                continue;
            }
        }
        if (text[i] == '"')
            inQuotes = !inQuotes;
        shielded[i] = inQuotes || text[i] == '"';
        // RFC 5322 quoted-pair: an escaped quote does not end the string.
        if (inQuotes && text[i] == '\\' && i + 1 < text.size())
            shielded[++i] = true;
    }

    std::vector<std::string> pieces;
    auto store = [&](std::string_view piece) {
        std::string trimmed = TrimRight(piece);
        if (pieces.empty())
            pieces.push_back(trimmed);
        else if (!trimmed.empty())
            pieces.push_back(" " + trimmed);
    };

    size_t start = 0;
    while (start < text.size()) {
        // A continuation line's leading blank counts towards its width.
        const size_t limit = pieces.empty() ? width : width - 1;
        size_t cut = std::string_view::npos; // end of the piece
        size_t lastFold = std::string_view::npos;
        for (size_t i = start; i < text.size(); ++i) {
            if (IsLineBreak(text[i])) {
                if (i - start > limit && lastFold != std::string_view::npos)
                    cut = lastFold;
                else
                    cut = i;
                break;
            }
            if (i - start >= limit && lastFold != std::string_view::npos) {
                cut = lastFold;
                break;
            }
            if (IsFoldPoint(text[i]) && !shielded[i]) {
                if (i - start >= limit) {
                    cut = i + 1;
                    break;
                }
                lastFold = i + 1;
            }
        }
        if (cut == std::string_view::npos)
            cut = text.size();
        store(text.substr(start, cut - start));
        start = cut;
        while (start < text.size() && IsDroppedAfterCut(text[start]))
            ++start;
    }
    if (pieces.empty())
        pieces.emplace_back();
    return pieces;
}

std::size_t HeaderList::HeaderLength(std::size_t index) const
{
    size_t end = index + 1;
    while (end < lines_.size() && IsContinuation(lines_[end]))
        ++end;
    return end - index;
}

int HeaderList::IndexOfName(std::string_view name) const
{
    for (size_t i = 0; i < lines_.size(); ++i) {
        if (!IsContinuation(lines_[i]) && HasName(lines_[i], name))
            return static_cast<int>(i);
    }
    return -1;
}

std::string HeaderList::Values(std::string_view name) const
{
    int index = IndexOfName(name);
    if (index < 0)
        return {};
    size_t first = static_cast<size_t>(index);
    std::string value = TrimLeft(std::string_view(lines_[first]).substr(name.size() + 1));
    size_t count = HeaderLength(first);
    for (size_t i = first + 1; i < first + count; ++i)
        value += lines_[i];
    return value;
}

void HeaderList::AddStrings(const HeaderList& other)
{
    lines_.insert(lines_.end(), other.lines_.begin(), other.lines_.end());
}

void HeaderList::SetHeaderValue(std::string_view name, std::string_view value)
{
    int found = IndexOfName(name);
    size_t index = found < 0 ? lines_.size() : static_cast<size_t>(found);
    if (found >= 0)
        lines_.erase(lines_.begin() + static_cast<std::ptrdiff_t>(index),
                     lines_.begin() + static_cast<std::ptrdiff_t>(index + HeaderLength(index)));
    if (value.empty())
        return;
    std::string line(name);
    line += ": ";
    line += value;
    std::vector<std::string> pieces = FoldHeaderLine(line);
    lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(index), pieces.begin(), pieces.end());
}

} // namespace morvanta
