#include "jet/storage/rc4.h"

#include <array>
#include <utility>

namespace jet {

void Rc4Apply(std::span<const uint8_t> key, std::span<uint8_t> data) {
  std::array<uint8_t, 256> state;
  for (int i = 0; i < 256; ++i) state[i] = static_cast<uint8_t>(i);
  if (!key.empty()) {
    uint8_t j = 0;
    for (int i = 0; i < 256; ++i) {
      j = static_cast<uint8_t>(j + state[i] + key[i % key.size()]);
      std::swap(state[i], state[j]);
    }
  }
  uint8_t i = 0, j = 0;
  for (uint8_t& byte : data) {
    i = static_cast<uint8_t>(i + 1);
    j = static_cast<uint8_t>(j + state[i]);
    std::swap(state[i], state[j]);
    byte ^= state[static_cast<uint8_t>(state[i] + state[j])];
  }
}

}  // namespace jet
