// Where a table's rows live: a changed row is rewritten in its slot when
// its page has the room (the rows below it move), else it moves to another
// page of the table, or a new one, and its slot keeps a 4-byte pointer to
// it (flag 0x4000) while the copy is marked as moved (0x8000). A row that
// already moved and must move again leaves its old copy deleted and the
// pointer at its slot is changed, so that every row has one live copy and
// the row's id (its slot) never changes: the indexes keep pointing at it.
#ifndef MDBCARE_JET_ROWS_ROW_STORE_H_
#define MDBCARE_JET_ROWS_ROW_STORE_H_

#include <cstdint>
#include <span>
#include <vector>

#include "jet/base/format.h"
#include "jet/rows/table_definition.h"

namespace jet {

class Pager;
class PageAllocator;

class RowStore {
 public:
  // All must outlive the store.
  RowStore(Pager& pager, JetVersion version, PageAllocator& allocator,
           const TableDefinition& table);

  // Replaces the row met at `row_id` whose bytes are at `stored_at`.
  void Replace(RowPointer row_id, RowPointer stored_at,
               std::span<const uint8_t> row);
  // Adds a row; returns its id.
  RowPointer Insert(std::span<const uint8_t> row);
  // Deletes the row met at `row_id` whose bytes are at `stored_at`: its
  // slot, and a moved copy, are marked deleted (0xC000) and given up, as
  // Jet deletes a row. The page's free space grows by the row's bytes.
  void Delete(RowPointer row_id, RowPointer stored_at);

 private:
  // Puts the row on a page of the table other than `avoid` with `flags`.
  RowPointer Place(std::span<const uint8_t> row, uint16_t flags,
                   uint32_t avoid);
  uint32_t NewDataPage();

  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  const TableDefinition& table_;
  std::vector<uint32_t> pages_;  // the table's pages, read when first needed
  bool pages_loaded_ = false;
};

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_ROW_STORE_H_
