// The file on POSIX systems: pread and pwrite, preadv and pwritev, fsync.
#include "jet/storage/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <utility>
#include <vector>

#include "jet/base/error.h"
#include "jet/storage/system_error_text.h"

namespace jet {

File File::Open(const std::string& path, bool writable) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw Error(kErrFileNotFound, "'" + path + "' 파일을 찾을 수 없습니다.");
    }
    throw Error(kErrCannotOpenFile, "'" + path + "' 파일을 열 수 없습니다: " +
                                        SystemErrorText(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    throw Error(
        kErrCannotOpenFile,
        "'" + path +
            "' 은(는) 데이터베이스 파일이 아닙니다 (폴더 또는 특수 파일).");
  }
  int fd = ::open(path.c_str(), (writable ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) {
    if (writable && (errno == EACCES || errno == EROFS || errno == EPERM)) {
      throw Error(kErrCannotOpenFile,
                  "'" + path +
                      "' 파일에 쓸 수 없습니다. 읽기 전용 파일이거나 "
                      "쓰기 권한이 없습니다.");
    }
    throw Error(kErrCannotOpenFile, "'" + path + "' 파일을 열 수 없습니다: " +
                                        SystemErrorText(errno));
  }
  return File(fd, path, static_cast<uint64_t>(st.st_size), writable);
}

File File::Create(const std::string& path) {
  int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
  if (fd < 0) {
    if (errno == EEXIST) {
      throw Error(kErrAlreadyExists, "'" + path + "' 파일이 이미 있습니다.");
    }
    throw Error(kErrCannotOpenFile, "'" + path + "' 파일을 만들 수 없습니다: " +
                                        SystemErrorText(errno));
  }
  return File(fd, path, 0, true);
}

File File::CreateTemporary() {
  const char* tmpdir = std::getenv("TMPDIR");
  const std::string folder = tmpdir && *tmpdir ? tmpdir : "/tmp";
  int fd = ::open(folder.c_str(), O_RDWR | O_TMPFILE | O_CLOEXEC, 0600);
  if (fd < 0) {
    // File systems without unnamed files: a named one, unlinked at once.
    std::string name = folder + "/mdbcare-XXXXXX";
    fd = ::mkostemp(name.data(), O_CLOEXEC);
    if (fd >= 0) ::unlink(name.c_str());
  }
  if (fd < 0) {
    throw Error(kErrCannotOpenFile, "'" + folder +
                                        "' 에 임시 파일을 만들 수 없습니다: " +
                                        SystemErrorText(errno));
  }
  return File(fd, folder, 0, true);
}

void File::Close() {
  if (fd_ >= 0) ::close(std::exchange(fd_, kNoHandle));
}

void File::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIo("읽는", SystemErrorText(errno));
    }
    if (n == 0) ThrowDamaged("파일이 예상보다 짧습니다");
    done += static_cast<size_t>(n);
  }
}

namespace {

// Moves `iov` past `n` bytes transferred, from its element `at` on.
void Advance(std::vector<iovec>& iov, size_t& at, size_t n) {
  while (n > 0 && at < iov.size()) {
    if (n >= iov[at].iov_len) {
      n -= iov[at].iov_len;
      ++at;
    } else {
      iov[at].iov_base = static_cast<char*>(iov[at].iov_base) + n;
      iov[at].iov_len -= n;
      n = 0;
    }
  }
}

}  // namespace

void File::Transfer(std::vector<iovec>& iov, uint64_t offset,
                    bool write) const {
  size_t at = 0;
  while (at < iov.size()) {
    const int count =
        static_cast<int>(std::min<size_t>(iov.size() - at, IOV_MAX));
    const off_t where = static_cast<off_t>(offset);
    ssize_t n = write ? ::pwritev(fd_, iov.data() + at, count, where)
                      : ::preadv(fd_, iov.data() + at, count, where);
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIo(write ? "쓰는" : "읽는", SystemErrorText(errno));
    }
    if (n == 0) {
      if (!write) ThrowDamaged("파일이 예상보다 짧습니다");
      errno = EIO;  // a write that writes nothing would loop for ever
      ThrowIo("쓰는", SystemErrorText(errno));
    }
    offset += static_cast<uint64_t>(n);
    Advance(iov, at, static_cast<size_t>(n));
  }
}

void File::ReadAt(uint64_t offset,
                  std::span<const std::span<uint8_t>> parts) const {
  std::vector<iovec> iov;
  iov.reserve(parts.size());
  for (std::span<uint8_t> p : parts) iov.push_back(iovec{p.data(), p.size()});
  Transfer(iov, offset, /*write=*/false);
}

void File::WriteParts(uint64_t offset,
                      std::span<const std::span<const uint8_t>> parts) {
  std::vector<iovec> iov;
  iov.reserve(parts.size());
  uint64_t end = offset;
  for (std::span<const uint8_t> p : parts) {
    iov.push_back(iovec{const_cast<uint8_t*>(p.data()), p.size()});
    end += p.size();
  }
  Transfer(iov, offset, /*write=*/true);
  if (end > size_) size_ = end;
}

void File::WriteAll(uint64_t offset, std::span<const uint8_t> data) {
  size_t done = 0;
  while (done < data.size()) {
    ssize_t n = ::pwrite(fd_, data.data() + done, data.size() - done,
                         static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      ThrowIo("쓰는", SystemErrorText(errno));
    }
    done += static_cast<size_t>(n);
  }
  if (offset + data.size() > size_) size_ = offset + data.size();
}

void File::Resize(uint64_t size) {
  CheckFault();
  if (::ftruncate(fd_, static_cast<off_t>(size)) != 0) {
    ThrowIo("쓰는", SystemErrorText(errno));
  }
  size_ = size;
  TellEvent(Event::kResize, size);
}

void File::Sync() {
  CheckFault();
  if (::fsync(fd_) != 0) ThrowIo("디스크에 기록하는", SystemErrorText(errno));
  TellEvent(Event::kSync, 0);
}

bool File::StillAtItsPath() const {
  struct stat open_file, named;
  if (::fstat(fd_, &open_file) != 0 || ::stat(path_.c_str(), &named) != 0) {
    return false;
  }
  return open_file.st_dev == named.st_dev && open_file.st_ino == named.st_ino &&
         static_cast<uint64_t>(open_file.st_size) >= size_;
}

void File::StartWriteBack() {
#ifdef __linux__
  // Whole file (offset 0, length 0): its dirty pages start going out.
  ::sync_file_range(fd_, 0, 0, SYNC_FILE_RANGE_WRITE);
#endif
}

}  // namespace jet
