// Pages of the database file, read through a small cache of bounded size so
// that a 2 GB file never needs more than a few megabytes of memory. The pager
// knows page numbers, the page size and page encryption; it knows nothing of
// what a page holds.
//
// Writes: a writer changes pages inside a write group (one row update, say).
// Changed pages stay in memory, pinned, until they are written to the file
// in page order; a group that fails is rolled back, so that an update
// either happens whole or not at all. Committed groups are written out when
// the pinned pages pass a bound, and at Flush(), which also syncs the file.
//
// With a journal (journal.h), the writes between two Flush() calls form
// one journal group that reaches the file whole or not at all: before a
// write-out overwrites a page the file had when the group began, the page's
// original bytes are in the journal and the journal is synced; Flush()
// syncs the file and then ends the journal group. The caller flushes where
// the file holds a whole state (rows with their index entries and maps);
// after a crash the next open rolls back the group that was cut off, and
// after an error RollBackToFlush() does.
//
// Writing out at the bound happens on a second thread, while the caller
// goes on: the pages handed to it are no longer changed (a later change
// copies them), reads find them in the batch until it is done, and the next
// write-out or Flush() waits for it first. A failed batch is pinned again
// and its error raised by that next write-out or Flush().
#ifndef MDBCARE_JET_STORAGE_PAGER_H_
#define MDBCARE_JET_STORAGE_PAGER_H_

#include <cstdint>
#include <exception>
#include <memory>
#include <optional>
#include <thread>
#include <utility>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/storage/file.h"
#include "jet/storage/journal.h"
#include "jet/storage/page_cipher.h"

namespace jet {

// Page-sized buffers that pages no one holds any more gave back, for the
// next page read or copied for a write: a sweep that rewrites every page
// would otherwise allocate and free a page buffer for every row. Room for
// a whole written-out batch: the pages it frees are about as many as the
// sweep then copies for its next writes, and a buffer kept here is one the
// allocator would not have to hand out and zero again. The pool never holds
// more buffers than pages were alive before, so it adds nothing to the peak.
// Used by one thread.
class PageBufferPool {
 public:
  static constexpr size_t kMaxBuffers = 1024;

  explicit PageBufferPool(size_t page_size) : page_size_(page_size) {}

  // A buffer of the page size; its bytes are whatever they were.
  std::vector<uint8_t> Take();
  // Keeps `bytes` when it is page-sized and the pool is not full.
  void Give(std::vector<uint8_t>&& bytes);

 private:
  size_t page_size_;
  std::vector<std::vector<uint8_t>> spare_;
};

// One page's bytes, decrypted. Shared so that a page a caller still holds
// stays valid when the cache evicts or replaces it. A page made by the
// pager gives its buffer back to the pager's pool when the last holder
// lets go.
class Page {
 public:
  Page(uint32_t number, std::vector<uint8_t> bytes,
       std::shared_ptr<PageBufferPool> pool = nullptr)
      : number_(number), bytes_(std::move(bytes)), pool_(std::move(pool)) {}
  ~Page() {
    if (pool_) pool_->Give(std::move(bytes_));
  }
  Page(const Page&) = delete;
  Page& operator=(const Page&) = delete;

  uint32_t number() const { return number_; }
  ByteView view() const { return ByteView(bytes_.data(), bytes_.size()); }
  uint8_t type() const { return bytes_.empty() ? 0xFF : bytes_[0]; }
  const std::vector<uint8_t>& bytes() const { return bytes_; }

 private:
  friend class Pager;  // changes a page in place that only it holds

  uint32_t number_;
  std::vector<uint8_t> bytes_;
  std::shared_ptr<PageBufferPool> pool_;
};

using PageRef = std::shared_ptr<const Page>;

class Pager {
 public:
  static constexpr size_t kDefaultCachePages = 512;
  // Committed changed pages kept before they are written out on their own
  // (4 MB; as many again may be on their way to the file meanwhile).
  static constexpr size_t kMaxPinnedPages = 1024;
  // Pages read in one go when reads go forward page after page.
  static constexpr uint32_t kReadAheadPages = 16;
  // Consecutive changed pages written in one go.
  static constexpr uint32_t kWriteRunPages = 64;

