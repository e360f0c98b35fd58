// Text segments of index keys: the flag byte and the bytes a text value
// writes for one index column, from the sort order's character codes
// (sort_order.h).
//
// Jet 4 (every Jet 4 sort order), ascending:
//
//   7F <inline> 01 [<extra>] [01 01 [<crazy> FF 02 80 FF 80 [FF]]
//                              [01 <unprintables>]] 00
//
//   inline        each character's inline bytes, in text order
//   extra         from the first character with an extra (accent) code
//                 on: 02 for each key position before it (a character's
//                 inline codes: ligatures take two), its extra bytes, then
//                 per character one slot (a ligature too), 02 where it has
//                 no extra code, its extra bytes where it has; trailing 02
//                 are dropped. A modifier character adds its value to the
//                 last extra byte written.
//   crazy         2-bit flags (2 or 3), three to a byte under 0x80, of the
//                 characters that have one (kana); trailing 3 flags are
//                 dropped; the suffix FF 02 80 FF 80 follows even when all
//                 flags were dropped, and one more FF when unprintables come
//   unprintables  per unprintable character (apostrophe, hyphen, control
//                 characters; they write no inline bytes): (7 + 4 * p) |
//                 0x8000 big-endian, 06, its code; p = its key position,
//                 or once extra bytes exist, the extra bytes written so
//                 far + the slots since, less one when the extra began
//                 with a modifier. No real key shows an unprintable after
//                 a ligature that follows the first extra byte: such text
//                 is not encoded.
//   The sections after 01 come only when one of them is not empty.
//
// Jet 3 (General 97), ascending:
//
//   7F <inline> 00                        no character with an accent
//   7F <inline> <nibbles>                 else: 4-bit values, high half of
//                                         a byte first: 0, per accented
//                                         character 2 for each letter since
//                                         the last accent and then its
//                                         accent value, 0, and a 0 to fill
//                                         the last byte
//
// Jet 3 Korean ("Korean 97"), ascending, the sections always written:
//
//   7F <pairs> 01 <diacritics> 01 01 01 <specials> 00
//
//   pairs         each character's (script, weight) pair
//   diacritics    one byte per pair up to the last with a diacritic byte
//                 (a Hanja's rank), 02 for a pair without one
//   specials      per special character (the hyphen; it writes no pair):
//                 (7 + 4 * pairs before it) | 0x8000 big-endian, 06, its
//                 weight. A second one is not encoded (no real key shows
//                 where it goes).
//   The two empty sections are case (folded) and extra.
//
// Descending: flag 80, then the ascending bytes after the flag inverted
// (Jet 4: inverted up to and including the 00, then one more 00).
//
// Spaces (U+0020) at the end of the text write nothing, so "abc" and
// "abc  " have one key, and "   " the key of "". The empty text is
// 7F 01 00 (General 97: 7F 00; Korean 97: 7F 01 01 01 01 00). Text of more than
// 255 characters (after the trailing spaces) is not encoded: how Access cuts it
// was never seen.
#ifndef MDBCARE_JET_COLLATION_TEXT_KEY_SEGMENT_H_
#define MDBCARE_JET_COLLATION_TEXT_KEY_SEGMENT_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "jet/collation/sort_order.h"

namespace jet {

inline constexpr size_t kMaxIndexedTextLength = 255;

struct TextSegmentResult {
  // The segment, flag included; nullopt when the text has a character
  // whose code the sort order does not know, or one whose place in the
  // key no real key has shown, or is too long.
  std::optional<std::vector<uint8_t>> segment;
  char16_t unknown_char = 0;  // the character that stopped it
  std::string reason;         // why there is no segment
};

// The segment of the non-Null text `text` under `order`.
TextSegmentResult EncodeTextSegment(std::u16string_view text, SortOrder order,
                                    bool ascending);
// The same, appended to `out`; false (with `out` as it was up to its old
// end, and why in `failure` when given) where EncodeTextSegment gives no
// segment.
bool AppendTextSegment(std::u16string_view text, SortOrder order,
                       bool ascending, std::vector<uint8_t>& out,
                       TextSegmentResult* failure = nullptr);

// The segment of "" (and of a text of spaces only).
std::vector<uint8_t> EmptyTextSegment(SortOrder order, bool ascending);

// The segment of a text once its first `leading_spaces` characters (all
// U+0020) are removed, made from `segment`, the segment of the text as it
// is. Jet 4: drop that many 07 inline bytes at the start, the same number
// of 02 placeholders at the start of the extra bytes, and 4 per space from
// every unprintable position; crazy flags stay. Jet 3: drop the inline
// bytes of the spaces. Nullopt when `segment` does not have the form this
// needs (a Null segment, too few leading space codes, a position that
// would go below zero). Spaces at the end need no change: they are not in
// the key.
std::optional<std::vector<uint8_t>> SegmentWithoutLeadingSpaces(
    const std::vector<uint8_t>& segment, size_t leading_spaces,
    SortOrder order);

// Whether a segment is the Null segment (the flag alone).
inline bool IsNullSegment(const std::vector<uint8_t>& segment) {
  return segment.size() == 1 && (segment[0] == 0x00 || segment[0] == 0xFF);
}

}  // namespace jet

#endif  // MDBCARE_JET_COLLATION_TEXT_KEY_SEGMENT_H_
