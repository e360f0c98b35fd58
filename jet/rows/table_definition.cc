#include "jet/rows/table_definition.h"

#include <algorithm>
#include <set>
#include <string>

#include "jet/base/byte_view.h"
#include "jet/base/error.h"
#include "jet/storage/pager.h"
#include "jet/base/text_codec.h"

namespace jet {

namespace {

constexpr size_t kNextPageOffset = 0x04;
constexpr size_t kContinuationHeader = 8;
constexpr int kMaxIndexColumns = static_cast<int>(RealIndex::kMaxColumns);

struct Layout {
  size_t row_count, autonumber, table_type, max_cols, var_cols, cols,
      logical_idx, real_idx, usage_map, free_map, real_idx_counts;
  size_t real_idx_count_size;
  // column entry
  size_t col_size, col_number, col_var_index, col_index, col_sort_order,
      col_code_page, col_sort_version, col_precision, col_scale, col_flags,
      col_flags2, col_fixed_offset, col_length;
  size_t name_length_size;
  size_t real_idx_size, real_idx_skip, real_idx_flags_skip;
  size_t logical_idx_size, logical_idx_skip;
};

// Offsets of entries that a version does not have are set to SIZE_MAX.
constexpr size_t kNone = static_cast<size_t>(-1);

constexpr Layout kJet3Layout = {
    0x0C, 0x10, 0x14, 0x15, 0x17, 0x19, 0x1B, 0x1F, 0x23, 0x27, 0x2B,
    8,
    18, 1, 3, 5, 9, 11, kNone, 11, 12, 13, kNone, 14, 16,
    1,
    39, 0, 0,
    20, 0};

constexpr Layout kJet4Layout = {
    0x10, 0x14, 0x28, 0x29, 0x2B, 0x2D, 0x2F, 0x33, 0x37, 0x3B, 0x3F,
    12,
    25, 5, 7, 9, 11, kNone, 14, 11, 12, 15, 16, 21, 23,
    2,
    52, 4, 4,
    28, 4};

// Reads names and other variable-size entries in sequence.
class Cursor {
 public:
  Cursor(ByteView v, size_t pos) : v_(v), pos_(pos) {}
  size_t pos() const { return pos_; }
  ByteView Take(size_t n) {
    ByteView b = v_.Sub(pos_, n);
    pos_ += n;
    return b;
  }
  std::string Name(JetVersion version, uint16_t code_page) {
    if (version == JetVersion::kJet3) {
      size_t len = Take(1).U8(0);
      return DecodeCodePageText(Take(len), code_page);
    }
    size_t len = Take(2).U16(0);
    return DecodeJet4Text(Take(len));
  }

