// Index pages: one node of an index's B-tree, decoded into whole entries
// and encoded back.
//
//   Jet 3  Jet 4  size  field
//   0x00   0x00   1     page type: 0x03 intermediate, 0x04 leaf
//   0x01   0x01   1     0x01
//   0x02   0x02   2     free space: page size - first entry offset - bytes
//                       of the entries
//   0x04   0x04   4     table definition page of the table
//   -      0x08   4     unknown, seen 0 (public descriptions miss these
//                       bytes and so put every later Jet 4 field 4 early)
//   0x08   0x0C   4     previous page at this level (0 for none)
//   0x0C   0x10   4     next page at this level (0 for none)
//   0x10   0x14   4     intermediate pages: the tail page, the page's last
//                       child, which no entry names (0 for none)
//   0x14   0x18   1/2   shared prefix length (Jet 3: 1 byte, Jet 4: 2)
//   0x15   0x1A   1     0x01 on intermediate pages, 0 on leaves
//   0x16   0x1B         entry bitmask, up to the first entry: bit k (low
//                       bit first) set = an entry ends (and the next begins)
//                       k bytes after the first entry's start
//   0xF8   0x1E0        the first entry
// An entry is the key bytes, the row's data page (3 bytes, big-endian) and
// row number (1 byte); on intermediate pages then the child page (4 bytes,
// big-endian), whose last entry the key and row repeat. Entries are sorted
// by their bytes. With a shared prefix, every entry after the first omits
// the prefix's bytes, which the first entry holds. Encoding writes, like
// Access, a prefix only where the entries would not fit without one: then
// the longest prefix all entries share (leaving each at least one byte).
//
// An intermediate page's children are the pages its entries name and,
// after them, its tail page: one level down like the others (a leaf under
// a page just above the leaves, an intermediate page higher up), linked
// after the last named child, and holding the greatest entries of the
// page's subtree. Access and Jackcess write every intermediate page with
// two or more children so, and readers (Jackcess, Access) that descend the
// tree find the tail's entries only through it. Access leaves a page whose
// only child is its tail after rows were deleted; Jackcess writes a single
// child as an entry and rejects the other form.
//
// In memory (IndexNode), a node this engine changes names every child by
// an entry, the last child's holding its subtree's last entry, and has
// `tail` 0; Encode then stores the last child of two or more as the tail,
// as Access does, and a single child as an entry, as Jackcess does.
#ifndef MDBCARE_JET_INDEX_INDEX_NODE_H_
#define MDBCARE_JET_INDEX_INDEX_NODE_H_

#include <cstdint>
#include <optional>
#include <span>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

struct IndexEntry {
  std::vector<uint8_t> key;
  RowPointer row;
  uint32_t child = 0;  // intermediate pages only

  // The bytes entries are ordered by: key, page (big-endian), row.
  std::vector<uint8_t> SortBytes() const;
  // Appends the entry as a page stores it to `out`: its sort bytes, then
  // on intermediate pages (`leaf` false) the child page, big-endian.
  void AppendStoredBytes(bool leaf, std::vector<uint8_t>& out) const;
  // Makes this the entry whose sort bytes are `sort_bytes` (at least 4 of
  // them), reusing the key's memory.
  void AssignSortBytes(ByteView sort_bytes);
};

bool EntryLess(const IndexEntry& a, const IndexEntry& b);
// The order of two entries' sort bytes: -1, 0 or 1.
int CompareEntries(const IndexEntry& a, const IndexEntry& b);

// Compares an entry's sort bytes with `sort_bytes` (-1, 0 or 1) without
// building them.
int CompareSortBytes(const IndexEntry& entry, ByteView sort_bytes);

// Appends an entry's sort bytes (key, page big-endian, row) to `out`.
void AppendSortBytes(const std::vector<uint8_t>& key, RowPointer row,
                     std::vector<uint8_t>& out);

