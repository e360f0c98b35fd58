#include "jet/index_tree_check.h"

#include <optional>
#include <set>

#include "jet/error.h"
#include "jet/index_page.h"
#include "jet/pager.h"

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
    size_t next = 0;
  };

  void Report(FindingKind kind, uint32_t page, const std::string& message) {
    findings_.push_back(Finding{
        kind, page, -1, subject_.table_name,
        "색인 " + std::to_string(subject_.index_number) + ": " + message});
  }

  std::optional<IndexPage> Load(uint32_t page);
  void VisitLeaf(const IndexPage& leaf);
  // Checks the child `child` of the entry `at` of `parent`.
  void CheckBounds(const IndexPage& parent, size_t at, const IndexPage& child);
  // After the last child of `parent`: the leaves up to its tail page.
  void FollowTail(const IndexPage& parent);

  Pager& pager_;
  JetVersion version_;
  const IndexTreeSubject& subject_;
  std::vector<Finding>& findings_;
  IndexTreeWalk& walk_;
  std::set<uint32_t> seen_;
  // Intermediate levels below the root as met so far, by depth.
  struct LevelEnd {
    uint32_t page = 0;
    uint32_t next = 0;
  };
  std::vector<LevelEnd> levels_;
  void VisitIntermediate(const IndexPage& node, size_t depth);
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

void Walker::VisitLeaf(const IndexPage& leaf) {
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
  last_leaf_ = leaf.number;
  last_leaf_next_ = leaf.next_page;
}

void Walker::VisitIntermediate(const IndexPage& node, size_t depth) {
  ++walk_.intermediate_pages;
  if (levels_.size() <= depth) levels_.resize(depth + 1);
  LevelEnd& end = levels_[depth];
  if (end.page == 0) {
    if (node.prev_page != 0) {
      Report(FindingKind::kIndexTree, node.number,
             "단계의 첫 중간 페이지인데 이전 페이지가 " +
                 std::to_string(node.prev_page) + " 입니다");
    }
  } else if (end.next != node.number || node.prev_page != end.page) {
    Report(FindingKind::kIndexTree, node.number,
           "중간 페이지 " + std::to_string(end.page) + " 와(과) " +
               std::to_string(node.number) +
               " 이(가) 이전/다음 페이지로 이어져 있지 않습니다");
  }
  end.page = node.number;
  end.next = node.next_page;
}

void Walker::CheckBounds(const IndexPage& parent, size_t at,
                         const IndexPage& child) {
  if (child.entries.empty()) {
    Report(FindingKind::kIndexTree, child.number,
           "중간 페이지 " + std::to_string(parent.number) +
               " 이(가) 가리키는 페이지에 항목이 없습니다");
    return;
  }
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
  if (at > 0 && !(parent.entries[at - 1].SortBytes() <
                  child.entries.front().SortBytes())) {
    Report(FindingKind::kIndexTree, parent.number,
           "자식 페이지 " + std::to_string(child.number) +
               " 의 첫 항목이 앞 중간 항목보다 크지 않습니다");
  }
}

void Walker::FollowTail(const IndexPage& parent) {
  uint32_t tail = parent.tail_page;
  if (tail == 0 || tail == last_leaf_) return;
  if (last_leaf_ == 0) {
    // No leaf yet (an intermediate page whose entries all went): the
    // chain is the tail page and the leaves linked before it.
    uint32_t first = tail;
    std::set<uint32_t> chain;
    while (chain.insert(first).second && chain.size() <= pager_.page_count()) {
      std::optional<IndexPage> leaf;
      try {
        if (first == 0 || first >= pager_.page_count()) break;
        PageRef p = pager_.Get(first);
        leaf = DecodeIndexPage(version_, p->view(), first);
      } catch (const Error&) {
        break;  // reported when the chain is walked below
      }
      if (leaf->prev_page == 0 || seen_.count(leaf->prev_page)) break;
      first = leaf->prev_page;
    }
    std::optional<IndexPage> leaf = Load(first);
    if (!leaf) return;
    if (!leaf->leaf) {
      Report(FindingKind::kIndexTree, leaf->number,
             "꼬리 포인터가 잎 페이지가 아닌 페이지를 가리킵니다");
      walk_.complete = false;
      return;
    }
    ++walk_.tail_leaves;
    VisitLeaf(*leaf);
  }
  while (last_leaf_ != tail) {
    if (last_leaf_next_ == 0) {
      Report(FindingKind::kIndexTree, parent.number,
             "꼬리 페이지 " + std::to_string(tail) +
                 " 이(가) 잎 페이지의 연결에 없습니다");
      return;
    }
    std::optional<IndexPage> leaf = Load(last_leaf_next_);
    if (!leaf) return;
    if (!leaf->leaf) {
      Report(FindingKind::kIndexTree, leaf->number,
             "잎 페이지의 연결이 중간 페이지로 이어집니다");
      walk_.complete = false;
      return;
    }
    ++walk_.tail_leaves;
    VisitLeaf(*leaf);
  }
}

void Walker::Run() {
  std::optional<IndexPage> root = Load(subject_.root);
  if (!root) return;
  if (root->next_page != 0 || root->prev_page != 0) {
    Report(FindingKind::kIndexTree, root->number,
           "루트 페이지에 이전/다음 페이지가 있습니다");
  }
  if (root->leaf) {
    VisitLeaf(*root);
  } else {
    ++walk_.intermediate_pages;
    std::vector<Frame> stack;
    stack.push_back(Frame{std::move(*root)});
    while (!stack.empty()) {
      Frame& top = stack.back();
      if (top.next >= top.node.entries.size()) {
        if (top.node.entries.empty() && top.node.tail_page == 0) {
          Report(FindingKind::kIndexTree, top.node.number,
                 "항목이 없는 중간 페이지입니다");
        }
        IndexPage done = std::move(top.node);
        stack.pop_back();
        FollowTail(done);
        continue;
      }
      size_t at = top.next++;
      std::optional<IndexPage> child = Load(top.node.entries[at].child_page);
      if (!child) continue;
      CheckBounds(top.node, at, *child);
      if (child->leaf) {
        VisitLeaf(*child);
        continue;
      }
      if (stack.size() >= kMaxDepth) {
        Report(FindingKind::kIndexTree, child->number, "트리가 너무 깊습니다");
        walk_.complete = false;
        continue;
      }
      VisitIntermediate(*child, stack.size());
      stack.push_back(Frame{std::move(*child)});  // `top` is invalid now
    }
  }
  for (const LevelEnd& end : levels_) {
    if (end.page != 0 && end.next != 0) {
      Report(FindingKind::kIndexTree, end.page,
             "단계의 마지막 중간 페이지인데 다음 페이지가 " +
                 std::to_string(end.next) + " 입니다");
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
