// scan_bench [FILE] [--password PW] [--seconds S]
//
// How fast the engine reads a whole database compared with reading the same
// file plainly. One pass opens FILE, reads the catalog and every table's
// definition, and scans every row of every local table (system tables
// included), decoding every value, memo and OLE values included. The passes
// are repeated for about S seconds (default 2.5); then the file is read as
// many times with read() into one buffer. Both run warm: the first pass
// brings the file into the operating system's cache, and caches cannot be
// dropped without root. Prints `key: value` lines.
//
// Without FILE the largest .mdb file under the corpus folder is used
// (MDBCARE_CORPUS_DIR at build time, or the MDBCARE_CORPUS_DIR environment
// variable). Without --password the passwords of the corpus files are tried.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"

#ifndef MDBCARE_CORPUS_DIR
#define MDBCARE_CORPUS_DIR ""
#endif

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

// Tried in order when no password is given: none, the maintenance
// program's own, and those of the corpus files that have one.
constexpr const char* kConnects[] = {"", ";pwd=7316", ";pwd=password",
                                     ";pwd=Library"};

struct Options {
  std::string path;
  std::string connect;
  bool connect_given = false;
  double seconds = 2.5;
};

struct PassCounts {
  size_t tables = 0;  // local tables scanned
  size_t rows = 0;
  size_t values = 0;  // values decoded, Null included
  size_t non_null = 0;
  double open_seconds = 0;  // in Database::Open: header and catalog
};

double Since(Clock::time_point start) {
  return std::chrono::duration<double>(Clock::now() - start).count();
}

// The largest .mdb file under `dir`, or "" when there is none.
std::string LargestFileUnder(const fs::path& dir) {
  std::error_code ec;
  if (dir.empty() || !fs::is_directory(dir, ec)) return {};
  std::string best;
  uintmax_t best_size = 0;
  for (auto it = fs::recursive_directory_iterator(dir, ec);
       !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
    if (!it->is_regular_file(ec) || it->path().extension() != ".mdb") {
      continue;
    }
    uintmax_t size = it->file_size(ec);
    // Ties go to the first path in name order, so that the choice does not
    // depend on the order the folder lists its files in.
    if (!ec && (size > best_size ||
                (size == best_size && it->path().string() < best))) {
      best_size = size;
      best = it->path().string();
    }
  }
  return best;
}

// The connect string FILE opens with: the one given, or the first of
// kConnects the database accepts.
std::string FindConnect(const Options& options) {
  if (options.connect_given) return options.connect;
  for (const char* connect : kConnects) {
    try {
      jet::OpenOptions open;
      open.connect = connect;
      jet::Database::Open(options.path, open);
      return connect;
    } catch (const jet::Error& e) {
      if (e.number() != jet::kErrInvalidPassword) throw;
    }
  }
  throw jet::Error(jet::kErrInvalidPassword,
                   "암호를 모릅니다: --password 로 알려 주십시오.");
}

// One pass over the whole database.
PassCounts ScanPass(const std::string& path, const std::string& connect) {
  jet::OpenOptions open;
  open.connect = connect;
  PassCounts counts;
  Clock::time_point start = Clock::now();
  std::unique_ptr<jet::Database> db = jet::Database::Open(path, open);
  counts.open_seconds = Since(start);
  jet::ValueContext context = db->value_context();
  for (const jet::CatalogEntry& entry : db->tables()) {
    if (!entry.is_local_table()) continue;  // its rows are in another file
    jet::TableDefinition def = db->ReadTableDefinition(entry);
    ++counts.tables;
    jet::TableScan scan(db->pager(), db->version(), def);
    while (scan.Next()) {
      ++counts.rows;
      std::vector<jet::FieldBytes> fields = scan.Fields();
      for (size_t k = 0; k < def.columns.size(); ++k) {
        jet::Value v = jet::DecodeValue(fields[k], def.columns[k], context);
        ++counts.values;
        counts.non_null += !jet::IsNull(v);
      }
    }
  }
  return counts;
}

