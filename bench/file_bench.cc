// file_bench FILE [--runs N] [--dir D] [--keep]
//
// The window's three buttons on a database written elsewhere (by Access, by
// Jackcess: ../shared/bench/jackcess-100mb.mdb.xz unpacked), next to a
// plain copy of the same file. FILE is copied into a scratch folder first
// and never changed. Then, each in a process of its own so that each has
// its own peak memory, and each --runs times (default 3) on a fresh copy,
// the fastest run counting:
//
//   nulls    RemoveNullValues (maintenance/null_values.h)
//   trim     TrimSpaces (maintenance/trim_spaces.h)
//   compact  jet::CompactDatabase into a new file
//
// After each, the integrity checker and the index key report read the
// result; a finding, or an operation that did not complete, fails the run
// (exit 1). The yardstick is the fastest of as many plain copies (read,
// write, fsync). Prints `key: value` lines.
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "bench/customer_table.h"
#include "bench/sweep_runner.h"
#include "jet/database/compact.h"

namespace {

namespace fs = std::filesystem;
using bench::kMb;

int Usage() {
  std::fputs("usage: file_bench FILE [--runs N] [--dir D] [--keep]\n",
             stderr);
  return 2;
}

// Runs `operation` on `path` (a fresh copy of `source` each time; for the
// compaction, `path` is the compacted copy made from `source`) --runs
// times; prints its figures and checks the last result.
int Measure(const std::string& name, const std::string& source,
            const std::string& path, int runs, double copy_seconds) {
  std::vector<double> seconds_each;
  long peak_rss_kb = 0;
  for (int r = 0; r < runs; ++r) {
    bench::SharedSlot seconds;
    bench::PhaseResult phase;
    if (name == "compact") {
      fs::remove(path);
      phase = bench::RunPhase([&] {
        jet::CompactDatabase(source, path, "");
        return 0;
      });
      seconds.value() = phase.seconds;
    } else {
      bench::CopyFileSynced(source, path);
      const bool report = r + 1 == runs;
      phase = bench::RunPhase([&] {
        return bench::TimedSweep(name, path, report, seconds.value());
      });
    }
    peak_rss_kb = std::max(peak_rss_kb, phase.peak_rss_kb);
    seconds_each.push_back(seconds.value());
    if (phase.exit_code != 0) {
      std::fprintf(stderr, "file_bench: %s did not complete\n", name.c_str());
      return 1;
    }
  }
  const double best = *std::min_element(seconds_each.begin(), seconds_each.end());
  std::printf("%s_seconds_each:", name.c_str());
  for (double t : seconds_each) std::printf(" %.2f", t);
  std::printf("\n%s_seconds: %.2f\n", name.c_str(), best);
  std::printf("%s_to_copy_ratio: %.1f\n", name.c_str(), best / copy_seconds);
  std::printf("%s_peak_rss_kb: %ld\n", name.c_str(), peak_rss_kb);
  std::printf("%s_file_bytes: %ju\n", name.c_str(),
              static_cast<uintmax_t>(fs::file_size(path)));
  bench::PhaseResult check = bench::RunPhase(
      [&] { return bench::CheckDatabaseFile(path, name + "_check"); });
  std::printf("%s_check_result: %s\n", name.c_str(),
              check.exit_code == 0 ? "clean" : "FINDINGS");
  return check.exit_code == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  std::string file, dir;
  int runs = 3;
  bool keep = false;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--runs" && i + 1 < argc) {
      runs = std::atoi(argv[++i]);
      if (runs < 1) return Usage();
    } else if (arg == "--dir" && i + 1 < argc) {
      dir = argv[++i];
    } else if (arg == "--keep") {
      keep = true;
    } else if (file.empty() && arg.rfind("--", 0) != 0) {
      file = arg;
    } else {
      return Usage();
    }
  }
  if (file.empty() || !fs::is_regular_file(file)) return Usage();

  const std::string folder = bench::MakeScratchFolder("file_bench", dir);
  const std::string source = folder + "/source.mdb";
  bench::CopyFileSynced(file, source);
  std::printf("file: %s\n", file.c_str());
  std::printf("file_bytes: %ju\n",
              static_cast<uintmax_t>(fs::file_size(source)));

  const std::string scratch = folder + "/plain_copy.mdb";
  double copy_seconds = bench::TimedCopy(source, scratch);
  for (int r = 1; r < std::max(2, runs); ++r) {
    copy_seconds = std::min(copy_seconds, bench::TimedCopy(source, scratch));
  }
  fs::remove(scratch);
  std::printf("plain_copy_seconds: %.3f\n", copy_seconds);
  std::printf("plain_copy_mb_per_s: %.1f\n",
              static_cast<double>(fs::file_size(source)) / copy_seconds / kMb);

  int status = 0;
  for (const char* name : {"nulls", "trim", "compact"}) {
    const std::string path = folder + "/" + name + ".mdb";
    status |= Measure(name, source, path, runs, copy_seconds);
    if (!keep) fs::remove(path);
  }
  if (!keep) fs::remove_all(folder);
  return status;
}
