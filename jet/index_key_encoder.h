// Index keys: the bytes an index entry holds for a row's values, per
// column of the index:
//   flag   0x7F ascending / 0x80 descending; a Null column is its flag
//          alone: 0x00 ascending, 0xFF descending
//   data   by column type (below); descending keys invert every data byte
// Values are written so that their bytes sort as the values do:
//   Byte                 the byte
//   Integer, Long,       big-endian two's complement with the sign bit
//   Currency             flipped
//   Single, Double,      big-endian IEEE; negatives have every bit
//   Date/time            inverted, others only the sign bit
//   Yes/No               never Null: the flag, then 0x00 for true, 0xFF
//                        for false (descending: inverted)
//   Binary               groups of 8 bytes, each full group followed by
//                        0x09 when more follows; the last group padded with
//                        zeros and followed by its count of real bytes
//                        (descending: all inverted but the 0x09 bytes)
//   GUID                 its 16 bytes in display order (the first three
//                        fields big-endian) as Binary: group, 0x09, group,
//                        0x08
//   Text                 by the column's sort order (text_key.h)
// NUMERIC, empty Binary and every other type are not encodable here.
#ifndef MDBCARE_JET_INDEX_KEY_ENCODER_H_
#define MDBCARE_JET_INDEX_KEY_ENCODER_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/format.h"
#include "jet/table_definition.h"
#include "jet/value.h"

namespace jet {

// The key of `row` (one value per column of `def`) in real index `index`;
// nullopt when a value's key cannot be produced with certainty (then the
// write that needs it must be refused).
std::optional<std::vector<uint8_t>> EncodeIndexKey(
    const TableDefinition& def, const RealIndex& index,
    const std::vector<Value>& row, JetVersion version);

// Whether every column of the index is Null in `row` (an ignore-nulls
// index then has no entry for it, and a unique index allows it more than
// once).
bool AllIndexColumnsNull(const TableDefinition& def, const RealIndex& index,
                         const std::vector<Value>& row);

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_KEY_ENCODER_H_
