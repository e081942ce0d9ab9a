#include "tables/TableDef.h"

#include "base/Text.h"
#include "tables/TableError.h"

namespace morvanta {

namespace {

bool IsIdentifier(std::string_view name)
{
    if (name.empty() || (name[0] >= '0' && name[0] <= '9'))
        return false;
    for (char c : name) {
        bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
        if (!letter && !(c >= '0' && c <= '9') && c != '_')
            return false;
    }
    return true;
}

[[noreturn]] void Reject(const TableDef& definition, const std::string& reason)
{
    throw TableError(TableErrorCode::BadDefinition, "Invalid definition of table " + definition.name + ": " + reason);
}

} // namespace

std::optional<size_t> TableDef::FieldIndex(std::string_view fieldName) const
{
    for (size_t i = 0; i < fields.size(); ++i) {
        if (SameText(fields[i].name, fieldName))
            return i;
    }
    return std::nullopt;
}

std::optional<size_t> TableDef::PrimaryKeyIndex() const
{
    if (primaryKey.empty())
        return std::nullopt;
    return FieldIndex(primaryKey);
}

void ValidateTableDef(const TableDef& definition)
{
    if (!IsIdentifier(definition.name) || SameText(definition.name.substr(0, 7), "sqlite_")
        || SameText(definition.name.substr(0, 9), "morvanta_"))
        Reject(definition, "the name is not a plain identifier");
    if (definition.fields.empty())
        Reject(definition, "no fields");
    for (size_t i = 0; i < definition.fields.size(); ++i) {
        const auto& field = definition.fields[i];
        if (!IsIdentifier(field.name))
            Reject(definition, "field name \"" + field.name + "\" is not a plain identifier");
        if (definition.FieldIndex(field.name) != i)
            Reject(definition, "field " + field.name + " is given twice");
    }
    if (!definition.primaryKey.empty()) {
        auto key = definition.PrimaryKeyIndex();
        if (!key)
            Reject(definition, "the primary key " + definition.primaryKey + " is not one of its fields");
        if (definition.fields[*key].type != FieldType::Text)
            Reject(definition, "the primary key " + definition.primaryKey + " is not a text field");
    }
}

const TableDef& IPListTableDef()
{
    static const TableDef definition {
        "IPList",
        {
            { "IP", FieldType::Text },
            { "EMails", FieldType::Text },
            { "LastUpdate", FieldType::Date },
            { "EMails2", FieldType::Text },
            { "LastUpdate2", FieldType::Date },
            { "Reports", FieldType::Integer },
        },
        "IP",
    };
    return definition;
}

const TableDef& IPStatsTableDef()
{
    static const TableDef definition {
        "IPStats",
        {
            { "IP", FieldType::Text },
            { "LookupTime", FieldType::DateTime },
            { "MessageFileIndex", FieldType::Integer },
        },
        "",
    };
    return definition;
}

} // namespace morvanta
