#include "jet/rows/table_scan.h"

#include "jet/base/error.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {
// A moved row that moved again is reached through at most this many
// pointers; more means the pointers loop.
constexpr int kMaxPointerHops = 8;
constexpr size_t kRowPointerSize = 4;
}  // namespace

TableScan::TableScan(Pager& pager, JetVersion version,
                     const TableDefinition& def)
    : pager_(pager), version_(version), def_(def) {}

bool TableScan::LoadPage(uint32_t page_number) {
  page_ = pager_.Get(page_number);
  ByteView v = page_->view();
  // The usage map may list pages that were given back or reused; only data
  // pages of this table hold its rows.
  if (v.U8(0) != kPageData) return false;
  DataPage dp(version_, v);
  if (dp.owner() != def_.page) return false;
  row_count_ = dp.row_count();
  next_row_ = 0;
  return true;
}

bool TableScan::Follow(ByteView pointer_bytes) {
  for (int hop = 0; hop < kMaxPointerHops; ++hop) {
    if (pointer_bytes.size() < kRowPointerSize) {
      ThrowDamaged("이동한 행의 포인터가 잘렸습니다");
    }
    RowPointer to = RowPointer::FromPacked(pointer_bytes.U32(0));
    target_page_ = pager_.Get(to.page);
    DataPage dp(version_, target_page_->view());
    if (dp.owner() != def_.page) {
      ThrowDamaged("이동한 행이 다른 테이블의 페이지를 가리킵니다");
    }
    RowSlot slot = dp.Slot(to.row);
    switch (slot.kind) {
      case RowSlotKind::kRow:
      case RowSlotKind::kMovedCopy:
        stored_at_ = to;
        row_bytes_ = slot.bytes;
        return true;
      case RowSlotKind::kOverflowPointer:
        pointer_bytes = slot.bytes;
        continue;
      case RowSlotKind::kDeleted:
        return false;
    }
  }
  ThrowDamaged("이동한 행의 포인터가 순환합니다");
}

bool TableScan::SeekTo(RowPointer row_id) {
  if (row_id.page >= pager_.page_count()) return false;
  PageRef page = pager_.Get(row_id.page);
  if (page->type() != kPageData) return false;
  DataPage dp(version_, page->view());
  if (dp.owner() != def_.page || row_id.row >= dp.row_count()) return false;
  page_ = page;
  row_id_ = row_id;
  RowSlot slot = dp.Slot(row_id.row);
  switch (slot.kind) {
    case RowSlotKind::kRow:
      stored_at_ = row_id;
      row_bytes_ = slot.bytes;
      target_page_.reset();
      return true;
    case RowSlotKind::kOverflowPointer:
      return Follow(slot.bytes);
    case RowSlotKind::kMovedCopy:
    case RowSlotKind::kDeleted:
      return false;
  }
  return false;
}

bool TableScan::Next() {
  if (!pages_loaded_) {
    pages_ = ReadUsageMap(pager_, version_, def_.usage_map);
    pages_loaded_ = true;
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
    uint16_t row = static_cast<uint16_t>(next_row_++);
    // The page as it was loaded: rows written through the table since keep
    // their slots, and rows moved onto the page since are moved copies,
    // which the scan skips anyway. Rows not yet met are as loaded, whether
    // or not a write behind has reached the page.
    DataPage dp(version_, page_->view());
    RowSlot slot = dp.Slot(row);
    row_id_ = RowPointer{page_->number(), static_cast<uint8_t>(row)};
    switch (slot.kind) {
      case RowSlotKind::kRow:
        stored_at_ = row_id_;
        row_bytes_ = slot.bytes;
        target_page_.reset();
        return true;
      case RowSlotKind::kOverflowPointer:
        if (Follow(slot.bytes)) return true;
        continue;
      case RowSlotKind::kMovedCopy:
      case RowSlotKind::kDeleted:
        continue;
    }
  }
}

bool TableHasRows(Pager& pager, JetVersion version,
                  const TableDefinition& def) {
  TableScan scan(pager, version, def);
  return scan.Next();
}

}  // namespace jet
