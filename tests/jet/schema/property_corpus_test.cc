// Object properties of the real files: every LvProp of every catalog row of
// the corpus decodes and encodes back to the same bytes; known properties
// of known tables read as Access shows them; and the rules the properties
// state (Required, AllowZeroLength) hold in the rows those files contain.
#include <gtest/gtest.h>

#include <iostream>
#include <map>
#include <random>
#include <string>

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/schema/property_map.h"
#include "jet/database/table_properties.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using jet::Binary;
using jet::ByteView;
using jet::Database;
using jet::PropertyMap;
using jet::TableProperties;
using jet::Value;

std::unique_ptr<Database> OpenCorpusFile(const fs::path& path) {
  jet::OpenOptions options;
  options.connect = ";pwd=" + testing_support::CorpusPassword(path);
  return Database::Open(path.string(), options);
}

std::unique_ptr<Database> OpenCorpusFile(const char* relative) {
  return OpenCorpusFile(testing_support::CorpusDir() / relative);
}

// Every (Id, LvProp) of the catalog, read straight from MSysObjects.
std::vector<std::pair<int32_t, Binary>> CatalogBlobs(Database& db) {
  std::vector<std::pair<int32_t, Binary>> blobs;
  auto catalog = db.OpenTable("MSysObjects");
  const auto& def = catalog->definition();
  int id = -1, props = -1;
  for (size_t i = 0; i < def.columns.size(); ++i) {
    if (def.columns[i].name == "Id") id = static_cast<int>(i);
    if (def.columns[i].name == "LvProp") props = static_cast<int>(i);
  }
  EXPECT_GE(id, 0);
  EXPECT_GE(props, 0);
  if (id < 0 || props < 0) return blobs;
  jet::TableScan scan = catalog->Scan();
  while (scan.Next()) {
    std::vector<Value> row = catalog->ReadRow(scan.row_id());
    const Binary* blob = std::get_if<Binary>(&row[props]);
    blobs.emplace_back(std::get<int32_t>(row[id]), blob ? *blob : Binary{});
  }
  return blobs;
}

TEST(PropertyCorpusTest, EveryLvPropEncodesBackByteForByte) {
  SKIP_WITHOUT_CORPUS();
  size_t files = 0, rows = 0, blobs = 0, identical = 0, properties = 0,
         blocks = 0;
  for (const fs::path& path : testing_support::CorpusFiles()) {
    SCOPED_TRACE(path.string());
    auto db = OpenCorpusFile(path);
    const jet::PropertyTextFormat format{db->version(), db->header().code_page};
    ++files;
    for (const auto& [id, blob] : CatalogBlobs(*db)) {
      ++rows;
      PropertyMap map =
          jet::DecodePropertyMap(ByteView(blob.data(), blob.size()), format);
      // The engine's own reader gives the same map.
      EXPECT_EQ(jet::ReadObjectProperties(*db, id), map) << "Id " << id;
      if (blob.empty()) {
        EXPECT_TRUE(map.empty());
        continue;
      }
      ++blobs;
      std::vector<uint8_t> again = jet::EncodePropertyMap(map);
      if (again == blob) {
        ++identical;
      } else {
        ADD_FAILURE() << "Id " << id << ": " << blob.size()
                      << " bytes encode to " << again.size();
      }
      EXPECT_EQ(
          jet::DecodePropertyMap(ByteView(again.data(), again.size()), format),
          map);
      for (const auto& b : map.blocks) {
        ++blocks;
        properties += b.properties.size();
      }
    }
  }
  std::cout << "[ corpus   ] " << files << " files, " << rows
            << " catalog rows, " << blobs << " LvProp blobs, " << identical
            << " encoded back identically, " << blocks << " blocks, "
            << properties << " properties\n";
  EXPECT_GT(blobs, 0u);
  EXPECT_EQ(identical, blobs);
}

