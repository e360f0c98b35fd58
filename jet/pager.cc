#include "jet/pager.h"

#include <algorithm>
#include <string>

#include "jet/error.h"

namespace jet {

std::vector<uint8_t> PageBufferPool::Take() {
  if (spare_.empty()) return std::vector<uint8_t>(page_size_);
  std::vector<uint8_t> bytes = std::move(spare_.back());
  spare_.pop_back();
  return bytes;
}

void PageBufferPool::Give(std::vector<uint8_t>&& bytes) {
  if (bytes.size() != page_size_ || spare_.size() >= kMaxBuffers) return;
  spare_.push_back(std::move(bytes));
}

Pager::Pager(File file, uint32_t page_size, size_t cache_pages)
    : file_(std::move(file)),
      page_size_(page_size),
      page_count_(static_cast<uint32_t>(file_.size() / page_size)),
      file_page_count_(page_count_),
      capacity_(cache_pages < 4 ? 4 : cache_pages),
      buffers_(std::make_shared<PageBufferPool>(page_size)) {}

Pager::~Pager() = default;

void Pager::CacheInsert(PageRef page) {
  uint32_t number = page->number();
  auto it = cache_.find(number);
  if (it != cache_.end()) {
    it->second.page = std::move(page);
    lru_.splice(lru_.begin(), lru_, it->second.position);
    return;
  }
  if (cache_.size() >= capacity_) {
    cache_.erase(lru_.back());
    lru_.pop_back();
  }
  lru_.push_front(number);
  cache_.emplace(number, Slot{std::move(page), lru_.begin()});
}

PageRef Pager::MakePage(uint32_t number, std::vector<uint8_t> bytes) {
  return std::make_shared<Page>(number, std::move(bytes), buffers_);
}

PageRef Pager::Get(uint32_t page_number) {
  auto d = dirty_.find(page_number);
  if (d != dirty_.end()) return d->second.page;
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
  // A miss right after the previous run of misses reads ahead: the pages
  // that follow, up to the first one already held, in one read.
  uint32_t run = 1;
  if (page_number == next_sequential_) {
    const uint32_t limit = std::min<uint32_t>(
        kReadAheadPages, static_cast<uint32_t>(capacity_ / 4));
    while (run < limit && page_number + run < file_page_count_ &&
           !dirty_.count(page_number + run) &&
           !cache_.count(page_number + run)) {
      ++run;
    }
  }
  next_sequential_ = page_number + run;
  std::vector<std::vector<uint8_t>> pages(run);
  std::vector<std::span<uint8_t>> parts;
  parts.reserve(run);
  for (std::vector<uint8_t>& bytes : pages) {
    bytes = buffers_->Take();
    parts.emplace_back(bytes);
  }
  file_.ReadAt(static_cast<uint64_t>(page_number) * page_size_, parts);
  PageRef first;
  for (uint32_t k = 0; k < run; ++k) {
    cipher_.Apply(page_number + k, pages[k]);
    PageRef page = MakePage(page_number + k, std::move(pages[k]));
    if (k == 0) first = page;
    CacheInsert(page);
  }
  // The page asked for is the most recently used.
  if (run > 1) CacheInsert(first);
  return first;
}

void Pager::RequireGroup() const {
  if (!writable()) {
    throw Error(kErrReadOnly, "데이터베이스가 읽기 전용으로 열려 있습니다.");
  }
  if (!in_group_) {
    throw Error(kErrUnsupportedFeature,
                "쓰기 묶음 밖에서 페이지를 바꿀 수 없습니다.");
  }
}

void Pager::BeginGroup() {
  if (!writable()) {
    throw Error(kErrReadOnly, "데이터베이스가 읽기 전용으로 열려 있습니다.");
  }
  in_group_ = true;
  ++group_;
  group_undo_.clear();
  group_page_count_ = page_count_;
}

void Pager::CommitGroup() {
  in_group_ = false;
  group_undo_.clear();
  if (dirty_.size() > kMaxPinnedPages) WriteOut();
}

void Pager::RollbackGroup() {
  for (auto& [number, before] : group_undo_) {
    cache_.erase(number);
    lru_.remove(number);
    if (before) {
      dirty_[number] = Dirty{std::move(*before), 0};
    } else {
      dirty_.erase(number);
    }
  }
  page_count_ = group_page_count_;
  group_undo_.clear();
  in_group_ = false;
}

std::vector<uint8_t> Pager::CopyForWrite(uint32_t page_number) {
  RequireGroup();
  const PageRef page = Get(page_number);
  std::vector<uint8_t> bytes = buffers_->Take();
  std::copy(page->bytes().begin(), page->bytes().end(), bytes.begin());
  return bytes;
}

void Pager::Put(uint32_t page_number, std::vector<uint8_t> bytes) {
  RequireGroup();
  if (bytes.size() != page_size_ || page_number >= page_count_) {
    throw Error(kErrUnsupportedFeature, "잘못된 페이지 쓰기입니다.");
  }
  // The page's version before the group is kept once: a page the group
  // has already put carries the group's number.
  auto d = dirty_.find(page_number);
  if (d == dirty_.end()) {
    group_undo_.emplace_back(page_number, std::nullopt);
    d = dirty_.emplace(page_number, Dirty{}).first;
  } else if (d->second.group != group_) {
    group_undo_.emplace_back(page_number, d->second.page);
  }
  PageRef page = MakePage(page_number, std::move(bytes));
  d->second = Dirty{page, group_};
  CacheInsert(page);
}

std::vector<uint8_t>* Pager::WritableInPlace(uint32_t page_number) {
  RequireGroup();
  auto d = dirty_.find(page_number);
  if (d == dirty_.end() || d->second.group != group_) return nullptr;
  auto c = cache_.find(page_number);
  const long held_here =
      1 + (c != cache_.end() && c->second.page == d->second.page ? 1 : 0);
  if (d->second.page.use_count() != held_here) return nullptr;
  return &const_cast<Page*>(d->second.page.get())->bytes_;
}

uint32_t Pager::Append() {
  RequireGroup();
  uint32_t number = page_count_++;
  std::vector<uint8_t> zero = buffers_->Take();
  std::fill(zero.begin(), zero.end(), 0);
  Put(number, std::move(zero));
  return number;
}

void Pager::Flush() {
  if (in_group_) {
    throw Error(kErrUnsupportedFeature,
                "쓰기 묶음이 열려 있는 동안에는 기록할 수 없습니다.");
  }
  WriteOut();
  if (unsynced_) {
    file_.Sync();
    unsynced_ = false;
  }
}

void Pager::WriteOut() {
  if (dirty_.empty()) return;
  unsynced_ = true;  // even when a write below fails part way
  // Runs of consecutive pages go out in one write each: the pages' own
  // bytes, or encrypted copies of them.
  std::vector<const Page*> pages;
  pages.reserve(dirty_.size());
  for (const auto& [number, dirty] : dirty_) pages.push_back(dirty.page.get());
  std::sort(pages.begin(), pages.end(), [](const Page* a, const Page* b) {
    return a->number() < b->number();
  });
  std::vector<std::span<const uint8_t>> parts;
  std::vector<std::vector<uint8_t>> encrypted;
  encrypted.reserve(kWriteRunPages);  // `parts` points into it
  auto it = pages.begin();
  while (it != pages.end()) {
    const uint32_t first = (*it)->number();
    parts.clear();
    encrypted.clear();
    while (it != pages.end() && (*it)->number() == first + parts.size() &&
           parts.size() < kWriteRunPages) {
      const std::vector<uint8_t>& bytes = (*it)->bytes();
      if (cipher_.enabled()) {
        encrypted.push_back(bytes);
        cipher_.Apply((*it)->number(), encrypted.back());
        parts.emplace_back(encrypted.back());
      } else {
        parts.emplace_back(bytes);
      }
      ++it;
    }
    file_.WriteAt(static_cast<uint64_t>(first) * page_size_, parts);
  }
  if (page_count_ > file_page_count_) file_page_count_ = page_count_;
  dirty_.clear();
}

}  // namespace jet
