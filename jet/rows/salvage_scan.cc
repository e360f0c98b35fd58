#include "jet/rows/salvage_scan.h"

#include <algorithm>

#include "jet/base/error.h"
#include "jet/storage/data_page.h"
#include "jet/rows/value_codec.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

// A moved row that moved again is reached through at most this many
// pointers; more means the pointers loop.
constexpr int kMaxPointerHops = 8;
constexpr size_t kRowPointerSize = 4;

bool AllZero(ByteView bytes) {
  const uint8_t* p = bytes.data();
  return std::all_of(p, p + bytes.size(), [](uint8_t b) { return b == 0; });
}

}  // namespace

bool RowLooksWhole(JetVersion version, const TableDefinition& def,
                   ByteView row) {
  const size_t count_size = version == JetVersion::kJet3 ? 1 : 2;
  if (row.size() < count_size) return false;
  const size_t columns = version == JetVersion::kJet3 ? row.U8(0) : row.U16(0);
  if (columns == 0 || columns > std::max<size_t>(RowColumnCount(def),
                                                 def.columns.size())) {
    return false;
  }
  // The row's end: its null mask and, in a table with variable-length
  // columns, the count of them and the offset where their data ends, which
  // is never 0 in a row written whole. All zero while the row's start is
  // not: the end a torn write or a zeroed half page cut off.
  const size_t mask_size = (columns + 7) / 8;
  const bool variable = def.variable_column_count > 0;
  const size_t tail = mask_size + (variable ? 2 * count_size : 0);
  if (row.size() < count_size + tail) return false;
  if (AllZero(row.Sub(row.size() - tail, tail)) &&
      (variable ||
       !AllZero(row.Sub(count_size, row.size() - count_size - tail)))) {
    return false;
  }
  // A column of the primary key is never Null in a row Access wrote.
  const ByteView mask = row.Sub(row.size() - mask_size, mask_size);
  for (const LogicalIndex& logical : def.logical_indexes) {
    if (!logical.is_primary_key() ||
        logical.real_index >= def.real_indexes.size()) {
      continue;
    }
    for (const IndexColumn& c : def.real_indexes[logical.real_index].columns) {
      const auto column =
          std::find_if(def.columns.begin(), def.columns.end(),
                       [&](const ColumnDefinition& d) {
                         return d.number == c.column_number;
                       });
      // A Yes/No column's bit is its value, never Null.
      if (column == def.columns.end() ||
          column->type == static_cast<uint8_t>(ColumnType::kBoolean)) {
        continue;
      }
      if (c.column_number >= columns) return false;
      if (!(mask.U8(c.column_number / 8) & (1u << (c.column_number % 8)))) {
        return false;
      }
    }
  }
  return true;
}

SalvageScan::SalvageScan(Pager& pager, JetVersion version,
                         const TableDefinition& def)
    : pager_(pager), version_(version), def_(def) {}

void SalvageScan::LeaveOut() {
  ++counts_.rows_left_out;
  if (counts_.left_out.size() < kMaxListed) {
    counts_.left_out.push_back(row_id_);
  }
}

bool SalvageScan::LoadPage(uint32_t page_number) {
  try {
    page_ = pager_.Get(page_number);
  } catch (const Error&) {
    ++counts_.damaged_pages;  // past the end of a file cut short
    return false;
  }
  ByteView v = page_->view();
  if (v.U8(0) != kPageData) {
    // The map may list pages given back or reused for something else; a
    // page of zeros is one the damage wiped out.
    if (AllZero(v)) ++counts_.damaged_pages;
    return false;
  }
  try {
    DataPage dp(version_, v);
    if (dp.owner() != def_.page) return false;
    row_count_ = dp.row_count();
  } catch (const Error&) {
    ++counts_.damaged_pages;
    return false;
  }
  next_row_ = 0;
  return true;
}

bool SalvageScan::Take(ByteView bytes, bool pointer) {
  try {
    for (int hop = 0; pointer; ++hop) {
      if (hop == kMaxPointerHops || bytes.size() < kRowPointerSize) {
        ThrowDamaged("이동한 행의 포인터가 잘못되었습니다");
      }
      const RowPointer to = RowPointer::FromPacked(bytes.U32(0));
      target_page_ = pager_.Get(to.page);
      DataPage dp(version_, target_page_->view());
      if (dp.owner() != def_.page) {
        ThrowDamaged("이동한 행이 다른 테이블의 페이지를 가리킵니다");
      }
      RowSlot slot = dp.Slot(to.row);
      if (slot.kind == RowSlotKind::kDeleted) return false;
      pointer = slot.kind == RowSlotKind::kOverflowPointer;
      bytes = slot.bytes;
    }
    if (!RowLooksWhole(version_, def_, bytes)) {
      ThrowDamaged("행이 온전하지 않습니다");
    }
    DecodeRow(version_, def_, bytes, fields_);
    for (size_t k = 0; k < fields_.size(); ++k) {
      if (!FieldHasItsSize(fields_[k], def_.columns[k])) {
        ThrowDamaged("값의 크기가 형식에 맞지 않습니다");
      }
    }
  } catch (const Error&) {
    LeaveOut();
    return false;
  }
  row_bytes_ = bytes;
  return true;
}

bool SalvageScan::Next() {
  if (!pages_loaded_) {
    pages_loaded_ = true;
    try {
      pages_ = ReadUsageMap(pager_, version_, def_.usage_map);
    } catch (const Error&) {
      counts_.map_unreadable = true;
    }
  }
  while (true) {
    if (!page_ || next_row_ >= row_count_) {
      page_.reset();
      if (page_index_ >= pages_.size()) return false;
      if (!LoadPage(pages_[page_index_++])) {
        page_.reset();
        continue;
      }
    }
    const uint16_t row = static_cast<uint16_t>(next_row_++);
    row_id_ = RowPointer{page_->number(), static_cast<uint8_t>(row)};
    RowSlot slot;
    try {
      slot = DataPage(version_, page_->view()).Slot(row);
    } catch (const Error&) {
      LeaveOut();
      continue;
    }
    switch (slot.kind) {
      case RowSlotKind::kRow:
        target_page_.reset();
        if (Take(slot.bytes, /*pointer=*/false)) return true;
        continue;
      case RowSlotKind::kOverflowPointer:
        if (Take(slot.bytes, /*pointer=*/true)) return true;
        continue;
      case RowSlotKind::kMovedCopy:
      case RowSlotKind::kDeleted:
        continue;
    }
  }
}

}  // namespace jet
