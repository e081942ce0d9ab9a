#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

// Header lines "Name: value". A long header is stored folded: a first line
// and continuation lines that begin with a blank. Names are compared without
// regard to letter case.
class HeaderList {
public:
    // Replaces the header of that name (with its continuation lines) or
    // appends it; an empty value removes it. The new line is folded.
    void SetHeaderValue(std::string_view name, std::string_view value);

    // The value of the first header of that name, continuation lines joined
    // on; empty when there is none.
    [[nodiscard]] std::string Values(std::string_view name) const;

    // Index of the first line of the header of that name, or -1.
    [[nodiscard]] int IndexOfName(std::string_view name) const;

    // Appends a line as it is (a header line or a continuation line).
    void Add(std::string line) { lines_.push_back(std::move(line)); }
    void AddStrings(const HeaderList& other);
    void Clear() { lines_.clear(); }

    [[nodiscard]] const std::vector<std::string>& Lines() const { return lines_; }
    [[nodiscard]] std::size_t Count() const { return lines_.size(); }
    [[nodiscard]] bool Empty() const { return lines_.empty(); }
    [[nodiscard]] const std::string& operator[](std::size_t index) const { return lines_[index]; }

private:
    // The number of lines the header starting at index occupies.
    [[nodiscard]] std::size_t HeaderLength(std::size_t index) const;

    std::vector<std::string> lines_;
};

inline constexpr std::size_t HeaderFoldWidth = 78;

// Cuts a header line into pieces of at most `width` characters where it can:
// after the last blank, TAB or comma outside double quotes and outside RFC
// 2047 encoded words (which are never cut). Every piece after
// the first begins with one blank. A line break inside the text always
// becomes a cut, so no piece holds a CR or LF and the text cannot start a
// header of its own.
[[nodiscard]] std::vector<std::string> FoldHeaderLine(std::string_view line, std::size_t width = HeaderFoldWidth);

} // namespace morvanta
