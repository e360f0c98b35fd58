// The integrity checker: every real file of the corpus is sound, and damage
// made on purpose in a copy (a usage map bit, a page given to two tables, a
// moved row's pointer, a free-space field, a long-value chain, two index
// entries swapped, an index entry taken out, a long-value row used by two
// values, the global map) is found where it was made; random
// damage never makes the checker crash.
#include "jet/check/checker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <optional>
#include <random>

#include "jet/base/column_type.h"
#include "jet/storage/data_page.h"
#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/index/index_page.h"
#include "jet/index/index_reader.h"
#include "jet/index/index_writer.h"
#include "jet/rows/long_value.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_scan.h"
#include "jet/storage/usage_map.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using jet::FindingKind;
using jet::RowPointer;
using testing_support::TempDir;

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

std::string Connect(const fs::path& file) {
  return ";pwd=" + testing_support::CorpusPassword(file);
}

std::unique_ptr<jet::Database> Open(const fs::path& file,
                                    const std::string& connect = "") {
  jet::OpenOptions options;
  options.connect = connect;
  return jet::Database::Open(file.string(), options);
}

std::vector<jet::Finding> Check(const fs::path& file,
                                const std::string& connect = "") {
  auto db = Open(file, connect);
  return jet::CheckDatabase(*db);
}

std::string Describe(const std::vector<jet::Finding>& findings) {
  std::string s;
  for (const jet::Finding& f : findings) s += jet::FormatFinding(f) + "\n";
  return s;
}

// Whether a finding of `kind` names `page` (any page when 0).
bool Has(const std::vector<jet::Finding>& findings, FindingKind kind,
         uint32_t page = 0) {
  return std::any_of(findings.begin(), findings.end(), [&](const auto& f) {
    return f.kind == kind && (page == 0 || f.page == page);
  });
}

// Where the bytes of a row are in the file (pages stored in the clear).
size_t RowOffset(jet::Database& db, RowPointer where) {
  jet::PageRef page = db.pager().Get(where.page);
  jet::RowSlot slot = jet::DataPage(db.version(), page->view()).Slot(where.row);
  return static_cast<size_t>(where.page) * db.pager().page_size() +
         static_cast<size_t>(slot.bytes.data() - page->view().data());
}

// The byte and bit of `page` in the usage map at `map`; nullopt when the
// map does not cover it.
std::optional<std::pair<size_t, uint8_t>> MapBit(jet::Database& db,
                                                 RowPointer map,
                                                 uint32_t page) {
  jet::PageRef host = db.pager().Get(map.page);
  jet::RowSlot slot = jet::DataPage(db.version(), host->view()).Slot(map.row);
  size_t row = RowOffset(db, map);
  jet::ByteView b = slot.bytes;
  if (b.U8(0) == 0x00) {
    uint32_t first = b.U32(1);
    if (page < first || page - first >= (b.size() - 5) * 8) return std::nullopt;
    uint32_t k = page - first;
    return std::make_pair(row + 5 + k / 8, static_cast<uint8_t>(1u << (k % 8)));
  }
  size_t per_page = (db.pager().page_size() - 4) * 8;
  size_t index = page / per_page;
  if (1 + 4 * index + 4 > b.size()) return std::nullopt;
  uint32_t bitmap = b.U32(1 + 4 * index);
  if (bitmap == 0 || bitmap >= db.pager().page_count()) return std::nullopt;
  size_t k = page % per_page;
  return std::make_pair(
      static_cast<size_t>(bitmap) * db.pager().page_size() + 4 + k / 8,
      static_cast<uint8_t>(1u << (k % 8)));
}

struct TableWithPages {
  jet::TableDefinition def;
  std::vector<uint32_t> pages;  // its data pages
};

