// The lock file on POSIX systems: open-file-description locks (fcntl).
#include "jet/storage/lock_file.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "jet/base/error.h"
#include "jet/storage/system_error_text.h"

namespace jet {

namespace {

// Whether some other open file description holds a lock on any byte of the
// file open at `fd`.
bool LockedByOther(int fd) {
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;  // to the end and beyond
  if (::fcntl(fd, F_OFD_GETLK, &fl) != 0) return false;
  return fl.l_type != F_UNLCK;
}

}  // namespace

std::unique_ptr<LockFile> LockFile::Acquire(const std::string& database_path) {
  // The database itself: a Jet client elsewhere locks ranges of it.
  int db_fd = ::open(database_path.c_str(), O_RDONLY | O_CLOEXEC);
  if (db_fd >= 0) {
    bool busy = LockedByOther(db_fd);
    ::close(db_fd);
    if (busy) ThrowInUse(database_path);
  }

  std::string path = LockFileName(database_path);
  int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
  bool created = false;
  if (fd < 0 && errno == ENOENT) {
    fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    created = fd >= 0;
  }
  if (fd < 0) {
    throw Error(kErrCannotOpenFile, "잠금 파일 '" + path +
                                        "' 을(를) 만들 수 없습니다: " +
                                        SystemErrorText(errno));
  }
  struct flock fl;
  std::memset(&fl, 0, sizeof fl);
  fl.l_type = F_WRLCK;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  if (::fcntl(fd, F_OFD_SETLK, &fl) != 0) {
    int err = errno;
    ::close(fd);
    if (created) ::unlink(path.c_str());
    if (err == EAGAIN || err == EACCES) ThrowInUse(database_path);
    throw Error(kErrCannotOpenFile, "잠금 파일 '" + path +
                                        "' 을(를) 잠글 수 없습니다: " +
                                        SystemErrorText(err));
  }

  char host[64] = {};
  ::gethostname(host, sizeof host - 1);
  const std::array<char, 64> entry = UserEntry(host);
  if (::ftruncate(fd, 0) == 0) {
    ssize_t ignored = ::pwrite(fd, entry.data(), entry.size(), 0);
    (void)ignored;  // the entry is informative only
  }
  return std::unique_ptr<LockFile>(new LockFile(path, fd));
}

LockFile::~LockFile() {
  ::unlink(path_.c_str());
  ::close(fd_);
}

}  // namespace jet
