#include "jet/index/pending_index_changes.h"

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

// Per entry kept in a set: its bytes and the set's node.
constexpr size_t kSetEntryOverhead = 128;

}  // namespace

PendingIndexChanges::PendingIndexChanges(const std::vector<bool>& unique)
    : indexes_(unique.size()) {
  for (size_t i = 0; i < unique.size(); ++i) indexes_[i].unique = unique[i];
}

bool PendingIndexChanges::empty(size_t index) const {
  const Changes& c = indexes_.at(index);
  return c.unique ? c.added.empty() && c.removed.empty() : c.log.empty();
}

void PendingIndexChanges::Record(size_t index, const IndexEntry& entry,
                                 bool add) {
  Changes& c = indexes_.at(index);
  ++changes_;
  if (!c.unique) {
    const size_t before = c.log.bytes();
    c.log.Add(entry.key, entry.row, add ? 1 : 0);
    bytes_ += c.log.bytes() - before;
    return;
  }
  std::vector<uint8_t> bytes = SortBytesOf(entry.key, entry.row);
  const size_t size = bytes.size() + kSetEntryOverhead;
  std::set<std::vector<uint8_t>>& to = add ? c.added : c.removed;
  std::set<std::vector<uint8_t>>& cancel = add ? c.removed : c.added;
  auto it = cancel.find(bytes);
  if (it != cancel.end()) {
    cancel.erase(it);
    bytes_ -= std::min(bytes_, size);
  } else if (to.insert(std::move(bytes)).second) {
    bytes_ += size;
  }
}

void PendingIndexChanges::Remove(size_t index, const IndexEntry& entry) {
  Record(index, entry, false);
}

void PendingIndexChanges::Add(size_t index, const IndexEntry& entry) {
  Record(index, entry, true);
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
  // The lists' entries are refilled, their keys' memory reused.
  size_t removed = 0, inserted = 0;
  auto put = [](std::vector<IndexEntry>& to, size_t& used, ByteView bytes) {
    if (used == to.size()) to.emplace_back();
    to[used++].AssignSortBytes(bytes);
  };
  if (c.unique) {
    removals.reserve(c.removed.size());
    insertions.reserve(c.added.size());
    for (const std::vector<uint8_t>& b : c.removed) {
      put(removals, removed, ByteView(b.data(), b.size()));
    }
    for (const std::vector<uint8_t>& b : c.added) {
      put(insertions, inserted, ByteView(b.data(), b.size()));
    }
  } else {
    // An entry's changes alternate (added, removed, added...), so their
    // sum says what is left of them: +1 added, -1 removed, 0 nothing.
    // What is left is found first (+k+1 added, -(k+1) removed), so that
    // each list grows once to its size instead of doubling (and copying)
    // its way there.
    c.log.Sort();
    std::vector<int64_t> left;
    left.reserve(c.log.size());
    size_t to_insert = 0;
    for (size_t k = 0; k < c.log.size();) {
      int net = 0;
      size_t end = k;
      for (; end < c.log.size() && c.log.SameSortBytes(k, end); ++end) {
        net += c.log.Tag(end) ? 1 : -1;
      }
      const int64_t at = static_cast<int64_t>(k) + 1;
      if (net > 0) {
        left.push_back(at);
        ++to_insert;
      }
      if (net < 0) left.push_back(-at);
      k = end;
    }
    insertions.reserve(to_insert);
    removals.reserve(left.size() - to_insert);
    for (int64_t at : left) {
      if (at > 0) {
        put(insertions, inserted, c.log.SortBytes(static_cast<size_t>(at - 1)));
      } else {
        put(removals, removed, c.log.SortBytes(static_cast<size_t>(-at - 1)));
      }
    }
  }
  removals.resize(removed);
  insertions.resize(inserted);
  const bool unique = c.unique;
  c = Changes();
  c.unique = unique;
  bytes_ = 0;
  changes_ = 0;
  for (const Changes& other : indexes_) {
    bytes_ += other.log.bytes() +
              (other.added.size() + other.removed.size()) * kSetEntryOverhead;
    changes_ += other.log.size() + other.added.size() + other.removed.size();
  }
}

}  // namespace jet