// User tables with at least `min_pages` data pages, in catalog order.
std::vector<TableWithPages> UserTables(jet::Database& db, size_t min_pages) {
  std::vector<TableWithPages> out;
  for (const jet::CatalogEntry& e : db.tables()) {
    if (e.is_system() || !e.is_local_table()) continue;
    TableWithPages t{db.ReadTableDefinition(e), {}};
    for (uint32_t p :
         jet::ReadUsageMap(db.pager(), db.version(), t.def.usage_map)) {
      jet::PageRef page = db.pager().Get(p);
      if (page->type() == jet::kPageData &&
          jet::DataPage(db.version(), page->view()).owner() == t.def.page) {
        t.pages.push_back(p);
      }
    }
    if (t.pages.size() >= min_pages) out.push_back(std::move(t));
  }
  return out;
}

// --- real files ---

TEST(CheckerTest, CorpusFilesHaveNoFindings) {
  SKIP_WITHOUT_CORPUS();
  size_t files = 0;
  for (const fs::path& file : testing_support::CorpusFiles()) {
    auto db = Open(file, Connect(file));
    jet::CheckResult result = jet::CheckDatabaseWithStatistics(*db);
    EXPECT_TRUE(result.findings.empty()) << file << "\n"
                                         << Describe(result.findings);
    const jet::CheckStatistics& s = result.statistics;
    EXPECT_EQ(s.free_space_agreeing, s.data_pages_checked) << file;
    EXPECT_EQ(s.index_free_space_agreeing, s.index_pages) << file;
    EXPECT_GT(s.rows, 0u) << file;
    EXPECT_EQ(s.pages, db->pager().page_count()) << file;
    ++files;
  }
  EXPECT_GT(files, 0u);
}

TEST(CheckerTest, StatisticsOfAKnownFile) {
  SKIP_WITHOUT_CORPUS();
  fs::path file = testing_support::CorpusDir() / "korean/zipcode.mdb";
  auto db = Open(file);
  jet::CheckResult result = jet::CheckDatabaseWithStatistics(*db);
  EXPECT_TRUE(result.findings.empty()) << Describe(result.findings);
  // 43,016 postal-code rows (and the system tables' rows), 2,956 of them
  // moved; every page is owned.
  EXPECT_GT(result.statistics.rows, 43016u);
  EXPECT_GE(result.statistics.moved_rows, 2956u);
  EXPECT_EQ(result.statistics.owned_pages, result.statistics.pages);
}

// --- damage made on purpose ---

class DamagedCopy {
 public:
  explicit DamagedCopy(const char* name)
      : source_(testing_support::CorpusDir() / name),
        path_(dir_.Copy(source_)),
        bytes_(ReadFile(path_)) {}

  const fs::path& path() const { return path_; }
  std::vector<uint8_t>& bytes() { return bytes_; }
  void Save() { WriteFile(path_, bytes_); }
  std::vector<jet::Finding> Check() { return ::Check(path_); }

 private:
  TempDir dir_;
  fs::path source_;
  fs::path path_;
  std::vector<uint8_t> bytes_;
};

TEST(CheckerTest, DataPageDroppedFromItsUsageMapIsReclaimableSpace) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/compIndexTestV2000.mdb");
  uint32_t page = 0;
  {
    auto db = Open(copy.path());
    std::vector<TableWithPages> tables = UserTables(*db, 2);
    ASSERT_FALSE(tables.empty());
    page = tables[0].pages.back();
    auto bit = MapBit(*db, tables[0].def.usage_map, page);
    ASSERT_TRUE(bit);
    copy.bytes()[bit->first] &= static_cast<uint8_t>(~bit->second);
  }
  copy.Save();
  // A page dropped from its table's map is what Access leaves when it
  // empties a table: space a compaction reclaims, not a finding.
  auto findings = copy.Check();
  EXPECT_FALSE(Has(findings, FindingKind::kPageNotInMap, page))
      << Describe(findings);
  {
    auto db = Open(copy.path());
    EXPECT_EQ(jet::CheckDatabaseWithStatistics(*db)
                  .statistics.unowned_dropped_data_pages,
              1u);
  }
  // Here the rows on it are gone from the table, not from its indexes.
  EXPECT_TRUE(Has(findings, FindingKind::kIndexExtraEntry))
      << Describe(findings);
}

