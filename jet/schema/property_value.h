// The value of one object property (see property_map.h) as stored: a type
// byte with the column type codes, and value bytes whose length is stored
// with them. The length does not always follow the type: Access writes the
// Integer properties ColumnWidth and ColumnOrder with 4 bytes, the Yes/No
// properties TotalsRow and HideNewField with 4 bytes, and Yes/No values as
// 00, 01 or FF. So a value is read by its type and its length:
//
//   Yes/No, Byte,    1 byte: bool for 00 / 01 under Yes/No, else uint8_t;
//   Integer, Long    2 bytes: int16_t; 4 bytes: int32_t; whatever the type
//                    of the four says
//   Currency         8 bytes: Currency
//   Single           4 bytes: float
//   Double           8 bytes: double
//   Date/time        8 bytes: DateTime
//   Text, Memo       Jet 4 UCS-2 (never compressed here), Jet 3 the
//                    database's code page: std::string
//   GUID             16 bytes: Guid
//   anything else    Binary (Binary and OLE always; the GUID property is
//                    stored as 16 bytes of type Binary)
//
// A value whose bytes would not come back exactly from the value read
// (another length, a NaN, text that does not convert both ways) is kept as
// Binary holding the stored bytes, so that every stored value is written
// back byte for byte.
#ifndef MDBCARE_JET_SCHEMA_PROPERTY_VALUE_H_
#define MDBCARE_JET_SCHEMA_PROPERTY_VALUE_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"
#include "jet/base/value.h"

namespace jet {

// How property text is stored: UCS-2 in Jet 4, the code page in Jet 3.
struct PropertyTextFormat {
  JetVersion version = JetVersion::kJet4;
  uint16_t code_page = 0;  // Jet 3 only; 0 means 1252
  bool operator==(const PropertyTextFormat&) const = default;
};

// Names (property names, column names) as the property blobs store them.
std::string DecodePropertyText(ByteView bytes,
                               const PropertyTextFormat& format);
std::vector<uint8_t> EncodePropertyText(const std::string& text,
                                        const PropertyTextFormat& format);

// Reads a stored value by its type and length (see above). Never fails:
// bytes with no better reading become Binary.
Value DecodePropertyValue(uint8_t type, ByteView bytes,
                          const PropertyTextFormat& format);

// The stored bytes of `value` under `type`. Raises 3421 for a value that
// would not read back as itself under that type (text in a Long property,
// Null, a NUMERIC value, a NaN), so that decoding what this returns always
// gives `value` again.
std::vector<uint8_t> EncodePropertyValue(uint8_t type, const Value& value,
                                         const PropertyTextFormat& format);

// A value read as a Yes/No: bool, or an integer of any width (0 is No,
// anything else Yes: files hold 01 and FF alike for Yes); nullopt for
// anything else.
std::optional<bool> PropertyValueAsBool(const Value& value);

// A value read as text: std::string, nullopt for anything else.
std::optional<std::string> PropertyValueAsText(const Value& value);

}  // namespace jet

#endif  // MDBCARE_JET_SCHEMA_PROPERTY_VALUE_H_
