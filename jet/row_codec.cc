#include "jet/row_codec.h"

#include <string>

#include "jet/error.h"

namespace jet {

namespace {

struct RowFrame {
  size_t column_count = 0;
  size_t fixed_start = 0;
  ByteView null_mask;
  std::vector<size_t> var_offsets;  // v + 1 entries; the last is the end

  bool HasValue(uint16_t number) const {
    return number < column_count &&
           (null_mask.U8(number / 8) >> (number % 8)) & 1;
  }
};

void ReadJet3Offsets(ByteView row, size_t mask_size, RowFrame& f) {
  size_t end = row.size();
  size_t v = row.U8(end - mask_size - 1);
  // The jump table always has (row length - 1) / 256 bytes; its last entry
  // is a dummy when the offsets below it do not reach that far.
  size_t jump_bytes = (end - 1) / 256;
  long col_ptr = static_cast<long>(end) - static_cast<long>(mask_size) - 2 -
                 static_cast<long>(jump_bytes);
  if (col_ptr - static_cast<long>(v) < 0) {
    ThrowDamaged("행의 가변 길이 표가 잘못되었습니다");
  }
  size_t jumps = jump_bytes;
  if (jumps > 0 &&
      static_cast<size_t>(col_ptr - static_cast<long>(v)) / 256 < jumps) {
    --jumps;
  }
  f.var_offsets.resize(v + 1);
  size_t used = 0;
  for (size_t i = 0; i <= v; ++i) {
    while (used < jumps && row.U8(end - mask_size - 2 - used) == i) ++used;
    f.var_offsets[i] = row.U8(static_cast<size_t>(col_ptr) - i) + used * 256;
  }
}

void ReadJet4Offsets(ByteView row, size_t mask_size, RowFrame& f) {
  size_t end = row.size();
  size_t v = row.U16(end - mask_size - 2);
  size_t table_end = end - mask_size - 2;
  if (2 * (v + 1) > table_end) ThrowDamaged("행의 가변 길이 표가 잘못되었습니다");
  f.var_offsets.resize(v + 1);
  for (size_t i = 0; i <= v; ++i) {
    f.var_offsets[i] = row.U16(table_end - 2 * (i + 1));
  }
}

}  // namespace

std::vector<FieldBytes> DecodeRow(JetVersion version,
                                  const TableDefinition& def, ByteView row) {
  bool jet3 = version == JetVersion::kJet3;
  RowFrame f;
  f.fixed_start = jet3 ? 1 : 2;
  f.column_count = jet3 ? row.U8(0) : row.U16(0);
  size_t mask_size = (f.column_count + 7) / 8;
  if (row.size() < f.fixed_start + mask_size) ThrowDamaged("행이 너무 짧습니다");
  f.null_mask = row.Sub(row.size() - mask_size, mask_size);

  bool has_variable = def.variable_column_count > 0;
  if (has_variable) {
    if (row.size() < f.fixed_start + mask_size + (jet3 ? 1 : 2)) {
      ThrowDamaged("행이 너무 짧습니다");
    }
    if (jet3) {
      ReadJet3Offsets(row, mask_size, f);
    } else {
      ReadJet4Offsets(row, mask_size, f);
    }
  }

  std::vector<FieldBytes> fields(def.columns.size());
  for (size_t k = 0; k < def.columns.size(); ++k) {
    const ColumnDefinition& col = def.columns[k];
    FieldBytes& out = fields[k];
    if (col.type == static_cast<uint8_t>(ColumnType::kBoolean)) {
      // Never Null: the bit is the value.
      out.is_null = false;
      out.bit = f.HasValue(col.number);
      continue;
    }
    if (!f.HasValue(col.number)) continue;
    if (col.is_fixed()) {
      out.data = row.Sub(f.fixed_start + col.fixed_offset, col.length);
      out.is_null = false;
    } else if (has_variable) {
      size_t i = col.variable_index;
      if (i + 1 >= f.var_offsets.size()) continue;
      size_t start = f.var_offsets[i];
      size_t stop = f.var_offsets[i + 1];
      if (start > stop || stop > row.size()) {
        ThrowDamaged("가변 길이 열 " + col.name + " 의 위치가 잘못되었습니다");
      }
      out.data = row.Sub(start, stop - start);
      out.is_null = false;
    }
  }
  return fields;
}

}  // namespace jet