// A node page read in place: its links and its entries, without copying
// them. Entry k's stored bytes are the first `shared` bytes of the first
// entry (the shared prefix; none for the first entry itself) followed by
// the bytes between its start and end on the page. The page must outlive
// the view.
class IndexNodeView {
 public:
  // Raises the damaged-file error for a page that is not an index page or
  // whose entries do not fit it.
  IndexNodeView(JetVersion version, uint32_t page_number, ByteView page);

  uint32_t page() const { return page_number_; }
  bool leaf() const { return leaf_; }
  uint32_t table_page() const { return page_.U32(0x04); }
  uint32_t prev() const;
  uint32_t next() const;
  uint32_t tail() const;
  size_t size() const { return ends_.size(); }
  bool empty() const { return ends_.empty(); }

  // Compares entry k's sort bytes (key and row) with `sort_bytes`.
  int Compare(size_t k, ByteView sort_bytes) const;
  // The first entry whose sort bytes are not before `sort_bytes`, or
  // size() when there is none.
  size_t LowerBound(ByteView sort_bytes) const;
  // Entry k, into `entry`, reusing its key's memory.
  void EntryInto(size_t k, IndexEntry& entry) const;
  // Whether entry k's key is exactly `key`.
  bool KeyEquals(size_t k, ByteView key) const;
  RowPointer Row(size_t k) const;
  uint32_t Child(size_t k) const;

 private:
  uint8_t ByteAt(size_t k, size_t i) const;
  // Where entry k's row pointer (and child) lie on the page, or null when
  // the shared prefix of equal keys reaches into the row pointer (its bytes
  // are then read one at a time).
  const uint8_t* Tail(size_t k) const;
  // The row pointer and child page at an entry's tail.
  static RowPointer RowAt(const uint8_t* tail);
  static uint32_t ChildAt(const uint8_t* tail);
  size_t Shared(size_t k) const { return k == 0 ? 0 : prefix_; }
  size_t Start(size_t k) const;
  // Bytes of entry k's key and row pointer.
  size_t SortSize(size_t k) const;

  JetVersion version_;
  uint32_t page_number_;
  ByteView page_;
  bool leaf_ = true;
  size_t prefix_ = 0;
  std::vector<uint16_t> ends_;  // where each entry ends on the page
};

// Sets a node page's link to its previous or next page at its level, the
// rest of the page left as it is.
void SetIndexNodePrev(JetVersion version, std::vector<uint8_t>& page,
                      uint32_t prev);
void SetIndexNodeNext(JetVersion version, std::vector<uint8_t>& page,
                      uint32_t next);

struct IndexNode {
  uint32_t page = 0;
  bool leaf = true;
  uint32_t table_page = 0;
  uint32_t prev = 0;
  uint32_t next = 0;
  // The tail page as decoded; 0 in a node whose entries name every child
  // (see above), whose last child Encode makes the tail.
  uint32_t tail = 0;
  std::vector<IndexEntry> entries;
  // The header bytes as read (up to the bitmask), so that fields this
  // engine does not know are written back unchanged.
  std::vector<uint8_t> header;

  // Raises the damaged-file error for a page that is not an index page or
  // whose entries do not fit it.
  static IndexNode Decode(JetVersion version, uint32_t page_number,
                          ByteView page);
  // The same into `node`, reusing the memory of its entries.
  static void DecodeInto(JetVersion version, uint32_t page_number,
                         ByteView page, IndexNode& node);
  // The page bytes; nullopt when the entries do not fit one page. An
  // intermediate node with `tail` 0 and two or more entries is stored with
  // its last entry's child as the tail page, and without that entry.
  std::optional<std::vector<uint8_t>> Encode(JetVersion version) const;
  // Bytes the entries take on a page (with a shared prefix where one is
  // needed), and what a page offers.
  size_t EntryBytes() const;
  static size_t EntryBytesOf(std::span<const IndexEntry> entries, bool leaf);
  static size_t Capacity(JetVersion version);
  // The longest shared prefix the version's prefix field can hold.
  static size_t MaxPrefix(JetVersion version);
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_NODE_H_
