// sweep_bench [--mb N] [--sort-order 1042|1033] [--dir D] [--keep]
//             [--only nulls|trim] [--runs N]
//
// How long the two maintenance sweeps take over a large database, compared
// with a plain copy of the same file. A new Jet 4 database of at least N MB
// (default 100) is built with the engine's own CreateDatabase, CreateTable
// and InsertRows: three tables (clients, orders, products) of ten columns
// each, three or four indexes each (a primary key, a unique text index,
// text, number and several-column indexes). A fifth of the fields that can
// be Null are Null, and a fifth of the texts and memos carry spaces at one
// end or both. Then each sweep runs on a copy of it of its own:
//
//   nulls  RemoveNullValues (maintenance/null_values.h)
//   trim   TrimSpaces (maintenance/trim_spaces.h)
//
// through a user interface that chooses the copy and keeps the messages.
// After each sweep the integrity checker and the index key report
// (cli::RunCheck) read the result; a finding fails the run (exit 1).
//
// Every phase (build, each sweep, each check) runs in a process of its own,
// so that each has its own peak memory. Each sweep runs --runs times
// (default 3), each time on a fresh copy, and its fastest run counts; as
// many runs without the rollback journal, paired with them, give what the
// journal costs (NAME_journal_cost_ratio) and its largest size; the
// yardstick is the fastest of as many plain copies of the built file (read,
// write, fsync; at least two). Everything runs warm:
// the file was just written and is in the operating system's cache. Prints
// `key: value` lines; progress goes to standard error.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/customer_table.h"
#include "bench/sweep_runner.h"
#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::kMb;
using bench::Since;
using jet::ColumnType;
using jet::Value;

constexpr double kNullShare = 0.2;
constexpr double kSpacedShare = 0.2;

struct Options {
  double mb = 100;
  uint16_t sort_order = jet::sort_orders::kKorean;
  std::string dir;
  bool keep = false;
  bool nulls = true;
  bool trim = true;
  int runs = 3;
};

jet::TableDescription ClientTable() {
  jet::TableDescription t;
  t.name = "거래처";
  t.columns = {
      {.name = "ID", .type = ColumnType::kLong, .required = true},
      {.name = "상호", .type = ColumnType::kText, .length = 60},
      {.name = "Code", .type = ColumnType::kText, .length = 24},
      {.name = "대표자", .type = ColumnType::kText, .length = 30},
      {.name = "주소", .type = ColumnType::kText, .length = 120},
      {.name = "전화", .type = ColumnType::kText, .length = 20},
      {.name = "메모", .type = ColumnType::kMemo},
      {.name = "등록일", .type = ColumnType::kDateTime},
      {.name = "신용한도", .type = ColumnType::kCurrency},
      {.name = "활성", .type = ColumnType::kBoolean},
  };
  t.indexes = {
      {.name = "PrimaryKey", .columns = {{"ID"}}, .primary_key = true},
      {.name = "상호", .columns = {{"상호"}}},
      {.name = "Code", .columns = {{"Code"}}, .unique = true},
      {.name = "대표자등록일", .columns = {{"대표자"}, {"등록일"}}},
  };
  return t;
}

jet::TableDescription OrderTable() {
  jet::TableDescription t;
  t.name = "주문";
  t.columns = {
      {.name = "ID", .type = ColumnType::kLong, .required = true},
      {.name = "거래처ID", .type = ColumnType::kLong},
      {.name = "주문일", .type = ColumnType::kDateTime},
      {.name = "품목", .type = ColumnType::kText, .length = 80},
      {.name = "수량", .type = ColumnType::kInteger},
      {.name = "단가", .type = ColumnType::kCurrency},
      {.name = "할인", .type = ColumnType::kSingle},
      {.name = "배송지", .type = ColumnType::kText, .length = 120},
      {.name = "비고", .type = ColumnType::kMemo},
      {.name = "완료", .type = ColumnType::kBoolean},
  };
  t.indexes = {
      {.name = "PrimaryKey", .columns = {{"ID"}}, .primary_key = true},
      {.name = "거래처ID", .columns = {{"거래처ID"}}},
      {.name = "품목주문일", .columns = {{"품목"}, {"주문일", false}}},
  };
  return t;
}