// The check every write test ends with: passes a sound file, fails a
// damaged one with the findings in its message, and fails (not raises) when
// the file cannot be opened.
TEST(CheckerTest, WriteTestsCheckFailsWithTheFindings) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/compIndexTestV2000.mdb");
  EXPECT_TRUE(testing_support::DatabaseChecksClean(copy.path()));
  {
    auto db = Open(copy.path());
    std::vector<TableWithPages> tables = UserTables(*db, 2);
    ASSERT_FALSE(tables.empty());
    auto bit = MapBit(*db, tables[0].def.usage_map, tables[0].pages.back());
    ASSERT_TRUE(bit);
    copy.bytes()[bit->first] &= static_cast<uint8_t>(~bit->second);
  }
  copy.Save();
  ::testing::AssertionResult damaged =
      testing_support::DatabaseChecksClean(copy.path());
  EXPECT_FALSE(damaged);
  std::string message = damaged.message();
  EXPECT_NE(message.find(jet::FormatFinding(copy.Check().front())),
            std::string::npos)
      << message;
  EXPECT_NE(message.find("keys matched="), std::string::npos) << message;

  TempDir dir;
  fs::path locked =
      dir.Copy(testing_support::CorpusDir() / "jet4/passwordV2000.mdb");
  EXPECT_TRUE(testing_support::DatabaseChecksClean(locked, ";pwd=password"));
  ::testing::AssertionResult refused =
      testing_support::DatabaseChecksClean(locked, ";pwd=wrong");
  EXPECT_FALSE(refused);
  EXPECT_NE(std::string(refused.message()).find("3031"), std::string::npos)
      << refused.message();
}

TEST(CheckerTest, DataPageGivenToTwoTables) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/indexTestV2000.mdb");
  uint32_t page = 0;
  {
    auto db = Open(copy.path());
    std::vector<TableWithPages> tables = UserTables(*db, 1);
    ASSERT_GE(tables.size(), 2u);
    bool done = false;
    for (size_t a = 0; a < tables.size() && !done; ++a) {
      for (size_t b = 0; b < tables.size() && !done; ++b) {
        if (a == b) continue;
        auto bit = MapBit(*db, tables[b].def.usage_map, tables[a].pages[0]);
        if (!bit) continue;
        page = tables[a].pages[0];
        copy.bytes()[bit->first] |= bit->second;
        done = true;
      }
    }
    ASSERT_TRUE(done) << "no map covers another table's page";
  }
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kPageOwnedTwice, page))
      << Describe(findings);
  EXPECT_TRUE(Has(findings, FindingKind::kWrongPageType, page))
      << Describe(findings);
}

TEST(CheckerTest, OwnedPageMarkedFreeInTheGlobalMap) {
  SKIP_WITHOUT_CORPUS();
  // Files whose global map covers their pages.
  for (const char* name : {"korean/wedding.mdb", "jet3/testV1997.mdb"}) {
    DamagedCopy copy(name);
    uint32_t page = 0;
    {
      auto db = Open(copy.path());
      std::vector<TableWithPages> tables = UserTables(*db, 1);
      ASSERT_FALSE(tables.empty()) << name;
      page = tables[0].pages[0];
      auto bit = MapBit(*db, jet::kGlobalUsageMap, page);
      ASSERT_TRUE(bit) << name;
      copy.bytes()[bit->first] |= bit->second;
    }
    copy.Save();
    auto findings = copy.Check();
    EXPECT_TRUE(Has(findings, FindingKind::kOwnedPageMarkedFree, page))
        << name << "\n"
        << Describe(findings);
  }
}

// The slots of `def` holding overflow pointers.
std::vector<RowPointer> PointerSlots(jet::Database& db,
                                     const TableWithPages& t) {
  std::vector<RowPointer> out;
  for (uint32_t p : t.pages) {
    jet::PageRef page = db.pager().Get(p);
    jet::DataPage dp(db.version(), page->view());
    for (uint16_t r = 0; r < dp.row_count(); ++r) {
      if (dp.Slot(r).kind == jet::RowSlotKind::kOverflowPointer) {
        out.push_back(RowPointer{p, static_cast<uint8_t>(r)});
      }
    }
  }
  return out;
}

