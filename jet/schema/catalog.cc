#include "jet/schema/catalog.h"

#include <algorithm>

#include "jet/storage/database_header.h"
#include "jet/base/error.h"
#include "jet/rows/long_value.h"
#include "jet/rows/salvage_scan.h"
#include "jet/rows/table_definition.h"
#include "jet/rows/table_scan.h"
#include "jet/base/text_codec.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

std::u16string Folded(const std::string& s) {
  std::u16string u = Utf8ToUtf16(s);
  for (char16_t& c : u) {
    if (c >= u'A' && c <= u'Z') c = c - u'A' + u'a';
    // Latin-1 capitals (except the multiplication sign).
    else if (c >= 0xC0 && c <= 0xDE && c != 0xD7) c = c + 0x20;
  }
  return u;
}

template <typename T>
T ValueOr(const Value& v, T fallback) {
  if (const T* p = std::get_if<T>(&v)) return *p;
  return fallback;
}

}  // namespace

bool NameLess(const std::string& a, const std::string& b) {
  std::u16string fa = Folded(a), fb = Folded(b);
  if (fa != fb) return fa < fb;
  return a < b;
}

bool NamesEqualIgnoringCase(const std::string& a, const std::string& b) {
  return Folded(a) == Folded(b);
}

std::vector<CatalogEntry> ReadCatalog(Pager& pager,
                                      const DatabaseHeader& header,
                                      bool salvage, bool* damaged) {
  if (damaged) *damaged = false;
  TableDefinition def = TableDefinition::Read(
      pager, header.version, header.code_page, kCatalogTableDefinitionPage);
  LongValueReader long_values(pager, header.version);
  ValueContext context{header.version, header.code_page, &long_values};

  auto column_index = [&](const char* name) -> int {
    for (size_t i = 0; i < def.columns.size(); ++i) {
      if (def.columns[i].name == name) return static_cast<int>(i);
    }
    return -1;
  };
  const int id = column_index("Id"), parent = column_index("ParentId"),
            name = column_index("Name"), type = column_index("Type"),
            flags = column_index("Flags"), database = column_index("Database"),
            foreign = column_index("ForeignName"),
            connect = column_index("Connect");
  if (id < 0 || name < 0 || type < 0) {
    ThrowDamaged("시스템 카탈로그(MSysObjects)의 열이 없습니다");
  }

  std::vector<CatalogEntry> entries;
  auto add = [&](const std::vector<FieldBytes>& fields) {
    auto value = [&](int k) -> Value {
      if (k < 0) return Null{};
      return DecodeValue(fields[k], def.columns[k], context);
    };
    CatalogEntry e;
    e.id = ValueOr<int32_t>(value(id), 0);
    e.parent_id = ValueOr<int32_t>(value(parent), 0);
    e.name = ValueOr<std::string>(value(name), "");
    e.type = static_cast<uint16_t>(ValueOr<int16_t>(value(type), 0));
    e.flags = static_cast<uint32_t>(ValueOr<int32_t>(value(flags), 0));
    e.database = ValueOr<std::string>(value(database), "");
    e.foreign_name = ValueOr<std::string>(value(foreign), "");
    e.connect = ValueOr<std::string>(value(connect), "");
    entries.push_back(std::move(e));
  };
  if (!salvage) {
    TableScan scan(pager, header.version, def);
    while (scan.Next()) add(scan.Fields());
    return entries;
  }
  SalvageScan scan(pager, header.version, def);
  bool lost = false;
  while (scan.Next()) {
    try {
      add(scan.fields());
    } catch (const Error&) {
      lost = true;  // a value that does not decode: the row is not trusted
    }
  }
  const SalvageCounts& counts = scan.counts();
  lost |= counts.map_unreadable || counts.damaged_pages != 0 ||
          counts.rows_left_out != 0;
  if (damaged) *damaged = lost;
  return entries;
}

std::vector<CatalogEntry> TablesInNameOrder(
    const std::vector<CatalogEntry>& catalog) {
  std::vector<CatalogEntry> tables;
  for (const CatalogEntry& e : catalog) {
    if (e.is_table()) tables.push_back(e);
  }
  std::stable_sort(tables.begin(), tables.end(),
                   [](const CatalogEntry& a, const CatalogEntry& b) {
                     return NameLess(a.name, b.name);
                   });
  return tables;
}

}  // namespace jet
