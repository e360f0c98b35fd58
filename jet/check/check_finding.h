// What the integrity checker reports: one finding per fault it meets in the
// file, naming the page (and row, and table) concerned, with a Korean
// message that can be shown to the user as it stands.
#ifndef MDBCARE_JET_CHECK_CHECK_FINDING_H_
#define MDBCARE_JET_CHECK_CHECK_FINDING_H_

#include <cstdint>
#include <string>

namespace jet {

enum class FindingKind {
  // A structure could not be decoded at all (a table definition, a map
  // row, the catalog); what depends on it is not checked.
  kUnreadable,
  // Page accounting against the global usage map and the objects' maps.
  kPageOwnedTwice,       // two objects claim the page
  kOwnedPageMarkedFree,  // an object claims a page the global map says free
  kPageNotInMap,         // a table's data or index page its maps do not list
  kWrongPageType,        // a map or pointer names a page of another kind
  kUsageMap,             // a map row that is not a live row or not a map
  kFreeSpaceMap,         // a free-space map lists a page its object lacks
  // Data pages.
  kRowOffsets,      // row offsets outside the page or not descending
  kFreeSpaceField,  // the stored free space is not what the page has
  // Rows.
  kOverflowPointer,       // a moved row's pointer leads nowhere usable
  kMovedRowUnreachable,   // a moved copy no pointer leads to
  kMovedRowReachedTwice,  // a moved copy two pointers lead to
  kRowUndecodable,        // a row whose bytes do not decode
  kLongValue,             // a memo/OLE value that does not read completely
  kLongValueShared,       // a long-value row two values claim
  kFixedTextPadding,      // a fixed-length text padded with U+0000
  // Indexes.
  kIndexTree,          // links, levels and keys of the B-tree
  kIndexOrder,         // entries not in byte order
  kIndexMissingEntry,  // a row without its entry
  kIndexExtraEntry,    // an entry without its row, or a row's second entry
  kIndexKey,           // an entry's key differs from the key of its row
};

struct Finding {
  FindingKind kind = FindingKind::kUnreadable;
  uint32_t page = 0;    // the page concerned (0 when none)
  int row = -1;         // the row slot on that page (-1 when none)
  std::string table;    // the table concerned ("" when none)
  std::string message;  // Korean description
};

// A short stable name of the kind ("page-owned-twice"), for output that
// scripts read.
const char* FindingKindName(FindingKind kind);

// One line: "[kind] page P row R table 'T': message".
std::string FormatFinding(const Finding& finding);

}  // namespace jet

#endif  // MDBCARE_JET_CHECK_CHECK_FINDING_H_
