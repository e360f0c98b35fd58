#include "jet/index/index_writer.h"

#include <algorithm>
#include <set>

#include "jet/base/error.h"
#include "jet/index/index_reader.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"

namespace jet {

namespace {

// Deeper than this, the tree's links loop.
constexpr int kMaxDepth = 32;
// Leaves followed along their next links before giving up on a loop.
constexpr int kMaxChain = 1 << 20;
// Leaves followed from an intermediate page's last named child to its tail
// before the tail is taken as the only unnamed child.
constexpr size_t kMaxUnnamedRun = 4096;
// Insertions merged into one leaf at a time (a few pages' worth).
constexpr size_t kInsertionsPerLeafStep = 1024;

}  // namespace

IndexWriter::IndexWriter(Pager& pager, JetVersion version,
                         PageAllocator& allocator, TableDefinition& def,
                         size_t index, IndexViewCache* views)
    : pager_(pager),
      version_(version),
      allocator_(allocator),
      def_(def),
      index_(index),
      own_views_(views ? 0 : IndexViewCache::kDefaultCapacity),
      views_(views ? *views : own_views_) {}

PageRef IndexWriter::LoadPage(uint32_t page) {
  PageRef p = pager_.Get(page);
  if (p->type() != kPageIndexLeaf && p->type() != kPageIndexNode) {
    throw Error(kErrUnsupportedFeature,
                "색인 페이지가 아닌 곳(" + std::to_string(page) +
                    ")을 가리키는 색인은 고칠 수 없습니다.");
  }
  return p;
}

std::shared_ptr<const IndexViewCache::Held> IndexWriter::View(uint32_t page) {
  return views_.ViewOf(version_, LoadPage(page));
}

std::vector<uint8_t> IndexWriter::LinkedPageForWrite(uint32_t page) {
  LoadPage(page);
  return pager_.CopyForWrite(page);
}

IndexNode& IndexWriter::Node(Step& step) {
  if (!step.decoded) {
    PageRef p = LoadPage(step.page);
    // A node of an earlier path lends its entries' memory.
    if (!spare_nodes_.empty()) {
      step.decoded = std::move(spare_nodes_.back());
      spare_nodes_.pop_back();
    } else {
      step.decoded.emplace();
    }
    IndexNode::DecodeInto(version_, step.page, p->view(), *step.decoded);
    NameEveryChild(*step.decoded);
  }
  return *step.decoded;
}

std::vector<uint32_t> IndexWriter::UnnamedChildren(const IndexNodeView& view,
                                                   bool root) {
  const uint32_t tail = view.tail();
  const size_t n = view.size();
  if (tail == 0 || (n > 0 && view.Child(n - 1) == tail)) return {};
  std::vector<uint32_t> run;
  std::set<uint32_t> seen;
  uint32_t page = 0;
  if (n > 0) {
    page = View(view.Child(n - 1))->view.next();
  } else if (root && View(tail)->view.leaf()) {
    // A root that names no child: the leaves linked before its tail.
    page = FirstOfChain(pager_, version_, tail);
  }
  // Leaves named by nothing lie between the last named child and the tail
  // only in files of earlier versions; elsewhere the tail follows at once.
  while (page != 0 && page != tail && run.size() < kMaxUnnamedRun &&
         seen.insert(page).second) {
    std::shared_ptr<const IndexViewCache::Held> held = View(page);
    if (!held->view.leaf()) break;
    run.push_back(page);
    page = held->view.next();
  }
  if (page != tail) run.clear();
  run.push_back(tail);
  return run;
}

std::optional<IndexEntry> IndexWriter::SubtreeLast(uint32_t page) {
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    std::shared_ptr<const IndexViewCache::Held> held = View(page);
    const IndexNodeView& view = held->view;
    if (view.leaf()) {
      if (view.empty()) return std::nullopt;
      IndexEntry last;
      view.EntryInto(view.size() - 1, last);
      return last;
    }
    if (view.tail() != 0) {
      page = view.tail();
    } else if (!view.empty()) {
      page = view.Child(view.size() - 1);
    } else {
      ThrowDamaged("빈 중간 색인 페이지입니다");
    }
  }
  ThrowDamaged("색인이 너무 깊습니다");
}

void IndexWriter::NameEveryChild(IndexNode& node) {
  if (node.leaf || node.tail == 0) return;
  const bool root = node.page == def_.real_indexes[index_].first_page;
  std::vector<uint32_t> unnamed;
  {
    std::shared_ptr<const IndexViewCache::Held> held = View(node.page);
    unnamed = UnnamedChildren(held->view, root);
  }
  node.tail = 0;
  for (uint32_t child : unnamed) {
    std::optional<IndexEntry> last = SubtreeLast(child);
    // An empty child sorts with the entry before it (none is found in it).
    IndexEntry entry = last ? std::move(*last)
                            : (node.entries.empty() ? IndexEntry{}
                                                    : node.entries.back());
    entry.child = child;
    node.entries.push_back(std::move(entry));
  }
}

