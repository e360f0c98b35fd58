// The B-tree writer on real indexes of copies of corpus files: entries
// removed and put back, many entries added until leaves and intermediate
// pages split and the root moves, and all taken out again until pages are
// given back; after each step the tree, read afresh by following its links,
// holds exactly the expected entries in order.
#include "jet/index/index_writer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <set>

#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/index/index_node.h"
#include "jet/index/index_view_cache.h"
#include "jet/storage/page_allocator.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

using jet::IndexEntry;
using jet::IndexNode;

// Every leaf entry found the way Access and Jackcess find them: down from
// the root through each intermediate page's entries and then its tail
// page. On the way, the layout Access writes and Jackcess requires: a page
// with two or more children holds the last as its tail and names it by no
// entry, a single child is named by an entry, the tail follows the last
// named child in the links; and the leaf links reach no leaf the descent
// does not. `depth` gets the number of levels.
std::vector<IndexEntry> WalkLikeJackcess(jet::Pager& pager, jet::JetVersion v,
                                         uint32_t root, int* depth = nullptr) {
  std::vector<IndexEntry> out;
  std::vector<uint32_t> leaves;
  int levels = 0;
  std::function<void(uint32_t, int)> visit = [&](uint32_t page, int level) {
    levels = std::max(levels, level + 1);
    IndexNode node = IndexNode::Decode(v, page, pager.Get(page)->view());
    if (node.leaf) {
      leaves.push_back(page);
      for (IndexEntry& e : node.entries) out.push_back(std::move(e));
      return;
    }
    std::vector<uint32_t> children;
    for (const IndexEntry& e : node.entries) children.push_back(e.child);
    if (node.tail != 0) {
      EXPECT_EQ(std::count(children.begin(), children.end(), node.tail), 0)
          << "page " << page << ": its tail is named by an entry too";
      ASSERT_FALSE(children.empty())
          << "page " << page << ": a single child held as the tail";
      IndexNode tail =
          IndexNode::Decode(v, node.tail, pager.Get(node.tail)->view());
      EXPECT_EQ(tail.prev, children.back())
          << "page " << page << ": the tail does not follow the last child";
      children.push_back(node.tail);
    }
    EXPECT_TRUE(children.size() == 1 || node.tail != 0)
        << "page " << page << ": " << children.size()
        << " children and no tail";
    for (uint32_t child : children) visit(child, level + 1);
  };
  visit(root, 0);
  // The leaf links from the first leaf reach exactly these leaves.
  std::vector<uint32_t> linked;
  for (uint32_t page = leaves.empty() ? 0 : leaves.front();
       page != 0 && linked.size() <= leaves.size();) {
    linked.push_back(page);
    page = IndexNode::Decode(v, page, pager.Get(page)->view()).next;
  }
  EXPECT_EQ(linked, leaves) << "the leaf links and the tree differ";
  if (depth) *depth = levels;
  return out;
}

// Every leaf entry, from the leftmost leaf along the next links, checking
// the links both ways and that each intermediate entry repeats its child's
// last entry; the tree descended as Jackcess does gives the same.
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
  // A reader descending the tree finds the same entries.
  const std::vector<IndexEntry> descended = WalkLikeJackcess(pager, v, root);
  EXPECT_EQ(descended.size(), out.size());
  for (size_t i = 0; i < std::min(out.size(), descended.size()); ++i) {
    if (descended[i].key != out[i].key || !(descended[i].row == out[i].row)) {
      ADD_FAILURE() << "the descent and the links differ at entry " << i;
      break;
    }
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

// Tables whose indexes grow to three levels and change through many
// gathered batches of row updates, deletions and insertions (keys moving
// between leaves, leaves and intermediate pages split and emptied): every
// index, descended as Access and Jackcess descend it, lists every row, in
// the layout they write, in Jet 4 and Jet 3.
TEST(IndexWriterTest, UpdateBatchesKeepAccessLayoutAtThreeLevels) {
  for (jet::JetVersion version : {jet::JetVersion::kJet4,
                                  jet::JetVersion::kJet3}) {
    SCOPED_TRACE(version == jet::JetVersion::kJet4 ? "Jet 4" : "Jet 3");
    testing_support::TempDir dir;
    const std::string path = (dir.path() / "layout.mdb").string();
    jet::CreateOptions create;
    create.version = version;
    jet::CreateDatabase(path, create);
    jet::OpenOptions open;
    open.writable = true;
    auto db = jet::Database::Open(path, open);
    jet::TableDescription t;
    t.name = "Words";
    t.columns = {{.name = "ID", .type = jet::ColumnType::kLong},
                 {.name = "Word", .type = jet::ColumnType::kText,
                  .length = 120},
                 {.name = "Num", .type = jet::ColumnType::kLong}};
    t.indexes = {{.name = "PrimaryKey", .columns = {{"ID"}},
                  .primary_key = true},
                 {.name = "ByWord", .columns = {{"Word"}}},
                 {.name = "ByNumWord", .columns = {{"Num"}, {"Word", false}}}};
    auto table = jet::CreateTable(*db, t);
    std::mt19937 rng(version == jet::JetVersion::kJet4 ? 41 : 43);
    auto word = [&] {
      std::string w(90 + rng() % 30, 'a');
      for (char& c : w) c = static_cast<char>('a' + rng() % 26);
      return w;
    };
    int32_t next_id = 1;
    auto insert = [&](size_t n) {
      std::vector<std::vector<jet::Value>> rows;
      for (size_t i = 0; i < n; ++i) {
        rows.push_back({next_id++, word(), static_cast<int32_t>(rng() % 50)});
      }
      jet::InsertRows(*db, *table, rows);
    };
    insert(3000);
    for (int round = 0; round < 3; ++round) {
      std::vector<jet::RowPointer> ids;
      for (jet::TableScan scan = table->Scan(); scan.Next();) {
        ids.push_back(scan.row_id());
      }
      for (jet::RowPointer id : ids) {
        const uint32_t dice = rng() % 10;
        if (dice < 4) {
          table->UpdateRow(id, {jet::ColumnChange{1, word()}});
        } else if (dice == 4) {
          table->DeleteRow(id);
        } else if (dice == 5) {
          table->UpdateRow(
              id, {jet::ColumnChange{2, static_cast<int32_t>(rng() % 50)}});
        }
      }
      insert(400);
    }
    table->FlushIndexChanges();
    size_t rows = 0;
    for (jet::TableScan scan = table->Scan(); scan.Next();) ++rows;
    const jet::TableDefinition& def = table->definition();
    int deepest = 0;
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      SCOPED_TRACE("index " + std::to_string(i));
      int depth = 0;
      EXPECT_EQ(WalkLikeJackcess(db->pager(), db->version(),
                                 def.real_indexes[i].first_page, &depth)
                    .size(),
                rows);
      deepest = std::max(deepest, depth);
    }
    EXPECT_GE(deepest, 3);
    table.reset();
    db->Close();
    EXPECT_DATABASE_CHECKS_CLEAN(path);
  }
}
