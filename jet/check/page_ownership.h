// Who owns each page of the file, as the file's own structures say: the
// integrity checker records every claim it finds (a table's usage map
// listing a page, a long-value reference reaching one, an index tree
// linking one) and then asks which pages have more than one owner.
//
// Owners are told apart by role, table and part. Some claims share a page
// without conflict: the rows of usage maps of many objects stand on one
// data page of their own (owner field 0), and a long-value page holds the
// values of many rows of its column (in Jet 3, of any column).
#ifndef MDBCARE_JET_CHECK_PAGE_OWNERSHIP_H_
#define MDBCARE_JET_CHECK_PAGE_OWNERSHIP_H_

#include <cstdint>
#include <string>
#include <vector>

namespace jet {

enum class PageRole : uint8_t {
  kDatabaseHeader,   // page 0
  kGlobalUsageMap,   // page 1, the map of free pages
  kTableDefinition,  // a table definition page or one of its continuations
  kTableData,        // a data page listed in a table's usage map
  kLongValue,        // a long-value page of a column (Jet 3: of the file)
  kIndex,            // a page of one real index
  kUsageBitmap,      // a bitmap page (type 0x05) of a reference map
  kUsageMapHost,     // a data page holding usage map rows
};

struct PageOwner {
  PageRole role = PageRole::kDatabaseHeader;
  uint32_t table = 0;  // table definition page of the owning table, 0: file
  uint32_t part = 0;   // index number, column number, or map row pointer

  bool operator==(const PageOwner&) const = default;
};

// "index 2 of table page 17", for messages (table names added by callers).
std::string DescribeOwner(const PageOwner& owner);

class PageOwnership {
 public:
  explicit PageOwnership(uint32_t page_count);

  uint32_t page_count() const { return static_cast<uint32_t>(claims_.size()); }

  // Records that `owner` claims `page`; a repeated claim of one owner is
  // kept once. False (nothing recorded) for a page past the end.
  bool Claim(uint32_t page, const PageOwner& owner);

  // The distinct owners that claimed `page`.
  const std::vector<PageOwner>& OwnersOf(uint32_t page) const {
    return claims_[page];
  }
  bool IsClaimed(uint32_t page) const { return !claims_[page].empty(); }
  bool IsClaimedAs(uint32_t page, PageRole role) const;

  // Whether the owners of `page` cannot all hold it at once: more than one
  // owner, unless every one of them keeps usage map rows there.
  bool HasConflict(uint32_t page) const;

 private:
  std::vector<std::vector<PageOwner>> claims_;
};

}  // namespace jet

#endif  // MDBCARE_JET_CHECK_PAGE_OWNERSHIP_H_
