// Changes to a data page held in memory: rows resized in place (the rows
// stored below it move to keep every row contiguous with its neighbour, as
// the row length rule of data_page.h requires), rows added in new slots,
// slot flags, and the free-space field kept equal to the contiguous free
// bytes between the offset table and the lowest row.
#ifndef MDBCARE_JET_STORAGE_DATA_PAGE_EDITOR_H_
#define MDBCARE_JET_STORAGE_DATA_PAGE_EDITOR_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/base/format.h"

namespace jet {

class DataPageEditor {
 public:
  // Jet stores at most this many row slots on a page (row numbers are one
  // byte in row pointers).
  static constexpr uint16_t kMaxRows = 255;

  DataPageEditor(JetVersion version, std::vector<uint8_t>& page);

  // Makes `page` an empty data page (or long-value page) owned by `owner`.
  static void Initialize(JetVersion version, std::vector<uint8_t>& page,
                         uint32_t owner);

  uint16_t row_count() const;
  size_t free_space() const;
  // Row bytes of `slot` (its flags aside).
  std::span<uint8_t> Row(uint16_t slot);
  uint16_t Flags(uint16_t slot) const;
  void SetFlags(uint16_t slot, uint16_t flags);

  // Gives `slot` exactly `length` bytes, keeping its first bytes; false
  // (nothing changed) when the page lacks the room.
  bool ResizeRow(uint16_t slot, size_t length);
  // Adds a row in a new slot with `flags`; nullopt when it does not fit.
  std::optional<uint16_t> AddRow(std::span<const uint8_t> row, uint16_t flags);
  // Whether a new row of `length` bytes would fit.
  bool HasRoomFor(size_t length) const;

  // The largest row a page of this version can take.
  static size_t MaxRowLength(JetVersion version);

 private:
  size_t Start(uint16_t slot) const;
  size_t End(uint16_t slot) const;
  size_t TableEnd() const;
  size_t LowestStart() const;
  void SetOffset(uint16_t slot, size_t start, uint16_t flags);
  void UpdateFreeSpace();

  std::vector<uint8_t>& page_;
  size_t count_offset_;
};

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_DATA_PAGE_EDITOR_H_
