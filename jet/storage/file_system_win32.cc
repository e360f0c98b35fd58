// Files by name on Windows, through the wide functions.
//
// The compacted copy replaces the original with MoveFileExW and
// MOVEFILE_REPLACE_EXISTING: one rename that either happens whole or not
// at all. ReplaceFileW, which keeps more of the original's metadata, can
// fail half-way (ERROR_UNABLE_TO_MOVE_REPLACEMENT) with the original gone
// and the copy still under its temporary name, which is the one state
// compaction must never leave.
#include <windows.h>

#include "jet/base/error.h"
#include "jet/base/win32_text.h"
#include "jet/storage/file_system.h"

namespace jet {

namespace {

[[noreturn]] void ThrowFileError(const std::string& what, DWORD error) {
  throw Error(kErrDiskIo, what + " (" + SystemErrorText(error) + ")");
}

// A handle on `path` for FlushFileBuffers (a folder when `folder`), or
// INVALID_HANDLE_VALUE with the reason in GetLastError.
HANDLE OpenToFlush(const std::wstring& path, bool folder) {
  return ::CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                       nullptr, OPEN_EXISTING,
                       folder ? FILE_FLAG_BACKUP_SEMANTICS : 0, nullptr);
}

}  // namespace

bool IsNormalFile(const std::string& path) {
  const DWORD attributes = ::GetFileAttributesW(Widen(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES &&
         (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_DEVICE)) == 0;
}

void RemoveFile(const std::string& path) {
  if (::DeleteFileW(Widen(path).c_str())) return;
  const DWORD error = ::GetLastError();
  if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return;
  ThrowFileError("'" + path + "' 파일을 지울 수 없습니다", error);
}

void ReplaceWithCopy(const std::string& path, const std::string& copy) {
  const std::wstring wide_path = Widen(path);
  const std::wstring wide_copy = Widen(copy);
  const DWORD attributes = ::GetFileAttributesW(wide_path.c_str());
  if (attributes != INVALID_FILE_ATTRIBUTES &&
      !::SetFileAttributesW(
          wide_copy.c_str(),
          attributes &
              (FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_HIDDEN |
               FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_NOT_CONTENT_INDEXED))) {
    ThrowFileError("'" + copy + "' 파일의 속성을 원본과 같게 할 수 없습니다",
                   ::GetLastError());
  }
  HANDLE handle = OpenToFlush(wide_copy, false);
  if (handle == INVALID_HANDLE_VALUE) {
    ThrowFileError("'" + copy + "' 파일을 열 수 없습니다", ::GetLastError());
  }
  const bool flushed = ::FlushFileBuffers(handle);
  const DWORD flush_error = ::GetLastError();
  ::CloseHandle(handle);
  if (!flushed) {
    ThrowFileError("'" + copy + "' 파일을 디스크에 기록할 수 없습니다",
                   flush_error);
  }
  if (!::MoveFileExW(wide_copy.c_str(), wide_path.c_str(),
                     MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    ThrowFileError(
        "'" + copy + "' 파일로 '" + path + "' 파일을 바꿀 수 없습니다",
        ::GetLastError());
  }
}

void ReplaceWithCopyKeepingOriginal(const std::string& path,
                                    const std::string& copy,
                                    const std::string& kept_as) {
  // A second name for the original first (a copy where the volume has no
  // hard links, as FAT has not), so that the rename over `path` leaves it
  // under `kept_as`.
  const std::wstring wide_path = Widen(path);
  const std::wstring wide_kept = Widen(kept_as);
  if (!::CreateHardLinkW(wide_kept.c_str(), wide_path.c_str(), nullptr) &&
      !::CopyFileW(wide_path.c_str(), wide_kept.c_str(), TRUE)) {
    ThrowFileError("'" + path + "' 파일을 '" + kept_as +
                       "' (으)로 남길 수 없습니다",
                   ::GetLastError());
  }
  try {
    ReplaceWithCopy(path, copy);
  } catch (...) {
    ::DeleteFileW(wide_kept.c_str());
    throw;
  }
}

void SyncFolderOf(const std::string& path) {
  std::wstring folder = Widen(path);
  const size_t cut = folder.find_last_of(L"\\/");
  if (cut == std::wstring::npos) {
    folder = L".";
  } else if (cut == 0 || folder[cut - 1] == L':') {
    folder.resize(cut + 1);  // "c:\" or "\" keep their separator
  } else {
    folder.resize(cut);
  }
  HANDLE handle = OpenToFlush(folder, true);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_ACCESS_DENIED) return;
    ThrowFileError("'" + Narrow(folder) + "' 폴더를 열 수 없습니다", error);
  }
  const bool flushed = ::FlushFileBuffers(handle);
  const DWORD error = ::GetLastError();
  ::CloseHandle(handle);
  if (!flushed && error != ERROR_ACCESS_DENIED &&
      error != ERROR_INVALID_FUNCTION && error != ERROR_INVALID_PARAMETER) {
    ThrowFileError(
        "'" + Narrow(folder) + "' 폴더를 디스크에 기록할 수 없습니다", error);
  }
}

std::string RealFilePath(const std::string& path) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES ||
      (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    return path;
  }
  HANDLE handle = ::CreateFileW(
      wide.c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return path;
  std::wstring target(32768, L'\0');
  const DWORD length = ::GetFinalPathNameByHandleW(
      handle, target.data(), static_cast<DWORD>(target.size()),
      FILE_NAME_NORMALIZED | VOLUME_NAME_DOS);
  ::CloseHandle(handle);
  if (length == 0 || length >= target.size()) return path;
  target.resize(length);
  // "\\?\c:\x" -> "c:\x", "\\?\UNC\server\x" -> "\\server\x".
  if (target.rfind(L"\\\\?\\UNC\\", 0) == 0) {
    target = L"\\\\" + target.substr(8);
  } else if (target.rfind(L"\\\\?\\", 0) == 0) {
    target = target.substr(4);
  }
  return Narrow(target);
}

}  // namespace jet
