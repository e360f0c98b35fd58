// New tables: a table's definition laid out from a description of its
// columns and indexes, and the pages Jet gives a new table.
//
// Column layout, as Access writes it for a table it creates: columns are
// numbered and stored in the order given, the column index is the same
// number. Variable-length columns (Text, Binary, Memo, OLE) take the slots
// of the variable-length offset table in that order; a fixed-length column
// records how many variable-length columns come before it. Fixed-length
// columns take the fixed area in that order, Yes/No columns none (their
// value is the null mask bit; offset 0, length 1). Flags: 0x03 fixed
// length, 0x02 variable length. Stored lengths in bytes:
//
//   Yes/No 1  Byte 1  Integer 2  Long 4  Currency 8  Single 4  Double 8
//   Date/time 8  GUID 16  NUMERIC 17  Memo, OLE 0  Binary: its size
//   Text: 2 bytes per character in Jet 4, 1 in Jet 3 (also fixed-length
//   text, flags 0x03, stored in the fixed area)
//
// Every column carries the database's sort order (Jet 3 also its code
// page); Jet 4 text and memo columns marked for Unicode compression have
// 0x01 in their second flag byte, which Access sets by default.
//
// Indexes: one real index per index described, numbered in the order
// given, as the logical indexes; the logical entries are stored in name
// order. Real index flags: 0x01 unique, 0x02 ignore nulls, 0x08 required
// (primary key: unique and required, logical index type 0x01); Jet 4 adds
// 0x80 to each.
//
// Pages: the definition page (and its continuation pages), then one data
// page (owner 0) of inline usage-map rows, 69 bytes in Jet 4 (64 bitmap
// bytes), 133 in Jet 3 (128): the table's pages, its pages with free space,
// for each long-value column its pages and those with free space (in column
// order; the definition lists them in column name order), and for each real
// index its pages; then each real index's root, an empty leaf page, which
// its map lists. An empty table has no data page. A new table's catalog row
// has Type 1, Flags 0, ParentId the "Tables" container and the admin user
// as owner; its LvProp holds each column's Required and, for text and memo
// columns, AllowZeroLength. The admin user and the users group get access
// control entries with the rights Access grants on a new table.
#ifndef MDBCARE_JET_DATABASE_TABLE_BUILDER_H_
#define MDBCARE_JET_DATABASE_TABLE_BUILDER_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/base/column_type.h"
#include "jet/base/format.h"
#include "jet/schema/system_tables.h"
#include "jet/rows/table_definition.h"
#include "jet/base/value.h"

namespace jet {

class Database;
class PageAllocator;
class Pager;
class Table;

// DAO's number for "table already exists".
inline constexpr int kErrTableAlreadyExists = 3010;

struct ColumnDescription {
  std::string name;
  ColumnType type = ColumnType::kText;
  // Text: characters (1 to 255; 0 means 50, Access's default). Binary:
  // bytes (1 to 255; 0 means 255). Not used for other types.
  uint16_t length = 0;
  bool required = false;
  // Text and Memo: whether "" may be stored.
  bool allow_zero_length = true;
  // Text only: a fixed-length text column.
  bool fixed_length = false;
  // Jet 4 Text and Memo: Unicode compression.
  bool compressed_unicode = true;
  // NUMERIC (Jet 4 only): 1 to 28 digits, scale 0 to precision.
  uint8_t precision = 18;
  uint8_t scale = 0;
};

struct IndexColumnDescription {
  std::string column;
  bool ascending = true;
};

struct IndexDescription {
  std::string name;
  std::vector<IndexColumnDescription> columns;  // 1 to 10
  bool primary_key = false;                     // implies unique and required
  bool unique = false;
  bool ignore_nulls = false;
};

struct TableDescription {
  std::string name;
  std::vector<ColumnDescription> columns;
  std::vector<IndexDescription> indexes;
};

// The definition of a new table laid out as above, its pages not yet set.
// Raises 3251 for a description Jet could not store (no columns, more than
// 255, a name that is empty, longer than 64 characters or holds . ! ` [ ]
// or control characters, two columns or indexes of one name, a length out
// of range, NUMERIC in Jet 3, an index over an unknown column, more than one
// primary key).
TableDefinition NewTableDefinition(const TableDescription& description,
                                   JetVersion version,
                                   const TextSettings& text);

// The LvProp blob of a new table (see above).
Binary NewTableProperties(const TableDescription& description,
                          JetVersion version, uint16_t code_page);

// Gives new tables their pages, inside the caller's write group: the
// definition pages, the usage-map rows (rows of several tables share map
// pages while they have room) and the index roots.
class TablePlacer {
 public:
  // All must outlive the placer.
  TablePlacer(Pager& pager, JetVersion version, PageAllocator& allocator);

  // The definition's pages: the first at `first_page` when it is not 0 (a
  // page of the file given to it, as page 2 to MSysObjects), the others
  // allocated.
  void ReserveDefinitionPages(TableDefinition& def, uint16_t code_page,
                              uint32_t first_page = 0);
  // The table's usage-map rows, recorded in `def`.
  void AddUsageMaps(TableDefinition& def);
  // Each real index's root page, an empty leaf listed in the index's map.
  void AddIndexRoots(TableDefinition& def);
  // Writes the definition's pages.
  void WriteDefinition(const TableDefinition& def, uint16_t code_page);

 private:
  RowPointer AddMapRow();

  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  uint32_t map_page_ = 0;  // the map page new rows go to; 0 before the first
};

// Creates the table `description` describes in `db` (open for writing): its
// pages, its catalog row and access control entries, in one write group.
// Returns the new table, ready for Table::InsertRow. `db.tables()` lists it
// once the database is opened again. Raises 3027 for a database open read-only,
// 3010 when a table of that name exists (compared without case), 3251 as
// NewTableDefinition does or when the catalog's sort order cannot index
// the name; then nothing has changed.
std::unique_ptr<Table> CreateTable(Database& db,
                                   const TableDescription& description);

// Gives the table whose definition starts at `definition_page` (written
// already, with its maps) a catalog row named `name` with `flags` and
// access control entries, as CreateTable does. Raises as CreateTable does
// for the name.
void AddTableToCatalog(Database& db, const std::string& name,
                       uint32_t definition_page, uint32_t flags = 0);

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_TABLE_BUILDER_H_
