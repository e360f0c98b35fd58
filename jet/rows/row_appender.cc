#include "jet/rows/row_appender.h"

#include "jet/storage/data_page_editor.h"
#include "jet/base/error.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"

namespace jet {

RowAppender::RowAppender(Pager& pager, JetVersion version,
                         PageAllocator& allocator, const TableDefinition& table)
    : pager_(pager), version_(version), allocator_(allocator), table_(table) {}

RowAppender::~RowAppender() = default;

void RowAppender::StartPage() {
  page_number_ = allocator_.Allocate();
  page_.assign(pager_.page_size(), 0);
  DataPageEditor::Initialize(version_, page_, table_.page);
  if (!SetUsageMapBit(pager_, version_, table_.usage_map, page_number_, true,
                      &allocator_) ||
      !SetUsageMapBit(pager_, version_, table_.free_space_map, page_number_,
                      true, &allocator_)) {
    throw Error(kErrUnsupportedFeature,
                "테이블의 페이지 맵에 새 페이지를 기록할 수 없습니다.");
  }
}

RowPointer RowAppender::Append(std::span<const uint8_t> row) {
  if (row.size() > DataPageEditor::MaxRowLength(version_)) ThrowRowTooLarge();
  if (page_number_ != 0) {
    DataPageEditor editor(version_, page_);
    if (auto slot = editor.AddRow(row, 0)) {
      return RowPointer{page_number_, static_cast<uint8_t>(*slot)};
    }
    Finish();
  }
  StartPage();
  DataPageEditor editor(version_, page_);
  auto slot = editor.AddRow(row, 0);
  if (!slot) ThrowRowTooLarge();
  return RowPointer{page_number_, static_cast<uint8_t>(*slot)};
}

void RowAppender::Finish() {
  if (page_number_ == 0) return;
  pager_.Put(page_number_, page_);
  page_number_ = 0;
}

}  // namespace jet
