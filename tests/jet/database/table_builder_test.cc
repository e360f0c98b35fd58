// New tables in new databases: a table with a column of every type, created
// by CreateTable and filled through Table::InsertRow, reads back the same in
// this engine, in mdbtools and in mdb-reader (the dump comparison of
// tests/oracles), for Jet 4 with the General and Korean sort orders and for
// Jet 3; its indexes hold an entry per row; bad descriptions change nothing.
#include "jet/database/table_builder.h"

#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <map>

#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/index/index_key.h"
#include "jet/index/index_page.h"
#include "jet/index/index_reader.h"
#include "jet/schema/catalog.h"
#include "jet/schema/property_map.h"
#include "jet/storage/usage_map.h"
#include "tests/jet/builder_test_support.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"
#include "tests/support/error_number.h"

namespace {

namespace fs = std::filesystem;
using builder_test::Quote;
using builder_test::RunCommand;
using jet::ColumnDescription;
using jet::ColumnType;
using jet::CreateOptions;
using jet::Database;
using jet::IndexDescription;
using jet::JetVersion;
using jet::TableDescription;
using jet::Value;
using testing_support::TempDir;

std::unique_ptr<Database> OpenWritable(const std::string& path) {
  jet::OpenOptions o;
  o.writable = true;
  return Database::Open(path, o);
}

using testing_support::ErrorNumberOf;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

ColumnDescription Column(const std::string& name, ColumnType type,
                         uint16_t length = 0) {
  ColumnDescription c;
  c.name = name;
  c.type = type;
  c.length = length;
  return c;
}

// A table with a column of every type (NUMERIC only in Jet 4).
TableDescription EveryType(JetVersion version, bool korean) {
  TableDescription t;
  t.name = korean ? "모든형식" : "Everything";
  t.columns = {Column("Number", ColumnType::kLong),
               Column("Flag", ColumnType::kBoolean),
               Column("Small", ColumnType::kByte),
               Column("Count", ColumnType::kInteger),
               Column("Price", ColumnType::kCurrency),
               Column("Ratio", ColumnType::kSingle),
               Column("Measure", ColumnType::kDouble),
               Column("When", ColumnType::kDateTime),
               Column("Raw", ColumnType::kBinary, 16),
               Column("Label", ColumnType::kText, 50),
               Column("Code", ColumnType::kText, 4),
               Column("Plain", ColumnType::kText, 255),
               Column("Notes", ColumnType::kMemo),
               Column("Picture", ColumnType::kOle),
               Column("Key", ColumnType::kGuid)};
  t.columns[0].required = true;
  t.columns[10].fixed_length = true;
  t.columns[11].compressed_unicode = false;
  if (version == JetVersion::kJet4) {
    ColumnDescription amount = Column("Amount", ColumnType::kNumeric);
    amount.precision = 18;
    amount.scale = 4;
    t.columns.push_back(amount);
  }
  if (korean) t.columns.push_back(Column("이름", ColumnType::kText, 20));
  IndexDescription pk;
  pk.name = "PrimaryKey";
  pk.columns = {{"Number", true}};
  pk.primary_key = true;
  t.indexes.push_back(pk);
  if (version == JetVersion::kJet4) {
    IndexDescription label;
    label.name = korean ? "이름순" : "ByLabel";
    label.columns = {{korean ? "이름" : "Label", true}};
    t.indexes.push_back(label);
  }
  IndexDescription when;
  when.name = "ByWhen";
  when.columns = {{"When", false}, {"Count", true}};
  when.ignore_nulls = true;
  t.indexes.push_back(when);
  return t;
}

std::string Repeat(const std::string& s, size_t n) {
  std::string out;
  for (size_t i = 0; i < n; ++i) out += s;
  return out;
}

jet::Binary Bytes(size_t n, uint8_t seed) {
  jet::Binary b(n);
  // No zero byte: mdbtools cuts binary values at the first one.
  for (size_t i = 0; i < n; ++i)
    b[i] = static_cast<uint8_t>(1 + (seed + 7 * i) % 255);
  return b;
}

// Rows for EveryType, one value per column in its order.
std::vector<std::vector<Value>> EveryTypeRows(JetVersion version, bool korean) {
  const bool jet4 = version == JetVersion::kJet4;
  jet::Guid key;
  for (int i = 0; i < 16; ++i)
    key.bytes[i] = static_cast<uint8_t>(0x10 + 11 * i);
  jet::Decimal amount;
  amount.magnitude = 123456789;
  amount.negative = true;
  amount.precision = 18;
  amount.scale = 4;
  const std::string text = korean ? "한국어 텍스트 가나다" : "Grüße, Welt";
  std::vector<Value> full = {
      int32_t{1},
      true,
      uint8_t{200},
      int16_t{-1234},
      jet::Currency{123400},
      0.5f,
      3.14159,
      jet::DateTime{45351 + 49530.0 / 86400},  // 2024-02-29 13:45:30
      Bytes(16, 3),
      text,
      std::string("ABCD"),
      std::string(jet4 ? "plain text 世界, not compressed" : "plain text"),
      Repeat(korean ? "메모 " : "memo text ", 700),  // several long-value pages
      Bytes(5000, 9),
      key};
  std::vector<Value> short_values = {int32_t{2},
                                     false,
                                     uint8_t{0},
                                     int16_t{32767},
                                     jet::Currency{-1},
                                     -1.25f,
                                     -0.001,
                                     jet::DateTime{1.5},  // 1899-12-31 12:00:00
                                     Bytes(3, 200),
                                     std::string("x"),
                                     std::string("WXYZ"),
                                     std::string(""),
                                     std::string("short memo"),  // inline
                                     Bytes(40, 1),
                                     key};
  std::vector<Value> nulls(full.size(), jet::Null{});
  nulls[0] = int32_t{3};
  nulls[1] = false;
  if (jet4) {
    full.push_back(amount);
    jet::Decimal zero;
    zero.precision = 18;
    zero.scale = 4;
    short_values.push_back(zero);
    nulls.push_back(jet::Null{});
  }
  if (korean) {
    full.push_back(std::string("김철수"));
    short_values.push_back(std::string("박영희"));
    nulls.push_back(jet::Null{});
  }
  return {full, short_values, nulls};
}

struct Created {
  std::string path;
  std::vector<jet::RowPointer> ids;
};

Created CreateFilled(const TempDir& dir, const std::string& name,
                     const CreateOptions& options, bool korean) {
  Created c;
  c.path = (dir.path() / name).string();
  jet::CreateDatabase(c.path, options);
  auto db = OpenWritable(c.path);
  auto table = jet::CreateTable(*db, EveryType(options.version, korean));
  for (const auto& row : EveryTypeRows(options.version, korean)) {
    c.ids.push_back(table->InsertRow(row));
  }
  db->Close();
  EXPECT_DATABASE_CHECKS_CLEAN(c.path);
  return c;
}

CreateOptions Options(JetVersion version, uint16_t sort_order) {
  CreateOptions o;
  o.version = version;
  o.sort_order = sort_order;
  return o;
}

struct Variant {
  const char* file;
  CreateOptions options;
  bool korean;
};

const Variant kVariants[] = {
    {"general4.mdb", Options(JetVersion::kJet4, 1033), false},
    {"korean4.mdb", Options(JetVersion::kJet4, 1042), true},
    {"general3.mdb", Options(JetVersion::kJet3, 1033), false},
};

TEST(CreateTableTest, RowsOfEveryTypeReadBack) {
  TempDir dir;
  for (const Variant& v : kVariants) {
    Created c = CreateFilled(dir, v.file, v.options, v.korean);
    auto db = Database::Open(c.path);
    TableDescription description = EveryType(v.options.version, v.korean);
    const jet::CatalogEntry& entry = db->FindTable(description.name);
    EXPECT_FALSE(entry.is_system());
    EXPECT_EQ(entry.parent_id, jet::catalog_ids::kTablesContainer);
    auto table = db->OpenTable(description.name);
    const auto rows = EveryTypeRows(v.options.version, v.korean);
    std::vector<jet::RowPointer> seen;
    for (auto scan = table->Scan(); scan.Next();) seen.push_back(scan.row_id());
    EXPECT_EQ(seen, c.ids) << v.file;
    for (size_t r = 0; r < rows.size(); ++r) {
      std::vector<Value> got = table->ReadRow(c.ids[r]);
      ASSERT_EQ(got.size(), rows[r].size());
      for (size_t k = 0; k < got.size(); ++k) {
        EXPECT_EQ(got[k], rows[r][k])
            << v.file << " row " << r << " " << description.columns[k].name;
      }
    }
    EXPECT_EQ(table->definition().stored_row_count, rows.size());
  }
}

TEST(CreateTableTest, DefinitionIsLaidOutAsAccessLaysItOut) {
  TempDir dir;
  for (const Variant& v : kVariants) {
    std::string path = (dir.path() / v.file).string();
    jet::CreateDatabase(path, v.options);
    auto db = OpenWritable(path);
    TableDescription description = EveryType(v.options.version, v.korean);
    auto table = jet::CreateTable(*db, description);
    const jet::TableDefinition& def = table->definition();
    const bool jet4 = v.options.version == JetVersion::kJet4;
    EXPECT_EQ(def.table_type, jet::kUserTableType);
    ASSERT_EQ(def.columns.size(), description.columns.size());
    uint16_t offset = 0, variable = 0;
    for (size_t k = 0; k < def.columns.size(); ++k) {
      const auto& col = def.columns[k];
      EXPECT_EQ(col.name, description.columns[k].name);
      EXPECT_EQ(col.number, k);
      EXPECT_EQ(col.column_index, k);
      if (col.type == static_cast<uint8_t>(ColumnType::kText)) {
        EXPECT_EQ(col.sort_order, v.options.sort_order);
      }
      bool variable_column = !col.is_fixed();
      EXPECT_EQ(col.flags, variable_column ? 0x02 : 0x03) << col.name;
      if (variable_column) {
        EXPECT_EQ(col.variable_index, variable++) << col.name;
      } else if (col.type != static_cast<uint8_t>(ColumnType::kBoolean)) {
        EXPECT_EQ(col.fixed_offset, offset) << col.name;
        offset = static_cast<uint16_t>(offset + col.length);
      }
    }
    auto text = [&](const char* name) { return def.FindColumn(name); };
    EXPECT_EQ(text("Label")->length, jet4 ? 100 : 50);
    EXPECT_EQ(text("Label")->compressed_unicode, jet4);
    EXPECT_FALSE(text("Plain")->compressed_unicode);
    EXPECT_TRUE(text("Code")->is_fixed());
    EXPECT_FALSE(text("Code")->compressed_unicode);
    EXPECT_EQ(text("Raw")->length, 16);
    EXPECT_EQ(text("Notes")->length, 0);
    EXPECT_EQ(text("Key")->length, 16);
    if (jet4) {
      EXPECT_EQ(text("Amount")->length, 17);
      EXPECT_EQ(text("Amount")->precision, 18);
      EXPECT_EQ(text("Amount")->scale, 4);
    }
    // Memo and OLE columns have their long-value maps, in name order.
    ASSERT_EQ(def.long_value_maps.size(), jet4 ? 2u : 0u);
    if (jet4) {
      EXPECT_EQ(def.long_value_maps[0].column_number, text("Notes")->number);
      EXPECT_EQ(def.long_value_maps[1].column_number, text("Picture")->number);
    }
    // Each index has an empty leaf as its root, listed in its own map.
    ASSERT_EQ(def.real_indexes.size(), description.indexes.size());
    for (const auto& index : def.real_indexes) {
      jet::PageRef root = db->pager().Get(index.first_page);
      EXPECT_EQ(root->type(), jet::kPageIndexLeaf);
      EXPECT_EQ(root->view().U32(4), def.page);
      EXPECT_EQ(jet::ReadUsageMap(db->pager(), db->version(),
                                  jet::RowPointer::FromPacked(index.usage_map)),
                std::vector<uint32_t>{index.first_page});
      EXPECT_EQ(index.flags & 0x80, jet4 ? 0x80 : 0);
    }
    EXPECT_EQ(def.real_indexes[0].flags & 0x7F, 0x09);  // primary key
    const jet::LogicalIndex* pk = nullptr;
    for (const auto& l : def.logical_indexes) {
      if (l.name == "PrimaryKey") pk = &l;
    }
    ASSERT_NE(pk, nullptr);
    EXPECT_TRUE(pk->is_primary_key());
    EXPECT_EQ(pk->real_index, 0u);
    // An empty table owns no data page yet.
    EXPECT_TRUE(
        jet::ReadUsageMap(db->pager(), db->version(), def.usage_map).empty());

    // The catalog row carries the columns' Required and AllowZeroLength.
    db->Close();
    auto again = Database::Open(path);
    auto catalog = again->OpenTable("MSysObjects");
    const auto& cols = catalog->definition().columns;
    size_t name_at = 0, props_at = 0, flags_at = 0, type_at = 0;
    for (size_t k = 0; k < cols.size(); ++k) {
      if (cols[k].name == "Name") name_at = k;
      if (cols[k].name == "LvProp") props_at = k;
      if (cols[k].name == "Flags") flags_at = k;
      if (cols[k].name == "Type") type_at = k;
    }
    bool found = false;
    for (auto scan = catalog->Scan(); scan.Next();) {
      auto row = catalog->ReadRow(scan.row_id());
      if (row[name_at] != Value(description.name)) continue;
      found = true;
      EXPECT_EQ(row[flags_at], Value(int32_t{0}));
      EXPECT_EQ(row[type_at], Value(int16_t{1}));
      const auto& blob = std::get<jet::Binary>(row[props_at]);
      jet::PropertyMap map = jet::DecodePropertyMap(
          jet::ByteView(blob.data(), blob.size()),
          jet::PropertyTextFormat{again->version(), again->header().code_page});
      const jet::PropertyBlock* number = map.FindColumn("Number");
      ASSERT_NE(number, nullptr);
      EXPECT_EQ(jet::PropertyValueAsBool(number->Find("Required")->value),
                true);
      const jet::PropertyBlock* label = map.FindColumn("Label");
      ASSERT_NE(label, nullptr);
      EXPECT_EQ(jet::PropertyValueAsBool(label->Find("Required")->value),
                false);
      EXPECT_EQ(jet::PropertyValueAsBool(label->Find("AllowZeroLength")->value),
                true);
    }
    EXPECT_TRUE(found);
    catalog.reset();
    again.reset();
    EXPECT_DATABASE_CHECKS_CLEAN(path) << v.file;
  }
}

TEST(CreateTableTest, IndexesHoldAnEntryPerRow) {
  TempDir dir;
  for (const Variant& v : kVariants) {
    Created c = CreateFilled(dir, v.file, v.options, v.korean);
    auto db = OpenWritable(c.path);
    TableDescription description = EveryType(v.options.version, v.korean);
    auto table = db->OpenTable(description.name);
    const auto& def = table->definition();
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      const auto& index = def.real_indexes[i];
      auto entries =
          jet::ReadIndexEntries(db->pager(), db->version(), index.first_page);
      size_t expected = 0;
      for (jet::RowPointer id : c.ids) {
        auto row = table->ReadRow(id);
        if (!jet::RowHasIndexEntry(index, def, row)) continue;
        ++expected;
        jet::IndexKeyResult key =
            jet::EncodeIndexKey(index, def, row, db->version());
        ASSERT_TRUE(key) << v.file << " index " << i;
        bool present = false;
        for (const auto& e : entries)
          present |= e.row == id && e.key == key.key;
        EXPECT_TRUE(present) << v.file << " index " << i;
      }
      EXPECT_EQ(entries.size(), expected) << v.file << " index " << i;
    }
    // The primary key refuses a second row with its value.
    std::vector<Value> again = EveryTypeRows(v.options.version, v.korean)[1];
    EXPECT_EQ(ErrorNumberOf([&] { table->InsertRow(again); }),
              jet::kErrDuplicateKey);
    table.reset();
    db->Close();
    db.reset();
    EXPECT_DATABASE_CHECKS_CLEAN(c.path) << v.file;
  }
}

