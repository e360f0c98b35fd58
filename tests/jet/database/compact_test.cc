// Compaction of databases built by the engine: rows with long values of
// every size, moved rows, deleted rows and indexes in both versions and in
// the Korean sort order. The copy must hold the same rows in the same
// order, check clean, be smaller, keep its password, and be stable when
// compacted again; failures must leave no copy and the source untouched.
#include "jet/database/compact.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <vector>

#include "jet/database/database.h"
#include "tests/support/corpus.h"
#include "jet/database/database_builder.h"
#include "jet/base/error.h"
#include "jet/storage/file.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "jet/rows/value_conversion.h"
#include "tests/support/database_check.h"
#include "tests/support/error_number.h"

namespace {

namespace fs = std::filesystem;
using jet::ColumnType;
using jet::Value;

using testing_support::TempDir;

std::vector<uint8_t> FileBytes(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), {}};
}

using testing_support::ErrorNumberOf;

// Jet 3 files here are Western (code page 1252) in the General sort order,
// whose keys this engine makes for ASCII: their names and texts are ASCII.
bool Hangul(jet::JetVersion version) {
  return version == jet::JetVersion::kJet4;
}

std::string TableName(jet::JetVersion version) {
  return Hangul(version) ? "사람" : "Personen";
}

jet::TableDescription PeopleTable(jet::JetVersion version) {
  const bool h = Hangul(version);
  jet::TableDescription description;
  description.name = TableName(version);
  description.columns = {
      {.name = h ? "번호" : "Nr", .type = ColumnType::kLong},
      {.name = h ? "이름" : "Name", .type = ColumnType::kText, .length = 40},
      {.name = h ? "메모" : "Notiz", .type = ColumnType::kMemo},
      {.name = h ? "금액" : "Betrag", .type = ColumnType::kCurrency},
      {.name = h ? "날짜" : "Datum", .type = ColumnType::kDateTime},
      {.name = h ? "회원" : "Mitglied", .type = ColumnType::kBoolean},
      {.name = h ? "사진" : "Bild", .type = ColumnType::kOle},
      {.name = h ? "점수" : "Punkte", .type = ColumnType::kDouble},
  };
  description.indexes = {
      {.name = "PrimaryKey",
       .columns = {{description.columns[0].name}},
       .primary_key = true},
      {.name = h ? "이름순" : "NachName",
       .columns = {{description.columns[1].name}}},
      {.name = h ? "회원금액" : "MitgliedBetrag",
       .columns = {{description.columns[5].name},
                   {description.columns[3].name, false}}},
  };
  return description;
}

std::string Name(int i, jet::JetVersion version) {
  static const char* const kHangul[] = {"김민준", "이서연", "박지호", "최수아",
                                        "정도윤", "Kim",    "lee",    "  park ",
                                        "가나다", "하늘"};
  static const char* const kLatin[] = {
      "Miller", "Orsted", "Smith",   "eclair", "Zoe",
      "Kim",    "lee",    "  park ", "O'Neil", "de la Cruz"};
  const char* const* names = Hangul(version) ? kHangul : kLatin;
  return std::string(names[i % 10]) + std::to_string(i % 37);
}

std::vector<Value> PersonRow(int i, jet::JetVersion version) {
  // Memos inline, on one long-value page and chained over several.
  std::string memo(static_cast<size_t>((i * 97) % 9000), "xa"[i % 2]);
  jet::Binary picture(static_cast<size_t>((i * 31) % 300), uint8_t(i));
  return {int32_t{i},
          i % 11 == 0 ? Value{} : Value{Name(i, version)},
          i % 5 == 0 ? Value{} : Value{memo},
          jet::Currency{int64_t{i} * 12345},
          jet::DateTime{36000.0 + i},
          i % 3 == 0,
          i % 7 == 0 ? Value{} : Value{picture},
          i * 0.25};
}

// A table of `rows` rows, then every fourth row grown (moved away from its
// page) and every third row deleted.
void BuildFixture(const fs::path& path, const jet::CreateOptions& options,
                  int rows) {
  jet::CreateDatabase(path.string(), options);
  jet::OpenOptions open;
  open.connect = ";pwd=" + options.password;
  open.writable = true;
  auto db = jet::Database::Open(path.string(), open);
  {
    auto table = jet::CreateTable(*db, PeopleTable(options.version));
    for (int i = 0; i < rows; ++i) {
      std::vector<Value> row = PersonRow(i, options.version);
      for (size_t k = 0; k < row.size(); ++k) {
        row[k] = jet::ConvertToColumnType(
            row[k], table->definition().columns[k], options.version);
      }
      table->InsertRow(row);
    }
  }
  db->Close();
  db = jet::Database::Open(path.string(), open);
  auto table = db->OpenTable(TableName(options.version));
  std::vector<jet::RowPointer> ids;
  for (jet::TableScan scan = table->Scan(); scan.Next();) {
    ids.push_back(scan.row_id());
  }
  for (size_t i = 0; i < ids.size(); ++i) {
    if (i % 4 == 1) {
      table->UpdateRow(ids[i],
                       {{1, Value{Name(int(i), options.version) + " 2"}},
                        {2, Value{std::string(3000, 'x')}}});
    }
  }
  for (size_t i = 0; i < ids.size(); i += 3) table->DeleteRow(ids[i]);
  db->Close();
}

