#include "jet/database/table_builder.h"

#include <algorithm>
#include <set>

#include "jet/schema/catalog.h"
#include "jet/storage/data_page_editor.h"
#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/index/index_node.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"
#include "jet/schema/property_map.h"
#include "jet/database/table.h"
#include "jet/base/text_codec.h"
#include "jet/storage/usage_map.h"

namespace jet {

namespace {

constexpr size_t kMaxColumns = 255;
constexpr size_t kMaxIndexes = 32;
constexpr size_t kMaxIndexColumns = 10;
constexpr size_t kMaxNameLength = 64;
constexpr uint16_t kDefaultTextLength = 50;
constexpr uint16_t kMaxTextLength = 255;
constexpr uint16_t kMaxBinaryLength = 255;
constexpr uint8_t kMaxNumericPrecision = 28;

constexpr uint8_t kUserFixed =
    column_flags::kFixedLength | column_flags::kNullable;
constexpr uint8_t kUserVariable = column_flags::kNullable;
constexpr uint8_t kJet4IndexMarker = 0x80;
constexpr uint8_t kPrimaryKeyType = 0x01;

// Bitmap bytes of the inline usage maps Jet writes for tables, indexes and
// long-value columns.
constexpr size_t kJet3MapBitmapBytes = 128;
constexpr size_t kJet4MapBitmapBytes = 64;

[[noreturn]] void ThrowUnstorable(const std::string& why) {
  throw Error(kErrUnsupportedFeature, why);
}

// Access's rules for the names of tables, columns and indexes.
void CheckName(const std::string& name, const char* what) {
  std::u16string units = Utf8ToUtf16(name);
  if (units.empty() || units.size() > kMaxNameLength) {
    ThrowUnstorable(std::string(what) +
                    " 이름은 1자에서 64자 사이여야 합니다: '" + name + "'");
  }
  if (units.front() == u' ') {
    ThrowUnstorable(std::string(what) +
                    " 이름은 공백으로 시작할 수 없습니다: '" + name + "'");
  }
  for (char16_t c : units) {
    if (c < 0x20 || c == u'.' || c == u'!' || c == u'`' || c == u'[' ||
        c == u']') {
      ThrowUnstorable(std::string(what) +
                      " 이름에 쓸 수 없는 문자가 있습니다: '" + name + "'");
    }
  }
}

bool IsVariableColumn(const ColumnDescription& c) {
  switch (c.type) {
    case ColumnType::kText:
      return !c.fixed_length;
    case ColumnType::kBinary:
    case ColumnType::kMemo:
    case ColumnType::kOle:
      return true;
    default:
      return false;
  }
}

uint16_t StoredLength(const ColumnDescription& c, JetVersion version) {
  switch (c.type) {
    case ColumnType::kBoolean:
    case ColumnType::kByte:
      return 1;
    case ColumnType::kInteger:
      return 2;
    case ColumnType::kLong:
    case ColumnType::kSingle:
      return 4;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      return 8;
    case ColumnType::kGuid:
      return 16;
    case ColumnType::kNumeric:
      return 17;
    case ColumnType::kMemo:
    case ColumnType::kOle:
      return 0;
    case ColumnType::kBinary: {
      uint16_t n = c.length == 0 ? kMaxBinaryLength : c.length;
      if (n > kMaxBinaryLength) {
        ThrowUnstorable("'" + c.name +
                        "' 이진 열의 길이는 255바이트를 넘을 수 없습니다.");
      }
      return n;
    }
    case ColumnType::kText: {
      uint16_t n = c.length == 0 ? kDefaultTextLength : c.length;
      if (n > kMaxTextLength) {
        ThrowUnstorable("'" + c.name +
                        "' 텍스트 열의 길이는 255자를 넘을 수 없습니다.");
      }
      return version == JetVersion::kJet4 ? static_cast<uint16_t>(2 * n) : n;
    }
  }
  ThrowUnstorable("'" + c.name + "' 열의 형식을 만들 수 없습니다.");
}

const ColumnDefinition& ColumnNamed(const TableDefinition& def,
                                    const std::string& name,
                                    const std::string& index) {
  for (const ColumnDefinition& col : def.columns) {
    if (NamesEqualIgnoringCase(col.name, name)) return col;
  }
  ThrowUnstorable("'" + index + "' 색인의 '" + name +
                  "' 열이 테이블에 없습니다.");
}

std::vector<uint8_t> EmptyMapRow(JetVersion version) {
  size_t bitmap =
      version == JetVersion::kJet3 ? kJet3MapBitmapBytes : kJet4MapBitmapBytes;
  std::vector<uint8_t> row(usage_map_layout::kInlineBitmapOffset + bitmap, 0);
  row[0] = usage_map_layout::kInline;
  return row;
}

}  // namespace

TableDefinition NewTableDefinition(const TableDescription& description,
                                   JetVersion version,
                                   const TextSettings& text) {
  const bool jet3 = version == JetVersion::kJet3;
  CheckName(description.name, "테이블");
  if (description.columns.empty())
    ThrowUnstorable("열이 없는 테이블은 만들 수 없습니다.");
  if (description.columns.size() > kMaxColumns) {
    ThrowUnstorable("테이블에 열을 255개보다 많이 만들 수 없습니다.");
  }
  if (description.indexes.size() > kMaxIndexes) {
    ThrowUnstorable("테이블에 색인을 32개보다 많이 만들 수 없습니다.");
  }

  TableDefinition def;
  def.table_type = kUserTableType;
  uint16_t variable = 0, fixed_offset = 0;
  for (size_t k = 0; k < description.columns.size(); ++k) {
    const ColumnDescription& c = description.columns[k];
    CheckName(c.name, "열");
    for (size_t j = 0; j < k; ++j) {
      if (NamesEqualIgnoringCase(description.columns[j].name, c.name)) {
        ThrowUnstorable("'" + c.name + "' 열 이름이 두 번 쓰였습니다.");
      }
    }
    if (c.type == ColumnType::kNumeric) {
      if (jet3)
        ThrowUnstorable(
            "Jet 3 데이터베이스에는 NUMERIC 열을 만들 수 없습니다.");
      if (c.precision < 1 || c.precision > kMaxNumericPrecision ||
          c.scale > c.precision) {
        ThrowUnstorable("'" + c.name +
                        "' 열의 전체 자릿수나 소수 자릿수가 잘못되었습니다.");
      }
    }
    if (c.fixed_length && c.type != ColumnType::kText) {
      ThrowUnstorable("'" + c.name +
                      "' 열: 고정 길이는 텍스트 열에만 쓸 수 있습니다.");
    }
    ColumnDefinition col;
    col.name = c.name;
    col.type = static_cast<uint8_t>(c.type);
    col.number = static_cast<uint16_t>(k);
    col.column_index = static_cast<uint16_t>(k);
    col.length = StoredLength(c, version);
    col.sort_order = text.sort_order;
    if (jet3) col.code_page = text.code_page;
    const bool is_text =
        c.type == ColumnType::kText || c.type == ColumnType::kMemo;
    if (is_text) {
      col.sort_order_version = text.sort_order_version;
      // Access never compresses fixed-length text, whose values fill the
      // column.
      col.compressed_unicode = !jet3 && c.compressed_unicode && !c.fixed_length;
    }
    if (c.type == ColumnType::kNumeric) {
      col.precision = c.precision;
      col.scale = c.scale;
    }
    if (IsVariableColumn(c)) {
      col.flags = kUserVariable;
      col.variable_index = variable++;
    } else {
      col.flags = kUserFixed;
      col.variable_index = variable;
      if (c.type != ColumnType::kBoolean) {
        col.fixed_offset = fixed_offset;
        fixed_offset = static_cast<uint16_t>(fixed_offset + col.length);
      }
    }
    def.columns.push_back(std::move(col));
  }
  def.max_columns = static_cast<uint16_t>(def.columns.size());
  def.variable_column_count = variable;

  bool has_primary_key = false;
  for (size_t i = 0; i < description.indexes.size(); ++i) {
    const IndexDescription& s = description.indexes[i];
    CheckName(s.name, "색인");
    for (size_t j = 0; j < i; ++j) {
      if (NamesEqualIgnoringCase(description.indexes[j].name, s.name)) {
        ThrowUnstorable("'" + s.name + "' 색인 이름이 두 번 쓰였습니다.");
      }
    }
    if (s.columns.empty() || s.columns.size() > kMaxIndexColumns) {
      ThrowUnstorable("'" + s.name +
                      "' 색인의 열은 1개에서 10개 사이여야 합니다.");
    }
    if (s.primary_key) {
      if (has_primary_key)
        ThrowUnstorable("기본 키는 하나만 만들 수 있습니다.");
      has_primary_key = true;
    }
    RealIndex real;
    std::set<uint16_t> used;
    for (const IndexColumnDescription& ic : s.columns) {
      const ColumnDefinition& col = ColumnNamed(def, ic.column, s.name);
      if (IsLongValueType(col.type)) {
        ThrowUnstorable(
            "'" + s.name +
            "' 색인: 메모나 OLE 개체 열에는 색인을 만들 수 없습니다.");
      }
      if (!used.insert(col.number).second) {
        ThrowUnstorable("'" + s.name + "' 색인에 같은 열이 두 번 있습니다.");
      }
      real.columns.push_back(IndexColumn{col.number, ic.ascending});
    }
    uint8_t flags = 0;
    if (s.unique || s.primary_key) flags |= index_flags::kUnique;
    if (s.ignore_nulls) flags |= index_flags::kIgnoreNulls;
    if (s.primary_key) flags |= index_flags::kRequired;
    if (!jet3) flags |= kJet4IndexMarker;
    real.flags = flags;
    def.real_indexes.push_back(std::move(real));

    LogicalIndex logical;
    logical.name = s.name;
    logical.number = static_cast<uint32_t>(i);
    logical.real_index = static_cast<uint32_t>(i);
    logical.index_type = s.primary_key ? kPrimaryKeyType : 0;
    def.logical_indexes.push_back(std::move(logical));
  }
  std::stable_sort(def.logical_indexes.begin(), def.logical_indexes.end(),
                   [](const LogicalIndex& a, const LogicalIndex& b) {
                     return NameLess(a.name, b.name);
                   });
  ListLongValueColumns(def);
  return def;
}

Binary NewTableProperties(const TableDescription& description,
                          JetVersion version, uint16_t code_page) {
  PropertyMap map;
  map.format = PropertyTextFormat{version, code_page};
  for (const ColumnDescription& c : description.columns) {
    PropertyBlock block;
    block.type = property_layout::kPartBlock;
    block.name = c.name;
    block.Set(property_names::kRequired,
              static_cast<uint8_t>(ColumnType::kBoolean), c.required);
    if (c.type == ColumnType::kText || c.type == ColumnType::kMemo) {
      block.Set(property_names::kAllowZeroLength,
                static_cast<uint8_t>(ColumnType::kBoolean),
                c.allow_zero_length);
    }
    map.blocks.push_back(std::move(block));
  }
  return EncodePropertyMap(map);
}

TablePlacer::TablePlacer(Pager& pager, JetVersion version,
                         PageAllocator& allocator)
    : pager_(pager), version_(version), allocator_(allocator) {}

void TablePlacer::ReserveDefinitionPages(TableDefinition& def,
                                         uint16_t code_page,
                                         uint32_t first_page) {
  size_t length = def.Encode(version_, code_page).size();
  size_t count = TableDefinition::PagesFor(length, pager_.page_size());
  def.pages.clear();
  def.pages.push_back(first_page != 0 ? first_page : allocator_.Allocate());
  while (def.pages.size() < count) def.pages.push_back(allocator_.Allocate());
  def.page = def.pages.front();
}

RowPointer TablePlacer::AddMapRow() {
  std::vector<uint8_t> row = EmptyMapRow(version_);
  if (map_page_ != 0) {
    std::vector<uint8_t> bytes = pager_.CopyForWrite(map_page_);
    DataPageEditor editor(version_, bytes);
    if (auto slot = editor.AddRow(row, 0)) {
      pager_.Put(map_page_, std::move(bytes));
      return RowPointer{map_page_, static_cast<uint8_t>(*slot)};
    }
  }
  map_page_ = allocator_.Allocate();
  std::vector<uint8_t> bytes(pager_.page_size(), 0);
  DataPageEditor::Initialize(version_, bytes, 0);
  DataPageEditor editor(version_, bytes);
  auto slot = editor.AddRow(row, 0);
  if (!slot) ThrowDamaged("사용 맵 행이 페이지에 들어가지 않습니다");
  pager_.Put(map_page_, std::move(bytes));
  return RowPointer{map_page_, static_cast<uint8_t>(*slot)};
}

void TablePlacer::AddUsageMaps(TableDefinition& def) {
  def.usage_map = AddMapRow();
  def.free_space_map = AddMapRow();
  // Long-value maps are given out in column order, whatever the order the
  // definition lists them in.
  std::vector<LongValueColumnMaps*> by_number;
  for (LongValueColumnMaps& m : def.long_value_maps) by_number.push_back(&m);
  std::stable_sort(
      by_number.begin(), by_number.end(),
      [](const LongValueColumnMaps* a, const LongValueColumnMaps* b) {
        return a->column_number < b->column_number;
      });
  for (LongValueColumnMaps* m : by_number) {
    m->usage_map = AddMapRow();
    m->free_space_map = AddMapRow();
  }
  for (RealIndex& index : def.real_indexes)
    index.usage_map = AddMapRow().Packed();
}

void TablePlacer::AddIndexRoots(TableDefinition& def) {
  for (RealIndex& index : def.real_indexes) {
    uint32_t root = allocator_.Allocate();
    IndexNode leaf;
    leaf.page = root;
    leaf.leaf = true;
    leaf.table_page = def.page;
    auto bytes = leaf.Encode(version_);
    if (!bytes) ThrowDamaged("빈 색인 페이지를 만들 수 없습니다");
    pager_.Put(root, std::move(*bytes));
    index.first_page = root;
    if (!SetUsageMapBit(pager_, version_,
                        RowPointer::FromPacked(index.usage_map), root, true,
                        &allocator_)) {
      ThrowDamaged("색인의 사용 맵에 첫 페이지를 기록할 수 없습니다");
    }
  }
}

void TablePlacer::WriteDefinition(const TableDefinition& def,
                                  uint16_t code_page) {
  std::vector<std::vector<uint8_t>> pages = TableDefinition::SplitIntoPages(
      def.Encode(version_, code_page), version_, def.pages);
  for (size_t i = 0; i < pages.size(); ++i) {
    pager_.Put(def.pages[i], std::move(pages[i]));
  }
}

namespace {

void RequireNewTableName(const Database& db, const std::string& name) {
  if (!db.writable()) {
    throw Error(
        kErrReadOnly,
        "데이터베이스가 읽기 전용으로 열려 있어 테이블을 만들 수 없습니다.");
  }
  for (const CatalogEntry& e : db.catalog()) {
    if (e.is_table() && NamesEqualIgnoringCase(e.name, name)) {
      throw Error(kErrTableAlreadyExists,
                  "'" + name + "' 테이블이 이미 있습니다.");
    }
  }
}

// Writes the catalog row and access control entries of the table whose
// definition starts at `def_page`, inside the caller's write group.
void AddCatalogRow(Database& db, PageAllocator& allocator,
                   const std::string& name, uint32_t def_page,
                   const Binary& properties, uint32_t flags) {
  const DatabaseHeader& header = db.header();
  const JetVersion version = header.version;
  const uint16_t code_page = header.code_page;
  TextSettings text{header.sort_order, header.sort_order_version, code_page};
  int32_t aces_page = 0;
  for (const CatalogEntry& e : db.catalog()) {
    if (e.is_local_table() &&
        e.name == SystemTableName(SystemTable::kAccessControl)) {
      aces_page = static_cast<int32_t>(e.definition_page());
    }
  }
  Pager& pager = db.pager();
  CatalogRow row{static_cast<int32_t>(def_page),
                 catalog_ids::kTablesContainer,
                 name,
                 catalog_types::kTable,
                 flags,
                 security_ids::kAdminUser,
                 properties};
  TableDefinition catalog = TableDefinition::Read(pager, version, code_page,
                                                  kCatalogTableDefinitionPage);
  SystemTableWriter catalog_writer(pager, version, allocator, catalog, text);
  catalog_writer.Insert(CatalogRowValues(catalog, row, CurrentDateTime()));
  if (aces_page != 0) {
    TableDefinition aces = TableDefinition::Read(
        pager, version, code_page, static_cast<uint32_t>(aces_page));
    SystemTableWriter aces_writer(pager, version, allocator, aces, text);
    for (const AccessControlEntry& e : NewTableAccessControlEntries(row.id)) {
      aces_writer.Insert(AccessControlValues(aces, e));
    }
  }
}

}  // namespace

void AddTableToCatalog(Database& db, const std::string& name,
                       uint32_t definition_page, uint32_t flags) {
  RequireNewTableName(db, name);
  WriteGroup group(db.pager());
  PageAllocator allocator(db.pager(), db.version());
  AddCatalogRow(db, allocator, name, definition_page, Binary(), flags);
  group.Commit();
}

std::unique_ptr<Table> CreateTable(Database& db,
                                   const TableDescription& description) {
  RequireNewTableName(db, description.name);
  const DatabaseHeader& header = db.header();
  const JetVersion version = header.version;
  const uint16_t code_page = header.code_page;
  TextSettings text{header.sort_order, header.sort_order_version, code_page};
  TableDefinition def = NewTableDefinition(description, version, text);
  Binary properties = NewTableProperties(description, version, code_page);

  Pager& pager = db.pager();
  WriteGroup group(pager);
  PageAllocator allocator(pager, version);
  TablePlacer placer(pager, version, allocator);
  placer.ReserveDefinitionPages(def, code_page);
  placer.AddUsageMaps(def);
  placer.AddIndexRoots(def);
  placer.WriteDefinition(def, code_page);
  AddCatalogRow(db, allocator, description.name, def.page, properties, 0);
  TableDefinition stored =
      TableDefinition::Read(pager, version, code_page, def.page);
  group.Commit();

  CatalogEntry entry;
  entry.id = static_cast<int32_t>(def.page);
  entry.parent_id = catalog_ids::kTablesContainer;
  entry.name = description.name;
  entry.type = static_cast<uint8_t>(ObjectType::kTable);
  entry.flags = 0;
  return std::make_unique<Table>(db, std::move(entry), std::move(stored));
}

}  // namespace jet
