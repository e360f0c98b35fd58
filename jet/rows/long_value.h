// Long values (memo and OLE): a 12-byte reference in the row, the data
// inline after it or in rows of long-value pages.
//
//   0  4  length in the low 30 bits; the top bits say where the data is:
//         0x80000000 inline, right after the reference
//         0x40000000 in one long-value row
//         0          in a chain of long-value rows
//   4  4  row pointer to the (first) long-value row
//   8  4  unused
//   12 .. inline data
// A row of a chain starts with the 4-byte row pointer of the next row (0 at
// the end) followed by its part of the data.
#ifndef MDBCARE_JET_ROWS_LONG_VALUE_H_
#define MDBCARE_JET_ROWS_LONG_VALUE_H_

#include <cstdint>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

class Pager;

namespace long_value_layout {
inline constexpr size_t kReferenceSize = 12;
inline constexpr uint32_t kLengthMask = 0x3FFFFFFF;
inline constexpr uint32_t kInline = 0x80000000;
inline constexpr uint32_t kSingleRow = 0x40000000;
inline constexpr size_t kPointerOffset = 4;
inline constexpr size_t kChainHeader = 4;
}  // namespace long_value_layout

class LongValueReader {
 public:
  LongValueReader(Pager& pager, JetVersion version)
      : pager_(pager), version_(version) {}

  // The value's bytes. Raises the damaged-file error for a reference or
  // chain that does not lead to exactly `length` bytes.
  std::vector<uint8_t> Read(ByteView reference) const;
  // The same into `out`, whose memory is reused.
  void Read(ByteView reference, std::vector<uint8_t>& out) const;

 private:
  Pager& pager_;
  JetVersion version_;
};

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_LONG_VALUE_H_
