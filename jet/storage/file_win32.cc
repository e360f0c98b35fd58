// The file on Windows: ReadFile and WriteFile at an offset given in an
// OVERLAPPED structure on a handle opened for synchronous use, so the
// handle's own file pointer plays no part, and FlushFileBuffers. The
// database is opened sharing reads and writes with other programs, as Jet
// opens it; whether one of them has it open is the lock file's question.
#include <windows.h>

#include <algorithm>
#include <utility>

#include "jet/base/error.h"
#include "jet/base/win32_text.h"
#include "jet/storage/file.h"

namespace jet {

namespace {

// ReadFile and WriteFile take at most a DWORD's worth per call.
constexpr size_t kMostPerCall = size_t{1} << 30;

OVERLAPPED At(uint64_t offset) {
  OVERLAPPED at = {};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(offset >> 32);
  return at;
}

bool IsMissing(DWORD error) {
  return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ||
         error == ERROR_INVALID_NAME || error == ERROR_BAD_NETPATH;
}

}  // namespace

File File::Open(const std::string& path, bool writable) {
  const std::wstring wide = Widen(path);
  const DWORD attributes = ::GetFileAttributesW(wide.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) {
    const DWORD error = ::GetLastError();
    if (IsMissing(error)) {
      throw Error(kErrFileNotFound, "'" + path + "' 파일을 찾을 수 없습니다.");
    }
    throw Error(kErrCannotOpenFile, "'" + path + "' 파일을 열 수 없습니다: " +
                                        SystemErrorText(error));
  }
  const std::string not_a_file =
      "'" + path +
      "' 은(는) 데이터베이스 파일이 아닙니다 (폴더 또는 특수 파일).";
  if (attributes & FILE_ATTRIBUTE_DIRECTORY) {
    throw Error(kErrCannotOpenFile, not_a_file);
  }
  HANDLE handle =
      ::CreateFileW(wide.c_str(), GENERIC_READ | (writable ? GENERIC_WRITE : 0),
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (writable &&
        (error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT)) {
      throw Error(kErrCannotOpenFile,
                  "'" + path +
                      "' 파일에 쓸 수 없습니다. 읽기 전용 파일이거나 "
                      "쓰기 권한이 없습니다.");
    }
    throw Error(kErrCannotOpenFile, "'" + path + "' 파일을 열 수 없습니다: " +
                                        SystemErrorText(error));
  }
  LARGE_INTEGER size;
  if (::GetFileType(handle) != FILE_TYPE_DISK ||
      !::GetFileSizeEx(handle, &size)) {
    ::CloseHandle(handle);
    throw Error(kErrCannotOpenFile, not_a_file);
  }
  return File(handle, path, static_cast<uint64_t>(size.QuadPart), writable);
}

File File::Create(const std::string& path) {
  HANDLE handle =
      ::CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                    FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_NEW,
                    FILE_ATTRIBUTE_NORMAL, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    const DWORD error = ::GetLastError();
    if (error == ERROR_FILE_EXISTS || error == ERROR_ALREADY_EXISTS) {
      throw Error(kErrAlreadyExists, "'" + path + "' 파일이 이미 있습니다.");
    }
    throw Error(kErrCannotOpenFile, "'" + path + "' 파일을 만들 수 없습니다: " +
                                        SystemErrorText(error));
  }
  return File(handle, path, 0, true);
}

File File::CreateTemporary() {
  wchar_t folder[MAX_PATH + 1];
  const DWORD length = ::GetTempPathW(MAX_PATH + 1, folder);
  const std::string folder_name =
      length > 0 && length <= MAX_PATH ? Narrow(folder) : std::string();
  wchar_t name[MAX_PATH];
  HANDLE handle = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_PATH_NOT_FOUND;
  // GetTempFileNameW makes a file of a new name; it is opened again to be
  // deleted when closed, which the system does even after a crash.
  if (!folder_name.empty() && ::GetTempFileNameW(folder, L"mdb", 0, name)) {
    handle = ::CreateFileW(name, GENERIC_READ | GENERIC_WRITE | DELETE,
                           FILE_SHARE_DELETE, nullptr, TRUNCATE_EXISTING,
                           FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE,
                           nullptr);
    error = ::GetLastError();
    if (handle == INVALID_HANDLE_VALUE) ::DeleteFileW(name);
  }
  if (handle == INVALID_HANDLE_VALUE) {
    throw Error(kErrCannotOpenFile, "'" + folder_name +
                                        "' 에 임시 파일을 만들 수 없습니다: " +
                                        SystemErrorText(error));
  }
  return File(handle, folder_name, 0, true);
}

