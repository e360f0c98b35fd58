// The Jet 3 General sort order ("General 97", LCID 1033): one code per byte
// of code page 1252, so a character is looked up by its byte in that code
// page (U+0000..U+00FF as themselves, and the few characters above U+00FF
// that code page 1252 has through their byte).
#include <algorithm>
#include <iterator>

#include "jet/collation/sort_order.h"

namespace jet {

namespace {

#include "jet/collation/generated/general97_sort_codes.inc"

// U+0000 writes 10 like the other control characters: a real Jet 3 key
// ('Lock' + U+0000 = 7F 6D 72 62 6C 10 00) shows it, where the code table
// has it ignored.
constexpr SortCode kNulCode = {SortCode::Kind::kSimple, 1, {0x10}, 1};

}  // namespace

SortCode General97Code(char16_t c) {
  if (c == 0) return kNulCode;
  if (c <= 0xFF) return kGeneral97Records[kGeneral97ByteRecord[c]];
  for (const Cp1252Mapping& m : kGeneral97Mappings) {
    if (m.code_point == c) {
      return kGeneral97Records[kGeneral97ByteRecord[m.byte]];
    }
  }
  return SortCode{};
}

}  // namespace jet
