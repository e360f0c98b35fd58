// Row writes on copies of real files: values written read back through the
// engine, rows that grow move (in their page or to another) without being
// lost or met twice, and long values of every size round-trip.
#include <gtest/gtest.h>

#include <fstream>
#include <string>

#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/base/error.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "jet/rows/value_conversion.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

using jet::ColumnChange;
using jet::Database;
using jet::RowPointer;
using jet::Value;
using testing_support::TempDir;

std::unique_ptr<Database> OpenWritable(const std::filesystem::path& path,
                                       const std::string& password = "") {
  jet::OpenOptions options;
  options.writable = true;
  options.connect = ";pwd=" + password;
  return Database::Open(path.string(), options);
}

std::vector<RowPointer> RowIds(jet::Table& table) {
  std::vector<RowPointer> ids;
  jet::TableScan scan = table.Scan();
  while (scan.Next()) ids.push_back(scan.row_id());
  return ids;
}

size_t ColumnIndex(const jet::Table& table, const std::string& name) {
  const auto& cols = table.definition().columns;
  for (size_t i = 0; i < cols.size(); ++i) {
    if (cols[i].name == name) return i;
  }
  ADD_FAILURE() << "no column " << name;
  return 0;
}

TEST(TableWriteTest, ValuesWrittenReadBackAfterReopen) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  std::vector<RowPointer> ids;
  {
    auto db = OpenWritable(path);
    auto table = db->OpenTable("Table1");
    ids = RowIds(*table);
    ASSERT_GE(ids.size(), 2u);
    const auto& def = table->definition();
    size_t a = ColumnIndex(*table, "A"), c = ColumnIndex(*table, "C"),
           g = ColumnIndex(*table, "G");
    table->UpdateRow(
        ids[0],
        {ColumnChange{a, std::string("x")},
         ColumnChange{c, jet::ConvertToColumnType(int16_t{0}, def.columns[c],
                                                  db->version())},
         ColumnChange{g, jet::Null{}}});
    db->Close();
  }
  auto db = Database::Open(path.string());
  auto table = db->OpenTable("Table1");
  EXPECT_EQ(RowIds(*table), ids);
  std::vector<Value> row = table->ReadRow(ids[0]);
  EXPECT_EQ(row[ColumnIndex(*table, "A")], Value(std::string("x")));
  EXPECT_EQ(row[ColumnIndex(*table, "G")], Value(jet::Null{}));
  EXPECT_FALSE(jet::IsNull(row[ColumnIndex(*table, "C")]));
  table.reset();
  db.reset();
  EXPECT_DATABASE_CHECKS_CLEAN(path);
}

TEST(TableWriteTest, GrowingRowsMoveAndStayReachableOnce) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  auto db = OpenWritable(path);
  auto table = db->OpenTable("Table1");
  std::vector<RowPointer> ids = RowIds(*table);
  size_t b = ColumnIndex(*table, "B");
  // Long texts until rows no longer fit their page.
  for (int round = 0; round < 3; ++round) {
    for (size_t i = 0; i < ids.size(); ++i) {
      std::string text(40 + 20 * round + i, static_cast<char>('a' + i % 26));
      table->UpdateRow(ids[i], {ColumnChange{b, text}});
    }
  }
  db->Close();
  auto again = Database::Open(path.string());
  auto t = again->OpenTable("Table1");
  EXPECT_EQ(RowIds(*t), ids);
  for (size_t i = 0; i < ids.size(); ++i) {
    std::string expected(80 + i, static_cast<char>('a' + i % 26));
    EXPECT_EQ(t->ReadRow(ids[i])[b], Value(expected)) << i;
  }
  t.reset();
  again.reset();
  EXPECT_DATABASE_CHECKS_CLEAN(path);
}

// The first user table with rows and a memo column: its name and the
// column's position.
std::pair<std::string, size_t> FindMemoTable(Database& db) {
  for (const jet::CatalogEntry& entry : db.tables()) {
    if (entry.is_system() || !entry.is_local_table()) continue;
    auto table = db.OpenTable(entry.name);
    if (RowIds(*table).empty()) continue;
    const auto& cols = table->definition().columns;
    for (size_t i = 0; i < cols.size(); ++i) {
      if (cols[i].type == static_cast<uint8_t>(jet::ColumnType::kMemo)) {
        return {entry.name, i};
      }
    }
  }
  return {"", 0};
}

