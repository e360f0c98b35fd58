// The read path over the real files: every file opens and every value of
// every table decodes; known values, row counts (as the open-source readers
// give them), moved and deleted rows, long values over several pages, and
// the catalog's list of tables.
#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <map>
#include <string>
#include <vector>

#include "jet/rows/table_scan.h"
#include "jet/base/value_format.h"
#include "tests/jet/read_test_util.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using jet::Value;
using testing_support::CorpusDir;
using testing_support::CorpusPassword;

std::unique_ptr<jet::Database> OpenCorpus(const std::string& relative) {
  fs::path p = CorpusDir() / relative;
  return read_test::Open(p, CorpusPassword(p));
}

using NamedRow = std::map<std::string, Value>;

// The rows of one table, each value under its column's name.
std::vector<NamedRow> ReadTable(jet::Database& db, const std::string& name) {
  std::unique_ptr<jet::Table> table = db.OpenTable(name);
  const jet::TableDefinition& def = table->definition();
  std::vector<NamedRow> rows;
  jet::TableScan scan = table->Scan();
  while (scan.Next()) {
    std::vector<jet::FieldBytes> f = scan.Fields();
    NamedRow row;
    for (size_t k = 0; k < f.size(); ++k) {
      row[def.columns[k].name] =
          jet::DecodeValue(f[k], def.columns[k], db.value_context());
    }
    rows.push_back(std::move(row));
  }
  return rows;
}

std::string Str(const Value& v) {
  const std::string* s = std::get_if<std::string>(&v);
  return s ? *s : "<not text>";
}

TEST(CorpusReadTest, EveryFileOpensAndEveryValueOfEveryTableDecodes) {
  SKIP_WITHOUT_CORPUS();
  std::vector<fs::path> files = testing_support::CorpusFiles();
  ASSERT_GE(files.size(), 40u);
  for (const fs::path& file : files) {
    SCOPED_TRACE(file.string());
    try {
      auto db = read_test::Open(file, CorpusPassword(file));
      EXPECT_EQ(db->pager().page_size(), db->header().page_size());
      std::map<std::string, read_test::Rows> all =
          read_test::ReadAllTables(*db);
      ASSERT_TRUE(all.count("MSysObjects"));
      // The catalog lists itself, among every other object.
      EXPECT_EQ(all["MSysObjects"].size(), db->catalog().size());
      for (const jet::CatalogEntry& t : db->tables()) {
        if (!t.is_local_table()) continue;
        jet::TableDefinition def = db->ReadTableDefinition(t);
        EXPECT_FALSE(def.columns.empty()) << t.name;
        for (const auto& row : all[t.name])
          ASSERT_EQ(row.size(), def.columns.size());
      }
    } catch (const jet::Error& e) {
      ADD_FAILURE() << e.number() << " " << e.what();
    }
  }
}

TEST(CorpusReadTest, RowCountsAgreeWithOtherReaders) {
  SKIP_WITHOUT_CORPUS();
  struct Count {
    const char* file;
    const char* table;
    size_t rows;
  };
  const Count counts[] = {
      {"korean/zipcode.mdb", "zipcode", 43016},
      {"korean/accessControlEvents.mdb", "TB_ACCESSEVENT", 1210},
      {"korean/accessControlInfo.mdb", "TB_FORMNAME", 283},
      {"korean/accessControlInfo.mdb", "TB_BUILDINGCODE", 1},
      {"korean/emptiedEvents.mdb", "TB_ACCESSEVENT", 0},
      {"korean/wedding.mdb", "wedding_main", 11},
      {"korean/posLibrary.mdb", "물품목록", 65},
      {"jet4/overflowTestV2000.mdb", "Table1", 7},
      {"jet3/overflowTestV1997.mdb", "Table1", 7},
      {"jet4/delTestV2000.mdb", "Table", 2},
      {"jet3/delTestV1997.mdb", "Table", 2},
      {"jet3/compIndexTestV1997.mdb", "Table1", 512},
      {"jet4/testV2000.mdb", "MSysACEs", 64},
      {"jet4/queryTestV2000.mdb", "MSysQueries", 90},
      {"wild/geodatabaseTemplates.mdb", "GDB_Items", 24},
      {"wild/geodatabaseTemplates.mdb", "MSysObjects", 32},
      {"wild/northwindJet3.mdb", "Order Details", 2155},
      {"wild/northwindApp.mdb", "Orders", 830},
      {"wild/chineseCms.mdb", "article", 145},
  };
  for (const Count& c : counts) {
    auto db = OpenCorpus(c.file);
    std::unique_ptr<jet::Table> t = db->OpenTable(c.table);
    jet::TableScan scan = t->Scan();
    size_t n = 0;
    while (scan.Next()) ++n;
    EXPECT_EQ(n, c.rows) << c.file << " " << c.table;
    EXPECT_EQ(jet::TableHasRows(db->pager(), db->version(), t->definition()),
              c.rows > 0);
  }
}

