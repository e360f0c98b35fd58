#include "jet/index_node.h"

#include <algorithm>

#include "jet/error.h"

namespace jet {

namespace {

struct Layout {
  size_t prev, next, tail, prefix, prefix_size, intermediate_flag, mask,
      first_entry;
};
constexpr Layout kJet3 = {0x08, 0x0C, 0x10, 0x14, 1, 0x15, 0x16, 0xF8};
constexpr Layout kJet4 = {0x0C, 0x10, 0x14, 0x18, 2, 0x1A, 0x1B, 0x1E0};

const Layout& LayoutOf(JetVersion v) {
  return v == JetVersion::kJet3 ? kJet3 : kJet4;
}

constexpr size_t kRowPointerSize = 4;
constexpr size_t kChildSize = 4;

void Put32(std::vector<uint8_t>& p, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[at + i] = static_cast<uint8_t>(v >> (8 * i));
}

// The longest prefix all entries share, leaving each at least one byte of
// its own, within what the version's prefix field can hold.
size_t SharedPrefix(const std::vector<std::vector<uint8_t>>& stored,
                    JetVersion version) {
  if (stored.size() < 2) return 0;
  const std::vector<uint8_t>& first = stored.front();
  size_t n = first.size() - 1;
  for (size_t k = 1; k < stored.size(); ++k) {
    const std::vector<uint8_t>& e = stored[k];
    size_t limit = std::min(n, e.size() - 1);
    size_t i = 0;
    while (i < limit && first[i] == e[i]) ++i;
    n = i;
  }
  return std::min(n, IndexNode::MaxPrefix(version));
}

}  // namespace

std::vector<uint8_t> IndexEntry::SortBytes() const {
  std::vector<uint8_t> b = key;
  b.push_back(static_cast<uint8_t>(row.page >> 16));
  b.push_back(static_cast<uint8_t>(row.page >> 8));
  b.push_back(static_cast<uint8_t>(row.page));
  b.push_back(row.row);
  return b;
}

std::vector<uint8_t> IndexEntry::StoredBytes(bool leaf) const {
  std::vector<uint8_t> b = SortBytes();
  if (!leaf) {
    for (int i = 3; i >= 0; --i) b.push_back(static_cast<uint8_t>(child >> (8 * i)));
  }
  return b;
}

IndexEntry IndexEntry::FromSortBytes(ByteView sort_bytes) {
  const size_t key_size = sort_bytes.size() - kRowPointerSize;
  IndexEntry entry;
  entry.key.assign(sort_bytes.data(), sort_bytes.data() + key_size);
  entry.row.page = sort_bytes.U24BigEndian(key_size);
  entry.row.row = sort_bytes.U8(key_size + 3);
  return entry;
}

bool EntryLess(const IndexEntry& a, const IndexEntry& b) {
  return a.SortBytes() < b.SortBytes();
}

size_t IndexNode::MaxPrefix(JetVersion version) {
  return version == JetVersion::kJet3 ? 0xFF : 0xFFFF;
}

size_t IndexNode::Capacity(JetVersion version) {
  return PageSizeOf(version) - LayoutOf(version).first_entry;
}

size_t IndexNode::EntryBytes() const {
  std::vector<std::vector<uint8_t>> stored;
  stored.reserve(entries.size());
  size_t n = 0;
  for (const IndexEntry& e : entries) {
    stored.push_back(e.StoredBytes(leaf));
    n += stored.back().size();
  }
  // The prefix depends on the version only through its cap, far above
  // what a page can share; Jet 4's cap is used.
  if (n <= Capacity(JetVersion::kJet4)) return n;
  size_t prefix = SharedPrefix(stored, JetVersion::kJet4);
  return stored.empty() ? 0 : n - prefix * (stored.size() - 1);
}

IndexNode IndexNode::Decode(JetVersion version, uint32_t page_number,
                            ByteView p) {
  const Layout& L = LayoutOf(version);
  IndexNode node;
  node.page = page_number;
  uint8_t type = p.U8(0);
  if (type != kPageIndexNode && type != kPageIndexLeaf) {
    ThrowDamaged("페이지 " + std::to_string(page_number) + " 은(는) 색인 페이지가 아닙니다");
  }
  node.leaf = type == kPageIndexLeaf;
  node.table_page = p.U32(0x04);
  node.prev = p.U32(L.prev);
  node.next = p.U32(L.next);
  node.tail = p.U32(L.tail);
  ByteView head = p.Sub(0, L.mask);
  node.header.assign(head.data(), head.data() + head.size());
  size_t prefix = L.prefix_size == 1 ? p.U8(L.prefix) : p.U16(L.prefix);
  size_t tail_size = kRowPointerSize + (node.leaf ? 0 : kChildSize);

  std::vector<size_t> ends;
  for (size_t i = L.mask; i < L.first_entry; ++i) {
    uint8_t b = p.U8(i);
    for (int bit = 0; b && bit < 8; ++bit) {
      if (b & (1u << bit)) ends.push_back(L.first_entry + (i - L.mask) * 8 + bit);
    }
  }
  size_t start = L.first_entry;
  std::vector<uint8_t> first_bytes;
  for (size_t k = 0; k < ends.size(); ++k) {
    size_t end = ends[k];
    if (end <= start || end > p.size()) ThrowDamaged("색인 항목의 위치가 잘못되었습니다");
    ByteView stored = p.Sub(start, end - start);
    std::vector<uint8_t> bytes;
    if (k == 0) {
      bytes.assign(stored.data(), stored.data() + stored.size());
      first_bytes = bytes;
    } else {
      if (prefix > first_bytes.size()) ThrowDamaged("색인 접두사 길이가 잘못되었습니다");
      bytes.assign(first_bytes.begin(), first_bytes.begin() + prefix);
      bytes.insert(bytes.end(), stored.data(), stored.data() + stored.size());
    }
    if (bytes.size() < tail_size) ThrowDamaged("색인 항목이 너무 짧습니다");
    ByteView e(bytes.data(), bytes.size());
    size_t key_size = bytes.size() - tail_size;
    IndexEntry entry = IndexEntry::FromSortBytes(e.Sub(0, key_size + kRowPointerSize));
    if (!node.leaf) {
      entry.child = (static_cast<uint32_t>(e.U8(key_size + 4)) << 24) |
                    e.U24BigEndian(key_size + 5);
    }
    node.entries.push_back(std::move(entry));
    start = end;
  }
  return node;
}

std::optional<std::vector<uint8_t>> IndexNode::Encode(JetVersion version) const {
  const Layout& L = LayoutOf(version);
  std::vector<std::vector<uint8_t>> stored;
  stored.reserve(entries.size());
  size_t total = 0;
  for (const IndexEntry& e : entries) {
    stored.push_back(e.StoredBytes(leaf));
    total += stored.back().size();
  }
  // Like Access, a shared prefix only on pages that need it to hold their
  // entries.
  size_t prefix = total > Capacity(version) ? SharedPrefix(stored, version) : 0;
  size_t used = stored.empty() ? 0 : total - prefix * (stored.size() - 1);
  if (used > Capacity(version)) return std::nullopt;

  std::vector<uint8_t> p(PageSizeOf(version), 0);
  if (header.size() == L.mask) std::copy(header.begin(), header.end(), p.begin());
  p[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
  p[1] = 0x01;
  Put32(p, 0x04, table_page);
  Put32(p, L.prev, prev);
  Put32(p, L.next, next);
  Put32(p, L.tail, leaf ? 0 : tail);
  p[L.prefix] = static_cast<uint8_t>(prefix);
  if (L.prefix_size == 2) p[L.prefix + 1] = static_cast<uint8_t>(prefix >> 8);
  p[L.intermediate_flag] = leaf ? 0 : 1;
  size_t at = L.first_entry;
  for (size_t k = 0; k < stored.size(); ++k) {
    size_t skip = k == 0 ? 0 : prefix;
    std::copy(stored[k].begin() + skip, stored[k].end(), p.begin() + at);
    at += stored[k].size() - skip;
    size_t bit = at - L.first_entry;
    p[L.mask + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
  size_t free_space = p.size() - at;
  p[2] = static_cast<uint8_t>(free_space);
  p[3] = static_cast<uint8_t>(free_space >> 8);
  return p;
}

}  // namespace jet
