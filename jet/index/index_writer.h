// Changes to one real index's B-tree: entries inserted and removed, leaves
// split when full and taken out when empty, intermediate entries kept equal
// to the last entry of their child, new and freed pages recorded in the
// index's usage map, and a new root written to the table definition.
//
// Every intermediate page it writes is in Access's layout (index_node.h):
// the last of two or more children is the tail page. It reads the tail as
// the page's last child at every level (Jackcess puts intermediate pages
// there). Earlier versions of this program appended leaves after the last
// named child, linked up to the tail and named by nothing; such leaves are
// named when their intermediate page is read, and written in Access's
// layout when that page is written.
#ifndef MDBCARE_JET_INDEX_INDEX_WRITER_H_
#define MDBCARE_JET_INDEX_INDEX_WRITER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "jet/base/format.h"
#include "jet/index/index_node.h"
#include "jet/index/index_view_cache.h"
#include "jet/storage/pager.h"
#include "jet/rows/table_definition.h"

namespace jet {

class Pager;
class PageAllocator;

class IndexWriter {
 public:
  // All must outlive the writer. `index` is a position in
  // def.real_indexes. `views`, when given, keeps page views for other
  // writers of the same file; else the writer keeps its own.
  IndexWriter(Pager& pager, JetVersion version, PageAllocator& allocator,
              TableDefinition& def, size_t index,
              IndexViewCache* views = nullptr);

  // Whether an entry with exactly `key` exists for another row than
  // `except` and for which `gone` (when given) is false.
  bool ContainsKey(const std::vector<uint8_t>& key, RowPointer except,
                   const std::function<bool(RowPointer)>& gone = {});
  // Adds an entry (inside a write group).
  void Insert(const IndexEntry& entry);
  // Removes an entry; raises the damaged-file error when it is not there.
  void Remove(const IndexEntry& entry);
  // Removes `removals` and adds `insertions`, each sorted by EntryLess and
  // no entry in both. Every leaf they touch is read and written once, so a
  // batch costs about one pass over the leaves it reaches. Raises the
  // damaged-file error for a removal that is not there or an insertion
  // that already is. With `group`, the group the batch is written in is
  // renewed between leaves when its pages pile up (see WriteGroup).
  void Apply(const std::vector<IndexEntry>& removals,
             const std::vector<IndexEntry>& insertions,
             WriteGroup* group = nullptr);

 private:
  // One node of a path from the root, decoded when first needed.
  struct Step {
    uint32_t page = 0;
    // The node with an entry for every child (NameEveryChild).
    std::optional<IndexNode> decoded;
    // The child followed down (intermediate pages): its entry's position
    // in `decoded`; on the page, a position past the stored entries is a
    // child the page names by its tail.
    size_t position = 0;
  };

  IndexNode& Node(Step& step);
  // The children of the intermediate page `view` that no stored entry
  // names, in order: its tail page, after any leaves linked between the
  // last named child and the tail (earlier versions' layout); empty when
  // the tail is 0 or an entry's child. `root`: whether the page is the
  // index's root.
  std::vector<uint32_t> UnnamedChildren(const IndexNodeView& view, bool root);
  // Adds an entry for each child of `node` (as decoded from its page) that
  // no entry names, holding that child's subtree's last entry, and sets
  // its tail to 0.
  void NameEveryChild(IndexNode& node);
  // The last entry of the subtree under `page`, child field 0; nullopt for
  // an empty leaf.
  std::optional<IndexEntry> SubtreeLast(uint32_t page);
  PageRef LoadPage(uint32_t page);
  // The view of an index page, through the cache.
  std::shared_ptr<const IndexViewCache::Held> View(uint32_t page);
  // A copy of a sibling index page, to change its links only.
  std::vector<uint8_t> LinkedPageForWrite(uint32_t page);
  void Store(const IndexNode& node);
  // The path from the root to the leaf where `target` (sort bytes)
  // belongs. Only the pages are read; nodes are decoded when used.
  std::vector<Step> Descend(ByteView target);
  // Writes the leaf at the end of `path` after its entries changed:
  // removed when empty, else stored (split when full).
  void CommitLeaf(std::vector<Step>& path);
  // Writes the leaf (or intermediate node) at `level` of `path`, splitting
  // it when full and fixing the entries above it.
  void Commit(std::vector<Step>& path, size_t level);
  // After the node at `level` was written: the entries naming it (and,
  // where it is a tail, the ones naming the pages above) are made its last
  // entry again.
  void FixParentKey(std::vector<Step>& path, size_t level);
  void RemoveNode(std::vector<Step>& path, size_t level);
  uint32_t NewPage();
  void FreePage(uint32_t page);

  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  TableDefinition& def_;
  size_t index_;
  // Decoded nodes of the last path (the leaf and the pages above it), kept
  // for their memory and refilled by the next ones.
  static constexpr size_t kSpareNodes = 4;
  std::vector<IndexNode> spare_nodes_;
  IndexViewCache own_views_;
  IndexViewCache& views_;
};

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_WRITER_H_
