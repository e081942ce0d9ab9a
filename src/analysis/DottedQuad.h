#pragma once

#include <string>
#include <string_view>

// Small byte-wise text routines for IPv4 addresses written as dotted quads
// (four runs of the digits 0 to 9 joined by three dots; the value and the
// length of a run are not limited) and for separated lines with double-quote
// quoting.
namespace morvanta {

// The first run of four digit groups joined by exactly three dots that is
// ended by a character that is neither a digit nor a dot, or by the end of
// the text; empty when there is none. Nothing is required before the run.
[[nodiscard]] std::string ExtractDottedQuad(std::string_view text);

// True when the whole text, untrimmed, is a dotted quad.
[[nodiscard]] bool IsDottedQuad(std::string_view text);

// The field at the position index (from 0) of a line whose fields are split
// by the separator. A field may be written in double quotes, with "" for a
// quote inside them; the quotes around a whole field are removed before the
// field is trimmed. Empty when the line has fewer fields.
[[nodiscard]] std::string GetQuotedField(std::string_view line, char separator, int index);

} // namespace morvanta
