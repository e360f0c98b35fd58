#include "jet/schema/system_tables.h"

#include <algorithm>
#include <ctime>

#include "jet/schema/catalog.h"
#include "jet/base/error.h"
#include "jet/index/index_key.h"
#include "jet/index/index_node.h"
#include "jet/index/index_writer.h"
#include "jet/rows/long_value_writer.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/row_store.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

// Column flags of system table columns: 0x10 is set on all of them, 0x20
// on those holding security ids.
constexpr uint8_t kSystemFixed = 0x13;
constexpr uint8_t kSystemVariable = 0x12;
constexpr uint8_t kSystemSecurityId = 0x32;

// Jet 4 sets this bit in the flags of every real index it writes.
constexpr uint8_t kJet4IndexMarker = 0x80;

struct ColumnFact {
  const char* name;
  ColumnType type;
  bool security_id = false;
  bool jet4_only = false;
};

struct IndexFact {
  const char* name;
  std::vector<uint16_t> columns;  // column numbers, all ascending
  uint8_t flags;                  // as Jet 3 writes them
  bool primary_key;
};

struct TableFact {
  const char* name;
  std::vector<ColumnFact> columns;  // by column number
  std::vector<IndexFact> indexes;   // by real (and logical) index number
};

const TableFact& FactsOf(SystemTable table) {
  using T = ColumnType;
  static const TableFact kObjects = {
      "MSysObjects",
      {{"Id", T::kLong},
       {"ParentId", T::kLong},
       {"Name", T::kText},
       {"Type", T::kInteger},
       {"DateCreate", T::kDateTime},
       {"DateUpdate", T::kDateTime},
       {"Owner", T::kBinary, true},
       {"Flags", T::kLong},
       {"Database", T::kMemo},
       {"Connect", T::kMemo},
       {"ForeignName", T::kText},
       {"RmtInfoShort", T::kBinary},
       {"RmtInfoLong", T::kOle},
       {"Lv", T::kOle},
       {"LvProp", T::kOle},
       {"LvModule", T::kOle},
       {"LvExtra", T::kOle}},
      // The real index of (ParentId, Name) comes first, that of Id second;
      // the logical "Id" has number 1.
      {{"ParentIdName", {1, 2}, index_flags::kUnique, false},
       {"Id", {0}, index_flags::kUnique, true}}};
  static const TableFact kAccessControl = {
      "MSysACEs",
      {{"ObjectId", T::kLong},
       {"SID", T::kBinary, true},
       {"ACM", T::kLong},
       {"FInheritable", T::kBoolean}},
      {{"ObjectId", {0}, index_flags::kRequired, false}}};
  static const TableFact kQueries = {
      "MSysQueries",
      {{"ObjectId", T::kLong},
       {"Attribute", T::kByte},
       {"Order", T::kBinary},
       {"Name1", T::kText},
       {"Name2", T::kText},
       {"Expression", T::kMemo},
       {"Flag", T::kInteger},
       {"LvExtra", T::kLong, false, true}},
      {{"ObjectIdAttribute", {0, 1, 2}, index_flags::kUnique, true}}};
  static const TableFact kRelationships = {
      "MSysRelationships",
      {{"szRelationship", T::kText},
       {"grbit", T::kLong},
       {"ccolumn", T::kLong},
       {"icolumn", T::kLong},
       {"szObject", T::kText},
       {"szColumn", T::kText},
       {"szReferencedObject", T::kText},
       {"szReferencedColumn", T::kText}},
      {{"szRelationship", {0}, index_flags::kIgnoreNulls, false},
       {"szObject", {4}, index_flags::kIgnoreNulls, false},
       {"szReferencedObject", {6}, index_flags::kIgnoreNulls, false}}};
  switch (table) {
    case SystemTable::kObjects:
      return kObjects;
    case SystemTable::kAccessControl:
      return kAccessControl;
    case SystemTable::kQueries:
      return kQueries;
    case SystemTable::kRelationships:
      break;
  }
  return kRelationships;
}

