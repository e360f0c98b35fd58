#include "jet/check/index_tree_check.h"

#include <optional>
#include <set>

#include "jet/base/error.h"
#include "jet/index/index_page.h"
#include "jet/storage/pager.h"

namespace jet {

namespace {

// Deeper trees do not fit a 2 GB file; more levels mean the links loop.
constexpr size_t kMaxDepth = 32;

class Walker {
 public:
  Walker(Pager& pager, JetVersion version, const IndexTreeSubject& subject,
         std::vector<Finding>& findings, IndexTreeWalk& walk)
      : pager_(pager),
        version_(version),
        subject_(subject),
        findings_(findings),
        walk_(walk) {}

  void Run();

 private:
  // An intermediate page with the children still to visit.
  struct Frame {
    IndexPage node;
    size_t next = 0;        // the next entry's child to visit
    bool tail_done = false;  // the tail was visited (or there is none)
    int leaf_children = -1;  // whether the named children are leaves
  };

  void Report(FindingKind kind, uint32_t page, const std::string& message) {
    findings_.push_back(Finding{
        kind, page, -1, subject_.table_name,
        "색인 " + std::to_string(subject_.index_number) + ": " + message});
  }

  std::optional<IndexPage> Load(uint32_t page);
  // The leaf `leaf`, reached through entries and tails (`descended`) or
  // through the leaf links only.
  void VisitLeaf(const IndexPage& leaf, bool descended);
  // Checks the child `child` of the entry `at` of `parent`.
  void CheckBounds(const IndexPage& parent, size_t at, const IndexPage& child);
  // The tail of the page on top of `stack`, after its named children: a
  // leaf is visited (after any leaves only the links reach before it), an
  // intermediate page is pushed.
  void VisitTail(std::vector<Frame>& stack);
  // Leaves the links reach before `tail` that nothing names, visited and
  // reported as such; `parent` names the page they hang under.
  void VisitLinkedOnly(uint32_t parent, uint32_t tail);

