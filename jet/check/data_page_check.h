// The layout rules every data page (table rows, long values, usage map
// rows) keeps in files written by Access, checked without knowing what the
// rows hold:
//   - every row offset (its low 13 bits) lies between the end of the
//     offset table and the end of the page, and offsets descend from slot
//     to slot (a slot with offset 0 has no bytes and is passed over); a
//     row of no length repeats its neighbour's offset;
//   - the free-space field equals the bytes between the end of the offset
//     table and the lowest row offset. Because rows fill the page from its
//     end without gaps, that is the page size less the header, two bytes
//     per slot and the bytes of every row, deleted rows included: Access
//     gives a deleted row's bytes back only when it rewrites the page.
// (Measured on every in-use data page of the corpus: both hold on all.)
#ifndef MDBCARE_JET_CHECK_DATA_PAGE_CHECK_H_
#define MDBCARE_JET_CHECK_DATA_PAGE_CHECK_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

struct DataPageLayout {
  // Empty when the offsets keep the rules; else what is wrong, in Korean.
  std::string offset_problem;
  int bad_slot = -1;  // the first slot breaking them
  uint16_t stored_free_space = 0;
  size_t actual_free_space = 0;  // valid when offset_problem is empty
  uint16_t row_count = 0;

  bool offsets_valid() const { return offset_problem.empty(); }
  bool free_space_agrees() const {
    return offsets_valid() && stored_free_space == actual_free_space;
  }
};

// Inspects a page whose type byte is that of a data page. Never raises:
// what cannot be read is reported as an offset problem.
DataPageLayout InspectDataPageLayout(JetVersion version, ByteView page);

}  // namespace jet

#endif  // MDBCARE_JET_CHECK_DATA_PAGE_CHECK_H_
