// Reading a whole index: every leaf entry in order, from the leftmost leaf
// along the next links (which also reaches leaves of tail chains), with
// loop guards.
#ifndef MDBCARE_JET_INDEX_INDEX_READER_H_
#define MDBCARE_JET_INDEX_INDEX_READER_H_

#include <cstdint>
#include <vector>

#include "jet/base/format.h"
#include "jet/index/index_node.h"

namespace jet {

class Pager;

// The first leaf of the chain that `leaf` belongs to (following prev links).
uint32_t FirstOfChain(Pager& pager, JetVersion version, uint32_t leaf);

// Raises the damaged-file error for a tree whose links loop or lead to
// pages that are not index pages.
std::vector<IndexEntry> ReadIndexEntries(Pager& pager, JetVersion version,
                                         uint32_t root);

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_READER_H_