  Pager(File file, uint32_t page_size, size_t cache_pages = kDefaultCachePages);
  ~Pager();

  Pager(const Pager&) = delete;
  Pager& operator=(const Pager&) = delete;

  uint32_t page_size() const { return page_size_; }
  uint32_t page_count() const { return page_count_; }
  const File& file() const { return file_; }
  bool writable() const { return file_.writable(); }

  void set_cipher(PageCipher cipher) {
    cipher_ = cipher;
    ClearCache();
  }
  const PageCipher& cipher() const { return cipher_; }

  // The decrypted page; raises the damaged-file error for a page number
  // past the end of the file.
  PageRef Get(uint32_t page_number);

  // --- writes (inside a group) ---
  void BeginGroup();
  // Ends the group; its pages will reach the file at the next flush.
  void CommitGroup();
  // Forgets every change of the open group.
  void RollbackGroup();
  bool in_group() const { return in_group_; }

  // A copy of the page's bytes to change and Put back.
  std::vector<uint8_t> CopyForWrite(uint32_t page_number);
  // Replaces the page's bytes (decrypted form).
  void Put(uint32_t page_number, std::vector<uint8_t> bytes);
  // The page's bytes to change in place, when the open group has already
  // written the page and nothing outside the pager holds it; else nullptr
  // (then CopyForWrite and Put). Saves a page copy per change when a
  // writer fills one page with many small changes.
  std::vector<uint8_t>* WritableInPlace(uint32_t page_number);
  // A new page at the end of the file, all zero; returns its number.
  uint32_t Append();

  // Writes every committed change to the file and syncs it; with a
  // journal, then ends the journal group.
  void Flush();
  // Journals the writes from now on (see above); `journal` must outlive
  // the pager, and no change may be pending.
  void set_journal(Journal* journal) { journal_ = journal; }
  // After an error: forgets every change not yet made durable by Flush()
  // and rolls the file back to the last Flush() from the journal. Raises
  // 3043 when the file cannot be rolled back; the journal is then left for
  // the next open.
  void RollBackToFlush();
  // Bytes the journal holds for the open journal group (0 without one).
  uint64_t journal_bytes() const { return journal_ ? journal_->size() : 0; }
  size_t pinned_pages() const { return dirty_.size(); }
  // Committed changed pages kept before they are written out on their own
  // (kMaxPinnedPages unless set).
  size_t max_pinned_pages() const { return max_pinned_; }
  void set_max_pinned_pages(size_t pages) { max_pinned_ = pages < 1 ? 1 : pages; }
  // Waits until the pages written out at the bound are in the file;
  // raises the error of that write-out, its pages pinned again.
  void FinishWriting();

 private:
  // Where the pager holds a page: its cache slot and its place in dirty_
  // (-1: not held there), looked up by page number.
  struct Held {
    int32_t cache = -1;
    int32_t dirty = -1;
    int32_t writing = -1;  // its place in writing_
  };
  Held& HeldOf(uint32_t page_number);
  const Held* FindHeld(uint32_t page_number) const {
    return page_number < held_.size() ? &held_[page_number] : nullptr;
  }
  // The cached version of a page, or nullptr.
  const PageRef* Cached(uint32_t page_number) const;
  void CacheInsert(PageRef page);
  void CacheErase(uint32_t page_number);
  void ClearCache();
  // The LRU list of cache slots.
  void Unlink(int32_t slot);
  void LinkFirst(int32_t slot);
  // dirty_'s entry for a page, or nullptr.
  struct Dirty;
  Dirty* FindDirty(uint32_t page_number);
  void EraseDirty(uint32_t page_number);
  PageRef MakePage(uint32_t number, std::vector<uint8_t> bytes);
  // Writes every committed change to the file, without syncing it; in
  // the background (see above), or before returning. With a journal, the
  // pages' original bytes are journaled and synced first.
  void WriteOut(bool in_background);
  // The pages of `pages` the journal group must record before they are
  // written over: those the file had when the group began, not yet
  // recorded. Starts the journal group when none is open.
  std::vector<uint32_t> PagesToJournal(const std::vector<PageRef>& pages);
  // Raises 3043 when another program removed, replaced or cut the file
  // while it was open: writing on would not reach the database.
  void RequireFileInPlace();
  void RequireGroup() const;

