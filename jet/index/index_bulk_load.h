// A real index's B-tree built in one pass from entries given in sorted
// order, as a compaction rebuilds it: every page filled as far as it goes
// (with a shared prefix where that lets more entries in), leaves linked
// left to right, each intermediate level made of the last entry of every
// page below it (index_node.h), no tail chains. Every page is recorded in
// the index's usage map.
#ifndef MDBCARE_JET_INDEX_INDEX_BULK_LOAD_H_
#define MDBCARE_JET_INDEX_INDEX_BULK_LOAD_H_

#include <cstdint>
#include <vector>

#include "jet/base/format.h"
#include "jet/index/index_node.h"

namespace jet {

class Pager;
class PageAllocator;

class IndexBulkLoad {
 public:
  // All must outlive the load. Pages are written inside the caller's write
  // groups; `usage_map` is the index's map row.
  IndexBulkLoad(Pager& pager, JetVersion version, PageAllocator& allocator,
                uint32_t table_page, RowPointer usage_map);

  // Adds the entry whose sort bytes are `sort_bytes`; entries must come in
  // EntryLess order.
  void AddSortBytes(ByteView sort_bytes);
  // Writes what is pending and returns the root page (an empty leaf when
  // no entry was added).
  uint32_t Finish();

 private:
  // A node being filled: its entries, and what the prefix rule of
  // index_node.h lets it hold.
  struct Pending {
    IndexNode node;
    size_t stored_bytes = 0;     // entries without a shared prefix
    size_t prefix = 0;           // longest prefix all entries share
    std::vector<uint8_t> first;  // the first entry as stored
  };

  // An empty node at `level` on `page`, after `prev` (0 for none).
  Pending NewNode(size_t level, uint32_t page, uint32_t prev) const;
  // Makes `pending` such an empty node, its entries kept for reuse.
  void Renew(Pending& pending, size_t level, uint32_t page, uint32_t prev);
  void AddAt(size_t level, IndexEntry entry);
  // Whether `entry` still fits the node at `level`; updates its sizes.
  bool Fits(Pending& pending, const IndexEntry& entry);
  // Writes the node at `level`, linked to `next`, and (`to_parent`) hands
  // its last entry to the level above.
  void Write(size_t level, uint32_t next, bool to_parent);
  uint32_t NewPage();

  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  uint32_t table_page_;
  RowPointer usage_map_;
  std::vector<Pending> levels_;   // leaves first
  std::vector<uint8_t> scratch_;  // an entry's stored bytes, in Fits
  // Entries of written nodes, whose keys' memory AddSortBytes reuses.
  std::vector<IndexEntry> spare_;
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_BULK_LOAD_H_
