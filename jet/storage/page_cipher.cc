#include "jet/storage/page_cipher.h"

#include <array>

#include "jet/storage/rc4.h"

namespace jet {

void PageCipher::Apply(uint32_t page_number, std::span<uint8_t> page) const {
  if (!enabled() || page_number == 0) return;
  uint32_t k = key_ ^ page_number;
  std::array<uint8_t, 4> key = {
      static_cast<uint8_t>(k), static_cast<uint8_t>(k >> 8),
      static_cast<uint8_t>(k >> 16), static_cast<uint8_t>(k >> 24)};
  Rc4Apply(key, page);
}

}  // namespace jet
