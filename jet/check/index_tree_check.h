// The B-tree of one real index, walked depth first from its root the way
// Access and Jackcess descend it: an intermediate page's children are the
// pages its entries name and then its tail page (index_node.h). The rules
// a reader depends on, each breach a finding:
//   - every node is an index page of the table, reached once;
//   - the tail is named by no entry of its page, and lies on the level of
//     the named children;
//   - every leaf is reached through entries and tails: leaves that only
//     the leaf links reach (linked between the last named child and the
//     tail, as earlier versions of this program left them) hold entries a
//     descending reader never finds;
//   - each intermediate entry is not less than the last entry of the child
//     it names (Access writes it equal; rows deleted since may leave it
//     greater) and is less than the first entry of the next child;
//   - the leaves, in that order, are linked by their previous/next
//     pointers, the first with no previous and the last with no next page;
//   - the leaf entries are in strictly ascending byte order;
//   - the free-space field of each page is the page size less the end of
//     its last entry.
// Habits of one writer or another, which no reader depends on and which
// are not findings: whether intermediate pages are linked to the pages
// beside them (this engine links a whole level, Jackcess only the children
// of one parent), whether a single child is held as the tail (Access, after
// deletions) or named by an entry (Jackcess), and the byte that marks an
// intermediate page (Access 0x01, Jackcess 0x00).
// The walk reports what breaks the rules and hands back the rows the leaves
// point to, for the check of one entry per row.
#ifndef MDBCARE_JET_CHECK_INDEX_TREE_CHECK_H_
#define MDBCARE_JET_CHECK_INDEX_TREE_CHECK_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jet/check/check_finding.h"
#include "jet/base/format.h"

namespace jet {

class Pager;

struct IndexTreeWalk {
  std::vector<uint32_t> pages;  // every page reached, root first
  // The leaf entries' rows (packed pointers, 4 bytes an entry), in index
  // order.
  std::vector<uint32_t> rows;
  size_t leaf_pages = 0;
  size_t intermediate_pages = 0;
  size_t tail_leaves = 0;     // leaves reached as an intermediate's tail
  size_t linked_only_leaves = 0;  // leaves only the leaf links reach
  // Leaf entries a reader descending through entries and tails reaches.
  size_t descended_entries = 0;
  size_t parent_entries_equal = 0;    // intermediate entries equal to ...
  size_t parent_entries_greater = 0;  // ... or above their child's last
  size_t free_space_agreeing = 0;
  // False when damage stopped the walk: `rows` then misses entries.
  bool complete = true;
};

struct IndexTreeSubject {
  uint32_t table_page = 0;  // the table definition page (the pages' owner)
  std::string table_name;
  size_t index_number = 0;  // position among the real indexes
  uint32_t root = 0;
};

IndexTreeWalk CheckIndexTree(Pager& pager, JetVersion version,
                             const IndexTreeSubject& subject,
                             std::vector<Finding>& findings);

}  // namespace jet

#endif  // MDBCARE_JET_CHECK_INDEX_TREE_CHECK_H_