void IndexWriter::Store(const IndexNode& node) {
  auto bytes = node.Encode(version_);
  if (!bytes) ThrowDamaged("색인 페이지에 항목이 넘칩니다");
  pager_.Put(node.page, std::move(*bytes));
}

uint32_t IndexWriter::NewPage() {
  uint32_t page = allocator_.Allocate();
  RowPointer map = RowPointer::FromPacked(def_.real_indexes[index_].usage_map);
  SetUsageMapBit(pager_, version_, map, page, true, &allocator_);
  return page;
}

void IndexWriter::FreePage(uint32_t page) {
  RowPointer map = RowPointer::FromPacked(def_.real_indexes[index_].usage_map);
  SetUsageMapBit(pager_, version_, map, page, false, &allocator_);
  allocator_.Free(page);
}

std::vector<IndexWriter::Step> IndexWriter::Descend(ByteView target) {
  std::vector<Step> path;
  uint32_t page = def_.real_indexes[index_].first_page;
  std::set<uint32_t> seen;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    if (!seen.insert(page).second) ThrowDamaged("색인의 연결이 순환합니다");
    std::shared_ptr<const IndexViewCache::Held> held = View(page);
    const IndexNodeView& view = held->view;
    Step step;
    step.page = page;
    if (view.leaf()) {
      path.push_back(std::move(step));
      return path;
    }
    // The first child whose last entry is not before the target; past
    // every named child, the last child.
    const size_t at = view.LowerBound(target);
    if (at < view.size()) {
      step.position = at;
      page = view.Child(at);
    } else {
      const std::vector<uint32_t> unnamed = UnnamedChildren(view, depth == 0);
      if (unnamed.empty()) {
        if (view.empty()) ThrowDamaged("빈 중간 색인 페이지입니다");
        step.position = view.size() - 1;
        page = view.Child(step.position);
      } else if (unnamed.size() == 1) {
        step.position = view.size();
        page = unnamed.front();
      } else {
        // Leaves named by nothing (earlier versions): the node names them.
        const IndexNode& node = Node(step);
        size_t k = view.size();
        while (k + 1 < node.entries.size() &&
               CompareSortBytes(node.entries[k], target) < 0) {
          ++k;
        }
        step.position = k;
        page = node.entries[k].child;
      }
    }
    path.push_back(std::move(step));
  }
  ThrowDamaged("색인이 너무 깊습니다");
}

bool IndexWriter::ContainsKey(const std::vector<uint8_t>& key,
                              RowPointer except,
                              const std::function<bool(RowPointer)>& gone) {
  std::vector<uint8_t> target = key;
  target.insert(target.end(), 4, 0);
  std::vector<Step> path = Descend(ByteView(target.data(), target.size()));
  const ByteView wanted(key.data(), key.size());
  uint32_t page = path.back().page;
  std::set<uint32_t> seen;
  for (int hops = 0; hops < kMaxChain; ++hops) {
    std::shared_ptr<const IndexViewCache::Held> held = View(page);
    const IndexNodeView& leaf = held->view;
    for (size_t k = leaf.LowerBound(ByteView(target.data(), target.size()));
         k < leaf.size(); ++k) {
      if (!leaf.KeyEquals(k, wanted)) return false;
      const RowPointer row = leaf.Row(k);
      if (!(row == except) && !(gone && gone(row))) return true;
    }
    page = leaf.next();
    if (page == 0 || !seen.insert(page).second) return false;
  }
  return false;
}

void IndexWriter::FixParentKey(std::vector<Step>& path, size_t level) {
  // The entry naming a node in its parent repeats the node's last entry.
  if (level == 0) return;
  IndexNode& child = Node(path[level]);
  if (child.entries.empty()) return;
  const IndexEntry& last = child.entries.back();
  for (size_t at = level; at > 0; --at) {
    Step& parent = path[at - 1];
    if (!parent.decoded) {
      // Most leaves keep their last entry: the parent page is asked through
      // its view, and decoded only when the entry naming the child changes.
      std::shared_ptr<const IndexViewCache::Held> held = View(parent.page);
      const IndexNodeView& view = held->view;
      if (parent.position >= view.size()) {
        // The child is the parent's tail, whose entry the page does not
        // store; the parent's own last entry is the one that changed, and
        // the entry naming the parent one level up repeats it.
        continue;
      }
      if (view.KeyEquals(parent.position,
                         ByteView(last.key.data(), last.key.size())) &&
          view.Row(parent.position) == last.row) {
        return;
      }
    }
    IndexEntry& named = Node(parent).entries.at(parent.position);
    if (named.key == last.key && named.row == last.row) return;
    named.key = last.key;
    named.row = last.row;
    Commit(path, at - 1);
    return;
  }
}

