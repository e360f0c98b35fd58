#include "maintenance/engine/field_type_code.h"

#include "jet/column_type.h"

namespace dao {

FieldTypeCode FieldTypeCodeOf(uint8_t column_type) {
  if (column_type == static_cast<uint8_t>(jet::ColumnType::kNumeric)) {
    return dbDecimal;
  }
  return static_cast<FieldTypeCode>(column_type);
}

}  // namespace dao
