#include "maintenance/engine/recordset.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "jet/base/column_type.h"
#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/rows/value_codec.h"
#include "jet/rows/value_conversion.h"
#include "maintenance/engine/database.h"

namespace dao {

namespace {

constexpr int kErrUpdateWithoutEdit = 3020;
constexpr int kErrNoCurrentRecord = 3021;

// Whether writing `assigned` over `stored` would change the record. Floating
// values compare by their bits, so that a stored NaN assigned back is no
// change.
bool SameValue(const jet::Value& stored, const jet::Value& assigned) {
  if (const auto* a = std::get_if<double>(&stored)) {
    const auto* b = std::get_if<double>(&assigned);
    return b && std::memcmp(a, b, sizeof *a) == 0;
  }
  if (const auto* a = std::get_if<float>(&stored)) {
    const auto* b = std::get_if<float>(&assigned);
    return b && std::memcmp(a, b, sizeof *a) == 0;
  }
  return stored == assigned;
}

// A fixed-length text padded with U+0000 by earlier versions of this
// program: assigned again, it is stored padded with spaces.
bool PaddedWithNul(const jet::Value& stored, const jet::ColumnDefinition& column) {
  const auto* text = std::get_if<std::string>(&stored);
  return text && !text->empty() && text->back() == '\0' &&
         jet::IsFixedLengthText(column);
}

}  // namespace

jet::Value Field::Value() const { return rs_->FieldValue(index_); }

bool Field::HasOuterSpace() const { return rs_->FieldHasOuterSpace(index_); }

void Field::SetValue(const jet::Value& value) {
  rs_->SetFieldValue(index_, value);
}

const std::string& Field::Name() const { return rs_->Column(index_).name; }

int FieldCollection::Count() const {
  rs_->CheckOpen();
  return rs_->ColumnCount();
}

void Recordset::ThrowNoItem(int index) {
  throw jet::Error(
      jet::kErrItemNotFound,
      "이 컬렉션에 " + std::to_string(index) + "번째 항목이 없습니다.");
}

void Recordset::ThrowNoCurrentRecord() {
  throw jet::Error(kErrNoCurrentRecord, "현재 레코드가 없습니다.");
}

Recordset::Recordset(std::shared_ptr<Connection> connection,
                     std::unique_ptr<jet::Table> table)
    : connection_(std::move(connection)), table_(std::move(table)) {
  connection_->recordsets.push_back(this);
  scan_.emplace(table_->Scan());
  if (scan_->Next()) Arrive();
}

Recordset::~Recordset() {
  std::erase(connection_->recordsets, this);
  if (connection_->closed) return;
  try {
    WriteStagedUpdates();
  } catch (const jet::Error& e) {
    // Nowhere to raise it from here: the database's next flush or close
    // raises it.
    connection_->db->KeepDeferredError(e);
  }
}

const std::string& Recordset::Name() const { return table_->entry().name; }

void Recordset::Arrive() {
  current_ = true;
  ++record_count_;
  row_id_ = scan_->row_id();
  stored_at_ = scan_->stored_at();
  scan_->Fields(field_bytes_);
  values_.assign(ColumnCount(), std::nullopt);
  updated_.assign(values_.size(), 0);
  EndEdit();
}

jet::Value Recordset::FieldValue(int index) {
  CheckCurrent();
  size_t k = static_cast<size_t>(index);
  if (editing_ && edit_buffer_[k]) return *edit_buffer_[k];
  return RecordValue(k);
}

const jet::Value& Recordset::RecordValue(size_t k) {
  if (!values_[k]) {
    values_[k] = jet::DecodeValue(field_bytes_[k], Column(static_cast<int>(k)),
                                  connection_->db->value_context());
  }
  return *values_[k];
}

bool Recordset::FieldHasOuterSpace(int index) {
  CheckCurrent();
  size_t k = static_cast<size_t>(index);
  const jet::Value* known = nullptr;
  if (editing_ && edit_buffer_[k]) {
    known = &*edit_buffer_[k];
  } else if (values_[k]) {
    known = &*values_[k];
  }
  if (known) {
    const auto* text = std::get_if<std::string>(known);
    return text && jet::TextHasOuterSpace(*text, Column(index));
  }
  const jet::ColumnDefinition& column = Column(index);
  const jet::ValueContext context = connection_->db->value_context();
  if (!jet::TextHasOuterSpace(field_bytes_[k], column, context,
                              long_value_scratch_)) {
    return false;
  }
  // A memo with such a space is about to be read: its stored bytes were
  // just read for the test, so it is decoded from them once.
  if (column.type == static_cast<uint8_t>(jet::ColumnType::kMemo)) {
    values_[k] = jet::Value(jet::DecodeText(
        jet::ByteView(long_value_scratch_.data(), long_value_scratch_.size()),
        column, context));
  }
  return true;
}

void Recordset::SetFieldValue(int index, const jet::Value& value) {
  CheckCurrent();
  if (!editing_) {
    throw jet::Error(kErrUpdateWithoutEdit,
                     "Edit 없이 필드 값을 바꾸거나 Update를 호출했습니다.");
  }
  jet::Value converted = jet::ConvertToColumnType(value, Column(index),
                                                  connection_->db->version());
  std::optional<jet::Value>& entry = edit_buffer_[static_cast<size_t>(index)];
  if (!entry) assigned_.push_back(static_cast<size_t>(index));
  entry = std::move(converted);
}

void Recordset::Edit() {
  CheckCurrent();
  EndEdit();
  editing_ = true;
}

void Recordset::EndEdit() {
  editing_ = false;
  for (size_t k : assigned_) edit_buffer_[k].reset();
  assigned_.clear();
  edit_buffer_.resize(static_cast<size_t>(ColumnCount()));
}

void Recordset::Update() {
  if (std::optional<jet::Error> refusal = TryUpdate()) throw *refusal;
}

std::optional<jet::Error> Recordset::TryUpdate() {
  CheckCurrent();
  if (!editing_) {
    throw jet::Error(kErrUpdateWithoutEdit,
                     "Edit 없이 필드 값을 바꾸거나 Update를 호출했습니다.");
  }
  // The vector of the last call, refilled.
  std::vector<jet::ColumnChange>& changes = changes_;
  changes.clear();
  // In column order, as the table checks and reports them.
  std::sort(assigned_.begin(), assigned_.end());
  for (size_t k : assigned_) {
    jet::Value assigned = std::move(*edit_buffer_[k]);
    edit_buffer_[k].reset();
    const jet::Value& current = RecordValue(k);
    if (SameValue(current, assigned) &&
        !PaddedWithNul(current, Column(static_cast<int>(k))))
      continue;
    // Until an update of this record changed the column, its value here is
    // the stored one, which spares the table reading a memo again.
    changes.push_back(jet::ColumnChange{k, std::move(assigned),
                                        updated_[k] ? nullptr : &current});
  }
  assigned_.clear();  // every assigned entry was taken above
  if (changes.empty()) {
    editing_ = false;
    return std::nullopt;
  }
  std::optional<jet::Error> refusal;
  try {
    if (!staged_) {
      staged_.emplace(
          table_->BeginRowUpdate(row_id_, stored_at_, field_bytes_));
    }
    refusal = table_->StageUpdate(*staged_, changes);
  } catch (...) {
    RestoreEditBuffer(changes);
    throw;
  }
  if (refusal) {
    // The edit stays open with what was assigned, as before the call.
    RestoreEditBuffer(changes);
    return refusal;
  }
  editing_ = false;
  for (jet::ColumnChange& c : changes) {
    values_[c.column] = std::move(c.value);
    updated_[c.column] = 1;
  }
  return std::nullopt;
}

void Recordset::RestoreEditBuffer(std::vector<jet::ColumnChange>& changes) {
  for (jet::ColumnChange& c : changes) {
    edit_buffer_[c.column] = std::move(c.value);
    assigned_.push_back(c.column);
  }
}

void Recordset::WriteStagedUpdates() {
  if (!staged_) return;
  jet::Table::RowUpdate update = std::move(*staged_);
  staged_.reset();
  table_->WriteRowUpdate(update);
}

void Recordset::CancelUpdate() {
  CheckOpen();
  EndEdit();
}

void Recordset::MoveNext() {
  CheckCurrent();
  editing_ = false;
  WriteStagedUpdates();
  if (scan_->Next()) {
    Arrive();
  } else {
    current_ = false;
    field_bytes_.clear();
    values_.clear();
    updated_.clear();
  }
}

}  // namespace dao
