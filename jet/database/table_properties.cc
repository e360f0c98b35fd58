#include "jet/database/table_properties.h"

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/rows/table_definition.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

// The text of a property, trimmed of surrounding blanks; nullopt when it is
// absent, not text, or blank.
std::optional<std::string> TrimmedText(const PropertyBlock* block,
                                       std::string_view name) {
  if (!block) return std::nullopt;
  const Property* p = block->Find(name);
  if (!p) return std::nullopt;
  std::optional<std::string> text = PropertyValueAsText(p->value);
  if (!text) return std::nullopt;
  const size_t first = text->find_first_not_of(" \t\r\n");
  if (first == std::string::npos) return std::nullopt;
  const size_t last = text->find_last_not_of(" \t\r\n");
  return text->substr(first, last - first + 1);
}

std::optional<bool> BoolProperty(const PropertyBlock* block,
                                 std::string_view name) {
  if (!block) return std::nullopt;
  const Property* p = block->Find(name);
  if (!p) return std::nullopt;
  return PropertyValueAsBool(p->value);
}

int ColumnIndex(const TableDefinition& def, const char* name) {
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].name == name) return static_cast<int>(i);
  }
  return -1;
}

}  // namespace

bool ColumnRules::has_validation_rule() const {
  return validation_rule.find_first_not_of(" \t\r\n") != std::string::npos;
}

bool TableProperties::Required(std::string_view column) const {
  return BoolProperty(ColumnBlock(column), property_names::kRequired)
      .value_or(false);
}

bool TableProperties::AllowZeroLength(std::string_view column) const {
  return BoolProperty(ColumnBlock(column), property_names::kAllowZeroLength)
      .value_or(true);
}

std::optional<std::string> TableProperties::ValidationRule(
    std::string_view column) const {
  return TrimmedText(ColumnBlock(column), property_names::kValidationRule);
}

std::optional<std::string> TableProperties::TableValidationRule() const {
  return TrimmedText(TableBlock(), property_names::kValidationRule);
}

ColumnRules TableProperties::RulesFor(std::string_view column) const {
  ColumnRules rules;
  rules.required = Required(column);
  rules.allow_zero_length = AllowZeroLength(column);
  rules.validation_rule = ValidationRule(column).value_or("");
  if (!rules.validation_rule.empty()) {
    rules.validation_text =
        TrimmedText(ColumnBlock(column), property_names::kValidationText)
            .value_or("");
  }
  return rules;
}

PropertyMap ReadObjectProperties(Database& db, int32_t object_id) {
  const DatabaseHeader& header = db.header();
  const PropertyTextFormat format{header.version, header.code_page};
  TableDefinition def =
      TableDefinition::Read(db.pager(), header.version, header.code_page,
                            kCatalogTableDefinitionPage);
  const int id_column = ColumnIndex(def, "Id");
  const int props_column = ColumnIndex(def, "LvProp");
  if (id_column < 0) {
    ThrowDamaged("시스템 카탈로그(MSysObjects)에 Id 열이 없습니다");
  }

  const ValueContext context = db.value_context();
  TableScan scan(db.pager(), header.version, def);
  while (scan.Next()) {
    std::vector<FieldBytes> fields = scan.Fields();
    Value id = DecodeValue(fields[id_column], def.columns[id_column], context);
    const int32_t* id_value = std::get_if<int32_t>(&id);
    if (!id_value || *id_value != object_id) continue;
    // The long value is read only for the row asked for.
    if (props_column < 0) return PropertyMap{format, {}, {}};
    Value blob =
        DecodeValue(fields[props_column], def.columns[props_column], context);
    const Binary* bytes = std::get_if<Binary>(&blob);
    if (!bytes) return PropertyMap{format, {}, {}};
    return DecodePropertyMap(ByteView(bytes->data(), bytes->size()), format);
  }
  throw Error(kErrItemNotFound, "카탈로그에 Id " + std::to_string(object_id) +
                                    " 인 개체가 없습니다.");
}

TableProperties ReadTableProperties(Database& db, const CatalogEntry& table) {
  return TableProperties(ReadObjectProperties(db, table.id));
}

}  // namespace jet
