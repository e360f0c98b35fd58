// The database file on disk: open, size, positioned reads. It knows nothing
// of pages; the pager is built on it.
//
// file.cc holds what every platform shares (the fault hook, the checks made
// before a write); file_posix.cc and file_win32.cc talk to the system. Paths
// are UTF-8; the Windows side gives them to the wide (UTF-16) functions.
#ifndef MDBCARE_JET_STORAGE_FILE_H_
#define MDBCARE_JET_STORAGE_FILE_H_

#ifndef _WIN32
#include <sys/uio.h>
#endif

#include <atomic>
#include <cstdint>
#include <span>
#include <string>
#include <vector>

namespace jet {

class File {
 public:
  // Opens `path` for reading. Raises 3024 when it does not exist and 3051
  // when it is a directory or cannot be opened.
  static File OpenForReading(const std::string& path);
  // Opens `path` for reading and writing; raises as above, and 3051 for a
  // file that may not be written.
  static File OpenForWriting(const std::string& path);
  // Creates a new file; raises 3204 when `path` exists already.
  static File Create(const std::string& path);
  // A new file without a name in the system's temporary folder ($TMPDIR, or
  // /tmp), gone when it is closed, even after a crash; raises 3051 when it
  // cannot be made. On Windows it has a name in the user's temporary folder
  // (%TEMP%) and is deleted by the system when it is closed.
  static File CreateTemporary();

  // A test hook called before every write and sync with a running count of
  // them; when it returns true the operation fails as a disk error would.
  using FaultHook = bool (*)(uint64_t operation);
  static void SetFaultHook(FaultHook hook);

  // A test hook told of every write, resize and sync that reached a file,
  // after it did: the crash simulations of the tests replay them. While it
  // is set, writes of several parts are made (and told) one part at a time.
  struct Event {
    enum Kind { kWrite, kResize, kSync } kind;
    const std::string& path;
    uint64_t offset;                // write: where; resize: the new size
    std::span<const uint8_t> data;  // write: the bytes
  };
  using EventHook = void (*)(const Event& event);
  static void SetEventHook(EventHook hook);

  File(File&& other) noexcept;
  File& operator=(File&& other) noexcept;
  File(const File&) = delete;
  File& operator=(const File&) = delete;
  ~File();

  const std::string& path() const { return path_; }
  uint64_t size() const { return size_; }

  // Reads exactly `out.size()` bytes at `offset`; raises 3043 on a failed
  // read and the damaged-file error when the file ends before that.
  void ReadAt(uint64_t offset, std::span<uint8_t> out) const;
  // Reads `parts` one after another from `offset`, in one system call where
  // it can.
  void ReadAt(uint64_t offset, std::span<const std::span<uint8_t>> parts) const;
  // Writes all of `data` at `offset`, growing the file as needed; raises 3043.
  void WriteAt(uint64_t offset, std::span<const uint8_t> data);
  // Writes `parts` one after another from `offset`, in one system call
  // where it can. The fault hook counts each part as one write: under a
  // hook each part is written on its own, so that a fault leaves the parts
  // before it written.
  void WriteAt(uint64_t offset,
               std::span<const std::span<const uint8_t>> parts);
  // Cuts or extends the file to `size` bytes.
  void Resize(uint64_t size);
  // Waits until everything written is on the disk.
  void Sync();
  // Asks the system to start writing what was written so far to the disk,
  // without waiting for it, so that a later Sync has less left to wait
  // for. A hint: it changes nothing that can be read and never fails.
  void StartWriteBack();
  bool writable() const { return writable_; }
  // Whether path() still names this open file, and the file is as long as
  // this handle made it: false once another program removed, replaced or
  // cut it while it was open.
  bool StillAtItsPath() const;

 private:
#ifdef _WIN32
  // The system's handle (a HANDLE); null once moved from.
  using Handle = void*;
  static constexpr Handle kNoHandle = nullptr;
#else
  using Handle = int;
  static constexpr Handle kNoHandle = -1;
#endif
  File(Handle fd, std::string path, uint64_t size, bool writable)
      : fd_(fd), path_(std::move(path)), size_(size), writable_(writable) {}
  static File Open(const std::string& path, bool writable);
  void CheckFault();
  // Tells the event hook, if any, of an operation that reached the file
  // (an Event::Kind).
  void TellEvent(int kind, uint64_t offset,
                 std::span<const uint8_t> data = {}) const;
  // Raises 3043: "'path' 파일을 <what> 중 오류가 발생했습니다: <reason>".
  [[noreturn]] void ThrowIo(const char* what, const std::string& reason) const;
  void WriteAll(uint64_t offset, std::span<const uint8_t> data);
  // Writes `parts` one after another from `offset` without the fault hook.
  void WriteParts(uint64_t offset,
                  std::span<const std::span<const uint8_t>> parts);
  void Close();
#ifndef _WIN32
  // Reads or writes the bytes `iov` names at `offset`, as many calls of
  // preadv or pwritev as it takes.
  void Transfer(std::vector<iovec>& iov, uint64_t offset, bool write) const;
#endif

  Handle fd_ = kNoHandle;
  std::string path_;
  // Atomic: the pager's writer thread writes while its owner reads.
  std::atomic<uint64_t> size_ = 0;
  bool writable_ = false;
};

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_FILE_H_