// A Jet 3 Korean (code page 949) table: its text index holds the keys
// Access writes (홍길동 as in a real Access 97 file), a Hanja with its rank
// as diacritic byte, and the file checks clean.
TEST(CreateTableTest, Jet3KoreanIndexHoldsTheKeysAccessWrites) {
  TempDir dir;
  const std::string path = (dir.path() / "korean3.mdb").string();
  jet::CreateDatabase(path, Options(JetVersion::kJet3, 1042));
  auto db = OpenWritable(path);
  TableDescription t;
  t.name = "학생";
  ColumnDescription id, name;
  id.name = "ID";
  id.type = ColumnType::kLong;
  name.name = "이름";
  name.length = 10;
  t.columns = {id, name};
  IndexDescription by_name;
  by_name.name = "By이름";
  by_name.columns = {{"이름", true}};
  t.indexes = {by_name};
  auto table = jet::CreateTable(*db, t);
  jet::RowPointer hong = table->InsertRow({int32_t{1}, std::string("홍길동")});
  jet::RowPointer kim = table->InsertRow({int32_t{2}, std::string("김一")});
  table->InsertRow({int32_t{3}, std::string("Z-order")});
  table.reset();
  db->Close();
  db = Database::Open(path);
  table = db->OpenTable(t.name);
  const auto& index = table->definition().real_indexes[0];
  std::map<uint32_t, std::string> keys;
  for (const auto& e :
       jet::ReadIndexEntries(db->pager(), db->version(), index.first_page)) {
    keys[e.row.page << 8 | e.row.row] = jet::HexBytes(e.key);
  }
  EXPECT_EQ(keys[hong.page << 8 | hong.row],
            "7f 39 68 10 3f 15 f9 01 01 01 01 00");
  EXPECT_EQ(keys[kim.page << 8 | kim.row],
            "7f 10 47 2a 57 01 02 41 01 01 01 00");
  table.reset();
  db.reset();
  EXPECT_DATABASE_CHECKS_CLEAN(path);
}