void File::Close() {
  if (fd_ != kNoHandle) ::CloseHandle(std::exchange(fd_, kNoHandle));
}

void File::ReadAt(uint64_t offset, std::span<uint8_t> out) const {
  size_t done = 0;
  while (done < out.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    const DWORD want =
        static_cast<DWORD>(std::min(out.size() - done, kMostPerCall));
    if (!::ReadFile(fd_, out.data() + done, want, &n, &at)) {
      const DWORD error = ::GetLastError();
      if (error != ERROR_HANDLE_EOF) ThrowIo("읽는", SystemErrorText(error));
      n = 0;
    }
    if (n == 0) ThrowDamaged("파일이 예상보다 짧습니다");
    done += n;
  }
}

void File::ReadAt(uint64_t offset,
                  std::span<const std::span<uint8_t>> parts) const {
  for (std::span<uint8_t> p : parts) {
    ReadAt(offset, p);
    offset += p.size();
  }
}

void File::WriteParts(uint64_t offset,
                      std::span<const std::span<const uint8_t>> parts) {
  for (std::span<const uint8_t> p : parts) {
    WriteAll(offset, p);
    offset += p.size();
  }
}

void File::WriteAll(uint64_t offset, std::span<const uint8_t> data) {
  size_t done = 0;
  while (done < data.size()) {
    OVERLAPPED at = At(offset + done);
    DWORD n = 0;
    const DWORD want =
        static_cast<DWORD>(std::min(data.size() - done, kMostPerCall));
    if (!::WriteFile(fd_, data.data() + done, want, &n, &at)) {
      ThrowIo("쓰는", SystemErrorText(::GetLastError()));
    }
    if (n == 0) ThrowIo("쓰는", SystemErrorText(ERROR_WRITE_FAULT));
    done += n;
  }
  if (offset + data.size() > size_) size_ = offset + data.size();
}

void File::Resize(uint64_t size) {
  CheckFault();
  FILE_END_OF_FILE_INFO end = {};
  end.EndOfFile.QuadPart = static_cast<LONGLONG>(size);
  if (!::SetFileInformationByHandle(fd_, FileEndOfFileInfo, &end, sizeof end)) {
    ThrowIo("쓰는", SystemErrorText(::GetLastError()));
  }
  size_ = size;
  TellEvent(Event::kResize, size);
}

void File::Sync() {
  CheckFault();
  if (!::FlushFileBuffers(fd_)) {
    ThrowIo("디스크에 기록하는", SystemErrorText(::GetLastError()));
  }
  TellEvent(Event::kSync, 0);
}

bool File::StillAtItsPath() const {
  // The file the path names now, opened for its identity only.
  HANDLE named = ::CreateFileW(Widen(path_).c_str(), 0,
                               FILE_SHARE_READ | FILE_SHARE_WRITE |
                                   FILE_SHARE_DELETE,
                               nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL,
                               nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION ours = {}, theirs = {};
  const bool read = ::GetFileInformationByHandle(fd_, &ours) &&
                    ::GetFileInformationByHandle(named, &theirs);
  ::CloseHandle(named);
  if (!read) return false;
  const uint64_t length =
      (uint64_t{ours.nFileSizeHigh} << 32) | ours.nFileSizeLow;
  return ours.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
         ours.nFileIndexHigh == theirs.nFileIndexHigh &&
         ours.nFileIndexLow == theirs.nFileIndexLow && length >= size_;
}

// Windows writes the cache out on its own schedule; there is no call to
// start it early without waiting.
void File::StartWriteBack() {}

}  // namespace jet
