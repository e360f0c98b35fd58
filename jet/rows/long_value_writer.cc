#include "jet/rows/long_value_writer.h"

#include <algorithm>
#include <set>

#include "jet/storage/data_page.h"
#include "jet/storage/data_page_editor.h"
#include "jet/base/error.h"
#include "jet/rows/long_value.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"

namespace jet {

using namespace long_value_layout;

namespace {

void Put32(std::vector<uint8_t>& out, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) out[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// Pages with room tried for a new row before a new page is taken.
constexpr size_t kPagesTried = 16;
// Pages with room remembered per column.
constexpr size_t kMaxCandidates = 4 * kPagesTried;
// A row's entry in the page's offset table.
constexpr size_t kSlotSize = 2;

constexpr uint16_t kDeletedFlags = data_page_layout::kFlagDeletedOrMoved |
                                   data_page_layout::kFlagOverflowPointer;

}  // namespace

LongValueWriter::LongValueWriter(Pager& pager, JetVersion version,
                                 PageAllocator& allocator,
                                 const TableDefinition& table)
    : pager_(pager), version_(version), allocator_(allocator), table_(table) {}

RowPointer LongValueWriter::AddRow(std::span<const uint8_t> row,
                                   const ColumnDefinition& column) {
  std::vector<uint32_t>& candidates = candidates_[column.number];
  // The free-space field of a page this writer keeps is exact, so a page
  // is only copied for writing when the row fits it. Pages too full for
  // any long-value row leave the list, so that it stays short.
  size_t tried = 0;
  for (size_t k = candidates.size(); k-- > 0 && tried < kPagesTried;) {
    const uint32_t number = candidates[k];
    DataPage page(version_, pager_.Get(number)->view());
    if (page.free_space() < kMaxInlineLength + kSlotSize) {
      candidates.erase(candidates.begin() + static_cast<ptrdiff_t>(k));
      continue;
    }
    ++tried;
    if (page.free_space() < row.size() + kSlotSize ||
        page.row_count() >= DataPageEditor::kMaxRows) {
      continue;
    }
    if (std::vector<uint8_t>* in_place = pager_.WritableInPlace(number)) {
      DataPageEditor editor(version_, *in_place);
      if (auto slot = editor.AddRow(row, 0)) {
        return RowPointer{number, static_cast<uint8_t>(*slot)};
      }
      continue;
    }
    std::vector<uint8_t> bytes = pager_.CopyForWrite(number);
    DataPageEditor editor(version_, bytes);
    if (auto slot = editor.AddRow(row, 0)) {
      pager_.Put(number, std::move(bytes));
      return RowPointer{number, static_cast<uint8_t>(*slot)};
    }
  }
  uint32_t page = allocator_.Allocate();
  std::vector<uint8_t> bytes(pager_.page_size(), 0);
  DataPageEditor::Initialize(version_, bytes,
                             data_page_layout::kLongValueOwner);
  DataPageEditor editor(version_, bytes);
  auto slot = editor.AddRow(row, 0);
  if (!slot)
    throw Error(kErrUnsupportedFeature, "긴 값 행이 페이지보다 큽니다.");
  pager_.Put(page, std::move(bytes));
  if (const LongValueColumnMaps* maps =
          table_.FindLongValueMaps(column.number)) {
    SetUsageMapBit(pager_, version_, maps->usage_map, page, true, &allocator_);
  }
  MakeRecentCandidate(candidates, page);
  return RowPointer{page, static_cast<uint8_t>(*slot)};
}

void LongValueWriter::MakeRecentCandidate(std::vector<uint32_t>& candidates,
                                          uint32_t page) {
  auto known = std::find(candidates.begin(), candidates.end(), page);
  if (known != candidates.end()) {
    candidates.erase(known);
  } else if (candidates.size() >= kMaxCandidates) {
    candidates.erase(candidates.begin());
  }
  candidates.push_back(page);
}

std::vector<uint8_t> LongValueWriter::Write(std::span<const uint8_t> data,
                                            const ColumnDefinition& column) {
  std::vector<uint8_t> ref;
  Write(data, column, ref);
  return ref;
}

void LongValueWriter::Write(std::span<const uint8_t> data,
                            const ColumnDefinition& column,
                            std::vector<uint8_t>& ref) {
  if (data.size() > kLengthMask) {
    throw Error(kErrFieldTooSmall,
                "'" + column.name + "' 필드의 값이 너무 깁니다.");
  }
  ref.assign(kReferenceSize, 0);
  uint32_t length = static_cast<uint32_t>(data.size());
  if (data.size() <= kMaxInlineLength) {
    Put32(ref, 0, length | kInline);
    ref.resize(kReferenceSize + data.size());
    std::copy(data.begin(), data.end(), ref.begin() + kReferenceSize);
    return;
  }
  const size_t max_row = DataPageEditor::MaxRowLength(version_);
  if (data.size() <= max_row) {
    RowPointer at = AddRow(data, column);
    Put32(ref, 0, length | kSingleRow);
    Put32(ref, kPointerOffset, at.Packed());
    return;
  }
  // A chain, written from its last part back so that each row can carry
  // the pointer to the one after it.
  const size_t part = max_row - kChainHeader;
  size_t parts = (data.size() + part - 1) / part;
  uint32_t next = 0;
  for (size_t i = parts; i-- > 0;) {
    size_t from = i * part;
    size_t n = std::min(part, data.size() - from);
    std::vector<uint8_t> row(kChainHeader + n);
    Put32(row, 0, next);
    std::copy(data.begin() + from, data.begin() + from + n,
              row.begin() + kChainHeader);
    next = AddRow(row, column).Packed();
  }
  Put32(ref, 0, length);
  Put32(ref, kPointerOffset, next);
}

void LongValueWriter::Free(ByteView ref, const ColumnDefinition& column) {
  std::vector<uint32_t>& candidates = candidates_[column.number];
  uint32_t word = ref.U32(0);
  if (word & kInline) return;
  RowPointer at = RowPointer::FromPacked(ref.U32(kPointerOffset));
  bool chain = !(word & kSingleRow);
  // Rows of a chain already freed: a damaged chain may loop.
  std::set<uint32_t> seen;
  while (at.Packed() != 0 && (!chain || seen.insert(at.Packed()).second)) {
    std::vector<uint8_t> bytes = pager_.CopyForWrite(at.page);
    DataPageEditor editor(version_, bytes);
    if (at.row >= editor.row_count()) ThrowDamaged("긴 값 행이 없습니다");
    RowPointer next{};
    if (chain) {
      ByteView row(editor.Row(at.row).data(), editor.Row(at.row).size());
      next = RowPointer::FromPacked(row.U32(0));
    }
    editor.ResizeRow(at.row, 0);
    editor.SetFlags(at.row, kDeletedFlags);
    pager_.Put(at.page, std::move(bytes));
    // The page with the room just freed is the first tried for the next
    // value, so that replaced values give their space to the new ones.
    MakeRecentCandidate(candidates, at.page);
    if (!chain) break;
    at = next;
  }
}

void LongValueWriter::Replace(ByteView old_ref, std::span<const uint8_t> data,
                              const ColumnDefinition& column,
                              std::vector<uint8_t>& ref) {
  if (!RewriteInPlace(old_ref, data, column, ref)) {
    Write(data, column, ref);
    Free(old_ref, column);
  }
}

bool LongValueWriter::RewriteInPlace(ByteView old_ref,
                                     std::span<const uint8_t> data,
                                     const ColumnDefinition& column,
                                     std::vector<uint8_t>& ref) {
  const uint32_t word = old_ref.U32(0);
  const size_t old_length = word & kLengthMask;
  if ((word & kInline) || !(word & kSingleRow) ||
      data.size() <= kMaxInlineLength || data.size() > old_length) {
    return false;
  }
  const RowPointer at = RowPointer::FromPacked(old_ref.U32(kPointerOffset));
  std::vector<uint8_t> bytes = pager_.CopyForWrite(at.page);
  DataPageEditor editor(version_, bytes);
  // Not the row the reference describes: the general way finds out.
  if (at.row >= editor.row_count() || (editor.Flags(at.row) & kDeletedFlags) ||
      editor.Row(at.row).size() != old_length) {
    return false;
  }
  // A shrinking row keeps its end: its new bytes start further on.
  editor.ResizeRow(at.row, data.size());
  std::span<uint8_t> row = editor.Row(at.row);
  std::copy(data.begin(), data.end(), row.begin());
  pager_.Put(at.page, std::move(bytes));
  MakeRecentCandidate(candidates_[column.number], at.page);
  ref.assign(kReferenceSize, 0);
  Put32(ref, 0, static_cast<uint32_t>(data.size()) | kSingleRow);
  Put32(ref, kPointerOffset, at.Packed());
  return true;
}

}  // namespace jet
