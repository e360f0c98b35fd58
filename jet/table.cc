#include "jet/table.h"

#include "jet/database.h"
#include "jet/error.h"
#include "jet/long_value.h"
#include "jet/long_value_writer.h"
#include "jet/page_allocator.h"
#include "jet/row_store.h"
#include "jet/value_codec.h"

namespace jet {

namespace {

FieldData CopyField(const FieldBytes& f) {
  FieldData d;
  d.is_null = f.is_null;
  d.bit = f.bit;
  d.data.assign(f.data.data(), f.data.data() + f.data.size());
  return d;
}

bool SameField(const FieldData& a, const FieldData& b, bool is_bool) {
  if (is_bool) return a.bit == b.bit;
  return a.is_null == b.is_null && (a.is_null || a.data == b.data);
}

}  // namespace

Table::Table(Database& db, CatalogEntry entry, TableDefinition definition)
    : db_(db), entry_(std::move(entry)), definition_(std::move(definition)) {}

Table::~Table() = default;

TableScan Table::Scan() {
  return TableScan(db_.pager(), db_.version(), definition_);
}

std::vector<Value> Table::ReadRow(RowPointer row_id) {
  TableScan scan(db_.pager(), db_.version(), definition_);
  if (!scan.SeekTo(row_id)) {
    ThrowDamaged("행 " + std::to_string(row_id.page) + ":" +
                 std::to_string(row_id.row) + " 이(가) 없습니다");
  }
  std::vector<FieldBytes> fields = scan.Fields();
  ValueContext context = db_.value_context();
  std::vector<Value> values;
  values.reserve(fields.size());
  for (size_t k = 0; k < fields.size(); ++k) {
    values.push_back(DecodeValue(fields[k], definition_.columns[k], context));
  }
  return values;
}

void Table::RequireWritable() const {
  if (!db_.writable()) {
    throw Error(kErrReadOnly, "데이터베이스가 읽기 전용으로 열려 있어 바꿀 수 없습니다.");
  }
}

void Table::PrepareWriters() {
  if (rows_) return;
  allocator_ = std::make_unique<PageAllocator>(db_.pager(), db_.version());
  rows_ = std::make_unique<RowStore>(db_.pager(), db_.version(), *allocator_,
                                     definition_);
  long_values_ = std::make_unique<LongValueWriter>(
      db_.pager(), db_.version(), *allocator_, definition_);
}

void Table::UpdateRow(RowPointer row_id,
                      const std::vector<ColumnChange>& changes) {
  RequireWritable();
  if (changes.empty()) return;
  PrepareWriters();
  Pager& pager = db_.pager();
  const JetVersion version = db_.version();
  const ValueContext context = db_.value_context();

  TableScan scan(pager, version, definition_);
  if (!scan.SeekTo(row_id)) {
    ThrowDamaged("고칠 행 " + std::to_string(row_id.page) + ":" +
                 std::to_string(row_id.row) + " 이(가) 없습니다");
  }
  const RowPointer stored_at = scan.stored_at();
  std::vector<FieldBytes> old_fields = scan.Fields();
  std::vector<FieldData> fields;
  fields.reserve(old_fields.size());
  for (const FieldBytes& f : old_fields) fields.push_back(CopyField(f));

  WriteGroup group(pager);
  bool changed = false;
  for (const ColumnChange& change : changes) {
    if (change.column >= definition_.columns.size()) {
      throw Error(kErrItemNotFound, "열 번호가 잘못되었습니다.");
    }
    const ColumnDefinition& col = definition_.columns[change.column];
    const bool is_bool = col.type == static_cast<uint8_t>(ColumnType::kBoolean);
    FieldData next;
    if (IsLongValueType(col.type)) {
      const FieldBytes& old = old_fields[change.column];
      Value old_value = DecodeValue(old, col, context);
      if (old_value == change.value) continue;
      if (!IsNull(change.value)) {
        std::vector<uint8_t> bytes;
        if (col.type == static_cast<uint8_t>(ColumnType::kMemo)) {
          const auto* text = std::get_if<std::string>(&change.value);
          if (!text) throw Error(kErrConversion, "메모 필드에는 텍스트만 넣을 수 있습니다.");
          bytes = EncodeText(*text, col, version);
        } else {
          const auto* binary = std::get_if<Binary>(&change.value);
          if (!binary) throw Error(kErrConversion, "OLE 개체 필드에는 이진 값만 넣을 수 있습니다.");
          bytes = *binary;
        }
        next.is_null = false;
        next.data = long_values_->Write(bytes, col);
      }
      if (!old.is_null) long_values_->Free(old.data, col);
    } else {
      next = EncodeValue(change.value, col, version);
    }
    if (SameField(next, fields[change.column], is_bool)) continue;
    fields[change.column] = std::move(next);
    changed = true;
  }
  if (!changed) return;  // the group rolls back; nothing was written

  std::vector<uint8_t> row = EncodeRow(version, definition_, fields);
  rows_->Replace(row_id, stored_at, row);
  group.Commit();
}

RowPointer Table::InsertRow(const std::vector<Value>& values) {
  RequireWritable();
  if (values.size() != definition_.columns.size()) {
    throw Error(kErrItemNotFound, "값의 개수가 열의 개수와 다릅니다.");
  }
  PrepareWriters();
  Pager& pager = db_.pager();
  const JetVersion version = db_.version();
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
  definition_.AddToStoredRowCount(pager, version, 1);
  group.Commit();
  return id;
}

}  // namespace jet
