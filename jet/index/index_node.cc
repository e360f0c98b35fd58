#include "jet/index/index_node.h"

#include <algorithm>
#include <bit>
#include <cstring>

#include "jet/base/error.h"

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

}  // namespace

void SetIndexNodePrev(JetVersion version, std::vector<uint8_t>& page,
                      uint32_t prev) {
  Put32(page, LayoutOf(version).prev, prev);
}

void SetIndexNodeNext(JetVersion version, std::vector<uint8_t>& page,
                      uint32_t next) {
  Put32(page, LayoutOf(version).next, next);
}

void AppendSortBytes(const std::vector<uint8_t>& key, RowPointer row,
                     std::vector<uint8_t>& out) {
  out.insert(out.end(), key.begin(), key.end());
  out.push_back(static_cast<uint8_t>(row.page >> 16));
  out.push_back(static_cast<uint8_t>(row.page >> 8));
  out.push_back(static_cast<uint8_t>(row.page));
  out.push_back(row.row);
}

std::vector<uint8_t> IndexEntry::SortBytes() const {
  std::vector<uint8_t> b;
  b.reserve(key.size() + kRowPointerSize);
  AppendSortBytes(key, row, b);
  return b;
}

void IndexEntry::AppendStoredBytes(bool leaf, std::vector<uint8_t>& out) const {
  AppendSortBytes(key, row, out);
  if (!leaf) {
    for (int i = 3; i >= 0; --i)
      out.push_back(static_cast<uint8_t>(child >> (8 * i)));
  }
}

void IndexEntry::AssignSortBytes(ByteView sort_bytes) {
  const size_t key_size = sort_bytes.size() - kRowPointerSize;
  key.assign(sort_bytes.data(), sort_bytes.data() + key_size);
  row.page = sort_bytes.U24BigEndian(key_size);
  row.row = sort_bytes.U8(key_size + 3);
  child = 0;
}

namespace {

// The bytes of an entry as a page stores it (key, page big-endian, row,
// and on intermediate pages the child page big-endian), read one at a time
// without building them. Without `with_child` they are its sort bytes.
class StoredBytesOf {
 public:
  StoredBytesOf(const IndexEntry& e, bool with_child)
      : key_(e.key.data()),
        key_size_(e.key.size()),
        tail_size_(with_child ? kRowPointerSize + kChildSize : kRowPointerSize),
        tail_{static_cast<uint8_t>(e.row.page >> 16),
              static_cast<uint8_t>(e.row.page >> 8),
              static_cast<uint8_t>(e.row.page),
              e.row.row,
              static_cast<uint8_t>(e.child >> 24),
              static_cast<uint8_t>(e.child >> 16),
              static_cast<uint8_t>(e.child >> 8),
              static_cast<uint8_t>(e.child)} {}
  size_t size() const { return key_size_ + tail_size_; }
  uint8_t operator[](size_t i) const {
    return i < key_size_ ? key_[i] : tail_[i - key_size_];
  }
  const uint8_t* key() const { return key_; }
  size_t key_size() const { return key_size_; }
  // Writes bytes [from, size()) to `out`.
  void CopyFrom(size_t from, uint8_t* out) const {
    if (from < key_size_) {
      std::memcpy(out, key_ + from, key_size_ - from);
      out += key_size_ - from;
      from = key_size_;
    }
    std::memcpy(out, tail_ + (from - key_size_), size() - from);
  }

 private:
  const uint8_t* key_;
  size_t key_size_;
  size_t tail_size_;
  uint8_t tail_[kRowPointerSize + kChildSize];
};

struct RawBytes {
  const uint8_t* data;
  size_t length;
  size_t size() const { return length; }
  uint8_t operator[](size_t i) const { return data[i]; }
};

// Lexicographic comparison of two byte sequences, the first `common`
// bytes of which are compared with memcmp.
template <typename A, typename B>
int CompareBytes(const A& a, const B& b, size_t common) {
  const size_t n = std::min(a.size(), b.size());
  for (size_t i = common; i < n; ++i) {
    if (a[i] != b[i]) return a[i] < b[i] ? -1 : 1;
  }
  if (a.size() == b.size()) return 0;
  return a.size() < b.size() ? -1 : 1;
}

// How many leading bytes of `a` and `b` are equal, looking at most at `n`.
size_t EqualPrefix(const uint8_t* a, const uint8_t* b, size_t n) {
  const int c = n ? std::memcmp(a, b, n) : 0;
  if (c == 0) return n;
  size_t i = 0;
  while (a[i] == b[i]) ++i;
  return i;
}

// The longest prefix all entries' stored bytes share, leaving each at
// least one byte of its own, within what the version's prefix field can
// hold.
size_t SharedPrefix(std::span<const IndexEntry> entries, bool leaf,
                    JetVersion version) {
  if (entries.size() < 2) return 0;
  const StoredBytesOf first(entries.front(), !leaf);
  size_t n = first.size() - 1;
  for (size_t k = 1; k < entries.size() && n > 0; ++k) {
    const StoredBytesOf e(entries[k], !leaf);
    const size_t limit = std::min(n, e.size() - 1);
    size_t i = EqualPrefix(first.key(), e.key(),
                           std::min({limit, first.key_size(), e.key_size()}));
    while (i < limit && first[i] == e[i]) ++i;
    n = i;
  }
  return std::min(n, IndexNode::MaxPrefix(version));
}

size_t StoredSize(const IndexEntry& e, bool leaf) {
  return e.key.size() + kRowPointerSize + (leaf ? 0 : kChildSize);
}

}  // namespace

