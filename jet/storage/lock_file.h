// The lock file kept beside a database open for writing: the database's
// name with its last three characters replaced by "ldb", as Jet names it.
//
// While mdbcare has a database open for writing it holds an exclusive
// byte-range lock on the whole lock file (an open-file-description lock,
// so it belongs to this open and ends with the process). Another program is
// taken to have the database open when it holds any byte-range lock on the
// lock file or on the database file itself: Jet clients served by Samba or
// running under Wine hold such locks, and so does another mdbcare. A lock
// file that exists with no lock held is left over from a program that
// stopped; it is taken over. The lock file holds one 64-byte entry, as Jet
// writes per user: the computer name and the user name, each NUL-padded to
// 32 bytes. It is removed at close.
//
// On Windows (lock_file_win32.cc) the test is Jet's own: a lock file that
// another program holds open means the database is in use; one that nobody
// holds open is left over and is taken over. mdbcare opens it sharing only
// reads and marked for deletion at close, so that the system removes it
// when the program ends, even after a crash.
#ifndef MDBCARE_JET_STORAGE_LOCK_FILE_H_
#define MDBCARE_JET_STORAGE_LOCK_FILE_H_

#include <array>
#include <memory>
#include <string>

namespace jet {

// "c:\data\a.mdb" -> "c:\data\a.ldb"; "a.MDB" -> "a.ldb".
std::string LockFileName(const std::string& database_path);

class LockFile {
 public:
  // Takes the lock for `database_path`. Raises 3045 when another program
  // has the database open; then no file has been created or changed.
  static std::unique_ptr<LockFile> Acquire(const std::string& database_path);

  LockFile(const LockFile&) = delete;
  LockFile& operator=(const LockFile&) = delete;
  // Removes the lock file and releases the lock.
  ~LockFile();

  const std::string& path() const { return path_; }

 private:
#ifdef _WIN32
  using Handle = void*;  // a HANDLE
#else
  using Handle = int;
#endif
  LockFile(std::string path, Handle fd) : path_(std::move(path)), fd_(fd) {}
  // Raises 3045 for `database_path`.
  [[noreturn]] static void ThrowInUse(const std::string& database_path);
  // The 64-byte entry written into the lock file for this computer.
  static std::array<char, 64> UserEntry(const std::string& computer);

  std::string path_;
  Handle fd_;
};

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_LOCK_FILE_H_
