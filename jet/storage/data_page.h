// Data pages: rows of one table, or long values (then 'LVAL' stands where
// the table definition page number would be).
//
//   Jet 3  Jet 4  size  field
//   0x00   0x00   1     page type 0x01
//   0x01   0x01   1     0x01
//   0x02   0x02   2     free space in bytes
//   0x04   0x04   4     owning table definition page ('LVAL' for long values)
//   -      0x08   4     unknown
//   0x08   0x0C   2     number of row slots
//   0x0A   0x0E   2*n   row offset table, one 2-byte entry per slot
//
// Rows fill the page from its end toward the offset table: slot 0 runs from
// its offset to the end of the page, slot i from its offset to the offset of
// slot i-1. The top bits of an entry are flags (the offset is the low 13):
//   0x4000 alone   the slot holds a 4-byte row pointer to the row's new place
//   0x8000 alone   the row is the new copy of a row moved from another slot;
//                  a scan reaches it through that slot's pointer
//   0xC000         the row is deleted
#ifndef MDBCARE_JET_STORAGE_DATA_PAGE_H_
#define MDBCARE_JET_STORAGE_DATA_PAGE_H_

#include <cstdint>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

namespace data_page_layout {
inline constexpr size_t kFreeSpaceOffset = 0x02;
inline constexpr size_t kOwnerOffset = 0x04;
inline constexpr size_t kJet3RowCountOffset = 0x08;
inline constexpr size_t kJet4RowCountOffset = 0x0C;
inline constexpr uint16_t kOffsetMask = 0x1FFF;
inline constexpr uint16_t kFlagOverflowPointer = 0x4000;
inline constexpr uint16_t kFlagDeletedOrMoved = 0x8000;
inline constexpr uint32_t kLongValueOwner = 0x4C41564C;  // "LVAL"

inline size_t RowCountOffset(JetVersion v) {
  return v == JetVersion::kJet3 ? kJet3RowCountOffset : kJet4RowCountOffset;
}
}  // namespace data_page_layout

enum class RowSlotKind {
  kRow,              // a live row stored here
  kOverflowPointer,  // a pointer to the row's new place
  kMovedCopy,        // the new copy of a moved row
  kDeleted,
};

struct RowSlot {
  RowSlotKind kind;
  ByteView bytes;  // the row (or the pointer) bytes
};

class DataPage {
 public:
  // Checks the page type and the row count against the page size.
  DataPage(JetVersion version, ByteView page);

  uint32_t owner() const { return page_.U32(data_page_layout::kOwnerOffset); }
  bool is_long_value_page() const {
    return owner() == data_page_layout::kLongValueOwner;
  }
  uint16_t free_space() const {
    return page_.U16(data_page_layout::kFreeSpaceOffset);
  }
  uint16_t row_count() const { return row_count_; }

  // Slot `row` with its bytes; raises the damaged-file error where its
  // offsets do not lie inside the page.
  RowSlot Slot(uint16_t row) const;

 private:
  uint16_t RawOffset(uint16_t row) const {
    return page_.U16(table_offset_ + 2u * row);
  }

  ByteView page_;
  size_t table_offset_;
  uint16_t row_count_;
};

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_DATA_PAGE_H_
