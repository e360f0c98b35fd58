// Opens fuzzer input as a database and reads everything the read side can
// reach: the catalog, every local table's definition, every row of every
// table (system tables included) and every value, memo and OLE values
// included. Then compacts it, salvaging what a damaged input holds, and
// checks the copy. A jet::Error is the expected outcome for a damaged file
// (the compaction may refuse one whose header or catalog definition is
// gone); a crash, a sanitizer report, an escaping exception of another
// type, a hang, a huge allocation, or a compacted copy the checker finds
// fault with is a finding.
//
// The engine opens files by path, so the input is written to an anonymous
// in-memory file (memfd) and opened as /proc/self/fd/N. The same memfd is
// reused for every input: no disk traffic and nothing left behind.
#include <sys/mman.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/check/checker.h"
#include "jet/database/compact.h"
#include "jet/database/database.h"
#include "jet/rows/table_scan.h"

namespace {

// Tried in order until one opens: none, the maintenance program's own
// password, and the passwords of the corpus files that have one, so that
// the seeds with a password are read past their header too.
constexpr const char* kConnects[] = {"", ";pwd=7316", ";pwd=password",
                                     ";pwd=Library"};

// The in-memory file the inputs are written to, made at the first input.
class InputFile {
 public:
  InputFile() {
    fd_ = memfd_create("mdbcare-fuzz-input", 0);
    if (fd_ < 0) {
      std::perror("memfd_create");
      std::abort();
    }
    path_ = "/proc/self/fd/" + std::to_string(fd_);
  }

  // Replaces the file's contents with `data`.
  void Write(const uint8_t* data, size_t size) {
    if (ftruncate(fd_, 0) != 0) Fail("ftruncate");
    size_t done = 0;
    while (done < size) {
      ssize_t n = pwrite(fd_, data + done, size - done, done);
      if (n <= 0) Fail("pwrite");
      done += static_cast<size_t>(n);
    }
  }

  const std::string& path() const { return path_; }

 private:
  [[noreturn]] static void Fail(const char* what) {
    std::perror(what);
    std::abort();
  }

  int fd_ = -1;
  std::string path_;
};

// Reads every row and value of one table. A damaged table stops only
// itself, so that the tables after it are still read.
void ReadTable(jet::Database& db, const jet::CatalogEntry& entry) {
  try {
    jet::TableDefinition def = db.ReadTableDefinition(entry);
    jet::ValueContext context = db.value_context();
    jet::TableScan scan(db.pager(), db.version(), def);
    while (scan.Next()) {
      std::vector<jet::FieldBytes> fields = scan.Fields();
      size_t n = std::min(fields.size(), def.columns.size());
      for (size_t k = 0; k < n; ++k) {
        try {
          jet::Value v = jet::DecodeValue(fields[k], def.columns[k], context);
          (void)v;
        } catch (const jet::Error&) {
          // A damaged value (a broken memo chain, say) spoils only itself.
        }
      }
    }
  } catch (const jet::Error&) {
  }
}

// Opens the input with each password until one is accepted, then reads it
// all. Returns after the first open that is not refused for its password.
void ReadDatabase(const std::string& path) {
  for (const char* connect : kConnects) {
    std::unique_ptr<jet::Database> db;
    try {
      jet::OpenOptions options;
      options.connect = connect;
      db = jet::Database::Open(path, options);
    } catch (const jet::Error& e) {
      if (e.number() == jet::kErrInvalidPassword) continue;
      return;
    }
    for (const jet::CatalogEntry& entry : db->tables()) {
      if (entry.is_local_table()) {
        ReadTable(*db, entry);
      } else {
        // Linked tables have no definition here; the call must say so with
        // an error rather than read anything.
        try {
          db->ReadTableDefinition(entry);
        } catch (const jet::Error&) {
        }
      }
    }
    return;
  }
}

// Compacts the input into `copy` (a file name in a folder of its own) with
// each password until one is accepted; a copy made must check clean.
void CompactDatabase(const std::string& path, const std::string& copy) {
  for (const char* connect : kConnects) {
    std::remove(copy.c_str());
    try {
      jet::CompactDatabase(path, copy, connect);
    } catch (const jet::Error& e) {
      if (e.number() == jet::kErrInvalidPassword) continue;
      return;
    }
    jet::OpenOptions options;
    options.connect = connect;
    std::unique_ptr<jet::Database> db = jet::Database::Open(copy, options);
    const std::vector<jet::Finding> findings = jet::CheckDatabase(*db);
    if (!findings.empty()) {
      std::fprintf(stderr, "the compacted copy has %zu findings; first: %s\n",
                   findings.size(), jet::FormatFinding(findings[0]).c_str());
      std::abort();
    }
    return;
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static InputFile* input = new InputFile();
  static const std::string copy = [] {
    char folder[] = "/tmp/mdbcare-fuzz-XXXXXX";
    if (!mkdtemp(folder)) std::abort();
    return std::string(folder) + "/copy.mdb";
  }();
  input->Write(data, size);
  ReadDatabase(input->path());
  CompactDatabase(input->path(), copy);
  return 0;
}
