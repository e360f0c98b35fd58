#include "jet/index_bulk_load.h"

#include <algorithm>
#include <utility>

#include "jet/error.h"
#include "jet/page_allocator.h"
#include "jet/pager.h"

namespace jet {

namespace {

constexpr size_t kRowPointerSize = 4;
constexpr size_t kChildSize = 4;

// An entry's bytes as a page stores them (see index_node.h).
std::vector<uint8_t> StoredForm(const IndexEntry& e, bool leaf) {
  std::vector<uint8_t> b = e.SortBytes();
  if (!leaf) {
    for (int i = 3; i >= 0; --i) {
      b.push_back(static_cast<uint8_t>(e.child >> (8 * i)));
    }
  }
  return b;
}

size_t MaxPrefix(JetVersion version) {
  return version == JetVersion::kJet3 ? 0xFF : 0xFFFF;
}

}  // namespace

IndexBulkLoad::IndexBulkLoad(Pager& pager, JetVersion version,
                             PageAllocator& allocator, uint32_t table_page,
                             RowPointer usage_map)
    : pager_(pager),
      version_(version),
      allocator_(allocator),
      table_page_(table_page),
      usage_map_(usage_map) {}

uint32_t IndexBulkLoad::NewPage() {
  uint32_t page = allocator_.Allocate();
  if (!SetUsageMapBit(pager_, version_, usage_map_, page, true, &allocator_)) {
    ThrowDamaged("색인의 사용 맵에 페이지를 기록할 수 없습니다");
  }
  return page;
}

bool IndexBulkLoad::Fits(Pending& pending, const IndexEntry& entry) const {
  const bool leaf = pending.node.leaf;
  const size_t size =
      entry.key.size() + kRowPointerSize + (leaf ? 0 : kChildSize);
  if (pending.node.entries.empty()) {
    pending.first = StoredForm(entry, leaf);
    pending.stored_bytes = size;
    pending.prefix = std::min(size - 1, MaxPrefix(version_));
    return true;
  }
  // The prefix the page could share: what the first entry has in common
  // with every other, each keeping at least one byte of its own.
  // The entry's stored bytes one at a time (key, row pointer, child), so
  // that no copy of it is made for the comparison.
  auto byte_at = [&entry](size_t j) -> uint8_t {
    const size_t n = entry.key.size();
    if (j < n) return entry.key[j];
    j -= n;
    if (j < kRowPointerSize) {
      const uint32_t page = entry.row.page;
      return j == 3 ? entry.row.row : static_cast<uint8_t>(page >> (8 * (2 - j)));
    }
    return static_cast<uint8_t>(entry.child >> (8 * (3 - (j - kRowPointerSize))));
  };
  const std::vector<uint8_t>& first = pending.first;
  const size_t limit = std::min(pending.prefix, size - 1);
  size_t common = 0;
  while (common < limit && first[common] == byte_at(common)) ++common;
  const size_t total = pending.stored_bytes + size;
  const size_t others = pending.node.entries.size();  // entries after the first
  const size_t capacity = IndexNode::Capacity(version_);
  const size_t used = total <= capacity ? total : total - common * others;
  if (used > capacity) return false;
  pending.stored_bytes = total;
  pending.prefix = common;
  return true;
}

void IndexBulkLoad::Add(IndexEntry entry) { AddAt(0, std::move(entry)); }

void IndexBulkLoad::AddAt(size_t level, IndexEntry entry) {
  if (levels_.size() == level) {
    Pending fresh;
    fresh.node.page = NewPage();
    fresh.node.leaf = level == 0;
    fresh.node.table_page = table_page_;
    levels_.push_back(std::move(fresh));
  }
  if (!Fits(levels_[level], entry)) {
    const uint32_t next_page = NewPage();
    const uint32_t full_page = levels_[level].node.page;
    Write(level, next_page, /*to_parent=*/true);
    Pending fresh;
    fresh.node.page = next_page;
    fresh.node.leaf = level == 0;
    fresh.node.table_page = table_page_;
    fresh.node.prev = full_page;
    levels_[level] = std::move(fresh);
    Fits(levels_[level], entry);
  }
  levels_[level].node.entries.push_back(std::move(entry));
}

void IndexBulkLoad::Write(size_t level, uint32_t next, bool to_parent) {
  IndexNode& node = levels_[level].node;
  node.next = next;
  std::optional<std::vector<uint8_t>> bytes = node.Encode(version_);
  if (!bytes) ThrowDamaged("색인 항목이 페이지에 들어가지 않습니다");
  pager_.Put(node.page, std::move(*bytes));
  if (!to_parent) return;
  IndexEntry up = node.entries.back();
  up.child = node.page;
  AddAt(level + 1, std::move(up));
}

uint32_t IndexBulkLoad::Finish() {
  if (levels_.empty()) {
    IndexNode root;
    root.page = NewPage();
    root.leaf = true;
    root.table_page = table_page_;
    std::optional<std::vector<uint8_t>> bytes = root.Encode(version_);
    if (!bytes) ThrowDamaged("빈 색인 페이지를 만들 수 없습니다");
    pager_.Put(root.page, std::move(*bytes));
    return root.page;
  }
  // Each level's last node goes up to the level above, until a level that
  // only ever had one node: the root.
  for (size_t level = 0;; ++level) {
    const bool top = level + 1 == levels_.size();
    if (top && levels_[level].node.prev == 0) {
      Write(level, 0, /*to_parent=*/false);
      uint32_t root = levels_[level].node.page;
      levels_.clear();
      return root;
    }
    Write(level, 0, /*to_parent=*/true);
  }
}

}  // namespace jet
