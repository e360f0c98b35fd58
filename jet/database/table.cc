#include "jet/database/table.h"

#include <algorithm>
#include <cstring>

#include "jet/database/database.h"
#include "jet/base/error.h"
#include "jet/index/index_key.h"
#include "jet/index/index_reader.h"
#include "jet/index/index_writer.h"
#include "jet/rows/long_value.h"
#include "jet/rows/long_value_writer.h"
#include "jet/storage/page_allocator.h"
#include "jet/index/pending_index_changes.h"
#include "jet/rows/row_store.h"
#include "jet/database/table_properties.h"
#include "jet/collation/text_key_segment.h"
#include "jet/rows/value_codec.h"

namespace jet {

namespace {

// Memory the gathered index changes may take before they are written.
// Writing them needs about as much again, for the index being written, on
// top of the pinned pages and the caches; larger batches save little time
// (1 to 2 % at 16 MB on a 300 MB sweep) for much more memory.
constexpr size_t kMaxPendingIndexBytes = size_t{12} << 20;
// Journal a write group may fill before the table ends it at the next row
// (its index changes written, then a durable point): the journal holds the
// original of every page the group writes over, so this bounds the disk
// space it takes beside the database, and what a crash costs.
constexpr uint64_t kMaxJournalBytes = uint64_t{32} << 20;

// `flags` made `n` zero bytes: a resize and a memset, which every staged
// update does a few times (vector::assign is not always inlined).
inline void ZeroFill(std::vector<uint8_t>& flags, size_t n) {
  flags.resize(n);
  if (n != 0) std::memset(flags.data(), 0, n);
}

// A view of a new field's bytes, for building a row from views.
FieldBytes ViewOf(const FieldData& f) {
  return FieldBytes{f.is_null, f.bit, ByteView(f.data.data(), f.data.size())};
}

// Whether new bytes `a` equal the stored `b`.
bool SameField(const FieldData& a, const FieldBytes& b, bool is_bool) {
  if (is_bool) return a.bit == b.bit;
  return a.is_null == b.is_null &&
         (a.is_null || std::equal(a.data.begin(), a.data.end(), b.data.data(),
                                  b.data.data() + b.data.size()));
}

// Whether every column of `index` is Null in a row, `is_null(position)`
// telling of the row's value at a column position: a unique index allows
// such a row more than once.
template <typename IsNullAt>
bool AllIndexColumnsNull(const TableDefinition& def, const RealIndex& index,
                         IsNullAt is_null) {
  for (const IndexColumn& c : index.columns) {
    int k = ColumnPosition(def, c.column_number);
    if (k < 0) continue;
    if (def.columns[k].type == static_cast<uint8_t>(ColumnType::kBoolean))
      return false;
    if (!is_null(static_cast<size_t>(k))) return false;
  }
  return true;
}

Error Unencodable(const std::string& table) {
  return Error(kErrIndexKeyUnavailable,
               "'" + table +
                   "' 테이블 색인의 정렬 순서로는 이 값의 색인 키를 만들 수 "
                   "없어 값을 바꾸지 않았습니다.");
}

Error Duplicate(const std::string& table) {
  return Error(kErrDuplicateKey,
               "'" + table +
                   "' 테이블의 고유 색인에 같은 값이 있어 값을 바꿀 수 "
                   "없습니다.");
}

// Raises `error`, or hands it to a caller that takes refusals as values.
void Refuse(Error error, std::optional<Error>* out) {
  if (!out) throw error;
  *out = std::move(error);
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

// True when `after` is `before` without some spaces at its end. Text keys
// leave trailing spaces out, so such a change keeps every key of the row.
bool OnlyTrailingSpacesDropped(const Value& before, const Value& after) {
  const auto* b = std::get_if<std::string>(&before);
  const auto* a = std::get_if<std::string>(&after);
  if (!b || !a || a->size() >= b->size()) return false;
  if (b->compare(0, a->size(), *a) != 0) return false;
  return b->find_first_not_of(' ', a->size()) == std::string::npos;
}

}  // namespace

void Table::PlanIndexChanges(RowPointer row_id,
                             const std::vector<FieldBytes>* old_fields,
                             const std::vector<Value>& new_values,
                             const std::vector<uint8_t>* touched,
                             const std::vector<uint8_t>* changed,
                             std::vector<IndexChange>& plan, bool deleting,
                             std::optional<Error>* refusal) {
  plan.clear();
  const JetVersion version = db_.version();
  const ValueContext context = db_.value_context();
  const IndexKeyOptions options =
      KeyOptionsFor(db_.header().sort_order, db_.header().sort_order_version,
                    db_.header().code_page);
  // The row as it would be: with `changed`, the new values only where it
  // marks a column, the stored fields elsewhere.
  std::optional<ChangedRow> row;
  if (changed && old_fields)
    row.emplace(ChangedRow{*old_fields, new_values, *changed});
  auto new_is_null = [&](size_t k) {
    return row && !(*changed)[k] ? (*old_fields)[k].is_null
                                 : IsNull(new_values[k]);
  };
  for (size_t i = 0; i < definition_.real_indexes.size(); ++i) {
    const RealIndex& index = definition_.real_indexes[i];
    if (touched && !(*touched)[i]) continue;
    IndexChange change;
    change.index = i;
    // The old key, kept here until the new key is made; it then goes into
    // old_entry (an old key that cannot be made is found by its row at once).
    IndexKeyResult old_key;
    if (old_fields) {
      change.had_entry = RowHasIndexEntry(index, definition_, *old_fields);
      if (change.had_entry) {
        old_key =
            EncodeIndexKey(index, definition_, *old_fields, context, options);
        change.old_entry.row = row_id;
        if (!old_key) {
          std::optional<std::vector<uint8_t>> key = StoredKeyOf(i, row_id);
          if (!key) ThrowDamaged("행의 색인 항목이 없습니다");
          change.old_entry.key = std::move(*key);
        }
      }
    }
    // The new key first: it may copy segments of the old one.
    IndexKeyResult new_key;
    if (!deleting) {
      change.has_entry = row ? RowHasIndexEntry(index, definition_, *row)
                             : RowHasIndexEntry(index, definition_, new_values);
      if (change.has_entry) {
        new_key = row ? EncodeIndexKey(index, definition_, *row, context,
                                       options, &old_key)
                      : EncodeIndexKey(index, definition_, new_values, version,
                                       options);
      }
    }
    if (old_key) change.old_entry.key = std::move(old_key.key);
    if (deleting) {
      if (change.had_entry) plan.push_back(std::move(change));
      continue;
    }
    if (change.has_entry) {
      std::optional<std::vector<uint8_t>> key;
      if (new_key) key = std::move(new_key.key);
      if (!key && change.had_entry && index.columns.size() == 1) {
        // A trimmed text whose characters this engine cannot encode takes
        // its key from the old one.
        int k = ColumnPosition(definition_, index.columns[0].column_number);
        if (k >= 0) {
          const Value old_value =
              DecodeValue((*old_fields)[k], definition_.columns[k], context);
          const Value& new_value =
              row && !(*changed)[k] ? old_value : new_values[k];
          int lead = LeadingSpacesTrimmed(old_value, new_value);
          auto order =
              ColumnSortOrder(definition_.columns[k], version, options);
          if (lead == 0) key = change.old_entry.key;
          if (lead > 0 && order) {
            key = SegmentWithoutLeadingSpaces(
                change.old_entry.key, static_cast<size_t>(lead), *order);
          }
        }
      }
      if (!key) {
        plan.clear();
        Refuse(Unencodable(entry_.name), refusal);
        return;
      }
      change.new_entry = IndexEntry{std::move(*key), row_id, 0};
      if (index.unique() &&
          !AllIndexColumnsNull(definition_, index, new_is_null) &&
          KeyTaken(i, change.new_entry.key, row_id)) {
        plan.clear();
        Refuse(Duplicate(entry_.name), refusal);
        return;
      }
    }
    if (change.had_entry && change.has_entry &&
        change.old_entry.key == change.new_entry.key) {
      continue;
    }
    plan.push_back(std::move(change));
  }
}

bool Table::KeyTaken(size_t index, const std::vector<uint8_t>& key,
                     RowPointer row_id) {
  if (pending_->AddedWithKey(index, key, row_id)) return true;
  IndexWriter reader(db_.pager(), db_.version(), *allocator_, definition_,
                     index, &index_views_);
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
  if (pending_->bytes() > kMaxPendingIndexBytes ||
      db_.pager().journal_bytes() > kMaxJournalBytes) {
    FlushIndexChanges();
  }
}

bool Table::HasGatheredIndexChanges() const {
  return pending_ && !pending_->empty();
}

void Table::FlushIndexChanges() {
  if (!pending_ || pending_->empty()) {
    db_.DurablePointIfWhole();
    return;
  }
  WriteGroup group(db_.pager());
  std::vector<IndexEntry>& removals = scratch_.removals;
  std::vector<IndexEntry>& insertions = scratch_.insertions;
  for (size_t i = 0; i < definition_.real_indexes.size(); ++i) {
    if (pending_->empty(i)) continue;
    pending_->Take(i, removals, insertions);
    IndexWriter(db_.pager(), db_.version(), *allocator_, definition_, i,
                &index_views_)
        .Apply(removals, insertions, &group);
  }
  group.Commit();
  db_.DurablePointIfWhole();
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
  row_layout_.emplace(definition_);
  column_indexed_.assign(definition_.columns.size(), 0);
  for (const RealIndex& index : definition_.real_indexes) {
    std::vector<int>& positions = index_column_positions_.emplace_back();
    for (const IndexColumn& ic : index.columns) {
      const int k = ColumnPosition(definition_, ic.column_number);
      positions.push_back(k);
      if (k >= 0) column_indexed_[k] = 1;
    }
  }
  db_.AttachWriter(this);
  TableProperties properties = ReadTableProperties(db_, entry_);
  for (const ColumnDefinition& col : definition_.columns) {
    required_.push_back(properties.Required(col.name));
    allow_zero_length_.push_back(properties.AllowZeroLength(col.name));
  }
}

std::optional<Error> Table::ColumnRuleRefusal(size_t column,
                                              const Value& value) const {
  const ColumnDefinition& col = definition_.columns[column];
  if (IsNull(value) && required_[column] &&
      col.type != static_cast<uint8_t>(ColumnType::kBoolean)) {
    return Error(kErrRequired, "'" + entry_.name + "." + col.name +
                                   "' 필드는 Null 값을 가질 수 없습니다.");
  }
  const auto* text = std::get_if<std::string>(&value);
  if (text && text->empty() && !allow_zero_length_[column] &&
      (col.type == static_cast<uint8_t>(ColumnType::kText) ||
       col.type == static_cast<uint8_t>(ColumnType::kMemo))) {
    return Error(kErrZeroLength,
                 "'" + entry_.name + "." + col.name +
                     "' 필드는 길이가 0인 문자열을 가질 수 없습니다.");
  }
  return std::nullopt;
}

Table::RowUpdate Table::BeginRowUpdate(RowPointer row_id, RowPointer stored_at,
                                       const std::vector<FieldBytes>& stored) {
  RequireWritable();
  const size_t n = definition_.columns.size();
  if (stored.size() != n) ThrowDamaged("행의 필드 수가 맞지 않습니다");
  PrepareWriters();
  // The vectors of the last written update, refilled.
  RowUpdate update = std::move(spare_update_);
  update.row_id_ = row_id;
  update.stored_at_ = stored_at;
  update.stored_.assign(stored.begin(), stored.end());
  if (update.changed_.size() == n) {
    // Only the columns the last update staged hold anything.
    for (size_t k : update.staged_columns_) {
      update.assigned_[k].reset();
      update.next_[k].reset();
      update.changed_[k] = 0;
    }
  } else {
    update.assigned_.assign(n, std::nullopt);
    update.next_.assign(n, std::nullopt);
    update.changed_.assign(n, 0);
  }
  update.staged_columns_.clear();
  update.index_plan_.clear();
  return update;
}

std::optional<Error> Table::StageUpdate(RowUpdate& update,
                                       std::vector<ColumnChange>& changes) {
  RequireWritable();
  const size_t n = definition_.columns.size();
  const JetVersion version = db_.version();
  const ValueContext context = db_.value_context();

  std::vector<ColumnOutcome>& outcome = scratch_.outcome;
  outcome.clear();
  outcome.resize(changes.size());
  for (size_t i = 0; i < changes.size(); ++i) {
    ColumnChange& change = changes[i];
    const size_t c = change.column;
    if (c >= n) throw Error(kErrItemNotFound, "열 번호가 잘못되었습니다.");
    if (std::optional<Error> refusal = ColumnRuleRefusal(c, change.value)) {
      return refusal;
    }
    const ColumnDefinition& col = definition_.columns[c];
    if (auto* text = std::get_if<std::string>(&change.value)) {
      PadFixedLengthText(*text, col, version);
    }
    const FieldBytes& old = update.stored_[c];
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
      if (IsNull(change.value) || old.is_null) {
        outcome[i].changed = IsNull(change.value) != old.is_null;
      } else if (change.stored) {
        outcome[i].changed = !(*change.stored == change.value);
      } else {
        outcome[i].changed = !LongValueEquals(old, col, change.value, context,
                                              scratch_.long_value);
      }
      continue;
    }
    FieldData data = EncodeValue(change.value, col, version);
    const bool is_bool = col.type == static_cast<uint8_t>(ColumnType::kBoolean);
    if (SameField(data, old, is_bool)) continue;
    outcome[i].changed = true;
    outcome[i].key_neutral =
        col.type == static_cast<uint8_t>(ColumnType::kText) && change.stored &&
        OnlyTrailingSpacesDropped(*change.stored, change.value);
    outcome[i].next = std::move(data);
  }

