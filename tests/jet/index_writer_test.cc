// The B-tree writer on real indexes of copies of corpus files: entries
// removed and put back, many entries added until leaves and intermediate
// pages split and the root moves, and all taken out again until pages are
// given back; after each step the tree, read afresh by following its links,
// holds exactly the expected entries in order.
#include "jet/index_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>

#include "jet/database.h"
#include "jet/index_node.h"
#include "jet/index_view_cache.h"
#include "jet/page_allocator.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

using jet::IndexEntry;
using jet::IndexNode;

// Every leaf entry, from the leftmost leaf along the next links, checking
// the links both ways and that each intermediate entry repeats its child's
// last entry.
std::vector<IndexEntry> ReadIndex(jet::Pager& pager, jet::JetVersion v,
                                  uint32_t root) {
  uint32_t page = root;
  // Down the left edge, checking intermediate entries on the way.
  std::vector<uint32_t> level_starts;
  while (true) {
    IndexNode node = IndexNode::Decode(v, page, pager.Get(page)->view());
    if (node.leaf) break;
    for (const IndexEntry& e : node.entries) {
      IndexNode child =
          IndexNode::Decode(v, e.child, pager.Get(e.child)->view());
      if (!child.entries.empty()) {
        EXPECT_EQ(child.entries.back().key, e.key) << "page " << page;
        EXPECT_EQ(child.entries.back().row, e.row) << "page " << page;
      }
    }
    EXPECT_FALSE(node.entries.empty());
    page = node.entries.front().child;
  }
  std::vector<IndexEntry> out;
  uint32_t prev = 0;
  std::set<uint32_t> seen;
  while (page != 0) {
    EXPECT_TRUE(seen.insert(page).second) << "leaf loop at " << page;
    if (!seen.count(page) && seen.size() > 100000) break;
    IndexNode leaf = IndexNode::Decode(v, page, pager.Get(page)->view());
    EXPECT_TRUE(leaf.leaf);
    EXPECT_EQ(leaf.prev, prev) << "leaf " << page;
    for (IndexEntry& e : leaf.entries) out.push_back(std::move(e));
    prev = page;
    page = leaf.next;
  }
  for (size_t i = 1; i < out.size(); ++i) {
    EXPECT_TRUE(jet::EntryLess(out[i - 1], out[i]))
        << "entries out of order at " << i;
  }
  return out;
}

bool SameEntries(const std::vector<IndexEntry>& a,
                 const std::vector<IndexEntry>& b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i) {
    if (a[i].key != b[i].key || !(a[i].row == b[i].row)) return false;
  }
  return true;
}

struct Fixture {
  testing_support::TempDir dir;
  std::unique_ptr<jet::Database> db;
  jet::TableDefinition def;
  size_t index = 0;
  std::vector<IndexEntry> entries;  // the chosen index's, as opened
};

// Opens a writable copy and picks the real index of `table` with the most
// entries.
void OpenIndex(Fixture& f, const char* file, const char* table) {
  auto path = f.dir.Copy(testing_support::CorpusDir() / file);
  jet::OpenOptions options;
  options.writable = true;
  f.db = jet::Database::Open(path.string(), options);
  f.def = f.db->ReadTableDefinition(f.db->FindTable(table));
  for (size_t i = 0; i < f.def.real_indexes.size(); ++i) {
    std::vector<IndexEntry> entries = ReadIndex(
        f.db->pager(), f.db->version(), f.def.real_indexes[i].first_page);
    if (entries.size() > f.entries.size()) {
      f.entries = std::move(entries);
      f.index = i;
    }
  }
}

// Tables with a sizeable index, Jet 4 and Jet 3.
constexpr std::pair<const char*, const char*> kIndexedTables[] = {
    {"korean/accessControlEvents.mdb", "TB_ACCESSEVENT"},
    {"wild/northwindJet3.mdb", "Order Details"},
    {"jet3/compIndexTestV1997.mdb", "Table1"}};

TEST(IndexWriterTest, RemovedEntriesPutBackGiveTheSameIndex) {
  SKIP_WITHOUT_CORPUS();
  for (auto [file, table] : kIndexedTables) {
    Fixture f;
    OpenIndex(f, file, table);
    jet::Pager& pager = f.db->pager();
    auto v = f.db->version();
    std::vector<IndexEntry> before =
        ReadIndex(pager, v, f.def.real_indexes[f.index].first_page);
    ASSERT_GT(before.size(), 10u) << file;
    jet::PageAllocator allocator(pager, v);
    std::mt19937 rng(7);
    std::vector<IndexEntry> removed = before;
    std::shuffle(removed.begin(), removed.end(), rng);
    removed.resize(removed.size() / 2);
    {
      jet::WriteGroup group(pager);
      jet::IndexWriter writer(pager, v, allocator, f.def, f.index);
      for (const IndexEntry& e : removed) writer.Remove(e);
      group.Commit();
    }
    std::vector<IndexEntry> half =
        ReadIndex(pager, v, f.def.real_indexes[f.index].first_page);
    EXPECT_EQ(half.size(), before.size() - removed.size()) << file;
    {
      jet::WriteGroup group(pager);
      jet::IndexWriter writer(pager, v, allocator, f.def, f.index);
      for (const IndexEntry& e : removed) writer.Insert(e);
      group.Commit();
    }
    EXPECT_TRUE(SameEntries(
        ReadIndex(pager, v, f.def.real_indexes[f.index].first_page), before))
        << file;
    f.db->Close();
    EXPECT_DATABASE_CHECKS_CLEAN(f.db->path()) << file;
  }
}

