#include "jet/index/index_bulk_load.h"

#include <algorithm>
#include <utility>

#include "jet/base/error.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"

namespace jet {

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

bool IndexBulkLoad::Fits(Pending& pending, const IndexEntry& entry) {
  std::vector<uint8_t>& stored = scratch_;
  stored.clear();
  entry.AppendStoredBytes(pending.node.leaf, stored);
  const size_t size = stored.size();
  if (pending.node.entries.empty()) {
    pending.first = stored;
    pending.stored_bytes = size;
    pending.prefix = std::min(size - 1, IndexNode::MaxPrefix(version_));
    return true;
  }
  // The prefix the page could share: what the first entry has in common
  // with every other, each keeping at least one byte of its own.
  const std::vector<uint8_t>& first = pending.first;
  const size_t limit = std::min(pending.prefix, size - 1);
  size_t common = 0;
  while (common < limit && first[common] == stored[common]) ++common;
  const size_t total = pending.stored_bytes + size;
  const size_t others = pending.node.entries.size();  // entries after the first
  const size_t capacity = IndexNode::Capacity(version_);
  const size_t used = total <= capacity ? total : total - common * others;
  if (used > capacity) return false;
  pending.stored_bytes = total;
  pending.prefix = common;
  return true;
}

IndexBulkLoad::Pending IndexBulkLoad::NewNode(size_t level, uint32_t page,
                                              uint32_t prev) const {
  Pending fresh;
  fresh.node.page = page;
  fresh.node.leaf = level == 0;
  fresh.node.table_page = table_page_;
  fresh.node.prev = prev;
  return fresh;
}

void IndexBulkLoad::Renew(Pending& pending, size_t level, uint32_t page,
                          uint32_t prev) {
  std::vector<IndexEntry> entries = std::move(pending.node.entries);
  for (IndexEntry& e : entries) spare_.push_back(std::move(e));
  entries.clear();
  std::vector<uint8_t> first = std::move(pending.first);
  first.clear();
  pending = NewNode(level, page, prev);
  pending.node.entries = std::move(entries);
  pending.first = std::move(first);
}

void IndexBulkLoad::AddSortBytes(ByteView sort_bytes) {
  IndexEntry entry;
  if (!spare_.empty()) {
    entry = std::move(spare_.back());
    spare_.pop_back();
  }
  entry.AssignSortBytes(sort_bytes);
  AddAt(0, std::move(entry));
}

void IndexBulkLoad::AddAt(size_t level, IndexEntry entry) {
  if (levels_.size() == level) levels_.push_back(NewNode(level, NewPage(), 0));
  if (!Fits(levels_[level], entry)) {
    const uint32_t next_page = NewPage();
    const uint32_t full_page = levels_[level].node.page;
    Write(level, next_page, /*to_parent=*/true);
    Renew(levels_[level], level, next_page, full_page);
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
  // No entry: the root is an empty leaf.
  if (levels_.empty()) levels_.push_back(NewNode(0, NewPage(), 0));
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
