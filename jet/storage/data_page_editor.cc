#include "jet/storage/data_page_editor.h"

#include <algorithm>
#include <cstring>

#include "jet/storage/data_page.h"
#include "jet/base/error.h"

namespace jet {

using namespace data_page_layout;

namespace {

uint16_t Get16(const std::vector<uint8_t>& p, size_t at) {
  return static_cast<uint16_t>(p[at] | (p[at + 1] << 8));
}
void Set16(std::vector<uint8_t>& p, size_t at, size_t v) {
  p[at] = static_cast<uint8_t>(v);
  p[at + 1] = static_cast<uint8_t>(v >> 8);
}

}  // namespace

DataPageEditor::DataPageEditor(JetVersion version, std::vector<uint8_t>& page)
    : page_(page), count_offset_(RowCountOffset(version)) {
  if (page_.empty() || page_[0] != kPageData) {
    ThrowDamaged("데이터 페이지가 아닙니다");
  }
}

void DataPageEditor::Initialize(JetVersion version, std::vector<uint8_t>& page,
                                uint32_t owner) {
  std::fill(page.begin(), page.end(), 0);
  page[0] = kPageData;
  page[1] = 0x01;
  page[kOwnerOffset] = static_cast<uint8_t>(owner);
  page[kOwnerOffset + 1] = static_cast<uint8_t>(owner >> 8);
  page[kOwnerOffset + 2] = static_cast<uint8_t>(owner >> 16);
  page[kOwnerOffset + 3] = static_cast<uint8_t>(owner >> 24);
  size_t table = RowCountOffset(version) + 2;
  Set16(page, kFreeSpaceOffset, page.size() - table);
}

size_t DataPageEditor::MaxRowLength(JetVersion version) {
  return PageSizeOf(version) - (RowCountOffset(version) + 2) - 2;
}

uint16_t DataPageEditor::row_count() const {
  return Get16(page_, count_offset_);
}

size_t DataPageEditor::TableEnd() const {
  return count_offset_ + 2 + 2u * row_count();
}

size_t DataPageEditor::Start(uint16_t slot) const {
  return Get16(page_, count_offset_ + 2 + 2u * slot) & kOffsetMask;
}

size_t DataPageEditor::End(uint16_t slot) const {
  for (int r = static_cast<int>(slot) - 1; r >= 0; --r) {
    size_t s = Start(static_cast<uint16_t>(r));
    if (s != 0) return s;
  }
  return page_.size();
}

size_t DataPageEditor::LowestStart() const {
  size_t lowest = page_.size();
  const uint8_t* offsets = page_.data() + count_offset_ + 2;
  const uint16_t count = row_count();
  for (uint16_t s = 0; s < count; ++s) {
    const size_t start =
        (offsets[2 * s] | (offsets[2 * s + 1] << 8)) & kOffsetMask;
    if (start != 0 && start < lowest) lowest = start;
  }
  return lowest;
}

size_t DataPageEditor::free_space() const {
  size_t lowest = LowestStart();
  size_t table = TableEnd();
  return lowest > table ? lowest - table : 0;
}

uint16_t DataPageEditor::Flags(uint16_t slot) const {
  return Get16(page_, count_offset_ + 2 + 2u * slot) & ~kOffsetMask;
}

void DataPageEditor::SetOffset(uint16_t slot, size_t start, uint16_t flags) {
  Set16(page_, count_offset_ + 2 + 2u * slot, start | flags);
}

void DataPageEditor::SetFlags(uint16_t slot, uint16_t flags) {
  SetOffset(slot, Start(slot), flags);
}

std::span<uint8_t> DataPageEditor::Row(uint16_t slot) {
  size_t start = Start(slot), end = End(slot);
  if (start > end || end > page_.size())
    ThrowDamaged("행 위치가 잘못되었습니다");
  return std::span<uint8_t>(page_.data() + start, end - start);
}

void DataPageEditor::UpdateFreeSpace() {
  Set16(page_, kFreeSpaceOffset, free_space());
}

bool DataPageEditor::ResizeRow(uint16_t slot, size_t length) {
  size_t start = Start(slot), end = End(slot);
  size_t old_length = end - start;
  if (length == old_length) return true;
  const size_t lowest = LowestStart();
  const size_t table = TableEnd();
  const size_t free = lowest > table ? lowest - table : 0;
  if (length > old_length && length - old_length > free) return false;
  // Rows stored below this one (higher slots, lower addresses, deleted rows
  // of no length among them) move by the difference; the row keeps its end
  // and its first bytes. A growing row's neighbours move down first, out of
  // the way of its head; a shrinking row's head moves up first, within its
  // own old bytes, before the neighbours follow.
  const long delta = static_cast<long>(length) - static_cast<long>(old_length);
  const size_t keep = std::min(length, old_length);
  const size_t new_start = start - delta;
  if (delta > 0) {
    std::memmove(page_.data() + lowest - delta, page_.data() + lowest,
                 start - lowest);
    std::memmove(page_.data() + new_start, page_.data() + start, keep);
  } else {
    std::memmove(page_.data() + new_start, page_.data() + start, keep);
    std::memmove(page_.data() + lowest - delta, page_.data() + lowest,
                 start - lowest);
  }
  const uint16_t count = row_count();
  for (uint16_t s = slot + 1; s < count; ++s) {
    const uint16_t entry = Get16(page_, count_offset_ + 2 + 2u * s);
    const size_t st = entry & kOffsetMask;
    if (st != 0) {
      SetOffset(s, st - delta, static_cast<uint16_t>(entry & ~kOffsetMask));
    }
  }
  SetOffset(slot, new_start, Flags(slot));
  const size_t new_lowest = lowest - delta;
  Set16(page_, kFreeSpaceOffset, new_lowest > table ? new_lowest - table : 0);
  return true;
}

bool DataPageEditor::HasRoomFor(size_t length) const {
  return row_count() < kMaxRows && free_space() >= length + 2;
}

std::optional<uint16_t> DataPageEditor::AddRow(std::span<const uint8_t> row,
                                               uint16_t flags) {
  // The same test as HasRoomFor, with the lowest row start found once.
  const size_t lowest = LowestStart();
  const size_t table = TableEnd();
  const size_t free = lowest > table ? lowest - table : 0;
  if (row_count() >= kMaxRows || free < row.size() + 2) return std::nullopt;
  size_t start = lowest - row.size();
  uint16_t slot = row_count();
  Set16(page_, count_offset_, slot + 1u);
  std::copy(row.begin(), row.end(), page_.begin() + start);
  SetOffset(slot, start, flags);
  // The new row is the lowest, and the offset table grew by one entry.
  Set16(page_, kFreeSpaceOffset, start > table + 2 ? start - (table + 2) : 0);
  return slot;
}

}  // namespace jet
