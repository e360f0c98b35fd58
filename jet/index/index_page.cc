#include "jet/index/index_page.h"

#include <algorithm>
#include <set>

#include "jet/base/error.h"
#include "jet/storage/pager.h"
#include "jet/rows/table_definition.h"

namespace jet {

namespace {

namespace L = index_page_layout;

// No real index is deeper than this: even with 2-entry pages a tree this
// deep would hold more entries than a 2 GB file has bytes.
constexpr int kMaxDepth = 32;

std::string PageText(uint32_t page) {
  return "색인 페이지 " + std::to_string(page);
}

}  // namespace

std::vector<uint8_t> IndexPageEntry::SortBytes() const {
  std::vector<uint8_t> bytes = key;
  bytes.push_back(static_cast<uint8_t>(row.page >> 16));
  bytes.push_back(static_cast<uint8_t>(row.page >> 8));
  bytes.push_back(static_cast<uint8_t>(row.page));
  bytes.push_back(row.row);
  return bytes;
}

IndexPage DecodeIndexPage(JetVersion version, ByteView page, uint32_t number) {
  const L::Offsets& o = L::OffsetsOf(version);
  IndexPage result;
  result.number = number;
  uint8_t type = page.U8(0);
  if (type != kPageIndexNode && type != kPageIndexLeaf) {
    ThrowDamaged(PageText(number) + " 의 종류가 색인 페이지가 아닙니다 (" +
                 std::to_string(type) + ")");
  }
  result.leaf = type == kPageIndexLeaf;
  result.free_space = page.U16(L::kFreeSpaceOffset);
  result.owner = page.U32(L::kOwnerOffset);
  result.prev_page = page.U32(o.prev_page);
  result.next_page = page.U32(o.next_page);
  result.tail_page = page.U32(o.tail_page);
  result.prefix_length = o.prefix_length_size == 1 ? page.U8(o.prefix_length)
                                                   : page.U16(o.prefix_length);

  const size_t trailer =
      L::kRowPointerSize + (result.leaf ? 0 : L::kChildPointerSize);
  ByteView mask = page.Sub(o.mask, o.mask_size);
  std::vector<uint8_t> prefix;
  size_t start = 0;  // of the current entry, from the first entry's start
  for (size_t bit = 0; bit < o.mask_size * 8; ++bit) {
    if (!(mask.U8(bit / 8) & (1u << (bit % 8)))) continue;
    size_t end = bit;
    if (end <= start) continue;  // bit 0 would mark an empty first entry
    size_t stored = end - start;
    ByteView bytes = page.Sub(o.first_entry + start, stored);
    IndexPageEntry entry;
    entry.offset = static_cast<uint16_t>(o.first_entry + start);
    entry.stored_size = static_cast<uint16_t>(stored);
    std::vector<uint8_t> full;
    if (result.entries.empty()) {
      if (result.prefix_length > stored) {
        ThrowDamaged(PageText(number) + " 의 공유 접두사가 첫 항목보다 깁니다");
      }
      prefix.assign(bytes.data(), bytes.data() + result.prefix_length);
      full.assign(bytes.data(), bytes.data() + stored);
    } else {
      full = prefix;
      full.insert(full.end(), bytes.data(), bytes.data() + stored);
    }
    if (full.size() < trailer) {
      ThrowDamaged(PageText(number) + " 의 항목이 너무 짧습니다");
    }
    ByteView f(full.data(), full.size());
    size_t key_size = full.size() - trailer;
    entry.row.page = f.U24BigEndian(key_size);
    entry.row.row = f.U8(key_size + 3);
    if (!result.leaf) {
      size_t c = key_size + L::kRowPointerSize;
      entry.child_page =
          (static_cast<uint32_t>(f.U8(c)) << 24) | f.U24BigEndian(c + 1);
    }
    full.resize(key_size);
    entry.key = std::move(full);
    result.entries.push_back(std::move(entry));
    start = end;
  }
  result.data_end = o.first_entry + start;
  if (result.data_end > page.size()) {
    ThrowDamaged(PageText(number) + " 의 항목이 페이지 밖으로 나갑니다");
  }
  return result;
}

IndexWalkStats WalkIndexTree(
    Pager& pager, JetVersion version, uint32_t root_page, uint32_t owner,
    const std::function<void(const IndexLeafEntry&)>& visit) {
  IndexWalkStats stats;
  std::set<uint32_t> seen;
  uint32_t last_leaf_next = 0;  // the next link of the last leaf visited
  // Depth-first, left to right; each frame holds the children still to go
  // and the tail page that follows them.
  struct Frame {
    std::vector<uint32_t> children;
    size_t next = 0;
    uint32_t tail = 0;
  };
  std::vector<Frame> stack;
  auto load = [&](uint32_t number, int depth) {
    if (number == 0 || number >= pager.page_count()) {
      ThrowDamaged(PageText(number) + " 은(는) 파일 밖에 있습니다");
    }
    if (!seen.insert(number).second) {
      ThrowDamaged(PageText(number) + " 을(를) 두 번 만났습니다 (순환)");
    }
    if (depth > kMaxDepth) {
      ThrowDamaged(PageText(number) + " 의 색인 트리가 너무 깊습니다");
    }
    stats.depth = std::max(stats.depth, depth);
    PageRef p = pager.Get(number);
    IndexPage page = DecodeIndexPage(version, p->view(), number);
    if (owner != 0 && page.owner != owner) {
      ThrowDamaged(PageText(number) + " 은(는) 다른 테이블(" +
                   std::to_string(page.owner) + ")의 페이지입니다");
    }
    if (page.leaf) {
      ++stats.leaf_pages;
      last_leaf_next = page.next_page;
      for (IndexPageEntry& e : page.entries) {
        ++stats.entries;
        visit(IndexLeafEntry{std::move(e.key), e.row, number});
      }
      return;
    }
    ++stats.intermediate_pages;
    Frame frame;
    for (const IndexPageEntry& e : page.entries) {
      frame.children.push_back(e.child_page);
    }
    if (page.tail_page != 0 &&
        (frame.children.empty() || frame.children.back() != page.tail_page)) {
      frame.tail = page.tail_page;
    }
    stack.push_back(std::move(frame));
  };

  load(root_page, 0);
  while (!stack.empty()) {
    Frame& top = stack.back();
    int depth = static_cast<int>(stack.size());
    if (top.next < top.children.size()) {
      uint32_t child = top.children[top.next++];
      load(child, depth);
      continue;
    }
    uint32_t tail = top.tail;
    stack.pop_back();
    if (tail == 0) continue;
    // The tail is the last child. Files of earlier versions of this
    // program may hold leaves that nothing names between the last named
    // child and a tail leaf; the leaf links reach them.
    if (tail < pager.page_count() && pager.Get(tail)->type() == kPageIndexLeaf) {
      while (last_leaf_next != 0 && last_leaf_next != tail &&
             !seen.count(last_leaf_next)) {
        load(last_leaf_next, depth);
      }
    }
    load(tail, depth);
  }
  return stats;
}

std::vector<IndexLeafEntry> ReadIndexLeafEntries(Pager& pager,
                                                 JetVersion version,
                                                 const RealIndex& index,
                                                 uint32_t owner) {
  std::vector<IndexLeafEntry> entries;
  WalkIndexTree(pager, version, index.first_page, owner,
                [&](const IndexLeafEntry& e) { entries.push_back(e); });
  return entries;
}

std::string HexBytes(const std::vector<uint8_t>& bytes) {
  static constexpr char kDigits[] = "0123456789abcdef";
  std::string out;
  for (size_t i = 0; i < bytes.size(); ++i) {
    if (i) out += ' ';
    out += kDigits[bytes[i] >> 4];
    out += kDigits[bytes[i] & 0x0F];
  }
  return out;
}

}  // namespace jet
