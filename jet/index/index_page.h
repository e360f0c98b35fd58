// Index pages: the B-tree of a real index. Intermediate pages (type 0x03)
// and leaf pages (type 0x04) share one layout.
//
//   Jet 3  Jet 4  size  field
//   0x00   0x00   1     page type 0x03 / 0x04
//   0x01   0x01   1     0x01
//   0x02   0x02   2     free space in bytes
//   0x04   0x04   4     owning table definition page
//   -      0x08   4     unknown (0)
//   0x08   0x0C   4     previous page at this level, 0 for none
//   0x0C   0x10   4     next page at this level, 0 for none
//   0x10   0x14   4     intermediate pages: the tail page, the last
//                       child, which no entry names (index_node.h), 0 for
//                       none
//   0x14   0x18   1/2   shared prefix length
//   0x15   0x1A   1     0x01 on intermediate pages, 0x00 on leaf pages
//   0x16   0x1B   226/453 entry bitmask
//   0xF8   0x1E0        first entry
//
// Bit n of the bitmask (low bit of each byte first) is set where an entry
// ends, n counted from the first entry's start; the next entry starts
// there. The first pref_len bytes of the page's first entry are left out
// of every other entry on the page ("prefix compression"): put back in
// front, they give the entry's full bytes.
//
// A full entry is the key (the column segments, see index_key.h), then the
// row it stands for: the data page in 3 bytes big-endian and the row in 1
// byte; on an intermediate page then the child page in 4 bytes
// big-endian. An intermediate entry was the last entry of its child when
// written, so it is not less than any entry of the child's subtree (rows
// deleted since may leave it greater). The tail page follows the named
// children, one level down.
//
// The index's root page is RealIndex::first_page; a small index has a
// leaf page as its root.
//
// Public descriptions differ from real files here: they give Jet 3 a 2-byte
// prefix length at 0x14, which on every Jet 3 intermediate page reads 256
// (the byte at 0x15 is the intermediate-page marker, and the prefix length
// is the byte at 0x14 alone); they leave out the 4 unknown bytes at 0x08
// of Jet 4.
#ifndef MDBCARE_JET_INDEX_INDEX_PAGE_H_
#define MDBCARE_JET_INDEX_INDEX_PAGE_H_

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

class Pager;
struct RealIndex;

namespace index_page_layout {
inline constexpr size_t kFreeSpaceOffset = 0x02;
inline constexpr size_t kOwnerOffset = 0x04;

struct Offsets {
  size_t prev_page, next_page, tail_page, prefix_length, prefix_length_size,
      level_flag, mask, mask_size, first_entry;
};
inline constexpr Offsets kJet3 = {0x08, 0x0C, 0x10, 0x14, 1,
                                  0x15, 0x16, 226,  0xF8};
inline constexpr Offsets kJet4 = {0x0C, 0x10, 0x14, 0x18, 2,
                                  0x1A, 0x1B, 453,  0x1E0};

inline const Offsets& OffsetsOf(JetVersion v) {
  return v == JetVersion::kJet3 ? kJet3 : kJet4;
}

// Bytes after the key: data page and row; intermediate pages add the child.
inline constexpr size_t kRowPointerSize = 4;
inline constexpr size_t kChildPointerSize = 4;
}  // namespace index_page_layout

struct IndexPageEntry {
  std::vector<uint8_t> key;  // column segments, prefix put back
  RowPointer row;            // the row the entry stands for
  uint32_t child_page = 0;   // intermediate pages only
  uint16_t offset = 0;       // where its stored bytes start on the page
  uint16_t stored_size = 0;  // its stored bytes (without the prefix)

  // The full entry as compared for order: key, then data page and row.
  std::vector<uint8_t> SortBytes() const;
};

struct IndexPage {
  uint32_t number = 0;
  bool leaf = true;
  uint16_t free_space = 0;
  uint32_t owner = 0;  // table definition page
  uint32_t prev_page = 0;
  uint32_t next_page = 0;
  uint32_t tail_page = 0;
  uint16_t prefix_length = 0;
  std::vector<IndexPageEntry> entries;
  // One past the last entry byte, as the bitmask gives it.
  size_t data_end = 0;
};

// Decodes one index page. Raises the damaged-file error for a page that is
// not an index page, a prefix longer than the first entry, entries that run
// past the page or are too short to hold their row (and child) pointers.
IndexPage DecodeIndexPage(JetVersion version, ByteView page, uint32_t number);

// One leaf entry of an index in index order.
struct IndexLeafEntry {
  std::vector<uint8_t> key;
  RowPointer row;
  uint32_t leaf_page = 0;  // the leaf page it was found on
};

struct IndexWalkStats {
  size_t leaf_pages = 0;
  size_t intermediate_pages = 0;
  size_t entries = 0;
  int depth = 0;
};

// Walks the tree from `root_page`, children in entry order and then each
// intermediate page's tail (with the leaves earlier versions linked before
// a tail leaf, named by nothing), and calls `visit` for every leaf entry in
// index order. Raises the damaged-file error (3049) for a page outside the
// file or not an index page, a page of another table (when `owner` is not
// 0), a page met twice, or a tree deeper than any real one; no entry after
// the damage is reported. Whether the entries are in byte order is left to
// the caller to check.
IndexWalkStats WalkIndexTree(
    Pager& pager, JetVersion version, uint32_t root_page, uint32_t owner,
    const std::function<void(const IndexLeafEntry&)>& visit);

// All leaf entries of `index` in order (see WalkIndexTree).
std::vector<IndexLeafEntry> ReadIndexLeafEntries(Pager& pager,
                                                 JetVersion version,
                                                 const RealIndex& index,
                                                 uint32_t owner = 0);

// Lowercase hex of `bytes`, a space between bytes, for messages and tools.
std::string HexBytes(const std::vector<uint8_t>& bytes);

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_PAGE_H_
