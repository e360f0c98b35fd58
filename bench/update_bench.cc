// update_bench [--mb N] [--sort-order 1042|1033] [--dir D] [--keep]
//              [--no-check]
//
// How fast the engine rewrites every row of a large table compared with a
// plain copy of the same file. Three phases, each in a process of its own so
// that each has its own peak memory:
//
//   build   a new Jet 4 database of at least N MB (default 100) made with
//           CreateDatabase, CreateTable and InsertRows: one table of ten
//           columns (Long primary key, texts of Hangul and Latin, a memo, a
//           double, a date, a Yes/No, a currency) with three indexes (the
//           primary key, one over a text, one over a text and the date)
//   update  one pass over every row through jet::Table::UpdateRow: the
//           indexed text gets a space at each end (the names built have
//           none), so that its index entry moves; the double, the Yes/No
//           and the currency change too. The pass ends with Close, which
//           writes and syncs the file
//   check   the integrity checker and the index key report over the result
//           (cli::RunCheck); a finding fails the run (exit 1)
//
// Between build and update the file is copied plainly twice (read, write,
// fsync); the faster copy is the yardstick of the ratios. Everything runs
// warm: the file was just written, so it is in the operating system's cache.
// Prints `key: value` lines; progress goes to standard error.
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
#include "cli/check_command.h"
#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "jet/rows/value_codec.h"

namespace {

namespace fs = std::filesystem;
using bench::Clock;
using bench::kMb;
using bench::Since;
using enum bench::CustomerColumn;

struct Options {
  double mb = 100;
  uint16_t sort_order = jet::sort_orders::kKorean;
  std::string dir;
  bool keep = false;
  bool check = true;
};

// A space at each end added, or taken away again. Trailing spaces alone
// would not do: index keys of text leave them out, so the index would not
// change.
std::string ToggledSpaces(const std::string& s) {
  if (!s.empty() && s.front() == ' ') {
    size_t first = s.find_first_not_of(' ');
    size_t last = s.find_last_not_of(' ');
    return first == std::string::npos ? std::string()
                                      : s.substr(first, last - first + 1);
  }
  return " " + s + " ";
}

// Rewrites every row once; prints its figures against `copy_seconds`.
int UpdatePass(const std::string& path, double copy_seconds) {
  const double bytes = static_cast<double>(fs::file_size(path));
  Clock::time_point start = Clock::now();
  jet::OpenOptions open;
  open.writable = true;
  std::unique_ptr<jet::Database> db = jet::Database::Open(path, open);
  std::unique_ptr<jet::Table> table = db->OpenTable(bench::kCustomerTableName);
  const jet::TableDefinition& def = table->definition();
  const jet::ValueContext context = db->value_context();

  // The progress tenths need the row count: one scan more, inside the
  // timed pass, which costs little next to the writes.
  size_t total = 0;
  {
    jet::TableScan count = table->Scan();
    while (count.Next()) ++total;
  }
  size_t rows = 0;
  double next_report = 0.1;
  std::vector<double> tenth_rates;
  Clock::time_point tenth_start = Clock::now();
  size_t tenth_rows = 0;
  jet::TableScan scan = table->Scan();
  std::vector<jet::ColumnChange> changes(4);
  while (scan.Next()) {
    std::vector<jet::FieldBytes> fields = scan.Fields();
    auto value = [&](size_t k) {
      return jet::DecodeValue(fields[k], def.columns[k], context);
    };
    jet::Value name = value(kName);
    jet::Value score = value(kScore);
    jet::Value active = value(kActive);
    jet::Value balance = value(kBalance);
    changes[0] = {kName, ToggledSpaces(std::get<std::string>(name))};
    changes[1] = {kScore, std::get<double>(score) * 1.01 + 1};
    changes[2] = {kActive, !std::get<bool>(active)};
    changes[3] = {
        kBalance,
        jet::Currency{std::get<jet::Currency>(balance).ten_thousandths +
                      12345}};
    table->UpdateRow(scan.row_id(), changes);
    ++rows;
    ++tenth_rows;
    if (total > 0 && rows >= next_report * total) {
      double rate = tenth_rows / Since(tenth_start);
      tenth_rates.push_back(rate);
      std::fprintf(stderr, "update: %3.0f%% %zu rows, %.0f rows/s\n",
                   100.0 * rows / total, rows, rate);
      next_report += 0.1;
      tenth_start = Clock::now();
      tenth_rows = 0;
    }
  }
  Clock::time_point close_start = Clock::now();
  table.reset();
  db->Close();
  const double close_seconds = Since(close_start);
  const double seconds = Since(start);

  std::printf("update_rows: %zu\n", rows);
  std::printf("update_seconds: %.2f\n", seconds);
  std::printf("update_close_seconds: %.2f\n", close_seconds);
  std::printf("update_rows_per_s: %.0f\n", rows / seconds);
  std::printf("update_mb_per_s: %.2f\n", bytes / seconds / kMb);
  if (!tenth_rates.empty()) {
    std::printf("update_rows_per_s_first_tenth: %.0f\n", tenth_rates.front());
    std::printf("update_rows_per_s_last_tenth: %.0f\n", tenth_rates.back());
  }
  std::printf("update_to_copy_ratio: %.1f\n", seconds / copy_seconds);
  std::printf("file_bytes_after_update: %ju\n",
              static_cast<uintmax_t>(fs::file_size(path)));
  return 0;
}

int Usage() {
  std::fputs(
      "usage: update_bench [--mb N] [--sort-order 1042|1033] [--dir D] "
      "[--keep] [--no-check]\n",
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
    } else if (arg == "--keep") {
      options.keep = true;
    } else if (arg == "--no-check") {
      options.check = false;
    } else {
      return Usage();
    }
  }

