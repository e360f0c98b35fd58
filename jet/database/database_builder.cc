#include "jet/database/database_builder.h"

#include <cstdio>
#include <cstring>

#include "jet/storage/data_page_editor.h"
#include "jet/database/database.h"
#include "jet/storage/database_header.h"
#include "jet/storage/database_password.h"
#include "jet/base/error.h"
#include "jet/storage/file.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"
#include "jet/schema/system_tables.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "jet/storage/usage_map.h"
#include "jet/rows/value_conversion.h"

namespace jet {

namespace {

using namespace header_layout;

constexpr uint8_t kMagic[4] = {0x00, 0x01, 0x00, 0x00};
constexpr char kIdentifier[16] = "Standard Jet DB";
constexpr uint32_t kJet3VersionCode = 0;
constexpr uint32_t kJet4VersionCode = 1;
// Six words at the start of the masked region, the same in every file.
constexpr uint32_t kHeaderWords[6] = {256, 257, 2, 3, 4, 5};
constexpr size_t kJet3BuildOffset = 0x56;
constexpr size_t kJet4BuildOffset = 0x6A;
constexpr uint16_t kJet3Build = 3328;
constexpr uint16_t kJet4Build = 9756;
constexpr size_t kJet4TrailerOffset = 0x98;
constexpr uint32_t kJet4TrailerValue = 1620;
constexpr char kJet4VersionText[4] = "4.0";
// The last 512 bytes of the definition page: 256 two-byte entries.
constexpr size_t kEntryTableSize = 512;

// The global usage map's page records 1 where other data pages record
// their table.
constexpr uint32_t kGlobalMapPageOwner = 1;
constexpr size_t kJet3GlobalMapBitmapBytes = 128;
constexpr size_t kJet4GlobalMapBitmapBytes = 64;

constexpr uint32_t kFirstFreePage = 3;  // after the header, map and catalog

void Put16(std::vector<uint8_t>& p, size_t at, uint16_t v) {
  p[at] = static_cast<uint8_t>(v);
  p[at + 1] = static_cast<uint8_t>(v >> 8);
}
void Put32(std::vector<uint8_t>& p, size_t at, uint32_t v) {
  Put16(p, at, static_cast<uint16_t>(v));
  Put16(p, at + 2, static_cast<uint16_t>(v >> 16));
}

std::vector<uint8_t> DefinitionPage(const CreateOptions& options,
                                    uint16_t code_page, DateTime created,
                                    const std::string& path) {
  const bool jet3 = options.version == JetVersion::kJet3;
  std::vector<uint8_t> p(PageSizeOf(options.version), 0);
  std::memcpy(p.data() + kMagicOffset, kMagic, sizeof kMagic);
  std::memcpy(p.data() + kIdentifierOffset, kIdentifier, sizeof kIdentifier);
  Put32(p, kVersionOffset, jet3 ? kJet3VersionCode : kJet4VersionCode);
  for (size_t i = 0; i < 6; ++i)
    Put32(p, kMaskedRegionOffset + 4 * i, kHeaderWords[i]);
  Put16(p, kCodePageOffset, code_page);
  Put32(p, kDatabaseKeyOffset, 0);
  if (jet3) {
    Put16(p, kJet3SortOrderOffset, options.sort_order);
    Put16(p, kJet3BuildOffset, kJet3Build);
  } else {
    Put16(p, kJet4BuildOffset, kJet4Build);
    Put16(p, kJet4SortOrderOffset, options.sort_order);
    p[kJet4SortOrderVersionOffset] = 0;
    uint64_t bits;
    std::memcpy(&bits, &created.days, sizeof bits);
    Put32(p, kJet4CreationDateOffset, static_cast<uint32_t>(bits));
    Put32(p, kJet4CreationDateOffset + 4, static_cast<uint32_t>(bits >> 32));
    Put32(p, kJet4TrailerOffset, kJet4TrailerValue);
    std::memcpy(p.data() + kJet4TrailerOffset + 4, kJet4VersionText,
                sizeof kJet4VersionText);
  }
  for (size_t at = p.size() - kEntryTableSize; at < p.size(); at += 2) {
    p[at] = at == p.size() - kEntryTableSize ? 0x01 : 0x00;
    p[at + 1] = 0x01;
  }
  ToggleHeaderMask(options.version, p);
  // The password region is written masked, also when empty: Jet 4 stores
  // an empty password as the creation-date mask itself.
  StorePassword(p, options.password, path);
  return p;
}

void BuildDatabase(File file, const CreateOptions& options, uint16_t code_page,
                   const std::string& path) {
  const JetVersion version = options.version;
  const uint32_t page_size = PageSizeOf(version);
  const DateTime now = CurrentDateTime();
  file.WriteAt(0, DefinitionPage(options, code_page, now, path));
  file.WriteAt(page_size, GlobalUsageMapPage(version, kFirstFreePage));
  file.WriteAt(2ull * page_size, std::vector<uint8_t>(page_size, 0));

  Pager pager(std::move(file), page_size);
  WriteGroup group(pager);
  PageAllocator allocator(pager, version);
  TablePlacer placer(pager, version, allocator);
  TextSettings text{options.sort_order, 0, code_page};

  std::vector<TableDefinition> defs;
  for (SystemTable t : kSystemTables) {
    defs.push_back(SystemTableDefinition(t, version, text));
  }
  for (size_t i = 0; i < defs.size(); ++i) {
    placer.ReserveDefinitionPages(defs[i], code_page,
                                  i == 0 ? kCatalogTableDefinitionPage : 0);
  }
  for (TableDefinition& def : defs) placer.AddUsageMaps(def);
  for (TableDefinition& def : defs) placer.AddIndexRoots(def);
  for (TableDefinition& def : defs) placer.WriteDefinition(def, code_page);

  std::vector<int32_t> ids;
  for (const TableDefinition& def : defs)
    ids.push_back(static_cast<int32_t>(def.page));
  TableDefinition catalog =
      TableDefinition::Read(pager, version, code_page, defs[0].page);
  SystemTableWriter catalog_writer(pager, version, allocator, catalog, text);
  for (const CatalogRow& row : InitialCatalogRows(ids)) {
    catalog_writer.Insert(CatalogRowValues(catalog, row, now));
  }
  TableDefinition aces =
      TableDefinition::Read(pager, version, code_page, defs[1].page);
  SystemTableWriter aces_writer(pager, version, allocator, aces, text);
  for (const AccessControlEntry& e : InitialAccessControlEntries(ids)) {
    aces_writer.Insert(AccessControlValues(aces, e));
  }
  group.Commit();
  pager.Flush();
}

}  // namespace

std::vector<uint8_t> GlobalUsageMapPage(JetVersion version, uint32_t pages_in_use) {
  std::vector<uint8_t> p(PageSizeOf(version), 0);
  DataPageEditor::Initialize(version, p, kGlobalMapPageOwner);
  DataPageEditor editor(version, p);
  size_t bitmap = version == JetVersion::kJet3 ? kJet3GlobalMapBitmapBytes
                                               : kJet4GlobalMapBitmapBytes;
  std::vector<uint8_t> free_map(usage_map_layout::kInlineBitmapOffset + bitmap,
                                0);
  free_map[0] = usage_map_layout::kInline;
  std::vector<uint8_t> second = free_map;
  for (uint32_t page = pages_in_use; page < bitmap * 8; ++page) {
    free_map[usage_map_layout::kInlineBitmapOffset + page / 8] |=
        static_cast<uint8_t>(1u << (page % 8));
  }
  editor.AddRow(free_map, 0);
  editor.AddRow(second, 0);
  return p;
}

uint16_t DefaultCodePage(uint16_t sort_order) {
  switch (sort_order) {
    case sort_orders::kKorean:
      return 949;
    case sort_orders::kChinese:
      return 936;
    case sort_orders::kJapanese:
      return 932;
    case sort_orders::kTurkish:
      return 1254;
    default:
      return 1252;
  }
}

void CreateDatabase(const std::string& path, const CreateOptions& options) {
  const uint16_t code_page = options.code_page != 0
                                 ? options.code_page
                                 : DefaultCodePage(options.sort_order);
  File file = File::Create(path);
  try {
    BuildDatabase(std::move(file), options, code_page, path);
  } catch (...) {
    std::remove(path.c_str());
    throw;
  }
}

void SetDatabasePassword(const std::string& path,
                         const std::string& old_password,
                         const std::string& new_password) {
  OpenOptions options;
  options.connect = ";pwd=" + old_password;
  options.writable = true;
  std::unique_ptr<Database> db = Database::Open(path, options);
  Pager& pager = db->pager();
  {
    WriteGroup group(pager);
    std::vector<uint8_t> page = pager.CopyForWrite(0);
    StorePassword(page, new_password, path);
    pager.Put(0, std::move(page));
    group.Commit();
  }
  db->Close();
}

size_t InsertRows(Database& db, Table& table,
                  const std::vector<std::vector<Value>>& rows) {
  const auto& columns = table.definition().columns;
  size_t inserted = 0;
  for (const std::vector<Value>& row : rows) {
    if (row.size() != columns.size()) {
      throw Error(kErrItemNotFound, "값의 개수가 열의 개수와 다릅니다.");
    }
    std::vector<Value> converted;
    converted.reserve(row.size());
    for (size_t k = 0; k < row.size(); ++k) {
      converted.push_back(
          ConvertToColumnType(row[k], columns[k], db.version()));
    }
    table.InsertRow(converted);
    ++inserted;
  }
  return inserted;
}

size_t InsertRows(Database& db, const std::string& table,
                  const std::vector<std::vector<Value>>& rows) {
  std::unique_ptr<Table> t = db.OpenTable(table);
  return InsertRows(db, *t, rows);
}

}  // namespace jet