jet::TableDescription ProductTable() {
  jet::TableDescription t;
  t.name = "Products";
  t.columns = {
      {.name = "ID", .type = ColumnType::kLong, .required = true},
      {.name = "상품명", .type = ColumnType::kText, .length = 80},
      {.name = "분류", .type = ColumnType::kText, .length = 30},
      {.name = "가격", .type = ColumnType::kDouble},
      {.name = "재고", .type = ColumnType::kLong},
      {.name = "설명", .type = ColumnType::kMemo},
      {.name = "입고일", .type = ColumnType::kDateTime},
      {.name = "Barcode", .type = ColumnType::kText, .length = 20},
      {.name = "단종", .type = ColumnType::kBoolean},
      {.name = "무게", .type = ColumnType::kDouble},
  };
  t.indexes = {
      {.name = "PrimaryKey", .columns = {{"ID"}}, .primary_key = true},
      {.name = "상품명", .columns = {{"상품명"}}},
      {.name = "분류가격", .columns = {{"분류"}, {"가격"}}},
  };
  return t;
}

// Fills the rows of the three tables with a fifth Null and a fifth of the
// texts spaced.
class RowMaker {
 public:
  explicit RowMaker(uint32_t seed) : text_(seed) {}

  std::vector<Value> Client(int32_t id) {
    std::vector<Value> r(10);
    r[0] = id;
    r[1] = Text(text_.KoreanName() + " " + text_.LatinCode(3) + " 상사");
    // Unique as written; spaces at its ends do not make two alike once
    // trimmed, but the Nulls that become "" do.
    r[2] = Text("C" + std::to_string(id) + text_.LatinCode(3));
    r[3] = Text(text_.KoreanName());
    r[4] = Text(text_.Place() + " " + std::to_string(text_.Uniform(1, 999)) +
                "번지");
    r[5] = Text("0" + std::to_string(text_.Uniform(2, 64)) + "-" +
                std::to_string(text_.Uniform(100, 9999)) + "-" +
                std::to_string(text_.Uniform(1000, 9999)));
    r[6] = Text(text_.MixedWords(static_cast<size_t>(text_.Uniform(10, 400))));
    r[7] = Maybe(jet::DateTime{33000 + text_.Uniform(0, 12000) +
                               text_.Uniform(0, 86399) / 86400.0});
    r[8] = Maybe(jet::Currency{int64_t{text_.Uniform(0, 500000)} * 10000});
    r[9] = text_.Chance(0.7);
    return r;
  }

  std::vector<Value> Order(int32_t id, int32_t clients) {
    std::vector<Value> r(10);
    r[0] = id;
    r[1] = Maybe(int32_t{text_.Uniform(1, std::max(1, clients))});
    r[2] = Maybe(jet::DateTime{40000 + text_.Uniform(0, 5000) +
                               text_.Uniform(0, 86399) / 86400.0});
    r[3] = Text(text_.MixedWords(static_cast<size_t>(text_.Uniform(4, 30))));
    r[4] = Maybe(static_cast<int16_t>(text_.Uniform(1, 500)));
    r[5] = Maybe(jet::Currency{int64_t{text_.Uniform(100, 2000000)} * 100});
    r[6] = Maybe(static_cast<float>(text_.Uniform(0, 30) / 100.0));
    r[7] = Text(text_.Place() + " " + text_.MixedWords(12));
    r[8] = Text(text_.MixedWords(static_cast<size_t>(text_.Uniform(5, 200))));
    r[9] = text_.Chance(0.5);
    return r;
  }

  std::vector<Value> Product(int32_t id) {
    std::vector<Value> r(10);
    r[0] = id;
    r[1] = Text(text_.MixedWords(static_cast<size_t>(text_.Uniform(3, 25))));
    r[2] = Text(text_.MixedWords(static_cast<size_t>(text_.Uniform(2, 8))));
    r[3] = Maybe(text_.Uniform(100, 10000000) / 100.0);
    r[4] = Maybe(int32_t{text_.Uniform(0, 100000)});
    r[5] = Text(text_.MixedWords(static_cast<size_t>(text_.Uniform(30, 600))));
    r[6] = Maybe(jet::DateTime{42000 + text_.Uniform(0, 3000) + 0.0});
    r[7] = Text(text_.LatinCode(13));
    r[8] = text_.Chance(0.1);
    r[9] = Maybe(text_.Uniform(1, 50000) / 1000.0);
    return r;
  }

 private:
  Value Maybe(Value v) {
    if (text_.Chance(kNullShare)) return jet::Null{};
    return v;
  }
  Value Text(std::string s) {
    if (text_.Chance(kNullShare)) return jet::Null{};
    if (text_.Chance(kSpacedShare)) {
      switch (text_.Uniform(0, 2)) {
        case 0:
          s = std::string(text_.Uniform(1, 3), ' ') + s;
          break;
        case 1:
          s += std::string(text_.Uniform(1, 3), ' ');
          break;
        default:
          s = std::string(text_.Uniform(1, 3), ' ') + s +
              std::string(text_.Uniform(1, 3), ' ');
      }
    }
    return s;
  }

