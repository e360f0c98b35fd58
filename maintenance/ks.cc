#include "maintenance/ks.h"

#include <algorithm>
#include <memory>
#include <new>
#include <vector>

#include "jet/base/error.h"
#include "jet/check/checker.h"
#include "jet/database/database.h"
#include "jet/storage/file_system.h"
#include "maintenance/engine/table_row_counts.h"

namespace maintenance {

namespace {

// The byte length of the UTF-8 sequence that ends at `end` in `text`.
size_t LastCharacterLength(const std::string& text, size_t end) {
  size_t start = end - 1;
  while (start > 0 &&
         (static_cast<unsigned char>(text[start]) & 0xC0) == 0x80) {
    --start;
  }
  return end - start;
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
  const std::string path = jet::RealFilePath(chosen);
  const std::string temp = TempCompactName(path);
  bool copy_made = false;
  std::string description;
  try {
    if (checkLock != 0) {
      if (jet::IsNormalFile(LockFileName(chosen)) ||
          jet::IsNormalFile(LockFileName(path))) {
        ui.ShowMessage(kDatabaseOpenMessage);
        return Outcome::kRefused;
      }
    }
    ui.SetMousePointer(MousePointer::kHourglass);
    dao::DBEngine& engine = dao::DBEngine::Get();
    engine.CompactDatabase(path, temp, "", 0, connect);
    copy_made = true;
    CheckCompactedCopy(path, temp, connect);
    jet::ReplaceWithCopy(path, temp);
    copy_made = false;
    // Makes the rename itself durable where the file system allows it. The
    // path holds a complete database whether or not this succeeds, so a
    // failure here is not reported.
    try {
      jet::SyncFolderOf(path);
    } catch (const jet::Error&) {
    }
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
    try {
      jet::RemoveFile(temp);
    } catch (const jet::Error&) {
    }
  }
  ui.SetMousePointer(MousePointer::kArrow);
  ui.ShowMessage(description);
  return Outcome::kFailed;
}

}  // namespace Ks
}  // namespace maintenance
