// Index page decoding and the walk over an index tree: page layouts of both
// versions with prefix compression, real trees (with intermediate pages
// and tail leaves), and damaged pages that must raise 3049, not crash or
// loop.
#include "jet/index/index_page.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/index/index_node.h"
#include "jet/rows/table_scan.h"
#include "tests/support/corpus.h"

namespace jet {
namespace {

namespace fs = std::filesystem;
namespace L = index_page_layout;

// A page of `version` with `type`, the given header fields and the stored
// entry bytes (each already without the shared prefix but the first).
std::vector<uint8_t> MakePage(JetVersion version, uint8_t type, uint16_t prefix,
                              const std::vector<std::vector<uint8_t>>& stored) {
  const L::Offsets& o = L::OffsetsOf(version);
  std::vector<uint8_t> page(PageSizeOf(version), 0);
  page[0] = type;
  page[1] = 0x01;
  page[4] = 0x22;  // owner 0x22
  if (o.prefix_length_size == 1) {
    page[o.prefix_length] = static_cast<uint8_t>(prefix);
  } else {
    page[o.prefix_length] = static_cast<uint8_t>(prefix);
    page[o.prefix_length + 1] = static_cast<uint8_t>(prefix >> 8);
  }
  page[o.level_flag] = type == kPageIndexNode ? 1 : 0;
  size_t pos = 0;
  for (const auto& e : stored) {
    std::copy(e.begin(), e.end(), page.begin() + o.first_entry + pos);
    pos += e.size();
    page[o.mask + pos / 8] |= static_cast<uint8_t>(1u << (pos % 8));
  }
  return page;
}

TEST(IndexPageTest, Jet4LeafWithSharedPrefix) {
  // Keys 1, 2, 3 of a Long column, rows 261:3, 261:4, 261:5; the prefix
  // 7F 80 00 00 is stored in the first entry only.
  std::vector<uint8_t> page =
      MakePage(JetVersion::kJet4, kPageIndexLeaf, 4,
               {{0x7F, 0x80, 0x00, 0x00, 0x01, 0x00, 0x01, 0x05, 0x03},
                {0x02, 0x00, 0x01, 0x05, 0x04},
                {0x03, 0x00, 0x01, 0x05, 0x05}});
  IndexPage p =
      DecodeIndexPage(JetVersion::kJet4, ByteView(page.data(), page.size()), 9);
  EXPECT_TRUE(p.leaf);
  EXPECT_EQ(p.owner, 0x22u);
  EXPECT_EQ(p.prefix_length, 4);
  ASSERT_EQ(p.entries.size(), 3u);
  for (int i = 0; i < 3; ++i) {
    EXPECT_EQ(HexBytes(p.entries[i].key),
              "7f 80 00 00 0" + std::to_string(i + 1));
    EXPECT_EQ(p.entries[i].row.page, 261u);
    EXPECT_EQ(p.entries[i].row.row, 3 + i);
  }
  EXPECT_EQ(p.entries[1].offset, 0x1E0 + 9);
  EXPECT_EQ(p.entries[1].stored_size, 5);
  EXPECT_EQ(p.data_end, 0x1E0u + 19);
}

TEST(IndexPageTest, Jet3IntermediatePrefixIsOneByte) {
  // The byte after the prefix length is 01 on intermediate pages; read as
  // a 2-byte length it would be 256.
  std::vector<uint8_t> page =
      MakePage(JetVersion::kJet3, kPageIndexNode, 0,
               {{0x80, 0x7F, 0xFF, 0xF4, 0xD3, 0x00, 0x00, 0x20, 0x62, 0x00,
                 0x00, 0x00, 0x25}});
  IndexPage p = DecodeIndexPage(JetVersion::kJet3,
                                ByteView(page.data(), page.size()), 36);
  EXPECT_FALSE(p.leaf);
  EXPECT_EQ(p.prefix_length, 0);
  ASSERT_EQ(p.entries.size(), 1u);
  EXPECT_EQ(HexBytes(p.entries[0].key), "80 7f ff f4 d3");
  EXPECT_EQ(p.entries[0].row.page, 0x20u);
  EXPECT_EQ(p.entries[0].row.row, 0x62);
  EXPECT_EQ(p.entries[0].child_page, 0x25u);  // big-endian
}

// The index writer decodes pages it changes on its own (IndexNode); it must
// read every entry as the page decoder does: keys with the prefix put back,
// row pointers, children, also where the shared prefix of equal keys
// reaches into the row pointers.
TEST(IndexPageTest, WriterNodeReadsEntriesAsThePageDecoderDoes) {
  struct Case {
    JetVersion version;
    uint8_t type;
    uint16_t prefix;
    std::vector<std::vector<uint8_t>> stored;
  };
  const Case cases[] = {
      {JetVersion::kJet4,
       kPageIndexLeaf,
       4,
       {{0x7F, 0x80, 0x00, 0x00, 0x01, 0x00, 0x01, 0x05, 0x03},
        {0x02, 0x00, 0x01, 0x05, 0x04},
        {0x03, 0x00, 0x01, 0x05, 0x05}}},
      // Key 7F 41 on rows 1:2, 1:3, 1:9: the prefix is the key and the
      // first two bytes of the row pointer.
      {JetVersion::kJet4,
       kPageIndexLeaf,
       4,
       {{0x7F, 0x41, 0x00, 0x00, 0x01, 0x02}, {0x01, 0x03}, {0x01, 0x09}}},
      // An intermediate page: each entry ends with its child page.
      {JetVersion::kJet4,
       kPageIndexNode,
       2,
       {{0x7F, 0x41, 0x42, 0x00, 0x00, 0x07, 0x01, 0x00, 0x00, 0x01, 0x10},
        {0x43, 0x00, 0x00, 0x08, 0x02, 0x00, 0x00, 0x01, 0x11}}},
      {JetVersion::kJet3,
       kPageIndexNode,
       0,
       {{0x80, 0x7F, 0xFF, 0xF4, 0xD3, 0x00, 0x00, 0x20, 0x62, 0x00, 0x00, 0x00,
         0x25}}},
  };
  for (const Case& c : cases) {
    std::vector<uint8_t> page = MakePage(c.version, c.type, c.prefix, c.stored);
    const ByteView view(page.data(), page.size());
    const IndexPage expected = DecodeIndexPage(c.version, view, 9);
    const IndexNode node = IndexNode::Decode(c.version, 9, view);
    ASSERT_EQ(node.entries.size(), expected.entries.size());
    for (size_t k = 0; k < node.entries.size(); ++k) {
      SCOPED_TRACE(k);
      EXPECT_EQ(node.entries[k].key, expected.entries[k].key);
      EXPECT_EQ(node.entries[k].row.page, expected.entries[k].row.page);
      EXPECT_EQ(node.entries[k].row.row, expected.entries[k].row.row);
      EXPECT_EQ(node.entries[k].child, expected.entries[k].child_page);
    }
  }
}

TEST(IndexPageTest, RejectsWhatIsNotAnIndexPage) {
  std::vector<uint8_t> page(kJet4PageSize, 0);
  page[0] = kPageData;
  try {
    DecodeIndexPage(JetVersion::kJet4, ByteView(page.data(), page.size()), 5);
    FAIL() << "no error";
  } catch (const Error& e) {
    EXPECT_EQ(e.number(), kErrDamagedFile);
  }
  // An entry too short for its row pointer.
  page = MakePage(JetVersion::kJet4, kPageIndexLeaf, 0, {{0x7F, 0x01}});
  EXPECT_THROW(
      DecodeIndexPage(JetVersion::kJet4, ByteView(page.data(), page.size()), 5),
      Error);
  // A prefix longer than the first entry.
  page = MakePage(JetVersion::kJet4, kPageIndexLeaf, 40,
                  {{0x7F, 0x01, 0x00, 0x00, 0x01, 0x02}});
  EXPECT_THROW(
      DecodeIndexPage(JetVersion::kJet4, ByteView(page.data(), page.size()), 5),
      Error);
}

// Rows of a table, counted by a scan.
size_t CountRows(Database& db, const TableDefinition& def) {
  TableScan scan(db.pager(), db.version(), def);
  size_t n = 0;
  while (scan.Next()) ++n;
  return n;
}

TEST(IndexTreeWalkTest, EveryRowOnceThroughIntermediatePagesAndTails) {
  SKIP_WITHOUT_CORPUS();
  // zipcode's table has an intermediate root with 71 entries and a tail
  // leaf; the Jet 3 file has intermediate pages with a one-byte prefix;
  // msm_Link_Template's root is an intermediate page with no entry, only
  // a tail leaf.
  struct Case {
    const char* file;
    const char* table;
  };
  for (const Case& c :
       {Case{"korean/zipcode.mdb", "zipcode"},
        Case{"jet3/compIndexTestV1997.mdb", "Table1"},
        Case{"wild/northwindApp.mdb", "Orders"},
        Case{"wild/geodatabaseTemplates.mdb", "msm_Link_Template"}}) {
    auto db = Database::Open((testing_support::CorpusDir() / c.file).string());
    TableDefinition def = db->ReadTableDefinition(db->FindTable(c.table));
    size_t rows = CountRows(*db, def);
    ASSERT_GT(rows, 0u) << c.file;
    for (const RealIndex& index : def.real_indexes) {
      std::vector<IndexLeafEntry> entries;
      IndexWalkStats stats =
          WalkIndexTree(db->pager(), db->version(), index.first_page, def.page,
                        [&](const IndexLeafEntry& e) { entries.push_back(e); });
      if (index.flags & index_flags::kIgnoreNulls) {
        EXPECT_LE(entries.size(), rows) << c.file;
      } else {
        EXPECT_EQ(entries.size(), rows) << c.file;
      }
      EXPECT_EQ(stats.entries, entries.size());
      for (size_t i = 1; i < entries.size(); ++i) {
        IndexPageEntry a, b;
        a.key = entries[i - 1].key;
        a.row = entries[i - 1].row;
        b.key = entries[i].key;
        b.row = entries[i].row;
        ASSERT_LT(a.SortBytes(), b.SortBytes()) << c.file << " entry " << i;
      }
    }
  }
}

// Finds an index of `table` whose root is an intermediate page.
uint32_t IntermediateRoot(Database& db, const TableDefinition& def) {
  for (const RealIndex& index : def.real_indexes) {
    if (db.pager().Get(index.first_page)->type() == kPageIndexNode) {
      return index.first_page;
    }
  }
  return 0;
}

void WriteByte(const fs::path& file, size_t offset, uint8_t value) {
  std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
  f.seekp(static_cast<std::streamoff>(offset));
  f.put(static_cast<char>(value));
}

void ExpectDamaged(const fs::path& file, const char* table) {
  auto db = Database::Open(file.string());
  TableDefinition def = db->ReadTableDefinition(db->FindTable(table));
  for (const RealIndex& index : def.real_indexes) {
    try {
      WalkIndexTree(db->pager(), db->version(), index.first_page, def.page,
                    [](const IndexLeafEntry&) {});
    } catch (const Error& e) {
      EXPECT_EQ(e.number(), kErrDamagedFile);
      return;
    }
  }
  ADD_FAILURE() << "no index of " << table << " was found damaged";
}

TEST(IndexTreeWalkTest, DamagedTreesRaise3049) {
  SKIP_WITHOUT_CORPUS();
  testing_support::TempDir tmp;
  fs::path source =
      testing_support::CorpusDir() / "jet4/compIndexTestV2000.mdb";
  uint32_t root;
  IndexPage node;
  {
    auto db = Database::Open(source.string());
    TableDefinition def = db->ReadTableDefinition(db->FindTable("Table1"));
    root = IntermediateRoot(*db, def);
    ASSERT_NE(root, 0u);
    node = DecodeIndexPage(db->version(), db->pager().Get(root)->view(), root);
    ASSERT_FALSE(node.entries.empty());
  }
  const size_t page_base = static_cast<size_t>(root) * kJet4PageSize;
  const IndexPageEntry& first = node.entries[0];
  const size_t child_at = first.offset + first.stored_size - 4;

  // A child pointing back at the root: a loop.
  fs::path loop = tmp.Copy(source);
  for (int i = 0; i < 4; ++i) {
    WriteByte(loop, page_base + child_at + i,
              static_cast<uint8_t>(root >> (8 * (3 - i))));
  }
  ExpectDamaged(loop, "Table1");

  // A child past the end of the file.
  fs::path outside = tmp.Copy(source);
  fs::rename(outside, tmp.path() / "outside.mdb");
  outside = tmp.path() / "outside.mdb";
  WriteByte(outside, page_base + child_at, 0x7F);
  ExpectDamaged(outside, "Table1");

  // A child that is a data page.
  fs::path data = tmp.Copy(source);
  fs::rename(data, tmp.path() / "data.mdb");
  data = tmp.path() / "data.mdb";
  WriteByte(data, static_cast<size_t>(first.child_page) * kJet4PageSize, 0x01);
  ExpectDamaged(data, "Table1");

  // The root's page type overwritten.
  fs::path type = tmp.Copy(source);
  fs::rename(type, tmp.path() / "type.mdb");
  type = tmp.path() / "type.mdb";
  WriteByte(type, page_base, 0x02);
  ExpectDamaged(type, "Table1");
}

}  // namespace
}  // namespace jet