  bench::TextMaker text_;
};

int Build(const std::string& path, const Options& options) {
  const double target = options.mb * kMb;
  Clock::time_point start = Clock::now();
  jet::CreateOptions create;
  create.version = jet::JetVersion::kJet4;
  create.sort_order = options.sort_order;
  jet::CreateDatabase(path, create);
  jet::OpenOptions open;
  open.writable = true;
  std::unique_ptr<jet::Database> db = jet::Database::Open(path, open);
  std::unique_ptr<jet::Table> clients = jet::CreateTable(*db, ClientTable());
  std::unique_ptr<jet::Table> orders = jet::CreateTable(*db, OrderTable());
  std::unique_ptr<jet::Table> products = jet::CreateTable(*db, ProductTable());

  RowMaker maker(20261209);
  jet::Pager& pager = db->pager();
  size_t client_rows = 0, order_rows = 0, product_rows = 0;
  double next_report = 0.1;
  std::vector<std::vector<Value>> batch;
  // Each round: 200 clients, 500 orders, 100 products.
  while (static_cast<double>(pager.page_count()) * pager.page_size() < target) {
    batch.clear();
    for (int i = 0; i < 200; ++i) {
      batch.push_back(maker.Client(static_cast<int32_t>(client_rows + i + 1)));
    }
    client_rows += jet::InsertRows(*db, *clients, batch);
    batch.clear();
    for (int i = 0; i < 500; ++i) {
      batch.push_back(maker.Order(static_cast<int32_t>(order_rows + i + 1),
                                  static_cast<int32_t>(client_rows)));
    }
    order_rows += jet::InsertRows(*db, *orders, batch);
    batch.clear();
    for (int i = 0; i < 100; ++i) {
      batch.push_back(
          maker.Product(static_cast<int32_t>(product_rows + i + 1)));
    }
    product_rows += jet::InsertRows(*db, *products, batch);
    double fraction =
        static_cast<double>(pager.page_count()) * pager.page_size() / target;
    if (fraction >= next_report) {
      size_t rows = client_rows + order_rows + product_rows;
      std::fprintf(stderr, "build: %3.0f%% %zu rows, %.0f rows/s so far\n",
                   fraction * 100, rows, rows / Since(start));
      next_report += 0.1;
    }
  }
  clients.reset();
  orders.reset();
  products.reset();
  db->Close();
  const double seconds = Since(start);
  const size_t rows = client_rows + order_rows + product_rows;
  const double bytes = static_cast<double>(fs::file_size(path));
  std::printf("sort_order: %u\n", options.sort_order);
  std::printf("rows: %zu (clients %zu, orders %zu, products %zu)\n", rows,
              client_rows, order_rows, product_rows);
  std::printf("file_bytes: %.0f\n", bytes);
  std::printf("build_seconds: %.2f\n", seconds);
  std::printf("build_rows_per_s: %.0f\n", rows / seconds);
  std::printf("build_mb_per_s: %.2f\n", bytes / seconds / kMb);
  return 0;
}