// Stored bytes of a fixed-length system column.
uint16_t FixedSize(ColumnType type) {
  switch (type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
      return 4;
    default:
      return 8;  // Date/time
  }
}

bool IsVariable(ColumnType type) {
  return type == ColumnType::kText || type == ColumnType::kBinary ||
         type == ColumnType::kMemo || type == ColumnType::kOle;
}

// Days from 1970-01-01 to the civil date (proleptic Gregorian).
int64_t DaysFromCivil(int64_t y, unsigned m, unsigned d) {
  y -= m <= 2;
  const int64_t era = (y >= 0 ? y : y - 399) / 400;
  const unsigned yoe = static_cast<unsigned>(y - era * 400);
  const unsigned doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
  const unsigned doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
  return era * 146097 + static_cast<int64_t>(doe) - 719468;
}

}  // namespace

const char* SystemTableName(SystemTable table) { return FactsOf(table).name; }

TableDefinition SystemTableDefinition(SystemTable table, JetVersion version,
                                      const TextSettings& text) {
  const bool jet3 = version == JetVersion::kJet3;
  const TableFact& facts = FactsOf(table);
  TableDefinition def;
  def.table_type = kSystemTableType;

  uint16_t number = 0, variable = 0, fixed_offset = 0;
  for (const ColumnFact& fact : facts.columns) {
    if (fact.jet4_only && jet3) continue;
    ColumnDefinition col;
    col.name = fact.name;
    col.type = static_cast<uint8_t>(fact.type);
    col.number = number++;
    col.sort_order = text.sort_order;
    if (jet3) col.code_page = text.code_page;
    if (fact.type == ColumnType::kText || fact.type == ColumnType::kMemo) {
      col.sort_order_version = text.sort_order_version;
    }
    if (IsVariable(fact.type)) {
      col.variable_index = variable++;
      col.flags = fact.security_id ? kSystemSecurityId : kSystemVariable;
      if (fact.type == ColumnType::kText || fact.type == ColumnType::kBinary) {
        col.length = jet3 ? 255 : 510;
      }
    } else {
      // A fixed column records how many variable columns come before it.
      col.variable_index = variable;
      col.flags = kSystemFixed;
      col.length = FixedSize(fact.type);
      if (fact.type != ColumnType::kBoolean) {
        col.fixed_offset = fixed_offset;
        fixed_offset = static_cast<uint16_t>(fixed_offset + col.length);
      }
    }
    def.columns.push_back(std::move(col));
  }
  def.max_columns = number;
  def.variable_column_count = variable;

  for (size_t i = 0; i < facts.indexes.size(); ++i) {
    const IndexFact& fact = facts.indexes[i];
    RealIndex real;
    for (uint16_t c : fact.columns)
      real.columns.push_back(IndexColumn{c, true});
    real.flags =
        static_cast<uint8_t>(fact.flags | (jet3 ? 0 : kJet4IndexMarker));
    def.real_indexes.push_back(std::move(real));
    LogicalIndex logical;
    logical.name = fact.name;
    logical.number = static_cast<uint32_t>(i);
    logical.real_index = static_cast<uint32_t>(i);
    logical.index_type = fact.primary_key ? 0x01 : 0x00;
    def.logical_indexes.push_back(std::move(logical));
  }
  // Logical index numbers are those of FactsOf (MSysObjects' "Id" is number
  // 1, over the second real index); the entries are stored in name order.
  std::stable_sort(def.logical_indexes.begin(), def.logical_indexes.end(),
                   [](const LogicalIndex& a, const LogicalIndex& b) {
                     return NameLess(a.name, b.name);
                   });
  if (!jet3) {
    std::stable_sort(def.columns.begin(), def.columns.end(),
                     [](const ColumnDefinition& a, const ColumnDefinition& b) {
                       return NameLess(a.name, b.name);
                     });
  }
  ListLongValueColumns(def);
  return def;
}

