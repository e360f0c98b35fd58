#include "jet/table.h"

#include <algorithm>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_key.h"
#include "jet/index_reader.h"
#include "jet/index_writer.h"
#include "jet/long_value.h"
#include "jet/long_value_writer.h"
#include "jet/page_allocator.h"
#include "jet/pending_index_changes.h"
#include "jet/row_store.h"
#include "jet/table_properties.h"
#include "jet/text_key_segment.h"
#include "jet/value_codec.h"

namespace jet {

namespace {

// Memory the gathered index changes may take before they are written.
constexpr size_t kMaxPendingIndexBytes = size_t{16} << 20;

FieldData CopyField(const FieldBytes& f) {
  FieldData d;
  d.is_null = f.is_null;
  d.bit = f.bit;
  d.data.assign(f.data.data(), f.data.data() + f.data.size());
  return d;
}

// Whether new bytes `a` equal the stored `b`.
bool SameField(const FieldData& a, const FieldBytes& b, bool is_bool) {
  if (is_bool) return a.bit == b.bit;
  return a.is_null == b.is_null &&
         (a.is_null || std::equal(a.data.begin(), a.data.end(), b.data.data(),
                                  b.data.data() + b.data.size()));
}

// Whether every column of the index is Null in `row`: a unique index
// allows such a row more than once.
bool AllIndexColumnsNull(const TableDefinition& def, const RealIndex& index,
                         const std::vector<Value>& row) {
  for (const IndexColumn& c : index.columns) {
    int k = ColumnPosition(def, c.column_number);
    if (k < 0) continue;
    if (def.columns[k].type == static_cast<uint8_t>(ColumnType::kBoolean))
      return false;
    if (!IsNull(row[k])) return false;
  }
  return true;
}

bool IndexUses(const RealIndex& index, uint16_t column_number) {
  for (const IndexColumn& c : index.columns) {
    if (c.column_number == column_number) return true;
  }
  return false;
}

[[noreturn]] void ThrowUnencodable(const std::string& table) {
  throw Error(kErrIndexKeyUnavailable,
              "'" + table +
                  "' 테이블 색인의 정렬 순서로는 이 값의 색인 키를 만들 수 "
                  "없어 값을 바꾸지 않았습니다.");
}

[[noreturn]] void ThrowDuplicate(const std::string& table) {
  throw Error(kErrDuplicateKey,
              "'" + table +
                  "' 테이블의 고유 색인에 같은 값이 있어 값을 바꿀 수 "
                  "없습니다.");
}

// The number of spaces `before` loses at its start when it becomes
// `after` by trimming, or -1 when `after` is not such a trim.
int LeadingSpacesTrimmed(const Value& before, const Value& after) {
  const auto* b = std::get_if<std::string>(&before);
  const auto* a = std::get_if<std::string>(&after);
  if (!b || !a || a->empty()) return -1;
  size_t lead = b->find_first_not_of(' ');
  if (lead == std::string::npos) return -1;
  size_t end = b->find_last_not_of(' ');
  if (b->substr(lead, end - lead + 1) != *a) return -1;
  return static_cast<int>(lead);
}

}  // namespace

// One index's part of a row change, worked out before anything is written.
struct Table::IndexChange {
  size_t index = 0;
  bool had_entry = false;
  bool has_entry = false;
  IndexEntry old_entry;
  IndexEntry new_entry;
};

std::vector<Table::IndexChange> Table::PlanIndexChanges(
    RowPointer row_id, const std::vector<Value>& old_values,
    const std::vector<Value>& new_values, const std::vector<bool>* changed,
    bool inserting, bool deleting) {
  const JetVersion version = db_.version();
  const IndexKeyOptions options =
      KeyOptionsFor(db_.header().sort_order, db_.header().sort_order_version,
                    db_.header().code_page);
  std::vector<IndexChange> plan;
  for (size_t i = 0; i < definition_.real_indexes.size(); ++i) {
    const RealIndex& index = definition_.real_indexes[i];
    bool touched = inserting || deleting || !changed;
    for (size_t k = 0; !touched && k < definition_.columns.size(); ++k) {
      if ((*changed)[k] && IndexUses(index, definition_.columns[k].number)) {
        touched = true;
      }
    }
    if (!touched) continue;
    IndexChange change;
    change.index = i;
    if (!inserting) {
      change.had_entry = RowHasIndexEntry(index, definition_, old_values);
      if (change.had_entry) {
        IndexKeyResult old_key =
            EncodeIndexKey(index, definition_, old_values, version, options);
        // An entry whose key cannot be made is found by its row instead.
        std::optional<std::vector<uint8_t>> key =
            old_key ? std::optional(std::move(old_key.key))
                    : StoredKeyOf(i, row_id);
        if (!key) ThrowDamaged("행의 색인 항목이 없습니다");
        change.old_entry = IndexEntry{std::move(*key), row_id, 0};
      }
    }
    if (deleting) {
      if (change.had_entry) plan.push_back(std::move(change));
      continue;
    }
    change.has_entry = RowHasIndexEntry(index, definition_, new_values);
    if (change.has_entry) {
      IndexKeyResult new_key =
          EncodeIndexKey(index, definition_, new_values, version, options);
      std::optional<std::vector<uint8_t>> key;
      if (new_key) key = std::move(new_key.key);
      if (!key && change.had_entry && index.columns.size() == 1) {
        // A trimmed text whose characters this engine cannot encode takes
        // its key from the old one.
        int k = ColumnPosition(definition_, index.columns[0].column_number);
        if (k >= 0) {
          int lead = LeadingSpacesTrimmed(old_values[k], new_values[k]);
          auto order =
              ColumnSortOrder(definition_.columns[k], version, options);
          if (lead == 0) key = change.old_entry.key;
          if (lead > 0 && order) {
            key = SegmentWithoutLeadingSpaces(
                change.old_entry.key, static_cast<size_t>(lead), *order);
          }
        }
      }
      if (!key) ThrowUnencodable(entry_.name);
      change.new_entry = IndexEntry{*key, row_id, 0};
      if (index.unique() &&
          !AllIndexColumnsNull(definition_, index, new_values) &&
          KeyTaken(i, *key, row_id)) {
        ThrowDuplicate(entry_.name);
      }
    }
    if (change.had_entry && change.has_entry &&
        change.old_entry.key == change.new_entry.key) {
      continue;
    }
    plan.push_back(std::move(change));
  }
  return plan;
}

bool Table::KeyTaken(size_t index, const std::vector<uint8_t>& key,
                     RowPointer row_id) {
  if (pending_->AddedWithKey(index, key, row_id)) return true;
  IndexWriter reader(db_.pager(), db_.version(), *allocator_, definition_,
                     index);
  return reader.ContainsKey(key, row_id, [&](RowPointer row) {
    return pending_->Removed(index, key, row);
  });
}

std::optional<std::vector<uint8_t>> Table::StoredKeyOf(size_t index,
                                                       RowPointer row_id) {
  FlushIndexChanges();
  for (IndexEntry& e :
       ReadIndexEntries(db_.pager(), db_.version(),
                        definition_.real_indexes[index].first_page)) {
    if (e.row == row_id) return std::move(e.key);
  }
  return std::nullopt;
}

void Table::RecordIndexChanges(std::vector<IndexChange>& plan,
                               RowPointer row_id) {
  for (IndexChange& change : plan) {
    if (change.had_entry) pending_->Remove(change.index, change.old_entry);
    if (change.has_entry) {
      change.new_entry.row = row_id;
      pending_->Add(change.index, change.new_entry);
    }
  }
}

void Table::FlushIndexChangesWhenLarge() {
  if (pending_->bytes() > kMaxPendingIndexBytes) FlushIndexChanges();
}

void Table::FlushIndexChanges() {
  if (!pending_ || pending_->empty()) return;
  WriteGroup group(db_.pager());
  std::vector<IndexEntry> removals, insertions;
  for (size_t i = 0; i < definition_.real_indexes.size(); ++i) {
    if (pending_->empty(i)) continue;
    pending_->Take(i, removals, insertions);
    IndexWriter(db_.pager(), db_.version(), *allocator_, definition_, i)
        .Apply(removals, insertions);
  }
  group.Commit();
}

Table::Table(Database& db, CatalogEntry entry, TableDefinition definition)
    : db_(db), entry_(std::move(entry)), definition_(std::move(definition)) {}

Table::~Table() {
  if (!rows_) return;
  try {
    FlushIndexChanges();
  } catch (const Error& e) {
    db_.KeepDeferredError(e);
  }
  db_.DetachWriter(this);
}

TableScan Table::Scan() {
  return TableScan(db_.pager(), db_.version(), definition_);
}

TableScan Table::ScanAt(RowPointer row_id, const char* what) {
  TableScan scan(db_.pager(), db_.version(), definition_);
  if (!scan.SeekTo(row_id)) {
    ThrowDamaged(std::string(what) + std::to_string(row_id.page) + ":" +
                 std::to_string(row_id.row) + " 이(가) 없습니다");
  }
  return scan;
}

std::vector<Value> Table::ValuesOf(const std::vector<FieldBytes>& fields) {
  const ValueContext context = db_.value_context();
  std::vector<Value> values;
  values.reserve(fields.size());
  for (size_t k = 0; k < fields.size(); ++k) {
    values.push_back(DecodeValue(fields[k], definition_.columns[k], context));
  }
  return values;
}

std::vector<Value> Table::ReadRow(RowPointer row_id) {
  return ValuesOf(ScanAt(row_id, "행 ").Fields());
}

void Table::RequireWritable() const {
  if (!db_.writable()) {
    throw Error(kErrReadOnly,
                "데이터베이스가 읽기 전용으로 열려 있어 바꿀 수 없습니다.");
  }
}

void Table::PrepareWriters() {
  if (rows_) return;
  allocator_ = std::make_unique<PageAllocator>(db_.pager(), db_.version());
  rows_ = std::make_unique<RowStore>(db_.pager(), db_.version(), *allocator_,
                                     definition_);
  long_values_ = std::make_unique<LongValueWriter>(db_.pager(), db_.version(),
                                                   *allocator_, definition_);
  std::vector<bool> unique;
  for (const RealIndex& index : definition_.real_indexes) {
    unique.push_back(index.unique());
  }
  pending_ = std::make_unique<PendingIndexChanges>(unique);
  db_.AttachWriter(this);
  TableProperties properties = ReadTableProperties(db_, entry_);
  for (const ColumnDefinition& col : definition_.columns) {
    required_.push_back(properties.Required(col.name));
    allow_zero_length_.push_back(properties.AllowZeroLength(col.name));
  }
}

void Table::CheckColumnRules(size_t column, const Value& value) const {
  const ColumnDefinition& col = definition_.columns[column];
  if (IsNull(value) && required_[column] &&
      col.type != static_cast<uint8_t>(ColumnType::kBoolean)) {
    throw Error(kErrRequired, "'" + entry_.name + "." + col.name +
                                  "' 필드는 Null 값을 가질 수 없습니다.");
  }
  const auto* text = std::get_if<std::string>(&value);
  if (text && text->empty() && !allow_zero_length_[column] &&
      (col.type == static_cast<uint8_t>(ColumnType::kText) ||
       col.type == static_cast<uint8_t>(ColumnType::kMemo))) {
    throw Error(kErrZeroLength,
                "'" + entry_.name + "." + col.name +
                    "' 필드는 길이가 0인 문자열을 가질 수 없습니다.");
  }
}

void Table::UpdateRow(RowPointer row_id,
                      const std::vector<ColumnChange>& changes) {
  RequireWritable();
  if (changes.empty()) return;
  const size_t n = definition_.columns.size();
  for (const ColumnChange& change : changes) {
    if (change.column >= n) {
      throw Error(kErrItemNotFound, "열 번호가 잘못되었습니다.");
    }
  }
  PrepareWriters();
  Pager& pager = db_.pager();
  const JetVersion version = db_.version();
  const ValueContext context = db_.value_context();

  TableScan scan = ScanAt(row_id, "고칠 행 ");
  const RowPointer stored_at = scan.stored_at();
  const std::vector<FieldBytes> old_fields = scan.Fields();

  // What changes: fixed and text columns are compared by their new bytes,
  // memo and OLE columns by their values.
  std::vector<bool> changed(n, false);
  std::vector<std::optional<FieldData>> next(n);
  std::vector<const Value*> assigned(n, nullptr);
  for (const ColumnChange& change : changes) {
    const size_t c = change.column;
    CheckColumnRules(c, change.value);
    const ColumnDefinition& col = definition_.columns[c];
    const FieldBytes& old = old_fields[c];
    assigned[c] = &change.value;
    next[c].reset();
    changed[c] = false;
    if (IsLongValueType(col.type)) {
      if (!IsNull(change.value)) {
        const bool memo = col.type == static_cast<uint8_t>(ColumnType::kMemo);
        if (memo && !std::holds_alternative<std::string>(change.value)) {
          throw Error(kErrConversion,
                      "메모 필드에는 텍스트만 넣을 수 있습니다.");
        }
        if (!memo && !std::holds_alternative<Binary>(change.value)) {
          throw Error(kErrConversion,
                      "OLE 개체 필드에는 이진 값만 넣을 수 있습니다.");
        }
      }
      if (IsNull(change.value)
              ? !old.is_null
              : old.is_null ||
                    !(DecodeValue(old, col, context) == change.value)) {
        changed[c] = true;
      }
      continue;
    }
    FieldData data = EncodeValue(change.value, col, version);
    const bool is_bool = col.type == static_cast<uint8_t>(ColumnType::kBoolean);
    if (SameField(data, old, is_bool)) continue;
    changed[c] = true;
    next[c] = std::move(data);
  }
  if (std::find(changed.begin(), changed.end(), true) == changed.end()) return;

  // The values of the columns that the touched indexes use; refusals
  // (unique index, unencodable key) come before any write.
  std::vector<bool> needed(n, false);
  for (const RealIndex& index : definition_.real_indexes) {
    bool touched = false;
    for (const IndexColumn& ic : index.columns) {
      int k = ColumnPosition(definition_, ic.column_number);
      if (k >= 0 && changed[k]) touched = true;
    }
    if (!touched) continue;
    for (const IndexColumn& ic : index.columns) {
      int k = ColumnPosition(definition_, ic.column_number);
      if (k >= 0) needed[k] = true;
    }
  }
  std::vector<Value> old_values(n), new_values(n);
  for (size_t k = 0; k < n; ++k) {
    if (!needed[k]) continue;
    old_values[k] = DecodeValue(old_fields[k], definition_.columns[k], context);
    new_values[k] = changed[k] ? *assigned[k] : old_values[k];
  }
  std::vector<IndexChange> index_plan =
      PlanIndexChanges(row_id, old_values, new_values, &changed, false);

  WriteGroup group(pager);
  std::vector<FieldData> fields;
  fields.reserve(n);
  for (size_t k = 0; k < n; ++k) {
    const ColumnDefinition& col = definition_.columns[k];
    if (!changed[k]) {
      fields.push_back(CopyField(old_fields[k]));
    } else if (next[k]) {
      fields.push_back(std::move(*next[k]));
    } else {
      // A memo or OLE value: the new one is written, the old one freed.
      FieldData d;
      if (!IsNull(*assigned[k])) {
        std::vector<uint8_t> bytes;
        if (const auto* text = std::get_if<std::string>(assigned[k])) {
          bytes = EncodeText(*text, col, version);
        } else {
          bytes = std::get<Binary>(*assigned[k]);
        }
        d.is_null = false;
        d.data = long_values_->Write(bytes, col);
      }
      if (!old_fields[k].is_null) long_values_->Free(old_fields[k].data, col);
      fields.push_back(std::move(d));
    }
  }
  std::vector<uint8_t> row = EncodeRow(version, definition_, fields);
  rows_->Replace(row_id, stored_at, row);
  RecordIndexChanges(index_plan, row_id);
  group.Commit();
  FlushIndexChangesWhenLarge();
}

RowPointer Table::InsertRow(const std::vector<Value>& values) {
  RequireWritable();
  if (values.size() != definition_.columns.size()) {
    throw Error(kErrItemNotFound, "값의 개수가 열의 개수와 다릅니다.");
  }
  PrepareWriters();
  Pager& pager = db_.pager();
  const JetVersion version = db_.version();
  for (size_t k = 0; k < values.size(); ++k) CheckColumnRules(k, values[k]);
  std::vector<IndexChange> index_plan =
      PlanIndexChanges(RowPointer{}, values, values, nullptr, true);
  WriteGroup group(pager);
  std::vector<FieldData> fields(values.size());
  for (size_t k = 0; k < values.size(); ++k) {
    const ColumnDefinition& col = definition_.columns[k];
    if (IsLongValueType(col.type)) {
      if (IsNull(values[k])) continue;
      std::vector<uint8_t> bytes;
      if (const auto* text = std::get_if<std::string>(&values[k])) {
        bytes = EncodeText(*text, col, version);
      } else if (const auto* binary = std::get_if<Binary>(&values[k])) {
        bytes = *binary;
      } else {
        throw Error(kErrConversion, "긴 값 필드에 맞지 않는 값입니다.");
      }
      fields[k].is_null = false;
      fields[k].data = long_values_->Write(bytes, col);
    } else {
      fields[k] = EncodeValue(values[k], col, version);
    }
  }
  std::vector<uint8_t> row = EncodeRow(version, definition_, fields);
  RowPointer id = rows_->Insert(row);
  RecordIndexChanges(index_plan, id);
  definition_.AddToStoredRowCount(pager, version, 1);
  group.Commit();
  FlushIndexChangesWhenLarge();
  return id;
}

void Table::DeleteRow(RowPointer row_id) {
  RequireWritable();
  PrepareWriters();
  Pager& pager = db_.pager();
  const JetVersion version = db_.version();
  TableScan scan = ScanAt(row_id, "지울 행 ");
  const RowPointer stored_at = scan.stored_at();
  std::vector<FieldBytes> fields = scan.Fields();
  std::vector<Value> values = ValuesOf(fields);
  std::vector<IndexChange> index_plan = PlanIndexChanges(
      row_id, values, values, nullptr, false, /*deleting=*/true);

  WriteGroup group(pager);
  for (size_t k = 0; k < fields.size(); ++k) {
    const ColumnDefinition& col = definition_.columns[k];
    if (IsLongValueType(col.type) && !fields[k].is_null) {
      long_values_->Free(fields[k].data, col);
    }
  }
  rows_->Delete(row_id, stored_at);
  RecordIndexChanges(index_plan, row_id);
  definition_.AddToStoredRowCount(pager, version, -1);
  group.Commit();
  FlushIndexChangesWhenLarge();
}

}  // namespace jet
