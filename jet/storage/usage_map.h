// Page usage maps: which pages belong to a table (or index, or the whole
// file). A map is held in a row of a data page, found by a row pointer.
//
// Inline map (first byte 0x00):
//   0 1 0x00   1 4 number of the first page the map covers
//   5 ..       bitmap, bit k (low bit first) = page first + k
// Reference map (first byte 0x01):
//   0 1 0x01   1 4*n page numbers of usage bitmap pages (0 = none); map
//              page i covers pages from i * (page size - 4) * 8
// Usage bitmap page (type 0x05):
//   0 1 0x05   1 1 0x01   2 2 0   4 .. bitmap, as above
#ifndef MDBCARE_JET_STORAGE_USAGE_MAP_H_
#define MDBCARE_JET_STORAGE_USAGE_MAP_H_

#include <cstdint>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

class Pager;

namespace usage_map_layout {
inline constexpr uint8_t kInline = 0x00;
inline constexpr uint8_t kReference = 0x01;
inline constexpr size_t kInlineStartOffset = 1;
inline constexpr size_t kInlineBitmapOffset = 5;
inline constexpr size_t kReferencePagesOffset = 1;
inline constexpr size_t kBitmapPageHeader = 4;
}  // namespace usage_map_layout

// The page numbers a map marks as used, ascending. Pages past the end of
// the file are left out: damaged maps must not send a scan outside it.
std::vector<uint32_t> ReadUsageMap(Pager& pager, JetVersion version,
                                   RowPointer where);

// Decodes a map row already in memory (reference maps read their bitmap
// pages through `pager`).
std::vector<uint32_t> DecodeUsageMap(Pager& pager, ByteView map_row);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_USAGE_MAP_H_
