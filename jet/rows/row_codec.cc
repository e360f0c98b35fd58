#include "jet/rows/row_codec.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <string>

#include "jet/base/error.h"

namespace jet {

namespace {

struct RowFrame {
  // A row's offset table fits a page: at most 2 bytes an entry in a
  // 4 KB page (Jet 4), 1 byte in a 2 KB one (Jet 3).
  static constexpr size_t kMaxOffsets = 2048;

  size_t column_count = 0;
  size_t fixed_start = 0;
  ByteView null_mask;
  // v + 1 entries; the last is the end. Kept on the stack: a row is
  // decoded for every row read.
  std::array<uint16_t, kMaxOffsets> var_offsets;
  size_t var_offset_count = 0;

  void SetOffsetCount(size_t count) {
    if (count > kMaxOffsets) ThrowDamaged("행의 가변 길이 표가 잘못되었습니다");
    var_offset_count = count;
  }

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
  f.SetOffsetCount(v + 1);
  size_t used = 0;
  for (size_t i = 0; i <= v; ++i) {
    while (used < jumps && row.U8(end - mask_size - 2 - used) == i) ++used;
    f.var_offsets[i] = static_cast<uint16_t>(
        row.U8(static_cast<size_t>(col_ptr) - i) + used * 256);
  }
}

void ReadJet4Offsets(ByteView row, size_t mask_size, RowFrame& f) {
  size_t end = row.size();
  size_t v = row.U16(end - mask_size - 2);
  size_t table_end = end - mask_size - 2;
  if (2 * (v + 1) > table_end)
    ThrowDamaged("행의 가변 길이 표가 잘못되었습니다");
  f.SetOffsetCount(v + 1);
  for (size_t i = 0; i <= v; ++i) {
    f.var_offsets[i] = row.U16(table_end - 2 * (i + 1));
  }
}

}  // namespace

std::vector<FieldBytes> DecodeRow(JetVersion version,
                                  const TableDefinition& def, ByteView row) {
  std::vector<FieldBytes> fields;
  DecodeRow(version, def, row, fields);
  return fields;
}

void DecodeRow(JetVersion version, const TableDefinition& def, ByteView row,
               std::vector<FieldBytes>& fields) {
  bool jet3 = version == JetVersion::kJet3;
  RowFrame f;
  f.fixed_start = jet3 ? 1 : 2;
  f.column_count = jet3 ? row.U8(0) : row.U16(0);
  size_t mask_size = (f.column_count + 7) / 8;
  if (row.size() < f.fixed_start + mask_size)
    ThrowDamaged("행이 너무 짧습니다");
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

  fields.assign(def.columns.size(), FieldBytes{});
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
      if (i + 1 >= f.var_offset_count) continue;
      size_t start = f.var_offsets[i];
      size_t stop = f.var_offsets[i + 1];
      if (start > stop || stop > row.size()) {
        ThrowDamaged("가변 길이 열 " + col.name + " 의 위치가 잘못되었습니다");
      }
      out.data = row.Sub(start, stop - start);
      out.is_null = false;
    }
  }
}

}  // namespace jet