TEST(TableWriteTest, MemoValuesOfEverySizeRoundTrip) {
  SKIP_WITHOUT_CORPUS();
  for (const char* file : {"korean/phoneServerCustomers.mdb",
                           "jet3/test2V1997.mdb", "jet4/test2V2000.mdb"}) {
    TempDir dir;
    auto path = dir.Copy(testing_support::CorpusDir() / file);
    auto db = OpenWritable(path);
    auto [name, memo] = FindMemoTable(*db);
    ASSERT_FALSE(name.empty()) << file;
    auto table = db->OpenTable(name);
    std::vector<RowPointer> ids = RowIds(*table);
    std::string last;
    for (size_t len : {0u, 10u, 64u, 65u, 1000u, 5000u, 20000u, 30u}) {
      std::string text;
      for (size_t k = 0; k < len; ++k) text += static_cast<char>('A' + k % 23);
      table->UpdateRow(ids[0], {ColumnChange{memo, text}});
      EXPECT_EQ(table->ReadRow(ids[0])[memo], Value(text))
          << file << " " << len;
      last = text;
    }
    db->Close();
    auto again = Database::Open(path.string());
    auto t = again->OpenTable(name);
    EXPECT_EQ(RowIds(*t), ids) << file;
    EXPECT_EQ(t->ReadRow(ids[0])[memo], Value(last)) << file;
    t.reset();
    again.reset();
    EXPECT_DATABASE_CHECKS_CLEAN(path);
  }
}

// Where a memo's long-value row is, from the reference its row keeps; 0
// for a value inline in the row.
uint32_t LongValueRowOf(jet::Table& table, RowPointer id, size_t column) {
  jet::TableScan scan = table.Scan();
  while (scan.Next()) {
    if (scan.row_id() != id) continue;
    const jet::FieldBytes field = scan.Fields()[column];
    const uint32_t word = field.data.U32(0);
    return (word & 0x80000000u) ? 0 : field.data.U32(4);
  }
  ADD_FAILURE() << "row not found";
  return 0;
}

// A memo made shorter (a trim) is written over its own long-value row, which
// shrinks; one that no longer fits it, or fits inline, goes elsewhere. The
// values read back, before and after reopening, and nothing is left behind.
TEST(TableWriteTest, ShorterMemoIsRewrittenInItsOwnRow) {
  for (jet::JetVersion version :
       {jet::JetVersion::kJet4, jet::JetVersion::kJet3}) {
    TempDir dir;
    const std::filesystem::path path = dir.path() / "memo.mdb";
    jet::CreateOptions options;
    options.version = version;
    jet::CreateDatabase(path.string(), options);
    auto db = OpenWritable(path);
    jet::TableDescription description;
    description.name = "Notes";
    description.columns = {{.name = "ID", .type = jet::ColumnType::kLong},
                           {.name = "Note", .type = jet::ColumnType::kMemo}};
    auto table = jet::CreateTable(*db, description);
    auto text = [](size_t lead, size_t body, char c) {
      return std::string(lead, ' ') + std::string(body, c);
    };
    // Two rows, so that the second one's long value lies below the first
    // one's on their page and moves when the first one shrinks.
    const RowPointer id = table->InsertRow({int32_t{1}, text(3, 500, 'a')});
    table->InsertRow({int32_t{2}, text(0, 700, 'b')});
    const uint32_t first = LongValueRowOf(*table, id, 1);
    ASSERT_NE(first, 0u);

    table->UpdateRow(id, {ColumnChange{1, text(0, 500, 'a')}});
    EXPECT_EQ(LongValueRowOf(*table, id, 1), first);
    table->UpdateRow(id, {ColumnChange{1, text(0, 120, 'c')}});
    EXPECT_EQ(LongValueRowOf(*table, id, 1), first);
    EXPECT_EQ(table->ReadRow(id)[1], Value(text(0, 120, 'c')));
    // Longer than its row: written anew.
    table->UpdateRow(id, {ColumnChange{1, text(0, 900, 'd')}});
    EXPECT_NE(LongValueRowOf(*table, id, 1), first);
    EXPECT_EQ(table->ReadRow(id)[1], Value(text(0, 900, 'd')));
    table->UpdateRow(id, {ColumnChange{1, text(0, 10, 'e')}});
    EXPECT_EQ(LongValueRowOf(*table, id, 1), 0u);
    table->UpdateRow(id, {ColumnChange{1, text(0, 300, 'f')}});
    table.reset();
    db->Close();

    auto again = jet::Database::Open(path.string());
    auto t = again->OpenTable("Notes");
    std::vector<std::vector<Value>> rows;
    jet::TableScan scan = t->Scan();
    while (scan.Next()) rows.push_back(t->ReadRow(scan.row_id()));
    ASSERT_EQ(rows.size(), 2u);
    EXPECT_EQ(rows[0][1], Value(text(0, 300, 'f')));
    EXPECT_EQ(rows[1][1], Value(text(0, 700, 'b')));
    t.reset();
    again.reset();
    EXPECT_DATABASE_CHECKS_CLEAN(path);
  }
}

