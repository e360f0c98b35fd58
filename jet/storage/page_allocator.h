// Allocation of pages, kept in step with the global usage map: row 0 of
// page 1 is a usage map (inline or reference, see usage_map.h) whose set
// bits are the FREE pages. Pages past the end of the file that the map
// covers are set (free); pages it does not cover count as in use.
//
// A new page is the lowest free page inside the file that holds nothing
// recognisable (real files mark pages free that still look like data or
// index pages), else a page appended at the end; either way its bit is
// cleared. A page given back is zeroed
// and its bit set again.
#ifndef MDBCARE_JET_STORAGE_PAGE_ALLOCATOR_H_
#define MDBCARE_JET_STORAGE_PAGE_ALLOCATOR_H_

#include <cstdint>
#include <optional>
#include <vector>

#include "jet/base/format.h"
#include "jet/storage/pager.h"

namespace jet {

class Pager;

inline constexpr RowPointer kGlobalUsageMap{1, 0};

class PageAllocator {
 public:
  PageAllocator(Pager& pager, JetVersion version)
      : pager_(pager), version_(version) {}

  // A page for new use, all zero. Inside a write group.
  uint32_t Allocate();
  // Gives `page` back as free.
  void Free(uint32_t page);

 private:
  // Takes the lowest free page inside the file, if there is one.
  std::optional<uint32_t> TakeFreePage();

  Pager& pager_;
  JetVersion version_;
  // The global map's page as this allocator left it after finding no free
  // page inside the file; while the pager still holds that very page, no
  // one has freed one since (a page freed through a map's other pages is
  // only taken again after the next change to it).
  PageRef full_map_;
};

// Sets or clears the bit of `page` in the usage map held at `where`. An
// inline map that does not cover the page is moved (when empty) or turned
// into a reference map; a reference map gets a new bitmap page where it
// has none. `allocator` supplies those pages; pass nullptr for the global
// map, whose uncovered pages simply count as in use. Returns false when
// the map could not record the page.
bool SetUsageMapBit(Pager& pager, JetVersion version, RowPointer where,
                    uint32_t page, bool value, PageAllocator* allocator);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_PAGE_ALLOCATOR_H_
