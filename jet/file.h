// The database file on disk: open, size, positioned reads. It knows nothing
// of pages; the pager is built on it.
#ifndef MDBCARE_JET_FILE_H_
#define MDBCARE_JET_FILE_H_

#include <cstdint>
#include <span>
#include <string>

namespace jet {

class File {
 public:
  // Opens `path` for reading. Raises 3024 when it does not exist and 3051
  // when it is a directory or cannot be opened.
  static File OpenForReading(const std::string& path);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }

  // Reads exactly `out.size()` bytes at `offset`; raises 3043 on a failed
  // read and the damaged-file error when the file ends before that.
  void ReadAt(uint64_t offset, std::span<uint8_t> out) const;

 private:
  File(int fd, std::string path, uint64_t size)
      : fd_(fd), path_(std::move(path)), size_(size) {}

  int fd_ = -1;
  std::string path_;
  uint64_t size_ = 0;
};

}  // namespace jet

#endif  // MDBCARE_JET_FILE_H_
