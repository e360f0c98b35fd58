#include "maintenance/ks.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <memory>
#include <new>
#include <vector>

#include "jet/base/error.h"
#include "jet/check/checker.h"
#include "jet/database/database.h"
#include "maintenance/engine/table_row_counts.h"

namespace maintenance {

namespace fs = std::filesystem;

namespace {

// Raised for the steps after the engine's compaction, with descriptions in
// the engine's style.
[[noreturn]] void ThrowFileError(const std::string& what, int error_number) {
  throw jet::Error(jet::kErrDiskIo,
                   what + " (" + std::strerror(error_number) + ")");
}

// The byte length of the UTF-8 sequence that ends at `end` in `text`.
size_t LastCharacterLength(const std::string& text, size_t end) {
  size_t start = end - 1;
  while (start > 0 &&
         (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    --start;
  }
  return end - start;
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

// Puts the complete copy in the original's place: one rename over it, so
// that no moment is without a whole database at `path`. The copy first
// gets the original's permissions (and owner, where the process may give
// it), so that a database kept private stays private.
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

// The file a database path names: a symbolic link is followed, so that the
// compacted copy replaces the database and not the link to it.
std::string RealFile(const std::string& path) {
  std::error_code ec;
  if (!fs::is_symlink(path, ec)) return path;
  fs::path target = fs::canonical(path, ec);
  return ec ? path : target.string();
}

// Makes the rename itself durable where the file system allows it. The
// path holds a complete database whether or not this succeeds, so a
// failure here is not reported.
void SyncFolderOf(const std::string& path) {
  fs::path folder = fs::path(path).parent_path();
  try {
    SyncToDisk(folder.empty() ? "." : folder.string(), true);
  } catch (const jet::Error&) {
  }
}

}  // namespace

Outcome CompactChosenDatabase(UserInterface& ui, const std::string& connect) {
  const std::string path = ui.ChooseDatabaseFile(kCompactTitle);
  if (path.empty()) return Outcome::kCancelled;
  return Ks::CompactDatabaseFile(ui, path, -1, connect);
}

namespace Ks {

std::string LockFileName(const std::string& path) {
  size_t end = path.size();
  for (int k = 0; k < 3 && end > 0; ++k) end -= LastCharacterLength(path, end);
  return path.substr(0, end) + "ldb";
}

std::string TempCompactName(const std::string& path) { return path + "_"; }

void CheckCompactedCopy(const std::string& path, const std::string& copy,
                        const std::string& connect) {
  {
    jet::OpenOptions options;
    options.connect = connect;
    std::unique_ptr<jet::Database> db = jet::Database::Open(copy, options);
    std::vector<jet::Finding> findings = jet::CheckDatabase(*db);
    if (!findings.empty()) {
      throw jet::Error(jet::kErrDamagedFile,
                       "압축한 사본을 검사하니 문제가 있습니다 (" +
                           jet::FormatFinding(findings.front()) +
                           "). 원본은 그대로 두었습니다.");
    }
  }
  std::vector<dao::TableRowCount> before = dao::CountTableRows(path, connect);
  std::vector<dao::TableRowCount> after = dao::CountTableRows(copy, connect);
  if (before == after) return;
  for (const dao::TableRowCount& table : before) {
    auto match = std::find_if(
        after.begin(), after.end(),
        [&](const dao::TableRowCount& c) { return c.table == table.table; });
    const uint64_t copied = match == after.end() ? 0 : match->rows;
    if (match == after.end() || copied != table.rows) {
      const std::string counts = "원본 " + std::to_string(table.rows) +
                                 "행, 사본 " + std::to_string(copied) + "행";
      throw jet::Error(jet::kErrDamagedFile,
                       "압축한 사본의 '" + table.table + "' 테이블이 원본과 " +
                           "다릅니다 (" + counts +
                           "). 원본은 그대로 두었습니다.");
    }
  }
  throw jet::Error(jet::kErrDamagedFile,
                   "압축한 사본에 원본에 없는 테이블이 있습니다. 원본은 그대로 "
                   "두었습니다.");
}

Outcome CompactDatabaseFile(UserInterface& ui, const std::string& chosen,
                            int16_t checkLock, const std::string& connect) {
  const std::string path = RealFile(chosen);
  const std::string temp = TempCompactName(path);
  bool copy_made = false;
  std::string description;
  try {
    if (checkLock != 0) {
      std::error_code ec;
      if (fs::is_regular_file(LockFileName(chosen), ec) ||
          fs::is_regular_file(LockFileName(path), ec)) {
        ui.ShowMessage(kDatabaseOpenMessage);
        return Outcome::kRefused;
      }
    }
    ui.SetMousePointer(MousePointer::kHourglass);
    dao::DBEngine& engine = dao::DBEngine::Get();
    engine.CompactDatabase(path, temp, "", 0, connect);
    copy_made = true;
    CheckCompactedCopy(path, temp, connect);
    ReplaceWithCopy(path, temp);
    copy_made = false;
    SyncFolderOf(path);
    ui.SetMousePointer(MousePointer::kArrow);
    ui.ShowMessage(kCompletedMessage);
    return Outcome::kCompleted;
  } catch (const jet::Error& e) {
    description = e.description();
  } catch (const std::bad_alloc&) {
    description = "메모리가 부족합니다.";
  }
  // A copy this procedure made and could not use goes; the original was
  // never touched. A copy the engine refused to make is not ours.
  if (copy_made) {
    std::error_code ec;
    fs::remove(temp, ec);
  }
  ui.SetMousePointer(MousePointer::kArrow);
  ui.ShowMessage(description);
  return Outcome::kFailed;
}

}  // namespace Ks
}  // namespace maintenance
