// Compaction in place: the lock test, the pointer, the messages, and that
// a failure leaves the database as it was.
#include "maintenance/ks.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "jet/base/error.h"
#include "jet/database/compact.h"
#include "jet/storage/file.h"
#include "maintenance/engine/table_row_counts.h"
#include "tests/maintenance/recording_interface.h"
#include "tests/maintenance/table_census.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using maintenance::Outcome;
using maintenance::Ks::CompactDatabaseFile;
using testing_support::CorpusDir;
using testing_support::FileBytes;
using testing_support::RecordingInterface;
using testing_support::TempDir;
using Calls = std::vector<std::string>;
using Names = std::vector<std::string>;

const std::string kLockMessage =
    "message 데이타베이스가 열려있으면 실행이 안됩니다.";

void WriteFile(const fs::path& path, const std::string& text) {
  std::ofstream(path, std::ios::binary) << text;
}

std::string FileText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

Names FolderNames(const fs::path& folder) {
  Names names;
  for (const auto& e : fs::directory_iterator(folder)) {
    names.push_back(testing_support::Utf8(e.path().filename()));
  }
  std::sort(names.begin(), names.end());
  return names;
}

// The description the engine's compaction raises for these arguments.
std::string CompactionError(const fs::path& source, const fs::path& dest) {
  try {
    jet::CompactDatabase(source.string(), dest.string(), dao::ConnectString);
  } catch (const jet::Error& e) {
    return e.description();
  }
  return "";
}

TEST(KsNamesTest, LockFileReplacesTheLastThreeCharacters) {
  using maintenance::Ks::LockFileName;
  EXPECT_EQ(LockFileName("c:\\data\\a.mdb"), "c:\\data\\a.ldb");
  EXPECT_EQ(LockFileName("a.MDB"), "a.ldb");
  EXPECT_EQ(LockFileName("a.자료집"), "a.ldb");  // characters, not bytes
  EXPECT_EQ(maintenance::Ks::TempCompactName("c:\\data\\a.mdb"),
            "c:\\data\\a.mdb_");
}

TEST(CompactDatabaseFileTest, CancelledChoiceDoesNothing) {
  RecordingInterface ui("");
  EXPECT_EQ(maintenance::CompactChosenDatabase(ui), Outcome::kCancelled);
  EXPECT_EQ(ui.calls, Calls{"choose 압축될 데이타베이스 화일열기"});
}

// With a.ldb beside a.mdb (or a.MDB): the message, no pointer change, and
// neither file touched. Without the lock test, or with a folder of that
// name, the compaction goes ahead.
TEST(CompactDatabaseFileTest, LockFileStopsBeforeAnythingHappens) {
  TempDir dir;
  for (const char* name : {"a.mdb", "a.MDB"}) {
    const fs::path db = dir.path() / name;
    WriteFile(db, "not touched");
    WriteFile(dir.path() / "a.ldb", "lock");
    RecordingInterface ui;
    EXPECT_EQ(CompactDatabaseFile(ui, db.string(), -1), Outcome::kRefused);
    EXPECT_EQ(ui.calls, Calls{kLockMessage});
    EXPECT_EQ(FileText(db), "not touched");
    EXPECT_EQ(FileText(dir.path() / "a.ldb"), "lock");
    fs::remove(db);
  }
  const fs::path db = dir.path() / "a.mdb";
  WriteFile(db, "x");
  RecordingInterface unchecked;
  CompactDatabaseFile(unchecked, db.string(), 0);
  EXPECT_EQ(unchecked.calls.at(0), "pointer hourglass");
  fs::remove(dir.path() / "a.ldb");
  fs::create_directory(dir.path() / "a.ldb");
  RecordingInterface folder;
  CompactDatabaseFile(folder, db.string(), 1);
  EXPECT_EQ(folder.calls.at(0), "pointer hourglass");
}

// A left-over a.mdb_, and a source the engine cannot read: the engine's
// description with the arrow back, the database as it was, and no copy of
// ours left behind.
TEST(CompactDatabaseFileTest, FailuresChangeNothing) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  const fs::path db = dir.path() / "a.mdb";
  fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", db);
  WriteFile(dir.path() / "a.mdb_", "earlier run");
  const std::vector<uint8_t> before = FileBytes(db);
  const std::string description = CompactionError(db, dir.path() / "a.mdb_");
  ASSERT_FALSE(description.empty());
  RecordingInterface ui;
  EXPECT_EQ(CompactDatabaseFile(ui, db.string(), -1), Outcome::kFailed);
  EXPECT_EQ(ui.calls, (Calls{"pointer hourglass", "pointer arrow",
                             "message " + description}));
  EXPECT_TRUE(FileBytes(db) == before);
  EXPECT_EQ(FolderNames(dir.path()), (Names{"a.mdb", "a.mdb_"}));
  EXPECT_EQ(FileText(dir.path() / "a.mdb_"), "earlier run");
}