TEST(IndexWriterTest, ManyInsertsSplitPagesAndRemovalsGiveThemBack) {
  SKIP_WITHOUT_CORPUS();
  for (auto [file, table] :
       {std::pair{"korean/accessControlEvents.mdb", "TB_ACCESSEVENT"},
        std::pair{"jet3/compIndexTestV1997.mdb", "Table1"}}) {
    Fixture f;
    OpenIndex(f, file, table);
    jet::Pager& pager = f.db->pager();
    auto v = f.db->version();
    std::vector<IndexEntry> before =
        ReadIndex(pager, v, f.def.real_indexes[f.index].first_page);
    jet::PageAllocator allocator(pager, v);
    // Copies of existing keys for rows that do not exist: 8 per key.
    std::vector<IndexEntry> extra;
    uint32_t n = 0;
    for (const IndexEntry& e : before) {
      for (uint8_t r = 0; r < 8; ++r, ++n) {
        IndexEntry x = e;
        x.row = jet::RowPointer{0x700000u + n, r};
        extra.push_back(x);
      }
    }
    std::mt19937 rng(11);
    std::shuffle(extra.begin(), extra.end(), rng);
    uint32_t pages_before = pager.page_count();
    {
      jet::WriteGroup group(pager);
      jet::IndexWriter writer(pager, v, allocator, f.def, f.index);
      for (const IndexEntry& e : extra) writer.Insert(e);
      group.Commit();
    }
    std::vector<IndexEntry> grown =
        ReadIndex(pager, v, f.def.real_indexes[f.index].first_page);
    std::vector<IndexEntry> expected = before;
    expected.insert(expected.end(), extra.begin(), extra.end());
    std::sort(expected.begin(), expected.end(), jet::EntryLess);
    EXPECT_TRUE(SameEntries(grown, expected)) << file;
    EXPECT_GT(pager.page_count(), pages_before + 5)
        << file << ": pages were split";
    {
      jet::WriteGroup group(pager);
      jet::IndexWriter writer(pager, v, allocator, f.def, f.index);
      for (const IndexEntry& e : extra) writer.Remove(e);
      group.Commit();
    }
    EXPECT_TRUE(SameEntries(
        ReadIndex(pager, v, f.def.real_indexes[f.index].first_page), before))
        << file;
    // The root survives on disk: reopen and read again.
    f.db->Close();
    auto again = jet::Database::Open(f.db->path());
    jet::TableDefinition def =
        again->ReadTableDefinition(again->FindTable(table));
    EXPECT_TRUE(SameEntries(
        ReadIndex(again->pager(), v, def.real_indexes[f.index].first_page),
        before))
        << file;
    again.reset();
    EXPECT_DATABASE_CHECKS_CLEAN(f.db->path()) << file;
  }
}

