#include "jet/database/compact.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <set>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

#include "jet/index/collected_index_entries.h"
#include "jet/base/column_type.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/index/entry_run.h"
#include "jet/base/error.h"
#include "jet/storage/file.h"
#include "jet/index/index_bulk_load.h"
#include "jet/index/index_key.h"
#include "jet/index/index_key_worker.h"
#include "jet/index/index_reader.h"
#include "jet/rows/long_value.h"
#include "jet/rows/long_value_writer.h"
#include "jet/schema/object_id_columns.h"
#include "jet/storage/page_allocator.h"
#include "jet/storage/pager.h"
#include "jet/rows/row_appender.h"
#include "jet/rows/row_codec.h"
#include "jet/database/table_builder.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"
#include "jet/rows/salvage_scan.h"
#include "jet/schema/catalog.h"
#include "jet/schema/system_tables.h"

namespace jet {

namespace {

// Changed pages are handed to the pager in groups of about this many new
// ones, so that it writes them out as it goes instead of holding the whole
// copy.
constexpr size_t kPagesPerGroup = 1024;
// Index entry runs at least this long are sorted on a thread of their own.
constexpr size_t kEntriesSortedApart = 10000;

// The write group the copy is written in, renewed as pages pile up. The
// copy is a new file removed on any error, so groups only bound memory.
class RollingGroup {
 public:
  explicit RollingGroup(Pager& pager) : pager_(pager) { pager_.BeginGroup(); }
  ~RollingGroup() {
    if (pager_.in_group()) pager_.RollbackGroup();
  }
  void Tick() {
    const size_t pinned = pager_.pinned_pages();
    if (pinned >= pinned_at_start_ &&
        pinned < pinned_at_start_ + kPagesPerGroup) {
      return;
    }
    pager_.CommitGroup();
    pager_.BeginGroup();
    pinned_at_start_ = pager_.pinned_pages();
  }
  void Finish() { pager_.CommitGroup(); }

 private:
  Pager& pager_;
  size_t pinned_at_start_ = 0;  // changed pages when the group began
};

struct TableCopy {
  CatalogEntry entry;
  TableDefinition source;
  TableDefinition target;
  size_t report = 0;  // its place in CompactReport::tables
};

// Prefix of the names under which user tables the catalog lost are
// copied, and the one for databases whose sort order has no Hangul.
constexpr char kRecoveredTableName[] = "복구된테이블_";
constexpr char kRecoveredTableNameLatin[] = "Recovered_";

// A table copied without its catalog row, which gets one afterwards.
struct RecoveredTable {
  size_t report = 0;  // its place in CompactReport::tables
  uint32_t page = 0;  // its definition's page in the copy
  uint32_t flags = 0;
};

class Compaction {
 public:
  Compaction(Database& source, Pager& target, const CompactOptions& options)
      : max_entry_bytes_(options.max_index_entry_bytes),
        source_(source),
        target_(target),
        version_(source.version()),
        code_page_(source.header().code_page),
        allocator_(target, version_),
        placer_(target, version_, allocator_),
        key_options_(KeyOptionsFor(source.header().sort_order,
                                   source.header().sort_order_version,
                                   source.header().code_page)) {}

  // Writes the copy; returns what it copied and left out, and the tables
  // copied without a catalog row (their names and new definition pages).
  CompactReport Run(std::vector<RecoveredTable>& recovered) {
    RollingGroup group(target_);
    PlaceDefinitions();
    for (TableCopy& t : tables_) {
      const size_t index_count = t.target.real_indexes.size();
      CollectedIndexEntries entries(index_count, max_entry_bytes_);
      CopyRows(t, entries, group);
      // Large runs are sorted on threads of their own while the indexes
      // before them are written.
      std::vector<std::future<void>> sorted(index_count);
      for (size_t i = 1; i < index_count; ++i) {
        EntryRun& run = entries.in_memory(i);
        if (run.size() < kEntriesSortedApart) continue;
        sorted[i] = std::async(std::launch::async, [&run] { run.Sort(); });
      }
      for (size_t i = 0; i < index_count; ++i) {
        if (sorted[i].valid()) {
          sorted[i].get();
        } else {
          entries.in_memory(i).Sort();
        }
        BuildIndex(t, i, entries, group);
      }
    }
    for (const TableCopy& t : tables_) {
      placer_.WriteDefinition(t.target, code_page_);
      if (report_.tables[t.report].recovered) {
        recovered.push_back(RecoveredTable{t.report, t.target.page,
                                           t.entry.flags});
      }
    }
    group.Finish();
    target_.Flush();
    return std::move(report_);
  }

