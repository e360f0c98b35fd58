// Index entries that a table's row writes have removed and added but not
// yet written to the index pages. Row writes come one at a time, often a
// field at a time; their index changes are gathered here and written in
// sorted batches (IndexWriter::Apply), each leaf read and written once per
// batch instead of once per change.
//
// An entry added and then removed (or removed and then added back) before
// the batch is written cancels out. The changes of an index are logged in
// an EntryRun and netted when they are taken; a unique index's are also
// kept in sets, netted as they come, so that a duplicate can be looked up.
#ifndef MDBCARE_JET_INDEX_PENDING_INDEX_CHANGES_H_
#define MDBCARE_JET_INDEX_PENDING_INDEX_CHANGES_H_

#include <cstddef>
#include <cstdint>
#include <set>
#include <vector>

#include "jet/index/entry_run.h"
#include "jet/base/format.h"
#include "jet/index/index_node.h"

namespace jet {

class PendingIndexChanges {
 public:
  // `unique`: per index, whether it needs the look-ups below.
  explicit PendingIndexChanges(const std::vector<bool>& unique);

  void Remove(size_t index, const IndexEntry& entry);
  void Add(size_t index, const IndexEntry& entry);

  // Bytes held, over all indexes, for bounding memory.
  size_t bytes() const { return bytes_; }
  bool empty() const { return changes_ == 0; }
  bool empty(size_t index) const;

  // Unique indexes only: whether an entry with exactly `key` was added for
  // another row than `except`.
  bool AddedWithKey(size_t index, const std::vector<uint8_t>& key,
                    RowPointer except) const;
  // Unique indexes only: whether the entry of `row` with `key` was removed.
  bool Removed(size_t index, const std::vector<uint8_t>& key,
               RowPointer row) const;

  // Hands over the changes of `index`, each list in index order, and
  // forgets them.
  void Take(size_t index, std::vector<IndexEntry>& removals,
            std::vector<IndexEntry>& insertions);

 private:
  struct Changes {
    bool unique = false;
    EntryRun log;                            // tag 1: added, 0: removed
    std::set<std::vector<uint8_t>> added;    // unique: sort bytes
    std::set<std::vector<uint8_t>> removed;  // unique: sort bytes
  };
  void Record(size_t index, const IndexEntry& entry, bool add);

  std::vector<Changes> indexes_;
  size_t bytes_ = 0;
  size_t changes_ = 0;
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_PENDING_INDEX_CHANGES_H_
