// Index changes gathered before they are written: what is taken is the net
// effect of the changes in index order, whatever order they came in, and a
// unique index answers for keys taken or given up in the meantime.
#include "jet/index/pending_index_changes.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

using jet::IndexEntry;
using jet::PendingIndexChanges;
using jet::RowPointer;

IndexEntry E(const std::string& key, uint32_t page, uint8_t row = 0) {
  return IndexEntry{std::vector<uint8_t>(key.begin(), key.end()),
                    RowPointer{page, row}, 0};
}

std::vector<std::string> Describe(const std::vector<IndexEntry>& entries) {
  std::vector<std::string> out;
  for (const IndexEntry& e : entries) {
    out.push_back(std::string(e.key.begin(), e.key.end()) + "@" +
                  std::to_string(e.row.page));
  }
  return out;
}

TEST(PendingIndexChangesTest, TakenChangesAreTheNetEffectInIndexOrder) {
  for (bool unique : {false, true}) {
    PendingIndexChanges pending({unique});
    // A row's key changing b -> c -> d leaves "remove b, add d".
    pending.Remove(0, E("b", 1));
    pending.Add(0, E("c", 1));
    pending.Remove(0, E("c", 1));
    pending.Add(0, E("d", 1));
    // Added and taken away again: nothing.
    pending.Add(0, E("a", 2));
    pending.Remove(0, E("a", 2));
    // Removed and put back: nothing.
    pending.Remove(0, E("e", 3));
    pending.Add(0, E("e", 3));
    // The same key for two rows: both, in row order.
    pending.Add(0, E("f", 5));
    pending.Add(0, E("f", 4));
    EXPECT_FALSE(pending.empty(0));
    std::vector<IndexEntry> removals, insertions;
    pending.Take(0, removals, insertions);
    EXPECT_EQ(Describe(removals), (std::vector<std::string>{"b@1"})) << unique;
    EXPECT_EQ(Describe(insertions),
              (std::vector<std::string>{"d@1", "f@4", "f@5"}))
        << unique;
    EXPECT_TRUE(pending.empty());
    EXPECT_EQ(pending.bytes(), 0u);
  }
}

TEST(PendingIndexChangesTest, UniqueIndexAnswersForKeysNotYetWritten) {
  PendingIndexChanges pending({true, false});
  pending.Remove(0, E("old", 7));
  pending.Add(0, E("new", 7));
  EXPECT_TRUE(pending.AddedWithKey(0, {'n', 'e', 'w'}, RowPointer{8, 0}));
  EXPECT_FALSE(pending.AddedWithKey(0, {'n', 'e', 'w'}, RowPointer{7, 0}))
      << "the row's own key is no duplicate";
  EXPECT_FALSE(pending.AddedWithKey(0, {'n', 'e'}, RowPointer{8, 0}))
      << "a key that only starts the same";
  EXPECT_TRUE(pending.Removed(0, {'o', 'l', 'd'}, RowPointer{7, 0}));
  EXPECT_FALSE(pending.Removed(0, {'o', 'l', 'd'}, RowPointer{8, 0}));
  // Indexes are kept apart.
  pending.Add(1, E("x", 1));
  std::vector<IndexEntry> removals, insertions;
  pending.Take(0, removals, insertions);
  EXPECT_FALSE(pending.empty());
  EXPECT_TRUE(pending.empty(0));
  EXPECT_FALSE(pending.empty(1));
}

}  // namespace
