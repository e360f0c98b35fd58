// The Jet 4 General sort order ("General legacy", LCID 1033 version 0),
// from the generated table of every character it is known for.
#include <iterator>

#include "jet/collation/sort_order.h"

namespace jet {

namespace {

#include "jet/collation/generated/general_legacy_sort_codes.inc"

}  // namespace

SortCode GeneralLegacyCode(char16_t c) {
  return CodeFromRanges(kGeneralLegacyRanges, kGeneralLegacyRecords, c);
}

}  // namespace jet