void ListLongValueColumns(TableDefinition& def) {
  std::vector<const ColumnDefinition*> columns;
  for (const ColumnDefinition& col : def.columns) {
    if (IsLongValueType(col.type)) columns.push_back(&col);
  }
  std::stable_sort(columns.begin(), columns.end(),
                   [](const ColumnDefinition* a, const ColumnDefinition* b) {
                     return NameLess(a->name, b->name);
                   });
  def.long_value_maps.clear();
  for (const ColumnDefinition* col : columns) {
    def.long_value_maps.push_back(LongValueColumnMaps{col->number, {}, {}});
  }
}

std::vector<CatalogRow> InitialCatalogRows(
    const std::vector<int32_t>& table_ids) {
  using namespace catalog_ids;
  std::vector<CatalogRow> rows = {
      {kTablesContainer,
       kTopParent,
       "Tables",
       catalog_types::kContainer,
       kJetSystemObjectFlags,
       security_ids::kEngine,
       {}},
      {kDatabasesContainer,
       kTopParent,
       "Databases",
       catalog_types::kContainer,
       kJetSystemObjectFlags,
       security_ids::kEngine,
       {}},
      {kRelationshipsContainer,
       kTopParent,
       "Relationships",
       catalog_types::kContainer,
       kJetSystemObjectFlags,
       security_ids::kEngine,
       {}},
      {kDatabaseObject,
       kDatabasesContainer,
       "MSysDb",
       catalog_types::kDatabase,
       kJetSystemObjectFlags,
       security_ids::kAdminUser,
       {}},
  };
  for (size_t i = 0; i < table_ids.size(); ++i) {
    rows.push_back({table_ids[i],
                    kTablesContainer,
                    SystemTableName(kSystemTables[i]),
                    catalog_types::kTable,
                    kJetSystemObjectFlags,
                    security_ids::kEngine,
                    {}});
  }
  return rows;
}

std::vector<AccessControlEntry> InitialAccessControlEntries(
    const std::vector<int32_t>& ids) {
  using namespace catalog_ids;
  using namespace security_ids;
  const int32_t objects = ids.at(0), aces = ids.at(1), queries = ids.at(2),
                relationships = ids.at(3);
  return {
      {objects, kAdminUser, 0x60000, false},
      {aces, kAdminUser, 0x60000, false},
      {queries, kAdminUser, 0x60000, false},
      {relationships, kAdminUser, 0xE0000, false},
      {kTablesContainer, kAdminsGroup, 0xF00FE, true},
      {kTablesContainer, kAdminUser, 0x60001, false},
      {kRelationshipsContainer, kAdminsGroup, 0xF00FE, true},
      {kRelationshipsContainer, kAdminUser, 0x60001, false},
      {kDatabasesContainer, kAdminUser, 0x60000, false},
      {kDatabaseObject, kAdminUser, 0x6000E, false},
      {kDatabaseObject, kUsersGroup, 0xE, false},
      {queries, kUsersGroup, 0x14, false},
      {relationships, kUsersGroup, 0x14, false},
      {objects, kUsersGroup, 0x14, false},
      {kTablesContainer, kUsersGroup, 0xFFEFF, true},
      {kRelationshipsContainer, kUsersGroup, 0xFFFFF, true},
  };
}

std::vector<AccessControlEntry> NewTableAccessControlEntries(int32_t table_id) {
  return {
      {table_id, security_ids::kAdminUser, access_rights::kNewTable, false},
      {table_id, security_ids::kUsersGroup, access_rights::kNewTable, false}};
}

namespace {

size_t ColumnPosition(const TableDefinition& def, const char* name) {
  for (size_t k = 0; k < def.columns.size(); ++k) {
    if (def.columns[k].name == name) return k;
  }
  throw Error(kErrItemNotFound,
              std::string("시스템 테이블에 '") + name + "' 열이 없습니다.");
}

}  // namespace

