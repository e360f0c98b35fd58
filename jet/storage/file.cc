#include "jet/storage/file.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <utility>

#include "jet/base/error.h"

namespace jet {

namespace {

std::atomic<File::FaultHook> fault_hook{nullptr};
std::atomic<File::EventHook> event_hook{nullptr};
std::atomic<uint64_t> fault_counter{0};

}  // namespace

void File::SetFaultHook(FaultHook hook) {
  fault_counter = 0;
  fault_hook = hook;
}

void File::SetEventHook(EventHook hook) { event_hook = hook; }

void File::CheckFault() {
  FaultHook hook = fault_hook.load();
  if (hook && hook(fault_counter++)) ThrowIo("쓰는", std::strerror(EIO));
}

void File::TellEvent(int kind, uint64_t offset,
                     std::span<const uint8_t> data) const {
  if (EventHook hook = event_hook.load()) {
    hook(Event{static_cast<Event::Kind>(kind), path_, offset, data});
  }
}

void File::ThrowIo(const char* what, const std::string& reason) const {
  throw Error(kErrDiskIo, "'" + path_ + "' 파일을 " + what +
                              " 중 오류가 발생했습니다: " + reason);
}

File File::OpenForReading(const std::string& path) { return Open(path, false); }
File File::OpenForWriting(const std::string& path) { return Open(path, true); }

File::File(File&& other) noexcept
    : fd_(std::exchange(other.fd_, kNoHandle)),
      path_(std::move(other.path_)),
      size_(other.size_.load()),
      writable_(other.writable_) {}

File& File::operator=(File&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = std::exchange(other.fd_, kNoHandle);
    path_ = std::move(other.path_);
    size_ = other.size_.load();
    writable_ = other.writable_;
  }
  return *this;
}

File::~File() { Close(); }

void File::WriteAt(uint64_t offset, std::span<const uint8_t> data) {
  CheckFault();
  WriteAll(offset, data);
  TellEvent(Event::kWrite, offset, data);
}

void File::WriteAt(uint64_t offset,
                   std::span<const std::span<const uint8_t>> parts) {
  if (fault_hook.load() || event_hook.load()) {
    for (std::span<const uint8_t> p : parts) {
      WriteAt(offset, p);
      offset += p.size();
    }
    return;
  }
  WriteParts(offset, parts);
}

}  // namespace jet
