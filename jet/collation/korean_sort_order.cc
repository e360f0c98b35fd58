// The Korean sort order (LCID 1042), Jet 4 and Jet 3, from the generated
// tables (tools/gen_sort_order_tables.py says how they are made):
//   - Jet 4: every character but a CJK ideograph writes its General code
//     with the first byte of each weight moved, 4A..80 up by 72 and 81..F2
//     down by 37, so that Hangul (4A 03 가 .. 76 C0 힣), then Hanja, sort
//     before the letter scripts (BC a .. EA z, F1 kana); a KS X 1001 Hanja
//     writes the code of its reading and the extra byte 41 + 2 * its rank
//     among the Hanja of that reading. Other CJK ideographs are unknown.
//   - Jet 3 ("Korean 97"): one (script, weight) pair a character; Hangul
//     is the Jet 4 code less 3C00, Latin letters 80 and their weight,
//     digits 0C; a Hanja its reading's pair and a diacritic byte. Only
//     characters confirmed by real keys or by their rule are known.
#include <iterator>

#include "jet/collation/sort_order.h"

namespace jet {

namespace {

#include "jet/collation/generated/korean97_sort_codes.inc"
#include "jet/collation/generated/korean_sort_codes.inc"

constexpr char16_t kFirstSyllable = 0xAC00;
constexpr uint32_t kSyllablesPerInitial = 21 * 28;

// Codes before each initial consonant's block: the block of ㄱ starts one
// code after 4A 02, and each later block leaves room for the jamo that
// sort between the blocks.
constexpr uint16_t kInitialOffset[19] = {1,   2,   6,   16,  19,  20,  43,
                                         53,  58,  74,  85,  161, 180, 183,
                                         187, 190, 191, 192, 195};

}  // namespace

uint16_t KoreanHangulSyllableCode(char16_t c) {
  uint32_t n = static_cast<uint32_t>(c - kFirstSyllable);
  uint32_t i = n + kInitialOffset[n / kSyllablesPerInitial];
  return static_cast<uint16_t>(((0x4A + i / 254) << 8) | (0x02 + i % 254));
}

SortCode KoreanCode(char16_t c) {
  SortCode code = CodeFromList(kKoreanWithExtra, c);
  if (code.known()) return code;
  return CodeFromRanges(kKoreanRanges, kKoreanRecords, c);
}

SortCode Korean97Code(char16_t c) {
  SortCode code = CodeFromList(kKorean97WithExtra, c);
  if (code.known()) return code;
  return CodeFromRanges(kKorean97Ranges, kKorean97Records, c);
}

}  // namespace jet
