// Rows appended to a new table one after another, as a compaction writes
// them: each row goes on the table's current last data page while it has
// room, else on a new data page, which the table's usage map and its map of
// pages with free space record. Rows are never moved, so a row's id is
// where its bytes are.
#ifndef MDBCARE_JET_ROWS_ROW_APPENDER_H_
#define MDBCARE_JET_ROWS_ROW_APPENDER_H_

#include <cstdint>
#include <span>
#include <vector>

#include "jet/base/format.h"
#include "jet/rows/table_definition.h"

namespace jet {

class Pager;
class PageAllocator;

class RowAppender {
 public:
  // All must outlive the appender. Pages are written inside the caller's
  // write groups.
  RowAppender(Pager& pager, JetVersion version, PageAllocator& allocator,
              const TableDefinition& table);
  ~RowAppender();

  // Adds a row; returns its id. Raises 3251 for a row longer than a page
  // can hold.
  RowPointer Append(std::span<const uint8_t> row);
  // Writes the page being filled.
  void Finish();

 private:
  void StartPage();

  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  const TableDefinition& table_;
  uint32_t page_number_ = 0;  // 0 before the first row
  std::vector<uint8_t> page_;
};

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_ROW_APPENDER_H_