TEST(CorpusReadTest, KnownValuesOfTestTable1) {
  SKIP_WITHOUT_CORPUS();
  for (const char* file : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
    SCOPED_TRACE(file);
    auto db = OpenCorpus(file);
    std::vector<NamedRow> rows = ReadTable(*db, "Table1");
    ASSERT_EQ(rows.size(), 2u);
    // The two files keep the rows in opposite orders.
    const NamedRow& r = Str(rows[0]["A"]) == "abcdefg" ? rows[0] : rows[1];
    const NamedRow& other = &r == &rows[0] ? rows[1] : rows[0];
    EXPECT_EQ(r.at("A"), Value(std::string("abcdefg")));
    EXPECT_EQ(r.at("B"), Value(std::string("hijklmnop")));
    EXPECT_EQ(r.at("C"), Value(uint8_t{2}));
    EXPECT_EQ(r.at("D"), Value(int16_t{222}));
    EXPECT_EQ(r.at("E"), Value(int32_t{333333333}));
    EXPECT_EQ(r.at("F"), Value(444.555));
    EXPECT_EQ(jet::FormatDateTime(std::get<jet::DateTime>(r.at("G"))),
              "1974-09-21 00:00:00");
    EXPECT_EQ(r.at("H"), Value(jet::Currency{35000}));
    EXPECT_EQ(r.at("I"), Value(true));
    EXPECT_EQ(other.at("A"), Value(std::string("a")));
    EXPECT_EQ(other.at("I"), Value(false));
    EXPECT_EQ(jet::FormatDateTime(std::get<jet::DateTime>(other.at("G"))),
              "1981-12-12 00:00:00");
  }
}

TEST(CorpusReadTest, KoreanJapaneseAndChineseText) {
  SKIP_WITHOUT_CORPUS();
  auto pos = OpenCorpus("korean/posLibrary.mdb");
  std::vector<std::string> user_tables;
  for (const auto& t : pos->tables()) {
    if (!t.is_system()) user_tables.push_back(t.name);
  }
  EXPECT_EQ(user_tables,
            (std::vector<std::string>{"물품목록", "선택목록", "손실내역",
                                      "일일수익", "입고내역", "판매내역"}));
  std::vector<NamedRow> goods = ReadTable(*pos, "물품목록");
  ASSERT_FALSE(goods.empty());
  EXPECT_EQ(goods[0]["물품코드"], Value(std::string("00000")));
  EXPECT_EQ(goods[0]["물품이름"], Value(std::string("새우깡")));
  EXPECT_EQ(goods[0]["물품단가"], Value(jet::Currency{6000000}));
  EXPECT_EQ(goods[0]["물품수량"], Value(int16_t{72}));

  auto zip = OpenCorpus("korean/zipcode.mdb");
  std::vector<NamedRow> z = ReadTable(*zip, "zipcode");
  ASSERT_EQ(z.size(), 43016u);
  EXPECT_EQ(z[0]["ID"], Value(int32_t{1}));
  EXPECT_EQ(z[0]["ZIPCODE"], Value(std::string("135-805")));
  EXPECT_EQ(Str(z[0]["SIDO"]) + Str(z[0]["GUGUN"]) + Str(z[0]["DONG"]) +
                Str(z[0]["BUNJI"]),
            "서울강남구개포1동565번지");

  std::vector<NamedRow> wedding =
      ReadTable(*OpenCorpus("korean/wedding.mdb"), "wedding_main");
  ASSERT_FALSE(wedding.empty());
  EXPECT_EQ(wedding[0]["name"], Value(std::string("김말자")));
  EXPECT_EQ(wedding[0]["han_name"], Value(std::string("金末子")));

  std::vector<NamedRow> items =
      ReadTable(*OpenCorpus("wild/japanese.mdb"), "品目マスタ");
  ASSERT_EQ(items.size(), 7u);
  EXPECT_EQ(items[0]["名称"], Value(std::string("にんじん")));
  std::vector<NamedRow> news =
      ReadTable(*OpenCorpus("wild/chineseCms.mdb"), "news_type");
  ASSERT_FALSE(news.empty());
  EXPECT_EQ(news[0]["title"], Value(std::string("外汇")));
}

