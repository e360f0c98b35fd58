// The rollback journal of a database being written: the file beside it
// named JournalPath(database), holding the original bytes of every page a
// group of changes overwrites, so that a group cut off by a crash, a power
// loss or an error can be undone.
//
// A group (the pager's journal span) runs from one durable point to the
// next. Before the first of its pages is written over in the database, the
// journal holds that page's original bytes and has been synced; pages the
// group appends need none, the database's size at the group's start says
// where to cut. At the group's end the database is synced, then the journal
// is made unused by one small synced write (its header zeroed). A journal
// found with a valid header when a database is opened belongs to a cut-off
// group: its records are written back, the database cut to its old size
// and synced, and the journal removed.
//
// Layout (little-endian), header:
//   0   8   "mdbcJRNL"
//   8   4   format version (1)
//   12  4   page size
//   16  8   nonce: new for every group; each record's checksum starts
//           from it, so that records of an earlier group left in the file
//           are not taken for this one's
//   24  8   the database's size in bytes at the group's start
//   32  8   checksum of bytes 0..31
// then records from byte 64, each 16 bytes and a page:
//   0   4   page number
//   4   4   0
//   8   8   checksum of the nonce, the page number and the page's bytes
//   16      the page's bytes as the database file held them (encrypted
//           where the file is)
// A record cut short by a crash fails its checksum, and so do the records
// after it; none of their pages was written over yet, since the database
// is only written after the journal's sync.
#ifndef MDBCARE_JET_STORAGE_JOURNAL_H_
#define MDBCARE_JET_STORAGE_JOURNAL_H_

#include <atomic>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "jet/storage/file.h"

namespace jet {

// "c:\data\a.mdb" -> "c:\data\a.mdb-journal".
std::string JournalPath(const std::string& database_path);

class Journal {
 public:
  // The journal of the database at `database_path`, whose pages are
  // `page_size` bytes; its file is made at the first group.
  Journal(std::string database_path, uint32_t page_size);
  ~Journal();

  Journal(const Journal&) = delete;
  Journal& operator=(const Journal&) = delete;

  const std::string& path() const { return path_; }
  // Whether the open group has written its header.
  bool started() const { return started_; }
  // Bytes the journal file holds for the open group. Safe to read while
  // another thread records: the pager's background write-out does.
  uint64_t size() const { return size_.load(std::memory_order_relaxed); }

  // Starts a group whose database is `database_size` bytes; nothing is
  // written before Record or Sync.
  void Begin(uint64_t database_size);
  // Appends the original bytes of the pages `pages` (in page order, each
  // before the group's start size, none recorded before in the group),
  // read from `database`. Not synced. Raises 3043.
  void Record(const File& database, std::span<const uint32_t> pages);
  // Writes the header if the group has none yet and syncs the journal:
  // afterwards the recorded pages may be written over. Raises 3043.
  void Sync();
  // Ends the group: zeroes the header and syncs it. Raises 3043.
  void Invalidate();
  // Undoes the open group in `database`: writes the recorded pages back,
  // cuts it to the group's start size, syncs it, and ends the group.
  // Raises 3043.
  void RollBack(File& database);
  // Closes the journal file and removes it; errors are ignored (an unused
  // journal left behind is removed by the next open).
  void Remove();

 private:
  void WriteHeader();
  void Publish() {
    size_.store(started_ ? end_ : 0, std::memory_order_relaxed);
  }

  std::string path_;
  uint32_t page_size_;
  std::optional<File> file_;
  bool started_ = false;         // header written for the open group
  bool header_synced_ = false;
  uint64_t nonce_ = 0;
  uint64_t database_size_ = 0;
  uint64_t end_ = 0;             // where the next record goes
  std::vector<uint8_t> buffer_;  // records on their way to the file
  std::atomic<uint64_t> size_{0};  // size() as of the last change
};

// What a journal left beside a database holds.
enum class JournalState {
  kNone,    // no journal file
  kUnused,  // a journal without a valid header: nothing to undo
  kHot,     // a cut-off group to roll back
};

JournalState InspectJournal(const std::string& database_path);

// Rolls back the cut-off group a hot journal holds: writes its records
// back into `database` (open for writing), cuts the database to its size
// at the group's start, syncs it, and makes the journal unused. Returns
// the number of pages written back. Raises 3043.
size_t RollBackJournal(const std::string& database_path, File& database);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_JOURNAL_H_
