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

std::string DamagedOriginalName(const std::string& path) {
  // The extension is what follows the last dot of the file's own name.
  const size_t slash = path.find_last_of("/\\");
  const size_t dot = path.rfind('.');
  const bool has_extension =
      dot != std::string::npos && (slash == std::string::npos || dot > slash);
  const std::string stem = has_extension ? path.substr(0, dot) : path;
  const std::string extension = has_extension ? path.substr(dot) : "";
  for (int n = 1;; ++n) {
    const std::string name = stem + "_손상원본" +
                             (n == 1 ? "" : std::to_string(n)) + extension;
    if (!jet::IsNormalFile(name)) return name;
  }
}

std::string SalvageMessage(const jet::CompactReport& report,
                           const std::string& kept_as) {
  std::string text =
      "데이타베이스 파일이 손상되어 있어 읽을 수 있는 내용만 살려 "
      "압축했습니다.";
  auto line = [&](const std::string& table, const std::string& what) {
    text += "\n'" + table + "' 테이블: " + what;
  };
  if (report.catalog_damaged) {
    text += "\n시스템 카탈로그(MSysObjects)의 일부가 손상되었습니다.";
  }
  for (const jet::CompactReport::Table& t : report.tables) {
    if (t.lost) line(t.name, "테이블 정의가 손상되어 테이블을 살리지 못했습니다.");
    if (t.recovered) {
      line(t.name, "카탈로그에서 이름이 지워진 테이블을 이 이름으로 살렸습니다.");
    }
    if (t.map_unreadable) {
      line(t.name, "페이지 목록이 손상되어 행을 찾지 못했습니다.");
    }
    if (t.damaged_pages) {
      line(t.name, "손상된 페이지 " + std::to_string(t.damaged_pages) +
                       "개에 있던 행을 살리지 못했습니다.");
    }
    if (t.rows_left_out) {
      line(t.name, "온전하지 않은 행 " + std::to_string(t.rows_left_out) +
                       "개를 살리지 못했습니다.");
    }
    if (t.values_made_null) {
      line(t.name, "읽을 수 없는 메모/OLE 값 " +
                       std::to_string(t.values_made_null) +
                       "개를 Null로 바꾸었습니다.");
    }
    for (const std::string& index : t.made_not_unique) {
      line(t.name, "'" + index +
                       "' 색인에 같은 값이 있어 고유하지 않은 색인으로 "
                       "만들었습니다.");
    }
  }
  text += "\n살리지 못한 내용은 MSysCompactError 테이블에 적어 두었습니다.";
  text += "\n손상된 원본은 '" + kept_as + "' 에 남겨 두었습니다.";
  return text;
}

void CheckCompactedCopy(const std::string& path, const std::string& copy,
                        const std::string& connect,
                        const jet::CompactReport* report) {
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
  std::vector<dao::TableRowCount> after = dao::CountTableRows(copy, connect);
  std::vector<dao::TableRowCount> before;
  if (report && report->salvaged()) {
    // What the salvage copied. The system tables then gained the rows of
    // MSysCompactError (and of tables named anew): they are compared by
    // the rows the salvage copied into them, not by their counts.
    std::erase_if(after, [](const dao::TableRowCount& c) {
      return c.table.compare(0, 4, "MSys") == 0;
    });
    for (const jet::CompactReport::Table& t : report->tables) {
      if (!t.lost && t.name.compare(0, 4, "MSys") != 0) {
        before.push_back(dao::TableRowCount{t.name, t.rows_copied});
      }
    }
    auto by_name = [](const dao::TableRowCount& a,
                      const dao::TableRowCount& b) { return a.table < b.table; };
    std::sort(before.begin(), before.end(), by_name);
    std::sort(after.begin(), after.end(), by_name);
  } else {
    before = dao::CountTableRows(path, connect);
  }
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
    const jet::CompactReport report =
        engine.CompactDatabase(path, temp, "", 0, connect);
    copy_made = true;
    CheckCompactedCopy(path, temp, connect, &report);
    std::string kept_as;
    if (report.salvaged()) {
      kept_as = DamagedOriginalName(path);
      jet::ReplaceWithCopyKeepingOriginal(path, temp, kept_as);
    } else {
      jet::ReplaceWithCopy(path, temp);
    }
    copy_made = false;
    // Makes the rename itself durable where the file system allows it. The
    // path holds a complete database whether or not this succeeds, so a
    // failure here is not reported.
    try {
      jet::SyncFolderOf(path);
    } catch (const jet::Error&) {
    }
    ui.SetMousePointer(MousePointer::kArrow);
    ui.ShowMessage(report.salvaged() ? SalvageMessage(report, kept_as)
                                     : kCompletedMessage);
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
