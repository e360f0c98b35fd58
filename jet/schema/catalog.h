// The catalog: the rows of MSysObjects (table definition at page 2), one per
// database object. For a table, the low 24 bits of Id are the page of its
// table definition.
//
// Columns read here: Id (Long), ParentId (Long), Name (Text), Type (Integer:
// the object type; Access's own documents set the top bit, e.g. reports are
// 0x8004, which must not be taken for a linked ODBC table), Flags (Long), Database (Memo: the file
// of a table linked to another Jet file), ForeignName (Text), Connect (Memo).
#ifndef MDBCARE_JET_SCHEMA_CATALOG_H_
#define MDBCARE_JET_SCHEMA_CATALOG_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/format.h"

namespace jet {

class Pager;
struct DatabaseHeader;

enum class ObjectType : uint8_t {
  kTable = 1,
  kDatabase = 2,
  kContainer = 3,
  kLinkedOdbcTable = 4,
  kQuery = 5,
  kLinkedTable = 6,
  kRelationship = 8,
};

namespace catalog_flags {
// A system object: MSysObjects and the other MSys tables carry one of these.
inline constexpr uint32_t kSystem = 0x80000002;
}

struct CatalogEntry {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  uint16_t type = 0;  // ObjectType, the whole Type value
  uint32_t flags = 0;
  std::string database;      // linked Jet table: the other file
  std::string foreign_name;  // linked table: its name there
  std::string connect;       // linked ODBC table: the connect string

  uint32_t definition_page() const {
    return static_cast<uint32_t>(id) & 0x00FFFFFF;
  }
  bool is_table() const {
    return type == static_cast<uint8_t>(ObjectType::kTable) ||
           type == static_cast<uint8_t>(ObjectType::kLinkedTable) ||
           type == static_cast<uint8_t>(ObjectType::kLinkedOdbcTable);
  }
  bool is_local_table() const {
    return type == static_cast<uint8_t>(ObjectType::kTable);
  }
  bool is_system() const { return (flags & catalog_flags::kSystem) != 0; }
};

// Every catalog row, in storage order. With `salvage`, rows that cannot be
// read whole are left out (salvage_scan.h) instead of raising, and
// `*damaged` tells whether any was.
std::vector<CatalogEntry> ReadCatalog(Pager& pager,
                                      const DatabaseHeader& header,
                                      bool salvage = false,
                                      bool* damaged = nullptr);

// The tables of the catalog (system tables included), ordered by name
// compared case-insensitively, as the table definitions collection lists
// them.
std::vector<CatalogEntry> TablesInNameOrder(
    const std::vector<CatalogEntry>& catalog);

// Compares names case-insensitively (Latin letters folded), falling back to
// the exact text so that the order is total.
bool NameLess(const std::string& a, const std::string& b);
bool NamesEqualIgnoringCase(const std::string& a, const std::string& b);

}  // namespace jet

#endif  // MDBCARE_JET_SCHEMA_CATALOG_H_