void PutU32(std::vector<uint8_t>& bytes, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    bytes[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

uint32_t GetU32(const std::vector<uint8_t>& bytes, size_t at) {
  return jet::ByteView(bytes.data(), bytes.size()).U32(at);
}

TEST(CheckerTest, BrokenOverflowPointer) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/overflowTestV2000.mdb");
  RowPointer slot, target;
  {
    auto db = Open(copy.path());
    for (const TableWithPages& t : UserTables(*db, 1)) {
      std::vector<RowPointer> pointers = PointerSlots(*db, t);
      if (pointers.empty()) continue;
      slot = pointers[0];
      size_t at = RowOffset(*db, slot);
      target = RowPointer::FromPacked(GetU32(copy.bytes(), at));
      // Same page, a row it does not have.
      PutU32(copy.bytes(), at, RowPointer{target.page, 250}.Packed());
      break;
    }
    ASSERT_NE(slot.page, 0u) << "no moved row";
  }
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kOverflowPointer, slot.page))
      << Describe(findings);
  EXPECT_TRUE(Has(findings, FindingKind::kMovedRowUnreachable, target.page))
      << Describe(findings);
}

TEST(CheckerTest, MovedRowReachedTwice) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("korean/accessControlInfo.mdb");
  RowPointer first_target;
  {
    auto db = Open(copy.path());
    for (const TableWithPages& t : UserTables(*db, 1)) {
      std::vector<RowPointer> pointers = PointerSlots(*db, t);
      if (pointers.size() < 2) continue;
      first_target = RowPointer::FromPacked(
          GetU32(copy.bytes(), RowOffset(*db, pointers[0])));
      PutU32(copy.bytes(), RowOffset(*db, pointers[1]), first_target.Packed());
      break;
    }
    ASSERT_NE(first_target.page, 0u) << "no table with two moved rows";
  }
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(
      Has(findings, FindingKind::kMovedRowReachedTwice, first_target.page))
      << Describe(findings);
  EXPECT_TRUE(Has(findings, FindingKind::kMovedRowUnreachable))
      << Describe(findings);
}

TEST(CheckerTest, WrongFreeSpaceField) {
  SKIP_WITHOUT_CORPUS();
  for (const char* name : {"jet3/testV1997.mdb", "jet4/testV2000.mdb"}) {
    DamagedCopy copy(name);
    uint32_t page = 0;
    {
      auto db = Open(copy.path());
      std::vector<TableWithPages> tables = UserTables(*db, 1);
      ASSERT_FALSE(tables.empty());
      page = tables[0].pages[0];
    }
    size_t at =
        static_cast<size_t>(page) * (copy.bytes()[0x14] == 0 ? 2048 : 4096) + 2;
    copy.bytes()[at] ^= 0x10;
    copy.Save();
    auto findings = copy.Check();
    EXPECT_TRUE(Has(findings, FindingKind::kFreeSpaceField, page))
        << name << "\n"
        << Describe(findings);
  }
}

TEST(CheckerTest, RowOffsetsOutOfOrder) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/indexTestV2000.mdb");
  uint32_t page = 0;
  {
    auto db = Open(copy.path());
    for (const TableWithPages& t : UserTables(*db, 1)) {
      jet::PageRef p = db->pager().Get(t.pages[0]);
      if (jet::DataPage(db->version(), p->view()).row_count() < 2) continue;
      page = t.pages[0];
      break;
    }
    ASSERT_NE(page, 0u);
  }
  // Slot 1's offset past slot 0's.
  size_t table = static_cast<size_t>(page) * 4096 + 0x0E;
  uint16_t slot0 = copy.bytes()[table] | (copy.bytes()[table + 1] << 8);
  uint16_t moved = static_cast<uint16_t>((slot0 & 0x1FFF) + 1);
  copy.bytes()[table + 2] = static_cast<uint8_t>(moved);
  copy.bytes()[table + 3] = static_cast<uint8_t>(moved >> 8);
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kRowOffsets, page))
      << Describe(findings);
}