// Seeded changes to every real blob (a byte set to a random value, or the
// blob cut short) decode to a map that encodes back consistently, or raise
// 3049; encoding may refuse a name that became undecodable text (3421).
TEST(PropertyCorpusTest, ChangedBlobsDecodeConsistentlyOrRaise3049) {
  SKIP_WITHOUT_CORPUS();
  std::mt19937 random(20240611);
  size_t decoded = 0, refused = 0;
  for (const fs::path& path : testing_support::CorpusFiles()) {
    auto db = OpenCorpusFile(path);
    const jet::PropertyTextFormat format{db->version(), db->header().code_page};
    for (const auto& [id, blob] : CatalogBlobs(*db)) {
      if (blob.empty()) continue;
      for (int round = 0; round < 16; ++round) {
        std::vector<uint8_t> bad = blob;
        if (round % 4 == 3) {
          bad.resize(random() % bad.size());
        } else {
          bad[random() % bad.size()] = static_cast<uint8_t>(random());
        }
        PropertyMap map;
        try {
          map =
              jet::DecodePropertyMap(ByteView(bad.data(), bad.size()), format);
        } catch (const jet::Error& e) {
          EXPECT_EQ(e.number(), jet::kErrDamagedFile);
          ++refused;
          continue;
        }
        ++decoded;
        std::vector<uint8_t> again;
        try {
          again = jet::EncodePropertyMap(map);
        } catch (const jet::Error& e) {
          EXPECT_EQ(e.number(), jet::kErrConversion) << path << " Id " << id;
          continue;
        }
        EXPECT_EQ(jet::DecodePropertyMap(ByteView(again.data(), again.size()),
                                         format),
                  map)
            << path << " Id " << id;
      }
    }
  }
  EXPECT_GT(decoded, 0u);
  EXPECT_GT(refused, 0u);
}

void ExpectTestTable1(const char* file, bool jet4) {
  auto db = OpenCorpusFile(file);
  const TableProperties props =
      jet::ReadTableProperties(*db, db->FindTable("Table1"));
  const jet::PropertyBlock* table = props.TableBlock();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->properties.size(), jet4 ? 5u : 3u);
  EXPECT_EQ(table->Find("Orientation")->value, Value(uint8_t{0}));
  EXPECT_EQ(table->Find("OrderByOn")->value, Value(false));
  EXPECT_EQ(table->Find("DefaultView")->value, Value(uint8_t{2}));
  if (jet4) {
    // {5A29A676-1145-4D1A-AE47-9F5415CDF2F1}, stored as 16 bytes of type
    // Binary in the byte order of a GUID structure.
    const jet::Property* guid = table->Find("GUID");
    ASSERT_NE(guid, nullptr);
    EXPECT_EQ(guid->type, 9);
    EXPECT_EQ(guid->value,
              Value(Binary{0x76, 0xA6, 0x29, 0x5A, 0x45, 0x11, 0x1A, 0x4D, 0xAE,
                           0x47, 0x9F, 0x54, 0x15, 0xCD, 0xF2, 0xF1}));
    EXPECT_EQ(table->Find("NameMap")->type, 11);
  }

  const jet::PropertyBlock* a = props.ColumnBlock("A");
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(a->properties.size(), jet4 ? 10u : 9u);
  EXPECT_EQ(a->Find("ColumnWidth")->value, Value(int32_t{-1}));
  EXPECT_EQ(a->Find("ColumnOrder")->value, Value(int32_t{0}));
  EXPECT_EQ(a->Find("ColumnHidden")->value, Value(false));
  EXPECT_EQ(a->Find("Required")->value, Value(false));
  EXPECT_EQ(a->Find("AllowZeroLength")->value, Value(false));
  EXPECT_EQ(a->Find("DisplayControl")->value, Value(int16_t{109}));
  EXPECT_EQ(a->Find("UnicodeCompression")->value, Value(true));
  EXPECT_EQ(a->Find("IMEMode")->value, Value(uint8_t{0}));
  EXPECT_EQ(a->Find("IMESentenceMode")->value, Value(uint8_t{3}));
  EXPECT_EQ(a->Find("Required")->flag, 0x01);
  EXPECT_EQ(a->Find("ColumnWidth")->flag, 0x00);

  EXPECT_EQ(props.ColumnBlock("F")->Find("DefaultValue")->value,
            Value(std::string("0")));
  EXPECT_EQ(props.ColumnBlock("F")->Find("DefaultValue")->type, 12);
  EXPECT_EQ(props.ColumnBlock("H")->Find("Format")->value,
            Value(std::string("$#,##0.00;($#,##0.00)")));
  EXPECT_EQ(props.ColumnBlock("I")->Find("DisplayControl")->value,
            Value(int16_t{106}));

  EXPECT_FALSE(props.Required("A"));
  EXPECT_FALSE(props.AllowZeroLength("A"));
  EXPECT_TRUE(props.AllowZeroLength("C"));  // a number column: no property
  EXPECT_FALSE(props.ValidationRule("A").has_value());
}