std::vector<Value> CatalogRowValues(const TableDefinition& catalog,
                                    const CatalogRow& row, DateTime now) {
  std::vector<Value> values(catalog.columns.size(), Null{});
  values[ColumnPosition(catalog, "Id")] = row.id;
  values[ColumnPosition(catalog, "ParentId")] = row.parent_id;
  values[ColumnPosition(catalog, "Name")] = row.name;
  values[ColumnPosition(catalog, "Type")] = row.type;
  values[ColumnPosition(catalog, "DateCreate")] = now;
  values[ColumnPosition(catalog, "DateUpdate")] = now;
  values[ColumnPosition(catalog, "Owner")] = row.owner;
  values[ColumnPosition(catalog, "Flags")] = static_cast<int32_t>(row.flags);
  if (!row.properties.empty()) {
    values[ColumnPosition(catalog, "LvProp")] = row.properties;
  }
  return values;
}

std::vector<Value> AccessControlValues(const TableDefinition& aces,
                                       const AccessControlEntry& entry) {
  std::vector<Value> values(aces.columns.size(), Null{});
  values[ColumnPosition(aces, "ObjectId")] = entry.object_id;
  values[ColumnPosition(aces, "SID")] = entry.sid;
  values[ColumnPosition(aces, "ACM")] = entry.rights;
  values[ColumnPosition(aces, "FInheritable")] = entry.inheritable;
  return values;
}

SystemTableWriter::SystemTableWriter(Pager& pager, JetVersion version,
                                     PageAllocator& allocator,
                                     TableDefinition& def,
                                     const TextSettings& text)
    : pager_(pager),
      version_(version),
      allocator_(allocator),
      def_(def),
      text_(text),
      rows_(std::make_unique<RowStore>(pager, version, allocator, def)),
      long_values_(
          std::make_unique<LongValueWriter>(pager, version, allocator, def)) {}

SystemTableWriter::~SystemTableWriter() = default;

RowPointer SystemTableWriter::Insert(const std::vector<Value>& values) {
  if (values.size() != def_.columns.size()) {
    throw Error(kErrItemNotFound, "값의 개수가 열의 개수와 다릅니다.");
  }
  // Keys first, so that nothing is written for a row that cannot be
  // indexed.
  const IndexKeyOptions options = KeyOptionsFor(
      text_.sort_order, text_.sort_order_version, text_.code_page);
  std::vector<std::optional<std::vector<uint8_t>>> keys;
  for (const RealIndex& index : def_.real_indexes) {
    if (!RowHasIndexEntry(index, def_, values)) {
      keys.emplace_back();
      continue;
    }
    IndexKeyResult key = EncodeIndexKey(index, def_, values, version_, options);
    if (!key) {
      throw Error(
          kErrUnsupportedFeature,
          "이 데이터베이스의 정렬 순서로는 시스템 테이블의 색인 키를 만들 "
          "수 없습니다 (" +
              key.reason + ").");
    }
    keys.push_back(std::move(key.key));
  }

  std::vector<FieldData> fields(values.size());
  for (size_t k = 0; k < values.size(); ++k) {
    const ColumnDefinition& col = def_.columns[k];
    if (!IsLongValueType(col.type)) {
      fields[k] = EncodeValue(values[k], col, version_);
      continue;
    }
    if (IsNull(values[k])) continue;
    std::vector<uint8_t> bytes;
    if (const auto* text = std::get_if<std::string>(&values[k])) {
      bytes = EncodeText(*text, col, version_);
    } else if (const auto* binary = std::get_if<Binary>(&values[k])) {
      bytes = *binary;
    } else {
      throw Error(kErrConversion, "긴 값 필드에 맞지 않는 값입니다.");
    }
    fields[k].is_null = false;
    fields[k].data = long_values_->Write(bytes, col);
  }
  RowPointer id = rows_->Insert(EncodeRow(version_, def_, fields));
  def_.AddToStoredRowCount(pager_, version_, 1);
  for (size_t i = 0; i < keys.size(); ++i) {
    if (!keys[i]) continue;
    IndexWriter writer(pager_, version_, allocator_, def_, i);
    writer.Insert(IndexEntry{*keys[i], id, 0});
  }
  return id;
}

