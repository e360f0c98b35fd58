// Damage inside the structures of a real file, made on purpose in a copy:
// loops in row pointers and definition chains, pointers into other
// tables, a header claiming the other version, and seeded changes to the
// definition and data pages of tables. Each raises jet::Error with 3049
// (or reads), never anything else.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "tests/jet/read_test_util.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CorpusDir;
using testing_support::TempDir;

constexpr size_t kPage = 4096;
// overflowTestV2000.mdb: Table1's rows are on page 27; slot 2 points at
// page 28 row 0 and slot 4 at page 31 row 0.
constexpr const char* kOverflowFile = "jet4/overflowTestV2000.mdb";

size_t SlotEntry(uint32_t page, uint32_t row) {
  return page * kPage + 0x0E + 2 * row;
}

int ErrorOf(const std::vector<uint8_t>& bytes, const TempDir& dir) {
  fs::path p = dir.path() / "damaged.mdb";
  read_test::WriteBytes(p, bytes);
  return read_test::OpenAndReadError(p);
}

TEST(StructuralDamageTest, OverflowPointerLoopIsDamage) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::vector<uint8_t> bytes =
      read_test::ReadBytes(CorpusDir() / kOverflowFile);
  ASSERT_EQ(ErrorOf(bytes, dir), 0);
  ASSERT_EQ(bytes[SlotEntry(28, 0) + 1] & 0xC0, 0x80)
      << "not the expected file";
  // The moved copy on page 28 turned into a pointer back at page 27 slot 2.
  uint16_t offset =
      (bytes[SlotEntry(28, 0)] | bytes[SlotEntry(28, 0) + 1] << 8) & 0x1FFF;
  bytes[SlotEntry(28, 0) + 1] = static_cast<uint8_t>(0x40 | offset >> 8);
  read_test::Put32(bytes, 28 * kPage + offset, 27 << 8 | 2);
  EXPECT_EQ(ErrorOf(bytes, dir), jet::kErrDamagedFile);
}

TEST(StructuralDamageTest, OverflowPointerOutsideTheTableIsDamage) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  const std::vector<uint8_t> original =
      read_test::ReadBytes(CorpusDir() / kOverflowFile);
  uint16_t offset =
      (original[SlotEntry(27, 2)] | original[SlotEntry(27, 2) + 1] << 8) &
      0x1FFF;
  // Into the catalog's definition page, past the end of the file, and to
  // a row the target page does not have.
  for (uint32_t target : {2u << 8, 5000u << 8, 28u << 8 | 9}) {
    std::vector<uint8_t> bytes = original;
    read_test::Put32(bytes, 27 * kPage + offset, target);
    EXPECT_EQ(ErrorOf(bytes, dir), jet::kErrDamagedFile) << std::hex << target;
  }
}

TEST(StructuralDamageTest, DefinitionChainLoopIsDamage) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::vector<uint8_t> bytes =
      read_test::ReadBytes(CorpusDir() / "jet4/noPasswordV2000.mdb");
  // The catalog's own definition continuing on itself.
  read_test::Put32(bytes, 2 * kPage + 4, 2);
  EXPECT_EQ(ErrorOf(bytes, dir), jet::kErrDamagedFile);
  // Continuing on a page that is no definition page.
  read_test::Put32(bytes, 2 * kPage + 4, 1);
  EXPECT_EQ(ErrorOf(bytes, dir), jet::kErrDamagedFile);
}

TEST(StructuralDamageTest, HeaderClaimingTheOtherVersionIsRefused) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  // A Jet 3 file read with 4 KB pages and a Jet 4 file read with 2 KB
  // pages: the structures land in the wrong places.
  std::vector<uint8_t> jet3 =
      read_test::ReadBytes(CorpusDir() / "jet3/testV1997.mdb");
  jet3[0x14] = 1;
  EXPECT_EQ(ErrorOf(jet3, dir), jet::kErrDamagedFile);
  // Read as Jet 3, the Jet 4 header's masked bytes give a password region
  // that is not empty, so the file may be refused for its password first.
  std::vector<uint8_t> jet4 =
      read_test::ReadBytes(CorpusDir() / "jet4/testV2000.mdb");
  jet4[0x14] = 0;
  int n = ErrorOf(jet4, dir);
  EXPECT_TRUE(n == jet::kErrDamagedFile || n == jet::kErrInvalidPassword) << n;
}

// Pages of the given types in the file, by number.
std::vector<size_t> PagesOfType(const std::vector<uint8_t>& bytes,
                                size_t page_size,
                                std::initializer_list<uint8_t> types) {
  std::vector<size_t> pages;
  for (size_t p = 1; p < bytes.size() / page_size; ++p) {
    for (uint8_t t : types) {
      if (bytes[p * page_size] == t) pages.push_back(p);
    }
  }
  return pages;
}

// Seeded changes aimed at table definition and data pages (rows, long
// values, usage maps), where a full read looks at every byte it follows.
TEST(StructuralDamageTest, SeededChangesToTablePagesRaiseOnlyJetErrors) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  std::mt19937 rng(20240611);
  int rounds = 0, damaged = 0;
  for (const char* file : {"korean/accessControlInfo.mdb", "jet3/testV1997.mdb",
                           "jet4/testV2000.mdb", "wild/northwindJet3.mdb"}) {
    SCOPED_TRACE(file);
    const std::vector<uint8_t> original =
        read_test::ReadBytes(CorpusDir() / file);
    size_t page_size = original[0x14] == 0 ? 2048 : 4096;
    std::vector<size_t> pages = PagesOfType(original, page_size, {0x01, 0x02});
    ASSERT_FALSE(pages.empty());
    for (int round = 0; round < 75; ++round, ++rounds) {
      std::vector<uint8_t> bytes = original;
      int changes = 1 + round % 6;
      for (int k = 0; k < changes; ++k) {
        size_t page = pages[rng() % pages.size()];
        // Half of the changes in the first 64 bytes: headers, counts,
        // offset tables; the rest anywhere in the page.
        size_t at = rng() % 2 ? rng() % 64 : rng() % page_size;
        bytes[page * page_size + at] ^= static_cast<uint8_t>(1 + rng() % 255);
      }
      int n = ErrorOf(bytes, dir);
      if (n != 0) {
        ++damaged;
        EXPECT_EQ(n, jet::kErrDamagedFile) << "round " << round;
      }
    }
  }
  EXPECT_EQ(rounds, 300);
  EXPECT_GT(damaged, 0) << "the changes never reached a structure";
}

}  // namespace