TEST(CreateTableTest, InsertRowsConvertsValues) {
  TempDir dir;
  std::string path = (dir.path() / "convert.mdb").string();
  jet::CreateDatabase(path);
  {
    auto db = OpenWritable(path);
    TableDescription description;
    description.name = "Numbers";
    description.columns = {Column("A", ColumnType::kLong),
                           Column("B", ColumnType::kDouble),
                           Column("C", ColumnType::kText, 10)};
    auto table = jet::CreateTable(*db, description);
    EXPECT_EQ(jet::InsertRows(*db, *table,
                              {{int16_t{5}, int16_t{0}, std::string("five")},
                               {int16_t{6}, jet::Null{}, jet::Null{}}}),
              2u);
    db->Close();
  }
  auto db = OpenWritable(path);
  EXPECT_EQ(jet::InsertRows(*db, "Numbers",
                            {{int16_t{7}, int16_t{1}, std::string("seven")}}),
            1u);
  auto table = db->OpenTable("Numbers");
  std::vector<std::vector<Value>> rows;
  for (auto scan = table->Scan(); scan.Next();)
    rows.push_back(table->ReadRow(scan.row_id()));
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0][0], Value(int32_t{5}));
  EXPECT_EQ(rows[0][1], Value(0.0));
  EXPECT_EQ(rows[2][2], Value(std::string("seven")));
  table.reset();
  db->Close();
  db.reset();
  EXPECT_DATABASE_CHECKS_CLEAN(path);
}

