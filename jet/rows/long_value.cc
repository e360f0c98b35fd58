#include "jet/rows/long_value.h"

#include <algorithm>
#include <set>
#include <string>

#include "jet/storage/data_page.h"
#include "jet/base/error.h"
#include "jet/storage/pager.h"

namespace jet {

using namespace long_value_layout;

std::vector<uint8_t> LongValueReader::Read(ByteView ref) const {
  std::vector<uint8_t> out;
  Read(ref, out);
  return out;
}

void LongValueReader::Read(ByteView ref, std::vector<uint8_t>& out) const {
  out.clear();
  uint32_t word = ref.U32(0);
  size_t length = word & kLengthMask;
  if (word & kInline) {
    ByteView data = ref.Sub(kReferenceSize, length);
    out.assign(data.data(), data.data() + length);
    return;
  }
  // A value cannot be longer than the file that holds it.
  if (length >
      static_cast<uint64_t>(pager_.page_count()) * pager_.page_size()) {
    ThrowDamaged("긴 값의 길이가 잘못되었습니다");
  }
  RowPointer where = RowPointer::FromPacked(ref.U32(kPointerOffset));
  out.reserve(length);
  if (word & kSingleRow) {
    PageRef p = pager_.Get(where.page);
    RowSlot slot = DataPage(version_, p->view()).Slot(where.row);
    ByteView data = slot.bytes.Sub(0, length);
    out.assign(data.data(), data.data() + length);
    return;
  }
  std::set<uint32_t> seen;
  while (out.size() < length) {
    if (where.Packed() == 0 || !seen.insert(where.Packed()).second) {
      ThrowDamaged("긴 값의 연결이 끊어졌거나 순환합니다");
    }
    PageRef p = pager_.Get(where.page);
    RowSlot slot = DataPage(version_, p->view()).Slot(where.row);
    uint32_t next = slot.bytes.U32(0);
    ByteView part = slot.bytes.From(kChainHeader);
    size_t take = std::min(part.size(), length - out.size());
    out.insert(out.end(), part.data(), part.data() + take);
    where = RowPointer::FromPacked(next);
  }
}

}  // namespace jet