int CompareEntries(const IndexEntry& a, const IndexEntry& b) {
  // Most pairs differ inside their keys' common length, or have keys of
  // one length and differ in the row; the general walk covers a key that
  // is a prefix of the other, whose next byte meets the other's page.
  const size_t n = std::min(a.key.size(), b.key.size());
  if (n != 0) {
    const int c = std::memcmp(a.key.data(), b.key.data(), n);
    if (c != 0) return c < 0 ? -1 : 1;
  }
  if (a.key.size() == b.key.size()) {
    // The sort bytes hold the page's low three bytes.
    const uint32_t pa = a.row.page & 0xFFFFFF, pb = b.row.page & 0xFFFFFF;
    if (pa != pb) return pa < pb ? -1 : 1;
    return a.row.row == b.row.row ? 0 : (a.row.row < b.row.row ? -1 : 1);
  }
  StoredBytesOf x(a, false), y(b, false);
  const size_t common =
      EqualPrefix(x.key(), y.key(), std::min(x.key_size(), y.key_size()));
  const int c = CompareBytes(x, y, common);
  return c == 0 ? 0 : (c < 0 ? -1 : 1);
}

bool EntryLess(const IndexEntry& a, const IndexEntry& b) {
  return CompareEntries(a, b) < 0;
}

int CompareSortBytes(const IndexEntry& entry, ByteView sort_bytes) {
  StoredBytesOf x(entry, false);
  const size_t common = EqualPrefix(x.key(), sort_bytes.data(),
                                    std::min(x.key_size(), sort_bytes.size()));
  return CompareBytes(x, RawBytes{sort_bytes.data(), sort_bytes.size()},
                      common);
}

size_t IndexNode::MaxPrefix(JetVersion version) {
  return version == JetVersion::kJet3 ? 0xFF : 0xFFFF;
}

size_t IndexNode::Capacity(JetVersion version) {
  return PageSizeOf(version) - LayoutOf(version).first_entry;
}

size_t IndexNode::EntryBytes() const { return EntryBytesOf(entries, leaf); }

size_t IndexNode::EntryBytesOf(std::span<const IndexEntry> entries, bool leaf) {
  size_t n = 0;
  for (const IndexEntry& e : entries) n += StoredSize(e, leaf);
  // The prefix depends on the version only through its cap, far above
  // what a page can share; Jet 4's cap is used.
  if (n <= Capacity(JetVersion::kJet4)) return n;
  size_t prefix = SharedPrefix(entries, leaf, JetVersion::kJet4);
  return entries.empty() ? 0 : n - prefix * (entries.size() - 1);
}

IndexNodeView::IndexNodeView(JetVersion version, uint32_t page_number,
                             ByteView p)
    : version_(version), page_number_(page_number), page_(p) {
  const Layout& L = LayoutOf(version);
  uint8_t type = p.U8(0);
  if (type != kPageIndexNode && type != kPageIndexLeaf) {
    ThrowDamaged("페이지 " + std::to_string(page_number) +
                 " 은(는) 색인 페이지가 아닙니다");
  }
  leaf_ = type == kPageIndexLeaf;
  prefix_ = L.prefix_size == 1 ? p.U8(L.prefix) : p.U16(L.prefix);
  const size_t tail_size = kRowPointerSize + (leaf_ ? 0 : kChildSize);
  ByteView mask = p.Sub(L.mask, L.first_entry - L.mask);
  size_t start = L.first_entry;
  ends_.reserve(64);
  // The mask is read eight bytes at a time (little-endian, so that bit k
  // of the word is bit k of the mask), most of it being zero.
  const uint8_t* m = mask.data();
  for (size_t i = 0; i < mask.size(); i += 8) {
    uint64_t word = 0;
    const size_t n = std::min<size_t>(8, mask.size() - i);
    if (n == 8 && std::endian::native == std::endian::little) {
      std::memcpy(&word, m + i, 8);
    } else {
      for (size_t j = 0; j < n; ++j) {
        word |= static_cast<uint64_t>(m[i + j]) << (8 * j);
      }
    }
    // Each set bit, lowest first.
    for (; word != 0; word &= word - 1) {
      const size_t end =
          L.first_entry + i * 8 + static_cast<size_t>(std::countr_zero(word));
      if (end <= start || end > p.size()) {
        ThrowDamaged("색인 항목의 위치가 잘못되었습니다");
      }
      const size_t k = ends_.size();
      // The prefix comes from the first entry, which must hold it; that is
      // known once a second entry shares it.
      if (k == 1 && prefix_ > ends_[0] - L.first_entry) {
        ThrowDamaged("색인 접두사 길이가 잘못되었습니다");
      }
      if (Shared(k) + (end - start) < tail_size) {
        ThrowDamaged("색인 항목이 너무 짧습니다");
      }
      ends_.push_back(static_cast<uint16_t>(end));
      start = end;
    }
  }
}

