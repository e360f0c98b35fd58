// The properties of a table read from its catalog row, and the rules among
// them that row writes must keep: Required, AllowZeroLength and
// ValidationRule.
//
// What a missing property means, as the engine acts on it:
//   Required         absent: Null is accepted. Present: Yes refuses Null.
//   AllowZeroLength  absent: "" is accepted. The engine enforces the
//                    property only where it is stored; a text column made
//                    by CREATE TABLE has none and takes "", even though
//                    Access's designer shows it as No. Access's designer
//                    stores it (and Required) for every text and memo
//                    column it saves, so its tables always say. It applies
//                    to text and memo columns only.
//   ValidationRule   absent or blank: no rule.
// Required is only in the properties: the column flags of the table
// definition do not record it (every column of the corpus has 0x02 set,
// Required or not).
#ifndef MDBCARE_JET_DATABASE_TABLE_PROPERTIES_H_
#define MDBCARE_JET_DATABASE_TABLE_PROPERTIES_H_

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "jet/schema/catalog.h"
#include "jet/schema/property_map.h"

namespace jet {

class Database;

// The rules of one column that a row write must keep.
struct ColumnRules {
  bool required = false;          // Null is refused (3314)
  bool allow_zero_length = true;  // "" is accepted (else 3315)
  std::string validation_rule;    // the expression, "" for none
  std::string validation_text;    // the message shown when it fails

  bool has_validation_rule() const;
};

class TableProperties {
 public:
  TableProperties() = default;
  explicit TableProperties(PropertyMap map) : map_(std::move(map)) {}

  const PropertyMap& map() const { return map_; }
  bool empty() const { return map_.empty(); }

  // The table's own properties, nullptr when there are none.
  const PropertyBlock* TableBlock() const { return map_.ObjectBlock(); }
  // The properties of the column named `column` (compared
  // case-insensitively), nullptr when there are none.
  const PropertyBlock* ColumnBlock(std::string_view column) const {
    return map_.FindColumn(column);
  }

  // The property values, with the meaning of absence described above.
  bool Required(std::string_view column) const;
  bool AllowZeroLength(std::string_view column) const;
  // The column's ValidationRule text; nullopt when it has none or only
  // blanks.
  std::optional<std::string> ValidationRule(std::string_view column) const;
  // The table's own (record-level) ValidationRule, likewise.
  std::optional<std::string> TableValidationRule() const;

  ColumnRules RulesFor(std::string_view column) const;

 private:
  PropertyMap map_;
};

// The decoded LvProp of the catalog row whose Id is `object_id` (a table,
// query, form, the database's own MSysDb row, ...). A missing or empty
// LvProp gives an empty map. Raises 3265 when no catalog row has that Id,
// and 3049 for a damaged blob.
PropertyMap ReadObjectProperties(Database& db, int32_t object_id);

// The properties of `table` (an entry of db.catalog()).
TableProperties ReadTableProperties(Database& db, const CatalogEntry& table);

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_TABLE_PROPERTIES_H_
