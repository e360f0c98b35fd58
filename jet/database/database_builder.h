// New databases, built page by page as Jet builds an empty one:
//
//   page 0  the definition page (database_header.h), see below
//   page 1  the global usage map: a data page (owner field 1) whose row 0
//           is an inline map over pages 0.. (64 bitmap bytes in Jet 4, 128
//           in Jet 3) with a bit set for every page not in use, those past
//           the end of the file included; row 1 is an empty map of the
//           same size
//   page 2  MSysObjects' definition; then those of MSysACEs, MSysQueries
//           and MSysRelationships, the data page of their usage maps, the
//           roots of their indexes, and the data pages of the catalog and
//           access control rows (system_tables.h, table_builder.h)
//
// The definition page, before the RC4 mask of its header region:
//   0x00  00 01 00 00, then "Standard Jet DB\0", then the version (0 Jet 3,
//         1 Jet 4)
//   0x18  six 32-bit words 256, 257, 2, 3, 4, 5 (the same in every file)
//   0x3A  Jet 3: sort order         0x3C  code page   0x3E  database key 0
//   0x42  password (database_password.h; Jet 4 also masks an empty one)
//   0x56  Jet 3: build of the engine that made the file (3.51: 3328)
//   0x6A  Jet 4: build of the engine (4.0: 9756)
//   0x6E  Jet 4: sort order, 0x71 its version, 0x72 creation date
//   0x98  Jet 4, after the masked region: the 32-bit value 1620, "4.0\0"
//   the last 512 bytes: 256 pairs, 01 01 then 00 01 for every other
//
// A new database has the sort order's code page unless one is given: 949
// Korean, 936 Chinese, 932 Japanese, 1254 Turkish, 1252 otherwise.
#ifndef MDBCARE_JET_DATABASE_DATABASE_BUILDER_H_
#define MDBCARE_JET_DATABASE_DATABASE_BUILDER_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/format.h"
#include "jet/base/value.h"

namespace jet {

class Database;
class Table;

namespace sort_orders {
inline constexpr uint16_t kGeneral = 1033;
inline constexpr uint16_t kKorean = 1042;
inline constexpr uint16_t kChinese = 2052;
inline constexpr uint16_t kJapanese = 1041;
inline constexpr uint16_t kTurkish = 1055;
}  // namespace sort_orders

struct CreateOptions {
  JetVersion version = JetVersion::kJet4;
  uint16_t sort_order = sort_orders::kGeneral;
  uint16_t code_page = 0;  // 0: the sort order's
  std::string password;    // "" for none; up to 20 characters
};

// Page 1 of a new file: the global usage map with pages from
// `pages_in_use` on marked free (and its empty second row).
std::vector<uint8_t> GlobalUsageMapPage(JetVersion version,
                                        uint32_t pages_in_use);

// The code page a new database with `sort_order` gets by default.
uint16_t DefaultCodePage(uint16_t sort_order);

// Writes a new, empty database at `path`. Raises 3204 when `path` exists
// (it is left alone), 3251 for a password longer than 20 characters or a
// sort order whose keys for the catalog's names cannot be made (Jet 3 has
// General and Korean; Jet 4 those of sort_order.h), 3051 or 3043 when the
// file cannot be written; then no file is left at `path`.
void CreateDatabase(const std::string& path, const CreateOptions& options = {});

// Sets the database password of `path` (UTF-8; "" removes it), as DAO's
// NewPassword does: the file is opened for writing with `old_password`.
// Raises 3031 when `old_password` is wrong, 3251 for a new password longer
// than 20 characters, and the errors of Database::Open.
void SetDatabasePassword(const std::string& path,
                         const std::string& old_password,
                         const std::string& new_password);

// Inserts `rows` into the table `table` of `db` (open for writing) through
// Table::InsertRow, each value first converted to its column's type
// (ConvertToColumnType). Returns the number of rows inserted; on an error
// the rows before it stay inserted.
size_t InsertRows(Database& db, const std::string& table,
                  const std::vector<std::vector<Value>>& rows);
// The same into a table at hand, such as one CreateTable returned.
size_t InsertRows(Database& db, Table& table,
                  const std::vector<std::vector<Value>>& rows);

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_DATABASE_BUILDER_H_
