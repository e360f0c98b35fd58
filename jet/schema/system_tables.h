// The system tables Jet itself creates in a new database, their catalog
// rows and access control entries, as real files show them (a database
// emptied by Jet through ADOX, Access 97 and Access 2000 files).
//
// Tables, with their columns by column number (text and binary lengths in
// bytes: Jet 4 / Jet 3; flags 0x13 fixed, 0x12 variable, 0x32 security id):
//
//   MSysObjects (definition at page 2)
//     0 Id Long  1 ParentId Long  2 Name Text 510/255  3 Type Integer
//     4 DateCreate Date  5 DateUpdate Date  6 Owner Binary 510/255 (0x32)
//     7 Flags Long  8 Database Memo  9 Connect Memo  10 ForeignName Text
//     11 RmtInfoShort Binary  12 RmtInfoLong OLE  13 Lv OLE  14 LvProp OLE
//     15 LvModule OLE  16 LvExtra OLE
//     real index 0: (ParentId, Name) unique; real index 1: (Id) unique;
//     logical "Id" (number 1, primary key), "ParentIdName" (number 0)
//   MSysACEs
//     0 ObjectId Long  1 SID Binary (0x32)  2 ACM Long  3 FInheritable Yes/No
//     real index 0: (ObjectId), flags required; logical "ObjectId"
//   MSysQueries
//     0 ObjectId Long  1 Attribute Byte  2 Order Binary  3 Name1 Text
//     4 Name2 Text  5 Expression Memo  6 Flag Integer  7 LvExtra Long (Jet 4)
//     real index 0: (ObjectId, Attribute, Order) unique;
//     logical "ObjectIdAttribute" (primary key)
//   MSysRelationships
//     0 szRelationship Text  1 grbit Long  2 ccolumn Long  3 icolumn Long
//     4 szObject Text  5 szColumn Text  6 szReferencedObject Text
//     7 szReferencedColumn Text
//     real indexes (ignore nulls): 0 (szRelationship), 1 (szObject),
//     2 (szReferencedObject); logical indexes of the same names, numbered
//     0 to 2 as the real ones
//
// Jet 4 stores the columns of its system tables in name order (compared
// without case) with column index 0, Jet 3 in column number order; both
// list the logical indexes and the long-value maps in name order. Jet 4
// sets 0x80 in the flags of every real index. Every column carries the
// database's sort order (Jet 3 also its code page).
//
// Catalog rows of a new database (Type, then Flags 0x80000000 on all):
//   0x0F000001 "Tables", 0x0F000002 "Databases", 0x0F000003
//   "Relationships": containers (type 3) under 0x0F000000, a parent no row
//   has; 0x10000000 "MSysDb": the database object (type 2) under
//   "Databases"; 2..5 the system tables (type 1) under "Tables", Id = their
//   definition page. Owner is the engine's security id for all but MSysDb,
//   whose owner is the admin user's.
//
// Security ids are 2 bytes in Jet 3: 02 03 (the engine, owner of system
// objects), 03 01 (the admin user), 02 01 (the users group), 02 04 (the
// admins group); the names are inferred from where they appear. Jet 4 files
// hold the same ids XORed with 2 bytes that differ between files and are
// equal in files of the same creation date; how Jet derives them is not
// known, so Jet 4 databases made here store the ids unmasked.
#ifndef MDBCARE_JET_SCHEMA_SYSTEM_TABLES_H_
#define MDBCARE_JET_SCHEMA_SYSTEM_TABLES_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/format.h"
#include "jet/rows/table_definition.h"
#include "jet/base/value.h"