// The first long value kept in a chain of at least two rows: the row that
// holds it and the chain's first long-value row.
struct ChainedValue {
  RowPointer row;
  RowPointer first;
};

std::optional<ChainedValue> FindChainedValue(jet::Database& db) {
  for (const jet::CatalogEntry& e : db.tables()) {
    if (!e.is_local_table()) continue;
    jet::TableDefinition def = db.ReadTableDefinition(e);
    jet::TableScan scan(db.pager(), db.version(), def);
    while (scan.Next()) {
      std::vector<jet::FieldBytes> fields = scan.Fields();
      for (size_t k = 0; k < def.columns.size(); ++k) {
        if (!jet::IsLongValueType(def.columns[k].type) || fields[k].is_null) {
          continue;
        }
        jet::ByteView ref = fields[k].data;
        uint32_t word = ref.U32(0);
        if (word & 0xC0000000u) continue;  // inline or one row
        RowPointer first = RowPointer::FromPacked(ref.U32(4));
        jet::PageRef page = db.pager().Get(first.page);
        jet::RowSlot slot =
            jet::DataPage(db.version(), page->view()).Slot(first.row);
        if (slot.bytes.U32(0) == 0) continue;  // a chain of one row
        return ChainedValue{scan.stored_at(), first};
      }
    }
  }
  return std::nullopt;
}

TEST(CheckerTest, CutLongValueChain) {
  SKIP_WITHOUT_CORPUS();
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
    DamagedCopy copy(name);
    std::optional<ChainedValue> value;
    {
      auto db = Open(copy.path());
      value = FindChainedValue(*db);
      ASSERT_TRUE(value) << name;
      PutU32(copy.bytes(), RowOffset(*db, value->first), 0);
    }
    copy.Save();
    auto findings = copy.Check();
    EXPECT_TRUE(Has(findings, FindingKind::kLongValue, value->row.page))
        << name << "\n"
        << Describe(findings);
  }
}

TEST(CheckerTest, LongValueChainThatLoops) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/testV2000.mdb");
  std::optional<ChainedValue> value;
  {
    auto db = Open(copy.path());
    value = FindChainedValue(*db);
    ASSERT_TRUE(value);
    // The first row's next pointer names the first row again.
    PutU32(copy.bytes(), RowOffset(*db, value->first), value->first.Packed());
  }
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kLongValue, value->row.page))
      << Describe(findings);
}

TEST(CheckerTest, SwappedIndexEntries) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/compIndexTestV2000.mdb");
  uint32_t leaf = 0;
  {
    auto db = Open(copy.path());
    for (const TableWithPages& t : UserTables(*db, 1)) {
      for (const jet::RealIndex& index : t.def.real_indexes) {
        // The root, or its first child when the root is not a leaf.
        uint32_t number = index.first_page;
        jet::PageRef p = db->pager().Get(number);
        if (p->type() == jet::kPageIndexNode) {
          jet::IndexPage root =
              jet::DecodeIndexPage(db->version(), p->view(), number);
          if (root.entries.empty()) continue;
          number = root.entries[0].child_page;
          p = db->pager().Get(number);
        }
        if (p->type() != jet::kPageIndexLeaf) continue;
        jet::IndexPage page =
            jet::DecodeIndexPage(db->version(), p->view(), number);
        // Two neighbours after the first (which holds any shared prefix)
        // of the same stored size and different bytes.
        for (size_t k = 1; k + 1 < page.entries.size(); ++k) {
          const jet::IndexPageEntry& a = page.entries[k];
          const jet::IndexPageEntry& b = page.entries[k + 1];
          if (a.stored_size != b.stored_size) continue;
          if (a.key == b.key) continue;
          size_t base = static_cast<size_t>(number) * 4096;
          std::swap_ranges(
              copy.bytes().begin() + base + a.offset,
              copy.bytes().begin() + base + a.offset + a.stored_size,
              copy.bytes().begin() + base + b.offset);
          leaf = number;
          break;
        }
        if (leaf) break;
      }
      if (leaf) break;
    }
    ASSERT_NE(leaf, 0u) << "no leaf with two entries to swap";
  }
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kIndexOrder, leaf))
      << Describe(findings);
}

