#include "jet/storage/journal.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <random>

#include "jet/base/error.h"
#include "jet/base/format.h"
#include "jet/storage/file_system.h"

namespace jet {

namespace {

constexpr char kMagic[8] = {'m', 'd', 'b', 'c', 'J', 'R', 'N', 'L'};
constexpr uint32_t kVersion = 1;
constexpr size_t kHeaderSize = 64;
constexpr size_t kHeaderChecked = 32;  // bytes the header's checksum covers
constexpr size_t kRecordHead = 16;
// Pages read from the database and written to the journal in one go.
constexpr size_t kPagesPerWrite = 64;

void Put32(uint8_t* p, uint32_t v) {
  for (int i = 0; i < 4; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
void Put64(uint8_t* p, uint64_t v) {
  for (int i = 0; i < 8; ++i) p[i] = static_cast<uint8_t>(v >> (8 * i));
}
uint32_t Get32(const uint8_t* p) {
  uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}
uint64_t Get64(const uint8_t* p) {
  uint64_t v = 0;
  for (int i = 7; i >= 0; --i) v = (v << 8) | p[i];
  return v;
}

// A 64-bit checksum that tells a record written whole from one cut short
// or left by an earlier group: eight bytes at a time, each word mixed in
// by a multiplication, then the tail. Not meant to resist a forger.
uint64_t Checksum(uint64_t seed, const uint8_t* data, size_t n) {
  uint64_t h = seed ^ (n * 0x9E3779B97F4A7C15ull);
  size_t i = 0;
  for (; i + 8 <= n; i += 8) {
    uint64_t w;
    std::memcpy(&w, data + i, 8);
    h = (h ^ w) * 0xFF51AFD7ED558CCDull;
    h ^= h >> 32;
  }
  for (; i < n; ++i) h = (h ^ data[i]) * 0x100000001B3ull;
  h ^= h >> 29;
  return h * 0xC4CEB9FE1A85EC53ull;
}

uint64_t RecordChecksum(uint64_t nonce, uint32_t page, const uint8_t* bytes,
                        size_t page_size) {
  return Checksum(nonce ^ (uint64_t{page} << 20), bytes, page_size);
}

uint64_t NewNonce() {
  std::random_device device;
  const uint64_t time = static_cast<uint64_t>(
      std::chrono::steady_clock::now().time_since_epoch().count());
  return (uint64_t{device()} << 32 ^ device()) ^ time;
}

struct Header {
  uint32_t page_size = 0;
  uint64_t nonce = 0;
  uint64_t database_size = 0;
};

// The header of a journal file, or nullopt when it holds none that is
// valid (never written whole, or zeroed at the end of its group).
std::optional<Header> ReadHeader(const File& journal) {
  if (journal.size() < kHeaderSize) return std::nullopt;
  uint8_t h[kHeaderSize];
  journal.ReadAt(0, std::span<uint8_t>(h, kHeaderSize));
  if (std::memcmp(h, kMagic, sizeof kMagic) != 0) return std::nullopt;
  if (Get32(h + 8) != kVersion) return std::nullopt;
  if (Get64(h + 32) != Checksum(0, h, kHeaderChecked)) return std::nullopt;
  Header header;
  header.page_size = Get32(h + 12);
  header.nonce = Get64(h + 16);
  header.database_size = Get64(h + 24);
  if (header.page_size != kJet3PageSize &&
      header.page_size != kJet4PageSize) {
    return std::nullopt;
  }
  return header;
}

// Writes the records of `journal`'s group back into `database`, cuts the
// database to its size at the group's start, syncs it and zeroes the
// journal's header (synced). Returns the pages written back.
size_t RollBackRecords(File& journal, File& database) {
  std::optional<Header> header = ReadHeader(journal);
  size_t restored = 0;
  if (header) {
    const size_t record = kRecordHead + header->page_size;
    std::vector<uint8_t> bytes(record);
    for (uint64_t at = kHeaderSize; at + record <= journal.size();
         at += record) {
      journal.ReadAt(at, bytes);
      const uint32_t page = Get32(bytes.data());
      const uint8_t* data = bytes.data() + kRecordHead;
      if (Get64(bytes.data() + 8) !=
          RecordChecksum(header->nonce, page, data, header->page_size)) {
        break;  // cut short, or left by an earlier group
      }
      const uint64_t offset = uint64_t{page} * header->page_size;
      if (offset + header->page_size > header->database_size) break;
      database.WriteAt(offset, std::span<const uint8_t>(data, header->page_size));
      ++restored;
    }
    if (database.size() != header->database_size) {
      database.Resize(header->database_size);
    }
    database.Sync();
    const uint8_t zero[kHeaderSize] = {};
    journal.WriteAt(0, std::span<const uint8_t>(zero, kHeaderSize));
    journal.Sync();
  }
  return restored;
}

}  // namespace

std::string JournalPath(const std::string& database_path) {
  return database_path + "-journal";
}

Journal::Journal(std::string database_path, uint32_t page_size)
    : path_(JournalPath(database_path)), page_size_(page_size) {}

Journal::~Journal() = default;

void Journal::Begin(uint64_t database_size) {
  started_ = false;
  header_synced_ = false;
  database_size_ = database_size;
  nonce_ = NewNonce();
  end_ = kHeaderSize;
  Publish();
}

void Journal::WriteHeader() {
  if (!file_) {
    // Left by an earlier run and found unused at the open, or made now.
    file_ = IsNormalFile(path_) ? File::OpenForWriting(path_)
                                : File::Create(path_);
  }
  uint8_t h[kHeaderSize] = {};
  std::memcpy(h, kMagic, sizeof kMagic);
  Put32(h + 8, kVersion);
  Put32(h + 12, page_size_);
  Put64(h + 16, nonce_);
  Put64(h + 24, database_size_);
  Put64(h + 32, Checksum(0, h, kHeaderChecked));
  file_->WriteAt(0, std::span<const uint8_t>(h, kHeaderSize));
  started_ = true;
  Publish();
}

void Journal::Record(const File& database, std::span<const uint32_t> pages) {
  if (pages.empty()) return;
  if (!started_) WriteHeader();
  const size_t record = kRecordHead + page_size_;
  size_t at = 0;
  while (at < pages.size()) {
    const size_t n = std::min(kPagesPerWrite, pages.size() - at);
    buffer_.resize(n * record);
    // Runs of consecutive pages are read in one call each.
    size_t k = 0;
    while (k < n) {
      size_t run = 1;
      while (k + run < n && pages[at + k + run] == pages[at + k] + run) ++run;
      std::vector<std::span<uint8_t>> parts;
      for (size_t r = 0; r < run; ++r) {
        parts.emplace_back(buffer_.data() + (k + r) * record + kRecordHead,
                           page_size_);
      }
      database.ReadAt(uint64_t{pages[at + k]} * page_size_, parts);
      k += run;
    }
    for (size_t r = 0; r < n; ++r) {
      uint8_t* head = buffer_.data() + r * record;
      const uint32_t page = pages[at + r];
      Put32(head, page);
      Put32(head + 4, 0);
      Put64(head + 8,
            RecordChecksum(nonce_, page, head + kRecordHead, page_size_));
    }
    file_->WriteAt(end_, buffer_);
    end_ += buffer_.size();
    Publish();
    at += n;
  }
}

void Journal::Sync() {
  if (!started_) WriteHeader();
  file_->Sync();
  header_synced_ = true;
}

void Journal::Invalidate() {
  if (!started_) return;
  const uint8_t zero[kHeaderSize] = {};
  file_->WriteAt(0, std::span<const uint8_t>(zero, kHeaderSize));
  file_->Sync();
  started_ = false;
  header_synced_ = false;
  Publish();
}

void Journal::Remove() {
  file_.reset();
  try {
    RemoveFile(path_);
  } catch (const Error&) {
  }
}

void Journal::RollBack(File& database) {
  if (!started_ || !file_) return;
  RollBackRecords(*file_, database);
  started_ = false;
  header_synced_ = false;
  Publish();
}

JournalState InspectJournal(const std::string& database_path) {
  const std::string path = JournalPath(database_path);
  if (!IsNormalFile(path)) return JournalState::kNone;
  try {
    File journal = File::OpenForReading(path);
    return ReadHeader(journal) ? JournalState::kHot : JournalState::kUnused;
  } catch (const Error&) {
    // A journal that cannot be read cannot be rolled back either; opening
    // the database then fails on the journal's own error.
    return JournalState::kHot;
  }
}

size_t RollBackJournal(const std::string& database_path, File& database) {
  const std::string path = JournalPath(database_path);
  size_t restored = 0;
  {
    File journal = File::OpenForWriting(path);
    restored = RollBackRecords(journal, database);
  }
  // The journal is unused now; whether its removal reaches the disk does
  // not matter any more.
  try {
    RemoveFile(path);
  } catch (const Error&) {
  }
  return restored;
}

}  // namespace jet
