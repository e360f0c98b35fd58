// EntryRun's sort against a plain comparison sort of the same sort bytes:
// small runs and large ones (which take the radix path), keys that share
// their first eight bytes or are prefixes of one another, and equal keys
// told apart only by the row pointer.
#include "jet/index/entry_run.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <vector>

#include "jet/index/index_node.h"

namespace {

using jet::ByteView;
using jet::EntryRun;
using jet::RowPointer;

std::vector<uint8_t> Bytes(ByteView view) {
  return std::vector<uint8_t>(view.data(), view.data() + view.size());
}

bool Less(const std::vector<uint8_t>& a, const std::vector<uint8_t>& b) {
  return jet::SortBytesLess(ByteView(a.data(), a.size()),
                            ByteView(b.data(), b.size()));
}

TEST(EntryRunTest, SortsLikeAComparisonSortAtEverySize) {
  std::mt19937 rng(7);
  for (size_t n : {0, 1, 2, 255, 256, 257, 5000}) {
    EntryRun run;
    std::vector<std::vector<uint8_t>> expected;
    for (size_t i = 0; i < n; ++i) {
      // A few prefixes shared by many keys, lengths from 0 to 20, so that
      // many heads tie and some keys are prefixes of others.
      std::vector<uint8_t> key = {0x7F, static_cast<uint8_t>(rng() % 3)};
      const size_t length = rng() % 20;
      for (size_t k = 0; k < length; ++k) {
        key.push_back(static_cast<uint8_t>(k < 8 ? 0x41 : rng() % 4));
      }
      if (rng() % 4 == 0) key.resize(rng() % (key.size() + 1));
      const RowPointer row{static_cast<uint32_t>(rng() % 50),
                           static_cast<uint8_t>(rng() % 4)};
      const uint8_t tag = static_cast<uint8_t>(i % 251);
      run.Add(key, row, tag);
      std::vector<uint8_t> sort_bytes;
      jet::AppendSortBytes(key, row, sort_bytes);
      sort_bytes.push_back(tag);
      expected.push_back(sort_bytes);
    }
    run.Sort();
    std::vector<std::vector<uint8_t>> got;
    for (size_t k = 0; k < run.size(); ++k) {
      std::vector<uint8_t> b = Bytes(run.SortBytes(k));
      b.push_back(run.Tag(k));
      got.push_back(b);
    }
    // Entries with equal sort bytes keep no order: compare without tags
    // for the order, and as multisets with them.
    ASSERT_EQ(got.size(), n);
    for (size_t k = 1; k < got.size(); ++k) {
      std::vector<uint8_t> a(got[k - 1].begin(), got[k - 1].end() - 1);
      std::vector<uint8_t> b(got[k].begin(), got[k].end() - 1);
      ASSERT_FALSE(Less(b, a)) << "n=" << n << " at " << k;
    }
    std::sort(expected.begin(), expected.end());
    std::sort(got.begin(), got.end());
    EXPECT_EQ(got, expected) << "n=" << n;
  }
}

}  // namespace
