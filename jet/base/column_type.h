// Column type codes as stored in table definitions. They are the same
// numbers as the engine interface's field type codes.
#ifndef MDBCARE_JET_BASE_COLUMN_TYPE_H_
#define MDBCARE_JET_BASE_COLUMN_TYPE_H_

#include <cstdint>

namespace jet {

enum class ColumnType : uint8_t {
  kBoolean = 0x01,   // kept in the null mask, no data bytes
  kByte = 0x02,      // 1 byte
  kInteger = 0x03,   // 2 bytes, signed
  kLong = 0x04,      // 4 bytes, signed
  kCurrency = 0x05,  // 8 bytes, signed, units of 1/10000
  kSingle = 0x06,    // 4 bytes IEEE
  kDouble = 0x07,    // 8 bytes IEEE
  kDateTime = 0x08,  // 8 bytes IEEE, days since 1899-12-30
  kBinary = 0x09,    // up to 255 bytes
  kText = 0x0A,      // up to 255 characters
  kOle = 0x0B,       // long binary, long-value reference
  kMemo = 0x0C,      // long text, long-value reference
  kGuid = 0x0F,      // 16 bytes (replication id)
  kNumeric = 0x10,   // 17 bytes fixed-point decimal, Jet 4
};

// Whether values of the type are long values (12-byte references).
inline bool IsLongValueType(uint8_t type) {
  return type == static_cast<uint8_t>(ColumnType::kOle) ||
         type == static_cast<uint8_t>(ColumnType::kMemo);
}

}  // namespace jet

#endif  // MDBCARE_JET_BASE_COLUMN_TYPE_H_
