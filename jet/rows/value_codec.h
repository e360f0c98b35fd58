// A column's stored bytes turned into a value, by column type:
//   Yes/No     the null mask bit         Byte      1 byte unsigned
//   Integer    2 bytes signed            Long      4 bytes signed
//   Currency   8 bytes signed / 10000    Single    4 bytes IEEE
//   Double     8 bytes IEEE              Date/time 8 bytes IEEE days
//   Binary     the bytes                 Text      Jet 4 UCS-2 (maybe
//   OLE, Memo  a long-value reference              compressed), Jet 3 code page
//   GUID       16 bytes
//   NUMERIC    byte 0 sign (0x80 = negative), then four 32-bit little-endian
//              words of the 128-bit magnitude, most significant word first
// Any other type code reads as the bytes it has.
#ifndef MDBCARE_JET_ROWS_VALUE_CODEC_H_
#define MDBCARE_JET_ROWS_VALUE_CODEC_H_

#include <cstdint>
#include <string_view>

#include "jet/base/format.h"
#include "jet/rows/long_value.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_definition.h"
#include "jet/base/value.h"

namespace jet {

struct ValueContext {
  JetVersion version;
  uint16_t database_code_page;
  const LongValueReader* long_values;
};

// Whether DecodeValue gives Null for `field`, found without reading a long
// value: a Yes/No column is never Null.
inline bool FieldIsNull(const FieldBytes& field,
                        const ColumnDefinition& column) {
  return field.is_null &&
         column.type != static_cast<uint8_t>(ColumnType::kBoolean);
}

Value DecodeValue(const FieldBytes& field, const ColumnDefinition& column,
                  const ValueContext& context);

// Whether DecodeValue can decode the field without raising for its size:
// a number, date, GUID or NUMERIC needs its type's bytes. A long value's
// reference is not followed for it.
bool FieldHasItsSize(const FieldBytes& field, const ColumnDefinition& column);

// Whether the field is a text or memo whose value (as DecodeValue gives it)
// begins or ends with a space: whether trimming it could change it. In a
// fixed-length text column the spaces at the end are the padding, which a
// trimmed value gets again, so they do not count there; a U+0000 at the end
// does (earlier versions of this program padded with it, and the value is
// padded with spaces when written again). Jet 4 text is not decoded for
// it; a memo's stored bytes are read into `scratch`.
bool TextHasOuterSpace(const FieldBytes& field, const ColumnDefinition& column,
                       const ValueContext& context,
                       std::vector<uint8_t>& scratch);
// The same for a value of `column` at hand.
bool TextHasOuterSpace(std::string_view text, const ColumnDefinition& column);
// Whether `text` begins or ends with a space.
bool TextHasOuterSpace(std::string_view text);

// A fixed-length text column (CHAR(n)). Access stores its values in the
// row's fixed area, never compressed, padded with spaces to the column's
// length, and reads them back with the padding.
inline bool IsFixedLengthText(const ColumnDefinition& column) {
  return column.type == static_cast<uint8_t>(ColumnType::kText) &&
         column.is_fixed();
}

// Makes `text` the value a fixed-length text column stores for it: U+0000
// at its end dropped (the padding of earlier versions of this program),
// then spaces added up to the column's length (Jet 4: length / 2 UTF-16
// units; Jet 3: bytes in the column's code page). Other columns' values
// are left as they are.
void PadFixedLengthText(std::string& text, const ColumnDefinition& column,
                        JetVersion version);

// Makes the stored bytes of a fixed-length text whose value ends in U+0000
// (padded by earlier versions of this program) the bytes Access stores for
// it, padded with spaces; returns whether they changed. Other bytes are
// left as they are.
bool RepadFixedLengthText(std::vector<uint8_t>& bytes,
                          const ColumnDefinition& column,
                          const ValueContext& context);

// Whether a memo or OLE field that is not Null holds `value` (a text for a
// memo, bytes for OLE), as DecodeValue would give it. A Jet 4 memo whose
// length differs is told apart without decoding it. The long value is read
// into `scratch`.
bool LongValueEquals(const FieldBytes& field, const ColumnDefinition& column,
                     const Value& value, const ValueContext& context,
                     std::vector<uint8_t>& scratch);

// The stored bytes of a value that already has the column's type (see
// ConvertToColumnType), for every type but memo and OLE, whose references
// the long-value writer makes. Raises 3421 for a value of another type.
FieldData EncodeValue(const Value& value, const ColumnDefinition& column,
                      JetVersion version);

// Text in the column's encoding (Jet 4: compressed where the column asks
// for it and it is shorter).
std::vector<uint8_t> EncodeText(const std::string& text,
                                const ColumnDefinition& column,
                                JetVersion version);

// Text bytes of a text or memo column in the column's encoding.
std::string DecodeText(ByteView bytes, const ColumnDefinition& column,
                       const ValueContext& context);

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_VALUE_CODEC_H_