 private:
  // Every local table's definition, on its new pages, with its maps.
  void PlaceDefinitions() {
    report_.catalog_damaged = source_.catalog_damaged();
    for (const CatalogEntry& e : source_.catalog()) {
      if (!e.is_local_table()) continue;
      CompactReport::Table table;
      table.name = e.name;
      TableCopy t;
      t.entry = e;
      try {
        t.source = source_.ReadTableDefinition(e);
      } catch (const Error&) {
        // Without the catalog's own definition nothing can be placed.
        if (e.definition_page() == kCatalogTableDefinitionPage) throw;
        table.lost = true;
        report_.tables.push_back(std::move(table));
        continue;
      }
      t.report = report_.tables.size();
      report_.tables.push_back(std::move(table));
      tables_.push_back(std::move(t));
    }
    if (report_.catalog_damaged) {
      AddCatalogTableIfLost();
      AddTablesTheCatalogLost();
    }
    std::stable_sort(tables_.begin(), tables_.end(),
                     [](const TableCopy& a, const TableCopy& b) {
                       return a.source.page < b.source.page;
                     });
    if (tables_.empty() ||
        tables_.front().source.page != kCatalogTableDefinitionPage) {
      ThrowDamaged("시스템 개체 테이블을 찾을 수 없습니다");
    }
    for (TableCopy& t : tables_) {
      t.target = EmptiedCopy(t.source);
      placer_.ReserveDefinitionPages(
          t.target, code_page_,
          &t == &tables_.front() ? kCatalogTableDefinitionPage : 0);
      const int32_t old_id = t.entry.id;
      const int32_t new_id = static_cast<int32_t>(
          (static_cast<uint32_t>(old_id) & 0xFF000000u) | t.target.page);
      if (!new_ids_.emplace(old_id, new_id).second) {
        ThrowDamaged("두 테이블의 개체 번호가 같습니다");
      }
      new_pages_[t.source.page] = t.target.page;
    }
    for (TableCopy& t : tables_) {
      for (LogicalIndex& index : t.target.logical_indexes) {
        auto it = new_pages_.find(index.related_table_page);
        if (index.related_table_page != 0 && it != new_pages_.end()) {
          index.related_table_page = it->second;
        }
      }
      placer_.AddUsageMaps(t.target);
    }
  }

  // The catalog's own table, whose definition is always at page 2, when
  // the catalog lost its row: copied under its name and given the row
  // again afterwards.
  void AddCatalogTableIfLost() {
    for (const TableCopy& t : tables_) {
      if (t.source.page == kCatalogTableDefinitionPage) return;
    }
    TableCopy t;
    t.source = TableDefinition::Read(source_.pager(), version_, code_page_,
                                     kCatalogTableDefinitionPage);
    t.entry.id = static_cast<int32_t>(kCatalogTableDefinitionPage);
    t.entry.parent_id = catalog_ids::kTablesContainer;
    t.entry.type = static_cast<uint16_t>(catalog_types::kTable);
    t.entry.flags = catalog_flags::kSystem;
    t.entry.name = SystemTableName(SystemTable::kObjects);
    CompactReport::Table table;
    table.name = t.entry.name;
    table.recovered = true;
    t.report = report_.tables.size();
    report_.tables.push_back(std::move(table));
    tables_.push_back(std::move(t));
  }