TEST(PropertyCorpusTest, KnownPropertiesOfTestTable1) {
  SKIP_WITHOUT_CORPUS();
  ExpectTestTable1("jet4/testV2000.mdb", /*jet4=*/true);
  ExpectTestTable1("jet3/testV1997.mdb", /*jet4=*/false);
}

TEST(PropertyCorpusTest, KnownPropertiesOfNorthwind) {
  SKIP_WITHOUT_CORPUS();
  auto db = OpenCorpusFile("wild/northwindApp.mdb");
  const TableProperties products =
      jet::ReadTableProperties(*db, db->FindTable("Products"));
  EXPECT_EQ(products.TableBlock()->Find("Description")->value,
            Value(std::string(
                "Product names, suppliers, prices, and units in stock.")));
  EXPECT_TRUE(products.Required("ProductName"));
  EXPECT_FALSE(products.AllowZeroLength("ProductName"));
  EXPECT_FALSE(products.Required("QuantityPerUnit"));
  EXPECT_EQ(products.ValidationRule("UnitPrice"), ">=0");
  jet::ColumnRules unit_price = products.RulesFor("unitprice");
  EXPECT_FALSE(unit_price.required);
  EXPECT_TRUE(unit_price.has_validation_rule());
  EXPECT_EQ(unit_price.validation_rule, ">=0");
  EXPECT_EQ(unit_price.validation_text, "You must enter a positive number.");
  EXPECT_EQ(products.ColumnBlock("Discontinued")->Find("DefaultValue")->value,
            Value(std::string("=No")));
  EXPECT_EQ(products.ColumnBlock("UnitPrice")->Find("DecimalPlaces")->value,
            Value(uint8_t{0xFF}));
  EXPECT_FALSE(products.TableValidationRule().has_value());

  const TableProperties employees =
      jet::ReadTableProperties(*db, db->FindTable("Employees"));
  EXPECT_TRUE(employees.Required("LastName"));
  EXPECT_EQ(employees.ValidationRule("BirthDate"), "<Date()");
  EXPECT_EQ(employees.RulesFor("BirthDate").validation_text,
            "Birth date can't be in the future.");
  EXPECT_FALSE(employees.ValidationRule("HireDate").has_value());
  // Photo is a text column (a file name) that allows "".
  EXPECT_TRUE(employees.AllowZeroLength("Photo"));
}

TEST(PropertyCorpusTest, YesIsStoredAs01OrFF) {
  SKIP_WITHOUT_CORPUS();
  // The geodatabase's tables were made by a program that stores Yes as FF.
  auto db = OpenCorpusFile("wild/geodatabaseTemplates.mdb");
  const TableProperties info =
      jet::ReadTableProperties(*db, db->FindTable("GDB_ColumnInfo"));
  const jet::Property* required =
      info.ColumnBlock("TableName")->Find("Required");
  ASSERT_NE(required, nullptr);
  EXPECT_EQ(required->value, Value(uint8_t{0xFF}));
  EXPECT_TRUE(info.Required("TableName"));
  EXPECT_TRUE(info.AllowZeroLength("TableName"));
}

TEST(PropertyCorpusTest, AbsentPropertiesMeanNullAndEmptyTextAreAccepted) {
  SKIP_WITHOUT_CORPUS();
  // zipcode's columns have no properties at all.
  auto zip = OpenCorpusFile("korean/zipcode.mdb");
  const jet::CatalogEntry* table = nullptr;
  for (const auto& t : zip->tables()) {
    if (!t.is_system()) table = &t;
  }
  ASSERT_NE(table, nullptr);
  const TableProperties props = jet::ReadTableProperties(*zip, *table);
  for (const auto& col : zip->ReadTableDefinition(*table).columns) {
    EXPECT_EQ(props.ColumnBlock(col.name), nullptr) << col.name;
    jet::ColumnRules rules = props.RulesFor(col.name);
    EXPECT_FALSE(rules.required);
    EXPECT_TRUE(rules.allow_zero_length);
    EXPECT_FALSE(rules.has_validation_rule());
  }
  // Required set without AllowZeroLength, as tables made by SQL with
  // NOT NULL have it.
  auto info = OpenCorpusFile("korean/accessControlInfo.mdb");
  const TableProperties codes =
      jet::ReadTableProperties(*info, info->FindTable("TB_ALARMCODE"));
  const jet::PropertyBlock* group = codes.ColumnBlock("GROUP_CODE");
  ASSERT_NE(group, nullptr);
  EXPECT_EQ(group->Find("AllowZeroLength"), nullptr);
  EXPECT_TRUE(codes.Required("GROUP_CODE"));
  EXPECT_TRUE(codes.AllowZeroLength("GROUP_CODE"));
}

