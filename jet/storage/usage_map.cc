#include "jet/storage/usage_map.h"

#include <string>

#include "jet/storage/data_page.h"
#include "jet/base/error.h"
#include "jet/storage/pager.h"

namespace jet {

using namespace usage_map_layout;

namespace {

void AddBits(ByteView bitmap, uint64_t first_page, uint32_t page_count,
             std::vector<uint32_t>& out) {
  for (size_t i = 0; i < bitmap.size(); ++i) {
    uint8_t b = bitmap.U8(i);
    if (b == 0) continue;
    for (int bit = 0; bit < 8; ++bit) {
      if (!(b & (1u << bit))) continue;
      uint64_t page = first_page + i * 8 + bit;
      if (page < page_count) out.push_back(static_cast<uint32_t>(page));
    }
  }
}

}  // namespace

std::vector<uint32_t> DecodeUsageMap(Pager& pager, ByteView row) {
  std::vector<uint32_t> pages;
  uint8_t kind = row.U8(0);
  if (kind == kInline) {
    uint32_t first = row.U32(kInlineStartOffset);
    AddBits(row.From(kInlineBitmapOffset), first, pager.page_count(), pages);
  } else if (kind == kReference) {
    uint64_t per_page = static_cast<uint64_t>(pager.page_size() -
                                              kBitmapPageHeader) * 8;
    size_t count = (row.size() - kReferencePagesOffset) / 4;
    for (size_t i = 0; i < count; ++i) {
      uint32_t map_page = row.U32(kReferencePagesOffset + 4 * i);
      // 0 means no map page; real files also carry values past the end of
      // the file there (0xFFFFFF80 in a global map), which mean the same.
      if (map_page == 0 || map_page >= pager.page_count()) continue;
      PageRef p = pager.Get(map_page);
      if (p->type() != kPageUsageBitmap) {
        ThrowDamaged("페이지 " + std::to_string(map_page) +
                     " 은(는) 사용 비트맵 페이지가 아닙니다");
      }
      AddBits(p->view().From(kBitmapPageHeader), i * per_page,
              pager.page_count(), pages);
    }
  } else {
    ThrowDamaged("알 수 없는 사용 맵 형식 " + std::to_string(kind));
  }
  return pages;
}

std::vector<uint32_t> ReadUsageMap(Pager& pager, JetVersion version,
                                   RowPointer where) {
  PageRef p = pager.Get(where.page);
  DataPage page(version, p->view());
  RowSlot slot = page.Slot(where.row);
  return DecodeUsageMap(pager, slot.bytes);
}

}  // namespace jet