  // When the catalog lost rows: the definitions that no catalog row names
  // any more (first pages of definition chains), copied: a system table of
  // Jet or Access under its own name (known by its columns), a user table
  // under a new one. Definitions of tables Access deleted are retired to
  // another page type, so they do not come back.
  void AddTablesTheCatalogLost() {
    std::set<uint32_t> named, continued;
    std::vector<std::string> names;
    for (const CatalogEntry& e : source_.catalog()) {
      names.push_back(e.name);
      if (e.is_local_table()) named.insert(e.definition_page());
    }
    Pager& pager = source_.pager();
    std::vector<uint32_t> first_pages;
    for (uint32_t p = 1; p < pager.page_count(); ++p) {
      try {
        PageRef page = pager.Get(p);
        if (page->type() != kPageTableDefinition) continue;
        first_pages.push_back(p);
        continued.insert(page->view().U32(0x04));
      } catch (const Error&) {
      }
    }
    int number = 0;
    for (uint32_t p : first_pages) {
      if (named.count(p) || continued.count(p)) continue;
      TableCopy t;
      try {
        t.source = TableDefinition::Read(pager, version_, code_page_, p);
      } catch (const Error&) {
        continue;
      }
      auto taken = [&](const std::string& name) {
        return std::any_of(names.begin(), names.end(), [&](const auto& n) {
          return NamesEqualIgnoringCase(n, name);
        });
      };
      std::string name = SystemTableNameByColumns(t.source);
      if (!name.empty() && !taken(name)) {
        t.entry.flags = catalog_flags::kSystem;
      } else if (t.source.table_type == kUserTableType) {
        do {
          name = kRecoveredTableName + std::to_string(++number);
        } while (taken(name));
      } else {
        continue;  // a system table of no known name
      }
      names.push_back(name);
      t.entry.id = static_cast<int32_t>(p);
      t.entry.parent_id = catalog_ids::kTablesContainer;
      t.entry.type = static_cast<uint16_t>(catalog_types::kTable);
      t.entry.name = name;
      recovered_ids_.insert(t.entry.id);
      CompactReport::Table table;
      table.name = name;
      table.recovered = true;
      t.report = report_.tables.size();
      report_.tables.push_back(std::move(table));
      tables_.push_back(std::move(t));
    }
  }

  // The definition with its page references cleared, to be given new ones.
  static TableDefinition EmptiedCopy(const TableDefinition& source) {
    TableDefinition def = source;
    def.page = 0;
    def.pages.clear();
    def.stored_row_count = 0;
    def.usage_map = RowPointer{};
    def.free_space_map = RowPointer{};
    for (RealIndex& index : def.real_indexes) {
      index.usage_map = 0;
      index.first_page = 0;
      index.first_page_offset = 0;
    }
    for (LongValueColumnMaps& m : def.long_value_maps) {
      m.usage_map = RowPointer{};
      m.free_space_map = RowPointer{};
    }
    return def;
  }