namespace {

// Cuts `entries` into runs that each fit a page, the runs about equally
// full.
std::vector<std::vector<IndexEntry>> Pieces(std::vector<IndexEntry> entries,
                                            const IndexNode& like,
                                            JetVersion version) {
  std::vector<std::vector<IndexEntry>> out;
  // Pushed, not brace-initialised: an initializer list would copy every
  // entry.
  std::vector<std::vector<IndexEntry>> todo;
  todo.push_back(std::move(entries));
  while (!todo.empty()) {
    std::vector<IndexEntry> run = std::move(todo.back());
    todo.pop_back();
    if (run.size() < 2 || IndexNode::EntryBytesOf(run, like.leaf) <=
                              IndexNode::Capacity(version)) {
      out.push_back(std::move(run));
      continue;
    }
    size_t total = 0;
    for (const IndexEntry& e : run) total += e.key.size();
    size_t half = 0, acc = 0;
    while (half + 1 < run.size() && acc + run[half].key.size() <= total / 2) {
      acc += run[half++].key.size();
    }
    if (half == 0) half = 1;
    std::vector<IndexEntry> right(std::make_move_iterator(run.begin() + half),
                                  std::make_move_iterator(run.end()));
    run.resize(half);
    // Right first on the stack, so that runs come out in order.
    todo.push_back(std::move(right));
    todo.push_back(std::move(run));
  }
  return out;
}

}  // namespace

void IndexWriter::Commit(std::vector<Step>& path, size_t level) {
  IndexNode& node = Node(path[level]);
  if (node.EntryBytes() <= IndexNode::Capacity(version_)) {
    Store(node);
    FixParentKey(path, level);
    return;
  }
  // The parent is read before the new pages change the links it is read
  // by (NameEveryChild).
  if (level > 0) Node(path[level - 1]);
  // Split: the first run stays on this page, the others go to new pages
  // linked after it.
  std::vector<std::vector<IndexEntry>> runs =
      Pieces(std::move(node.entries), node, version_);
  std::vector<IndexNode> nodes;
  uint32_t after = node.next;
  for (size_t r = 0; r < runs.size(); ++r) {
    IndexNode n;
    if (r == 0) {
      n = node;
    } else {
      n.page = NewPage();
      n.leaf = node.leaf;
      n.table_page = node.table_page;
      n.header = node.header;
    }
    n.entries = std::move(runs[r]);
    n.tail = 0;
    nodes.push_back(std::move(n));
  }
  for (size_t r = 0; r < nodes.size(); ++r) {
    nodes[r].prev = r == 0 ? node.prev : nodes[r - 1].page;
    nodes[r].next = r + 1 < nodes.size() ? nodes[r + 1].page : after;
  }
  if (after != 0) {
    std::vector<uint8_t> next = LinkedPageForWrite(after);
    SetIndexNodePrev(version_, next, nodes.back().page);
    pager_.Put(after, std::move(next));
  }
  for (const IndexNode& n : nodes) Store(n);
  node = nodes.front();

  if (level == 0) {
    // A new root above the pieces.
    IndexNode root;
    root.page = NewPage();
    root.leaf = false;
    root.table_page = node.table_page;
    for (const IndexNode& n : nodes) {
      IndexEntry e = n.entries.back();
      e.child = n.page;
      root.entries.push_back(std::move(e));
    }
    Step top;
    top.page = root.page;
    top.decoded = std::move(root);
    path.insert(path.begin(), std::move(top));
    def_.SetIndexRoot(pager_, index_, path.front().page);
    Commit(path, 0);
    return;
  }
  Step& parent_step = path[level - 1];
  IndexNode& parent = Node(parent_step);
  IndexEntry& named = parent.entries.at(parent_step.position);
  named.key = node.entries.back().key;
  named.row = node.entries.back().row;
  std::vector<IndexEntry> added;
  for (size_t r = 1; r < nodes.size(); ++r) {
    IndexEntry e = nodes[r].entries.back();
    e.child = nodes[r].page;
    added.push_back(std::move(e));
  }
  parent.entries.insert(parent.entries.begin() + parent_step.position + 1,
                        added.begin(), added.end());
  Commit(path, level - 1);
}

void IndexWriter::Insert(const IndexEntry& entry) { Apply({}, {entry}); }

