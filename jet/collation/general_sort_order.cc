// The Jet 4 General sort order ("General legacy", LCID 1033 version 0),
// from the generated table of every character it is known for.
#include <algorithm>
#include <iterator>

#include "jet/collation/sort_order.h"

namespace jet {

namespace {

#include "jet/collation/generated/general_legacy_sort_codes.inc"

// The Hangul syllables' General codes are the Korean ones with 0x37 added
// to the first byte (checked against every syllable of the code table).
constexpr uint8_t kHangulGeneralShift = 0x37;

}  // namespace

SortCode GeneralLegacyCode(char16_t c) {
  const SortCodeRange* end = std::end(kGeneralLegacyRanges);
  const SortCodeRange* it = std::upper_bound(
      std::begin(kGeneralLegacyRanges), end, c,
      [](char16_t v, const SortCodeRange& r) { return v < r.first; });
  // The first range starts at U+0000, so `it` is never the first.
  const SortCodeRange& range = *(it - 1);
  SortCode code = kGeneralLegacyRecords[range.record];
  if (range.sequential) {
    // Advance the two-byte code in base 254 (low byte 02..FF).
    uint32_t steps = c - range.first;
    uint32_t value =
        (code.inline_bytes[0] * 254u) + (code.inline_bytes[1] - 2u) + steps;
    code.inline_bytes[0] = static_cast<uint8_t>(value / 254);
    code.inline_bytes[1] = static_cast<uint8_t>(2 + value % 254);
  }
  if (!code.known() && c >= 0xAC00 && c <= 0xD7A3) {
    uint16_t korean = KoreanHangulSyllableCode(c);
    code = SortCode{};
    code.kind = SortCode::Kind::kSimple;
    code.inline_size = 2;
    code.inline_bytes[0] =
        static_cast<uint8_t>((korean >> 8) + kHangulGeneralShift);
    code.inline_bytes[1] = static_cast<uint8_t>(korean);
    code.positions = 1;
  }
  return code;
}

}  // namespace jet