// Reads the whole file into `buffer` with read(); returns the bytes read.
size_t PlainRead(const std::string& path, std::vector<char>& buffer) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    std::perror(path.c_str());
    std::exit(1);
  }
  size_t total = 0;
  while (true) {
    if (total == buffer.size()) buffer.resize(buffer.size() * 2 + 4096);
    ssize_t n = read(fd, buffer.data() + total, buffer.size() - total);
    if (n < 0) {
      std::perror(path.c_str());
      std::exit(1);
    }
    if (n == 0) break;
    total += static_cast<size_t>(n);
  }
  close(fd);
  return total;
}

int Usage() {
  std::fputs("usage: scan_bench [FILE] [--password PW] [--seconds S]\n",
             stderr);
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  Options options;
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    if (arg == "--password" && i + 1 < argc) {
      options.connect = std::string(";pwd=") + argv[++i];
      options.connect_given = true;
    } else if (arg == "--seconds" && i + 1 < argc) {
      options.seconds = std::atof(argv[++i]);
      if (!(options.seconds > 0)) return Usage();
    } else if (arg.rfind("--", 0) == 0 || !options.path.empty()) {
      return Usage();
    } else {
      options.path = arg;
    }
  }
  if (options.path.empty()) {
    const char* env = std::getenv("MDBCARE_CORPUS_DIR");
    fs::path corpus = env && *env ? env : MDBCARE_CORPUS_DIR;
    options.path = LargestFileUnder(corpus);
    if (options.path.empty()) {
      std::fprintf(stderr,
                   "scan_bench: no FILE given and no .mdb file under '%s'\n",
                   corpus.string().c_str());
      return 2;
    }
  }

  try {
    std::string connect = FindConnect(options);
    const double size = static_cast<double>(fs::file_size(options.path));

    // The first pass warms the file cache and gives the counts; it is not
    // timed. Then passes run until the time asked for is used up (three at
    // least), and the plain reads repeat as many times.
    PassCounts counts = ScanPass(options.path, connect);
    int passes = 0;
    Clock::time_point start = Clock::now();
    double scan_seconds = 0;
    double open_seconds = 0;
    while (passes < 3 || scan_seconds < options.seconds) {
      open_seconds += ScanPass(options.path, connect).open_seconds;
      ++passes;
      scan_seconds = Since(start);
    }

    std::vector<char> buffer(static_cast<size_t>(size) + 1);
    size_t read_bytes = 0;
    PlainRead(options.path, buffer);  // warm, as the scan was
    start = Clock::now();
    for (int i = 0; i < passes; ++i) {
      read_bytes += PlainRead(options.path, buffer);
    }
    double read_seconds = Since(start);
    if (read_bytes != static_cast<size_t>(size) * passes) {
      std::fprintf(stderr, "scan_bench: the file changed during the run\n");
      return 1;
    }

    const double mb = 1e6;
    double scan_rate = size * passes / scan_seconds / mb;
    double read_rate = size * passes / read_seconds / mb;
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);

    std::printf("file: %s\n", options.path.c_str());
    std::printf("file_bytes: %.0f\n", size);
    std::printf("tables_per_pass: %zu\n", counts.tables);
    std::printf("rows_per_pass: %zu\n", counts.rows);
    std::printf("values_per_pass: %zu\n", counts.values);
    std::printf("non_null_values_per_pass: %zu\n", counts.non_null);
    std::printf("passes: %d\n", passes);
    std::printf("scan_ms_per_pass: %.2f\n", scan_seconds / passes * 1e3);
    std::printf("open_ms_per_pass: %.2f\n", open_seconds / passes * 1e3);
    std::printf("scan_rows_per_s: %.0f\n", counts.rows * passes / scan_seconds);
    std::printf("scan_values_per_s: %.0f\n",
                counts.values * passes / scan_seconds);
    std::printf("scan_mb_per_s: %.1f\n", scan_rate);
    std::printf("plain_read_mb_per_s: %.1f\n", read_rate);
    std::printf("plain_read_to_scan_ratio: %.1f\n", read_rate / scan_rate);
    std::printf("peak_rss_kb: %ld\n", usage.ru_maxrss);
  } catch (const jet::Error& e) {
    std::fprintf(stderr, "scan_bench: %s: %s (%d)\n", options.path.c_str(),
                 e.description(), e.number());
    return 1;
  }
  return 0;
}
