// Index entries collected in bounded memory: whether they stay in memory
// or go to the temporary file in many segments, each index gives back
// exactly its entries in sort order; a failing write to the temporary file
// is a disk error.
#include "jet/index/collected_index_entries.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "jet/base/error.h"
#include "jet/storage/file.h"
#include "jet/index/index_node.h"

namespace {

using Bytes = std::vector<uint8_t>;

struct Added {
  Bytes key;
  jet::RowPointer row;
};

// Keys of 0 to 300 bytes from a small alphabet, so that many share long
// prefixes and some are equal (told apart by their rows).
std::vector<std::vector<Added>> RandomEntries(size_t indexes, size_t count) {
  std::mt19937 rng(11);
  std::vector<std::vector<Added>> out(indexes);
  for (size_t n = 0; n < count; ++n) {
    const size_t index = rng() % indexes;
    Bytes key(rng() % 4 == 0 ? rng() % 301 : rng() % 12);
    for (uint8_t& b : key) b = static_cast<uint8_t>('a' + rng() % 3);
    out[index].push_back(
        Added{key, jet::RowPointer{static_cast<uint32_t>(n / 200 + 1),
                                   static_cast<uint8_t>(n % 200)}});
  }
  return out;
}

std::vector<Bytes> SortedSortBytes(const std::vector<Added>& added) {
  std::vector<Bytes> out;
  for (const Added& a : added) {
    Bytes b;
    jet::AppendSortBytes(a.key, a.row, b);
    out.push_back(b);
  }
  std::sort(out.begin(), out.end());
  return out;
}

std::vector<Bytes> TakeSorted(jet::CollectedIndexEntries& entries,
                              size_t index) {
  entries.in_memory(index).Sort();
  std::vector<Bytes> out;
  entries.ForEachSorted(index, [&](jet::ByteView b) {
    out.emplace_back(b.data(), b.data() + b.size());
  });
  return out;
}

TEST(CollectedIndexEntriesTest, GiveBackEachIndexSortedWhereverTheyWere) {
  const size_t kIndexes = 3;
  const auto added = RandomEntries(kIndexes, 20000);
  for (size_t max_bytes : {size_t{1} << 30, size_t{64} << 10}) {
    jet::CollectedIndexEntries entries(kIndexes, max_bytes);
    for (size_t i = 0; i < kIndexes; ++i) {
      for (const Added& a : added[i]) entries.Add(i, a.key, a.row);
    }
    if (max_bytes < (size_t{1} << 30)) {
      EXPECT_GT(entries.spills(), 5u);
    } else {
      EXPECT_EQ(entries.spills(), 0u);
    }
    for (size_t i = 0; i < kIndexes; ++i) {
      EXPECT_EQ(TakeSorted(entries, i), SortedSortBytes(added[i]))
          << "index " << i << ", bound " << max_bytes;
    }
    // Taken once: nothing is left of them.
    EXPECT_TRUE(TakeSorted(entries, 0).empty());
  }
}

bool FailEveryWrite(uint64_t) { return true; }

TEST(CollectedIndexEntriesTest, AFailedWriteToTheTemporaryFileIsADiskError) {
  jet::CollectedIndexEntries entries(1, 4096);
  jet::File::SetFaultHook(FailEveryWrite);
  try {
    for (uint32_t n = 0; n < 1000; ++n) {
      entries.Add(0, Bytes(20, 'k'), jet::RowPointer{n + 1, 0});
    }
    ADD_FAILURE() << "expected a disk error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrDiskIo);
  }
  jet::File::SetFaultHook(nullptr);
}

}  // namespace
