// Page encryption of "encrypted" databases. When the database key stored in
// the definition page is not zero, every page after page 0 is RC4-encrypted
// with a 4-byte key: the database key XOR the page number, both
// little-endian. A key of zero means the pages are stored in the clear.
#ifndef MDBCARE_JET_STORAGE_PAGE_CIPHER_H_
#define MDBCARE_JET_STORAGE_PAGE_CIPHER_H_

#include <cstdint>
#include <span>

namespace jet {

class PageCipher {
 public:
  explicit PageCipher(uint32_t database_key = 0) : key_(database_key) {}

  bool enabled() const { return key_ != 0; }
  uint32_t database_key() const { return key_; }

  // Decrypts (or encrypts: RC4 is symmetric) one page in place.
  void Apply(uint32_t page_number, std::span<uint8_t> page) const;

 private:
  uint32_t key_;
};

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_PAGE_CIPHER_H_
