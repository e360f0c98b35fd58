// The salvaging scan: on sound files it meets exactly the rows TableScan
// meets; on a page whose second half a torn write zeroed, it leaves out the
// rows there (none comes back as a row of Nulls) and keeps the others.
#include "jet/rows/salvage_scan.h"

#include <gtest/gtest.h>

#include <fstream>
#include <vector>

#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "jet/rows/table_scan.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;

TEST(SalvageScanTest, MeetsTheRowsTableScanMeetsOnEveryCorpusFile) {
  SKIP_WITHOUT_CORPUS();
  for (const fs::path& file : testing_support::CorpusFiles()) {
    SCOPED_TRACE(file.string());
    jet::OpenOptions options;
    options.connect = ";pwd=" + testing_support::CorpusPassword(file);
    auto db = jet::Database::Open(file.string(), options);
    for (const jet::CatalogEntry& entry : db->tables()) {
      if (!entry.is_local_table()) continue;
      const jet::TableDefinition def = db->ReadTableDefinition(entry);
      jet::TableScan scan(db->pager(), db->version(), def);
      jet::SalvageScan salvage(db->pager(), db->version(), def);
      while (scan.Next()) {
        ASSERT_TRUE(salvage.Next()) << entry.name;
        EXPECT_EQ(salvage.row_id(), scan.row_id()) << entry.name;
      }
      EXPECT_FALSE(salvage.Next()) << entry.name;
      EXPECT_EQ(salvage.counts().rows_left_out, 0u) << entry.name;
      EXPECT_EQ(salvage.counts().damaged_pages, 0u) << entry.name;
    }
  }
}

TEST(SalvageScanTest, TornPageLosesItsSecondHalfNotAnEmptyRow) {
  testing_support::TempDir dir;
  const std::string path = (dir.path() / "torn.mdb").string();
  jet::CreateDatabase(path);
  uint32_t page = 0;
  size_t rows_before = 0;
  {
    jet::OpenOptions open;
    open.writable = true;
    auto db = jet::Database::Open(path, open);
    jet::TableDescription t;
    t.name = "T";
    t.columns = {{.name = "ID", .type = jet::ColumnType::kLong},
                 {.name = "Name", .type = jet::ColumnType::kText,
                  .length = 50}};
    auto table = jet::CreateTable(*db, t);
    std::vector<std::vector<jet::Value>> rows;
    for (int32_t id = 1; id <= 60; ++id) {
      rows.push_back({id, std::string(40, static_cast<char>('a' + id % 26))});
    }
    jet::InsertRows(*db, *table, rows);
    jet::TableScan scan = table->Scan();
    scan.Next();
    page = scan.row_id().page;
    db->Close();
  }
  {
    auto db = jet::Database::Open(path);
    auto table = db->OpenTable("T");
    for (jet::TableScan scan = table->Scan(); scan.Next();) {
      rows_before += scan.row_id().page == page;
    }
  }
  {
    std::fstream f(path, std::ios::in | std::ios::out | std::ios::binary);
    const std::vector<char> zeros(2048, 0);
    f.seekp(static_cast<std::streamoff>(page) * 4096 + 2048);
    f.write(zeros.data(), static_cast<std::streamsize>(zeros.size()));
  }
  auto db = jet::Database::Open(path);
  const jet::TableDefinition def =
      db->ReadTableDefinition(db->FindTable("T"));
  jet::SalvageScan salvage(db->pager(), db->version(), def);
  size_t kept = 0;
  while (salvage.Next()) {
    const std::vector<jet::FieldBytes>& fields = salvage.fields();
    ASSERT_FALSE(fields[0].is_null) << "a row came back empty";
    ASSERT_FALSE(fields[1].is_null) << "a row came back empty";
    kept += salvage.row_id().page == page;
  }
  EXPECT_GT(kept, 0u);
  EXPECT_EQ(kept + salvage.counts().rows_left_out, rows_before);
  EXPECT_GT(salvage.counts().rows_left_out, 0u);
}

}  // namespace
