// The lock file beside a database open for writing: named as Jet names it,
// held while open, refused to a second writer, removed at close, and a
// refused open leaves every file as it was. On POSIX systems the other
// writer is a second process; on Windows, where sharing is decided per
// open and not per process, it is a second open, or a handle held as Jet
// holds its lock file.
#include <gtest/gtest.h>
#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <fstream>

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/storage/lock_file.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using testing_support::TempDir;

std::string ReadAll(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

// Opens `db_path` for writing as another program would: from another
// process on POSIX systems; on Windows, where sharing is decided per open,
// with a second open. Returns the error number raised, 0 for none.
int OpenForWritingElsewhere(const fs::path& db_path) {
  jet::OpenOptions writable;
  writable.writable = true;
#ifdef _WIN32
  try {
    jet::Database::Open(db_path.string(), writable);
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
#else
  pid_t child = fork();
  if (child == 0) {
    try {
      jet::Database::Open(db_path.string(), writable);
      _exit(0);
    } catch (const jet::Error& e) {
      _exit(e.number() == jet::kErrFileInUse ? 45 : 1);
    }
  }
  int status = 0;
  waitpid(child, &status, 0);
  if (!WIFEXITED(status)) return -1;
  return WEXITSTATUS(status) == 45 ? jet::kErrFileInUse : WEXITSTATUS(status);
#endif
}

TEST(LockFileTest, NameReplacesTheLastThreeCharacters) {
  EXPECT_EQ(jet::LockFileName("c:\\data\\a.mdb"), "c:\\data\\a.ldb");
  EXPECT_EQ(jet::LockFileName("/x/a.MDB"), "/x/a.ldb");
  EXPECT_EQ(jet::LockFileName("/x/b.mdb_"), "/x/b.mldb");
  EXPECT_EQ(jet::LockFileName("/x/자료.데이타"), "/x/자료.ldb");
}

TEST(LockFileTest, HeldWhileOpenAndRemovedAtClose) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path db_path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  fs::path ldb = dir.path() / "testV2000.ldb";
  jet::OpenOptions writable;
  writable.writable = true;
  {
    auto db = jet::Database::Open(db_path.string(), writable);
    EXPECT_TRUE(fs::exists(ldb));
    EXPECT_EQ(fs::file_size(ldb), 64u);
    // A second writer is refused with 3045.
    EXPECT_EQ(OpenForWritingElsewhere(db_path), jet::kErrFileInUse);
    EXPECT_TRUE(fs::exists(ldb)) << "the refused open must not remove our lock";
    // Readers are not refused.
    EXPECT_NO_THROW(jet::Database::Open(db_path.string()));
  }
  EXPECT_FALSE(fs::exists(ldb));
}

TEST(LockFileTest, LeftOverLockFileIsTakenOver) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path db_path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  fs::path ldb = dir.path() / "testV2000.ldb";
  std::ofstream(ldb) << "left by a program that stopped";
  jet::OpenOptions writable;
  writable.writable = true;
  {
    auto db = jet::Database::Open(db_path.string(), writable);
    db->Close();
  }
  EXPECT_FALSE(fs::exists(ldb));
}

#ifdef _WIN32
TEST(LockFileTest, LockFileHeldOpenByAnotherProgramRefusesAndChangesNothing) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path db_path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  fs::path ldb = dir.path() / "testV2000.ldb";
  std::ofstream(ldb, std::ios::binary) << "Jet's user entries";
  std::string before = ReadAll(db_path);
  // Opened as Jet opens it: reading and writing, shared with other users.
  HANDLE held = ::CreateFileW(ldb.wstring().c_str(),
                              GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  jet::OpenOptions writable;
  writable.writable = true;
  try {
    jet::Database::Open(db_path.string(), writable);
    ADD_FAILURE() << "expected 3045";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrFileInUse);
  }
  ::CloseHandle(held);
  EXPECT_EQ(ReadAll(db_path), before);
  EXPECT_EQ(ReadAll(ldb), "Jet's user entries");
}

#else
TEST(LockFileTest, RefusedOpenChangesNothing) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path db_path = dir.Copy(testing_support::CorpusDir() / "jet4/testV2000.mdb");
  std::string before = ReadAll(db_path);
  // Another process holds the lock.
  int to_child[2];
  ASSERT_EQ(pipe(to_child), 0);
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t child = fork();
  if (child == 0) {
    jet::OpenOptions writable;
    writable.writable = true;
    auto db = jet::Database::Open(db_path.string(), writable);
    char c = 1;
    (void)!write(ready[1], &c, 1);
    (void)!read(to_child[0], &c, 1);
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  jet::OpenOptions writable;
  writable.writable = true;
  try {
    jet::Database::Open(db_path.string(), writable);
    ADD_FAILURE() << "expected 3045";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrFileInUse);
  }
  std::string lock_while_held = ReadAll(dir.path() / "testV2000.ldb");
  (void)!write(to_child[1], &c, 1);
  int status = 0;
  waitpid(child, &status, 0);
  EXPECT_EQ(ReadAll(db_path), before);
  EXPECT_EQ(lock_while_held.size(), 64u);
}
#endif  // _WIN32

}  // namespace
