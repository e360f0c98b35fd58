// Files by name on POSIX systems.
#include "jet/storage/file_system.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>

#include "jet/base/error.h"
#include "jet/storage/system_error_text.h"

namespace jet {

namespace {

namespace fs = std::filesystem;

[[noreturn]] void ThrowFileError(const std::string& what, int error_number) {
  throw Error(kErrDiskIo, what + " (" + SystemErrorText(error_number) + ")");
}

// Forces `path`'s data (a file, or a folder's entries) to the disk.
void SyncToDisk(const std::string& path, bool folder) {
  int fd =
      ::open(path.c_str(), (folder ? O_DIRECTORY : 0) | O_RDONLY | O_CLOEXEC);
  if (fd < 0) ThrowFileError("'" + path + "' 파일을 열 수 없습니다", errno);
  int rc = ::fsync(fd);
  int saved = errno;
  ::close(fd);
  if (rc != 0) {
    ThrowFileError("'" + path + "' 파일을 디스크에 기록할 수 없습니다", saved);
  }
}

}  // namespace

bool IsNormalFile(const std::string& path) {
  std::error_code ec;
  return fs::is_regular_file(path, ec);
}

void RemoveFile(const std::string& path) {
  if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
    ThrowFileError("'" + path + "' 파일을 지울 수 없습니다", errno);
  }
}

void ReplaceWithCopy(const std::string& path, const std::string& copy) {
  std::error_code ec;
  fs::permissions(copy, fs::status(path).permissions(), ec);
  if (ec) {
    ThrowFileError("'" + copy + "' 파일의 권한을 원본과 같게 할 수 없습니다",
                   ec.value());
  }
  struct stat original;
  if (::stat(path.c_str(), &original) == 0) {
    // Only a privileged process may give the file away; otherwise it
    // stays the user's own, as the original was.
    (void)::chown(copy.c_str(), original.st_uid, original.st_gid);
  }
  SyncToDisk(copy, false);
  fs::rename(copy, path, ec);
  if (ec) {
    ThrowFileError(
        "'" + copy + "' 파일로 '" + path + "' 파일을 바꿀 수 없습니다",
        ec.value());
  }
}

void ReplaceWithCopyKeepingOriginal(const std::string& path,
                                    const std::string& copy,
                                    const std::string& kept_as) {
  // A second name for the original first, so that the rename over `path`
  // leaves it under `kept_as`; where the file system has no such names, a
  // copy of it.
  if (::link(path.c_str(), kept_as.c_str()) != 0) {
    std::error_code ec;
    fs::copy_file(path, kept_as, fs::copy_options::none, ec);
    if (ec) {
      ThrowFileError("'" + path + "' 파일을 '" + kept_as +
                         "' (으)로 남길 수 없습니다",
                     ec.value());
    }
    SyncToDisk(kept_as, false);
  }
  try {
    ReplaceWithCopy(path, copy);
  } catch (...) {
    ::unlink(kept_as.c_str());
    throw;
  }
}

void SyncFolderOf(const std::string& path) {
  fs::path folder = fs::path(path).parent_path();
  SyncToDisk(folder.empty() ? "." : folder.string(), true);
}

std::string RealFilePath(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  fs::path target = fs::canonical(path, ec);
  return ec ? path : target.string();
}

}  // namespace jet
