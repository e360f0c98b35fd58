#include "jet/rows/row_store.h"

#include "jet/storage/data_page.h"
#include "jet/storage/data_page_editor.h"
#include "jet/base/error.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"
#include "jet/storage/usage_map.h"

namespace jet {

using namespace data_page_layout;

namespace {

constexpr uint16_t kPointerFlags = kFlagOverflowPointer;
constexpr uint16_t kMovedFlags = kFlagDeletedOrMoved;
constexpr uint16_t kDeletedFlags = kFlagDeletedOrMoved | kFlagOverflowPointer;
constexpr size_t kPointerSize = 4;

}  // namespace

RowStore::RowStore(Pager& pager, JetVersion version, PageAllocator& allocator,
                   const TableDefinition& table)
    : pager_(pager), version_(version), allocator_(allocator), table_(table) {}

uint32_t RowStore::NewDataPage() {
  uint32_t page = allocator_.Allocate();
  std::vector<uint8_t> bytes(pager_.page_size(), 0);
  DataPageEditor::Initialize(version_, bytes, table_.page);
  pager_.Put(page, std::move(bytes));
  if (!SetUsageMapBit(pager_, version_, table_.usage_map, page, true, &allocator_)) {
    throw Error(kErrUnsupportedFeature, "테이블의 페이지 맵에 새 페이지를 기록할 수 없습니다.");
  }
  SetUsageMapBit(pager_, version_, table_.free_space_map, page, true, &allocator_);
  pages_.push_back(page);
  return page;
}

RowPointer RowStore::Place(std::span<const uint8_t> row, uint16_t flags,
                           uint32_t avoid) {
  if (row.size() > DataPageEditor::MaxRowLength(version_)) ThrowRowTooLarge();
  if (!pages_loaded_) {
    pages_ = ReadUsageMap(pager_, version_, table_.usage_map);
    pages_loaded_ = true;
  }
  // New rows go to the table's last pages first, as appends do.
  size_t tried = 0;
  for (auto it = pages_.rbegin(); it != pages_.rend() && tried < 4; ++it) {
    if (*it == avoid) continue;
    PageRef page = pager_.Get(*it);
    if (page->type() != kPageData || DataPage(version_, page->view()).owner() != table_.page) {
      continue;
    }
    ++tried;
    std::vector<uint8_t> bytes = page->bytes();
    DataPageEditor editor(version_, bytes);
    if (auto slot = editor.AddRow(row, flags)) {
      pager_.Put(*it, std::move(bytes));
      return RowPointer{*it, static_cast<uint8_t>(*slot)};
    }
  }
  uint32_t fresh = NewDataPage();
  std::vector<uint8_t> bytes = pager_.CopyForWrite(fresh);
  DataPageEditor editor(version_, bytes);
  auto slot = editor.AddRow(row, flags);
  if (!slot) ThrowRowTooLarge();
  pager_.Put(fresh, std::move(bytes));
  return RowPointer{fresh, static_cast<uint8_t>(*slot)};
}

void RowStore::Replace(RowPointer row_id, RowPointer stored_at,
                       std::span<const uint8_t> row) {
  if (row.size() > DataPageEditor::MaxRowLength(version_)) ThrowRowTooLarge();
  {
    std::vector<uint8_t> bytes = pager_.CopyForWrite(stored_at.page);
    DataPageEditor editor(version_, bytes);
    if (editor.ResizeRow(stored_at.row, row.size())) {
      std::span<uint8_t> target = editor.Row(stored_at.row);
      std::copy(row.begin(), row.end(), target.begin());
      pager_.Put(stored_at.page, std::move(bytes));
      return;
    }
  }
  RowPointer moved = Place(row, kMovedFlags, stored_at.page);
  if (!(stored_at == row_id)) {
    // The old copy of a row that moved before is given up.
    std::vector<uint8_t> bytes = pager_.CopyForWrite(stored_at.page);
    DataPageEditor editor(version_, bytes);
    editor.ResizeRow(stored_at.row, 0);
    editor.SetFlags(stored_at.row, kDeletedFlags);
    pager_.Put(stored_at.page, std::move(bytes));
  }
  std::vector<uint8_t> bytes = pager_.CopyForWrite(row_id.page);
  DataPageEditor editor(version_, bytes);
  if (!editor.ResizeRow(row_id.row, kPointerSize)) {
    ThrowDamaged("이동한 행의 포인터를 쓸 자리가 없습니다");
  }
  std::span<uint8_t> slot = editor.Row(row_id.row);
  uint32_t packed = moved.Packed();
  for (size_t i = 0; i < kPointerSize; ++i) slot[i] = static_cast<uint8_t>(packed >> (8 * i));
  editor.SetFlags(row_id.row, kPointerFlags);
  pager_.Put(row_id.page, std::move(bytes));
}

RowPointer RowStore::Insert(std::span<const uint8_t> row) {
  return Place(row, 0, 0);
}

void RowStore::Delete(RowPointer row_id, RowPointer stored_at) {
  auto give_up = [this](RowPointer slot) {
    std::vector<uint8_t> bytes = pager_.CopyForWrite(slot.page);
    DataPageEditor editor(version_, bytes);
    editor.ResizeRow(slot.row, 0);
    editor.SetFlags(slot.row, kDeletedFlags);
    pager_.Put(slot.page, std::move(bytes));
  };
  if (!(stored_at == row_id)) give_up(stored_at);
  give_up(row_id);
}

}  // namespace jet
