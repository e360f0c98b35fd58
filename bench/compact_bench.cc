// compact_bench [--mb N] [--dir D] [--keep]
//
// How fast the engine compacts a large database with a third of its rows
// deleted, next to a plain copy of the same file. Phases, each in a process
// of its own so that each has its own peak memory:
//
//   build    a Jet 4 database (Korean sort order) of at least N MB (default
//            100): the customer table of customer_table.h
//   delete   every third row deleted through jet::Table::DeleteRow
//   compact  jet::CompactDatabase into a new file
//   check    the integrity checker and index key report over the result;
//            a finding, or a row count other than the source's, fails the
//            run (exit 1)
//
// The compaction runs three times, each after a plain copy of the source
// (read, write, fsync); the fastest compaction is compared with the fastest
// copy, since the shared machine's speed wanders from second to second.
// Prints `key: value` lines.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/customer_table.h"
#include "jet/database/compact.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"

namespace {

constexpr int kRuns = 3;

namespace fs = std::filesystem;
using bench::Clock;
using bench::kMb;
using bench::Since;

// Deletes every third row; prints how many rows remain.
int DeleteThird(const std::string& path) {
  Clock::time_point start = Clock::now();
  jet::OpenOptions open;
  open.writable = true;
  auto db = jet::Database::Open(path, open);
  auto table = db->OpenTable(bench::kCustomerTableName);
  std::vector<jet::RowPointer> ids;
  for (jet::TableScan scan = table->Scan(); scan.Next();) {
    ids.push_back(scan.row_id());
  }
  size_t deleted = 0;
  for (size_t i = 0; i < ids.size(); i += 3) {
    table->DeleteRow(ids[i]);
    ++deleted;
  }
  db->Close();
  const double seconds = Since(start);
  std::printf("deleted_rows: %zu\n", deleted);
  std::printf("remaining_rows: %zu\n", ids.size() - deleted);
  std::printf("delete_seconds: %.2f\n", seconds);
  std::printf("delete_rows_per_s: %.0f\n", deleted / seconds);
  return 0;
}

uint64_t CountRows(const std::string& path) {
  auto db = jet::Database::Open(path);
  auto table = db->OpenTable(bench::kCustomerTableName);
  uint64_t rows = 0;
  for (jet::TableScan scan = table->Scan(); scan.Next();) ++rows;
  return rows;
}

int Usage() {
  std::fputs("usage: compact_bench [--mb N] [--dir D] [--keep]\n", stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  double mb = 100;
  std::string dir;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--mb" && i + 1 < argc) {
      mb = std::atof(argv[++i]);
      if (!(mb > 0)) return Usage();
    } else if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--keep") {
      keep = true;
    } else {
      return Usage();
    }
  }
  const std::string folder = bench::MakeScratchFolder("compact_bench", dir);
  const std::string path = folder + "/source.mdb";
  const std::string copy = folder + "/plain_copy.mdb";
  const std::string compacted = folder + "/compacted.mdb";
  std::printf("folder: %s\n", folder.c_str());
  int status = 0;
  auto phase = [&](const char* name, const std::function<int()>& f) {
    if (status != 0) return bench::PhaseResult{};
    bench::PhaseResult r = bench::RunPhase(f);
    std::printf("%s_peak_rss_kb: %ld\n", name, r.peak_rss_kb);
    if (r.exit_code != 0) {
      std::fprintf(stderr, "compact_bench: %s failed\n", name);
      status = 1;
    }
    return r;
  };

  phase("build", [&] {
    return bench::BuildCustomerDatabase(path, mb, jet::sort_orders::kKorean);
  });
  phase("delete", [&] { return DeleteThird(path); });
  if (status == 0) {
    // The machine is shared and its speed wanders: plain copies and
    // compactions take turns, and the fastest of each is compared.
    double copy_seconds = 1e9;
    double compact_seconds = 1e9;
    std::string all;
    for (int run = 0; run < kRuns && status == 0; ++run) {
      copy_seconds = std::min(copy_seconds, bench::TimedCopy(path, copy));
      fs::remove(copy);
      fs::remove(compacted);
      bench::PhaseResult r = phase("compact", [&] {
        jet::CompactDatabase(path, compacted, "");
        return 0;
      });
      compact_seconds = std::min(compact_seconds, r.seconds);
      char buf[32];
      std::snprintf(buf, sizeof buf, "%s%.3f", run ? " " : "", r.seconds);
      all += buf;
    }
    const double before = static_cast<double>(fs::file_size(path));
    std::printf("plain_copy_seconds: %.3f\n", copy_seconds);
    if (status == 0) {
      const double after = static_cast<double>(fs::file_size(compacted));
      std::printf("compact_seconds_each_run: %s\n", all.c_str());
      std::printf("compact_seconds: %.3f\n", compact_seconds);
      std::printf("compact_to_copy_ratio: %.2f\n",
                  compact_seconds / copy_seconds);
      std::printf("size_before_bytes: %.0f\n", before);
      std::printf("size_after_bytes: %.0f\n", after);
      std::printf("size_ratio: %.3f\n", after / before);
      std::printf("compact_mb_per_s: %.1f\n", before / compact_seconds / kMb);
    }
  }
  phase("check", [&] {
    int s = bench::CheckDatabaseFile(compacted);
    const uint64_t a = CountRows(path), b = CountRows(compacted);
    std::printf("rows_source: %llu\nrows_compacted: %llu\n",
                static_cast<unsigned long long>(a),
                static_cast<unsigned long long>(b));
    return s != 0 || a != b ? 1 : 0;
  });
  if (!keep) fs::remove_all(folder);
  return status;
}
