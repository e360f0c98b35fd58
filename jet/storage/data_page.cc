#include "jet/storage/data_page.h"

#include <string>

#include "jet/base/error.h"

namespace jet {

using namespace data_page_layout;

DataPage::DataPage(JetVersion version, ByteView page)
    : page_(page), table_offset_(RowCountOffset(version) + 2) {
  if (page.U8(0) != kPageData) ThrowDamaged("데이터 페이지가 아닙니다");
  row_count_ = page.U16(RowCountOffset(version));
  if (!page.Contains(table_offset_, 2u * row_count_)) {
    ThrowDamaged("행 개수 " + std::to_string(row_count_) +
                 " 이(가) 페이지에 맞지 않습니다");
  }
}

RowSlot DataPage::Slot(uint16_t row) const {
  if (row >= row_count_) {
    ThrowDamaged("행 " + std::to_string(row) + " 이(가) 없습니다");
  }
  uint16_t raw = RawOffset(row);
  size_t start = raw & kOffsetMask;
  // The row ends where the previous slot's row begins; slot 0 at page end.
  size_t end = page_.size();
  for (int r = static_cast<int>(row) - 1; r >= 0; --r) {
    size_t prev = RawOffset(static_cast<uint16_t>(r)) & kOffsetMask;
    if (prev != 0) {
      end = prev;
      break;
    }
  }
  size_t header_end = table_offset_ + 2u * row_count_;
  if (start < header_end || start > end || end > page_.size()) {
    ThrowDamaged("행 " + std::to_string(row) + " 의 위치가 잘못되었습니다");
  }
  RowSlotKind kind;
  bool pointer = raw & kFlagOverflowPointer;
  bool flagged = raw & kFlagDeletedOrMoved;
  if (pointer && flagged) {
    kind = RowSlotKind::kDeleted;
  } else if (pointer) {
    kind = RowSlotKind::kOverflowPointer;
  } else if (flagged) {
    kind = RowSlotKind::kMovedCopy;
  } else {
    kind = RowSlotKind::kRow;
  }
  return RowSlot{kind, page_.Sub(start, end - start)};
}

}  // namespace jet
