// Files that are not databases, or damaged ones, raise jet::Error with the
// right number and never crash, hang or read out of bounds: missing files,
// folders, empty and short files, random bytes, truncated copies, later
// formats, garbage over the catalog, and seeded byte flips all through a
// real file read to its last value.
#include <gtest/gtest.h>

#include <fstream>
#include <random>

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

std::vector<uint8_t> ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void WriteFile(const fs::path& p, const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()), bytes.size());
}

// Opens and reads every value; returns the error number, 0 for none.
int OpenAndReadAll(const fs::path& p, const std::string& connect = "") {
  try {
    jet::OpenOptions options;
    options.connect = connect;
    auto db = jet::Database::Open(p.string(), options);
    jet::ValueContext context = db->value_context();
    for (const auto& entry : db->tables()) {
      if (!entry.is_local_table()) continue;
      jet::TableDefinition def = db->ReadTableDefinition(entry);
      jet::TableScan scan(db->pager(), db->version(), def);
      while (scan.Next()) {
        auto fields = scan.Fields();
        for (size_t k = 0; k < fields.size(); ++k) {
          jet::DecodeValue(fields[k], def.columns[k], context);
        }
      }
    }
    return 0;
  } catch (const jet::Error& e) {
    EXPECT_FALSE(std::string(e.description()).empty());
    return e.number();
  }
}

TEST(DamagedInputTest, NotADatabase) {
  TempDir dir;
  EXPECT_EQ(OpenAndReadAll(dir.path() / "missing.mdb"), jet::kErrFileNotFound);
  EXPECT_EQ(OpenAndReadAll(dir.path()), jet::kErrCannotOpenFile);
  WriteFile(dir.path() / "empty.mdb", {});
  EXPECT_EQ(OpenAndReadAll(dir.path() / "empty.mdb"), jet::kErrUnrecognizedFormat);
  WriteFile(dir.path() / "short.mdb", std::vector<uint8_t>(100, 0));
  EXPECT_EQ(OpenAndReadAll(dir.path() / "short.mdb"), jet::kErrUnrecognizedFormat);
  std::mt19937 rng(1);
  std::vector<uint8_t> noise(64 * 1024);
  for (auto& b : noise) b = static_cast<uint8_t>(rng());
  WriteFile(dir.path() / "noise.mdb", noise);
  EXPECT_EQ(OpenAndReadAll(dir.path() / "noise.mdb"), jet::kErrUnrecognizedFormat);
}

TEST(DamagedInputTest, LaterFormatIsRefusedByName) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::vector<uint8_t> bytes = ReadFile(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  bytes[0x14] = 2;
  WriteFile(dir.path() / "ace.mdb", bytes);
  try {
    jet::Database::Open((dir.path() / "ace.mdb").string());
    FAIL() << "expected 3343";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrUnrecognizedFormat);
    EXPECT_NE(std::string(e.description()).find("Access 2007"), std::string::npos);
  }
}

TEST(DamagedInputTest, TruncatedCopies) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  for (const char* file : {"jet4/testV2000.mdb", "jet3/testV1997.mdb"}) {
    std::vector<uint8_t> bytes = ReadFile(testing_support::CorpusDir() / file);
    size_t page = bytes[0x14] == 0 ? 2048 : 4096;
    for (size_t keep : {page, 2 * page, 3 * page, bytes.size() / 2}) {
      std::vector<uint8_t> cut(bytes.begin(), bytes.begin() + keep);
      WriteFile(dir.path() / "cut.mdb", cut);
      int n = OpenAndReadAll(dir.path() / "cut.mdb");
      EXPECT_EQ(n, jet::kErrDamagedFile) << file << " cut to " << keep;
    }
    // A partial last page is left out; what the other pages hold still
    // reads when nothing lived on it.
    std::vector<uint8_t> cut(bytes.begin(), bytes.end() - 1);
    WriteFile(dir.path() / "cut.mdb", cut);
    int n = OpenAndReadAll(dir.path() / "cut.mdb");
    EXPECT_TRUE(n == 0 || n == jet::kErrDamagedFile) << file;
  }
}

TEST(DamagedInputTest, GarbageOverTheCatalogDefinition) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::vector<uint8_t> bytes = ReadFile(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  std::mt19937 rng(2);
  for (size_t i = 2 * 4096; i < 3 * 4096; ++i) bytes[i] = static_cast<uint8_t>(rng());
  WriteFile(dir.path() / "garbage.mdb", bytes);
  EXPECT_EQ(OpenAndReadAll(dir.path() / "garbage.mdb"), jet::kErrDamagedFile);
}

// Hundreds of files with a few random bytes changed: each either reads to
// its end or raises a jet::Error, nothing else (the sanitizer build checks
// the reads stay in bounds).
TEST(DamagedInputTest, SeededByteFlipsNeverCrash) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::mt19937 rng(3);
  int errors = 0, clean = 0;
  for (const char* file : {"jet4/testV2000.mdb", "jet3/testV1997.mdb",
                           "korean/phoneServerCustomers.mdb", "jet4/overflowTestV2000.mdb"}) {
    std::vector<uint8_t> original = ReadFile(testing_support::CorpusDir() / file);
    for (int round = 0; round < 60; ++round) {
      std::vector<uint8_t> bytes = original;
      // Flips inside the first pages, where the structures are.
      size_t span = std::min<size_t>(bytes.size(), 16 * 4096);
      for (int k = 0; k < 1 + round % 8; ++k) {
        bytes[rng() % span] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      WriteFile(dir.path() / "flip.mdb", bytes);
      int n = OpenAndReadAll(dir.path() / "flip.mdb");
      (n == 0 ? clean : errors)++;
    }
  }
  EXPECT_GT(errors + clean, 0);
}

TEST(DamagedInputTest, PasswordFilesNeedTheirPassword) {
  SKIP_WITHOUT_CORPUS();
  fs::path file = testing_support::CorpusDir() / "jet4/passwordV2000.mdb";
  EXPECT_EQ(OpenAndReadAll(file, ";pwd=password"), 0);
  EXPECT_EQ(OpenAndReadAll(file, ";pwd=Password"), jet::kErrInvalidPassword);
  EXPECT_EQ(OpenAndReadAll(file, ""), jet::kErrInvalidPassword);
  EXPECT_EQ(OpenAndReadAll(testing_support::CorpusDir() / "korean/posLibrary.mdb", ";PWD=Library"), 0);
  // A file without a password opens with any connect string.
  EXPECT_EQ(OpenAndReadAll(testing_support::CorpusDir() / "jet4/testV2000.mdb", ";pwd=7316"), 0);
}

}  // namespace