namespace jet {

size_t RowColumnCount(const TableDefinition& def) {
  size_t count = def.max_columns;
  for (const ColumnDefinition& col : def.columns) {
    if (col.number + 1u > count) count = col.number + 1u;
  }
  return count;
}

size_t FixedAreaSize(const TableDefinition& def) {
  size_t size = 0;
  for (const ColumnDefinition& col : def.columns) {
    if (col.is_fixed() &&
        col.type != static_cast<uint8_t>(ColumnType::kBoolean)) {
      size = std::max<size_t>(size, col.fixed_offset + col.length);
    }
  }
  return size;
}

namespace {

void Put16(std::vector<uint8_t>& out, size_t at, size_t value) {
  out[at] = static_cast<uint8_t>(value);
  out[at + 1] = static_cast<uint8_t>(value >> 8);
}

// Jet 3 row tail: offsets are one byte, the jump table adds 256 for each of
// its entries at or below an offset's index.
std::vector<uint8_t> EncodeJet3Tail(const std::vector<size_t>& offsets,
                                    size_t body_size, size_t mask_size,
                                    size_t min_length, size_t& row_length) {
  size_t v = offsets.size() - 1;
  // The tail's size depends on the jump count, which depends on the row
  // length: find the smallest consistent length.
  size_t length = std::max(body_size + (v + 1) + 1 + mask_size, min_length);
  size_t jumps;
  while (true) {
    jumps = (length - 1) / 256;
    size_t needed = body_size + (v + 1) + jumps + 1 + mask_size;
    if (needed <= length) break;
    length = needed;
  }
  // Offsets reach up to the end of the variable data; jump entries beyond
  // what they need are dummies (0xFF), which never match an index.
  size_t real_jumps = offsets.back() / 256;
  if (real_jumps > jumps) {
    throw Error(kErrUnsupportedFeature,
                "이 행은 Jet 3 형식으로 저장할 수 없습니다.");
  }
  std::vector<uint8_t> tail(length - body_size, 0);
  size_t end = tail.size();
  // Layout from the end: mask, count, jump table, offset table.
  tail[end - mask_size - 1] = static_cast<uint8_t>(v);
  for (size_t k = 0; k < jumps; ++k) {
    uint8_t entry = 0xFF;
    if (k < real_jumps) {
      for (size_t i = 0; i <= v; ++i) {
        if (offsets[i] >= 256 * (k + 1)) {
          entry = static_cast<uint8_t>(i);
          break;
        }
      }
    }
    tail[end - mask_size - 2 - k] = entry;
  }
  size_t table = end - mask_size - 2 - jumps;  // entry 0
  for (size_t i = 0; i <= v; ++i) {
    tail[table - i] = static_cast<uint8_t>(offsets[i] & 0xFF);
  }
  row_length = length;
  return tail;
}

// Writes a new row's column count and fixed-length values at the start of
// `row` (which holds at least the fixed area, zeroed) and sets the null mask
// bits of its values in `mask` (zeroed).
template <typename Field>
void PlaceFixedColumns(const TableDefinition& def,
                       const std::vector<Field>& fields, bool jet3,
                       size_t count, uint8_t* row, uint8_t* mask) {
  row[0] = static_cast<uint8_t>(count);
  if (!jet3) row[1] = static_cast<uint8_t>(count >> 8);
  const size_t fixed_start = jet3 ? 1 : 2;
  for (size_t k = 0; k < def.columns.size(); ++k) {
    const ColumnDefinition& col = def.columns[k];
    const Field& f = fields[k];
    const bool is_bool = col.type == static_cast<uint8_t>(ColumnType::kBoolean);
    if (is_bool ? f.bit : !f.is_null) {
      mask[col.number / 8] |= static_cast<uint8_t>(1u << (col.number % 8));
    }
    if (is_bool || f.is_null || !col.is_fixed()) continue;
    const size_t n = std::min<size_t>(f.data.size(), col.length);
    uint8_t* to = row + fixed_start + col.fixed_offset;
    const uint8_t* from = f.data.data();
    // The usual sizes are copied inline, not by a library call.
    switch (n) {
      case 0:
        break;
      case 1:
        *to = *from;
        break;
      case 2:
        std::memcpy(to, from, 2);
        break;
      case 4:
        std::memcpy(to, from, 4);
        break;
      case 8:
        std::memcpy(to, from, 8);
        break;
      default:
        std::memcpy(to, from, n);
    }
  }
}

// EncodeRow for new fields (FieldData) and stored ones (FieldBytes) alike.
template <typename Field>
void EncodeRowOf(JetVersion version, const TableDefinition& def,
                 const RowLayout& layout, const std::vector<Field>& fields,
                 size_t min_length, std::vector<uint8_t>& row) {
  const bool jet3 = version == JetVersion::kJet3;
  const size_t count = layout.column_count;
  const size_t mask_size = (count + 7) / 8;
  const size_t fixed_start = jet3 ? 1 : 2;
  const size_t fixed_end = fixed_start + layout.fixed_area;

  // The variable columns by their variable index (at most 256 of them);
  // only the entries up to the highest index are cleared and used.
  std::array<const Field*, RowLayout::kMaxVariable> by_var;
  const size_t var_count = layout.var_count;
  std::fill_n(by_var.begin(), var_count, nullptr);
  size_t data_size = 0;
  for (size_t k = 0; k < def.columns.size(); ++k) {
    const ColumnDefinition& col = def.columns[k];
    if (col.is_fixed()) continue;
    const size_t v = RowLayout::VariableSlot(col);
    const Field& f = fields[k];
    if (col.type == static_cast<uint8_t>(ColumnType::kBoolean) || f.is_null) {
      continue;
    }
    by_var[v] = &f;
    data_size += f.data.size();
  }

  // Jet 4 (and rows without variable columns): laid out in place, the
  // size known beforehand.
  if (!jet3 || def.variable_column_count == 0) {
    const size_t tail_size =
        def.variable_column_count == 0 ? 0 : 2 * (var_count + 1) + 2;
    const size_t variable_size = def.variable_column_count == 0 ? 0 : data_size;
    const size_t length =
        std::max(fixed_end + variable_size + tail_size + mask_size, min_length);
    row.assign(length, 0);
    PlaceFixedColumns(def, fields, jet3, count, row.data(),
                      row.data() + length - mask_size);
    if (def.variable_column_count == 0) return;
    const size_t end = length;
    size_t at = fixed_end;
    for (size_t i = 0; i < var_count; ++i) {
      Put16(row, end - mask_size - 2 - 2 * (i + 1), at);
      if (by_var[i]) {
        std::copy(by_var[i]->data.data(),
                  by_var[i]->data.data() + by_var[i]->data.size(),
                  row.begin() + at);
        at += by_var[i]->data.size();
      }
    }
    Put16(row, end - mask_size - 2 - 2 * (var_count + 1), at);
    Put16(row, end - mask_size - 2, var_count);
    return;
  }

  // Jet 3: the offsets' size depends on where the data ends.
  std::vector<uint8_t> mask(mask_size, 0);
  std::vector<uint8_t> body(fixed_end, 0);
  PlaceFixedColumns(def, fields, jet3, count, body.data(), mask.data());
  std::vector<size_t> offsets;
  offsets.reserve(var_count + 1);
  for (size_t i = 0; i < var_count; ++i) {
    offsets.push_back(body.size());
    if (by_var[i])
      body.insert(body.end(), by_var[i]->data.data(),
                  by_var[i]->data.data() + by_var[i]->data.size());
  }
  offsets.push_back(body.size());  // end of the variable data
  size_t length = 0;
  std::vector<uint8_t> tail =
      EncodeJet3Tail(offsets, body.size(), mask_size, min_length, length);
  row = std::move(body);
  row.insert(row.end(), tail.begin(), tail.end());
  std::copy(mask.begin(), mask.end(), row.end() - mask_size);
}

}  // namespace

RowLayout::RowLayout(const TableDefinition& def)
    : column_count(RowColumnCount(def)), fixed_area(FixedAreaSize(def)) {
  for (const ColumnDefinition& col : def.columns) {
    if (!col.is_fixed()) var_count = std::max(var_count, VariableSlot(col) + 1);
  }
}

std::vector<uint8_t> EncodeRow(JetVersion version, const TableDefinition& def,
                               const std::vector<FieldData>& fields,
                               size_t min_length) {
  std::vector<uint8_t> row;
  EncodeRowOf(version, def, RowLayout(def), fields, min_length, row);
  return row;
}

void EncodeRow(JetVersion version, const TableDefinition& def,
               const std::vector<FieldData>& fields, size_t min_length,
               std::vector<uint8_t>& row) {
  EncodeRowOf(version, def, RowLayout(def), fields, min_length, row);
}

void EncodeRow(JetVersion version, const TableDefinition& def,
               const RowLayout& layout, const std::vector<FieldBytes>& fields,
               size_t min_length, std::vector<uint8_t>& row) {
  EncodeRowOf(version, def, layout, fields, min_length, row);
}

}  // namespace jet
