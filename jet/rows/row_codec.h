// Rows of a data page, split into the bytes of each column.
//
// Jet 3 row (offsets from the row's start; "end" = one past its last byte):
//   0                1        column count of the row
//   1                ..       fixed-length columns, at 1 + fixed offset
//   ..                        variable-length column data
//   end-m-1-j-1-v    v+1      variable offset table, 1 byte each, reversed:
//                             entry i (i = 0 nearest the end) is the start
//                             of variable column i; entry v is the end of
//                             the variable data. Each entry adds 256 for
//                             every jump table entry <= i.
//   end-m-1-j        j        jump table, reversed: entry k = the first
//                             offset table index at or past 256 * (k + 1);
//                             j = (row length - 1) / 256, less a trailing
//                             dummy entry where the offsets do not need it
//   end-m-1          1        number of variable columns v in the row
//   end-m            m        null mask, m = (column count + 7) / 8
// Jet 4 row:
//   0                2        column count of the row
//   2                ..       fixed-length columns, at 2 + fixed offset
//   ..                        variable-length column data
//   end-m-2-2(v+1)   2(v+1)   variable offset table, 2 bytes each, reversed,
//                             entry v = the end of the variable data
//   end-m-2          2        number of variable columns v in the row
//   end-m            m        null mask
// A table without variable-length columns stores neither the offset table
// nor v. Null mask bit n (low bit first) belongs to column number n: 1 = a
// value, 0 = Null. A Yes/No column has no data bytes; its bit is its value.
// A column whose number is past the row's column count, or whose variable
// index is past v, is Null in that row (it was added after the row was
// written).
#ifndef MDBCARE_JET_ROWS_ROW_CODEC_H_
#define MDBCARE_JET_ROWS_ROW_CODEC_H_

#include <algorithm>
#include <cstdint>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"
#include "jet/rows/table_definition.h"

namespace jet {

struct FieldBytes {
  bool is_null = true;
  bool bit = false;  // the value of a Yes/No column
  ByteView data;     // the value's bytes (for long values: the reference)
};

// Splits `row` into one FieldBytes per column of `def`, in the order of
// `def.columns`. Raises the damaged-file error where the row's own offsets
// do not fit inside it.
std::vector<FieldBytes> DecodeRow(JetVersion version,
                                  const TableDefinition& def, ByteView row);
// The same into `fields`, whose memory is reused.
void DecodeRow(JetVersion version, const TableDefinition& def, ByteView row,
               std::vector<FieldBytes>& fields);

// The stored bytes of one column for EncodeRow.
struct FieldData {
  bool is_null = true;
  bool bit = false;           // Yes/No value
  std::vector<uint8_t> data;  // fixed or variable bytes (long values: the
                              // reference with any inline data)
};

// Builds a row from one FieldData per column of `def` (same order). The row
// gets the table's full column count; a row shorter than `min_length` is
// padded to exactly that length (between the variable data and the tables
// at the row's end, where readers never look), so that a changed row can
// take the place of a longer one. Raises 3251 for a row that cannot be
// stored (longer than a page allows).
std::vector<uint8_t> EncodeRow(JetVersion version, const TableDefinition& def,
                               const std::vector<FieldData>& fields,
                               size_t min_length = 0);
// The same into `row`, whose memory is reused.
void EncodeRow(JetVersion version, const TableDefinition& def,
               const std::vector<FieldData>& fields, size_t min_length,
               std::vector<uint8_t>& row);
// What EncodeRow needs of a table's columns besides their values, found
// once for a table that writes many rows rather than for each row.
struct RowLayout {
  static constexpr size_t kMaxVariable = 256;
  explicit RowLayout(const TableDefinition& def);
  // Where a variable column's offset goes (indexes past the last are
  // folded onto it).
  static size_t VariableSlot(const ColumnDefinition& col) {
    return std::min<size_t>(col.variable_index, kMaxVariable - 1);
  }
  size_t column_count = 0;  // RowColumnCount
  size_t fixed_area = 0;    // FixedAreaSize
  size_t var_count = 0;     // the highest variable slot in use, plus one
};

// The same from fields given as views (a changed row made from its stored
// fields and a few new ones, none of them copied), with the table's layout.
void EncodeRow(JetVersion version, const TableDefinition& def,
               const RowLayout& layout, const std::vector<FieldBytes>& fields,
               size_t min_length, std::vector<uint8_t>& row);

// The column count and the size of the fixed-length area a new row of the
// table has.
size_t RowColumnCount(const TableDefinition& def);
size_t FixedAreaSize(const TableDefinition& def);

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_ROW_CODEC_H_