DateTime CurrentDateTime() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
#ifdef _WIN32
  localtime_s(&local, &now);
#else
  localtime_r(&now, &local);
#endif
  constexpr int64_t kJetEpochFromUnix = -25569;  // 1899-12-30
  int64_t days =
      DaysFromCivil(local.tm_year + 1900, local.tm_mon + 1, local.tm_mday) -
      kJetEpochFromUnix;
  double seconds = local.tm_hour * 3600.0 + local.tm_min * 60.0 + local.tm_sec;
  return DateTime{static_cast<double>(days) + seconds / 86400.0};
}

std::string SystemTableNameByColumns(const TableDefinition& def) {
  // The system tables of the files Access 97 to 2003 and Jet write, with
  // their columns' names sorted (MSysIMEXColumns and MSysQueries have two
  // forms).
  static const struct {
    const char* name;
    std::vector<std::string> columns;
  } kKnown[] = {
      {"MSysACEs", {"ACM", "FInheritable", "ObjectId", "SID"}},
      {"MSysAccessObjects", {"Data", "ID"}},
      {"MSysAccessStorage",
       {"DateCreate", "DateUpdate", "Id", "Lv", "Name", "ParentId", "Type"}},
      {"MSysAccessXML",
       {"Id", "LValue", "ObjectGuid", "ObjectName", "Property", "Value"}},
      {"MSysCmdbars", {"Grptbcd", "TbName"}},
      {"MSysIMEXColumns",
       {"Attributes", "DataType", "FieldName", "IndexType", "SkipColumn",
        "SpecID", "Start", "Width"}},
      {"MSysIMEXColumns",
       {"DataType", "FieldName", "IndexType", "SkipColumn", "SpecID", "Start",
        "Width"}},
      {"MSysIMEXSpecs",
       {"DateDelim", "DateFourDigitYear", "DateLeadingZeros", "DateOrder",
        "DecimalPoint", "FieldSeparator", "FileType", "SpecID", "SpecName",
        "SpecType", "StartRow", "TextDelim", "TimeDelim"}},
      {"MSysModules", {"__A__"}},
      {"MSysModules2",
       {"Flags", "Form", "Module", "Name", "ReplicationVersion", "Type",
        "TypeInfo", "Version"}},
      {"MSysNameMap", {"GUID", "Id", "Name", "NameMap", "Type"}},
      {"MSysNavPaneGroupCategories",
       {"Filter", "Flags", "Id", "Name", "Position", "SelectedObjectID",
        "Type"}},
      {"MSysNavPaneGroupToObjects",
       {"Flags", "GroupID", "Icon", "Id", "Name", "ObjectID", "Position"}},
      {"MSysNavPaneGroups",
       {"Flags", "GroupCategoryID", "Id", "Name", "Object Type Group",
        "ObjectID", "Position"}},
      {"MSysNavPaneObjectIDs", {"Id", "Name", "Type"}},
      {"MSysQueries",
       {"Attribute", "Expression", "Flag", "Name1", "Name2", "ObjectId",
        "Order"}},
      {"MSysQueries",
       {"Attribute", "Expression", "Flag", "LvExtra", "Name1", "Name2",
        "ObjectId", "Order"}},
      {"MSysRelationships",
       {"ccolumn", "grbit", "icolumn", "szColumn", "szObject",
        "szReferencedColumn", "szReferencedObject", "szRelationship"}},
  };
  std::vector<std::string> columns;
  for (const ColumnDefinition& c : def.columns) columns.push_back(c.name);
  std::sort(columns.begin(), columns.end());
  for (const auto& known : kKnown) {
    if (known.columns == columns) return known.name;
  }
  return "";
}

}  // namespace jet
