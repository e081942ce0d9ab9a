#pragma once

#include "tables/TableValue.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace morvanta {

struct FieldDef {
    std::string name;
    FieldType type = FieldType::Text;
};

// What a table holds: its fields in order (rows are appended by giving all
// values in this order, so the order is part of the format) and the text
// field whose values are the primary index key, if any.
struct TableDef {
    std::string name;
    std::vector<FieldDef> fields;
    std::string primaryKey;

    // The position of the field, names matched ignoring the letter case of A to Z.
    [[nodiscard]] std::optional<size_t> FieldIndex(std::string_view fieldName) const;
    [[nodiscard]] std::optional<size_t> PrimaryKeyIndex() const;
};

// Throws TableError(BadDefinition) unless the table and field names
// are plain identifiers (letters, digits and "_", not starting with a digit
// or "sqlite_"), no two fields share a name ignoring case, and the primary
// key, when given, names a text field.
void ValidateTableDef(const TableDef& definition);

// The contact cache: one row per IP address, keyed by IP.
[[nodiscard]] const TableDef& IPListTableDef();
// The look-up statistics: one row per look-up, no key.
[[nodiscard]] const TableDef& IPStatsTableDef();

} // namespace morvanta
