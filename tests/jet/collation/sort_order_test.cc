// Character codes of the sort orders: the Korean Hangul syllable formula
// and the Korean codes against those seen in real keys, the Korean tables
// against the General one they are made from, which characters each sort
// order knows, and the column LCIDs they belong to.
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

uint32_t Inline(const SortCode& code) {
  uint32_t v = 0;
  for (uint8_t i = 0; i < code.inline_size; ++i) {
    v = (v << 8) | code.inline_bytes[i];
  }
  return v;
}

// Korean codes Access wrote (inline code, extra byte or 0), Hanja included.
TEST(SortOrderTest, KoreanCodesSeenInKeys) {
  struct Seen {
    char16_t c;
    uint32_t code;
    uint8_t extra;
  };
  const Seen seen[] = {
      {u'a', 0xBC, 0},       {u'A', 0xBC, 0},           {u'z', 0xEA, 0},
      {u'0', 0x36, 0},       {u'_', 0x2B03, 0},         {u'ㄱ', 0x4A02, 0},
      {u'ㄻ', 0x57FE, 0},    {u'ㅎ', 0x7470, 0},        {u'ㅏ', 0x63D6, 0},
      {u'ㅣ', 0x63EA, 0},    {u'㉮', 0x4A03, 0x0C},     {u'㉻', 0x7471, 0x0C},
      {u'ⓩ', 0xEA, 0xEE},    {u'⒳', 0xE7, 0xF3},        {u'⑥', 0x42, 0xEE},
      {u'★', 0x34D9, 0},     {u'い', 0xF103, 0},        {u'グ', 0xF10C, 0x03},
      {u'ン', 0xF180, 0},    {u'一', 0x6657, 0x41},     {u'亡', 0x5826, 0x41},
      {u'望', 0x5826, 0x49}, {u'\uF967', 0x5BE1, 0x41},  // 不, read 불
      {u'凸', 0x6B9F, 0x41}, {u'刀', 0x51E4, 0x43},     {u'品', 0x739C, 0x41},
      {u'夜', 0x6453, 0x47}, {u'野', 0x6453, 0x57},     {u'性', 0x5FA7, 0x47},
      {u'昌', 0x6B3C, 0x53}, {u'晶', 0x6705, 0x65},     {u'會', 0x75A7, 0x51},
      {u'進', 0x68B6, 0x7D}};
  for (const Seen& s : seen) {
    SortCode code = KoreanCode(s.c);
    EXPECT_EQ(Inline(code), s.code) << std::hex << static_cast<int>(s.c);
    EXPECT_EQ(code.extra_size > 0 ? code.extra[0] : 0, s.extra)
        << std::hex << static_cast<int>(s.c);
  }
  EXPECT_EQ(KoreanCode(u'\x03').kind, SortCode::Kind::kUnprintable);
  // A CJK ideograph outside KS X 1001 has no known Korean code.
  EXPECT_FALSE(KoreanCode(u'们').known());
}

