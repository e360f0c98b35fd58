// RC4 stream cipher. Jet uses it to mask part of the database definition
// page and, in encrypted databases, every page after the first.
#ifndef MDBCARE_JET_STORAGE_RC4_H_
#define MDBCARE_JET_STORAGE_RC4_H_

#include <cstdint>
#include <span>

namespace jet {

// XORs `data` in place with the RC4 key stream of `key`. Applying it twice
// with the same key restores the input.
void Rc4Apply(std::span<const uint8_t> key, std::span<uint8_t> data);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_RC4_H_