TEST(CreateTableTest, LongDefinitionsContinueOnFurtherPages) {
  TempDir dir;
  for (JetVersion version : {JetVersion::kJet3, JetVersion::kJet4}) {
    std::string path =
        (dir.path() / (version == JetVersion::kJet3 ? "3.mdb" : "4.mdb"))
            .string();
    jet::CreateDatabase(path, Options(version, 1033));
    TableDescription description;
    description.name = "Wide";
    for (int k = 0; k < 250; ++k) {
      description.columns.push_back(
          Column("Column number " + std::to_string(k),
                 k % 3 == 0 ? ColumnType::kText : ColumnType::kLong, 10));
    }
    for (int i = 0; i < 20; ++i) {
      IndexDescription index;
      index.name = "Index " + std::to_string(i);
      index.columns = {{"Column number " + std::to_string(3 * i + 1), true}};
      description.indexes.push_back(index);
    }
    {
      auto db = OpenWritable(path);
      auto table = jet::CreateTable(*db, description);
      EXPECT_GT(table->definition().pages.size(), 1u);
      std::vector<Value> row;
      for (int k = 0; k < 250; ++k) {
        if (k % 3 == 0) {
          row.push_back(std::string("v") + std::to_string(k));
        } else {
          row.push_back(int32_t{k});
        }
      }
      table->InsertRow(row);
      db->Close();
    }
    {
      auto db = Database::Open(path);
      auto table = db->OpenTable("Wide");
      EXPECT_EQ(table->definition().columns.size(), 250u);
      EXPECT_EQ(table->definition().real_indexes.size(), 20u);
      auto scan = table->Scan();
      ASSERT_TRUE(scan.Next());
      EXPECT_EQ(table->ReadRow(scan.row_id())[248], Value(int32_t{248}));
      EXPECT_EQ(table->ReadRow(scan.row_id())[249], Value(std::string("v249")));
    }
    EXPECT_DATABASE_CHECKS_CLEAN(path);
  }
}