TEST(PropertyCorpusTest, PasswordProtectedFilesReadToo) {
  SKIP_WITHOUT_CORPUS();
  for (const char* file : {"jet4/passwordV2000.mdb", "jet4/passwordV2003.mdb",
                           "korean/posLibrary.mdb"}) {
    auto db = OpenCorpusFile(file);
    size_t with_properties = 0;
    for (const auto& t : db->tables()) {
      if (!t.is_local_table() || t.is_system()) continue;
      if (!jet::ReadTableProperties(*db, t).empty()) ++with_properties;
    }
    EXPECT_GT(with_properties, 0u) << file;
  }
}

TEST(PropertyCorpusTest, UnknownObjectIdIsNotFound) {
  SKIP_WITHOUT_CORPUS();
  auto db = OpenCorpusFile("jet4/testV2000.mdb");
  try {
    jet::ReadObjectProperties(*db, 0x7FFFFFF0);
    FAIL() << "no error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrItemNotFound);
  }
}

// Rows the files hold keep the rules their properties state: no Null in a
// Required column, no "" in a text column whose AllowZeroLength is No. And
// "" does occur in text columns without an AllowZeroLength property, which
// is why its absence means "" is accepted.
TEST(PropertyCorpusTest, StoredRowsKeepTheStatedRules) {
  SKIP_WITHOUT_CORPUS();
  size_t required_columns = 0, no_zero_length_columns = 0,
         empty_text_without_property = 0;
  for (const fs::path& path : testing_support::CorpusFiles()) {
    SCOPED_TRACE(path.string());
    auto db = OpenCorpusFile(path);
    const jet::ValueContext context = db->value_context();
    for (const auto& entry : db->tables()) {
      if (!entry.is_local_table() || entry.is_system()) continue;
      const TableProperties props = jet::ReadTableProperties(*db, entry);
      const jet::TableDefinition def = db->ReadTableDefinition(entry);
      std::vector<jet::ColumnRules> rules;
      for (const auto& col : def.columns) {
        rules.push_back(props.RulesFor(col.name));
        const bool text =
            col.type == static_cast<uint8_t>(jet::ColumnType::kText) ||
            col.type == static_cast<uint8_t>(jet::ColumnType::kMemo);
        if (rules.back().required) ++required_columns;
        if (text && !rules.back().allow_zero_length) ++no_zero_length_columns;
      }
      std::vector<bool> counted(def.columns.size(), false);
      jet::TableScan scan(db->pager(), db->version(), def);
      while (scan.Next()) {
        std::vector<jet::FieldBytes> fields = scan.Fields();
        for (size_t k = 0; k < fields.size(); ++k) {
          const auto& col = def.columns[k];
          if (rules[k].required &&
              col.type != static_cast<uint8_t>(jet::ColumnType::kBoolean)) {
            EXPECT_FALSE(fields[k].is_null)
                << entry.name << "." << col.name << " is Required";
          }
          if (col.type != static_cast<uint8_t>(jet::ColumnType::kText) &&
              col.type != static_cast<uint8_t>(jet::ColumnType::kMemo)) {
            continue;
          }
          Value v = jet::DecodeValue(fields[k], col, context);
          const std::string* s = std::get_if<std::string>(&v);
          if (!s || !s->empty()) continue;
          EXPECT_TRUE(rules[k].allow_zero_length)
              << entry.name << "." << col.name << " holds \"\"";
          const jet::PropertyBlock* block = props.ColumnBlock(col.name);
          if (!counted[k] &&
              (!block || !block->Find(jet::property_names::kAllowZeroLength))) {
            counted[k] = true;
            ++empty_text_without_property;
          }
        }
      }
    }
  }
  std::cout << "[ corpus   ] " << required_columns << " Required columns, "
            << no_zero_length_columns << " text columns refusing \"\", "
            << empty_text_without_property
            << " text columns without AllowZeroLength holding \"\"\n";
  EXPECT_GT(required_columns, 0u);
  EXPECT_GT(no_zero_length_columns, 0u);
  EXPECT_GT(empty_text_without_property, 0u);
}

}  // namespace