std::vector<std::vector<Value>> UserRows(const fs::path& path,
                                         const std::string& connect) {
  jet::OpenOptions open;
  open.connect = connect;
  auto db = jet::Database::Open(path.string(), open);
  std::vector<std::vector<Value>> rows;
  for (const jet::CatalogEntry& t : db->tables()) {
    if (t.is_system()) continue;
    auto table = db->OpenTable(t.name);
    for (jet::TableScan scan = table->Scan(); scan.Next();) {
      rows.push_back(table->ReadRow(scan.row_id()));
    }
  }
  return rows;
}

struct Case {
  const char* name;
  jet::CreateOptions options;
};

class CompactFixtureTest : public ::testing::TestWithParam<Case> {};

TEST_P(CompactFixtureTest, KeepsEveryRowInOrderAndShrinks) {
  const Case& c = GetParam();
  TempDir dir;
  const fs::path source = dir.path() / "a.mdb";
  BuildFixture(source, c.options, 400);
  const std::string connect = ";pwd=" + c.options.password;
  ASSERT_TRUE(testing_support::DatabaseChecksClean(source, connect));

  const fs::path copy = dir.path() / "b.mdb";
  const std::vector<uint8_t> before = FileBytes(source);
  jet::CompactDatabase(source.string(), copy.string(), connect);
  EXPECT_TRUE(FileBytes(source) == before);
  EXPECT_DATABASE_CHECKS_CLEAN(copy, connect);
  const auto rows = UserRows(source, connect);
  EXPECT_EQ(rows.size(), 266u);
  EXPECT_TRUE(UserRows(copy, connect) == rows);
  EXPECT_LT(fs::file_size(copy), fs::file_size(source));

  // The copy's header is the source's: version, sort order, password.
  {
    jet::OpenOptions open;
    open.connect = connect;
    auto a = jet::Database::Open(source.string(), open);
    auto b = jet::Database::Open(copy.string(), open);
    EXPECT_EQ(b->version(), a->version());
    EXPECT_EQ(b->header().sort_order, a->header().sort_order);
    EXPECT_EQ(b->header().code_page, a->header().code_page);
    // Table ids are the definitions' new pages, which the catalog names.
    for (const jet::CatalogEntry& t : b->tables()) {
      if (!t.is_local_table()) continue;
      EXPECT_EQ(b->ReadTableDefinition(t).page, t.definition_page()) << t.name;
    }
  }
  if (!c.options.password.empty()) {
    jet::OpenOptions wrong;
    wrong.connect = ";pwd=";
    EXPECT_EQ(ErrorNumberOf([&] { jet::Database::Open(copy.string(), wrong); }),
              jet::kErrInvalidPassword);
  }

  // Compacting the copy changes nothing more.
  const fs::path again = dir.path() / "c.mdb";
  jet::CompactDatabase(copy.string(), again.string(), connect);
  EXPECT_EQ(fs::file_size(again), fs::file_size(copy));
  EXPECT_TRUE(FileBytes(again) == FileBytes(copy));

  // Index entries sorted through the temporary file (a bound that sends
  // them there many times) give the same copy.
  const fs::path spilled = dir.path() / "d.mdb";
  jet::CompactOptions small;
  small.max_index_entry_bytes = 16 * 1024;
  jet::CompactDatabase(source.string(), spilled.string(), connect, small);
  EXPECT_TRUE(FileBytes(spilled) == FileBytes(copy));

  // The copy takes writes like any database: new rows and their index
  // entries go on its packed pages.
  {
    jet::OpenOptions open;
    open.connect = connect;
    open.writable = true;
    auto db = jet::Database::Open(copy.string(), open);
    auto table = db->OpenTable(TableName(c.options.version));
    std::vector<Value> row = PersonRow(1000, c.options.version);
    for (size_t k = 0; k < row.size(); ++k) {
      row[k] = jet::ConvertToColumnType(row[k], table->definition().columns[k],
                                        c.options.version);
    }
    table->InsertRow(row);
    db->Close();
  }
  EXPECT_DATABASE_CHECKS_CLEAN(copy, connect);
}

jet::CreateOptions Options(jet::JetVersion version, uint16_t sort_order,
                           const std::string& password) {
  jet::CreateOptions o;
  o.version = version;
  o.sort_order = sort_order;
  o.password = password;
  return o;
}

INSTANTIATE_TEST_SUITE_P(
    Versions, CompactFixtureTest,
    ::testing::Values(
        Case{"Jet4Korean",
             Options(jet::JetVersion::kJet4, jet::sort_orders::kKorean, "")},
        Case{"Jet4GeneralPassword",
             Options(jet::JetVersion::kJet4, jet::sort_orders::kGeneral,
                     "7316")},
        Case{"Jet3General", Options(jet::JetVersion::kJet3,
                                    jet::sort_orders::kGeneral, "secret")}),
    [](const ::testing::TestParamInfo<Case>& info) { return info.param.name; });

