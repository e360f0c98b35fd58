// Text collation of index keys: what each character writes into a text key
// segment under a column's sort order (see text_key_segment.h for how the
// codes are put together).
//
// A text column's sort order is its LCID (column descriptor, Jet 4 bytes
// 11-12, with the version in byte 14; Jet 3 bytes 9-10), 0 meaning the
// database's default (database header). The sort orders known here:
//
//   General 97       Jet 3, LCID 1033: one code per byte of code page 1252
//                    (generated/general97_sort_codes.inc)
//   General legacy   Jet 4, LCID 1033 version 0 (generated/
//                    general_legacy_sort_codes.inc)
//   Korean           Jet 4, LCID 1042: the General codes with the first
//                    byte of each weight moved (the letter scripts after
//                    Hangul and Hanja), KS X 1001 Hanja by their reading
//                    (generated/korean_sort_codes.inc)
//   Korean 97        Jet 3, LCID 1042: (script, weight) pairs, one a code
//                    (generated/korean97_sort_codes.inc)
//   Chinese          Jet 4, LCID 2052 (PRC): ASCII as General
//   Japanese         Jet 4, LCID 1041: ASCII as General
//   Chinese (Taiwan) Jet 4, LCID 1028: ASCII as General
// Every other character of these sort orders, and every other sort order,
// is unknown: its key is not made (a write that needs it is refused).
#ifndef MDBCARE_JET_COLLATION_SORT_ORDER_H_
#define MDBCARE_JET_COLLATION_SORT_ORDER_H_

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>

#include "jet/base/format.h"

namespace jet {

// What one character writes.
struct SortCode {
  enum class Kind : uint8_t {
    kUnknown,              // not known: no key can be made with it
    kIgnored,              // writes nothing
    kSimple,               // inline bytes
    kInternational,        // inline bytes and extra (accent) bytes
    kUnprintable,          // no inline bytes; an unprintable-section code
    kUnprintableModifier,  // no inline bytes; added to the last extra byte
    kInternationalCrazy,   // inline, extra bytes and a crazy flag (kana)
    kSignificant,          // Jet 3: inline bytes; counted between accents
  };
  Kind kind = Kind::kUnknown;
  uint8_t inline_size = 0;
  uint8_t inline_bytes[4] = {};
  uint8_t positions = 0;  // codes in the inline bytes (ligatures: 2;
                          // Korean 97: pairs)
  uint8_t extra_size = 0;
  uint8_t extra[2] = {};
  uint8_t unprintable = 0;  // kUnprintable
  uint8_t modifier = 0;     // kUnprintableModifier
  uint8_t crazy = 0;        // kInternationalCrazy: flag 2 or 3

  bool known() const { return kind != Kind::kUnknown; }
};

// A run of code points of a generated table: from `first` up to the next
// range's first, all with record `record`; in a sequential range the
// two-byte inline code rises by one per code point (low byte 02..FF).
struct SortCodeRange {
  uint16_t first;
  uint16_t record;
  uint8_t sequential;
};

// A character whose code is one two-byte inline code and one extra byte
// (a Hanja: its reading's code and its rank), as the generated tables list
// them apart, by code point.
struct CodeWithExtra {
  uint16_t code_point;
  uint16_t code;
  uint8_t extra;
};

// A character above U+00FF that code page 1252 has, and its byte.
struct Cp1252Mapping {
  uint16_t code_point;
  uint8_t byte;
};

enum class SortOrder : uint8_t {
  kGeneral97,
  kGeneralLegacy,
  kKorean,
  kChinese,
  kJapanese,
  kChineseTaiwan,
  kKorean97,
};
inline constexpr SortOrder kAllSortOrders[] = {
    SortOrder::kGeneral97, SortOrder::kGeneralLegacy, SortOrder::kKorean,
    SortOrder::kChinese,   SortOrder::kJapanese,      SortOrder::kChineseTaiwan,
    SortOrder::kKorean97};

// Whether keys of `order` have the Jet 3 layout.
inline bool IsJet3SortOrder(SortOrder order) {
  return order == SortOrder::kGeneral97 || order == SortOrder::kKorean97;
}

// The sort order of a text column with `lcid` and `version` (the
// database's default sort order already put in for 0); nullopt for one
// this engine does not know.
std::optional<SortOrder> SortOrderOf(uint16_t lcid, uint8_t version,
                                     JetVersion jet_version);

// "General 97", "General legacy", "Korean", ... and the LCID.
const char* SortOrderName(SortOrder order);
uint16_t SortOrderLcid(SortOrder order);

// The code of `c` (a UTF-16 code unit) under `order`.
SortCode LookupSortCode(SortOrder order, char16_t c);
// Every code unit's code under `order`, indexed by the code unit: the table
// behind LookupSortCode, made on first use.
const SortCode* SortCodeTable(SortOrder order);

// The one-sort-order lookups behind LookupSortCode.
SortCode GeneralLegacyCode(char16_t c);
SortCode General97Code(char16_t c);
SortCode KoreanCode(char16_t c);
SortCode Korean97Code(char16_t c);
SortCode AsciiAsGeneralCode(char16_t c);

// The code of `c` in a generated table: its range's record (in a
// sequential range the two-byte code advanced by the steps from the
// range's first code point), or from `with_extra` when it is listed there.
SortCode CodeFromRanges(std::span<const SortCodeRange> ranges,
                        const SortCode* records, char16_t c);
SortCode CodeFromList(std::span<const CodeWithExtra> with_extra, char16_t c);

// How many of the 65536 UTF-16 code units have a known code.
size_t KnownCharacterCount(SortOrder order);

// The Hangul syllable code of the Korean sort order (also, with 0x3700
// added to the first byte, the General legacy one, and with 0x3C00 taken
// from it the Korean 97 pair): n = c - U+AC00, L = n / 588 (the initial
// consonant), i = n + offset[L], code = 0x4A + i / 254, 0x02 + i % 254.
// Only for U+AC00..U+D7A3. The tables hold these codes; this is their
// rule.
uint16_t KoreanHangulSyllableCode(char16_t c);

}  // namespace jet

#endif  // MDBCARE_JET_COLLATION_SORT_ORDER_H_
