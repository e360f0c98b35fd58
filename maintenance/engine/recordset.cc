#include "maintenance/engine/recordset.h"

#include <cstring>
#include <utility>

#include "jet/database.h"
#include "jet/error.h"
#include "jet/value_codec.h"
#include "jet/value_conversion.h"
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

}  // namespace

jet::Value Field::Value() const { return rs_->FieldValue(index_); }

void Field::SetValue(const jet::Value& value) {
  rs_->SetFieldValue(index_, value);
}

FieldTypeCode Field::Type() const {
  return FieldTypeCodeOf(rs_->Column(index_).type);
}

const std::string& Field::Name() const { return rs_->Column(index_).name; }

int FieldCollection::Count() const {
  rs_->CheckOpen();
  return rs_->ColumnCount();
}

Field FieldCollection::operator()(int index) const {
  rs_->CheckOpen();
  if (index < 0 || index >= rs_->ColumnCount()) {
    throw jet::Error(
        jet::kErrItemNotFound,
        "이 컬렉션에 " + std::to_string(index) + "번째 항목이 없습니다.");
  }
  return Field(*rs_, index);
}

Recordset::Recordset(std::shared_ptr<Connection> connection,
                     std::unique_ptr<jet::Table> table)
    : connection_(std::move(connection)), table_(std::move(table)) {
  scan_.emplace(table_->Scan());
  if (scan_->Next()) Arrive();
}

Recordset::~Recordset() = default;

const std::string& Recordset::Name() const { return table_->entry().name; }

void Recordset::CheckOpen() const {
  if (connection_->closed) ThrowObjectClosed();
}

void Recordset::CheckCurrent() const {
  CheckOpen();
  if (!current_) {
    throw jet::Error(kErrNoCurrentRecord, "현재 레코드가 없습니다.");
  }
}

void Recordset::Arrive() {
  current_ = true;
  row_scan_.reset();
  ++record_count_;
  row_id_ = scan_->row_id();
  field_bytes_ = scan_->Fields();
  field_bytes_valid_ = true;
  values_.assign(ColumnCount(), std::nullopt);
  editing_ = false;
  edit_buffer_.clear();
}

const jet::ColumnDefinition& Recordset::Column(int index) const {
  return table_->definition().columns.at(static_cast<size_t>(index));
}

int Recordset::ColumnCount() const {
  return static_cast<int>(table_->definition().columns.size());
}

jet::Value Recordset::FieldValue(int index) {
  CheckCurrent();
  size_t k = static_cast<size_t>(index);
  if (editing_ && edit_buffer_[k]) return *edit_buffer_[k];
  if (!values_[k]) {
    if (field_bytes_valid_) {
      values_[k] = jet::DecodeValue(field_bytes_[k], Column(index),
                                    connection_->db->value_context());
    } else {
      // A write has moved the record's bytes: read the record as it is now.
      std::vector<jet::Value> row = table_->ReadRow(row_id_);
      for (size_t c = 0; c < row.size() && c < values_.size(); ++c) {
        if (!values_[c]) values_[c] = std::move(row[c]);
      }
    }
  }
  return *values_[k];
}

void Recordset::SetFieldValue(int index, const jet::Value& value) {
  CheckCurrent();
  if (!editing_) {
    throw jet::Error(kErrUpdateWithoutEdit,
                     "Edit 없이 필드 값을 바꾸거나 Update를 호출했습니다.");
  }
  edit_buffer_[static_cast<size_t>(index)] = jet::ConvertToColumnType(
      value, Column(index), connection_->db->version());
}

void Recordset::Edit() {
  CheckCurrent();
  editing_ = true;
  edit_buffer_.assign(ColumnCount(), std::nullopt);
}

void Recordset::Update() {
  CheckCurrent();
  if (!editing_) {
    throw jet::Error(kErrUpdateWithoutEdit,
                     "Edit 없이 필드 값을 바꾸거나 Update를 호출했습니다.");
  }
  std::vector<jet::ColumnChange> changes;
  for (size_t k = 0; k < edit_buffer_.size(); ++k) {
    if (!edit_buffer_[k]) continue;
    jet::Value assigned = std::move(*edit_buffer_[k]);
    edit_buffer_[k].reset();  // FieldValue must give the stored value
    if (SameValue(FieldValue(static_cast<int>(k)), assigned)) continue;
    changes.push_back(jet::ColumnChange{k, std::move(assigned)});
  }
  if (changes.empty()) {
    editing_ = false;
    return;
  }
  try {
    table_->UpdateRow(row_id_, changes);
  } catch (...) {
    // The edit stays open with what was assigned, as before the call.
    for (jet::ColumnChange& c : changes) {
      edit_buffer_[c.column] = std::move(c.value);
    }
    throw;
  }
  editing_ = false;
  edit_buffer_.clear();
  for (jet::ColumnChange& c : changes) values_[c.column] = std::move(c.value);
  Refetch();
}

void Recordset::Refetch() {
  row_scan_.emplace(table_->Scan());
  field_bytes_valid_ = row_scan_->SeekTo(row_id_);
  if (field_bytes_valid_) field_bytes_ = row_scan_->Fields();
}

void Recordset::CancelUpdate() {
  CheckOpen();
  editing_ = false;
  edit_buffer_.clear();
}

void Recordset::MoveNext() {
  CheckCurrent();
  editing_ = false;
  edit_buffer_.clear();
  if (scan_->Next()) {
    Arrive();
  } else {
    current_ = false;
    field_bytes_.clear();
    values_.clear();
  }
}

}  // namespace dao
