#include "jet/storage/pager.h"

#include <algorithm>
#include <string>
#include <system_error>

#include "jet/base/error.h"

namespace jet {

namespace {

// Writes `pages` (in page order) to `file`: runs of consecutive pages in
// one write each, the pages' own bytes or encrypted copies of them.
void WritePages(File& file, const PageCipher& cipher, uint32_t page_size,
                const std::vector<PageRef>& pages) {
  std::vector<std::span<const uint8_t>> parts;
  std::vector<std::vector<uint8_t>> encrypted;
  encrypted.reserve(Pager::kWriteRunPages);  // `parts` points into it
  auto it = pages.begin();
  while (it != pages.end()) {
    const uint32_t first = (*it)->number();
    parts.clear();
    encrypted.clear();
    while (it != pages.end() && (*it)->number() == first + parts.size() &&
           parts.size() < Pager::kWriteRunPages) {
      const std::vector<uint8_t>& bytes = (*it)->bytes();
      if (cipher.enabled()) {
        encrypted.push_back(bytes);
        cipher.Apply((*it)->number(), encrypted.back());
        parts.emplace_back(encrypted.back());
      } else {
        parts.emplace_back(bytes);
      }
      ++it;
    }
    file.WriteAt(static_cast<uint64_t>(first) * page_size, parts);
  }
}

}  // namespace

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

Pager::~Pager() {
  // A write-out still running is waited for; its error, if any, has no
  // one left to take it.
  if (writer_.joinable()) writer_.join();
}

Pager::Held& Pager::HeldOf(uint32_t page_number) {
  if (page_number >= held_.size()) {
    // Grows by an eighth: pages are appended one at a time, and doubling
    // would leave a 2 GB file's table twice as large as its pages need
    // (12 bytes a page). The reserve asks for exactly the new size, so that
    // the resize does not double the vector's capacity on its own.
    const size_t want = std::max<size_t>(
        {size_t{page_number} + 1, held_.size() + held_.size() / 8 + 64,
         size_t{page_count_}});
    held_.reserve(want);
    held_.resize(want);
  }
  return held_[page_number];
}

const PageRef* Pager::Cached(uint32_t page_number) const {
  const Held* h = FindHeld(page_number);
  return h && h->cache >= 0 ? &slots_[h->cache].page : nullptr;
}

void Pager::Unlink(int32_t slot) {
  Slot& s = slots_[slot];
  if (s.newer >= 0) {
    slots_[s.newer].older = s.older;
  } else {
    lru_first_ = s.older;
  }
  if (s.older >= 0) {
    slots_[s.older].newer = s.newer;
  } else {
    lru_last_ = s.newer;
  }
  s.newer = s.older = -1;
}

void Pager::LinkFirst(int32_t slot) {
  Slot& s = slots_[slot];
  s.newer = -1;
  s.older = lru_first_;
  if (lru_first_ >= 0) slots_[lru_first_].newer = slot;
  lru_first_ = slot;
  if (lru_last_ < 0) lru_last_ = slot;
}

void Pager::CacheInsert(PageRef page) {
  const uint32_t number = page->number();
  Held& held = HeldOf(number);
  if (held.cache >= 0) {
    slots_[held.cache].page = std::move(page);
    Unlink(held.cache);
    LinkFirst(held.cache);
    return;
  }
  if (cached_ >= capacity_) CacheErase(slots_[lru_last_].number);
  int32_t slot;
  if (!free_slots_.empty()) {
    slot = free_slots_.back();
    free_slots_.pop_back();
  } else {
    slot = static_cast<int32_t>(slots_.size());
    slots_.emplace_back();
  }
  slots_[slot].page = std::move(page);
  slots_[slot].number = number;
  LinkFirst(slot);
  held_[number].cache = slot;
  ++cached_;
}

void Pager::CacheErase(uint32_t page_number) {
  if (page_number >= held_.size() || held_[page_number].cache < 0) return;
  const int32_t slot = held_[page_number].cache;
  held_[page_number].cache = -1;
  Unlink(slot);
  slots_[slot].page.reset();
  free_slots_.push_back(slot);
  --cached_;
}

void Pager::ClearCache() {
  for (Slot& s : slots_) {
    if (s.page) held_[s.number].cache = -1;
  }
  slots_.clear();
  free_slots_.clear();
  lru_first_ = lru_last_ = -1;
  cached_ = 0;
}

Pager::Dirty* Pager::FindDirty(uint32_t page_number) {
  const Held* h = FindHeld(page_number);
  return h && h->dirty >= 0 ? &dirty_[h->dirty] : nullptr;
}

void Pager::EraseDirty(uint32_t page_number) {
  if (page_number >= held_.size() || held_[page_number].dirty < 0) return;
  const int32_t at = held_[page_number].dirty;
  held_[page_number].dirty = -1;
  if (static_cast<size_t>(at) + 1 != dirty_.size()) {
    dirty_[at] = std::move(dirty_.back());
    held_[dirty_[at].number].dirty = at;
  }
  dirty_.pop_back();
}

PageRef Pager::MakePage(uint32_t number, std::vector<uint8_t> bytes) {
  return std::make_shared<Page>(number, std::move(bytes), buffers_);
}

PageRef Pager::Get(uint32_t page_number) {
  if (page_number < held_.size()) {
    const Held& held = held_[page_number];
    if (held.dirty >= 0) return dirty_[held.dirty].page;
    if (held.cache >= 0) {
      const int32_t slot = held.cache;
      if (slot != lru_first_) {
        Unlink(slot);
        LinkFirst(slot);
      }
      return slots_[slot].page;
    }
    if (held.writing >= 0) {
      // On its way to the file: the file may not have it yet.
      PageRef page = writing_[held.writing];
      CacheInsert(page);
      return page;
    }
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
    auto held = [this](uint32_t n) {
      const Held* h = FindHeld(n);
      return h && (h->dirty >= 0 || h->cache >= 0 || h->writing >= 0);
    };
    while (run < limit && page_number + run < file_page_count_ &&
           !held(page_number + run)) {
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
  if (dirty_.size() > max_pinned_) WriteOut(/*in_background=*/true);
}

void Pager::RollbackGroup() {
  // A group whose commit raised a write-out's error is committed already.
  if (!in_group_) return;
  for (auto& [number, before] : group_undo_) {
    CacheErase(number);
    if (before) {
      FindDirty(number)->page = std::move(*before);
      FindDirty(number)->group = 0;
    } else {
      EraseDirty(number);
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
  Held& held = HeldOf(page_number);
  if (held.dirty < 0) {
    group_undo_.emplace_back(page_number, std::nullopt);
    held.dirty = static_cast<int32_t>(dirty_.size());
    dirty_.push_back(Dirty{nullptr, 0, page_number});
  } else if (dirty_[held.dirty].group != group_) {
    group_undo_.emplace_back(page_number, dirty_[held.dirty].page);
  }
  PageRef page = MakePage(page_number, std::move(bytes));
  Dirty& d = dirty_[held.dirty];
  d.page = page;
  d.group = group_;
  CacheInsert(std::move(page));
}

std::vector<uint8_t>* Pager::WritableInPlace(uint32_t page_number) {
  RequireGroup();
  Dirty* d = FindDirty(page_number);
  if (!d || d->group != group_) return nullptr;
  const PageRef* c = Cached(page_number);
  const long held_here = 1 + (c && *c == d->page ? 1 : 0);
  if (d->page.use_count() != held_here) return nullptr;
  return &const_cast<Page*>(d->page.get())->bytes_;
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
  WriteOut(/*in_background=*/false);
  if (journal_group_) RequireFileInPlace();
  if (unsynced_) {
    try {
      file_.Sync();
    } catch (...) {
      BreakJournalGroup();
      throw;
    }
    unsynced_ = false;
  }
  if (journal_group_) {
    try {
      journal_->Invalidate();
    } catch (...) {
      // Whether the header reached the disk is not known: no page more is
      // written over until the group is rolled back.
      BreakJournalGroup();
      throw;
    }
    journal_group_ = false;
  }
}

void Pager::RequireFileInPlace() {
  if (file_.StillAtItsPath()) return;
  try {
    throw Error(kErrDiskIo, "'" + file_.path() +
                                "' 파일을 다른 프로그램이 작업 중에 지우거나, "
                                "바꾸거나, 잘랐습니다.");
  } catch (...) {
    BreakJournalGroup();
    throw;
  }
}

void Pager::BreakJournalGroup() {
  if (!journal_ || journal_broken_) return;
  journal_broken_ = true;
  try {
    throw;
  } catch (const Error& e) {
    broken_by_ = e.description();
  } catch (...) {
    broken_by_ = "'" + file_.path() + "' 파일에 쓰지 못했습니다.";
  }
}

std::vector<uint32_t> Pager::PagesToJournal(const std::vector<PageRef>& pages) {
  if (!journal_group_) {
    RequireFileInPlace();
    journal_group_ = true;
    journal_base_pages_ = static_cast<uint32_t>(file_.size() / page_size_);
    journaled_.assign(journal_base_pages_, false);
    journal_->Begin(file_.size());
  }
  std::vector<uint32_t> record;
  for (const PageRef& page : pages) {
    const uint32_t n = page->number();
    if (n < journal_base_pages_ && !journaled_[n]) {
      journaled_[n] = true;
      record.push_back(n);
    }
  }
  return record;
}

void Pager::RollBackToFlush() {
  if (writer_.joinable()) writer_.join();
  for (const PageRef& page : writing_) held_[page->number()].writing = -1;
  writing_.clear();
  write_error_ = nullptr;
  for (const Dirty& dirty : dirty_) held_[dirty.number].dirty = -1;
  dirty_.clear();
  group_undo_.clear();
  in_group_ = false;
  ClearCache();
  if (journal_ && journal_group_ && journal_->started()) {
    journal_->RollBack(file_);
  }
  journal_group_ = false;
  journal_broken_ = false;
  broken_by_.clear();
  unsynced_ = false;
  page_count_ = file_page_count_ =
      static_cast<uint32_t>(file_.size() / page_size_);
}

void Pager::WriteOut(bool in_background) {
  FinishWriting();
  if (dirty_.empty()) return;
  if (journal_broken_) {
    const bool full_stop = !broken_by_.empty() && broken_by_.back() == '.';
    throw Error(kErrDiskIo, broken_by_ + (full_stop ? " " : ". ") +
                                "이 작업의 마지막 묶음은 되돌리고 더 쓰지 "
                                "않습니다.");
  }
  unsynced_ = true;  // even when a write below fails part way
  std::vector<PageRef> pages;
  pages.reserve(dirty_.size());
  for (const Dirty& dirty : dirty_) pages.push_back(dirty.page);
  std::sort(pages.begin(), pages.end(), [](const PageRef& a, const PageRef& b) {
    return a->number() < b->number();
  });
  std::vector<uint32_t> to_journal;
  if (journal_) to_journal = PagesToJournal(pages);
  // Journal first: the originals of the pages written over, synced before
  // the first of them is (and the header before anything of the group).
  const bool sync_journal =
      journal_ && (!to_journal.empty() || !journal_->started());
  if (!in_background) {
    // A failure leaves every page pinned, for a later flush.
    try {
      if (journal_) {
        journal_->Record(file_, to_journal);
        if (sync_journal) journal_->Sync();
      }
      WritePages(file_, cipher_, page_size_, pages);
    } catch (...) {
      BreakJournalGroup();
      throw;
    }
    if (page_count_ > file_page_count_) file_page_count_ = page_count_;
  }
  for (const Dirty& dirty : dirty_) held_[dirty.number].dirty = -1;
  dirty_.clear();
  if (!in_background) return;
  writing_ = std::move(pages);
  for (size_t k = 0; k < writing_.size(); ++k) {
    held_[writing_[k]->number()].writing = static_cast<int32_t>(k);
  }
  writing_page_count_ = page_count_;
  // The writer reads only writing_, the cipher (copied) and the file; it
  // never lets go of a page, so pages (and their buffers) go back on this
  // thread.
  auto write = [this, cipher = cipher_, to_journal = std::move(to_journal),
                sync_journal] {
    try {
      if (journal_) {
        journal_->Record(file_, to_journal);
        if (sync_journal) journal_->Sync();
      }
      WritePages(file_, cipher, page_size_, writing_);
      // The pages start for the disk now, beside the work that follows,
      // rather than all at the closing sync.
      file_.StartWriteBack();
    } catch (...) {
      write_error_ = std::current_exception();
    }
  };
  try {
    writer_ = std::thread(write);
  } catch (const std::system_error&) {
    write();  // no thread to be had: written here
  }
}

void Pager::FinishWriting() {
  if (writer_.joinable()) writer_.join();
  if (writing_.empty()) return;
  std::exception_ptr error = std::exchange(write_error_, nullptr);
  for (const PageRef& page : writing_) {
    Held& held = held_[page->number()];
    held.writing = -1;
    // A page that failed is pinned again, unless a newer version is.
    if (error && held.dirty < 0) {
      held.dirty = static_cast<int32_t>(dirty_.size());
      dirty_.push_back(Dirty{page, 0, page->number()});
    }
  }
  if (!error && writing_page_count_ > file_page_count_) {
    file_page_count_ = writing_page_count_;
  }
  if (error && journal_) {
    try {
      std::rethrow_exception(error);
    } catch (...) {
      BreakJournalGroup();
    }
  }
  writing_.clear();
  if (error) std::rethrow_exception(error);
}

}  // namespace jet
