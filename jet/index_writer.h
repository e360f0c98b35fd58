// Changes to one real index's B-tree: entries inserted and removed, leaves
// split when full and taken out when empty, intermediate entries kept equal
// to the last entry of their child, new and freed pages recorded in the
// index's usage map, and a new root written to the table definition.
//
// Leaves appended past an intermediate page's last entry (its tail chain,
// see index_node.h) are found through the leaf links.
#ifndef MDBCARE_JET_INDEX_WRITER_H_
#define MDBCARE_JET_INDEX_WRITER_H_

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "jet/format.h"
#include "jet/index_node.h"
#include "jet/index_view_cache.h"
#include "jet/pager.h"
#include "jet/table_definition.h"

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
    std::optional<IndexNode> decoded;
    size_t position = 0;  // the entry followed down (intermediate pages)
    bool referenced =
        true;  // the child is named by `position` (not a tail leaf)
  };

  IndexNode& Node(Step& step);
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

#endif  // MDBCARE_JET_INDEX_WRITER_H_