std::string FileBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Writes the table's own rules forbid are refused with their number and
// leave the file byte for byte as it was.
TEST(TableWriteTest, RefusedWritesLeaveTheFileAsItWas) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  std::string before = FileBytes(path);
  {
    auto db = OpenWritable(path);
    auto table = db->OpenTable("Table1");
    std::vector<RowPointer> ids = RowIds(*table);
    size_t a = ColumnIndex(*table, "A");
    auto expect_refused = [&](const std::vector<ColumnChange>& changes,
                              int number) {
      try {
        table->UpdateRow(ids[0], changes);
        ADD_FAILURE() << "expected error " << number;
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.number(), number) << e.description();
      }
    };
    // AllowZeroLength is off for Table1.A.
    expect_refused({ColumnChange{a, std::string("")}}, jet::kErrZeroLength);
    // A text past the column's length never gets to the row.
    const auto& col = table->definition().columns[a];
    try {
      jet::ConvertToColumnType(std::string(col.length, 'x'), col,
                               db->version());
      ADD_FAILURE() << "expected 3163";
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::kErrFieldTooSmall);
    }
    db->Close();
  }
  EXPECT_EQ(FileBytes(path), before);
}

TEST(TableWriteTest, UniqueIndexRefusesDuplicates) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto path =
      dir.Copy(testing_support::CorpusDir() / "jet4/indexTestV2000.mdb");
  std::string before = FileBytes(path);
  {
    auto db = OpenWritable(path);
    bool tried = false;
    for (const auto& entry : db->tables()) {
      if (entry.is_system() || tried) continue;
      auto table = db->OpenTable(entry.name);
      const auto& def = table->definition();
      std::vector<RowPointer> ids = RowIds(*table);
      if (ids.size() < 2) continue;
      for (const auto& index : def.real_indexes) {
        if (!index.unique() || index.columns.size() != 1 || tried) continue;
        size_t k = 0;
        while (def.columns[k].number != index.columns[0].column_number) ++k;
        Value other = table->ReadRow(ids[1])[k];
        if (jet::IsNull(other)) continue;
        try {
          table->UpdateRow(ids[0], {ColumnChange{k, other}});
          ADD_FAILURE() << entry.name << ": expected 3022";
        } catch (const jet::Error& e) {
          EXPECT_EQ(e.number(), jet::kErrDuplicateKey) << e.description();
        }
        tried = true;
      }
    }
    EXPECT_TRUE(tried) << "no unique index to try";
    db->Close();
  }
  EXPECT_EQ(FileBytes(path), before);
}

// Index changes reach the pages in batches, after the writes that made
// them; a unique index must still refuse a key that another row took (or
// accept one another row gave up) in a change not yet written.
TEST(TableWriteTest, UniqueIndexSeesChangesNotYetWritten) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto path =
      dir.Copy(testing_support::CorpusDir() / "jet4/indexTestV2000.mdb");
  std::string table_name;
  std::vector<RowPointer> ids;
  size_t k = 0;
  Value fresh, first_value;
  {
    auto db = OpenWritable(path);
    for (const auto& entry : db->tables()) {
      if (entry.is_system() || !table_name.empty()) continue;
      auto table = db->OpenTable(entry.name);
      const auto& def = table->definition();
      ids = RowIds(*table);
      if (ids.size() < 2) continue;
      for (const auto& index : def.real_indexes) {
        if (!index.unique() || index.columns.size() != 1) continue;
        k = 0;
        while (def.columns[k].number != index.columns[0].column_number) ++k;
        const auto type = def.columns[k].column_type();
        if (type == jet::ColumnType::kText) {
          fresh = std::string("zz unique");
        } else if (type == jet::ColumnType::kLong) {
          fresh = int32_t{987654321};
        } else {
          continue;
        }
        first_value = table->ReadRow(ids[0])[k];
        if (jet::IsNull(first_value)) continue;
        table_name = entry.name;
        break;
      }
      if (table_name.empty()) continue;
      table->UpdateRow(ids[0], {ColumnChange{k, fresh}});
      try {
        table->UpdateRow(ids[1], {ColumnChange{k, fresh}});
        ADD_FAILURE() << "expected 3022";
      } catch (const jet::Error& e) {
        EXPECT_EQ(e.number(), jet::kErrDuplicateKey) << e.description();
      }
      table->UpdateRow(ids[1], {ColumnChange{k, first_value}});
    }
    ASSERT_FALSE(table_name.empty()) << "no unique text or Long index to try";
    db->Close();
  }
  auto db = Database::Open(path.string());
  auto table = db->OpenTable(table_name);
  EXPECT_EQ(table->ReadRow(ids[0])[k], fresh);
  EXPECT_EQ(table->ReadRow(ids[1])[k], first_value);
  db.reset();
  EXPECT_DATABASE_CHECKS_CLEAN(path);
}

TEST(TableWriteTest, ReadOnlyDatabaseRefusesWrites) {
  SKIP_WITHOUT_CORPUS();
  auto db = Database::Open(
      (testing_support::CorpusDir() / "jet4/testV2000.mdb").string());
  auto table = db->OpenTable("Table1");
  std::vector<RowPointer> ids = RowIds(*table);
  try {
    table->UpdateRow(ids[0], {ColumnChange{0, std::string("x")}});
    FAIL() << "expected an error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrReadOnly);
  }
}

}  // namespace