  const std::string folder =
      bench::MakeScratchFolder("update_bench", options.dir);
  const std::string path = folder + "/update.mdb";
  const std::string copy = folder + "/plain_copy.mdb";
  std::printf("folder: %s\n", folder.c_str());
  int status = 0;

  bench::PhaseResult build =
      bench::RunPhase([&] {
    return bench::BuildCustomerDatabase(path, options.mb, options.sort_order);
  });
  std::printf("build_peak_rss_kb: %ld\n", build.peak_rss_kb);
  if (build.exit_code != 0) {
    std::fprintf(stderr, "update_bench: the build failed\n");
    status = 1;
  }

  if (status == 0) {
    double copy_seconds = bench::TimedCopy(path, copy);
    copy_seconds = std::min(copy_seconds, bench::TimedCopy(path, copy));
    fs::remove(copy);
    const double bytes = static_cast<double>(fs::file_size(path));
    std::printf("plain_copy_seconds: %.3f\n", copy_seconds);
    std::printf("plain_copy_mb_per_s: %.1f\n", bytes / copy_seconds / kMb);

    bench::PhaseResult update =
        bench::RunPhase([&] { return UpdatePass(path, copy_seconds); });
    std::printf("update_peak_rss_kb: %ld\n", update.peak_rss_kb);
    if (update.exit_code != 0) {
      std::fprintf(stderr, "update_bench: the update pass failed\n");
      status = 1;
    }
  }

  if (status == 0 && options.check) {
    bench::PhaseResult check = bench::RunPhase([&] { return bench::CheckDatabaseFile(path); });
    std::printf("check_seconds: %.2f\n", check.seconds);
    std::printf("check_peak_rss_kb: %ld\n", check.peak_rss_kb);
    std::printf("check_result: %s\n",
                check.exit_code == 0 ? "clean" : "FINDINGS");
    if (check.exit_code != 0) status = 1;
  }

  if (!options.keep) fs::remove_all(folder);
  return status;
}
