#include "jet/index_writer.h"

#include <algorithm>
#include <set>

#include "jet/error.h"
#include "jet/index_reader.h"
#include "jet/page_allocator.h"
#include "jet/pager.h"

namespace jet {

namespace {

// Deeper than this, the tree's links loop.
constexpr int kMaxDepth = 32;
// Leaves followed along a tail chain before giving up on a loop.
constexpr int kMaxChain = 1 << 20;

bool NotBefore(const IndexEntry& e, const std::vector<uint8_t>& target) {
  return !(e.SortBytes() < target);
}

}  // namespace

IndexWriter::IndexWriter(Pager& pager, JetVersion version,
                         PageAllocator& allocator, TableDefinition& def,
                         size_t index)
    : pager_(pager), version_(version), allocator_(allocator), def_(def),
      index_(index) {}

IndexNode IndexWriter::Load(uint32_t page) {
  PageRef p = pager_.Get(page);
  if (p->type() != kPageIndexLeaf && p->type() != kPageIndexNode) {
    throw Error(kErrUnsupportedFeature,
                "색인 페이지가 아닌 곳(" + std::to_string(page) +
                    ")을 가리키는 색인은 고칠 수 없습니다.");
  }
  return IndexNode::Decode(version_, page, p->view());
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

std::vector<IndexWriter::Step> IndexWriter::Descend(
    const std::vector<uint8_t>& target) {
  std::vector<Step> path;
  uint32_t page = def_.real_indexes[index_].first_page;
  std::set<uint32_t> seen;
  bool in_tail = false;
  for (int depth = 0; depth < kMaxDepth; ++depth) {
    if (!seen.insert(page).second) ThrowDamaged("색인의 연결이 순환합니다");
    Step step{Load(page)};
    if (step.node.leaf) {
      // Along a tail chain, the leaf is the first whose last entry is not
      // before the target, or the chain's last.
      if (in_tail) {
        int hops = 0;
        while (step.node.next != 0 &&
               (step.node.entries.empty() ||
                !NotBefore(step.node.entries.back(), target))) {
          if (++hops > kMaxChain || !seen.insert(step.node.next).second) {
            ThrowDamaged("색인 잎 페이지의 연결이 순환합니다");
          }
          step.node = Load(step.node.next);
          path.back().referenced = false;
        }
      }
      path.push_back(std::move(step));
      return path;
    }
    if (step.node.entries.empty()) {
      // An intermediate page that names no child: its leaves are all in the
      // tail chain, walked from the chain's first leaf.
      if (step.node.tail == 0) ThrowDamaged("빈 중간 색인 페이지입니다");
      page = FirstOfChain(pager_, version_, step.node.tail);
      step.referenced = false;
      in_tail = true;
      path.push_back(std::move(step));
      continue;
    }
    auto& entries = step.node.entries;
    auto it = std::find_if(entries.begin(), entries.end(),
                           [&](const IndexEntry& e) { return NotBefore(e, target); });
    if (it == entries.end()) {
      it = entries.end() - 1;
      in_tail = step.node.tail != 0;
    } else {
      in_tail = false;
    }
    step.position = static_cast<size_t>(it - entries.begin());
    page = it->child;
    path.push_back(std::move(step));
  }
  ThrowDamaged("색인이 너무 깊습니다");
}

bool IndexWriter::ContainsKey(const std::vector<uint8_t>& key,
                              RowPointer except) {
  std::vector<uint8_t> target = key;
  target.insert(target.end(), 4, 0);
  std::vector<Step> path = Descend(target);
  IndexNode node = path.back().node;
  std::set<uint32_t> seen;
  for (int hops = 0; hops < kMaxChain; ++hops) {
    for (const IndexEntry& e : node.entries) {
      if (e.key < key) continue;
      if (e.key != key) return false;
      if (!(e.row == except)) return true;
    }
    if (node.next == 0 || !seen.insert(node.next).second) return false;
    node = Load(node.next);
  }
  return false;
}

void IndexWriter::FixParentKey(std::vector<Step>& path, size_t level) {
  // The entry naming this node in its parent repeats the node's last entry.
  if (level == 0) return;
  Step& child = path[level];
  Step& parent = path[level - 1];
  if (!parent.referenced || child.node.entries.empty()) return;
  IndexEntry& named = parent.node.entries[parent.position];
  const IndexEntry& last = child.node.entries.back();
  if (named.key == last.key && named.row == last.row) return;
  named.key = last.key;
  named.row = last.row;
  Commit(path, level - 1);
}

namespace {

// Cuts `entries` into runs that each fit a page, the runs about equally
// full.
std::vector<std::vector<IndexEntry>> Pieces(std::vector<IndexEntry> entries,
                                            const IndexNode& like,
                                            JetVersion version) {
  std::vector<std::vector<IndexEntry>> out;
  std::vector<std::vector<IndexEntry>> todo{std::move(entries)};
  while (!todo.empty()) {
    std::vector<IndexEntry> run = std::move(todo.back());
    todo.pop_back();
    IndexNode probe = like;
    probe.entries = run;
    if (probe.EntryBytes() <= IndexNode::Capacity(version) || run.size() < 2) {
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
  IndexNode& node = path[level].node;
  if (node.EntryBytes() <= IndexNode::Capacity(version_)) {
    Store(node);
    FixParentKey(path, level);
    return;
  }
  // Split: the first run stays on this page, the others go to new pages
  // linked after it.
  std::vector<std::vector<IndexEntry>> runs = Pieces(node.entries, node, version_);
  std::vector<IndexNode> nodes;
  uint32_t after = node.next;
  uint32_t old_tail = node.tail;
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
  if (!node.leaf) nodes.back().tail = old_tail;
  if (after != 0) {
    IndexNode next = Load(after);
    next.prev = nodes.back().page;
    Store(next);
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
    path.insert(path.begin(), Step{std::move(root), 0, true});
    def_.SetIndexRoot(pager_, index_, path.front().node.page);
    Commit(path, 0);
    return;
  }
  Step& parent = path[level - 1];
  if (!parent.referenced) {
    // Leaves of the tail chain: the chain takes the new pages; the
    // parent's tail moves to the last when the split leaf was the end.
    if (parent.node.tail == node.page) {
      parent.node.tail = nodes.back().page;
      Store(parent.node);
    }
    return;
  }
  if (parent.node.tail == node.page) parent.node.tail = nodes.back().page;
  IndexEntry& named = parent.node.entries[parent.position];
  named.key = node.entries.back().key;
  named.row = node.entries.back().row;
  std::vector<IndexEntry> added;
  for (size_t r = 1; r < nodes.size(); ++r) {
    IndexEntry e = nodes[r].entries.back();
    e.child = nodes[r].page;
    added.push_back(std::move(e));
  }
  parent.node.entries.insert(parent.node.entries.begin() + parent.position + 1,
                             added.begin(), added.end());
  Commit(path, level - 1);
}

void IndexWriter::Insert(const IndexEntry& entry) {
  std::vector<uint8_t> target = entry.SortBytes();
  std::vector<Step> path = Descend(target);
  IndexNode& leaf = path.back().node;
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry,
                             EntryLess);
  if (it != leaf.entries.end() && it->SortBytes() == target) {
    ThrowDamaged("색인에 같은 항목이 이미 있습니다");
  }
  leaf.entries.insert(it, entry);
  Commit(path, path.size() - 1);
}

void IndexWriter::RemoveNode(std::vector<Step>& path, size_t level) {
  IndexNode& node = path[level].node;
  if (level == 0) {
    // The root stays, an empty leaf.
    node.leaf = true;
    node.tail = 0;
    node.entries.clear();
    Store(node);
    return;
  }
  // Unlink from the siblings and give the page back.
  if (node.prev != 0) {
    IndexNode before = Load(node.prev);
    before.next = node.next;
    Store(before);
  }
  if (node.next != 0) {
    IndexNode after = Load(node.next);
    after.prev = node.prev;
    Store(after);
  }
  Step& parent = path[level - 1];
  if (parent.node.tail == node.page) parent.node.tail = node.prev;
  if (parent.referenced) {
    parent.node.entries.erase(parent.node.entries.begin() + parent.position);
  }
  FreePage(node.page);
  if (parent.node.entries.empty() && parent.node.tail == 0) {
    RemoveNode(path, level - 1);
  } else {
    Store(parent.node);
    // The parent's last entry may have been the removed one.
    if (!parent.node.entries.empty() &&
        parent.position == parent.node.entries.size()) {
      parent.position = parent.node.entries.size() - 1;
      FixParentKey(path, level - 1);
    }
  }
}

void IndexWriter::Remove(const IndexEntry& entry) {
  std::vector<uint8_t> target = entry.SortBytes();
  std::vector<Step> path = Descend(target);
  IndexNode& leaf = path.back().node;
  auto it = std::lower_bound(leaf.entries.begin(), leaf.entries.end(), entry,
                             EntryLess);
  if (it == leaf.entries.end() || it->SortBytes() != target) {
    ThrowDamaged("색인에 지울 항목이 없습니다");
  }
  leaf.entries.erase(it);
  if (leaf.entries.empty()) {
    RemoveNode(path, path.size() - 1);
  } else {
    Store(leaf);
    FixParentKey(path, path.size() - 1);
  }
}

}  // namespace jet
