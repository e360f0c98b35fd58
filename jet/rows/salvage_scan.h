// A cursor over the rows of a table in a damaged file, for a compaction
// that saves what the file still holds: the rows a TableScan would meet, in
// the same order, except that whatever cannot be read whole is left out and
// counted, and nothing is ever raised for damage.
//
// Checked before anything is trusted:
//   - the table's usage map (unreadable: no page of the table is read, since
//     data pages that name the table but are in no map are pages Access
//     dropped from it, whose rows are deleted, and must not come back);
//   - each page: inside the file, a data page of this table, its row count
//     and offsets inside the page (a page that fails loses its rows);
//   - each row: its offsets, lengths and variable-column table inside the
//     row (DecodeRow), every value as long as its type needs (a number,
//     date, GUID), a column count between 1 and the table's, no Null in
//     a column of the primary key, and not torn: an end of zeros (the null
//     mask and, where the table has variable-length columns, their count
//     and an offset that is never 0) is the end a torn write or a zeroed
//     half page cut off, not a row of Nulls (in a table without
//     variable-length columns, only where the bytes before it are not all
//     zero);
//   - a moved row's pointers lead to this table's pages and do not loop.
// On a sound file it meets exactly the rows TableScan meets.
#ifndef MDBCARE_JET_ROWS_SALVAGE_SCAN_H_
#define MDBCARE_JET_ROWS_SALVAGE_SCAN_H_

#include <cstdint>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_definition.h"
#include "jet/storage/pager.h"

namespace jet {

struct SalvageCounts {
  bool map_unreadable = false;
  uint64_t damaged_pages = 0;  // listed in the map, and unreadable
  uint64_t rows_left_out = 0;  // slots whose row could not be read whole
  // The first row slots left out (their ids), for the report.
  std::vector<RowPointer> left_out;
};

// Whether `row`, a row of `def`, looks whole (see above).
bool RowLooksWhole(JetVersion version, const TableDefinition& def,
                   ByteView row);

class SalvageScan {
 public:
  static constexpr size_t kMaxListed = 1000;

  // `pager` and `def` must outlive the scan.
  SalvageScan(Pager& pager, JetVersion version, const TableDefinition& def);

  // Moves to the next row read whole; false after the last one.
  bool Next();

  RowPointer row_id() const { return row_id_; }
  ByteView row_bytes() const { return row_bytes_; }
  // The row's fields, as DecodeRow gives them (already checked).
  const std::vector<FieldBytes>& fields() const { return fields_; }
  const SalvageCounts& counts() const { return counts_; }

 private:
  bool LoadPage(uint32_t page_number);
  // The row a slot holds, through a moved row's pointers; false (and the
  // row counted as left out) when it cannot be read whole.
  bool Take(ByteView bytes, bool pointer);
  void LeaveOut();

  Pager& pager_;
  JetVersion version_;
  const TableDefinition& def_;
  std::vector<uint32_t> pages_;
  bool pages_loaded_ = false;
  size_t page_index_ = 0;
  PageRef page_;
  PageRef target_page_;
  uint16_t row_count_ = 0;
  int next_row_ = 0;
  RowPointer row_id_;
  ByteView row_bytes_;
  std::vector<FieldBytes> fields_;
  SalvageCounts counts_;
};

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_SALVAGE_SCAN_H_
