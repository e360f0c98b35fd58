#include "jet/check/data_page_check.h"

#include "jet/storage/data_page.h"

namespace jet {

using namespace data_page_layout;

DataPageLayout InspectDataPageLayout(JetVersion version, ByteView page) {
  DataPageLayout out;
  size_t count_at = RowCountOffset(version);
  if (!page.Contains(count_at, 2)) {
    out.offset_problem = "페이지가 머리말보다 짧습니다";
    return out;
  }
  out.stored_free_space = page.U16(kFreeSpaceOffset);
  out.row_count = page.U16(count_at);
  size_t table_start = count_at + 2;
  size_t table_end = table_start + 2u * out.row_count;
  if (table_end > page.size()) {
    out.offset_problem = "행 개수 " + std::to_string(out.row_count) +
                         " 이(가) 페이지에 맞지 않습니다";
    return out;
  }
  size_t previous = page.size();  // rows end where the slot before begins
  for (uint16_t slot = 0; slot < out.row_count; ++slot) {
    size_t offset = page.U16(table_start + 2u * slot) & kOffsetMask;
    if (offset == 0) continue;
    if (offset < table_end || offset > page.size()) {
      out.offset_problem = "행 " + std::to_string(slot) + " 의 위치 " +
                           std::to_string(offset) + " 이(가) 페이지 밖입니다";
      out.bad_slot = slot;
      return out;
    }
    if (offset > previous) {
      out.offset_problem = "행 " + std::to_string(slot) + " 의 위치 " +
                           std::to_string(offset) + " 이(가) 앞 행의 위치 " +
                           std::to_string(previous) + " 보다 뒤입니다";
      out.bad_slot = slot;
      return out;
    }
    previous = offset;
  }
  // `previous` is now the lowest row offset (the page end without rows).
  out.actual_free_space = previous - table_end;
  return out;
}

}  // namespace jet