TEST(CorpusReadTest, LongValuesOverSeveralPages) {
  SKIP_WITHOUT_CORPUS();
  auto geo = OpenCorpus("wild/geodatabaseTemplates.mdb");
  bool found = false;
  for (NamedRow& r : ReadTable(*geo, "GDB_Items")) {
    if (Str(r["Name"]) != "msm_Node_Template") continue;
    found = true;
    std::string doc = Str(r["Documentation"]);
    EXPECT_EQ(doc.size(), 23406u);  // 46812 bytes of UCS-2, over 12 pages
    EXPECT_EQ(
        doc.rfind("<metadata xml:lang=\"da\"><Esri><CreaDate>20071115</", 0),
        0u);
    EXPECT_TRUE(doc.ends_with("tem></refSysInfo></metadata>\r\n"));
  }
  EXPECT_TRUE(found);
  // OLE pictures of 10746 bytes each, three pages' worth.
  std::vector<NamedRow> categories =
      ReadTable(*OpenCorpus("wild/northwindApp.mdb"), "Categories");
  ASSERT_EQ(categories.size(), 8u);
  for (NamedRow& r : categories) {
    ASSERT_TRUE(std::holds_alternative<jet::Binary>(r["Picture"]));
    EXPECT_EQ(std::get<jet::Binary>(r["Picture"]).size(), 10746u);
  }
}

TEST(CorpusReadTest, MovedRowsAreMetOnceAtTheirFirstPlace) {
  SKIP_WITHOUT_CORPUS();
  auto db = OpenCorpus("jet4/overflowTestV2000.mdb");
  std::unique_ptr<jet::Table> t = db->OpenTable("Table1");
  jet::TableScan scan = t->Scan();
  std::vector<std::pair<uint32_t, uint32_t>> met;  // row id, stored at
  while (scan.Next())
    met.emplace_back(scan.row_id().Packed(), scan.stored_at().Packed());
  // Page 27 slots 2 and 4 point at the rows' copies on pages 28 and 31.
  std::vector<std::pair<uint32_t, uint32_t>> expected;
  for (uint32_t row = 0; row < 7; ++row) {
    uint32_t id = 27 << 8 | row;
    expected.emplace_back(id, row == 2 ? 28 << 8 : row == 4 ? 31 << 8 : id);
  }
  EXPECT_EQ(met, expected);

  jet::TableScan seek = t->Scan();
  EXPECT_TRUE(seek.SeekTo({27, 2}));
  EXPECT_EQ(seek.stored_at(), (jet::RowPointer{28, 0}));
  EXPECT_FALSE(seek.SeekTo({28, 0})) << "a moved copy is no row id";
  EXPECT_FALSE(seek.SeekTo({27, 7}));
  EXPECT_FALSE(seek.SeekTo({2, 0}));

  // 2956 of zipcode's rows have moved; each is still met once.
  auto zip = OpenCorpus("korean/zipcode.mdb");
  std::unique_ptr<jet::Table> z = zip->OpenTable("zipcode");
  jet::TableScan zs = z->Scan();
  size_t moved = 0;
  std::vector<uint32_t> stored;
  while (zs.Next()) {
    if (!(zs.stored_at() == zs.row_id())) ++moved;
    stored.push_back(zs.stored_at().Packed());
  }
  EXPECT_EQ(moved, 2956u);
  std::sort(stored.begin(), stored.end());
  EXPECT_EQ(std::adjacent_find(stored.begin(), stored.end()), stored.end());
}

TEST(CorpusReadTest, DeletedRowsAreSkipped) {
  SKIP_WITHOUT_CORPUS();
  auto db = OpenCorpus("jet4/delTestV2000.mdb");
  std::unique_ptr<jet::Table> t = db->OpenTable("Table");
  jet::TableScan scan = t->Scan();
  std::vector<uint32_t> ids;
  while (scan.Next()) ids.push_back(scan.row_id().Packed());
  EXPECT_EQ(ids, (std::vector<uint32_t>{31 << 8 | 0, 31 << 8 | 2}));
  EXPECT_FALSE(t->Scan().SeekTo({31, 1}));
}

