// The database definition page (page 0).
//
//   offset size  field
//   0x00   4     magic 00 01 00 00
//   0x04   16    "Standard Jet DB\0" ("Standard ACE DB\0" for Access 2007+)
//   0x14   4     version: 0 = Jet 3 (2 KB pages), 1 = Jet 4 (4 KB pages),
//                2 and up = Access 2007 and later (not read by this engine)
//   0x18   126 (Jet 3) / 128 (Jet 4) bytes RC4-masked with the fixed key
//                C7 DA 39 6B; inside that region:
//   0x3A   2     Jet 3: default text sort order (LCID)
//   0x3C   2     default code page (1252, 949, ...)
//   0x3E   4     database key; not zero = pages 1.. are encrypted
//   0x42   20    Jet 3: database password, code page bytes, NUL-padded
//   0x42   40    Jet 4: database password, UCS-2, NUL-padded, each byte
//                XORed with the creation-date mask (see database_password.h)
//   0x6E   4     Jet 4: default text sort order: LCID (2 bytes), then the
//                sort order version in the byte at 0x71
//   0x72   8     Jet 4: creation date (double, days since 1899-12-30)
#ifndef MDBCARE_JET_STORAGE_DATABASE_HEADER_H_
#define MDBCARE_JET_STORAGE_DATABASE_HEADER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/byte_view.h"
#include "jet/base/format.h"

namespace jet {

namespace header_layout {
inline constexpr size_t kMagicOffset = 0x00;
inline constexpr size_t kIdentifierOffset = 0x04;
inline constexpr size_t kVersionOffset = 0x14;
inline constexpr size_t kMaskedRegionOffset = 0x18;
inline constexpr size_t kJet3MaskedRegionSize = 126;
inline constexpr size_t kJet4MaskedRegionSize = 128;
inline constexpr size_t kJet3SortOrderOffset = 0x3A;
inline constexpr size_t kCodePageOffset = 0x3C;
inline constexpr size_t kDatabaseKeyOffset = 0x3E;
inline constexpr size_t kPasswordOffset = 0x42;
inline constexpr size_t kJet3PasswordSize = 20;
inline constexpr size_t kJet4PasswordSize = 40;
inline constexpr size_t kJet4SortOrderOffset = 0x6E;
inline constexpr size_t kJet4SortOrderVersionOffset = 0x71;
inline constexpr size_t kJet4CreationDateOffset = 0x72;
inline constexpr uint8_t kHeaderMaskKey[4] = {0xC7, 0xDA, 0x39, 0x6B};

inline size_t MaskedRegionSize(JetVersion v) {
  return v == JetVersion::kJet3 ? kJet3MaskedRegionSize
                                : kJet4MaskedRegionSize;
}
inline size_t PasswordSize(JetVersion v) {
  return v == JetVersion::kJet3 ? kJet3PasswordSize : kJet4PasswordSize;
}
}  // namespace header_layout

struct DatabaseHeader {
  JetVersion version = JetVersion::kJet4;
  uint16_t code_page = 0;
  uint16_t sort_order = 0;          // LCID, e.g. 1033 General, 1042 Korean
  uint8_t sort_order_version = 0;   // Jet 4 only
  uint32_t database_key = 0;
  double creation_date = 0;         // Jet 4 only
  // The stored password region with the header mask (and the Jet 4
  // creation-date mask) removed; all zero when the database has none.
  std::vector<uint8_t> password_bytes;

  uint32_t page_size() const { return PageSizeOf(version); }

  // Reads the first bytes of the file (at least the masked region). Raises
  // 3343 for a file that is not a Jet 3 or Jet 4 database, with a message
  // naming Access 2007 and later where the version says so.
  static DatabaseHeader Decode(ByteView first_page, const std::string& path);
};

// Removes (or puts back: RC4 is symmetric) the fixed RC4 mask of the header
// region of a definition page held in memory.
void ToggleHeaderMask(JetVersion version, std::span<uint8_t> page);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_DATABASE_HEADER_H_