TEST(CheckerTest, BrokenLeafLinks) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("korean/accessControlEvents.mdb");
  uint32_t leaf = 0;
  {
    auto db = Open(copy.path());
    for (const TableWithPages& t : UserTables(*db, 1)) {
      for (const jet::RealIndex& index : t.def.real_indexes) {
        jet::PageRef p = db->pager().Get(index.first_page);
        if (p->type() != jet::kPageIndexNode) continue;
        jet::IndexPage root =
            jet::DecodeIndexPage(db->version(), p->view(), index.first_page);
        if (root.entries.size() < 2) continue;
        leaf = root.entries[0].child_page;
        break;
      }
      if (leaf) break;
    }
    ASSERT_NE(leaf, 0u) << "no index of two leaves";
  }
  // The first leaf's next link (Jet 4: at 0x10) cut.
  PutU32(copy.bytes(), static_cast<size_t>(leaf) * 4096 + 0x10, 0);
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kIndexTree, leaf))
      << Describe(findings);
}

// Two values whose references name the same first long-value row.
TEST(CheckerTest, LongValueRowUsedByTwoValues) {
  SKIP_WITHOUT_CORPUS();
  for (const char* name : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
    DamagedCopy copy(name);
    // Where two stored references keep their first row's pointer, and the
    // pointer the first one holds.
    std::vector<std::pair<size_t, uint32_t>> refs;
    {
      auto db = Open(copy.path());
      for (const jet::CatalogEntry& e : db->tables()) {
        if (!e.is_local_table() || refs.size() == 2) continue;
        jet::TableDefinition def = db->ReadTableDefinition(e);
        jet::TableScan scan(db->pager(), db->version(), def);
        while (refs.size() < 2 && scan.Next()) {
          std::vector<jet::FieldBytes> fields = scan.Fields();
          jet::PageRef page = db->pager().Get(scan.stored_at().page);
          for (size_t k = 0; k < def.columns.size() && refs.size() < 2; ++k) {
            if (!jet::IsLongValueType(def.columns[k].type) ||
                fields[k].is_null || (fields[k].data.U32(0) & 0x80000000u)) {
              continue;  // no long value, or one kept in the row
            }
            const size_t at = static_cast<size_t>(scan.stored_at().page) *
                                  db->pager().page_size() +
                              static_cast<size_t>(fields[k].data.data() -
                                                  page->view().data()) +
                              4;
            refs.emplace_back(at, fields[k].data.U32(4));
          }
        }
      }
    }
    ASSERT_EQ(refs.size(), 2u) << name;
    PutU32(copy.bytes(), refs[1].first, refs[0].second);
    copy.Save();
    auto findings = copy.Check();
    EXPECT_TRUE(Has(findings, FindingKind::kLongValueShared))
        << name << "\n"
        << Describe(findings);
  }
}

// An index that lost the entry of one of its rows.
TEST(CheckerTest, RowMissingFromAnIndex) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  const fs::path path =
      dir.Copy(testing_support::CorpusDir() / "jet4/indexTestV2000.mdb");
  RowPointer row;
  {
    jet::OpenOptions options;
    options.writable = true;
    auto db = jet::Database::Open(path.string(), options);
    for (const TableWithPages& t : UserTables(*db, 1)) {
      if (t.def.real_indexes.empty()) continue;
      jet::TableDefinition def = t.def;
      std::vector<jet::IndexEntry> entries = jet::ReadIndexEntries(
          db->pager(), db->version(), def.real_indexes[0].first_page);
      if (entries.empty()) continue;
      row = entries.front().row;
      jet::PageAllocator allocator(db->pager(), db->version());
      jet::WriteGroup group(db->pager());
      jet::IndexWriter(db->pager(), db->version(), allocator, def, 0)
          .Remove(entries.front());
      group.Commit();
      break;
    }
    ASSERT_NE(row.page, 0u);
    db->Close();
  }
  auto findings = Check(path);
  EXPECT_TRUE(Has(findings, FindingKind::kIndexMissingEntry, row.page))
      << Describe(findings);
}

