#include "jet/file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "jet/error.h"

namespace jet {

File File::OpenForReading(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0) {
    if (errno == ENOENT || errno == ENOTDIR) {
      throw Error(kErrFileNotFound, "'" + path + "' 파일을 찾을 수 없습니다.");
    }
    throw Error(kErrCannotOpenFile,
                "'" + path + "' 파일을 열 수 없습니다: " + std::strerror(errno));
  }
  if (!S_ISREG(st.st_mode)) {
    throw Error(kErrCannotOpenFile,
                "'" + path + "' 은(는) 데이터베이스 파일이 아닙니다 (폴더 또는 특수 파일).");
  }
  int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    throw Error(kErrCannotOpenFile,
                "'" + path + "' 파일을 열 수 없습니다: " + std::strerror(errno));
  }
  return File(fd, path, static_cast<uint64_t>(st.st_size));
}

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, -1)),
      path_(std::move(other.path_)),
      size_(other.size_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = std::exchange(other.fd_, -1);
    path_ = std::move(other.path_);
    size_ = other.size_;
  }
  return *this;
}

File::~File() {
  if (fd_ >= 0) ::close(fd_);
}

void File::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    ssize_t n = ::pread(fd_, out.data() + done, out.size() - done,
                        static_cast<off_t>(offset + done));
    if (n < 0) {
      if (errno == EINTR) continue;
      throw Error(kErrDiskIo, "'" + path_ + "' 파일을 읽는 중 오류가 발생했습니다: " +
                                  std::strerror(errno));
    }
    if (n == 0) ThrowDamaged("파일이 예상보다 짧습니다");
    done += static_cast<size_t>(n);
  }
}

}  // namespace jet