  File file_;
  uint32_t page_size_;
  uint32_t page_count_;
  uint32_t file_page_count_;      // pages the file itself has
  uint32_t next_sequential_ = 0;  // the page after the last read run
  size_t capacity_;
  size_t max_pinned_ = kMaxPinnedPages;
  PageCipher cipher_;
  std::vector<Held> held_;
  // The cache: slots linked from the most recently used (lru_first_) to
  // the least, and slots no page uses.
  struct Slot {
    PageRef page;
    uint32_t number = 0;
    int32_t newer = -1;
    int32_t older = -1;
  };
  std::vector<Slot> slots_;
  std::vector<int32_t> free_slots_;
  int32_t lru_first_ = -1;
  int32_t lru_last_ = -1;
  size_t cached_ = 0;
  std::shared_ptr<PageBufferPool> buffers_;

  // Changed pages not yet written, committed or in the open group; put in
  // page order when written.
  struct Dirty {
    PageRef page;
    uint64_t group = 0;  // the write group that last put it
    uint32_t number = 0;
  };
  std::vector<Dirty> dirty_;
  bool unsynced_ = false;  // written out since the last sync
  bool in_group_ = false;
  // For the open group: its number, each page's version before the group
  // touched it (empty: it was clean), once per page, and the page count at
  // its start.
  uint64_t group_ = 0;
  std::vector<std::pair<uint32_t, std::optional<PageRef>>> group_undo_;
  uint32_t group_page_count_ = 0;

  // The write-out in the background: its pages in page order (read by the
  // writer thread, left alone here until it is joined), the page count
  // the file has once they are in it, and the error it met.
  std::vector<PageRef> writing_;
  uint32_t writing_page_count_ = 0;
  std::thread writer_;
  std::exception_ptr write_error_;

  // The journal and its open group: the pages the file had when the group
  // began, and which of them the journal has recorded. The writer thread
  // uses the journal while a write-out runs; this thread only between.
  Journal* journal_ = nullptr;
  bool journal_group_ = false;
  // A write-out of the journal group failed: what the journal recorded is
  // no longer known, so nothing more is written over until the group is
  // rolled back.
  bool journal_broken_ = false;
  std::string broken_by_;  // the description of the failure that did it
  // Marks the journal group broken by the error being handled (called in
  // a catch block).
  void BreakJournalGroup();
  uint32_t journal_base_pages_ = 0;
  std::vector<bool> journaled_;
};

// Opens and commits a write group, rolling it back when left by an error.
class WriteGroup {
 public:
  explicit WriteGroup(Pager& pager) : pager_(pager) { pager_.BeginGroup(); }
  ~WriteGroup() {
    if (!done_) pager_.RollbackGroup();
  }
  void Commit() {
    pager_.CommitGroup();
    done_ = true;
  }
  // For long work made of steps that each leave the file whole (an index
  // batch, leaf by leaf): once the changed pages pass the pager's bound,
  // commits the steps so far and goes on in a new group, so that they can
  // be written out and memory stays bounded whatever the work's size. A
  // later failure then rolls back only the steps after the renewal.
  void RenewWhenFull() {
    if (pager_.pinned_pages() <= pager_.max_pinned_pages()) return;
    pager_.CommitGroup();
    pager_.BeginGroup();
  }
  WriteGroup(const WriteGroup&) = delete;
  WriteGroup& operator=(const WriteGroup&) = delete;

 private:
  Pager& pager_;
  bool done_ = false;
};

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_PAGER_H_
