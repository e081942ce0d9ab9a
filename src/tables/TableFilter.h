#pragma once

#include "tables/TableDef.h"

#include <string>
#include <string_view>

namespace morvanta {

// A row filter of the one form the engine understands:
//
//     Field LIKE "pattern"
//
// The field is named ignoring letter case; LIKE is a keyword in any case; the
// pattern is everything between the first double quote after LIKE and the
// double quote that ends the expression. One "%" at the start and one at the
// end of the pattern are wildcards, which gives four kinds of test:
//
//     "%text%"  the field contains text       "text%"  it begins with text
//     "%text"   it ends with text             "text"   it equals text
//
// Everything else in the pattern, including "_", inner "%" and inner double
// quotes, is plain text, so an address such as a_b%c@x.org filters as itself.
// Matching is byte-wise and case-sensitive (the lists the cache filters are
// lower case). A null field matches no filter. Anything else, such as other
// operators, AND/OR, or a text field compared with a number, is rejected.
class TableFilter {
public:
    enum class Kind { Contains, BeginsWith, EndsWith, Equals };

    // Throws TableError(BadFilter) naming the fault, or
    // (FieldNotFound) when the table has no such field, or (BadFilter) when
    // the field is not a text field.
    [[nodiscard]] static TableFilter Parse(std::string_view expression, const TableDef& definition);

    [[nodiscard]] size_t FieldIndex() const { return fieldIndex_; }
    [[nodiscard]] Kind Test() const { return kind_; }
    [[nodiscard]] const std::string& Text() const { return text_; }

    [[nodiscard]] bool Matches(std::string_view fieldText) const;

private:
    size_t fieldIndex_ = 0;
    Kind kind_ = Kind::Contains;
    std::string text_;
};

} // namespace morvanta