namespace jet {

class LongValueWriter;
class PageAllocator;
class Pager;
class RowStore;

namespace catalog_ids {
inline constexpr int32_t kTopParent = 0x0F000000;
inline constexpr int32_t kTablesContainer = 0x0F000001;
inline constexpr int32_t kDatabasesContainer = 0x0F000002;
inline constexpr int32_t kRelationshipsContainer = 0x0F000003;
inline constexpr int32_t kDatabaseObject = 0x10000000;
}  // namespace catalog_ids

namespace catalog_types {
inline constexpr int16_t kTable = 1;
inline constexpr int16_t kDatabase = 2;
inline constexpr int16_t kContainer = 3;
}  // namespace catalog_types

// Catalog Flags of the objects Jet creates for itself.
inline constexpr uint32_t kJetSystemObjectFlags = 0x80000000;

inline constexpr uint8_t kSystemTableType = 0x53;
inline constexpr uint8_t kUserTableType = 0x4E;

namespace security_ids {
inline const Binary kEngine = {0x02, 0x03};
inline const Binary kAdminUser = {0x03, 0x01};
inline const Binary kUsersGroup = {0x02, 0x01};
inline const Binary kAdminsGroup = {0x02, 0x04};
}  // namespace security_ids

// Access rights (MSysACEs.ACM) as Jet grants them.
namespace access_rights {
// What Access gives the creating user and the users group on a new table.
inline constexpr int32_t kNewTable = 0xFFEFF;
}  // namespace access_rights

enum class SystemTable { kObjects, kAccessControl, kQueries, kRelationships };

inline constexpr SystemTable kSystemTables[] = {
    SystemTable::kObjects, SystemTable::kAccessControl, SystemTable::kQueries,
    SystemTable::kRelationships};

const char* SystemTableName(SystemTable table);

// What the columns of a new table's definition inherit from the database.
struct TextSettings {
  uint16_t sort_order = 1033;
  uint8_t sort_order_version = 0;
  uint16_t code_page = 1252;
};

// The definition of a system table as Jet creates it, empty, without its
// pages (definition page, maps and index roots are set when it is placed).
TableDefinition SystemTableDefinition(SystemTable table, JetVersion version,
                                      const TextSettings& text);

// Adds to `def.long_value_maps` one entry per memo and OLE column, in
// column name order as Jet lists them; their maps are set when the table is
// placed (TablePlacer).
void ListLongValueColumns(TableDefinition& def);

struct CatalogRow {
  int32_t id = 0;
  int32_t parent_id = 0;
  std::string name;
  int16_t type = 0;
  uint32_t flags = 0;
  Binary owner;
  Binary properties;  // LvProp; empty for none
};

struct AccessControlEntry {
  int32_t object_id = 0;
  Binary sid;
  int32_t rights = 0;
  bool inheritable = false;
};

// The catalog rows of a new database, in the order Jet writes them;
// `table_ids` are the definition pages of the system tables in
// kSystemTables order.
std::vector<CatalogRow> InitialCatalogRows(
    const std::vector<int32_t>& table_ids);
// Its access control entries, in Jet's order.
std::vector<AccessControlEntry> InitialAccessControlEntries(
    const std::vector<int32_t>& table_ids);
// The entries of a new user table.
std::vector<AccessControlEntry> NewTableAccessControlEntries(int32_t table_id);

// One value per column of MSysObjects (`catalog`), DateCreate and
// DateUpdate `now`, the columns a row does not name Null.
std::vector<Value> CatalogRowValues(const TableDefinition& catalog,
                                    const CatalogRow& row, DateTime now);
std::vector<Value> AccessControlValues(const TableDefinition& aces,
                                       const AccessControlEntry& entry);

// Adds rows to a system table with their index entries, inside the
// caller's write group, as Table::InsertRow does for a table of an open
// database: CreateDatabase has no open database yet. Keys come from the
// shared key encoder (index_key.h) with `text` as the database's defaults;
// unique indexes are not checked (callers check names first). `def` is the
// table's definition as read from its pages; all must outlive the writer.
class SystemTableWriter {
 public:
  SystemTableWriter(Pager& pager, JetVersion version, PageAllocator& allocator,
                    TableDefinition& def, const TextSettings& text);
  ~SystemTableWriter();
  SystemTableWriter(const SystemTableWriter&) = delete;
  SystemTableWriter& operator=(const SystemTableWriter&) = delete;

  // Raises 3251 when a value's index key cannot be made (a character the
  // sort order's known codes lack); then nothing has been written.
  RowPointer Insert(const std::vector<Value>& values);

 private:
  Pager& pager_;
  JetVersion version_;
  PageAllocator& allocator_;
  TableDefinition& def_;
  TextSettings text_;
  std::unique_ptr<RowStore> rows_;
  std::unique_ptr<LongValueWriter> long_values_;
};

// The current local time as Jet stores dates.
DateTime CurrentDateTime();

// The name of the system table of Jet or Access whose columns `def` has
// (compared by their names, as the tables of real files have them), or ""
// when it is none of them: a table definition found without its catalog
// row tells its name no other way.
std::string SystemTableNameByColumns(const TableDefinition& def);

}  // namespace jet

#endif  // MDBCARE_JET_SCHEMA_SYSTEM_TABLES_H_