uint32_t IndexNodeView::prev() const {
  return page_.U32(LayoutOf(version_).prev);
}
uint32_t IndexNodeView::next() const {
  return page_.U32(LayoutOf(version_).next);
}
uint32_t IndexNodeView::tail() const {
  return page_.U32(LayoutOf(version_).tail);
}

size_t IndexNodeView::Start(size_t k) const {
  return k == 0 ? LayoutOf(version_).first_entry : ends_[k - 1];
}

size_t IndexNodeView::SortSize(size_t k) const {
  return Shared(k) + (ends_[k] - Start(k)) - (leaf_ ? 0 : kChildSize);
}

uint8_t IndexNodeView::ByteAt(size_t k, size_t i) const {
  const size_t shared = Shared(k);
  const size_t first = LayoutOf(version_).first_entry;
  return i < shared ? page_.data()[first + i]
                    : page_.data()[Start(k) + (i - shared)];
}

int IndexNodeView::Compare(size_t k, ByteView target) const {
  const size_t shared = Shared(k);
  const size_t total = SortSize(k);
  const size_t n = std::min(total, target.size());
  const size_t from_prefix = std::min(shared, n);
  const uint8_t* base = page_.data();
  int c = from_prefix ? std::memcmp(base + LayoutOf(version_).first_entry,
                                    target.data(), from_prefix)
                      : 0;
  if (c == 0 && n > from_prefix) {
    c = std::memcmp(base + Start(k), target.data() + from_prefix,
                    n - from_prefix);
  }
  if (c != 0) return c < 0 ? -1 : 1;
  if (total == target.size()) return 0;
  return total < target.size() ? -1 : 1;
}

size_t IndexNodeView::LowerBound(ByteView sort_bytes) const {
  size_t lo = 0, hi = size();
  while (lo < hi) {
    const size_t mid = lo + (hi - lo) / 2;
    if (Compare(mid, sort_bytes) < 0) {
      lo = mid + 1;
    } else {
      hi = mid;
    }
  }
  return lo;
}

bool IndexNodeView::KeyEquals(size_t k, ByteView key) const {
  const size_t key_size = SortSize(k) - kRowPointerSize;
  if (key_size != key.size()) return false;
  for (size_t i = 0; i < key_size; ++i) {
    if (ByteAt(k, i) != key.data()[i]) return false;
  }
  return true;
}

const uint8_t* IndexNodeView::Tail(size_t k) const {
  const size_t key_size = SortSize(k) - kRowPointerSize;
  const size_t shared = Shared(k);
  if (shared > key_size) return nullptr;
  return page_.data() + Start(k) + (key_size - shared);
}

RowPointer IndexNodeView::RowAt(const uint8_t* tail) {
  RowPointer row;
  row.page = (static_cast<uint32_t>(tail[0]) << 16) |
             (static_cast<uint32_t>(tail[1]) << 8) | tail[2];
  row.row = tail[3];
  return row;
}

uint32_t IndexNodeView::ChildAt(const uint8_t* tail) {
  return (static_cast<uint32_t>(tail[4]) << 24) |
         (static_cast<uint32_t>(tail[5]) << 16) |
         (static_cast<uint32_t>(tail[6]) << 8) | tail[7];
}

RowPointer IndexNodeView::Row(size_t k) const {
  if (const uint8_t* tail = Tail(k)) return RowAt(tail);
  const size_t at = SortSize(k) - kRowPointerSize;
  const uint8_t bytes[kRowPointerSize] = {ByteAt(k, at), ByteAt(k, at + 1),
                                          ByteAt(k, at + 2), ByteAt(k, at + 3)};
  return RowAt(bytes);
}

