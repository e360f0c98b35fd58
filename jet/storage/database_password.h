// The database password: how it is stored in the definition page and how a
// connect string's password is checked against it.
//
// Jet 3 stores up to 20 bytes in the database's code page. Jet 4 stores up
// to 20 UCS-2 characters (40 bytes) and XORs every byte with a 4-byte mask
// that repeats: the little-endian int32 of the whole days of the creation
// date kept at 0x72. A region that is all zero after unmasking means the
// database has no password. Passwords compare case-sensitively.
#ifndef MDBCARE_JET_STORAGE_DATABASE_PASSWORD_H_
#define MDBCARE_JET_STORAGE_DATABASE_PASSWORD_H_

#include <cstdint>
#include <span>
#include <string>
#include <string_view>

namespace jet {

struct DatabaseHeader;

// XORs `bytes` (the password region) with the Jet 4 creation-date mask; does
// nothing for Jet 3.
void ApplyPasswordMask(const DatabaseHeader& header, std::span<uint8_t> bytes);

// The stored password as UTF-8, empty when the database has none.
std::string StoredPassword(const DatabaseHeader& header);

// The value of the "pwd" item of a connect string such as ";pwd=7316"
// (item names compare case-insensitively); empty when there is none.
std::string ConnectStringPassword(std::string_view connect);

// Raises 3031 when the database has a password and `password` differs.
void CheckPassword(const DatabaseHeader& header, const std::string& password);

// Writes `password` (UTF-8; empty removes the password) into a definition
// page held in memory with its header mask in place, as the file stores it.
// Raises 3251 for a password longer than 20 characters.
void StorePassword(std::span<uint8_t> definition_page,
                   const std::string& password, const std::string& path);

}  // namespace jet

#endif  // MDBCARE_JET_STORAGE_DATABASE_PASSWORD_H_
