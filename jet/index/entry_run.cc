#include "jet/index/entry_run.h"

#include <algorithm>
#include <array>
#include <cstring>

#include "jet/base/error.h"

namespace jet {

void EntryRun::Add(const std::vector<uint8_t>& key, RowPointer row,
                   uint8_t tag) {
  const size_t length = key.size() + 4;
  const size_t need = length + 3;
  if (need > kChunkBytes) ThrowDamaged("색인 키가 너무 깁니다");
  if (chunks_.empty() || chunks_.back().size() + need >
                             std::min(chunks_.back().capacity(), kChunkBytes)) {
    // Buffers start small, for the many small runs, and double up to
    // kChunkBytes.
    const size_t last = chunks_.empty() ? 0 : chunks_.back().capacity();
    std::vector<uint8_t>& chunk = chunks_.emplace_back();
    chunk.reserve(std::max(
        need, std::min(kChunkBytes, std::max<size_t>(4096, 2 * last))));
    chunk_bytes_ += chunk.capacity();
  }
  std::vector<uint8_t>& bytes = chunks_.back();
  const size_t at = bytes.size();
  bytes.push_back(static_cast<uint8_t>(length));
  bytes.push_back(static_cast<uint8_t>(length >> 8));
  AppendSortBytes(key, row, bytes);
  bytes.push_back(tag);
  const uint8_t* sort = bytes.data() + at + 2;
  uint64_t head = 0;
  for (size_t i = 0; i < 8; ++i) {
    head = (head << 8) | (i < length ? sort[i] : 0);
  }
  slots_.push_back(Slot{head, ((chunks_.size() - 1) << kChunkShift) | at});
}

ByteView EntryRun::At(size_t offset) const {
  const std::vector<uint8_t>& bytes = chunks_[offset >> kChunkShift];
  const size_t at = offset & (kChunkBytes - 1);
  const size_t length = bytes[at] | (size_t{bytes[at + 1]} << 8);
  return ByteView(bytes.data() + at + 2, length);
}

ByteView EntryRun::SortBytes(size_t k) const { return At(slots_[k].offset); }

uint8_t EntryRun::Tag(size_t k) const {
  const ByteView b = SortBytes(k);
  return b.data()[b.size()];
}

bool EntryRun::SameSortBytes(size_t a, size_t b) const {
  if (slots_[a].head != slots_[b].head) return false;
  const ByteView x = SortBytes(a), y = SortBytes(b);
  return x.size() == y.size() && std::memcmp(x.data(), y.data(), x.size()) == 0;
}

bool SortBytesLess(ByteView a, ByteView b) {
  const int c = std::memcmp(a.data(), b.data(), std::min(a.size(), b.size()));
  return c != 0 ? c < 0 : a.size() < b.size();
}

void EntryRun::Sort() {
  const size_t n = slots_.size();
  auto by_bytes = [this](const Slot& a, const Slot& b) {
    return SortBytesLess(At(a.offset), At(b.offset));
  };
  if (n < kRadixMinimum) {
    std::sort(slots_.begin(), slots_.end(), [&](const Slot& a, const Slot& b) {
      if (a.head != b.head) return a.head < b.head;
      return by_bytes(a, b);
    });
    return;
  }
  // By the heads first, a byte at a time from the last (a stable radix
  // sort, counting all eight bytes in one pass and skipping a byte every
  // head shares), then each run of equal heads by the whole sort bytes.
  std::vector<std::array<uint32_t, 256>> counts(8);
  for (const Slot& slot : slots_) {
    for (size_t b = 0; b < 8; ++b) ++counts[b][(slot.head >> (8 * b)) & 0xFF];
  }
  std::vector<Slot> other(n);
  for (size_t b = 0; b < 8; ++b) {
    std::array<uint32_t, 256>& count = counts[b];
    if (count[(slots_[0].head >> (8 * b)) & 0xFF] == n) continue;
    uint32_t at = 0;
    for (uint32_t& c : count) {
      const uint32_t here = c;
      c = at;
      at += here;
    }
    for (const Slot& slot : slots_) {
      other[count[(slot.head >> (8 * b)) & 0xFF]++] = slot;
    }
    slots_.swap(other);
  }
  for (size_t i = 0; i < n;) {
    size_t j = i + 1;
    while (j < n && slots_[j].head == slots_[i].head) ++j;
    if (j - i > 1) std::sort(slots_.begin() + i, slots_.begin() + j, by_bytes);
    i = j;
  }
}

void EntryRun::Clear() {
  chunks_.clear();
  chunks_.shrink_to_fit();
  chunk_bytes_ = 0;
  slots_.clear();
  slots_.shrink_to_fit();
}

}  // namespace jet
