#include "jet/pending_index_changes.h"

#include <algorithm>

namespace jet {

namespace {

constexpr size_t kRowPointerSize = 4;

std::vector<uint8_t> SortBytesOf(const std::vector<uint8_t>& key,
                                 RowPointer row) {
  std::vector<uint8_t> bytes;
  bytes.reserve(key.size() + kRowPointerSize);
  AppendSortBytes(key, row, bytes);
  return bytes;
}

// Moves `bytes` from `from` into `to`, unless it is in `from`'s opposite
// set `cancel`, where it is dropped instead. Returns the change in size.
int Record(std::vector<uint8_t> bytes, std::set<std::vector<uint8_t>>& to,
           std::set<std::vector<uint8_t>>& cancel) {
  auto it = cancel.find(bytes);
  if (it != cancel.end()) {
    cancel.erase(it);
    return -1;
  }
  return to.insert(std::move(bytes)).second ? 1 : 0;
}

}  // namespace

void PendingIndexChanges::Remove(size_t index, const IndexEntry& entry) {
  Changes& c = indexes_.at(index);
  size_ += Record(SortBytesOf(entry.key, entry.row), c.removed, c.added);
}

void PendingIndexChanges::Add(size_t index, const IndexEntry& entry) {
  Changes& c = indexes_.at(index);
  size_ += Record(SortBytesOf(entry.key, entry.row), c.added, c.removed);
}

bool PendingIndexChanges::AddedWithKey(size_t index,
                                       const std::vector<uint8_t>& key,
                                       RowPointer except) const {
  const std::set<std::vector<uint8_t>>& added = indexes_.at(index).added;
  const std::vector<uint8_t> lowest = SortBytesOf(key, RowPointer{});
  const std::vector<uint8_t> mine = SortBytesOf(key, except);
  for (auto it = added.lower_bound(lowest); it != added.end(); ++it) {
    if (it->size() != lowest.size() ||
        !std::equal(key.begin(), key.end(), it->begin())) {
      break;
    }
    if (*it != mine) return true;
  }
  return false;
}

bool PendingIndexChanges::Removed(size_t index, const std::vector<uint8_t>& key,
                                  RowPointer row) const {
  return indexes_.at(index).removed.count(SortBytesOf(key, row)) > 0;
}

void PendingIndexChanges::Take(size_t index, std::vector<IndexEntry>& removals,
                               std::vector<IndexEntry>& insertions) {
  Changes& c = indexes_.at(index);
  removals.clear();
  insertions.clear();
  removals.reserve(c.removed.size());
  insertions.reserve(c.added.size());
  for (const std::vector<uint8_t>& b : c.removed) {
    removals.push_back(IndexEntry::FromSortBytes(ByteView(b.data(), b.size())));
  }
  for (const std::vector<uint8_t>& b : c.added) {
    insertions.push_back(
        IndexEntry::FromSortBytes(ByteView(b.data(), b.size())));
  }
  size_ -= c.removed.size() + c.added.size();
  c = Changes();
}

}  // namespace jet