  // Copies the rows of `t` and collects each index's entries in `entries`.
  void CopyRows(TableCopy& t, CollectedIndexEntries& entries,
                RollingGroup& group) {
    const std::vector<ColumnDefinition>& columns = t.target.columns;
    std::vector<bool> id_column(columns.size(), false);
    std::vector<bool> fixed_text(columns.size(), false);
    for (size_t k = 0; k < columns.size(); ++k) {
      id_column[k] = columns[k].column_type() == ColumnType::kLong &&
                     IsObjectIdColumn(t.entry.name, columns[k].name);
      fixed_text[k] = IsFixedLengthText(columns[k]);
    }
    const ValueContext context = source_.value_context();
    const LongValueReader& long_values = *context.long_values;
    LongValueWriter long_value_writer(target_, version_, allocator_, t.target);
    RowAppender rows(target_, version_, allocator_, t.target);
    SalvageScan scan(source_.pager(), version_, t.source);
    CompactReport::Table& report = report_.tables[t.report];
    // The catalog's rows of local tables that are not copied (lost, or
    // named by a row the catalog read could not trust) are left out with
    // them: the copy must not name a definition it does not have. So are
    // the untrusted rows of a table recovered from its definition: it gets
    // a catalog row of its own, and two would name one definition.
    int catalog_id = -1, catalog_type = -1;
    if (t.source.page == kCatalogTableDefinitionPage) {
      for (size_t k = 0; k < columns.size(); ++k) {
        if (columns[k].name == "Id" && columns[k].length == 4) {
          catalog_id = static_cast<int>(k);
        } else if (columns[k].name == "Type" && columns[k].length == 2) {
          catalog_type = static_cast<int>(k);
        }
      }
    }
    auto table_not_copied = [&](const std::vector<FieldBytes>& row) {
      if (catalog_id < 0 || catalog_type < 0 || row[catalog_id].is_null ||
          row[catalog_type].is_null ||
          row[catalog_type].data.U16(0) !=
              static_cast<uint16_t>(catalog_types::kTable)) {
        return false;
      }
      const auto id = static_cast<int32_t>(row[catalog_id].data.U32(0));
      return !new_ids_.count(id) || recovered_ids_.count(id);
    };
    std::vector<FieldData> fields(columns.size());
    std::vector<IndexKeys> keys(t.target.real_indexes.size());
    std::optional<IndexKeyWorker> worker;
    if (!keys.empty() && IndexKeyWorker::Suits(t.target)) {
      worker.emplace(t.target, version_, code_page_, key_options_, entries);
    }
    // The copied row's fields as keys are made from them: the copy's
    // bytes (object ids renumbered; MSysObjects indexes its Id), and for
    // memo and OLE columns the source's reference.
    std::vector<FieldBytes> current(columns.size());
    std::vector<uint8_t> row;    // the copied row's bytes, buffer reused
    std::vector<uint8_t> value;  // a long value's bytes, buffer reused
    uint32_t count = 0;
    while (scan.Next()) {
      const std::vector<FieldBytes>& stored = scan.fields();
      if (table_not_copied(stored)) continue;
      for (size_t k = 0; k < columns.size(); ++k) {
        FieldData& f = fields[k];
        f.is_null = stored[k].is_null;
        f.bit = stored[k].bit;
        f.data.clear();
        if (f.is_null) continue;
        ByteView bytes = stored[k].data;
        if (IsLongValueType(columns[k].type)) {
          try {
            long_values.Read(bytes, value);
          } catch (const Error&) {
            // Not readable whole: Null, and the row is kept.
            f.is_null = true;
            ++report.values_made_null;
            continue;
          }
          long_value_writer.Write(value, columns[k], f.data);
          continue;
        }
        f.data.assign(bytes.data(), bytes.data() + bytes.size());
        if (id_column[k] && f.data.size() == 4) RenumberObjectId(f.data);
        // Fixed-length text padded with U+0000 by earlier versions of this
        // program gets Access's padding of spaces back.
        if (fixed_text[k]) RepadFixedLengthText(f.data, columns[k], context);
      }
      EncodeRow(version_, t.target, fields, 0, row);
      const RowPointer id = rows.Append(row);
      ++count;
      group.Tick();
      if (worker) {
        worker->Add(row, scan.row_id(), id);
        continue;
      }
      for (size_t k = 0; k < columns.size(); ++k) {
        if (IsLongValueType(columns[k].type)) {
          current[k] = fields[k].is_null ? FieldBytes{} : stored[k];
        } else {
          current[k] = FieldBytes{
              fields[k].is_null, fields[k].bit,
              ByteView(fields[k].data.data(), fields[k].data.size())};
        }
      }
      for (size_t i = 0; i < keys.size(); ++i) {
        AddEntry(t, i, keys[i], current, scan.row_id(), id, entries);
      }
    }
    rows.Finish();
    if (worker) {
      for (const IndexKeyWorker::Unmade& u : worker->Finish()) {
        AddSourceKey(t, u.index, keys[u.index], u.original, u.copy, u.reason,
                     entries);
      }
    }
    t.target.stored_row_count = count;
    report.rows_copied = count;
    const SalvageCounts& counts = scan.counts();
    report.rows_left_out = counts.rows_left_out;
    report.rows_listed = counts.left_out;
    report.damaged_pages = counts.damaged_pages;
    report.map_unreadable = counts.map_unreadable;
  }

