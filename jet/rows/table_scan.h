// A cursor over a table's rows in storage order: the table's pages in page
// number order as its usage map lists them, and on each page its row slots
// in slot order. A moved row is met at its original slot (through the
// overflow pointer left there), not where its bytes now are; deleted rows
// are skipped.
#ifndef MDBCARE_JET_ROWS_TABLE_SCAN_H_
#define MDBCARE_JET_ROWS_TABLE_SCAN_H_

#include <cstdint>
#include <vector>

#include "jet/storage/data_page.h"
#include "jet/base/format.h"
#include "jet/storage/pager.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_definition.h"

namespace jet {

class TableScan {
 public:
  // `pager` and `def` must outlive the scan.
  TableScan(Pager& pager, JetVersion version, const TableDefinition& def);

  // Moves to the next row; false after the last one.
  bool Next();

  // Positions the cursor on the row met at `row_id` (its original slot);
  // false when that slot holds no live row of this table. Next() is not
  // meant to be called after it.
  bool SeekTo(RowPointer row_id);

  // The slot the scan met the row at, and where its bytes are stored.
  RowPointer row_id() const { return row_id_; }
  RowPointer stored_at() const { return stored_at_; }
  // The row's bytes; valid until the next call of Next().
  ByteView row_bytes() const { return row_bytes_; }
  std::vector<FieldBytes> Fields() const {
    return DecodeRow(version_, def_, row_bytes_);
  }
  void Fields(std::vector<FieldBytes>& out) const {
    DecodeRow(version_, def_, row_bytes_, out);
  }

 private:
  bool LoadPage(uint32_t page_number);
  // Follows an overflow pointer; false when it leads nowhere usable.
  bool Follow(ByteView pointer_bytes);

  Pager& pager_;
  JetVersion version_;
  const TableDefinition& def_;
  std::vector<uint32_t> pages_;  // read from the usage map at the first Next()
  bool pages_loaded_ = false;
  size_t page_index_ = 0;
  PageRef page_;
  PageRef target_page_;
  uint16_t row_count_ = 0;
  int next_row_ = 0;
  RowPointer row_id_;
  RowPointer stored_at_;
  ByteView row_bytes_;
};

// Whether the table has at least one row, found by looking for its first
// row (the row count stored in the definition is not reliable).
bool TableHasRows(Pager& pager, JetVersion version, const TableDefinition& def);

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_TABLE_SCAN_H_
