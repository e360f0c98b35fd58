// Storing long values (memo and OLE) in the layout of long_value.h: inline
// in the row up to kMaxInlineLength bytes, else in one long-value row when
// it fits a page, else in a chain of rows. Long-value pages are data pages
// owned by 'LVAL'; in Jet 4 each is listed in the usage map of its column
// (see LongValueColumnMaps), in Jet 3 only the global map knows them.
#ifndef MDBCARE_JET_ROWS_LONG_VALUE_WRITER_H_
#define MDBCARE_JET_ROWS_LONG_VALUE_WRITER_H_

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"
#include "jet/rows/table_definition.h"

namespace jet {

class Pager;
class PageAllocator;

class LongValueWriter {
 public:
  static constexpr size_t kMaxInlineLength = 64;

  // All must outlive the writer.
  LongValueWriter(Pager& pager, JetVersion version, PageAllocator& allocator,
                  const TableDefinition& table);

  // Stores `data` for `column`; returns the reference as the row keeps it
  // (12 bytes, followed by the data when inline). Inside a write group.
  std::vector<uint8_t> Write(std::span<const uint8_t> data,
                             const ColumnDefinition& column);
  // The same, the reference written into `ref` (its memory reused).
  void Write(std::span<const uint8_t> data, const ColumnDefinition& column,
             std::vector<uint8_t>& ref);

  // Frees the long-value rows `reference` points to: each becomes a deleted
  // row of no length, its space free for the next value.
  void Free(ByteView reference, const ColumnDefinition& column);

  // Stores `data` in place of the value `old_reference` points to; the new
  // reference goes into `ref`. A value in one long-value row that the new
  // one fits without being inline (a trimmed memo) is rewritten in that
  // row, which shrinks; any other is written anew and the old one freed.
  void Replace(ByteView old_reference, std::span<const uint8_t> data,
               const ColumnDefinition& column, std::vector<uint8_t>& ref);

 private:
  RowPointer AddRow(std::span<const uint8_t> row,
                    const ColumnDefinition& column);
  // Replace's rewrite in the value's own long-value row; false, with
  // nothing changed, where the value is not in one such row or the new one
  // does not fit it without being inline.
  bool RewriteInPlace(ByteView old_reference, std::span<const uint8_t> data,
                      const ColumnDefinition& column,
                      std::vector<uint8_t>& ref);
  // Makes `page` the most recent candidate of `candidates`.
  static void MakeRecentCandidate(std::vector<uint32_t>& candidates,
                                  uint32_t page);

  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  const TableDefinition& table_;
  // Per column number: long-value pages with room seen by this writer, most
  // recent last, at most kMaxCandidates of them (a new value tries only the
  // last few, and a sweep that frees a value on every page would otherwise
  // grow the list, and each look-up in it, with the file). Pages stay with
  // their column, whose map lists them.
  std::map<uint16_t, std::vector<uint32_t>> candidates_;
};

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_LONG_VALUE_WRITER_H_