TEST(CorpusReadTest, StoredRowCountIsNotTrusted) {
  SKIP_WITHOUT_CORPUS();
  auto info = OpenCorpus("korean/accessControlInfo.mdb");
  jet::TableDefinition building =
      info->ReadTableDefinition(info->FindTable("TB_BUILDINGCODE"));
  EXPECT_EQ(building.stored_row_count, 4u);  // one row is all it has

  testing_support::TempDir dir;
  fs::path copy = dir.Copy(CorpusDir() / "jet4/noPasswordV2000.mdb");
  std::vector<jet::RowPointer> ids;
  uint32_t definition_page;
  {
    auto db = read_test::Open(copy);
    std::unique_ptr<jet::Table> t = db->OpenTable("Table1");
    definition_page = t->definition().page;
    jet::TableScan scan = t->Scan();
    while (scan.Next()) ids.push_back(scan.row_id());
  }
  ASSERT_EQ(ids.size(), 3u);
  std::vector<uint8_t> bytes = read_test::ReadBytes(copy);
  // No rows, yet a stored count of 3: no first row is found.
  std::vector<uint8_t> deleted = bytes;
  for (jet::RowPointer id : ids)
    deleted[id.page * 4096 + 0x0E + 2 * id.row + 1] |= 0xC0;
  read_test::WriteBytes(copy, deleted);
  {
    auto db = read_test::Open(copy);
    jet::TableDefinition def = db->ReadTableDefinition(db->FindTable("Table1"));
    EXPECT_EQ(def.stored_row_count, 3u);
    EXPECT_FALSE(jet::TableHasRows(db->pager(), db->version(), def));
  }
  // Rows, yet a stored count of 0.
  std::vector<uint8_t> zero = bytes;
  read_test::Put32(zero, definition_page * 4096 + 0x10, 0);
  read_test::WriteBytes(copy, zero);
  auto db = read_test::Open(copy);
  jet::TableDefinition def = db->ReadTableDefinition(db->FindTable("Table1"));
  EXPECT_EQ(def.stored_row_count, 0u);
  EXPECT_TRUE(jet::TableHasRows(db->pager(), db->version(), def));
}

std::string Lower(std::string s) {
  for (char& c : s)
    c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

TEST(CatalogTest, TablesAreInCaseInsensitiveNameOrderWithTheSystemTables) {
  SKIP_WITHOUT_CORPUS();
  for (const fs::path& file : testing_support::CorpusFiles()) {
    SCOPED_TRACE(file.string());
    auto db = read_test::Open(file, CorpusPassword(file));
    const auto& tables = db->tables();
    for (size_t i = 1; i < tables.size(); ++i) {
      EXPECT_LE(Lower(tables[i - 1].name), Lower(tables[i].name));
    }
    for (const char* system :
         {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
      const jet::CatalogEntry& e = db->FindTable(system);
      EXPECT_TRUE(e.is_system()) << system;
      EXPECT_TRUE(e.is_local_table()) << system;
    }
    EXPECT_EQ(db->FindTable("msysobjects").definition_page(), 2u);
  }
  auto cms = OpenCorpus("wild/chineseCms.mdb");
  std::vector<std::string> names;
  for (const auto& t : cms->tables()) names.push_back(t.name);
  auto at = [&](const char* n) {
    return std::find(names.begin(), names.end(), n) - names.begin();
  };
  EXPECT_LT(at("product_type"), at("QqList"));
  EXPECT_LT(at("QqList"), at("QqQun"));
  EXPECT_LT(at("QunList"), at("site_config"));
  EXPECT_LT(at("site_config"), at("user"));
  EXPECT_TRUE(jet::NameLess("abc", "ABD"));
  EXPECT_TRUE(jet::NamesEqualIgnoringCase("Étude", "éTUDE"));
  EXPECT_NE(jet::NameLess("Table", "table"), jet::NameLess("table", "Table"));
}

TEST(CatalogTest, UnknownTableIsNotFound) {
  SKIP_WITHOUT_CORPUS();
  auto db = OpenCorpus("jet4/testV2000.mdb");
  EXPECT_EQ(&db->FindTable("TABLE1"), &db->FindTable("table1"));
  try {
    db->FindTable("NoSuchTable");
    FAIL();
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrTableNotFound);
  }
}

// MSysObjects.Type is a 16-bit value: Access's own objects have the high
// bit set (forms -32768, reports -32764, macros -32766, modules -32761).
// Taking only its low 7 bits makes a report (-32764) look like a linked
// ODBC table (4). Northwind has 14 reports and no linked tables.
TEST(CatalogTest, ReportsAreNotListedAsTables) {
  SKIP_WITHOUT_CORPUS();
  auto db = OpenCorpus("wild/northwindApp.mdb");
  for (const jet::CatalogEntry& t : db->tables()) {
    EXPECT_TRUE(t.is_local_table()) << t.name << " type " << int{t.type};
  }
  EXPECT_THROW(db->FindTable("Invoice"), jet::Error);
  EXPECT_EQ(db->tables().size(), 8u + 12u);  // 8 user tables, 12 system
}

}  // namespace
