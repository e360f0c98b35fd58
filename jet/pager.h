// Pages of the database file, read through a small cache of bounded size so
// that a 2 GB file never needs more than a few megabytes of memory. The pager
// knows page numbers, the page size and page encryption; it knows nothing of
// what a page holds.
#ifndef MDBCARE_JET_PAGER_H_
#define MDBCARE_JET_PAGER_H_

#include <cstdint>
#include <list>
#include <memory>
#include <unordered_map>
#include <vector>

#include "jet/byte_view.h"
#include "jet/file.h"
#include "jet/page_cipher.h"

namespace jet {

// One page's bytes, decrypted. Shared so that a page a caller still holds
// stays valid when the cache evicts it.
class Page {
 public:
  Page(uint32_t number, std::vector<uint8_t> bytes)
      : number_(number), bytes_(std::move(bytes)) {}

  uint32_t number() const { return number_; }
  ByteView view() const { return ByteView(bytes_.data(), bytes_.size()); }
  uint8_t type() const { return bytes_.empty() ? 0xFF : bytes_[0]; }

 private:
  uint32_t number_;
  std::vector<uint8_t> bytes_;
};

using PageRef = std::shared_ptr<const Page>;

class Pager {
 public:
  static constexpr size_t kDefaultCachePages = 512;

  Pager(File file, uint32_t page_size,
        size_t cache_pages = kDefaultCachePages);

  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  uint32_t page_size() const { return page_size_; }
  uint32_t page_count() const { return page_count_; }
  const File& file() const { return file_; }

  void set_cipher(PageCipher cipher) {
    cipher_ = cipher;
    cache_.clear();
    lru_.clear();
  }
  const PageCipher& cipher() const { return cipher_; }

  // The decrypted page; raises the damaged-file error for a page number
  // past the end of the file.
  PageRef Get(uint32_t page_number);

  // Page 0 exactly as stored (its masked header region is decoded by the
  // database header, not here).
  PageRef GetDefinitionPage() { return Get(0); }

 private:
  File file_;
  uint32_t page_size_;
  uint32_t page_count_;
  size_t capacity_;
  PageCipher cipher_;
  std::list<uint32_t> lru_;  // most recently used first
  struct Slot {
    PageRef page;
    std::list<uint32_t>::iterator position;
  };
  std::unordered_map<uint32_t, Slot> cache_;
};

}  // namespace jet

#endif  // MDBCARE_JET_PAGER_H_