// A file cut short is salvaged: the repaired file checks clean and lists
// what was lost in MSysCompactError, the damaged original stays beside it,
// and the message says both.
TEST(CompactDatabaseFileTest, DamagedFileIsSalvagedAndItsOriginalKept) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  const fs::path db = dir.path() / "a.mdb";
  fs::copy_file(CorpusDir() / "jet4" / "testV2000.mdb", db);
  fs::resize_file(db, 300000);
  const std::vector<uint8_t> before = FileBytes(db);
  RecordingInterface ui;
  EXPECT_EQ(CompactDatabaseFile(ui, db.string(), -1), Outcome::kCompleted);
  ASSERT_EQ(ui.calls.size(), 3u);
  const std::string& message = ui.calls[2];
  EXPECT_EQ(message.rfind("message 데이타베이스 파일이 손상되어", 0), 0u)
      << message;
  const fs::path kept = dir.path() / fs::path(u8"a_손상원본.mdb");
  EXPECT_NE(message.find(testing_support::Utf8(kept)), std::string::npos)
      << message;
  EXPECT_EQ(FolderNames(dir.path()), (Names{"a.mdb", "a_손상원본.mdb"}));
  EXPECT_TRUE(FileBytes(kept) == before);
  EXPECT_DATABASE_CHECKS_CLEAN(db, dao::ConnectString);
  const auto counts = dao::CountTableRows(db.string(), dao::ConnectString);
  EXPECT_TRUE(std::any_of(counts.begin(), counts.end(), [](const auto& c) {
    return c.table == "MSysCompactError" && c.rows > 0;
  }));
}

TEST(CheckCompactedCopyTest, TablesAndRowCountsMustMatch) {
  SKIP_WITHOUT_CORPUS();
  const fs::path original = CorpusDir() / "jet4" / "testV2000.mdb";
  TempDir dir;
  fs::path copy = dir.Copy(original);
  EXPECT_NO_THROW(maintenance::Ks::CheckCompactedCopy(
      original.string(), copy.string(), dao::ConnectString));
  EXPECT_THROW(maintenance::Ks::CheckCompactedCopy(
                   original.string(),
                   (CorpusDir() / "jet4" / "noPasswordV2000.mdb").string(),
                   dao::ConnectString),
               jet::Error);
}

// Every corpus file compacted in place: only the file remains, with every
// table and row, never larger than before.
TEST(CompactDatabaseFileTest, CompactsEveryCorpusFileInPlace) {
  SKIP_WITHOUT_CORPUS();
  for (const fs::path& file : testing_support::CorpusFiles()) {
    SCOPED_TRACE(file.string());
    TempDir dir;
    fs::path copy = dir.Copy(file);
    const std::string connect = testing_support::ConnectFor(file);
    const auto rows_before = dao::CountTableRows(copy.string(), connect);
    const auto size_before = fs::file_size(copy);
    RecordingInterface ui;
    EXPECT_EQ(CompactDatabaseFile(ui, copy.string(), -1, connect),
              Outcome::kCompleted);
    EXPECT_EQ(ui.calls, (Calls{"pointer hourglass", "pointer arrow",
                               "message 작업이 완료 되었습니다"}));
    EXPECT_EQ(FolderNames(dir.path()), Names{copy.filename().string()});
    EXPECT_EQ(dao::CountTableRows(copy.string(), connect), rows_before);
    EXPECT_LE(fs::file_size(copy), size_before);
  }
}

// A disk that fails at any one write or sync while the copy is made: the
// database at its path is the old one, whole, and no copy is left; once
// the disk works, the compaction completes with every row.
TEST(CompactDatabaseFileTest, DiskFailureAtAnyWriteKeepsTheDatabase) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  const fs::path db = dir.Copy(CorpusDir() / "jet4" / "delTestV2000.mdb");
  const std::vector<uint8_t> before = FileBytes(db);
  const auto rows = dao::CountTableRows(db.string(), dao::ConnectString);
  static uint64_t target;
  uint64_t failures = 0;
  for (target = 0;; ++target) {
    RecordingInterface ui;
    jet::File::SetFaultHook([](uint64_t op) { return op == target; });
    const Outcome outcome = CompactDatabaseFile(ui, db.string(), -1);
    jet::File::SetFaultHook(nullptr);
    if (outcome == Outcome::kCompleted) break;
    ++failures;
    ASSERT_EQ(outcome, Outcome::kFailed) << "write " << target;
    ASSERT_TRUE(FileBytes(db) == before) << "write " << target;
    ASSERT_EQ(FolderNames(dir.path()), Names{db.filename().string()})
        << "write " << target;
  }
  EXPECT_GT(failures, 5u);
  EXPECT_EQ(dao::CountTableRows(db.string(), dao::ConnectString), rows);
  EXPECT_LT(fs::file_size(db), before.size());
}

#ifndef _WIN32  // POSIX permissions and symbolic links
// A private database stays private, and a link to a database stays a link
// to the database, which is the file compacted.
TEST(CompactDatabaseFileTest, KeepsPermissionsAndFollowsLinks) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  const fs::path db = dir.Copy(CorpusDir() / "jet4" / "testV2000.mdb");
  fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write);
  const fs::path link = dir.path() / "link.mdb";
  fs::create_symlink(db.filename(), link);
  const auto size = fs::file_size(db);
  RecordingInterface ui;
  EXPECT_EQ(CompactDatabaseFile(ui, link.string(), -1), Outcome::kCompleted);
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_LT(fs::file_size(db), size);
  EXPECT_EQ(fs::status(db).permissions() & fs::perms::all,
            fs::perms::owner_read | fs::perms::owner_write);
  EXPECT_EQ(FolderNames(dir.path()),
            (Names{"link.mdb", db.filename().string()}));
}
#endif

}  // namespace