TEST(CheckerTest, IndexEntryOfADeletedRow) {
  SKIP_WITHOUT_CORPUS();
  DamagedCopy copy("jet4/indexTestV2000.mdb");
  RowPointer row;
  {
    auto db = Open(copy.path());
    for (const TableWithPages& t : UserTables(*db, 1)) {
      if (t.def.real_indexes.empty()) continue;
      jet::PageRef p = db->pager().Get(t.pages[0]);
      jet::DataPage dp(db->version(), p->view());
      for (uint16_t r = 0; r < dp.row_count(); ++r) {
        if (dp.Slot(r).kind != jet::RowSlotKind::kRow) continue;
        row = RowPointer{t.pages[0], static_cast<uint8_t>(r)};
        break;
      }
      if (row.page) break;
    }
    ASSERT_NE(row.page, 0u);
  }
  // The row's slot flagged deleted: its index entries lose their row.
  size_t at = static_cast<size_t>(row.page) * 4096 + 0x0E + 2 * row.row;
  copy.bytes()[at + 1] |= 0xC0;
  copy.Save();
  auto findings = copy.Check();
  EXPECT_TRUE(Has(findings, FindingKind::kIndexExtraEntry, row.page))
      << Describe(findings);
}

// --- damage at random ---

// Bytes changed at random over the structures of real files, and pages
// overwritten with noise: the checker reports and never raises or crashes
// (the sanitizer build checks that it stays in bounds).
TEST(CheckerTest, RandomDamageNeverCrashes) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::mt19937 rng(7);
  int opened = 0, with_findings = 0;
  for (const char* name :
       {"jet3/testV1997.mdb", "jet4/overflowTestV2000.mdb",
        "korean/phoneServerCustomers.mdb", "jet4/bigIndexTestV2000.mdb",
        "jet3/indexTestV1997.mdb"}) {
    std::vector<uint8_t> original =
        ReadFile(testing_support::CorpusDir() / name);
    size_t page_size = original[0x14] == 0 ? 2048 : 4096;
    size_t pages = original.size() / page_size;
    for (int round = 0; round < 40; ++round) {
      std::vector<uint8_t> bytes = original;
      if (round % 4 == 3) {
        // A whole page of noise (never page 0: the file must still open).
        size_t page = 1 + rng() % (pages - 1);
        for (size_t i = 0; i < page_size; ++i) {
          bytes[page * page_size + i] = static_cast<uint8_t>(rng());
        }
      } else {
        for (int k = 0; k < 1 + round % 12; ++k) {
          size_t at = page_size + rng() % (bytes.size() - page_size);
          bytes[at] ^= static_cast<uint8_t>(1 + rng() % 255);
        }
      }
      fs::path path = dir.path() / "damaged.mdb";
      WriteFile(path, bytes);
      std::unique_ptr<jet::Database> db;
      try {
        db = Open(path);
      } catch (const jet::Error&) {
        continue;  // too damaged to open: the command reports that itself
      }
      ++opened;
      std::vector<jet::Finding> findings;
      EXPECT_NO_THROW(findings = jet::CheckDatabase(*db)) << name << round;
      if (!findings.empty()) ++with_findings;
      for (const jet::Finding& f : findings) {
        EXPECT_FALSE(f.message.empty());
      }
    }
  }
  EXPECT_GT(opened, 0);
  EXPECT_GT(with_findings, 0);
}

}  // namespace
