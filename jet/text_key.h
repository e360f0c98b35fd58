// Text segments of index keys, by sort order (LCID of the column):
//
//   ascending:  7F <inline codes> 01 [extra] [01 01 01 <unprintables>] 00
//   descending: 80, then every byte of <inline codes> 01 ... 00 inverted,
//               then 00
// Inline codes: one code per character, case folded; some characters have
// two-byte codes, ligatures two letter codes (and two positions); some are
// ignored. Extra: one accent byte per inline position up to the last
// accented one, 02 for none. Unprintables (apostrophe, hyphen, control
// characters) have no inline code; each writes its position
// (7 + 4 * position) | 0x8000 big-endian, 06 and its code. Spaces (U+0020)
// at the end of the text are not encoded, so "" and "   " have one key.
//
// Sort orders and how far they go:
//   1033 General (Jet 4 "General legacy"): U+0000..U+00FF from the code
//        table in generated/general_legacy_latin1.inc, Hangul syllables
//   1042 Korean: as General for digits, punctuation and unprintables,
//        Latin letters General + 0x72, Hangul syllables by their formula
//   2052 Chinese, 1041 Japanese: ASCII as General
// Every other character, sort order or Jet 3 text is not encodable here:
// the caller refuses the write that needs its key.
#ifndef MDBCARE_JET_TEXT_KEY_H_
#define MDBCARE_JET_TEXT_KEY_H_

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/format.h"

namespace jet {

// The segment (flag included) of `text` in an index column of `sort_order`.
std::optional<std::vector<uint8_t>> EncodeTextKey(const std::string& text,
                                                  uint16_t sort_order,
                                                  JetVersion version,
                                                  bool ascending);

// The segment of a text whose first `leading_spaces` characters were
// spaces that are now removed, made from the segment of the text as it was
// (ascending segments without crazy bytes); nullopt when the segment does
// not have the expected form.
std::optional<std::vector<uint8_t>> DropLeadingSpacesFromTextKey(
    const std::vector<uint8_t>& segment, size_t leading_spaces);

}  // namespace jet

#endif  // MDBCARE_JET_TEXT_KEY_H_
