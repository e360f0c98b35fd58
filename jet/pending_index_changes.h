// Index entries that a table's row writes have removed and added but not
// yet written to the index pages. Row writes come one at a time, often a
// field at a time; their index changes are gathered here and written in
// sorted batches (IndexWriter::Apply), each leaf read and written once per
// batch instead of once per change.
//
// An entry added and then removed (or removed and then added back) before
// the batch is written cancels out. Entries are kept by their sort bytes
// (key, then the row pointer), so that they come out in index order.
#ifndef MDBCARE_JET_PENDING_INDEX_CHANGES_H_
#define MDBCARE_JET_PENDING_INDEX_CHANGES_H_

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "jet/format.h"
#include "jet/index_node.h"

namespace jet {

class PendingIndexChanges {
 public:
  explicit PendingIndexChanges(size_t index_count) : indexes_(index_count) {}

  void Remove(size_t index, const IndexEntry& entry);
  void Add(size_t index, const IndexEntry& entry);

  // Entries held, over all indexes.
  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  bool empty(size_t index) const {
    return indexes_[index].added.empty() && indexes_[index].removed.empty();
  }

  // Whether an entry with exactly `key` was added for another row than
  // `except`.
  bool AddedWithKey(size_t index, const std::vector<uint8_t>& key,
                    RowPointer except) const;
  // Whether the entry of `row` with `key` was removed.
  bool Removed(size_t index, const std::vector<uint8_t>& key,
               RowPointer row) const;

  // Hands over the changes of `index`, each list in index order, and
  // forgets them.
  void Take(size_t index, std::vector<IndexEntry>& removals,
            std::vector<IndexEntry>& insertions);

 private:
  struct Changes {
    std::set<std::vector<uint8_t>> added;    // sort bytes
    std::set<std::vector<uint8_t>> removed;  // sort bytes
  };

  std::vector<Changes> indexes_;
  size_t size_ = 0;
};

}  // namespace jet

#endif  // MDBCARE_JET_PENDING_INDEX_CHANGES_H_
