// Character codes of the sort orders: the Korean Hangul syllable formula
// against syllables seen in real keys, the Korean letter shift, which
// characters each sort order knows, and the column LCIDs they belong to.
#include "jet/collation/sort_order.h"

#include <gtest/gtest.h>

namespace jet {
namespace {

TEST(SortOrderTest, HangulSyllablesSeenInKoreanKeys) {
  struct Seen {
    char16_t c;
    uint16_t code;
  };
  const Seen seen[] = {
      {u'가', 0x4A03}, {u'각', 0x4A04}, {u'김', 0x4C47}, {u'꼬', 0x4D36},
      {u'나', 0x4EA8}, {u'다', 0x5104}, {u'딸', 0x535F}, {u'마', 0x5811},
      {u'바', 0x5A6B}, {u'빨', 0x5CC8}, {u'사', 0x5F22}, {u'썬', 0x61F1},
      {u'우', 0x6589}, {u'자', 0x667E}, {u'쫄', 0x69BB}, {u'차', 0x6B27},
      {u'커', 0x6DEA}, {u'타', 0x6FCB}, {u'파', 0x721E}, {u'하', 0x7471},
      {u'흰', 0x768D}, {u'힣', 0x76C0}, {u'비', 0x5C9F}, {u'누', 0x5018}};
  for (const Seen& s : seen) {
    EXPECT_EQ(KoreanHangulSyllableCode(s.c), s.code)
        << std::hex << static_cast<int>(s.c);
    SortCode code = KoreanCode(s.c);
    ASSERT_EQ(code.kind, SortCode::Kind::kSimple);
    ASSERT_EQ(code.inline_size, 2);
    EXPECT_EQ((code.inline_bytes[0] << 8) | code.inline_bytes[1], s.code);
  }
}

TEST(SortOrderTest, HangulCodesRiseWithTheCodePoint) {
  uint16_t previous = 0;
  for (char16_t c = 0xAC00; c <= 0xD7A3; ++c) {
    uint16_t code = KoreanHangulSyllableCode(c);
    EXPECT_GT(code, previous);
    EXPECT_GE(code & 0xFF, 0x02);
    previous = code;
  }
}

TEST(SortOrderTest, GeneralHangulIsKoreanShifted) {
  // ㄱ is 81 02 just before 가 = 81 03 in General.
  for (char16_t c : {u'가', u'김', u'힣'}) {
    SortCode g = GeneralLegacyCode(c);
    ASSERT_TRUE(g.known());
    EXPECT_EQ(g.inline_bytes[0], (KoreanHangulSyllableCode(c) >> 8) + 0x37);
    EXPECT_EQ(g.inline_bytes[1], KoreanHangulSyllableCode(c) & 0xFF);
  }
}

TEST(SortOrderTest, KoreanLettersAreGeneralPlus72) {
  EXPECT_EQ(KoreanCode(u'a').inline_bytes[0], 0xBC);
  EXPECT_EQ(KoreanCode(u'A').inline_bytes[0], 0xBC);
  EXPECT_EQ(KoreanCode(u'z').inline_bytes[0], 0xEA);
  EXPECT_EQ(KoreanCode(u'0').inline_bytes[0], 0x36);
  EXPECT_EQ(KoreanCode(u'_').inline_bytes[0], 0x2B);
  EXPECT_EQ(KoreanCode(u'_').inline_bytes[1], 0x03);
  EXPECT_EQ(KoreanCode(u'\x03').kind, SortCode::Kind::kUnprintable);
  EXPECT_FALSE(KoreanCode(u'é').known());
  EXPECT_FALSE(KoreanCode(u'金').known());
  EXPECT_FALSE(KoreanCode(u'ㄱ').known());
}

TEST(SortOrderTest, GeneralCodesOfLatin1) {
  SortCode a = GeneralLegacyCode(u'A');
  EXPECT_EQ(a.kind, SortCode::Kind::kSimple);
  EXPECT_EQ(a.inline_bytes[0], 0x4A);
  SortCode sharp_s = GeneralLegacyCode(u'ß');
  EXPECT_EQ(sharp_s.inline_size, 2);
  EXPECT_EQ(sharp_s.positions, 2);  // a ligature: two positions
  SortCode underscore = GeneralLegacyCode(u'_');
  EXPECT_EQ(underscore.inline_size, 2);
  EXPECT_EQ(underscore.positions, 1);  // a two-byte code: one position
  SortCode e_acute = GeneralLegacyCode(u'é');
  EXPECT_EQ(e_acute.kind, SortCode::Kind::kInternational);
  EXPECT_EQ(e_acute.inline_bytes[0], 0x51);
  EXPECT_EQ(e_acute.extra[0], 0x0E);
  EXPECT_EQ(GeneralLegacyCode(u'\'').kind, SortCode::Kind::kUnprintable);
  EXPECT_EQ(GeneralLegacyCode(u'\'').unprintable, 0x80);
  EXPECT_EQ(GeneralLegacyCode(u'·').inline_bytes[0], 0x34);
  EXPECT_EQ(GeneralLegacyCode(u'·').inline_bytes[1], 0xB1);
}

TEST(SortOrderTest, KnownCharacters) {
  // Jet 3 knows code page 1252: 256 bytes and 27 characters above U+00FF.
  EXPECT_EQ(KnownCharacterCount(SortOrder::kGeneral97), 256u + 27u);
  EXPECT_EQ(KnownCharacterCount(SortOrder::kKorean), 128u + 11172u);
  EXPECT_EQ(KnownCharacterCount(SortOrder::kChinese), 128u);
  EXPECT_EQ(KnownCharacterCount(SortOrder::kJapanese), 128u);
  // General: at least Latin-1 and the Hangul syllables.
  EXPECT_GE(KnownCharacterCount(SortOrder::kGeneralLegacy), 256u + 11172u);
  for (SortOrder order : kAllSortOrders) {
    std::printf("%s: %zu characters known\n", SortOrderName(order),
                KnownCharacterCount(order));
  }
}

TEST(SortOrderTest, ColumnLcids) {
  EXPECT_EQ(SortOrderOf(1033, 0, JetVersion::kJet4), SortOrder::kGeneralLegacy);
  EXPECT_EQ(SortOrderOf(1033, 0, JetVersion::kJet3), SortOrder::kGeneral97);
  EXPECT_EQ(SortOrderOf(1042, 0, JetVersion::kJet4), SortOrder::kKorean);
  EXPECT_EQ(SortOrderOf(2052, 0, JetVersion::kJet4), SortOrder::kChinese);
  EXPECT_EQ(SortOrderOf(1041, 0, JetVersion::kJet4), SortOrder::kJapanese);
  // Access 2010's new General order and unknown LCIDs are not known.
  EXPECT_FALSE(SortOrderOf(1033, 1, JetVersion::kJet4).has_value());
  EXPECT_FALSE(SortOrderOf(1049, 0, JetVersion::kJet4).has_value());
  EXPECT_FALSE(SortOrderOf(1042, 0, JetVersion::kJet3).has_value());
}

}  // namespace
}  // namespace jet
