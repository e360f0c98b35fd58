// Text key segments against keys written by Access (the bytes are real
// index entries from .mdb files), the empty text, trailing spaces, and the
// derivation of a key without leading spaces.
#include "jet/collation/text_key_segment.h"

#include <gtest/gtest.h>

#include <cctype>
#include <random>
#include <string>
#include <vector>

#include "jet/index/index_page.h"
#include "jet/base/text_codec.h"

namespace jet {
namespace {

std::vector<uint8_t> Bytes(std::initializer_list<int> list) {
  std::vector<uint8_t> v;
  for (int b : list) v.push_back(static_cast<uint8_t>(b));
  return v;
}

std::vector<uint8_t> Key(const std::string& utf8, SortOrder order,
                         bool ascending = true) {
  TextSegmentResult r = EncodeTextSegment(Utf8ToUtf16(utf8), order, ascending);
  EXPECT_TRUE(r.segment.has_value()) << utf8 << ": " << r.reason;
  return r.segment.value_or(std::vector<uint8_t>{});
}

#define EXPECT_KEY(text, order, ...) \
  EXPECT_EQ(HexBytes(Key(text, order)), HexBytes(Bytes({__VA_ARGS__}))) << text

// Hex digits only, lower case: "7F 7943 01 00" -> "7f794301 00" less spaces.
std::string Digits(const std::string& hex) {
  std::string out;
  for (char c : hex) {
    if (c != ' ') out += static_cast<char>(std::tolower(c));
  }
  return out;
}

#define EXPECT_KEY_HEX(text, order, hex) \
  EXPECT_EQ(Digits(HexBytes(Key(text, order))), Digits(hex)) << text

TEST(TextKeySegmentTest, GeneralAccentsGoToTheExtraSection) {
  EXPECT_KEY("México D.F.", SortOrder::kGeneralLegacy, 0x7F, 0x60, 0x51, 0x75,
             0x59, 0x4D, 0x64, 0x07, 0x4F, 0x1C, 0x53, 0x1C, 0x01, 0x02, 0x0E,
             0x00);
}

TEST(TextKeySegmentTest, GeneralApostropheIsUnprintable) {
  EXPECT_KEY("Bon app'", SortOrder::kGeneralLegacy, 0x7F, 0x4C, 0x64, 0x62,
             0x07, 0x4A, 0x66, 0x66, 0x01, 0x01, 0x01, 0x01, 0x80, 0x23, 0x06,
             0x80, 0x00);
}

TEST(TextKeySegmentTest, GeneralUnprintablePositionCountsExtraBytes) {
  // H I L A R I Ó N - A b a s t o s: the hyphen's position is the 7 extra
  // bytes written before it plus one more letter.
  EXPECT_KEY("HILARIÓN-Abastos", SortOrder::kGeneralLegacy, 0x7F, 0x57, 0x59,
             0x5E, 0x4A, 0x69, 0x59, 0x64, 0x62, 0x4A, 0x4C, 0x4A, 0x6B, 0x6D,
             0x64, 0x6B, 0x01, 0x02, 0x02, 0x02, 0x02, 0x02, 0x02, 0x0E, 0x01,
             0x01, 0x01, 0x80, 0x27, 0x06, 0x82, 0x00);
}

TEST(TextKeySegmentTest, LigatureTakesTwoPositions) {
  // Access writes 80 33 for the hyphen after "Nuß": ß counts as two key
  // positions (with one position it would be 80 2F).
  std::vector<uint8_t> k =
      Key("NuNuCa Nuß-Nougat-Creme", SortOrder::kGeneralLegacy);
  std::string hex = HexBytes(k);
  EXPECT_NE(hex.find("80 33 06 82"), std::string::npos) << hex;
  EXPECT_EQ(hex.find("80 2f 06 82"), std::string::npos) << hex;
}

TEST(TextKeySegmentTest, LigatureTakesOneSlotOnceTheExtraSectionBegan) {
  // Å begins the extra section; then Æ takes one slot (02), Ç writes 1C.
  EXPECT_KEY_HEX("ÅÆÇ", SortOrder::kGeneralLegacy, "7F 4A 4A51 4D 01 1A 02 1C 00");
  // Before the first accent ß still counts twice: 26 x 02 before ä's 13.
  std::string hex = Digits(HexBytes(
      Key("Plutzer Lebensmittelgroßmärkte AG", SortOrder::kGeneralLegacy)));
  std::string placeholders;
  for (int i = 0; i < 26; ++i) placeholders += "02";
  EXPECT_NE(hex.find("01" + placeholders + "1300"), std::string::npos) << hex;
  // An unprintable character after such a ligature: no real key shows its
  // place, so no key is made.
  TextSegmentResult r =
      EncodeTextSegment(u"éß'", SortOrder::kGeneralLegacy, true);
  EXPECT_FALSE(r.segment.has_value());
  EXPECT_EQ(r.unknown_char, u'\'');
}

TEST(TextKeySegmentTest, GeneralPastLatin1) {
  EXPECT_KEY_HEX("Мир", SortOrder::kGeneralLegacy, "7F 7943 793B 7948 01 00");
  EXPECT_KEY_HEX("Тема Office.thmx", SortOrder::kGeneralLegacy,
                 "7F 794A 7936 7943 792F 07 64 53 53 59 4D 51 1C 6D 57 60 75 "
                 "01 00");
  // The Greek extended letters (U+1F76, U+1F79, U+1F10, U+1F7C, U+1F7B)
  // write nothing and take no position.
  EXPECT_EQ(Digits(HexBytes(
                EncodeTextSegment(u"ϰα\u1F76 τ\u1F79τ' \u1F10γ\u1F7C "
                                  u"Κ\u1F7Bϰλωπα",
                                  SortOrder::kGeneralLegacy, true)
                    .segment.value_or(std::vector<uint8_t>{}))),
            Digits("7F 7915 790C 07 791E 791E 07 790E 07 7915 7915 7916 7923 "
                   "791B 790C 01 03 02 02 02 02 02 02 02 02 03 01 01 01 80 1B "
                   "06 80 00"));
  EXPECT_KEY_HEX("漢字仮名交じり文", SortOrder::kGeneralLegacy,
                 "7F C0B6 ACAC A00D A547 9FBE 7F13 7F43 B6F6 01 02 02 02 02 "
                 "02 03 01 01 FF 02 80 FF 80 00");
}

TEST(TextKeySegmentTest, KoreanKanaJamoEnclosedFormsAndHanja) {
  EXPECT_KEY_HEX("ストキング", SortOrder::kKorean,
                 "7F F114 F11E F10B F180 F10C 01 02 02 02 02 03 01 01 FF 02 "
                 "80 FF 80 00");
  EXPECT_KEY_HEX("㉥ㅓ㉧ㅕ", SortOrder::kKorean,
                 "7F 5A6A 63DA 63D5 63DC 01 0C 02 0C 00");
  EXPECT_KEY_HEX("ⓞ6ⓞ", SortOrder::kKorean, "7F D6 42 D6 01 EE 02 EE 00");
  EXPECT_KEY_HEX("SⓔX", SortOrder::kKorean, "7F DD C3 E7 01 02 EE 00");
  EXPECT_KEY_HEX("亡가", SortOrder::kKorean, "7F 5826 4A03 01 41 00");
  EXPECT_KEY_HEX("一進會", SortOrder::kKorean,
                 "7F 6657 68B6 75A7 01 41 7D 51 00");
  EXPECT_KEY_HEX("조刀ㅏ", SortOrder::kKorean, "7F 6760 51E4 63D6 01 02 43 00");
}

TEST(TextKeySegmentTest, Korean97Keys) {
  EXPECT_KEY_HEX("홍길동    ", SortOrder::kKorean97,
                 "7F 3968 103F 15F9 01 01 01 01 00");
  EXPECT_KEY_HEX("MSysDb", SortOrder::kKorean97,
                 "7F 8051 8091 80A7 8091 801A 8009 01 01 01 01 00");
  EXPECT_KEY_HEX("20048001", SortOrder::kKorean97,
                 "7F 0C33 0C03 0C03 0C58 0CA2 0C03 0C03 0C21 01 01 01 01 00");
  // The hyphen's special entry: (7 + 4 * pairs before it) | 8000, 06, 82.
  EXPECT_KEY_HEX("Z-order", SortOrder::kKorean97,
                 "7F 80A9 807C 808A 801A 8021 808A 01 01 01 01 80 0B 06 82 00");
  // A Hanja: its reading's pair, its rank in the diacritic section.
  EXPECT_KEY_HEX("김一", SortOrder::kKorean97, "7F 1047 2A57 01 02 41 01 01 01 00");
  EXPECT_EQ(EmptyTextSegment(SortOrder::kKorean97, true),
            Bytes({0x7F, 0x01, 0x01, 0x01, 0x01, 0x00}));
  EXPECT_EQ(Key("MSysDb", SortOrder::kKorean97, false)[1],
            static_cast<uint8_t>(~0x80));
  // Not encoded: a digit whose weight no key shows, a second special entry.
  EXPECT_FALSE(
      EncodeTextSegment(u"3", SortOrder::kKorean97, true).segment.has_value());
  TextSegmentResult twice =
      EncodeTextSegment(u"a-b-c", SortOrder::kKorean97, true);
  EXPECT_FALSE(twice.segment.has_value());
  EXPECT_EQ(twice.unknown_char, u'-');
}

TEST(TextKeySegmentTest, TrailingSpacesAreNotEncoded) {
  EXPECT_KEY("Frankfurt a.M. ", SortOrder::kGeneralLegacy, 0x7F, 0x53, 0x69,
             0x4A, 0x62, 0x5C, 0x53, 0x6F, 0x69, 0x6D, 0x07, 0x4A, 0x1C, 0x60,
             0x1C, 0x01, 0x00);
  EXPECT_EQ(Key("Frankfurt a.M. ", SortOrder::kGeneralLegacy),
            Key("Frankfurt a.M.", SortOrder::kGeneralLegacy));
  EXPECT_EQ(Key("   ", SortOrder::kKorean), Key("", SortOrder::kKorean));
}

TEST(TextKeySegmentTest, EmptyText) {
  for (SortOrder order : {SortOrder::kGeneralLegacy, SortOrder::kKorean,
                          SortOrder::kChinese, SortOrder::kJapanese}) {
    EXPECT_EQ(EmptyTextSegment(order, true), Bytes({0x7F, 0x01, 0x00}));
    EXPECT_EQ(EmptyTextSegment(order, false), Bytes({0x80, 0xFE, 0xFF, 0x00}));
    EXPECT_EQ(Key("", order), EmptyTextSegment(order, true));
  }
  EXPECT_EQ(EmptyTextSegment(SortOrder::kGeneral97, true), Bytes({0x7F, 0x00}));
  EXPECT_EQ(EmptyTextSegment(SortOrder::kGeneral97, false),
            Bytes({0x80, 0xFF}));
}

TEST(TextKeySegmentTest, DescendingInvertsTheBodyAndEndsWithZero) {
  std::vector<uint8_t> asc = Key("Bon app'", SortOrder::kGeneralLegacy);
  std::vector<uint8_t> desc = Key("Bon app'", SortOrder::kGeneralLegacy, false);
  ASSERT_EQ(desc.size(), asc.size() + 1);
  EXPECT_EQ(desc[0], 0x80);
  for (size_t i = 1; i < asc.size(); ++i) {
    EXPECT_EQ(desc[i], static_cast<uint8_t>(~asc[i])) << i;
  }
  EXPECT_EQ(desc.back(), 0x00);
}

TEST(TextKeySegmentTest, General97AscendingAndDescending) {
  // Jet 3 Table11 has the same rows in an ascending and a descending index.
  EXPECT_EQ(Key("!", SortOrder::kGeneral97), Bytes({0x7F, 0x12, 0x00}));
  EXPECT_EQ(Key("!", SortOrder::kGeneral97, false), Bytes({0x80, 0xED, 0xFF}));
}

TEST(TextKeySegmentTest, General97AccentsAreNibbles) {
  // Letters that have accented forms count between accents; others not.
  EXPECT_EQ(Key("-ÁA-Á", SortOrder::kGeneral97),
            Bytes({0x7F, 0x1E, 0x60, 0x60, 0x1E, 0x60, 0x04, 0x24, 0x00}));
  EXPECT_EQ(Key("-Á-Á-", SortOrder::kGeneral97),
            Bytes({0x7F, 0x1E, 0x60, 0x1E, 0x60, 0x1E, 0x04, 0x40}));
  EXPECT_EQ(Key("Tourtière", SortOrder::kGeneral97),
            Bytes({0x7F, 0x77, 0x72, 0x78, 0x75, 0x77, 0x6A, 0x66, 0x75, 0x66,
                   0x02, 0x22, 0x30}));
  EXPECT_EQ(Key("Pâté chinois", SortOrder::kGeneral97),
            Bytes({0x7F, 0x73, 0x60, 0x77, 0x66, 0x11, 0x62, 0x69, 0x6A, 0x70,
                   0x72, 0x6A, 0x76, 0x05, 0x40}));
  // U+0000 writes 10 in Jet 3 keys.
  EXPECT_EQ(Key(std::string("Lock\0", 5), SortOrder::kGeneral97),
            Bytes({0x7F, 0x6D, 0x72, 0x62, 0x6C, 0x10, 0x00}));
}

TEST(TextKeySegmentTest, KoreanLettersShiftAndHangulSyllables) {
  EXPECT_KEY("Say비누", SortOrder::kKorean, 0x7F, 0xDD, 0xBC, 0xE8, 0x5C, 0x9F,
             0x50, 0x18, 0x01, 0x00);
  EXPECT_KEY(
      "\x03"
      "DirData",
      SortOrder::kKorean, 0x7F, 0xC1, 0xCB, 0xDB, 0xC1, 0xBC, 0xDF, 0xBC, 0x01,
      0x01, 0x01, 0x01, 0x80, 0x07, 0x06, 0x05, 0x00);
  EXPECT_KEY("Office 테마.thmx", SortOrder::kKorean, 0x7F, 0xD6, 0xC5, 0xC5,
             0xCB, 0xBF, 0xC3, 0x07, 0x70, 0x59, 0x58, 0x11, 0x1C, 0xDF, 0xC9,
             0xD2, 0xE7, 0x01, 0x00);
  // Upper and lower case write one code.
  EXPECT_EQ(Key("ABC", SortOrder::kKorean), Key("abc", SortOrder::kKorean));
}

TEST(TextKeySegmentTest, ChineseAndJapaneseAsciiIsGeneral) {
  EXPECT_EQ(Key("login.msg.code ", SortOrder::kChinese),
            Key("login.msg.code", SortOrder::kGeneralLegacy));
  EXPECT_EQ(Key("MSysDb", SortOrder::kJapanese),
            Key("MSysDb", SortOrder::kGeneralLegacy));
}

TEST(TextKeySegmentTest, UnknownCharactersAreRefused) {
  TextSegmentResult han =
      EncodeTextSegment(Utf8ToUtf16("广州"), SortOrder::kChinese, true);
  EXPECT_FALSE(han.segment.has_value());
  EXPECT_EQ(han.unknown_char, u'广');
  // A Han character outside KS X 1001 has no Korean code.
  TextSegmentResult han_korean =
      EncodeTextSegment(Utf8ToUtf16("们"), SortOrder::kKorean, true);
  EXPECT_FALSE(han_korean.segment.has_value());
  EXPECT_EQ(han_korean.unknown_char, u'们');
  TextSegmentResult jet3 =
      EncodeTextSegment(u"\u4E00", SortOrder::kGeneral97, true);
  EXPECT_FALSE(jet3.segment.has_value());
}

TEST(TextKeySegmentTest, TooLongTextIsRefused) {
  std::u16string t(256, u'a');
  EXPECT_FALSE(EncodeTextSegment(t, SortOrder::kGeneralLegacy, true)
                   .segment.has_value());
  t.resize(255);
  EXPECT_TRUE(EncodeTextSegment(t, SortOrder::kGeneralLegacy, true)
                  .segment.has_value());
  // Trailing spaces do not count.
  EXPECT_TRUE(EncodeTextSegment(t + u"   ", SortOrder::kGeneralLegacy, true)
                  .segment.has_value());
}

TEST(TextKeySegmentTest, KatakanaCrazySectionWhenTheTableHasKana) {
  if (!GeneralLegacyCode(u'マ').known()) {
    GTEST_SKIP() << "the General table was generated without U+0100..";
  }
  EXPECT_KEY("マスタ", SortOrder::kGeneralLegacy, 0x7F, 0x7F, 0x32, 0x7F, 0x14,
             0x7F, 0x1A, 0x01, 0x01, 0x01, 0xFF, 0x02, 0x80, 0xFF, 0x80, 0x00);
}

// Removing leading spaces from the key gives the key of the trimmed text,
// for random texts of many kinds of characters.
TEST(TextKeySegmentTest, LeadingSpaceDerivationEqualsReencoding) {
  std::vector<std::u16string> pieces = {
      u"a", u"B", u"z", u"0", u"9", u" ",  u".",  u"_",  u"'",  u"-", u"\x03",
      u"é", u"Ó", u"ß", u"æ", u"ü", u"\t", u"가", u"힣", u"누", u"ñ"};
  if (GeneralLegacyCode(u'マ').known()) {
    pieces.insert(pieces.end(), {u"マ", u"ス", u"が", u"ｶ"});
  }
  std::mt19937 rng(20240601);
  size_t checked = 0;
  for (SortOrder order : {SortOrder::kGeneralLegacy, SortOrder::kKorean,
                          SortOrder::kGeneral97, SortOrder::kChinese}) {
    for (int n = 0; n < 3000; ++n) {
      std::u16string body;
      int len = 1 + rng() % 8;
      for (int i = 0; i < len; ++i) body += pieces[rng() % pieces.size()];
      // The text after the spaces must not start with a space itself.
      if (body[0] == u' ') body[0] = u'x';
      TextSegmentResult trimmed = EncodeTextSegment(body, order, true);
      if (!trimmed.segment) continue;
      for (size_t k = 1; k <= 3; ++k) {
        for (bool ascending : {true, false}) {
          std::u16string text = std::u16string(k, u' ') + body;
          TextSegmentResult full = EncodeTextSegment(text, order, ascending);
          ASSERT_TRUE(full.segment.has_value());
          std::optional<std::vector<uint8_t>> derived =
              SegmentWithoutLeadingSpaces(*full.segment, k, order);
          std::vector<uint8_t> expected =
              *EncodeTextSegment(body, order, ascending).segment;
          ASSERT_TRUE(derived.has_value()) << Utf16ToUtf8(text);
          EXPECT_EQ(HexBytes(*derived), HexBytes(expected))
              << SortOrderName(order) << " '" << Utf16ToUtf8(text)
              << "' k=" << k << (ascending ? " asc" : " desc");
          ++checked;
        }
      }
    }
  }
  EXPECT_GT(checked, 10000u);
}

TEST(TextKeySegmentTest, LeadingSpaceDerivationRefusesOtherSegments) {
  std::vector<uint8_t> null_segment = {0x00};
  EXPECT_FALSE(
      SegmentWithoutLeadingSpaces(null_segment, 1, SortOrder::kGeneralLegacy));
  // "abc" has no leading space to drop.
  EXPECT_FALSE(SegmentWithoutLeadingSpaces(
      Key("abc", SortOrder::kGeneralLegacy), 1, SortOrder::kGeneralLegacy));
  // Spaces only: the key stays that of "".
  EXPECT_EQ(*SegmentWithoutLeadingSpaces(Key("  ", SortOrder::kGeneralLegacy),
                                         2, SortOrder::kGeneralLegacy),
            EmptyTextSegment(SortOrder::kGeneralLegacy, true));
}

}  // namespace
}  // namespace jet