  void RenumberObjectId(std::vector<uint8_t>& bytes) const {
    uint32_t raw = 0;
    for (int i = 3; i >= 0; --i) raw = (raw << 8) | bytes[i];
    auto it = new_ids_.find(static_cast<int32_t>(raw));
    if (it == new_ids_.end()) return;
    const uint32_t id = static_cast<uint32_t>(it->second);
    for (int i = 0; i < 4; ++i) bytes[i] = static_cast<uint8_t>(id >> (8 * i));
  }

  // Per index: (read when first needed) the keys the source's index
  // holds, for rows whose key cannot be made.
  struct IndexKeys {
    std::optional<std::unordered_map<uint32_t, std::vector<uint8_t>>> source;
  };

  // The entry of the copied row `copy` (met at `original` in the source)
  // in index `index`, its key made from the row's `fields`.
  void AddEntry(const TableCopy& t, size_t index, IndexKeys& keys,
                const std::vector<FieldBytes>& fields, RowPointer original,
                RowPointer copy, CollectedIndexEntries& entries) {
    const TableDefinition& def = t.target;
    const RealIndex& real = def.real_indexes[index];
    if (!RowHasIndexEntry(real, def, fields)) return;
    IndexKeyResult key = EncodeIndexKey(real, def, fields,
                                        source_.value_context(), key_options_);
    if (key) {
      entries.Add(index, key.key, copy);
      return;
    }
    AddSourceKey(t, index, keys, original, copy, key.reason, entries);
  }

  // The entry of a row whose key cannot be made (`reason` says why): its
  // key as the source's index holds it.
  void AddSourceKey(const TableCopy& t, size_t index, IndexKeys& keys,
                    RowPointer original, RowPointer copy,
                    const std::string& reason, CollectedIndexEntries& entries) {
    if (!keys.source) keys.source = SourceKeys(t, index);
    auto it = keys.source->find(original.Packed());
    if (it == keys.source->end()) {
      throw Error(kErrIndexKeyUnavailable,
                  "'" + t.entry.name +
                      "' 테이블의 색인 키를 만들 수 없고 원본 색인에도 없어 "
                      "압축할 수 없습니다 (" +
                      reason + ").");
    }
    entries.Add(index, it->second, copy);
  }

  // Writes index `index` of `t` from its collected entries, sorted.
  // A unique index that salvaged rows break (two entries of one key) is
  // built as one that is not unique, its logical indexes no primary key.
  void BuildIndex(TableCopy& t, size_t index, CollectedIndexEntries& entries,
                  RollingGroup& group) {
    RealIndex& real = t.target.real_indexes[index];
    IndexBulkLoad load(target_, version_, allocator_, t.target.page,
                       RowPointer::FromPacked(real.usage_map));
    const bool unique = real.flags & index_flags::kUnique;
    bool duplicate = false;
    std::vector<uint8_t> last_key;
    entries.ForEachSorted(index, [&](ByteView sort_bytes) {
      if (unique && !duplicate) {
        const ByteView key = sort_bytes.Sub(0, sort_bytes.size() - 4);
        duplicate = !last_key.empty() && last_key.size() == key.size() &&
                    std::equal(last_key.begin(), last_key.end(), key.data()) &&
                    !KeyIsAllNull(real, key);
        last_key.assign(key.data(), key.data() + key.size());
      }
      load.AddSortBytes(sort_bytes);
      group.Tick();
    });
    real.first_page = load.Finish();
    if (!duplicate) return;
    real.flags &= static_cast<uint8_t>(~index_flags::kUnique);
    CompactReport::Table& report = report_.tables[t.report];
    for (LogicalIndex& logical : t.target.logical_indexes) {
      if (logical.real_index != index) continue;
      if (logical.is_primary_key()) logical.index_type = 0;
      report.made_not_unique.push_back(logical.name);
    }
  }