uint32_t IndexNodeView::Child(size_t k) const {
  if (leaf_) return 0;
  if (const uint8_t* tail = Tail(k)) return ChildAt(tail);
  const size_t at = SortSize(k);
  const uint8_t bytes[kRowPointerSize + kChildSize] = {0,
                                                       0,
                                                       0,
                                                       0,
                                                       ByteAt(k, at),
                                                       ByteAt(k, at + 1),
                                                       ByteAt(k, at + 2),
                                                       ByteAt(k, at + 3)};
  return ChildAt(bytes);
}

void IndexNodeView::EntryInto(size_t k, IndexEntry& entry) const {
  const size_t key_size = SortSize(k) - kRowPointerSize;
  const size_t shared = Shared(k);
  entry.key.resize(key_size);
  const size_t from_prefix = std::min(shared, key_size);
  const uint8_t* base = page_.data();
  if (from_prefix) {
    std::memcpy(entry.key.data(), base + LayoutOf(version_).first_entry,
                from_prefix);
  }
  if (key_size > from_prefix) {
    std::memcpy(entry.key.data() + from_prefix,
                base + Start(k) + (from_prefix - shared),
                key_size - from_prefix);
  }
  // Every entry of a page being merged comes here: its tail is found once.
  if (const uint8_t* tail = Tail(k)) {
    entry.row = RowAt(tail);
    entry.child = leaf_ ? 0 : ChildAt(tail);
  } else {
    entry.row = Row(k);
    entry.child = Child(k);
  }
}

IndexNode IndexNode::Decode(JetVersion version, uint32_t page_number,
                            ByteView p) {
  IndexNode node;
  DecodeInto(version, page_number, p, node);
  return node;
}

void IndexNode::DecodeInto(JetVersion version, uint32_t page_number, ByteView p,
                           IndexNode& node) {
  const IndexNodeView view(version, page_number, p);
  node.page = page_number;
  node.leaf = view.leaf();
  node.table_page = view.table_page();
  node.prev = view.prev();
  node.next = view.next();
  node.tail = view.tail();
  ByteView head = p.Sub(0, LayoutOf(version).mask);
  node.header.assign(head.data(), head.data() + head.size());
  node.entries.resize(view.size());
  for (size_t k = 0; k < view.size(); ++k) view.EntryInto(k, node.entries[k]);
}

std::optional<std::vector<uint8_t>> IndexNode::Encode(
    JetVersion version) const {
  const Layout& L = LayoutOf(version);
  // The entries the page stores, and its tail page.
  std::span<const IndexEntry> stored(entries);
  uint32_t tail_page = leaf ? 0 : tail;
  if (!leaf && tail == 0 && entries.size() >= 2) {
    tail_page = entries.back().child;
    stored = stored.first(entries.size() - 1);
  }
  size_t total = 0;
  for (const IndexEntry& e : stored) total += StoredSize(e, leaf);
  // Like Access, a shared prefix only on pages that need it to hold their
  // entries.
  size_t prefix =
      total > Capacity(version) ? SharedPrefix(stored, leaf, version) : 0;
  size_t used = stored.empty() ? 0 : total - prefix * (stored.size() - 1);
  if (used > Capacity(version)) return std::nullopt;

  std::vector<uint8_t> p(PageSizeOf(version), 0);
  if (header.size() == L.mask)
    std::copy(header.begin(), header.end(), p.begin());
  p[0] = leaf ? kPageIndexLeaf : kPageIndexNode;
  p[1] = 0x01;
  Put32(p, 0x04, table_page);
  Put32(p, L.prev, prev);
  Put32(p, L.next, next);
  Put32(p, L.tail, tail_page);
  p[L.prefix] = static_cast<uint8_t>(prefix);
  if (L.prefix_size == 2) p[L.prefix + 1] = static_cast<uint8_t>(prefix >> 8);
  p[L.intermediate_flag] = leaf ? 0 : 1;
  size_t at = L.first_entry;
  for (size_t k = 0; k < stored.size(); ++k) {
    const StoredBytesOf bytes(stored[k], !leaf);
    size_t skip = k == 0 ? 0 : prefix;
    bytes.CopyFrom(skip, p.data() + at);
    at += bytes.size() - skip;
    size_t bit = at - L.first_entry;
    p[L.mask + bit / 8] |= static_cast<uint8_t>(1u << (bit % 8));
  }
  size_t free_space = p.size() - at;
  p[2] = static_cast<uint8_t>(free_space);
  p[3] = static_cast<uint8_t>(free_space >> 8);
  return p;
}

}  // namespace jet