TEST(CreateTableTest, BadDescriptionsChangeNothing) {
  TempDir dir;
  std::string path = (dir.path() / "bad.mdb").string();
  jet::CreateDatabase(path);
  {
    auto db = OpenWritable(path);
    TableDescription ok;
    ok.name = "Taken";
    ok.columns = {Column("A", ColumnType::kLong)};
    jet::CreateTable(*db, ok);
    db->Close();
  }
  std::vector<uint8_t> before = FileBytes(path);
  auto description = [](const std::string& name,
                        std::vector<ColumnDescription> columns) {
    TableDescription t;
    t.name = name;
    t.columns = std::move(columns);
    return t;
  };
  auto db = OpenWritable(path);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db, description("taken", {Column("A", ColumnType::kLong)}));
            }),
            jet::kErrTableAlreadyExists);
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateTable(*db, description("T", {})); }),
            jet::kErrUnsupportedFeature);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db, description("a.b", {Column("A", ColumnType::kLong)}));
            }),
            jet::kErrUnsupportedFeature);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db, description(" lead", {Column("A", ColumnType::kLong)}));
            }),
            jet::kErrUnsupportedFeature);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db, description("T", {Column("A", ColumnType::kLong),
                                         Column("a", ColumnType::kText)}));
            }),
            jet::kErrUnsupportedFeature);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db, description("T", {Column("A", ColumnType::kText, 256)}));
            }),
            jet::kErrUnsupportedFeature);
  TableDescription bad_index =
      description("T", {Column("A", ColumnType::kLong)});
  bad_index.indexes.push_back(
      IndexDescription{"I", {{"Missing", true}}, false, false, false});
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateTable(*db, bad_index); }),
            jet::kErrUnsupportedFeature);
  db->Close();
  EXPECT_EQ(FileBytes(path), before);

  // NUMERIC has no Jet 3 form; a read-only database takes no table.
  std::string path3 = (dir.path() / "bad3.mdb").string();
  jet::CreateDatabase(path3, Options(JetVersion::kJet3, 1033));
  auto db3 = OpenWritable(path3);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db3, description("T", {Column("N", ColumnType::kNumeric)}));
            }),
            jet::kErrUnsupportedFeature);
  // Jet 3 catalog names need characters whose keys are known.
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *db3, description("표", {Column("N", ColumnType::kLong)}));
            }),
            jet::kErrUnsupportedFeature);
  db3->Close();
  auto read_only = Database::Open(path);
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CreateTable(
                  *read_only,
                  description("New", {Column("A", ColumnType::kLong)}));
            }),
            jet::kErrReadOnly);
  read_only.reset();
  EXPECT_DATABASE_CHECKS_CLEAN(path);
  EXPECT_DATABASE_CHECKS_CLEAN(path3);
}

