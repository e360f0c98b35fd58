// The Korean sort order (LCID 1042), as far as real keys show it:
//   - ASCII digits, punctuation, space and control characters write their
//     General codes;
//   - ASCII letters write their General code + 0x72, case folded like
//     General ('A' = 'a' = BC, 'z' = EA);
//   - Hangul syllables U+AC00..U+D7A3 write a two-byte code that rises
//     with the code point, in 19 blocks by initial consonant with gaps
//     between the blocks (the places of the jamo):
//       n = c - U+AC00, L = n / 588, i = n + kInitialOffset[L],
//       code = 4A + i / 254, 02 + i % 254        (가 = 4A 03, 힣 = 76 C0)
// Nothing else has been seen in a Korean key: Hanja, jamo, full-width
// forms, symbols and accented letters are unknown.
#include "jet/collation/sort_order.h"

namespace jet {

namespace {

constexpr char16_t kFirstSyllable = 0xAC00;
constexpr char16_t kLastSyllable = 0xD7A3;
constexpr uint32_t kSyllablesPerInitial = 21 * 28;
constexpr uint8_t kLetterShift = 0x72;

// Codes before each initial consonant's block: the block of ㄱ starts one
// code after 4A 02, and each later block leaves room for the jamo that
// General sorts between the blocks.
constexpr uint16_t kInitialOffset[19] = {1,   2,   6,   16,  19,  20,  43,
                                         53,  58,  74,  85,  161, 180, 183,
                                         187, 190, 191, 192, 195};

bool IsAsciiLetter(char16_t c) {
  return (c >= u'A' && c <= u'Z') || (c >= u'a' && c <= u'z');
}

}  // namespace

uint16_t KoreanHangulSyllableCode(char16_t c) {
  uint32_t n = static_cast<uint32_t>(c - kFirstSyllable);
  uint32_t i = n + kInitialOffset[n / kSyllablesPerInitial];
  return static_cast<uint16_t>(((0x4A + i / 254) << 8) | (0x02 + i % 254));
}

SortCode KoreanCode(char16_t c) {
  if (c >= kFirstSyllable && c <= kLastSyllable) {
    uint16_t value = KoreanHangulSyllableCode(c);
    SortCode code;
    code.kind = SortCode::Kind::kSimple;
    code.inline_size = 2;
    code.inline_bytes[0] = static_cast<uint8_t>(value >> 8);
    code.inline_bytes[1] = static_cast<uint8_t>(value);
    code.positions = 1;
    return code;
  }
  if (c >= 0x80) return SortCode{};
  SortCode code = GeneralLegacyCode(c);
  if (IsAsciiLetter(c)) {
    // General letters are one byte each, 4A..78.
    code.inline_bytes[0] =
        static_cast<uint8_t>(code.inline_bytes[0] + kLetterShift);
  }
  return code;
}

}  // namespace jet