  // The keys the source's index holds, by source row id.
  std::unordered_map<uint32_t, std::vector<uint8_t>> SourceKeys(
      const TableCopy& t, size_t index) {
    std::unordered_map<uint32_t, std::vector<uint8_t>> keys;
    const uint32_t root = t.source.real_indexes[index].first_page;
    for (IndexEntry& e : ReadIndexEntries(source_.pager(), version_, root)) {
      keys.emplace(e.row.Packed(), std::move(e.key));
    }
    return keys;
  }

  size_t max_entry_bytes_;
  Database& source_;
  Pager& target_;
  JetVersion version_;
  uint16_t code_page_;
  PageAllocator allocator_;
  TablePlacer placer_;
  IndexKeyOptions key_options_;
  std::vector<TableCopy> tables_;
  CompactReport report_;
  std::unordered_map<int32_t, int32_t> new_ids_;
  // Source ids of the tables recovered from definitions no row names.
  std::unordered_set<int32_t> recovered_ids_;
  std::unordered_map<uint32_t, uint32_t> new_pages_;
};

CompactReport WriteCopy(Database& source, File file,
                        const CompactOptions& options,
                        std::vector<RecoveredTable>& recovered) {
  const uint32_t page_size = source.pager().page_size();
  std::vector<uint8_t> header(page_size);
  source.pager().file().ReadAt(0, header);
  file.WriteAt(0, header);

  Pager target(std::move(file), page_size);
  target.set_cipher(source.pager().cipher());
  {
    WriteGroup group(target);
    const uint32_t map_page = target.Append();
    target.Put(map_page, GlobalUsageMapPage(source.version(), 3));
    target.Append();  // page 2: MSysObjects' definition
    group.Commit();
  }
  return Compaction(source, target, options).Run(recovered);
}

// Rows of MSysCompactError: what a salvage left out, one row for each
// table that lost anything (its rows' count and, for the first of them,
// their ids) and one for each row left out.
constexpr char kCompactErrorTable[] = "MSysCompactError";
constexpr int32_t kErrRowLeftOut = 3049;

std::vector<std::vector<Value>> CompactErrorRows(const CompactReport& report) {
  std::vector<std::vector<Value>> rows;
  auto add = [&](int32_t code, const std::string& text, const Value& recid,
                 const std::string& table) {
    rows.push_back({code, text, recid, table});
  };
  for (const CompactReport::Table& t : report.tables) {
    if (t.lost) {
      add(kErrDamagedFile, "테이블 정의가 손상되어 테이블을 살리지 못했습니다.",
          Null{}, t.name);
    }
    if (t.recovered) {
      add(kErrDamagedFile,
          "시스템 카탈로그에서 이름이 지워진 테이블을 이 이름으로 "
          "살렸습니다.",
          Null{}, t.name);
    }
    if (t.map_unreadable) {
      add(kErrDamagedFile,
          "테이블의 페이지 목록(사용 맵)이 손상되어 행을 찾지 못했습니다.",
          Null{}, t.name);
    }
    if (t.damaged_pages) {
      add(kErrDamagedFile,
          "손상된 페이지 " + std::to_string(t.damaged_pages) +
              "개의 행을 살리지 못했습니다.",
          Null{}, t.name);
    }
    if (t.rows_left_out) {
      add(kErrRowLeftOut,
          "온전하지 않은 행 " + std::to_string(t.rows_left_out) +
              "개를 살리지 못했습니다.",
          Null{}, t.name);
    }
    // Each row left out, its id in the source as ErrorRecid: the slot,
    // then the page in 3 bytes (RowPointer::Packed, little-endian).
    for (RowPointer row : t.rows_listed) {
      const uint32_t packed = row.Packed();
      add(kErrRowLeftOut,
          "온전하지 않아 살리지 못한 행입니다 (원본 페이지 " +
              std::to_string(row.page) + ", 행 " + std::to_string(row.row) +
              ").",
          Binary{static_cast<uint8_t>(packed), static_cast<uint8_t>(packed >> 8),
                 static_cast<uint8_t>(packed >> 16),
                 static_cast<uint8_t>(packed >> 24)},
          t.name);
    }
    if (t.values_made_null) {
      add(kErrDamagedFile,
          "읽을 수 없는 메모/OLE 값 " + std::to_string(t.values_made_null) +
              "개를 Null로 바꾸었습니다.",
          Null{}, t.name);
    }
    for (const std::string& index : t.made_not_unique) {
      add(kErrDuplicateKey,
          "'" + index +
              "' 색인에 같은 값이 있어 고유하지 않은 색인으로 만들었습니다.",
          Null{}, t.name);
    }
  }
  return rows;
}

// Writes what the salvage did into the copy at `path`: catalog rows for
// the tables copied without theirs, and the table MSysCompactError.
void RecordSalvage(const std::string& path, const std::string& connect,
                   CompactReport& report,
                   const std::vector<RecoveredTable>& recovered) {
  OpenOptions open;
  open.connect = connect;
  open.writable = true;
  std::unique_ptr<Database> db = Database::Open(path, open);
  int latin = 0;
  for (const RecoveredTable& r : recovered) {
    std::string& name = report.tables[r.report].name;
    try {
      AddTableToCatalog(*db, name, r.page, r.flags);
    } catch (const Error& e) {
      // A sort order without Hangul cannot index the Korean name.
      if (e.number() != kErrUnsupportedFeature ||
          name.rfind(kRecoveredTableName, 0) != 0) {
        throw;
      }
      do {
        name = kRecoveredTableNameLatin + std::to_string(++latin);
      } while (std::any_of(report.tables.begin(), report.tables.end(),
                           [&](const CompactReport::Table& t) {
                             return &t != &report.tables[r.report] &&
                                    NamesEqualIgnoringCase(t.name, name);
                           }));
      AddTableToCatalog(*db, name, r.page, r.flags);
    }
  }
  TableDescription errors;
  errors.name = kCompactErrorTable;
  errors.columns = {{.name = "ErrorCode", .type = ColumnType::kLong},
                    {.name = "ErrorDescription", .type = ColumnType::kMemo},
                    {.name = "ErrorRecid", .type = ColumnType::kOle},
                    {.name = "ErrorTable", .type = ColumnType::kText,
                     .length = 255}};
  std::unique_ptr<Table> table = CreateTable(*db, errors);
  InsertRows(*db, *table, CompactErrorRows(report));
  table.reset();
  db->Close();
}

}  // namespace

bool CompactReport::salvaged() const {
  if (catalog_damaged) return true;
  for (const Table& t : tables) {
    if (t.lost || t.recovered || t.map_unreadable || t.damaged_pages ||
        t.rows_left_out || t.values_made_null || !t.made_not_unique.empty()) {
      return true;
    }
  }
  return false;
}

CompactReport CompactDatabase(const std::string& source,
                              const std::string& destination,
                              const std::string& connect,
                              const CompactOptions& options) {
  OpenOptions open;
  open.connect = connect;
  open.salvage = true;
  std::unique_ptr<Database> db = Database::Open(source, open);
  File file = File::Create(destination);
  try {
    std::vector<RecoveredTable> recovered;
    CompactReport report = WriteCopy(*db, std::move(file), options, recovered);
    db.reset();
    if (report.salvaged()) RecordSalvage(destination, connect, report, recovered);
    return report;
  } catch (...) {
    std::remove(destination.c_str());
    throw;
  }
}

}  // namespace jet
