#include "jet/database/compact.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <future>
#include <memory>
#include <optional>
#include <unordered_map>
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
#include "jet/rows/value_codec.h"

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

  void Run() {
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
    }
    group.Finish();
    target_.Flush();
  }

 private:
  // Every local table's definition, on its new pages, with its maps.
  void PlaceDefinitions() {
    for (const CatalogEntry& e : source_.catalog()) {
      if (!e.is_local_table()) continue;
      TableCopy t;
      t.entry = e;
      t.source = source_.ReadTableDefinition(e);
      tables_.push_back(std::move(t));
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
    TableScan scan(source_.pager(), version_, t.source);
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
    std::vector<FieldBytes> stored;
    while (scan.Next()) {
      scan.Fields(stored);
      for (size_t k = 0; k < columns.size(); ++k) {
        FieldData& f = fields[k];
        f.is_null = stored[k].is_null;
        f.bit = stored[k].bit;
        f.data.clear();
        if (f.is_null) continue;
        ByteView bytes = stored[k].data;
        if (IsLongValueType(columns[k].type)) {
          long_values.Read(bytes, value);
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
          current[k] = stored[k];
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
  void BuildIndex(TableCopy& t, size_t index, CollectedIndexEntries& entries,
                  RollingGroup& group) {
    const RealIndex& real = t.target.real_indexes[index];
    IndexBulkLoad load(target_, version_, allocator_, t.target.page,
                       RowPointer::FromPacked(real.usage_map));
    entries.ForEachSorted(index, [&](ByteView sort_bytes) {
      load.AddSortBytes(sort_bytes);
      group.Tick();
    });
    t.target.real_indexes[index].first_page = load.Finish();
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
  std::unordered_map<int32_t, int32_t> new_ids_;
  std::unordered_map<uint32_t, uint32_t> new_pages_;
};

void WriteCopy(Database& source, File file, const CompactOptions& options) {
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
  Compaction(source, target, options).Run();
}

}  // namespace

void CompactDatabase(const std::string& source, const std::string& destination,
                     const std::string& connect,
                     const CompactOptions& options) {
  OpenOptions open;
  open.connect = connect;
  std::unique_ptr<Database> db = Database::Open(source, open);
  File file = File::Create(destination);
  try {
    WriteCopy(*db, std::move(file), options);
  } catch (...) {
    std::remove(destination.c_str());
    throw;
  }
}

}  // namespace jet
