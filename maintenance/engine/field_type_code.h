// The engine interface's field type codes (DAO's DataTypeEnum). The codes 1
// to 15 are the column type bytes that table definitions store; the one
// exception is Jet 4's fixed-point NUMERIC column (stored type 0x10), which
// the interface reports as dbDecimal (20), as DAO 3.6 does. Code 16 is
// DAO's dbBigInt, a type Jet files cannot hold, so no column reports it.
#ifndef MDBCARE_MAINTENANCE_ENGINE_FIELD_TYPE_CODE_H_
#define MDBCARE_MAINTENANCE_ENGINE_FIELD_TYPE_CODE_H_

#include <cstdint>

#include "jet/base/column_type.h"

namespace dao {

using FieldTypeCode = int16_t;

inline constexpr FieldTypeCode dbBoolean = 1;      // Yes/No
inline constexpr FieldTypeCode dbByte = 2;         // byte
inline constexpr FieldTypeCode dbInteger = 3;      // 16-bit integer
inline constexpr FieldTypeCode dbLong = 4;         // 32-bit integer
inline constexpr FieldTypeCode dbCurrency = 5;     // currency
inline constexpr FieldTypeCode dbSingle = 6;       // single-precision float
inline constexpr FieldTypeCode dbDouble = 7;       // double-precision float
inline constexpr FieldTypeCode dbDate = 8;         // date/time
inline constexpr FieldTypeCode dbBinary = 9;       // fixed binary
inline constexpr FieldTypeCode dbText = 10;        // text
inline constexpr FieldTypeCode dbLongBinary = 11;  // long binary (OLE)
inline constexpr FieldTypeCode dbMemo = 12;        // memo (long text)
inline constexpr FieldTypeCode dbGUID = 15;        // GUID (replication id)
inline constexpr FieldTypeCode dbDecimal = 20;     // NUMERIC, Jet 4 only

// The code of a column whose table definition stores type byte
// `column_type`. Type bytes without an interface name keep their number.
// (Inline: a sweep asks it for every field of every record.)
inline FieldTypeCode FieldTypeCodeOf(uint8_t column_type) {
  if (column_type == static_cast<uint8_t>(jet::ColumnType::kNumeric)) {
    return dbDecimal;
  }
  return static_cast<FieldTypeCode>(column_type);
}

}  // namespace dao

#endif  // MDBCARE_MAINTENANCE_ENGINE_FIELD_TYPE_CODE_H_
