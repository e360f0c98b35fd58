// RC4 and the page encryption built on it: published key streams, the
// per-page key, and a real file encrypted page by page reading exactly as
// the plain one does.
#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

#include "jet/storage/database_header.h"
#include "jet/storage/page_cipher.h"
#include "jet/storage/rc4.h"
#include "tests/jet/read_test_util.h"
#include "tests/support/corpus.h"

namespace {

std::vector<uint8_t> Bytes(const std::string& s) {
  return std::vector<uint8_t>(s.begin(), s.end());
}

std::vector<uint8_t> Rc4(const std::vector<uint8_t>& key,
                         std::vector<uint8_t> data) {
  jet::Rc4Apply(key, data);
  return data;
}

TEST(CipherTest, Rc4MatchesPublishedVectors) {
  // The classic examples of the cipher's description.
  EXPECT_EQ(Rc4(Bytes("Key"), Bytes("Plaintext")),
            (std::vector<uint8_t>{0xBB, 0xF3, 0x16, 0xE8, 0xD9, 0x40, 0xAF,
                                  0x0A, 0xD3}));
  EXPECT_EQ(Rc4(Bytes("Wiki"), Bytes("pedia")),
            (std::vector<uint8_t>{0x10, 0x21, 0xBF, 0x04, 0x20}));
  EXPECT_EQ(Rc4(Bytes("Secret"), Bytes("Attack at dawn")),
            (std::vector<uint8_t>{0x45, 0xA0, 0x1F, 0x64, 0x5F, 0xC3, 0x5B,
                                  0x38, 0x35, 0x52, 0x54, 0x4B, 0x9B, 0xF5}));
  // RFC 6229, 40-bit key 0102030405: the key stream's first 16 bytes.
  EXPECT_EQ(
      Rc4({1, 2, 3, 4, 5}, std::vector<uint8_t>(16, 0)),
      (std::vector<uint8_t>{0xB2, 0x39, 0x63, 0x05, 0xF0, 0x3D, 0xC0, 0x27,
                            0xCC, 0xC3, 0x52, 0x4A, 0x0A, 0x11, 0x18, 0xA8}));
}

TEST(CipherTest, Rc4TwiceRestoresTheInput) {
  std::vector<uint8_t> data(3000);
  for (size_t i = 0; i < data.size(); ++i)
    data[i] = static_cast<uint8_t>(i * 7);
  std::vector<uint8_t> key = {0xC7, 0xDA, 0x39, 0x6B};
  EXPECT_EQ(Rc4(key, Rc4(key, data)), data);
  EXPECT_NE(Rc4(key, data), data);
}

TEST(CipherTest, PageKeyIsDatabaseKeyXorPageNumberLittleEndian) {
  std::vector<uint8_t> page(4096, 0x5A);
  jet::PageCipher cipher(0x12345678);
  ASSERT_TRUE(cipher.enabled());
  std::vector<uint8_t> got = page;
  cipher.Apply(0x0105, got);
  // 0x12345678 ^ 0x0105 = 0x1234577D.
  EXPECT_EQ(got, Rc4({0x7D, 0x57, 0x34, 0x12}, page));
  // Another page gets another key stream.
  std::vector<uint8_t> other = page;
  cipher.Apply(0x0106, other);
  EXPECT_NE(other, got);
  cipher.Apply(0x0105, got);
  EXPECT_EQ(got, page);
}

TEST(CipherTest, PageZeroAndZeroKeyAreLeftInTheClear) {
  std::vector<uint8_t> page(2048, 0x33);
  std::vector<uint8_t> copy = page;
  jet::PageCipher(0xDEADBEEF).Apply(0, copy);
  EXPECT_EQ(copy, page);
  jet::PageCipher plain;
  EXPECT_FALSE(plain.enabled());
  plain.Apply(7, copy);
  EXPECT_EQ(copy, page);
}

// Encrypts every page but the first of `bytes` and stores the key in the
// definition page, as an encrypted database is kept.
void Encrypt(std::vector<uint8_t>& bytes, uint32_t key) {
  jet::JetVersion version =
      bytes[0x14] == 0 ? jet::JetVersion::kJet3 : jet::JetVersion::kJet4;
  size_t page_size = jet::PageSizeOf(version);
  std::span<uint8_t> first(bytes.data(), page_size);
  jet::ToggleHeaderMask(version, first);
  read_test::Put32(bytes, jet::header_layout::kDatabaseKeyOffset, key);
  jet::ToggleHeaderMask(version, first);
  jet::PageCipher cipher(key);
  for (size_t p = 1; p < bytes.size() / page_size; ++p) {
    cipher.Apply(static_cast<uint32_t>(p),
                 std::span<uint8_t>(bytes.data() + p * page_size, page_size));
  }
}

TEST(CipherTest, EncryptedCopyReadsLikeThePlainFile) {
  SKIP_WITHOUT_CORPUS();
  testing_support::TempDir dir;
  for (const char* file : {"jet4/noPasswordV2000.mdb", "jet3/testV1997.mdb",
                           "korean/members.mdb"}) {
    SCOPED_TRACE(file);
    std::filesystem::path plain = testing_support::CorpusDir() / file;
    std::vector<uint8_t> bytes = read_test::ReadBytes(plain);
    Encrypt(bytes, 0x6B39DAC7);
    std::filesystem::path encrypted = dir.path() / "encrypted.mdb";
    read_test::WriteBytes(encrypted, bytes);

    auto a = read_test::Open(plain);
    auto b = read_test::Open(encrypted);
    EXPECT_EQ(b->header().database_key, 0x6B39DAC7u);
    EXPECT_EQ(b->header().code_page, a->header().code_page);
    ASSERT_EQ(b->tables().size(), a->tables().size());
    EXPECT_EQ(read_test::ReadAllTables(*b), read_test::ReadAllTables(*a));
  }
}

}  // namespace
