// scan_bench [FILE]: reads every row of every table (system tables too) of a
// database, decoding every value, over and over, and in the same run reads
// the same file plainly as many times; prints both speeds, their ratio and
// the peak memory. Without FILE it takes the largest file of the corpus.
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/table_scan.h"
#include "jet/value_codec.h"

namespace fs = std::filesystem;

namespace {

using Clock = std::chrono::steady_clock;

std::string LargestCorpusFile() {
  fs::path dir = MDBCARE_CORPUS_DIR;
  std::string best;
  uintmax_t size = 0;
  std::error_code ec;
  if (!fs::is_directory(dir, ec)) return best;
  for (const auto& e : fs::recursive_directory_iterator(dir)) {
    if (e.path().extension() == ".mdb" && e.file_size() > size &&
        e.path().filename() != "posLibrary.mdb" &&
        e.path().filename().string().rfind("password", 0) != 0) {
      size = e.file_size();
      best = e.path().string();
    }
  }
  return best;
}

size_t ScanAll(const std::string& path, size_t& values) {
  auto db = jet::Database::Open(path);
  jet::ValueContext context = db->value_context();
  size_t rows = 0;
  for (const jet::CatalogEntry& entry : db->tables()) {
    if (!entry.is_local_table()) continue;
    jet::TableDefinition def = db->ReadTableDefinition(entry);
    jet::TableScan scan(db->pager(), db->version(), def);
    while (scan.Next()) {
      ++rows;
      std::vector<jet::FieldBytes> fields = scan.Fields();
      for (size_t k = 0; k < fields.size(); ++k) {
        jet::Value v = jet::DecodeValue(fields[k], def.columns[k], context);
        values += !jet::IsNull(v);
      }
    }
  }
  return rows;
}

size_t PlainRead(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY);
  std::vector<char> buffer(1 << 16);
  size_t total = 0;
  ssize_t n;
  while ((n = read(fd, buffer.data(), buffer.size())) > 0) total += n;
  close(fd);
  return total;
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

}  // namespace

int main(int argc, char** argv) {
  std::string path = argc > 1 ? argv[1] : LargestCorpusFile();
  if (path.empty()) {
    std::printf("scan_bench: no file given and no corpus found\n");
    return 0;
  }
  double mb = static_cast<double>(fs::file_size(path)) / (1 << 20);
  size_t values = 0;
  size_t rows = ScanAll(path, values);  // warm the file cache
  int passes = 1;
  auto t0 = Clock::now();
  while (Seconds(t0, Clock::now()) < 2.0) {
    size_t v = 0;
    ScanAll(path, v);
    ++passes;
  }
  auto t1 = Clock::now();
  for (int i = 1; i < passes; ++i) PlainRead(path);
  auto t2 = Clock::now();
  double scan_s = Seconds(t0, t1) / (passes - 1);
  double read_s = Seconds(t1, t2) / (passes - 1);
  struct rusage usage;
  getrusage(RUSAGE_SELF, &usage);
  std::printf("file: %s\n", path.c_str());
  std::printf("size_mb: %.2f\n", mb);
  std::printf("rows_per_pass: %zu\n", rows);
  std::printf("values_per_pass: %zu\n", values);
  std::printf("passes: %d\n", passes - 1);
  std::printf("scan_mb_per_s: %.1f\n", mb / scan_s);
  std::printf("plain_read_mb_per_s: %.1f\n", mb / read_s);
  std::printf("scan_time_vs_plain_read: %.1fx\n", scan_s / read_s);
  std::printf("peak_rss_mb: %.1f\n", usage.ru_maxrss / 1024.0);
  return 0;
}