// Every Korean code but a Hanja's is the General one with the first byte of
// each weight moved (4A..80 up by 72, 81..F2 down by 37); sections as they
// are. Checked where the weights are all one byte or all two bytes long.
TEST(SortOrderTest, KoreanIsGeneralWithWeightsMoved) {
  auto moved = [](uint8_t b) -> uint8_t {
    if (b >= 0x4A && b <= 0x80) return static_cast<uint8_t>(b + 0x72);
    if (b >= 0x81 && b <= 0xF2) return static_cast<uint8_t>(b - 0x37);
    return b;
  };
  size_t checked = 0;
  for (uint32_t u = 0; u < 0x10000; ++u) {
    const char16_t c = static_cast<char16_t>(u);
    const bool han = (u >= 0x3400 && u <= 0x4DBF) ||
                     (u >= 0x4E00 && u <= 0x9FFF) ||
                     (u >= 0xF900 && u <= 0xFAFF);
    SortCode g = GeneralLegacyCode(c);
    SortCode k = KoreanCode(c);
    // The Hanja table's enclosed forms (㆒, ㈠, ㊀ ...) read as their base.
    const bool enclosed = (u >= 0x3192 && u <= 0x319F) ||
                          (u >= 0x3220 && u <= 0x3243) ||
                          (u >= 0x3280 && u <= 0x32B0);
    if (han || enclosed) {
      if (k.known()) {
        EXPECT_EQ(k.extra_size, 1) << std::hex << u;
      }
      continue;
    }
    ASSERT_EQ(k.known(), g.known()) << std::hex << u;
    if (!g.known()) continue;
    size_t width = 0;
    if (g.inline_size == g.positions) width = 1;
    if (g.inline_size == 2 * g.positions) width = 2;
    if (width == 0) continue;
    ASSERT_EQ(k.inline_size, g.inline_size) << std::hex << u;
    for (size_t i = 0; i < g.inline_size; ++i) {
      uint8_t want =
          i % width == 0 ? moved(g.inline_bytes[i]) : g.inline_bytes[i];
      ASSERT_EQ(k.inline_bytes[i], want) << std::hex << u;
    }
    EXPECT_EQ(k.kind, g.kind);
    EXPECT_EQ(k.extra_size, g.extra_size);
    EXPECT_EQ(k.extra[0], g.extra[0]);
    EXPECT_EQ(k.unprintable, g.unprintable);
    EXPECT_EQ(k.crazy, g.crazy);
    ++checked;
  }
  EXPECT_GT(checked, 20000u);
}

// Jet 3 Korean: pairs seen in real keys, Hangul = Jet 4 less 3C00 for every
// syllable, a Hanja by its reading with its rank as diacritic byte, and
// what stays unknown (digits 3, 6, 7; Windows 10 weights; jamo, whose case
// byte is not known).
TEST(SortOrderTest, Korean97Pairs) {
  const std::pair<char16_t, uint32_t> seen[] = {
      {u'0', 0x0C03},  {u'1', 0x0C21},  {u'9', 0x0CB4}, {u'a', 0x8002},
      {u'A', 0x8002},  {u'y', 0x80A7},  {u'z', 0x80A9}, {u' ', 0x0702},
      {u'홍', 0x3968}, {u'김', 0x1047}, {u'균', 0x0FE5}};
  for (const auto& [c, pair] : seen) {
    EXPECT_EQ(Inline(Korean97Code(c)), pair) << std::hex << int(c);
  }
  for (char16_t c = 0xAC00; c <= 0xD7A3; ++c) {
    ASSERT_EQ(Inline(Korean97Code(c)), KoreanHangulSyllableCode(c) - 0x3C00u);
  }
  SortCode one = Korean97Code(u'一');
  EXPECT_EQ(Inline(one), 0x2A57u);  // 일
  EXPECT_EQ(one.extra[0], 0x41);
  EXPECT_EQ(Korean97Code(u'-').kind, SortCode::Kind::kUnprintable);
  EXPECT_EQ(Korean97Code(u'-').unprintable, 0x82);
  for (char16_t c : {u'3', u'6', u'7', u'★', u'.', u'ㄱ', u'ㅏ', u'é'}) {
    EXPECT_FALSE(Korean97Code(c).known()) << std::hex << int(c);
  }
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
  EXPECT_EQ(KnownCharacterCount(SortOrder::kChinese), 128u);
  EXPECT_EQ(KnownCharacterCount(SortOrder::kJapanese), 128u);
  // General: both code tables, less the surrogates and the range left
  // unknown (U+0EDE..U+109F).
  EXPECT_EQ(KnownCharacterCount(SortOrder::kGeneralLegacy),
            0x10000u - 0x800u - (0x10A0u - 0x0EDEu));
  // Korean: General less its CJK ideographs, plus the 4,987 Hanja rows.
  EXPECT_EQ(KnownCharacterCount(SortOrder::kKorean), 39830u);
  // Korean 97: the table's rows of tiers V, R and J without unknown bytes.
  EXPECT_EQ(KnownCharacterCount(SortOrder::kKorean97), 16207u);
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
  EXPECT_EQ(SortOrderOf(1042, 0, JetVersion::kJet3), SortOrder::kKorean97);
  EXPECT_FALSE(SortOrderOf(2052, 0, JetVersion::kJet3).has_value());
}

}  // namespace
}  // namespace jet
