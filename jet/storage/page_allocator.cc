#include "jet/storage/page_allocator.h"

#include <algorithm>

#include "jet/storage/data_page_editor.h"
#include "jet/base/error.h"
#include "jet/storage/pager.h"
#include "jet/storage/usage_map.h"

namespace jet {

using namespace usage_map_layout;

namespace {

uint32_t Get32(const std::span<uint8_t>& b, size_t at) {
  return static_cast<uint32_t>(b[at]) |
         (static_cast<uint32_t>(b[at + 1]) << 8) |
         (static_cast<uint32_t>(b[at + 2]) << 16) |
         (static_cast<uint32_t>(b[at + 3]) << 24);
}
void Set32(std::span<uint8_t> b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

void SetBit(std::span<uint8_t> bitmap, uint64_t bit, bool value) {
  uint8_t mask = static_cast<uint8_t>(1u << (bit % 8));
  if (value) {
    bitmap[bit / 8] |= mask;
  } else {
    bitmap[bit / 8] &= static_cast<uint8_t>(~mask);
  }
}

uint64_t PagesPerBitmapPage(const Pager& pager) {
  return static_cast<uint64_t>(pager.page_size() - kBitmapPageHeader) * 8;
}

}  // namespace

bool SetUsageMapBit(Pager& pager, JetVersion version, RowPointer where,
                    uint32_t page, bool value, PageAllocator* allocator) {
  std::vector<uint8_t> bytes = pager.CopyForWrite(where.page);
  DataPageEditor editor(version, bytes);
  if (where.row >= editor.row_count()) ThrowDamaged("사용 맵 행이 없습니다");
  std::span<uint8_t> row = editor.Row(where.row);
  if (row.empty()) ThrowDamaged("사용 맵 행이 비어 있습니다");

  if (row[0] == kInline) {
    if (row.size() <= kInlineBitmapOffset)
      ThrowDamaged("사용 맵 행이 짧습니다");
    uint32_t first = Get32(row, kInlineStartOffset);
    std::span<uint8_t> bitmap = row.subspan(kInlineBitmapOffset);
    uint64_t covered = static_cast<uint64_t>(bitmap.size()) * 8;
    if (page >= first && page - first < covered) {
      SetBit(bitmap, page - first, value);
      pager.Put(where.page, std::move(bytes));
      return true;
    }
    if (!value) return true;  // an uncovered page is not in the map anyway
    if (!allocator) return false;
    bool empty = std::all_of(bitmap.begin(), bitmap.end(),
                             [](uint8_t b) { return b == 0; });
    if (empty) {
      // Move the map's window so that it starts at this page.
      uint32_t start = page - page % 8;
      Set32(row, kInlineStartOffset, start);
      SetBit(bitmap, page - start, true);
      pager.Put(where.page, std::move(bytes));
      return true;
    }
    // Turn it into a reference map: the same row holds bitmap page numbers.
    std::vector<uint32_t> pages;
    for (uint64_t bit = 0; bit < covered; ++bit) {
      if (bitmap[bit / 8] & (1u << (bit % 8)))
        pages.push_back(first + static_cast<uint32_t>(bit));
    }
    std::fill(row.begin(), row.end(), 0);
    row[0] = kReference;
    pager.Put(where.page, std::move(bytes));
    pages.push_back(page);
    for (uint32_t p : pages) {
      if (!SetUsageMapBit(pager, version, where, p, true, allocator))
        return false;
    }
    return true;
  }

  if (row[0] != kReference) ThrowDamaged("알 수 없는 사용 맵 형식입니다");
  uint64_t per_page = PagesPerBitmapPage(pager);
  size_t index = page / per_page;
  size_t pointer_at = kReferencePagesOffset + 4 * index;
  if (pointer_at + 4 > row.size()) return !value;
  uint32_t map_page = Get32(row, pointer_at);
  if (map_page == 0 || map_page >= pager.page_count()) {
    if (!value) return true;
    if (!allocator) return false;
    uint32_t fresh = allocator->Allocate();
    std::vector<uint8_t> bitmap_page(pager.page_size(), 0);
    bitmap_page[0] = kPageUsageBitmap;
    bitmap_page[1] = 0x01;
    pager.Put(fresh, std::move(bitmap_page));
    // The map row may have moved in memory: take it again.
    bytes = pager.CopyForWrite(where.page);
    DataPageEditor again(version, bytes);
    Set32(again.Row(where.row), pointer_at, fresh);
    pager.Put(where.page, std::move(bytes));
    map_page = fresh;
  }
  std::vector<uint8_t> bitmap_page = pager.CopyForWrite(map_page);
  if (bitmap_page[0] != kPageUsageBitmap) {
    ThrowDamaged("사용 비트맵 페이지가 아닙니다");
  }
  SetBit(std::span<uint8_t>(bitmap_page).subspan(kBitmapPageHeader),
         page % per_page, value);
  pager.Put(map_page, std::move(bitmap_page));
  return true;
}

uint32_t PageAllocator::Allocate() {
  // The lowest free page inside the file; none when the map's page is
  // still the one this allocator left after finding none (a writer that
  // fills a new file allocates every page at the end).
  if (!(full_map_ && pager_.Get(kGlobalUsageMap.page) == full_map_)) {
    if (std::optional<uint32_t> p = TakeFreePage()) return *p;
  }
  uint32_t p = pager_.Append();
  SetUsageMapBit(pager_, version_, kGlobalUsageMap, p, false, nullptr);
  full_map_ = pager_.Get(kGlobalUsageMap.page);
  return p;
}

std::optional<uint32_t> PageAllocator::TakeFreePage() {
  full_map_.reset();
  std::vector<uint32_t> free_pages =
      ReadUsageMap(pager_, version_, kGlobalUsageMap);
  for (uint32_t p : free_pages) {
    if (p <= 2) continue;  // the header, global map and catalog pages
    // Real files list pages as free that still look like live data or index
    // pages (and a table's map may still name them); only pages that hold
    // nothing recognisable are taken again.
    uint8_t type = pager_.Get(p)->type();
    if (type >= kPageData && type <= kPageUsageBitmap) continue;
    SetUsageMapBit(pager_, version_, kGlobalUsageMap, p, false, nullptr);
    pager_.Put(p, std::vector<uint8_t>(pager_.page_size(), 0));
    return p;
  }
  return std::nullopt;
}

void PageAllocator::Free(uint32_t page) {
  full_map_.reset();
  pager_.Put(page, std::vector<uint8_t>(pager_.page_size(), 0));
  SetUsageMapBit(pager_, version_, kGlobalUsageMap, page, true, nullptr);
}

}  // namespace jet