void IndexWriter::RemoveNode(std::vector<Step>& path, size_t level) {
  IndexNode& node = Node(path[level]);
  if (level == 0) {
    // The root stays, an empty leaf.
    node.leaf = true;
    node.tail = 0;
    node.entries.clear();
    Store(node);
    return;
  }
  // The parent is read before the links change (NameEveryChild).
  Node(path[level - 1]);
  // Unlink from the siblings and give the page back.
  if (node.prev != 0) {
    std::vector<uint8_t> before = LinkedPageForWrite(node.prev);
    SetIndexNodeNext(version_, before, node.next);
    pager_.Put(node.prev, std::move(before));
  }
  if (node.next != 0) {
    std::vector<uint8_t> after = LinkedPageForWrite(node.next);
    SetIndexNodePrev(version_, after, node.prev);
    pager_.Put(node.next, std::move(after));
  }
  Step& parent_step = path[level - 1];
  IndexNode& parent = Node(parent_step);
  if (parent_step.position >= parent.entries.size()) {
    ThrowDamaged("색인 중간 페이지의 항목이 맞지 않습니다");
  }
  parent.entries.erase(parent.entries.begin() + parent_step.position);
  FreePage(node.page);
  if (parent.entries.empty()) {
    RemoveNode(path, level - 1);
  } else {
    Store(parent);
    // The parent's last entry may have been the removed one.
    if (!parent.entries.empty() &&
        parent_step.position == parent.entries.size()) {
      parent_step.position = parent.entries.size() - 1;
      FixParentKey(path, level - 1);
    }
  }
}

void IndexWriter::Remove(const IndexEntry& entry) { Apply({entry}, {}); }

void IndexWriter::CommitLeaf(std::vector<Step>& path) {
  if (Node(path.back()).entries.empty()) {
    RemoveNode(path, path.size() - 1);
  } else {
    Commit(path, path.size() - 1);
  }
}

void IndexWriter::Apply(const std::vector<IndexEntry>& removals,
                        const std::vector<IndexEntry>& insertions,
                        WriteGroup* group) {
  size_t r = 0, i = 0;
  std::vector<uint8_t> target;
  std::vector<IndexEntry> merged;
  while (r < removals.size() || i < insertions.size()) {
    // The leaf where the smallest change left belongs.
    const bool removal_first =
        i == insertions.size() ||
        (r < removals.size() && EntryLess(removals[r], insertions[i]));
    const IndexEntry& first = removal_first ? removals[r] : insertions[i];
    target.clear();
    AppendSortBytes(first.key, first.row, target);
    std::vector<Step> path = Descend(ByteView(target.data(), target.size()));
    IndexNode& leaf = Node(path.back());
    // Changes up to the leaf's last entry are the leaf's; past it they
    // belong to the next leaf, unless this is the last one.
    const bool bounded = leaf.next != 0 && !leaf.entries.empty();
    const IndexEntry bound = bounded ? leaf.entries.back() : IndexEntry{};
    auto belongs = [&](const IndexEntry& e) {
      return !bounded || !EntryLess(bound, e);
    };
    size_t r_end = r, i_end = i;
    while (r_end < removals.size() && belongs(removals[r_end])) ++r_end;
    // A leaf takes a bounded number of insertions at a time: many that
    // fall in one place (a batch of equal keys) are split into pages a
    // step at a time, so that the merged entries stay small and the group
    // can be renewed between steps.
    const size_t i_limit =
        std::min(insertions.size(), i + kInsertionsPerLeafStep);
    while (i_end < i_limit && belongs(insertions[i_end])) ++i_end;
    // The first change always belongs: Descend chose this leaf for it.
    if (r_end == r && i_end == i) (removal_first ? r_end : i_end)++;
    merged.clear();
    merged.reserve(leaf.entries.size() + (i_end - i));
    for (IndexEntry& e : leaf.entries) {
      // One three-way comparison per change met: insertions before e go
      // first, one equal to e is a duplicate; a removal equal to e drops
      // it (one before e is not in the index: raised below).
      int order = 0;
      while (i < i_end && (order = CompareEntries(insertions[i], e)) < 0) {
        merged.push_back(insertions[i++]);
      }
      if (i < i_end && order == 0) {
        ThrowDamaged("색인에 같은 항목이 이미 있습니다");
      }
      if (r < r_end && CompareEntries(removals[r], e) == 0) {
        ++r;  // this entry goes
        continue;
      }
      merged.push_back(std::move(e));
    }
    if (r < r_end) ThrowDamaged("색인에 지울 항목이 없습니다");
    while (i < i_end) merged.push_back(insertions[i++]);
    leaf.entries.swap(merged);
    CommitLeaf(path);
    for (Step& step : path) {
      if (step.decoded && spare_nodes_.size() < kSpareNodes) {
        spare_nodes_.push_back(std::move(*step.decoded));
      }
    }
    if (group) group->RenewWhenFull();
  }
}

}  // namespace jet
