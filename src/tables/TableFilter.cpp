#include "tables/TableFilter.h"

#include "base/Text.h"
#include "tables/TableError.h"

namespace morvanta {

namespace {

[[noreturn]] void Reject(std::string_view expression, const std::string& reason)
{
    throw TableError(TableErrorCode::BadFilter,
                     "Invalid filter expression '" + std::string(expression) + "': " + reason);
}

bool IsIdentifierChar(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

} // namespace

TableFilter TableFilter::Parse(std::string_view expression, const TableDef& definition)
{
    std::string trimmed = Trim(expression);
    std::string_view rest = trimmed;

    size_t nameEnd = 0;
    while (nameEnd < rest.size() && IsIdentifierChar(rest[nameEnd]))
        ++nameEnd;
    if (nameEnd == 0)
        Reject(expression, "it must begin with a field name");
    std::string_view fieldName = rest.substr(0, nameEnd);
    rest = rest.substr(nameEnd);

    std::string afterName = TrimLeft(rest);
    if (afterName.size() == rest.size())
        Reject(expression, "expected LIKE after the field name");
    if (afterName.size() < 4 || !SameText(std::string_view(afterName).substr(0, 4), "LIKE")
        || (afterName.size() > 4 && IsIdentifierChar(afterName[4])))
        Reject(expression, "the only operator understood is LIKE");
    std::string pattern = TrimLeft(std::string_view(afterName).substr(4));
    if (pattern.size() < 2 || pattern.front() != '"' || pattern.back() != '"')
        Reject(expression, "the pattern must be one double-quoted text ending the expression");
    std::string_view text = std::string_view(pattern).substr(1, pattern.size() - 2);

    TableFilter filter;
    auto field = definition.FieldIndex(fieldName);
    if (!field)
        throw TableError(TableErrorCode::FieldNotFound, "Invalid filter expression '" + std::string(expression)
                                                            + "': table " + definition.name + " has no field "
                                                            + std::string(fieldName));
    if (definition.fields[*field].type != FieldType::Text)
        Reject(expression, "field " + definition.fields[*field].name + " is not a text field");
    filter.fieldIndex_ = *field;

    bool anyStart = !text.empty() && text.front() == '%';
    if (anyStart)
        text.remove_prefix(1);
    bool anyEnd = !text.empty() && text.back() == '%';
    if (anyEnd)
        text.remove_suffix(1);
    filter.kind_ = anyStart ? (anyEnd ? Kind::Contains : Kind::EndsWith) : (anyEnd ? Kind::BeginsWith : Kind::Equals);
    filter.text_ = std::string(text);
    return filter;
}

bool TableFilter::Matches(std::string_view fieldText) const
{
    switch (kind_) {
    case Kind::Contains: return fieldText.find(text_) != std::string_view::npos;
    case Kind::BeginsWith: return fieldText.starts_with(text_);
    case Kind::EndsWith: return fieldText.ends_with(text_);
    case Kind::Equals: return fieldText == text_;
    }
    return false;
}

} // namespace morvanta
