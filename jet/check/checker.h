// The integrity checker: reads the whole file and reports every place where
// its structures do not hold together, without changing anything.
//
// Pages. Page 1 holds the global usage map, whose set bits are the FREE
// pages (pages past the end of the file are set too; a page the map does
// not cover is in use). Every page in use should belong to exactly one
// object: page 0, page 1, a table's definition pages, its data pages (its
// usage map), its long-value pages (Jet 4: the per-column maps at the end
// of the definition; both versions: the pages the rows' long-value
// references reach), its index pages (each real index's usage map and the
// pages its tree links), the bitmap pages of reference maps, and the data
// pages that hold usage map rows. Faults: a page owned twice; a page owned
// but marked free; a map naming a page of another kind or owner; a data
// page that names a table as its owner but is neither free nor in that
// table's map; an index page with entries likewise; a Jet 4 long value on
// a page its column's map lacks; an index map page the tree does not reach.
//
// Access leaves other pages allocated without an owner until the file is
// compacted; real files have them in numbers, so they are counted, not
// reported: pages never written (all zero), long-value pages no value
// reaches any more, data pages whose type byte Access changed to 0x09 when
// their last row went, definition pages of deleted tables (type 0x08) and
// the data and index pages still naming them, index leaves left empty,
// usage map pages nothing refers to, and others (see CheckStatistics).
//
// Data pages: row offsets and the free-space field (data_page_check.h).
// Rows: every row of every table decodes; an overflow pointer (0x4000) leads
// to a moved copy (0x8000) on a data page of the same table, and every moved
// copy is reached by exactly one pointer; every long value reads completely
// (the chain ends where its length does, without loops, on long-value
// pages) and no long-value row serves two values. Live long-value rows no
// value uses are counted, not reported: Access leaves the rows of deleted
// table rows live on their pages.
// Indexes: the tree of each real index (index_tree_check.h), its pages
// against its usage map, and one entry per row (none for a row whose index
// columns are all Null when the index ignores Nulls).
//
// Index keys are not made again from the rows here: that is the index key
// report's work (the check command adds it).
#ifndef MDBCARE_JET_CHECK_CHECKER_H_
#define MDBCARE_JET_CHECK_CHECKER_H_

#include <cstdint>
#include <vector>

#include "jet/check/check_finding.h"

namespace jet {

class Database;

// What the checker saw, for the summary and for measuring real files.
struct CheckStatistics {
  uint32_t pages = 0;
  uint32_t free_pages = 0;   // in the file and marked free
  uint32_t owned_pages = 0;  // claimed by at least one object
  // In use, owned by none, and normal for Access (see above).
  uint32_t unowned_zero_pages = 0;
  uint32_t unowned_long_value_pages = 0;
  uint32_t unowned_retired_data_pages = 0;   // type 0x09
  uint32_t unowned_map_pages = 0;            // data pages with owner 0
  // Data pages of a table that its map no longer lists (Access drops the
  // pages of rows it deletes so, without marking the rows).
  uint32_t unowned_dropped_data_pages = 0;
  uint32_t unowned_definition_pages = 0;     // types 0x02 and 0x08 (deleted)
  uint32_t unowned_deleted_table_pages = 0;  // data/index of those
  uint32_t unowned_index_pages = 0;          // without entries
  uint32_t unowned_other_pages = 0;

  uint32_t tables = 0;
  uint32_t data_pages_checked = 0;
  uint32_t free_space_agreeing = 0;
  uint64_t rows = 0;
  uint64_t moved_rows = 0;
  uint64_t long_values = 0;  // stored outside the row
  uint64_t long_value_rows = 0;
  uint64_t unreferenced_long_value_rows = 0;
  uint32_t indexes = 0;
  uint64_t index_entries = 0;
  uint32_t index_pages = 0;  // reached from the roots
  uint32_t index_free_space_agreeing = 0;
  uint64_t index_parent_entries_equal = 0;
  uint64_t index_parent_entries_greater = 0;
  uint32_t index_tail_leaves = 0;
  uint32_t index_linked_only_leaves = 0;  // leaves only the links reach
  // Leaf entries reached descending through entries and tails, as Access
  // and Jackcess find them.
  uint64_t index_descended_entries = 0;
};

struct CheckResult {
  std::vector<Finding> findings;
  CheckStatistics statistics;
};

// Checks everything listed above. Never raises for a damaged file: what
// cannot be read becomes a finding.
CheckResult CheckDatabaseWithStatistics(Database& db);

// The findings alone; empty for a sound file.
std::vector<Finding> CheckDatabase(Database& db);

}  // namespace jet

#endif  // MDBCARE_JET_CHECK_CHECKER_H_