  Pager& pager_;
  JetVersion version_;
  const IndexTreeSubject& subject_;
  std::vector<Finding>& findings_;
  IndexTreeWalk& walk_;
  std::set<uint32_t> seen_;
  // The leaf level as met so far.
  uint32_t last_leaf_ = 0;
  uint32_t last_leaf_next_ = 0;
  std::vector<uint8_t> last_entry_;
  bool has_last_entry_ = false;
};

std::optional<IndexPage> Walker::Load(uint32_t page) {
  if (page == 0 || page >= pager_.page_count()) {
    Report(FindingKind::kIndexTree, 0,
           "파일 밖의 페이지 " + std::to_string(page) + " 을(를) 가리킵니다");
    walk_.complete = false;
    return std::nullopt;
  }
  if (!seen_.insert(page).second) {
    Report(FindingKind::kIndexTree, page,
           "페이지가 두 번 연결되어 있습니다 (순환)");
    walk_.complete = false;
    return std::nullopt;
  }
  try {
    PageRef p = pager_.Get(page);
    IndexPage node = DecodeIndexPage(version_, p->view(), page);
    walk_.pages.push_back(page);
    if (node.owner != subject_.table_page) {
      Report(FindingKind::kWrongPageType, page,
             "다른 테이블(정의 페이지 " + std::to_string(node.owner) +
                 ")의 색인 페이지입니다");
    }
    if (node.free_space + node.data_end == pager_.page_size()) {
      ++walk_.free_space_agreeing;
    } else {
      Report(FindingKind::kFreeSpaceField, page,
             "빈 공간 필드가 " + std::to_string(node.free_space) +
                 " 이지만 실제 빈 공간은 " +
                 std::to_string(pager_.page_size() - node.data_end) +
                 " 입니다");
    }
    return node;
  } catch (const Error& e) {
    Report(FindingKind::kIndexTree, page, e.description());
    walk_.complete = false;
    return std::nullopt;
  }
}

void Walker::VisitLeaf(const IndexPage& leaf, bool descended) {
  if (last_leaf_ == 0) {
    if (leaf.prev_page != 0) {
      Report(FindingKind::kIndexTree, leaf.number,
             "첫 잎 페이지인데 이전 페이지가 " +
                 std::to_string(leaf.prev_page) + " 입니다");
    }
  } else {
    if (last_leaf_next_ != leaf.number) {
      Report(FindingKind::kIndexTree, last_leaf_,
             "다음 페이지가 " + std::to_string(last_leaf_next_) +
                 " 이지만 트리에서 다음 잎은 " + std::to_string(leaf.number) +
                 " 입니다");
    }
    if (leaf.prev_page != last_leaf_) {
      Report(FindingKind::kIndexTree, leaf.number,
             "이전 페이지가 " + std::to_string(leaf.prev_page) +
                 " 이지만 트리에서 앞 잎은 " + std::to_string(last_leaf_) +
                 " 입니다");
    }
  }
  bool reported_order = false;
  for (const IndexPageEntry& e : leaf.entries) {
    std::vector<uint8_t> bytes = e.SortBytes();
    if (has_last_entry_ && !(last_entry_ < bytes) && !reported_order) {
      Report(FindingKind::kIndexOrder, leaf.number,
             "항목이 바이트 순서대로 놓여 있지 않습니다 (행 " +
                 std::to_string(e.row.page) + ":" + std::to_string(e.row.row) +
                 ")");
      reported_order = true;
    }
    last_entry_ = std::move(bytes);
    has_last_entry_ = true;
    walk_.rows.push_back(e.row.Packed());
  }
  ++walk_.leaf_pages;
  if (descended) {
    walk_.descended_entries += leaf.entries.size();
  } else {
    ++walk_.linked_only_leaves;
  }
  last_leaf_ = leaf.number;
  last_leaf_next_ = leaf.next_page;
}

void Walker::CheckBounds(const IndexPage& parent, size_t at,
                         const IndexPage& child) {
  if (child.entries.empty()) {
    Report(FindingKind::kIndexTree, child.number,
           "중간 페이지 " + std::to_string(parent.number) +
               " 이(가) 가리키는 페이지에 항목이 없습니다");
    return;
  }
  if (at < parent.entries.size()) {
    std::vector<uint8_t> upper = parent.entries[at].SortBytes();
    std::vector<uint8_t> last = child.entries.back().SortBytes();
    if (last == upper) {
      ++walk_.parent_entries_equal;
    } else if (last < upper) {
      ++walk_.parent_entries_greater;
    } else {
      Report(FindingKind::kIndexTree, parent.number,
             "중간 항목이 자식 페이지 " + std::to_string(child.number) +
                 " 의 마지막 항목보다 작습니다");
    }
  }
  if (at > 0 && !(parent.entries[at - 1].SortBytes() <
                  child.entries.front().SortBytes())) {
    Report(FindingKind::kIndexTree, parent.number,
           "자식 페이지 " + std::to_string(child.number) +
               " 의 첫 항목이 앞 중간 항목보다 크지 않습니다");
  }
}

void Walker::VisitLinkedOnly(uint32_t parent, uint32_t tail) {
  uint32_t first = 0;
  size_t leaves = 0, entries = 0;
  if (last_leaf_ == 0) {
    // No leaf yet (a page whose tail is its only named child): the leaves
    // linked before the tail.
    uint32_t at = tail;
    std::set<uint32_t> chain;
    while (chain.insert(at).second && chain.size() <= pager_.page_count()) {
      try {
        if (at == 0 || at >= pager_.page_count()) break;
        PageRef p = pager_.Get(at);
        IndexPage leaf = DecodeIndexPage(version_, p->view(), at);
        if (!leaf.leaf || leaf.prev_page == 0 || seen_.count(leaf.prev_page))
          break;
        at = leaf.prev_page;
      } catch (const Error&) {
        break;  // reported when the tail is loaded
      }
    }
    if (at == tail) return;
    std::optional<IndexPage> leaf = Load(at);
    if (!leaf || !leaf->leaf) return;
    first = at;
    ++leaves;
    entries += leaf->entries.size();
    VisitLeaf(*leaf, /*descended=*/false);
  }
  while (last_leaf_next_ != 0 && last_leaf_next_ != tail &&
         !seen_.count(last_leaf_next_)) {
    try {
      PageRef p = pager_.Get(last_leaf_next_);
      if (last_leaf_next_ >= pager_.page_count() ||
          p->type() != kPageIndexLeaf) {
        break;  // the links are reported where the tail is visited
      }
    } catch (const Error&) {
      break;
    }
    std::optional<IndexPage> leaf = Load(last_leaf_next_);
    if (!leaf) return;
    if (first == 0) first = leaf->number;
    ++leaves;
    entries += leaf->entries.size();
    VisitLeaf(*leaf, /*descended=*/false);
  }
  if (leaves == 0) return;
  Report(FindingKind::kIndexTree, parent,
         "잎 페이지 " + std::to_string(leaves) + "개(" + std::to_string(first) +
             " 부터)가 중간 페이지의 항목이나 꼬리로 닿지 않고 잎 연결로만 "
             "닿습니다: 트리를 따라 찾는 프로그램(Access, Jackcess)은 그 "
             "항목 " +
             std::to_string(entries) + "개를 찾지 못합니다");
}

void Walker::VisitTail(std::vector<Frame>& stack) {
  Frame& top = stack.back();
  top.tail_done = true;
  const uint32_t tail = top.node.tail_page;
  const uint32_t parent = top.node.number;
  if (tail == 0) return;
  for (const IndexPageEntry& e : top.node.entries) {
    if (e.child_page == tail) {
      Report(FindingKind::kIndexTree, parent,
             "꼬리 페이지 " + std::to_string(tail) +
                 " 을(를) 항목도 가리킵니다: 한 자식을 두 번 가리키는 "
                 "중간 페이지는 Jackcess가 읽지 못합니다");
      return;
    }
  }
  bool tail_is_leaf = false;
  try {
    if (tail < pager_.page_count()) {
      tail_is_leaf = pager_.Get(tail)->type() == kPageIndexLeaf;
    }
  } catch (const Error&) {
    // reported by Load below
  }
  const int leaf_children = top.leaf_children;
  if (leaf_children >= 0 && leaf_children != (tail_is_leaf ? 1 : 0)) {
    Report(FindingKind::kIndexTree, parent,
           "꼬리 페이지 " + std::to_string(tail) +
               " 이(가) 항목이 가리키는 자식들과 다른 단계에 있습니다");
  }
  if (tail_is_leaf) VisitLinkedOnly(parent, tail);
  std::optional<IndexPage> child = Load(tail);
  if (!child) return;
  Frame& now = stack.back();  // `top` may have moved
  CheckBounds(now.node, now.node.entries.size(), *child);
  if (child->leaf) {
    ++walk_.tail_leaves;
    VisitLeaf(*child, /*descended=*/true);
    return;
  }
  if (stack.size() >= kMaxDepth) {
    Report(FindingKind::kIndexTree, child->number, "트리가 너무 깊습니다");
    walk_.complete = false;
    return;
  }
  ++walk_.intermediate_pages;
  stack.push_back(Frame{std::move(*child)});
}

void Walker::Run() {
  std::optional<IndexPage> root = Load(subject_.root);
  if (!root) return;
  if (root->next_page != 0 || root->prev_page != 0) {
    Report(FindingKind::kIndexTree, root->number,
           "루트 페이지에 이전/다음 페이지가 있습니다");
  }
  if (root->leaf) {
    VisitLeaf(*root, /*descended=*/true);
  } else {
    ++walk_.intermediate_pages;
    std::vector<Frame> stack;
    stack.push_back(Frame{std::move(*root)});
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next < top.node.entries.size()) {
        size_t at = top.next++;
        std::optional<IndexPage> child = Load(top.node.entries[at].child_page);
        if (!child) continue;
        top.leaf_children = child->leaf ? 1 : 0;
        CheckBounds(top.node, at, *child);
        if (child->leaf) {
          VisitLeaf(*child, /*descended=*/true);
          continue;
        }
        if (stack.size() >= kMaxDepth) {
          Report(FindingKind::kIndexTree, child->number,
                 "트리가 너무 깊습니다");
          walk_.complete = false;
          continue;
        }
        ++walk_.intermediate_pages;
        stack.push_back(Frame{std::move(*child)});  // `top` is invalid now
        continue;
      }
      if (!top.tail_done) {
        VisitTail(stack);
        continue;
      }
      if (top.node.entries.empty() && top.node.tail_page == 0) {
        Report(FindingKind::kIndexTree, top.node.number,
               "항목이 없는 중간 페이지입니다");
      }
      stack.pop_back();
    }
  }
  if (last_leaf_ != 0 && last_leaf_next_ != 0) {
    Report(FindingKind::kIndexTree, last_leaf_,
           "마지막 잎 페이지의 다음 페이지가 " +
               std::to_string(last_leaf_next_) +
               " 이지만 트리는 그 페이지를 가리키지 않습니다");
  }
}

}  // namespace

IndexTreeWalk CheckIndexTree(Pager& pager, JetVersion version,
                             const IndexTreeSubject& subject,
                             std::vector<Finding>& findings) {
  IndexTreeWalk walk;
  Walker(pager, version, subject, findings, walk).Run();
  return walk;
}

}  // namespace jet