 private:
  ByteView v_;
  size_t pos_;
};

}  // namespace

TableDefinition TableDefinition::Read(Pager& pager, JetVersion version,
                                      uint16_t code_page, uint32_t page) {
  const Layout& L = version == JetVersion::kJet3 ? kJet3Layout : kJet4Layout;
  TableDefinition def;
  def.page = page;

  // Gather the definition's bytes over its chain of pages.
  std::vector<uint8_t> bytes;
  std::set<uint32_t> seen;
  uint32_t next = page;
  while (next != 0) {
    if (!seen.insert(next).second) {
      ThrowDamaged("테이블 정의 페이지 " + std::to_string(page) +
                   " 의 연결이 순환합니다");
    }
    PageRef p = pager.Get(next);
    ByteView v = p->view();
    if (v.U8(0) != kPageTableDefinition) {
      ThrowDamaged("페이지 " + std::to_string(next) +
                   " 은(는) 테이블 정의 페이지가 아닙니다");
    }
    def.pages.push_back(next);
    size_t from = bytes.empty() ? 0 : kContinuationHeader;
    bytes.insert(bytes.end(), v.data() + from, v.data() + v.size());
    next = v.U32(kNextPageOffset);
  }
  ByteView v(bytes.data(), bytes.size());

  def.stored_row_count = v.U32(L.row_count);
  def.next_autonumber = v.U32(L.autonumber);
  def.table_type = v.U8(L.table_type);
  def.max_columns = v.U16(L.max_cols);
  def.variable_column_count = v.U16(L.var_cols);
  uint16_t column_count = v.U16(L.cols);
  uint32_t logical_count = v.U32(L.logical_idx);
  uint32_t real_count = v.U32(L.real_idx);
  def.usage_map = RowPointer::FromPacked(v.U32(L.usage_map));
  def.free_space_map = RowPointer::FromPacked(v.U32(L.free_map));
  // Counts that cannot fit the definition's bytes are damage, not a reason
  // to allocate gigabytes.
  if (real_count > v.size() / L.real_idx_count_size ||
      logical_count > v.size() / L.logical_idx_size ||
      column_count > v.size() / L.col_size) {
    ThrowDamaged("테이블 정의 " + std::to_string(page) +
                 " 의 개수가 잘못되었습니다");
  }

  Cursor c(v, L.real_idx_counts + real_count * L.real_idx_count_size);
  def.columns.resize(column_count);
  for (ColumnDefinition& col : def.columns) {
    ByteView e = c.Take(L.col_size);
    col.type = e.U8(0);
    col.number = e.U16(L.col_number);
    col.variable_index = e.U16(L.col_var_index);
    col.column_index = e.U16(L.col_index);
    col.flags = e.U8(L.col_flags);
    if (L.col_flags2 != kNone) {
      col.compressed_unicode =
          e.U8(L.col_flags2) & column_flags::kCompressedUnicode;
    }
    col.fixed_offset = e.U16(L.col_fixed_offset);
    col.length = e.U16(L.col_length);
    if (col.type == static_cast<uint8_t>(ColumnType::kNumeric)) {
      col.precision = e.U8(L.col_precision);
      col.scale = e.U8(L.col_scale);
    } else if (col.type == static_cast<uint8_t>(ColumnType::kText) ||
               col.type == static_cast<uint8_t>(ColumnType::kMemo)) {
      col.sort_order = e.U16(L.col_sort_order);
      if (L.col_sort_version != kNone) {
        col.sort_order_version = e.U8(L.col_sort_version);
      }
      if (L.col_code_page != kNone) col.code_page = e.U16(L.col_code_page);
    }
  }
  for (ColumnDefinition& col : def.columns) {
    col.name = c.Name(version, code_page);
  }

  def.real_indexes.resize(real_count);
  for (RealIndex& idx : def.real_indexes) {
    ByteView e = c.Take(L.real_idx_size);
    size_t pos = L.real_idx_skip;
    for (int k = 0; k < kMaxIndexColumns; ++k, pos += 3) {
      uint16_t number = e.U16(pos);
      if (number == 0xFFFF) continue;
      idx.columns.push_back(IndexColumn{number, e.U8(pos + 2) == 0x01});
    }
    idx.usage_map = e.U32(pos);
    idx.first_page = e.U32(pos + 4);
    idx.first_page_offset = c.pos() - L.real_idx_size + pos + 4;
    idx.flags = e.U8(pos + 8 + L.real_idx_flags_skip);
  }

  def.logical_indexes.resize(logical_count);
  for (LogicalIndex& idx : def.logical_indexes) {
    ByteView e = c.Take(L.logical_idx_size);
    size_t pos = L.logical_idx_skip;
    idx.number = e.U32(pos);
    idx.real_index = e.U32(pos + 4);
    idx.related_table_type = e.U8(pos + 8);
    idx.related_index = e.I32(pos + 9);
    idx.related_table_page = e.U32(pos + 13);
    idx.cascade_updates = e.U8(pos + 17);
    idx.cascade_deletes = e.U8(pos + 18);
    idx.index_type = e.U8(pos + 19);
  }
  for (LogicalIndex& idx : def.logical_indexes) {
    idx.name = c.Name(version, code_page);
  }
  if (version == JetVersion::kJet4) {
    // The list is not always present to its end marker; it stops where the
    // definition's bytes do.
    while (v.Contains(c.pos(), 2)) {
      uint16_t number = v.U16(c.pos());
      if (number == 0xFFFF || !v.Contains(c.pos(), 10)) break;
      ByteView e = c.Take(10);
      def.long_value_maps.push_back(
          LongValueColumnMaps{number, RowPointer::FromPacked(e.U32(2)),
                              RowPointer::FromPacked(e.U32(6))});
    }
  }
  return def;
}

void TableDefinition::AddToStoredRowCount(Pager& pager, JetVersion version,
                                          int delta) {
  const Layout& L = version == JetVersion::kJet3 ? kJet3Layout : kJet4Layout;
  std::vector<uint8_t> bytes = pager.CopyForWrite(page);
  ByteView v(bytes.data(), bytes.size());
  uint32_t count = v.U32(L.row_count);
  count = delta < 0 && count < static_cast<uint32_t>(-delta) ? 0 : count + delta;
  for (int i = 0; i < 4; ++i) bytes[L.row_count + i] = static_cast<uint8_t>(count >> (8 * i));
  pager.Put(page, std::move(bytes));
  stored_row_count = count;
}

void TableDefinition::SetIndexRoot(Pager& pager, size_t index, uint32_t root) {
  // The definition's bytes are the first page whole, then each further page
  // after its 8-byte header.
  size_t offset = real_indexes.at(index).first_page_offset;
  size_t page_size = pager.page_size();
  for (int i = 0; i < 4; ++i, ++offset) {
    size_t k = 0, at = offset;
    if (at >= page_size) {
      at -= page_size;
      k = 1 + at / (page_size - kContinuationHeader);
      at = kContinuationHeader + at % (page_size - kContinuationHeader);
    }
    std::vector<uint8_t> bytes = pager.CopyForWrite(pages.at(k));
    bytes[at] = static_cast<uint8_t>(root >> (8 * i));
    pager.Put(pages.at(k), std::move(bytes));
  }
  real_indexes[index].first_page = root;
}

const LongValueColumnMaps* TableDefinition::FindLongValueMaps(
    uint16_t column_number) const {
  for (const LongValueColumnMaps& m : long_value_maps) {
    if (m.column_number == column_number) return &m;
  }
  return nullptr;
}

namespace {

constexpr uint8_t kJet3Signature[2] = {'V', 'C'};
constexpr uint8_t kAutoNumberWorks = 0x01;
constexpr size_t kJet4AutoNumberWorksOffset = 0x18;
constexpr uint16_t kJet3ColumnConstant = 0x0001;
constexpr size_t kJet3ColumnConstantOffset = 7;
constexpr uint16_t kNoColumn = 0xFFFF;
constexpr uint8_t kAscending = 0x01;

// Appends little-endian fields to the definition's bytes.
class Writer {
 public:
  explicit Writer(std::vector<uint8_t>& out) : out_(out) {}
  void U8(uint8_t v) { out_.push_back(v); }
  void U16(uint16_t v) {
    U8(static_cast<uint8_t>(v));
    U8(static_cast<uint8_t>(v >> 8));
  }
  void U32(uint32_t v) {
    U16(static_cast<uint16_t>(v));
    U16(static_cast<uint16_t>(v >> 16));
  }
  void Zeros(size_t n) { out_.insert(out_.end(), n, 0); }
  void Bytes(const std::vector<uint8_t>& b) {
    out_.insert(out_.end(), b.begin(), b.end());
  }
  void Name(const std::string& name, JetVersion version, uint16_t code_page) {
    if (version == JetVersion::kJet3) {
      std::vector<uint8_t> b = EncodeCodePageText(name, code_page);
      if (b.size() > 0xFF) ThrowNameTooLong(name);
      U8(static_cast<uint8_t>(b.size()));
      Bytes(b);
      return;
    }
    std::vector<uint8_t> b = EncodeJet4Text(name, false);
    if (b.size() > 0xFFFF) ThrowNameTooLong(name);
    U16(static_cast<uint16_t>(b.size()));
    Bytes(b);
  }
  // Sets a field already written.
  void Put16At(size_t at, uint16_t v) {
    out_[at] = static_cast<uint8_t>(v);
    out_[at + 1] = static_cast<uint8_t>(v >> 8);
  }
  void Put32At(size_t at, uint32_t v) {
    Put16At(at, static_cast<uint16_t>(v));
    Put16At(at + 2, static_cast<uint16_t>(v >> 16));
  }
  size_t size() const { return out_.size(); }