TEST(CompactDatabaseTest, RefusalsTouchNothing) {
  TempDir dir;
  const fs::path source = dir.path() / "a.mdb";
  jet::CreateDatabase(source.string(), {});
  const fs::path existing = dir.path() / "b.mdb";
  { std::ofstream(existing) << "earlier"; }
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CompactDatabase(source.string(), existing.string(), "");
            }),
            jet::kErrAlreadyExists);
  EXPECT_TRUE(FileBytes(existing) ==
              std::vector<uint8_t>({'e', 'a', 'r', 'l', 'i', 'e', 'r'}));
  const fs::path missing = dir.path() / "none.mdb";
  const fs::path copy = dir.path() / "c.mdb";
  EXPECT_EQ(ErrorNumberOf([&] {
              jet::CompactDatabase(missing.string(), copy.string(), "");
            }),
            jet::kErrFileNotFound);
  EXPECT_FALSE(fs::exists(copy));

  // A source cut short is salvaged: the copy holds what was readable.
  const fs::path cut = dir.path() / "cut.mdb";
  BuildFixture(cut, {}, 120);
  fs::resize_file(cut, fs::file_size(cut) / 2);
  const jet::CompactReport report =
      jet::CompactDatabase(cut.string(), copy.string(), "");
  EXPECT_TRUE(report.salvaged());
  EXPECT_DATABASE_CHECKS_CLEAN(copy);
}

// A catalog row whose memo cannot be read any more: the catalog read does
// not trust the row, so its table comes back from its definition under a
// recovered name with every row, and the copy's catalog names that
// definition once.
TEST(CompactDatabaseTest, TableOfAnUntrustedCatalogRowIsRecoveredOnce) {
  TempDir dir;
  const fs::path source = dir.path() / "a.mdb";
  const jet::CreateOptions options =
      Options(jet::JetVersion::kJet4, jet::sort_orders::kKorean, "");
  BuildFixture(source, options, 30);
  const size_t rows = UserRows(source, "").size();
  uint32_t page_size = 0, memo_page = 0;
  {
    jet::OpenOptions open;
    open.writable = true;
    auto db = jet::Database::Open(source.string(), open);
    auto catalog = db->OpenTable("MSysObjects");
    size_t name = 0, database = 0;
    const auto& columns = catalog->definition().columns;
    while (columns[name].name != "Name") ++name;
    while (columns[database].name != "Database") ++database;
    for (jet::TableScan scan = catalog->Scan(); scan.Next();) {
      if (catalog->ReadRow(scan.row_id())[name] ==
          Value{TableName(options.version)}) {
        // A memo of its own page, the last one of the file.
        catalog->UpdateRow(scan.row_id(),
                           {{database, Value{std::string(3000, 'd')}}});
        break;
      }
    }
    page_size = db->pager().page_size();
    memo_page = db->pager().page_count() - 1;
    db->Close();
  }
  {
    std::fstream file(source, std::ios::in | std::ios::out | std::ios::binary);
    file.seekp(std::streamoff{memo_page} * page_size);
    const std::string zeros(page_size, '\0');
    file.write(zeros.data(), page_size);
  }
  const fs::path copy = dir.path() / "b.mdb";
  const jet::CompactReport report =
      jet::CompactDatabase(source.string(), copy.string(), "");
  EXPECT_TRUE(report.salvaged());
  EXPECT_DATABASE_CHECKS_CLEAN(copy);
  const auto recovered =
      std::find_if(report.tables.begin(), report.tables.end(),
                   [](const auto& t) { return t.recovered; });
  ASSERT_NE(recovered, report.tables.end());
  EXPECT_EQ(recovered->rows_copied, rows);
}

// A disk that fails at any one write or sync of the compaction: an I/O
// error, no copy left, the source as it was.
TEST(CompactDatabaseTest, FailureAtEveryWriteLeavesNoCopy) {
  TempDir dir;
  const fs::path source = dir.path() / "a.mdb";
  BuildFixture(source,
               Options(jet::JetVersion::kJet4, jet::sort_orders::kKorean, ""),
               60);
  const std::vector<uint8_t> before = FileBytes(source);
  const fs::path copy = dir.path() / "b.mdb";
  static uint64_t target;
  uint64_t failures = 0;
  for (target = 0;; ++target) {
    jet::File::SetFaultHook([](uint64_t op) { return op == target; });
    int error = ErrorNumberOf(
        [&] { jet::CompactDatabase(source.string(), copy.string(), ""); });
    jet::File::SetFaultHook(nullptr);
    if (error == 0) break;
    ++failures;
    ASSERT_EQ(error, jet::kErrDiskIo) << "write " << target;
    ASSERT_FALSE(fs::exists(copy)) << "write " << target;
    ASSERT_TRUE(FileBytes(source) == before) << "write " << target;
  }
  EXPECT_GT(failures, 5u);
  EXPECT_DATABASE_CHECKS_CLEAN(copy);
}

}  // namespace
