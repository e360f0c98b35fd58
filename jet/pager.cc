#include "jet/pager.h"

#include <string>

#include "jet/error.h"

namespace jet {

Pager::Pager(File file, uint32_t page_size, size_t cache_pages)
    : file_(std::move(file)),
      page_size_(page_size),
      page_count_(static_cast<uint32_t>(file_.size() / page_size)),
      capacity_(cache_pages < 4 ? 4 : cache_pages) {}

PageRef Pager::Get(uint32_t page_number) {
  auto it = cache_.find(page_number);
  if (it != cache_.end()) {
    lru_.splice(lru_.begin(), lru_, it->second.position);
    return it->second.page;
  }
  if (page_number >= page_count_) {
    ThrowDamaged("페이지 " + std::to_string(page_number) +
                 " 이(가) 파일 밖에 있습니다 (페이지 수 " +
                 std::to_string(page_count_) + ")");
  }
  std::vector<uint8_t> bytes(page_size_);
  file_.ReadAt(static_cast<uint64_t>(page_number) * page_size_, bytes);
  cipher_.Apply(page_number, bytes);
  auto page = std::make_shared<const Page>(page_number, std::move(bytes));

  if (cache_.size() >= capacity_) {
    cache_.erase(lru_.back());
    lru_.pop_back();
  }
  lru_.push_front(page_number);
  cache_.emplace(page_number, Slot{page, lru_.begin()});
  return page;
}

}  // namespace jet
