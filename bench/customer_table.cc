#include "bench/customer_table.h"

#include <cstdio>
#include <filesystem>
#include <memory>
#include <sstream>

#include "cli/check_command.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"

namespace bench {

namespace {
constexpr size_t kBatchRows = 1000;
}  // namespace

jet::TableDescription CustomerTable() {
  using jet::ColumnType;
  jet::TableDescription t;
  t.name = kCustomerTableName;
  t.columns = {
      {.name = "ID", .type = ColumnType::kLong, .required = true},
      {.name = "이름", .type = ColumnType::kText, .length = 60},
      {.name = "지역", .type = ColumnType::kText, .length = 40},
      {.name = "Code", .type = ColumnType::kText, .length = 20},
      {.name = "메모", .type = ColumnType::kMemo},
      {.name = "Score", .type = ColumnType::kDouble},
      {.name = "가입일", .type = ColumnType::kDateTime},
      {.name = "Active", .type = ColumnType::kBoolean},
      {.name = "잔액", .type = ColumnType::kCurrency},
      {.name = "Comment", .type = ColumnType::kText, .length = 120},
  };
  t.indexes = {
      {.name = "PrimaryKey", .columns = {{"ID"}}, .primary_key = true},
      {.name = "이름", .columns = {{"이름"}}},
      {.name = "지역가입일", .columns = {{"지역"}, {"가입일", false}}},
  };
  return t;
}

std::vector<jet::Value> CustomerRow(TextMaker& text, int32_t id) {
  std::vector<jet::Value> row(10);
  row[kId] = id;
  row[kName] = text.KoreanName() + " " + text.LatinCode(4);
  row[kRegion] = text.Place();
  row[kCode] = text.LatinCode(10);
  row[kNote] = text.MixedWords(static_cast<size_t>(text.Uniform(20, 300)));
  row[kScore] = text.Uniform(0, 1000000) / 100.0;
  row[kJoined] = jet::DateTime{30000 + text.Uniform(0, 15000) +
                               text.Uniform(0, 86399) / 86400.0};
  row[kActive] = text.Chance(0.5);
  row[kBalance] =
      jet::Currency{int64_t{text.Uniform(-1000000, 100000000)} * 100};
  row[kComment] = text.MixedWords(static_cast<size_t>(text.Uniform(10, 80)));
  return row;
}

// Fills a new database at `path` until its file reaches `mb` MB.
int BuildCustomerDatabase(const std::string& path, double mb,
                          uint16_t sort_order) {
  const double target = mb * kMb;
  Clock::time_point start = Clock::now();
  jet::CreateOptions create;
  create.version = jet::JetVersion::kJet4;
  create.sort_order = sort_order;
  jet::CreateDatabase(path, create);
  jet::OpenOptions open;
  open.writable = true;
  std::unique_ptr<jet::Database> db = jet::Database::Open(path, open);
  std::unique_ptr<jet::Table> table = jet::CreateTable(*db, CustomerTable());

  TextMaker text(20261208);
  jet::Pager& pager = db->pager();
  size_t rows = 0;
  double next_report = 0.1;
  // The insert rate of each tenth of the file, to see whether it slows as
  // the table grows.
  std::vector<double> tenth_rates;
  Clock::time_point tenth_start = Clock::now();
  size_t tenth_rows = 0;
  std::vector<std::vector<jet::Value>> batch;
  while (static_cast<double>(pager.page_count()) * pager.page_size() < target) {
    batch.clear();
    for (size_t i = 0; i < kBatchRows; ++i) {
      batch.push_back(CustomerRow(text, static_cast<int32_t>(rows + i + 1)));
    }
    rows += jet::InsertRows(*db, *table, batch);
    tenth_rows += kBatchRows;
    double fraction =
        static_cast<double>(pager.page_count()) * pager.page_size() / target;
    if (fraction >= next_report) {
      double rate = tenth_rows / Since(tenth_start);
      tenth_rates.push_back(rate);
      std::fprintf(stderr, "build: %3.0f%% %zu rows, %.0f rows/s\n",
                   fraction * 100, rows, rate);
      next_report += 0.1;
      tenth_start = Clock::now();
      tenth_rows = 0;
    }
  }
  Clock::time_point close_start = Clock::now();
  db->Close();
  const double close_seconds = Since(close_start);
  const double seconds = Since(start);
  const double bytes = static_cast<double>(std::filesystem::file_size(path));

  std::printf("sort_order: %u\n", sort_order);
  std::printf("rows: %zu\n", rows);
  std::printf("file_bytes: %.0f\n", bytes);
  std::printf("build_seconds: %.2f\n", seconds);
  std::printf("build_close_seconds: %.2f\n", close_seconds);
  std::printf("build_rows_per_s: %.0f\n", rows / seconds);
  std::printf("build_mb_per_s: %.2f\n", bytes / seconds / kMb);
  if (!tenth_rates.empty()) {
    std::printf("build_rows_per_s_first_tenth: %.0f\n", tenth_rates.front());
    std::printf("build_rows_per_s_last_tenth: %.0f\n", tenth_rates.back());
  }
  return 0;
}

// The check's summary lines, each prefixed; the findings too, but at most
// 20 of them.
int CheckDatabaseFile(const std::string& path, const std::string& prefix) {
  std::ostringstream out;
  int status = cli::RunCheck(path, "", out);
  std::istringstream lines(out.str());
  std::string line;
  int findings_shown = 0;
  while (std::getline(lines, line)) {
    if (line.rfind("[", 0) == 0 && ++findings_shown > 20) continue;
    std::printf("%s: %s\n", prefix.c_str(), line.c_str());
  }
  return status;
}

}  // namespace bench