// A batch (IndexWriter::Apply) reads and writes each leaf once; it must
// leave the same tree contents as the changes made one at a time would,
// however the changes fall: many into one leaf (one key for thousands of
// rows, as when a sweep turns Nulls into ""), spread over every leaf, or
// emptying the whole index and filling it again.
TEST(IndexWriterTest, BatchesGiveTheSameEntriesAsSingleChanges) {
  SKIP_WITHOUT_CORPUS();
  for (auto [file, table] : kIndexedTables) {
    Fixture f;
    OpenIndex(f, file, table);
    jet::Pager& pager = f.db->pager();
    auto v = f.db->version();
    auto read = [&] {
      return ReadIndex(pager, v, f.def.real_indexes[f.index].first_page);
    };
    auto apply = [&](std::vector<IndexEntry> removals,
                     std::vector<IndexEntry> insertions) {
      std::sort(removals.begin(), removals.end(), jet::EntryLess);
      std::sort(insertions.begin(), insertions.end(), jet::EntryLess);
      jet::PageAllocator allocator(pager, v);
      jet::WriteGroup group(pager);
      jet::IndexWriter(pager, v, allocator, f.def, f.index)
          .Apply(removals, insertions);
      group.Commit();
    };
    const std::vector<IndexEntry> before = read();
    ASSERT_GT(before.size(), 10u) << file;

    // A third removed, and new entries: 3000 under the first key, and one
    // after every existing entry.
    std::mt19937 rng(3);
    std::vector<IndexEntry> removed = before;
    std::shuffle(removed.begin(), removed.end(), rng);
    removed.resize(removed.size() / 3);
    std::vector<IndexEntry> added;
    for (uint32_t n = 0; n < 3000; ++n) {
      added.push_back(
          IndexEntry{before.front().key, jet::RowPointer{0x600000u + n, 1}, 0});
    }
    for (size_t i = 0; i < before.size(); ++i) {
      added.push_back(IndexEntry{
          before[i].key,
          jet::RowPointer{0x700000u + static_cast<uint32_t>(i), 2}, 0});
    }
    apply(removed, added);
    std::vector<IndexEntry> expected;
    std::set<std::vector<uint8_t>> gone;
    for (const IndexEntry& e : removed) gone.insert(e.SortBytes());
    for (const IndexEntry& e : before) {
      if (!gone.count(e.SortBytes())) expected.push_back(e);
    }
    expected.insert(expected.end(), added.begin(), added.end());
    std::sort(expected.begin(), expected.end(), jet::EntryLess);
    EXPECT_TRUE(SameEntries(read(), expected)) << file;

    // Back as it was, in one batch the other way round.
    apply(added, removed);
    EXPECT_TRUE(SameEntries(read(), before)) << file;

    // Everything out, then everything in.
    apply(before, {});
    EXPECT_TRUE(read().empty()) << file;
    apply({}, before);
    EXPECT_TRUE(SameEntries(read(), before)) << file;

    // A removal that is not there is damage, and the group rolls back.
    std::vector<IndexEntry> missing{
        IndexEntry{before.front().key, jet::RowPointer{0x7FFFFFu, 9}, 0}};
    EXPECT_THROW(apply(missing, {}), jet::Error) << file;
    EXPECT_THROW(apply({}, {before.back()}), jet::Error) << file;
    EXPECT_TRUE(SameEntries(read(), before)) << file;

    f.db->Close();
    EXPECT_DATABASE_CHECKS_CLEAN(f.db->path()) << file;
  }
}

TEST(IndexWriterTest, ContainsKeyFindsOtherRowsOnly) {
  SKIP_WITHOUT_CORPUS();
  Fixture f;
  OpenIndex(f, "korean/accessControlEvents.mdb", "TB_ACCESSEVENT");
  jet::Pager& pager = f.db->pager();
  auto v = f.db->version();
  const std::vector<IndexEntry>& entries = f.entries;
  jet::PageAllocator allocator(pager, v);
  jet::IndexWriter writer(pager, v, allocator, f.def, f.index);
  const IndexEntry& e = entries[entries.size() / 2];
  EXPECT_TRUE(writer.ContainsKey(e.key, jet::RowPointer{0, 0}));
  size_t same =
      std::count_if(entries.begin(), entries.end(),
                    [&](const IndexEntry& x) { return x.key == e.key; });
  EXPECT_EQ(writer.ContainsKey(e.key, e.row), same > 1);
  std::vector<uint8_t> absent = e.key;
  absent.push_back(0xFE);
  EXPECT_FALSE(writer.ContainsKey(absent, jet::RowPointer{0, 0}));
}

// A table keeps the views of its index pages between look-ups; a page that
// changed since (written, split, or rolled back) must be read again, never
// answered from the view of its old version.
TEST(IndexWriterTest, SharedPageViewsFollowEveryChange) {
  SKIP_WITHOUT_CORPUS();
  Fixture f;
  OpenIndex(f, "korean/accessControlEvents.mdb", "TB_ACCESSEVENT");
  jet::Pager& pager = f.db->pager();
  auto v = f.db->version();
  const std::vector<IndexEntry>& entries = f.entries;
  jet::PageAllocator allocator(pager, v);
  jet::IndexViewCache views;
  auto lookup = [&](const IndexEntry& e) {
    jet::IndexWriter reader(pager, v, allocator, f.def, f.index, &views);
    return reader.ContainsKey(e.key, jet::RowPointer{0, 0});
  };
  // New keys (each an existing key with a byte added), enough to split
  // leaves and the pages above them.
  std::vector<IndexEntry> added;
  for (size_t k = 0; k < entries.size(); k += 2) {
    IndexEntry x = entries[k];
    x.key.push_back(0xFD);
    added.push_back(x);
  }
  std::sort(added.begin(), added.end(), jet::EntryLess);
  for (const IndexEntry& e : added) ASSERT_FALSE(lookup(e));
  {
    jet::WriteGroup group(pager);
    jet::IndexWriter(pager, v, allocator, f.def, f.index, &views)
        .Apply({}, added);
    group.Commit();
  }
  for (const IndexEntry& e : added) EXPECT_TRUE(lookup(e));
  {
    jet::WriteGroup group(pager);
    jet::IndexWriter(pager, v, allocator, f.def, f.index, &views)
        .Apply(added, {});
    for (const IndexEntry& e : added) EXPECT_FALSE(lookup(e));
    // Left without Commit: the removals are rolled back.
  }
  for (const IndexEntry& e : added) EXPECT_TRUE(lookup(e));
  for (const IndexEntry& e : entries) EXPECT_TRUE(lookup(e));
}

}  // namespace
