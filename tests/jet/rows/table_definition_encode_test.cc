// Table definitions written back: every definition of the corpus, decoded,
// encoded and decoded again, gives the same definition, in as many bytes as
// Access wrote; definitions longer than a page are split the way Access
// splits them.
#include <gtest/gtest.h>

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/rows/table_definition.h"
#include "tests/support/corpus.h"

namespace {

using jet::ColumnDefinition;
using jet::TableDefinition;

bool IsText(const ColumnDefinition& c) {
  return c.type == static_cast<uint8_t>(jet::ColumnType::kText) ||
         c.type == static_cast<uint8_t>(jet::ColumnType::kMemo);
}

void ExpectSameDefinition(const TableDefinition& a, const TableDefinition& b,
                          const std::string& where) {
  EXPECT_EQ(a.stored_row_count, b.stored_row_count) << where;
  EXPECT_EQ(a.next_autonumber, b.next_autonumber) << where;
  EXPECT_EQ(a.table_type, b.table_type) << where;
  EXPECT_EQ(a.max_columns, b.max_columns) << where;
  EXPECT_EQ(a.variable_column_count, b.variable_column_count) << where;
  EXPECT_EQ(a.usage_map, b.usage_map) << where;
  EXPECT_EQ(a.free_space_map, b.free_space_map) << where;
  ASSERT_EQ(a.columns.size(), b.columns.size()) << where;
  for (size_t k = 0; k < a.columns.size(); ++k) {
    const ColumnDefinition& x = a.columns[k];
    const ColumnDefinition& y = b.columns[k];
    std::string at = where + " column " + x.name;
    EXPECT_EQ(x.name, y.name) << at;
    EXPECT_EQ(x.type, y.type) << at;
    EXPECT_EQ(x.number, y.number) << at;
    EXPECT_EQ(x.variable_index, y.variable_index) << at;
    EXPECT_EQ(x.column_index, y.column_index) << at;
    EXPECT_EQ(x.fixed_offset, y.fixed_offset) << at;
    EXPECT_EQ(x.length, y.length) << at;
    EXPECT_EQ(x.flags, y.flags) << at;
    EXPECT_EQ(x.compressed_unicode, y.compressed_unicode) << at;
    EXPECT_EQ(x.precision, y.precision) << at;
    EXPECT_EQ(x.scale, y.scale) << at;
    if (IsText(x)) {
      EXPECT_EQ(x.sort_order, y.sort_order) << at;
      EXPECT_EQ(x.sort_order_version, y.sort_order_version) << at;
      EXPECT_EQ(x.code_page, y.code_page) << at;
    }
  }
  ASSERT_EQ(a.real_indexes.size(), b.real_indexes.size()) << where;
  for (size_t i = 0; i < a.real_indexes.size(); ++i) {
    const auto& x = a.real_indexes[i];
    const auto& y = b.real_indexes[i];
    ASSERT_EQ(x.columns.size(), y.columns.size()) << where;
    for (size_t c = 0; c < x.columns.size(); ++c) {
      EXPECT_EQ(x.columns[c].column_number, y.columns[c].column_number)
          << where;
      EXPECT_EQ(x.columns[c].ascending, y.columns[c].ascending) << where;
    }
    EXPECT_EQ(x.usage_map, y.usage_map) << where;
    EXPECT_EQ(x.first_page, y.first_page) << where;
    EXPECT_EQ(x.flags, y.flags) << where;
    EXPECT_EQ(x.first_page_offset, y.first_page_offset) << where;
  }
  ASSERT_EQ(a.logical_indexes.size(), b.logical_indexes.size()) << where;
  for (size_t i = 0; i < a.logical_indexes.size(); ++i) {
    const auto& x = a.logical_indexes[i];
    const auto& y = b.logical_indexes[i];
    EXPECT_EQ(x.name, y.name) << where;
    EXPECT_EQ(x.number, y.number) << where;
    EXPECT_EQ(x.real_index, y.real_index) << where;
    EXPECT_EQ(x.related_table_type, y.related_table_type) << where;
    EXPECT_EQ(x.related_index, y.related_index) << where;
    EXPECT_EQ(x.related_table_page, y.related_table_page) << where;
    EXPECT_EQ(x.index_type, y.index_type) << where;
    if (x.is_foreign_key()) {
      EXPECT_EQ(x.cascade_updates, y.cascade_updates) << where;
      EXPECT_EQ(x.cascade_deletes, y.cascade_deletes) << where;
    }
  }
  ASSERT_EQ(a.long_value_maps.size(), b.long_value_maps.size()) << where;
  for (size_t i = 0; i < a.long_value_maps.size(); ++i) {
    EXPECT_EQ(a.long_value_maps[i].column_number,
              b.long_value_maps[i].column_number);
    EXPECT_EQ(a.long_value_maps[i].usage_map, b.long_value_maps[i].usage_map);
    EXPECT_EQ(a.long_value_maps[i].free_space_map,
              b.long_value_maps[i].free_space_map);
  }
}

// The definition's bytes as its pages hold them.
std::vector<uint8_t> StoredBytes(jet::Database& db,
                                 const TableDefinition& def) {
  std::vector<uint8_t> bytes;
  for (size_t i = 0; i < def.pages.size(); ++i) {
    jet::PageRef p = db.pager().Get(def.pages[i]);
    bytes.insert(bytes.end(), p->bytes().begin() + (i == 0 ? 0 : 8),
                 p->bytes().end());
  }
  return bytes;
}

// The long-value map entries stored from `at` to their 0xFFFF end.
size_t Jet3LongValueMaps(const std::vector<uint8_t>& bytes, size_t at) {
  size_t n = 0;
  while (at + 2 <= bytes.size() &&
         (bytes[at] != 0xFF || bytes[at + 1] != 0xFF)) {
    at += 10;
    ++n;
  }
  return n;
}

// A pager over the pages given, for decoding encoded definitions.
class MemoryFile {
 public:
  MemoryFile(
      testing_support::TempDir& dir, uint32_t page_size,
      const std::vector<std::pair<uint32_t, std::vector<uint8_t>>>& pages)
      : path_((dir.path() / "pages.bin").string()) {
    uint32_t count = 0;
    for (const auto& [n, bytes] : pages) count = std::max(count, n + 1);
    {
      jet::File f = jet::File::Create(path_);
      f.WriteAt(0, std::vector<uint8_t>(size_t{count} * page_size, 0));
      for (const auto& [n, bytes] : pages)
        f.WriteAt(uint64_t{n} * page_size, bytes);
      f.Sync();
    }
    pager_ = std::make_unique<jet::Pager>(jet::File::OpenForReading(path_),
                                          page_size);
  }
  ~MemoryFile() {
    pager_.reset();
    std::remove(path_.c_str());
  }
  jet::Pager& pager() { return *pager_; }

