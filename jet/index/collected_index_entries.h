// The index entries a compaction collects for a table, one EntryRun per
// index, in bounded memory: when the runs together pass a bound, each is
// sorted and written to an unnamed temporary file as a segment, and memory
// starts again. At the end each index's entries come back in sort order,
// merged from its segments and from what is still in memory. Without the
// bound, a table's entries grow with the table (52 MB for a 300 MB file).
//
// Used by one thread at a time (the key worker while it runs, then the
// compaction).
#ifndef MDBCARE_JET_INDEX_COLLECTED_INDEX_ENTRIES_H_
#define MDBCARE_JET_INDEX_COLLECTED_INDEX_ENTRIES_H_

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/index/entry_run.h"
#include "jet/storage/file.h"
#include "jet/base/format.h"

namespace jet {

class CollectedIndexEntries {
 public:
  // Runs for `index_count` indexes, written out when together they hold
  // more than `max_bytes`.
  CollectedIndexEntries(size_t index_count, size_t max_bytes);

  void Add(size_t index, const std::vector<uint8_t>& key, RowPointer row);

  // The entries of `index` still in memory. They must be sorted (on any
  // thread) before ForEachSorted.
  EntryRun& in_memory(size_t index) { return runs_.at(index); }

  // Calls `entry` with the sort bytes of each entry of `index`, in sort
  // order, then forgets the index's entries. Raises 3043 when the
  // temporary file cannot be read back.
  void ForEachSorted(size_t index, const std::function<void(ByteView)>& entry);

  // How many times the runs went to the temporary file.
  size_t spills() const { return spills_; }

 private:
  struct Segment {
    uint64_t offset = 0;
    uint64_t size = 0;
  };
  void Spill();

  size_t max_bytes_;
  std::vector<EntryRun> runs_;
  size_t bytes_ = 0;  // held by the runs, as EntryRun::bytes() counts
  std::vector<std::vector<Segment>> segments_;  // per index
  std::optional<File> spill_;
  uint64_t spill_end_ = 0;
  size_t spills_ = 0;
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_COLLECTED_INDEX_ENTRIES_H_
