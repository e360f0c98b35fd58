#include "jet/entry_run.h"

#include <algorithm>
#include <cstring>

namespace jet {

void EntryRun::Add(const std::vector<uint8_t>& key, RowPointer row,
                   uint8_t tag) {
  const size_t offset = bytes_.size();
  const size_t length = key.size() + 4;
  bytes_.push_back(static_cast<uint8_t>(length));
  bytes_.push_back(static_cast<uint8_t>(length >> 8));
  AppendSortBytes(key, row, bytes_);
  bytes_.push_back(tag);
  const uint8_t* sort = bytes_.data() + offset + 2;
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (i < length ? sort[i] : 0);
  }
  slots_.push_back(Slot{head, offset});
}

ByteView EntryRun::At(size_t offset) const {
  const size_t length = bytes_[offset] | (size_t{bytes_[offset + 1]} << 8);
  return ByteView(bytes_.data() + offset + 2, length);
}

ByteView EntryRun::SortBytes(size_t k) const { return At(slots_[k].offset); }

uint8_t EntryRun::Tag(size_t k) const {
  const ByteView b = SortBytes(k);
  return b.data()[b.size()];
}

bool EntryRun::SameSortBytes(size_t a, size_t b) const {
  if (slots_[a].head != slots_[b].head) return false;
  const ByteView x = SortBytes(a), y = SortBytes(b);
  return x.size() == y.size() &&
         std::memcmp(x.data(), y.data(), x.size()) == 0;
}

void EntryRun::Sort() {
  std::sort(slots_.begin(), slots_.end(), [this](const Slot& a, const Slot& b) {
    if (a.head != b.head) return a.head < b.head;
    ByteView x = At(a.offset), y = At(b.offset);
    const size_t n = std::min(x.size(), y.size());
    const int c = std::memcmp(x.data(), y.data(), n);
    return c != 0 ? c < 0 : x.size() < y.size();
  });
}

void EntryRun::Clear() {
  bytes_.clear();
  slots_.clear();
  bytes_.shrink_to_fit();
  slots_.shrink_to_fit();
}

}  // namespace jet