 private:
  std::string path_;
  std::unique_ptr<jet::Pager> pager_;
};

TEST(TableDefinitionEncodeTest,
     CorpusDefinitionsEncodeBackToTheSameDefinition) {
  SKIP_WITHOUT_CORPUS();
  size_t definitions = 0, multi_page = 0;
  for (const auto& file : testing_support::CorpusFiles()) {
    jet::OpenOptions options;
    options.connect = ";pwd=" + testing_support::CorpusPassword(file);
    auto db = jet::Database::Open(file.string(), options);
    const jet::JetVersion version = db->version();
    const uint16_t code_page = db->header().code_page;
    for (const jet::CatalogEntry& entry : db->tables()) {
      if (!entry.is_local_table()) continue;
      TableDefinition def = db->ReadTableDefinition(entry);
      std::string where = file.filename().string() + " " + entry.name;
      std::vector<uint8_t> bytes = def.Encode(version, code_page);
      // Access records the definition's length; ours must agree, once the
      // long-value maps of Jet 3 definitions (which the reader leaves out)
      // are counted.
      std::vector<uint8_t> stored_bytes = StoredBytes(*db, def);
      size_t expected = jet::ByteView(stored_bytes.data(), 12).U32(0x08);
      if (version == jet::JetVersion::kJet3) {
        expected -= 10 * Jet3LongValueMaps(stored_bytes, bytes.size() - 2);
      }
      EXPECT_EQ(bytes.size(), expected) << where;
      EXPECT_EQ(
          TableDefinition::PagesFor(bytes.size(), db->pager().page_size()),
          def.pages.size())
          << where;
      if (TableDefinition::PagesFor(bytes.size(), db->pager().page_size()) !=
          def.pages.size()) {
        continue;
      }
      auto pages = TableDefinition::SplitIntoPages(bytes, version, def.pages);
      testing_support::TempDir dir;
      std::vector<std::pair<uint32_t, std::vector<uint8_t>>> stored;
      for (size_t i = 0; i < pages.size(); ++i)
        stored.emplace_back(def.pages[i], pages[i]);
      MemoryFile memory(dir, db->pager().page_size(), stored);
      TableDefinition again =
          TableDefinition::Read(memory.pager(), version, code_page, def.page);
      EXPECT_EQ(again.pages, def.pages) << where;
      ExpectSameDefinition(def, again, where);
      ++definitions;
      if (pages.size() > 1) {
        ++multi_page;
        // Access fills the first page whole and gives continuation pages
        // the first page's 4 leading bytes and, in Jet 4, their free space.
        for (size_t i = 0; i < pages.size(); ++i) {
          jet::PageRef p = db->pager().Get(def.pages[i]);
          EXPECT_EQ(p->view().U32(0), jet::ByteView(pages[i].data(), 8).U32(0))
              << where << " page " << i;
          EXPECT_EQ(p->view().U32(4), jet::ByteView(pages[i].data(), 8).U32(4))
              << where << " page " << i;
        }
      }
    }
  }
  EXPECT_GT(definitions, 450u);
  EXPECT_GT(multi_page, 0u);
}

TEST(TableDefinitionEncodeTest, SplitsLongDefinitionsAsJetDoes) {
  TableDefinition def;
  def.table_type = 0x4E;
  for (int k = 0; k < 200; ++k) {
    ColumnDefinition col;
    col.name = "a column with a rather long name " + std::to_string(k);
    col.type = static_cast<uint8_t>(jet::ColumnType::kLong);
    col.number = static_cast<uint16_t>(k);
    col.column_index = static_cast<uint16_t>(k);
    col.fixed_offset = static_cast<uint16_t>(4 * k);
    col.length = 4;
    col.flags = 0x03;
    def.columns.push_back(col);
  }
  def.max_columns = 200;
  for (jet::JetVersion version :
       {jet::JetVersion::kJet3, jet::JetVersion::kJet4}) {
    std::vector<uint8_t> bytes = def.Encode(version, 1252);
    uint32_t page_size = jet::PageSizeOf(version);
    size_t count = TableDefinition::PagesFor(bytes.size(), page_size);
    ASSERT_GT(count, 1u);
    std::vector<uint32_t> numbers;
    for (size_t i = 0; i < count; ++i)
      numbers.push_back(static_cast<uint32_t>(10 + 3 * i));
    auto pages = TableDefinition::SplitIntoPages(bytes, version, numbers);
    ASSERT_EQ(pages.size(), count);
    size_t carried = 0;
    for (size_t i = 0; i < count; ++i) {
      jet::ByteView v(pages[i].data(), pages[i].size());
      EXPECT_EQ(v.U8(0), 0x02);
      EXPECT_EQ(v.U32(4), i + 1 < count ? numbers[i + 1] : 0u);
      size_t on_page =
          i == 0 ? page_size
                 : std::min<size_t>(page_size - 8, bytes.size() - carried);
      if (version == jet::JetVersion::kJet4) {
        size_t used = i == 0 ? page_size : 8 + on_page;
        EXPECT_EQ(v.U16(2), used + 8 <= page_size ? page_size - used - 8 : 0);
      } else {
        EXPECT_EQ(v.U8(2), 'V');
        EXPECT_EQ(v.U8(3), 'C');
      }
      carried += on_page;
    }
    EXPECT_EQ(carried, bytes.size());

    testing_support::TempDir dir;
    std::vector<std::pair<uint32_t, std::vector<uint8_t>>> stored;
    for (size_t i = 0; i < count; ++i)
      stored.emplace_back(numbers[i], pages[i]);
    MemoryFile memory(dir, page_size, stored);
    TableDefinition again =
        TableDefinition::Read(memory.pager(), version, 1252, numbers[0]);
    EXPECT_EQ(again.pages, numbers);
    ASSERT_EQ(again.columns.size(), 200u);
    EXPECT_EQ(again.columns[199].name, def.columns[199].name);
    EXPECT_EQ(again.columns[199].fixed_offset, 796);
  }
}

TEST(TableDefinitionEncodeTest, RefusesNamesTooLongToStore) {
  TableDefinition def;
  ColumnDefinition col;
  col.name = std::string(300, 'x');
  col.type = static_cast<uint8_t>(jet::ColumnType::kLong);
  def.columns.push_back(col);
  try {
    def.Encode(jet::JetVersion::kJet3, 1252);
    FAIL() << "expected 3251";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrUnsupportedFeature);
  }
  EXPECT_NO_THROW(def.Encode(jet::JetVersion::kJet4, 1252));
}

}  // namespace