  // The indexes over a column whose new or staged value differs from the
  // stored one are planned again with the row's values as they would be;
  // refusals (unique index, unencodable key) come before anything is kept.
  std::vector<uint8_t>& replan_column = scratch_.replan_column;
  ZeroFill(replan_column, n);
  bool replan = false;
  for (size_t i = 0; i < changes.size(); ++i) {
    const size_t c = changes[i].column;
    if (((outcome[i].changed && !outcome[i].key_neutral) ||
         update.changed_[c]) &&
        column_indexed_[c]) {
      replan_column[c] = 1;
      replan = true;
    }
  }
  std::vector<uint8_t>& touched_index = scratch_.touched_index;
  ZeroFill(touched_index, definition_.real_indexes.size());
  std::vector<uint8_t>& needed = scratch_.needed;
  bool any_index = false;
  if (replan) ZeroFill(needed, n);
  for (size_t i = 0; replan && i < index_column_positions_.size(); ++i) {
    const std::vector<int>& positions = index_column_positions_[i];
    for (int k : positions) {
      if (k >= 0 && replan_column[k]) touched_index[i] = any_index = true;
    }
    if (!touched_index[i]) continue;
    for (int k : positions) {
      if (k >= 0) needed[k] = 1;
    }
  }
  std::vector<IndexChange>& index_plan = scratch_.plan;
  index_plan.clear();
  if (any_index) {
    // The needed columns whose value would differ from the stored one get
    // their new value; PlanIndexChanges takes the others from the stored
    // fields, and copies their segments from the old keys.
    std::vector<Value>& new_values = scratch_.new_values;
    new_values.resize(n);
    std::vector<uint8_t>& changed = scratch_.changed_column;
    ZeroFill(changed, n);
    std::vector<int>& change_at = scratch_.change_at;
    change_at.assign(n, -1);
    for (size_t i = 0; i < changes.size(); ++i) {
      change_at[changes[i].column] = static_cast<int>(i);
    }
    for (size_t k = 0; k < n; ++k) {
      if (!needed[k]) continue;
      const int i = change_at[k];
      if (i >= 0 && outcome[i].changed) {
        new_values[k] = changes[i].value;
        changed[k] = 1;
      } else if (i < 0 && update.assigned_[k]) {
        new_values[k] = *update.assigned_[k];
        changed[k] = 1;
      }
    }
    std::optional<Error> refusal;
    PlanIndexChanges(update.row_id_, &update.stored_, new_values,
                     &touched_index, &changed, index_plan, false, &refusal);
    if (refusal) return refusal;
  }

