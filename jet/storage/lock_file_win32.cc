// The lock file on Windows. Jet keeps its .ldb open for as long as the
// database is open and deletes it when the last user closes; a crash
// leaves it behind, held by nobody. So a lock file that cannot be opened
// because another program has it open is a database in use, and one that
// opens is a leftover, taken over here.
#include <windows.h>

#include "jet/base/error.h"
#include "jet/base/win32_text.h"
#include "jet/storage/lock_file.h"

namespace jet {

std::unique_ptr<LockFile> LockFile::Acquire(const std::string& database_path) {
  const std::string path = LockFileName(database_path);
  // Sharing reads only: an open of the file by anyone for writing or
  // deleting, before or after this one, fails with a sharing violation.
  // Deleting on close needs every other open to share deletion, which
  // Jet's does not, so a file Jet holds is refused here too.
  HANDLE handle =
      ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE | DELETE,
                    FILE_SHARE_READ, nullptr, OPEN_ALWAYS,
                    FILE_ATTRIBUTE_NORMAL | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
      ThrowInUse(database_path);
    }
    throw Error(kErrCannotOpenFile,
                "잠금 파일 '" + path +
                    "' 을(를) 만들 수 없습니다: " + SystemErrorText(error));
  }

  char host[MAX_COMPUTERNAME_LENGTH + 1] = {};
  DWORD host_length = sizeof host;
  if (!::GetComputerNameA(host, &host_length)) host[0] = '\0';
  const std::array<char, 64> entry = UserEntry(host);
  // The entry is informative only; a failed write is not an error.
  DWORD written = 0;
  if (::SetEndOfFile(handle)) {
    ::WriteFile(handle, entry.data(), static_cast<DWORD>(entry.size()),
                &written, nullptr);
  }
  return std::unique_ptr<LockFile>(new LockFile(path, handle));
}

// Closing the handle deletes the file.
LockFile::~LockFile() { ::CloseHandle(fd_); }

}  // namespace jet