int Usage() {
  std::fputs(
      "usage: sweep_bench [--mb N] [--sort-order 1042|1033] [--dir D] "
      "[--keep] [--only nulls|trim] [--runs N]\n",
      stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--mb" && i + 1 < argc) {
      options.mb = std::atof(argv[++i]);
      if (!(options.mb > 0)) return Usage();
    } else if (arg == "--sort-order" && i + 1 < argc) {
      options.sort_order = static_cast<uint16_t>(std::atoi(argv[++i]));
    } else if (arg == "--dir" && i + 1 < argc) {
      options.dir = argv[++i];
    } else if (arg == "--runs" && i + 1 < argc) {
      options.runs = std::atoi(argv[++i]);
      if (options.runs < 1) return Usage();
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--only" && i + 1 < argc) {
      std::string which = argv[++i];
      if (which != "nulls" && which != "trim") return Usage();
      options.nulls = which == "nulls";
      options.trim = which == "trim";
    } else {
      return Usage();
    }
  }

  const std::string folder =
      bench::MakeScratchFolder("sweep_bench", options.dir);
  const std::string source = folder + "/source.mdb";
  std::printf("folder: %s\n", folder.c_str());
  int status = 0;

  bench::PhaseResult build =
      bench::RunPhase([&] { return Build(source, options); });
  std::printf("build_peak_rss_kb: %ld\n", build.peak_rss_kb);
  if (build.exit_code != 0) {
    std::fprintf(stderr, "sweep_bench: the build failed\n");
    status = 1;
  }

  double copy_seconds = 0;
  if (status == 0) {
    const std::string scratch = folder + "/plain_copy.mdb";
    copy_seconds = bench::TimedCopy(source, scratch);
    for (int r = 1; r < std::max(2, options.runs); ++r) {
      copy_seconds = std::min(copy_seconds, bench::TimedCopy(source, scratch));
    }
    fs::remove(scratch);
    std::printf("plain_copy_seconds: %.3f\n", copy_seconds);
    std::printf(
        "plain_copy_mb_per_s: %.1f\n",
        static_cast<double>(fs::file_size(source)) / copy_seconds / kMb);
  }

  std::vector<std::string> sweeps;
  if (options.nulls) sweeps.push_back("nulls");
  if (options.trim) sweeps.push_back("trim");
  for (const std::string& name : sweeps) {
    if (status != 0) break;
    const std::string path = folder + "/" + name + ".mdb";
    // Each run on a fresh copy of the source; the fastest counts, as for
    // the copy, and the largest peak memory. Each run with the journal is
    // paired with one without it, in turns first, so that what the
    // journal costs is measured in the same moments; the last pair ends
    // with the journal, whose file is then checked.
    std::vector<double> runs, bare_runs;
    long peak_rss_kb = 0;
    double journal_peak_bytes = 0;
    for (int r = 0; r < 2 * options.runs && status == 0; ++r) {
      const int pair = r / 2;
      const bool second = r % 2 == 1;
      const bool journal =
          (options.runs - 1 - pair) % 2 == 0 ? second : !second;
      bench::CopyFileSynced(source, path);
      bench::SharedSlot seconds, journal_bytes;
      const bool report = journal && pair == options.runs - 1;
      bench::PhaseResult sweep = bench::RunPhase([&] {
        return bench::TimedSweep(name, path, report, seconds.value(), journal,
                                 &journal_bytes.value());
      });
      if (journal) {
        peak_rss_kb = std::max(peak_rss_kb, sweep.peak_rss_kb);
        journal_peak_bytes = std::max(journal_peak_bytes, journal_bytes.value());
        runs.push_back(seconds.value());
      } else {
        bare_runs.push_back(seconds.value());
      }
      if (sweep.exit_code != 0) {
        std::fprintf(stderr, "sweep_bench: %s did not complete\n",
                     name.c_str());
        status = 1;
      }
    }
    if (status != 0) break;
    const double best = *std::min_element(runs.begin(), runs.end());
    const double bare = *std::min_element(bare_runs.begin(), bare_runs.end());
    std::printf("%s_seconds_each:", name.c_str());
    for (double t : runs) std::printf(" %.2f", t);
    std::printf("\n%s_seconds: %.2f\n", name.c_str(), best);
    std::printf("%s_mb_per_s: %.2f\n", name.c_str(),
                static_cast<double>(fs::file_size(source)) / best / kMb);
    std::printf("%s_to_copy_ratio: %.1f\n", name.c_str(), best / copy_seconds);
    std::printf("%s_peak_rss_kb: %ld\n", name.c_str(), peak_rss_kb);
    std::printf("%s_without_journal_seconds_each:", name.c_str());
    for (double t : bare_runs) std::printf(" %.2f", t);
    std::printf("\n%s_without_journal_seconds: %.2f\n", name.c_str(), bare);
    std::printf("%s_journal_cost_ratio: %.2f\n", name.c_str(), best / bare);
    std::printf("%s_journal_peak_bytes: %.0f\n", name.c_str(),
                journal_peak_bytes);
    bench::PhaseResult check =
        bench::RunPhase([&] { return bench::CheckDatabaseFile(path, name + "_check"); });
    std::printf("%s_check_seconds: %.2f\n", name.c_str(), check.seconds);
    std::printf("%s_check_peak_rss_kb: %ld\n", name.c_str(), check.peak_rss_kb);
    std::printf("%s_check_result: %s\n", name.c_str(),
                check.exit_code == 0 ? "clean" : "FINDINGS");
    if (check.exit_code != 0) status = 1;
    if (!options.keep) fs::remove(path);
  }

  if (!options.keep) fs::remove_all(folder);
  return status;
}