  // Accepted: kept over what was staged before.
  for (size_t i = 0; i < changes.size(); ++i) {
    const size_t c = changes[i].column;
    update.staged_columns_.push_back(c);
    update.changed_[c] = outcome[i].changed;
    update.next_[c] = std::move(outcome[i].next);
    if (outcome[i].changed) {
      update.assigned_[c] = changes[i].value;
    } else {
      update.assigned_[c].reset();
    }
  }
  if (any_index) {
    std::erase_if(update.index_plan_, [&](const IndexChange& change) {
      return touched_index[change.index];
    });
    for (IndexChange& change : index_plan) {
      update.index_plan_.push_back(std::move(change));
    }
  }
  return std::nullopt;
}

void Table::WriteRowUpdate(RowUpdate& update) {
  // Written from the spare, whose vectors then serve the next update.
  spare_update_ = std::move(update);
  update = RowUpdate();
  RowUpdate& u = spare_update_;
  if (!u.changes()) return;
  RequireWritable();
  const JetVersion version = db_.version();
  const size_t n = definition_.columns.size();
  WriteGroup group(db_.pager());
  // The row is made from views of its fields, none copied: the stored ones
  // where nothing changed, the staged bytes, and the references of long
  // values written here (kept in scratch_.fields).
  std::vector<FieldBytes>& views = scratch_.views;
  views.resize(n);
  std::vector<FieldData>& references = scratch_.fields;
  references.resize(n);
  for (size_t k = 0; k < n; ++k) {
    const ColumnDefinition& col = definition_.columns[k];
    const FieldBytes& old = u.stored_[k];
    if (!u.changed_[k]) {
      views[k] = old;
    } else if (u.next_[k]) {
      views[k] = ViewOf(*u.next_[k]);
    } else {
      // A memo or OLE value: the new one is written over the old one or
      // anew, the old one freed.
      const Value& value = *u.assigned_[k];
      FieldData& d = references[k];
      d.is_null = true;
      d.data.clear();
      if (!IsNull(value)) {
        std::vector<uint8_t> encoded;
        std::span<const uint8_t> bytes;
        if (const auto* text = std::get_if<std::string>(&value)) {
          encoded = EncodeText(*text, col, version);
          bytes = encoded;
        } else {
          bytes = std::get<Binary>(value);
        }
        d.is_null = false;
        if (old.is_null) {
          long_values_->Write(bytes, col, d.data);
        } else {
          long_values_->Replace(old.data, bytes, col, d.data);
        }
      } else if (!old.is_null) {
        long_values_->Free(old.data, col);
      }
      views[k] = ViewOf(d);
    }
  }
  EncodeRow(version, definition_, *row_layout_, views, 0, scratch_.row);
  rows_->Replace(u.row_id_, u.stored_at_, scratch_.row);
  RecordIndexChanges(u.index_plan_, u.row_id_);
  group.Commit();
  FlushIndexChangesWhenLarge();
}

bool Table::RowUpdate::changes() const {
  return std::find(changed_.begin(), changed_.end(), 1) != changed_.end();
}

void Table::UpdateRow(RowPointer row_id,
                      const std::vector<ColumnChange>& changes) {
  RequireWritable();
  if (changes.empty()) return;
  TableScan scan = ScanAt(row_id, "고칠 행 ");
  RowUpdate update = BeginRowUpdate(row_id, scan.stored_at(), scan.Fields());
  std::vector<ColumnChange> staged = changes;
  if (std::optional<Error> refusal = StageUpdate(update, staged)) {
    throw *refusal;
  }
  WriteRowUpdate(update);
}

RowPointer Table::InsertRow(const std::vector<Value>& values) {
  RequireWritable();
  if (values.size() != definition_.columns.size()) {
    throw Error(kErrItemNotFound, "값의 개수가 열의 개수와 다릅니다.");
  }
  PrepareWriters();
  Pager& pager = db_.pager();
  const JetVersion version = db_.version();
  for (size_t k = 0; k < values.size(); ++k) {
    if (std::optional<Error> refusal = ColumnRuleRefusal(k, values[k])) {
      throw *refusal;
    }
  }
  // Fixed-length texts as the row will hold them, for their index keys too.
  std::optional<std::vector<Value>> padded;
  for (size_t k = 0; k < values.size(); ++k) {
    if (!IsFixedLengthText(definition_.columns[k]) ||
        !std::holds_alternative<std::string>(values[k])) {
      continue;
    }
    if (!padded) padded = values;
    PadFixedLengthText(std::get<std::string>((*padded)[k]),
                       definition_.columns[k], version);
  }
  const std::vector<Value>& row_values = padded ? *padded : values;
  std::vector<IndexChange> index_plan;
  PlanIndexChanges(RowPointer{}, nullptr, row_values, nullptr, nullptr,
                   index_plan);
  WriteGroup group(pager);
  std::vector<FieldData> fields(values.size());
  for (size_t k = 0; k < values.size(); ++k) {
    const ColumnDefinition& col = definition_.columns[k];
    if (IsLongValueType(col.type)) {
      if (IsNull(row_values[k])) continue;
      std::vector<uint8_t> bytes;
      if (const auto* text = std::get_if<std::string>(&row_values[k])) {
        bytes = EncodeText(*text, col, version);
      } else if (const auto* binary = std::get_if<Binary>(&row_values[k])) {
        bytes = *binary;
      } else {
        throw Error(kErrConversion, "긴 값 필드에 맞지 않는 값입니다.");
      }
      fields[k].is_null = false;
      fields[k].data = long_values_->Write(bytes, col);
    } else {
      fields[k] = EncodeValue(row_values[k], col, version);
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
  std::vector<IndexChange> index_plan;
  PlanIndexChanges(row_id, &fields, {}, nullptr, nullptr, index_plan,
                   /*deleting=*/true);

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