 private:
  [[noreturn]] static void ThrowNameTooLong(const std::string& name) {
    throw Error(
        kErrUnsupportedFeature,
        "'" + name + "' 이름이 너무 길어 테이블 정의에 쓸 수 없습니다.");
  }
  std::vector<uint8_t>& out_;
};

bool IsTextType(uint8_t type) {
  return type == static_cast<uint8_t>(ColumnType::kText) ||
         type == static_cast<uint8_t>(ColumnType::kMemo);
}

}  // namespace

std::vector<uint8_t> TableDefinition::Encode(JetVersion version,
                                             uint16_t code_page) const {
  const bool jet3 = version == JetVersion::kJet3;
  const Layout& L = jet3 ? kJet3Layout : kJet4Layout;
  std::vector<uint8_t> out;
  Writer w(out);

  // Page header, then the fixed block up to the real index counts.
  w.U8(kPageTableDefinition);
  w.U8(0x01);
  if (jet3) {
    w.U8(kJet3Signature[0]);
    w.U8(kJet3Signature[1]);
  } else {
    w.U16(0);  // free space, set per page
  }
  w.U32(0);  // next page, set per page
  w.Zeros(L.real_idx_counts - w.size());
  if (!jet3) {
    w.Put32At(0x0C, kJet4DefinitionMagic);
    out[kJet4AutoNumberWorksOffset] = kAutoNumberWorks;
  }
  w.Put32At(L.row_count, stored_row_count);
  w.Put32At(L.autonumber, next_autonumber);
  out[L.table_type] = table_type;
  w.Put16At(L.max_cols, max_columns);
  w.Put16At(L.var_cols, variable_column_count);
  w.Put16At(L.cols, static_cast<uint16_t>(columns.size()));
  w.Put32At(L.logical_idx, static_cast<uint32_t>(logical_indexes.size()));
  w.Put32At(L.real_idx, static_cast<uint32_t>(real_indexes.size()));
  w.Put32At(L.usage_map, usage_map.Packed());
  w.Put32At(L.free_map, free_space_map.Packed());

  // Per real index: 4 zero bytes, the index's row count (left 0: Jet keeps
  // it only as a statistic), and in Jet 4 4 more zero bytes.
  w.Zeros(real_indexes.size() * L.real_idx_count_size);

  for (const ColumnDefinition& col : columns) {
    size_t start = w.size();
    w.Zeros(L.col_size);
    out[start] = col.type;
    if (jet3) {
      w.Put16At(start + kJet3ColumnConstantOffset, kJet3ColumnConstant);
    } else {
      w.Put32At(start + 1, kJet4DefinitionMagic);
    }
    w.Put16At(start + L.col_number, col.number);
    w.Put16At(start + L.col_var_index, col.variable_index);
    w.Put16At(start + L.col_index, col.column_index);
    if (col.type == static_cast<uint8_t>(ColumnType::kNumeric)) {
      out[start + L.col_precision] = col.precision;
      out[start + L.col_scale] = col.scale;
    } else {
      w.Put16At(start + L.col_sort_order, col.sort_order);
    }
    if (L.col_sort_version != kNone && IsTextType(col.type)) {
      out[start + L.col_sort_version] = col.sort_order_version;
    }
    if (L.col_code_page != kNone) {
      w.Put16At(start + L.col_code_page, col.code_page);
    }
    out[start + L.col_flags] = col.flags;
    if (L.col_flags2 != kNone && col.compressed_unicode) {
      out[start + L.col_flags2] = column_flags::kCompressedUnicode;
    }
    w.Put16At(start + L.col_fixed_offset, col.fixed_offset);
    w.Put16At(start + L.col_length, col.length);
  }
  for (const ColumnDefinition& col : columns)
    w.Name(col.name, version, code_page);

  for (const RealIndex& idx : real_indexes) {
    if (idx.columns.size() > static_cast<size_t>(kMaxIndexColumns)) {
      throw Error(kErrUnsupportedFeature,
                  "색인 하나에 열을 10개보다 많이 넣을 수 없습니다.");
    }
    size_t start = w.size();
    if (!jet3) w.U32(kJet4RealIndexMagic);
    for (int k = 0; k < kMaxIndexColumns; ++k) {
      if (k < static_cast<int>(idx.columns.size())) {
        w.U16(idx.columns[k].column_number);
        w.U8(idx.columns[k].ascending ? kAscending : 0x00);
      } else {
        w.U16(kNoColumn);
        w.U8(0);
      }
    }
    w.U32(idx.usage_map);
    w.U32(idx.first_page);
    w.Zeros(L.real_idx_flags_skip);
    w.U8(idx.flags);
    w.Zeros(start + L.real_idx_size - w.size());
  }

  for (const LogicalIndex& idx : logical_indexes) {
    if (!jet3) w.U32(kJet4DefinitionMagic);
    w.U32(idx.number);
    w.U32(idx.real_index);
    w.U8(idx.related_table_type);
    w.U32(static_cast<uint32_t>(idx.related_index));
    w.U32(idx.related_table_page);
    w.U8(idx.cascade_updates ? 1 : 0);
    w.U8(idx.cascade_deletes ? 1 : 0);
    w.U8(idx.index_type);
    if (!jet3) w.U32(0);
  }
  for (const LogicalIndex& idx : logical_indexes) {
    w.Name(idx.name, version, code_page);
  }

  for (const LongValueColumnMaps& m : long_value_maps) {
    w.U16(m.column_number);
    w.U32(m.usage_map.Packed());
    w.U32(m.free_space_map.Packed());
  }
  w.U16(kNoColumn);

  w.Put32At(0x08, static_cast<uint32_t>(out.size()));
  return out;
}

size_t TableDefinition::PagesFor(size_t length, uint32_t page_size) {
  if (length <= page_size) return 1;
  size_t rest = length - page_size;
  size_t per_page = page_size - kContinuationHeader;
  return 1 + (rest + per_page - 1) / per_page;
}

std::vector<std::vector<uint8_t>> TableDefinition::SplitIntoPages(
    const std::vector<uint8_t>& bytes, JetVersion version,
    const std::vector<uint32_t>& page_numbers) {
  const uint32_t page_size = PageSizeOf(version);
  if (page_numbers.size() != PagesFor(bytes.size(), page_size)) {
    throw Error(kErrUnsupportedFeature,
                "테이블 정의 페이지 수가 맞지 않습니다.");
  }
  std::vector<std::vector<uint8_t>> pages;
  size_t from = 0;
  for (size_t i = 0; i < page_numbers.size(); ++i) {
    std::vector<uint8_t> page(page_size, 0);
    size_t at = 0;
    if (i > 0) {
      // A continuation page repeats the first page's 4 leading bytes.
      std::copy(bytes.begin(), bytes.begin() + 4, page.begin());
      at = kContinuationHeader;
    }
    size_t n = std::min<size_t>(page_size - at, bytes.size() - from);
    std::copy(bytes.begin() + from, bytes.begin() + from + n,
              page.begin() + at);
    from += n;
    uint32_t next = i + 1 < page_numbers.size() ? page_numbers[i + 1] : 0;
    for (int k = 0; k < 4; ++k) {
      page[kNextPageOffset + k] = static_cast<uint8_t>(next >> (8 * k));
    }
    if (version == JetVersion::kJet4) {
      size_t used = at + n;
      size_t free = used + 8 <= page_size ? page_size - used - 8 : 0;
      page[2] = static_cast<uint8_t>(free);
      page[3] = static_cast<uint8_t>(free >> 8);
    }
    pages.push_back(std::move(page));
  }
  return pages;
}

const ColumnDefinition* TableDefinition::FindColumn(
    const std::string& name) const {
  for (const ColumnDefinition& col : columns) {
    if (col.name == name) return &col;
  }
  return nullptr;
}

}  // namespace jet
