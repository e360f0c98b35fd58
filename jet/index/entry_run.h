// Index entries held compactly for sorting: each entry's sort bytes (key,
// then the row pointer) behind a 2-byte length and followed by a tag byte
// of the caller's, in buffers that are filled one after another and never
// moved (a growing single buffer copied everything it held each time it
// grew), and per entry its first 8 sort bytes as a number, which decides
// most comparisons. A compaction collects an
// index's entries in one before it builds the index; a table's gathered
// index changes are kept in one per index until they are written.
#ifndef MDBCARE_JET_INDEX_ENTRY_RUN_H_
#define MDBCARE_JET_INDEX_ENTRY_RUN_H_

#include <cstddef>
#include <cstdint>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"
#include "jet/index/index_node.h"

namespace jet {

// The order of sort bytes: bytewise, a prefix before what it starts.
bool SortBytesLess(ByteView a, ByteView b);

class EntryRun {
 public:
  void Add(const std::vector<uint8_t>& key, RowPointer row, uint8_t tag = 0);
  // Orders the entries by their sort bytes (equal ones keep no order).
  void Sort();

  size_t size() const { return slots_.size(); }
  bool empty() const { return slots_.empty(); }
  // Bytes held, for bounding memory: the buffers and the slots as
  // allocated, not only the part in use.
  size_t bytes() const {
    return chunk_bytes_ + slots_.capacity() * sizeof(Slot);
  }
  void Clear();

  // The k-th entry's sort bytes and tag (in sorted order once Sort() was
  // called).
  ByteView SortBytes(size_t k) const;
  uint8_t Tag(size_t k) const;
  // Whether entries a and b have the same sort bytes.
  bool SameSortBytes(size_t a, size_t b) const;

 private:
  // The largest buffer; an entry (a key of at most a few hundred bytes)
  // always fits in one.
  static constexpr size_t kChunkShift = 18;
  static constexpr size_t kChunkBytes = size_t{1} << kChunkShift;
  // Runs this long or longer are sorted by radix on their heads.
  static constexpr size_t kRadixMinimum = 256;

  struct Slot {
    uint64_t head;  // the first 8 sort bytes, big-endian, 0-padded
    size_t offset;  // buffer number << kChunkShift, plus the place in it
  };
  ByteView At(size_t offset) const;

  std::vector<std::vector<uint8_t>> chunks_;
  size_t chunk_bytes_ = 0;  // capacity of the buffers
  std::vector<Slot> slots_;
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_ENTRY_RUN_H_