TEST(CreateTableTest, MdbtoolsAndMdbReaderReadTheSameValues) {
  SKIP_WITHOUT_MDBTOOLS();
  SKIP_WITHOUT_MDB_READER();
  TempDir dir;
  for (const Variant& v : kVariants)
    CreateFilled(dir, v.file, v.options, v.korean);
  // Our dump, mdbtools' and mdb-reader's, value by value, system tables
  // included.
  std::string compare =
      (builder_test::OraclesDir() / "compare_dump.py").string();
  auto r = RunCommand("python3 " + Quote(compare) + " --cli " +
                      Quote(MDBCARE_CLI_PATH) + " --corpus " +
                      Quote(dir.path().string()));
  EXPECT_EQ(r.status, 0) << r.output;
  EXPECT_NE(r.output.find("3 passed, 0 failed"), std::string::npos) << r.output;

  for (const Variant& v : kVariants) {
    std::string path = (dir.path() / v.file).string();
    TableDescription description = EveryType(v.options.version, v.korean);
    auto tables = RunCommand("mdb-tables -1 " + Quote(path));
    EXPECT_EQ(tables.output, description.name + "\n") << v.file;
    auto schema = RunCommand("mdb-schema " + Quote(path));
    EXPECT_NE(schema.output.find("CREATE TABLE [" + description.name + "]"),
              std::string::npos)
        << schema.output;
    EXPECT_NE(schema.output.find("[Number]\t\t\tLong Integer NOT NULL"),
              std::string::npos)
        << schema.output;
    EXPECT_NE(schema.output.find("[Label]\t\t\tText (50)"), std::string::npos)
        << schema.output;
    EXPECT_NE(schema.output.find("[Notes]\t\t\tMemo/Hyperlink"),
              std::string::npos)
        << schema.output;
    // mdbtools reads the indexes: the primary key and one index statement
    // for each other index.
    auto indexes =
        RunCommand("mdb-schema --indexes " + Quote(path) + " postgres");
    EXPECT_NE(indexes.output.find("PRIMARY KEY (\"number\")"),
              std::string::npos)
        << indexes.output;
    size_t statements = 0;
    for (size_t at = 0;
         (at = indexes.output.find("CREATE INDEX \"", at)) != std::string::npos;
         ++at) {
      ++statements;
    }
    EXPECT_EQ(statements, description.indexes.size() - 1) << indexes.output;
    auto json =
        RunCommand("mdb-json " + Quote(path) + " " + Quote(description.name));
    EXPECT_EQ(json.status, 0);
    EXPECT_EQ(std::count(json.output.begin(), json.output.end(), '\n'), 3)
        << json.output;
    EXPECT_NE(json.output.find("\"Number\":1"), std::string::npos)
        << json.output;
    EXPECT_NE(json.output.find("\"Count\":-1234"), std::string::npos)
        << json.output;
    if (v.korean) {
      EXPECT_NE(json.output.find("\"이름\":\"김철수\""), std::string::npos)
          << json.output;
    }
    // mdb-reader's view of the same rows.
    std::string dump =
        (builder_test::OraclesDir() / "mdb_reader_dump.mjs").string();
    auto reader = RunCommand("node " + Quote(dump) + " " + Quote(path));
    EXPECT_EQ(reader.status, 0);
    for (const std::string& fragment :
         {std::string("\"Price\": \"12.3400\""),
          std::string("\"When\": \"2024-02-29 13:45:30\""),
          std::string("\"Small\": 200"), std::string("\"Flag\": true"),
          std::string("\"Code\": \"ABCD\"")}) {
      EXPECT_NE(reader.output.find(fragment), std::string::npos)
          << fragment << "\n"
          << reader.output;
    }
    if (v.options.version == JetVersion::kJet4) {
      EXPECT_NE(reader.output.find("\"Amount\": \"-12345.6789\""),
                std::string::npos);
    }
  }
}

}  // namespace
