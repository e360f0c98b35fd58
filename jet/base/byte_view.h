// A bounds-checked, read-only window on bytes taken from the file. Every
// read of a page goes through it, so that a length or offset read from a
// damaged file raises a damaged-file error instead of reading out of bounds.
// All multi-byte integers of the format are little-endian unless stated.
#ifndef MDBCARE_JET_BASE_BYTE_VIEW_H_
#define MDBCARE_JET_BASE_BYTE_VIEW_H_

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <span>
#include <string>

#include "jet/base/error.h"

namespace jet {

class ByteView {
 public:
  ByteView() = default;
  ByteView(const uint8_t* data, size_t size) : data_(data), size_(size) {}
  explicit ByteView(std::span<const uint8_t> s)
      : data_(s.data()), size_(s.size()) {}

  size_t size() const { return size_; }
  bool empty() const { return size_ == 0; }
  const uint8_t* data() const { return data_; }

  // True when [offset, offset + length) lies inside the view.
  bool Contains(size_t offset, size_t length) const {
    return offset <= size_ && length <= size_ - offset;
  }

  ByteView Sub(size_t offset, size_t length) const {
    Check(offset, length);
    return ByteView(data_ + offset, length);
  }
  ByteView From(size_t offset) const {
    Check(offset, 0);
    return ByteView(data_ + offset, size_ - offset);
  }

  uint8_t U8(size_t offset) const {
    Check(offset, 1);
    return data_[offset];
  }
  uint16_t U16(size_t offset) const {
    Check(offset, 2);
    return static_cast<uint16_t>(data_[offset] | (data_[offset + 1] << 8));
  }
  uint32_t U24(size_t offset) const {
    Check(offset, 3);
    return static_cast<uint32_t>(data_[offset]) |
           (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16);
  }
  // Big-endian 24-bit value, as index entries store data page numbers.
  uint32_t U24BigEndian(size_t offset) const {
    Check(offset, 3);
    return (static_cast<uint32_t>(data_[offset]) << 16) |
           (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           static_cast<uint32_t>(data_[offset + 2]);
  }
  uint32_t U32(size_t offset) const {
    Check(offset, 4);
    return static_cast<uint32_t>(data_[offset]) |
           (static_cast<uint32_t>(data_[offset + 1]) << 8) |
           (static_cast<uint32_t>(data_[offset + 2]) << 16) |
           (static_cast<uint32_t>(data_[offset + 3]) << 24);
  }
  uint64_t U64(size_t offset) const {
    return static_cast<uint64_t>(U32(offset)) |
           (static_cast<uint64_t>(U32(offset + 4)) << 32);
  }
  int16_t I16(size_t offset) const { return static_cast<int16_t>(U16(offset)); }
  int32_t I32(size_t offset) const { return static_cast<int32_t>(U32(offset)); }
  int64_t I64(size_t offset) const { return static_cast<int64_t>(U64(offset)); }
  float F32(size_t offset) const {
    uint32_t bits = U32(offset);
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  double F64(size_t offset) const {
    uint64_t bits = U64(offset);
    double value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }

  std::span<const uint8_t> Bytes() const { return {data_, size_}; }

 private:
  void Check(size_t offset, size_t length) const {
    if (!Contains(offset, length)) ThrowOutOfRange(offset, length, size_);
  }
  // Kept out of line, so that the checks stay small enough to inline.
  [[noreturn]] static void ThrowOutOfRange(size_t offset, size_t length,
                                           size_t size);

  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
};

}  // namespace jet

#endif  // MDBCARE_JET_BASE_BYTE_VIEW_H_
