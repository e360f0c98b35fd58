#include "jet/index/collected_index_entries.h"

#include <algorithm>
#include <cstring>
#include <queue>
#include <span>

#include "jet/base/error.h"

namespace jet {

namespace {

// An entry in a segment: its sort bytes' length (2 bytes, little-endian),
// then the sort bytes.
constexpr size_t kLengthBytes = 2;
// Bytes gathered before a write to the temporary file.
constexpr size_t kWriteBytes = size_t{1} << 20;
// A segment reader's buffer: room for the longest entry (a 16-bit length)
// and then some.
constexpr size_t kReadBytes = size_t{1} << 17;

[[noreturn]] void ThrowUnreadable() {
  throw Error(kErrDiskIo, "색인을 만들던 임시 파일을 다시 읽을 수 없습니다.");
}

// One segment read back entry by entry, through a buffer that always holds
// the current entry whole.
class SegmentReader {
 public:
  SegmentReader(const File& file, uint64_t offset, uint64_t size)
      : file_(&file), next_(offset), end_(offset + size), buffer_(kReadBytes) {
    Advance();
  }

  bool done() const { return done_; }
  ByteView current() const {
    return ByteView(buffer_.data() + at_ + kLengthBytes, length_);
  }

  void Advance() {
    at_ += taken_;
    taken_ = 0;
    length_ = 0;
    if (!Ensure(kLengthBytes)) {
      if (filled_ != at_) ThrowUnreadable();  // a cut length
      done_ = true;
      return;
    }
    length_ = buffer_[at_] | (size_t{buffer_[at_ + 1]} << 8);
    if (!Ensure(kLengthBytes + length_)) ThrowUnreadable();
    taken_ = kLengthBytes + length_;
  }

 private:
  // Whether `n` bytes from `at_` are in the buffer, reading more of the
  // segment when they are not yet.
  bool Ensure(size_t n) {
    if (filled_ - at_ >= n) return true;
    std::memmove(buffer_.data(), buffer_.data() + at_, filled_ - at_);
    filled_ -= at_;
    at_ = 0;
    const uint64_t want =
        std::min<uint64_t>(buffer_.size() - filled_, end_ - next_);
    if (want > 0) {
      file_->ReadAt(next_, std::span<uint8_t>(buffer_.data() + filled_,
                                              static_cast<size_t>(want)));
      next_ += want;
      filled_ += static_cast<size_t>(want);
    }
    return filled_ - at_ >= n;
  }

  const File* file_;
  uint64_t next_;  // the segment's next byte not yet read
  uint64_t end_;
  std::vector<uint8_t> buffer_;
  size_t at_ = 0;      // the current entry's length bytes
  size_t filled_ = 0;  // bytes of the buffer holding data
  size_t length_ = 0;  // the current entry's sort bytes
  size_t taken_ = 0;   // the current entry's bytes in the buffer
  bool done_ = false;
};

}  // namespace

CollectedIndexEntries::CollectedIndexEntries(size_t index_count,
                                             size_t max_bytes)
    : max_bytes_(max_bytes), runs_(index_count), segments_(index_count) {}

void CollectedIndexEntries::Add(size_t index, const std::vector<uint8_t>& key,
                                RowPointer row) {
  EntryRun& run = runs_.at(index);
  const size_t before = run.bytes();
  run.Add(key, row);
  bytes_ += run.bytes() - before;
  if (bytes_ > max_bytes_) Spill();
}

void CollectedIndexEntries::Spill() {
  if (!spill_) spill_ = File::CreateTemporary();
  std::vector<uint8_t> buffer;
  buffer.reserve(kWriteBytes + kReadBytes);
  auto write = [&] {
    spill_->WriteAt(spill_end_, buffer);
    spill_end_ += buffer.size();
    buffer.clear();
  };
  for (size_t i = 0; i < runs_.size(); ++i) {
    EntryRun& run = runs_[i];
    if (run.empty()) continue;
    run.Sort();
    const uint64_t offset = spill_end_;
    for (size_t k = 0; k < run.size(); ++k) {
      const ByteView bytes = run.SortBytes(k);
      buffer.push_back(static_cast<uint8_t>(bytes.size()));
      buffer.push_back(static_cast<uint8_t>(bytes.size() >> 8));
      buffer.insert(buffer.end(), bytes.data(), bytes.data() + bytes.size());
      if (buffer.size() >= kWriteBytes) write();
    }
    write();
    segments_[i].push_back(Segment{offset, spill_end_ - offset});
    run.Clear();
  }
  bytes_ = 0;
  ++spills_;
}

void CollectedIndexEntries::ForEachSorted(
    size_t index, const std::function<void(ByteView)>& entry) {
  EntryRun& run = runs_.at(index);
  std::vector<Segment>& segments = segments_[index];
  if (segments.empty()) {
    for (size_t k = 0; k < run.size(); ++k) entry(run.SortBytes(k));
  } else {
    // A k-way merge: the segments' readers, and the run in memory as the
    // source numbered segments.size().
    std::vector<SegmentReader> readers;
    readers.reserve(segments.size());
    for (const Segment& s : segments)
      readers.emplace_back(*spill_, s.offset, s.size);
    const size_t in_memory = readers.size();
    size_t next_in_memory = 0;
    auto done = [&](size_t source) {
      return source == in_memory ? next_in_memory >= run.size()
                                 : readers[source].done();
    };
    auto current = [&](size_t source) {
      return source == in_memory ? run.SortBytes(next_in_memory)
                                 : readers[source].current();
    };
    auto later = [&](size_t a, size_t b) {
      return SortBytesLess(current(b), current(a));
    };
    std::priority_queue<size_t, std::vector<size_t>, decltype(later)> heap(
        later);
    for (size_t source = 0; source <= in_memory; ++source) {
      if (!done(source)) heap.push(source);
    }
    while (!heap.empty()) {
      const size_t source = heap.top();
      heap.pop();
      entry(current(source));
      if (source == in_memory) {
        ++next_in_memory;
      } else {
        readers[source].Advance();
      }
      if (!done(source)) heap.push(source);
    }
  }
  bytes_ -= std::min(bytes_, run.bytes());
  run.Clear();
  segments.clear();
}

}  // namespace jet
