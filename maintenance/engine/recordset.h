// An updatable dynaset over one table: a cursor in storage order with an
// edit buffer, in the shape of the DAO Recordset the maintenance sweeps are
// written against.
//
//   auto rs = db->OpenRecordset("Table1", dao::dbOpenDynaset);
//   while (!rs->Eof()) {
//     if (jet::IsNull(rs->Fields(0).Value())) {
//       rs->Edit();
//       rs->Fields(0).SetValue(int16_t{0});
//       rs->Update();
//     }
//     rs->MoveNext();
//   }
//
// A record updated through the recordset keeps its place in the walk, and
// reading it afterwards gives the values written. Each Update that changes
// a value is checked at once against the table's rules (a refusal leaves
// the record as it was); the record's accepted updates are written to the
// file together when the cursor leaves it, the recordset goes, or the
// database closes. An Update whose buffer equals the record writes nothing.
#ifndef MDBCARE_MAINTENANCE_ENGINE_RECORDSET_H_
#define MDBCARE_MAINTENANCE_ENGINE_RECORDSET_H_

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/base/format.h"
#include "jet/base/value.h"
#include "jet/database/table.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"
#include "maintenance/engine/connection.h"
#include "maintenance/engine/field_type_code.h"

namespace dao {

class Recordset;

// One field of the recordset's current record. A handle: it reads and
// writes through its recordset, which must outlive it.
class Field {
 public:
  Field(Recordset& recordset, int index) : rs_(&recordset), index_(index) {}

  // The field's value in the current record (during an edit: the value
  // assigned to it, if any). Raises 3021 without a current record.
  jet::Value Value() const;
  // Assigns a value in the edit buffer, converted to the field's type as
  // the engine converts it (the integer 0 becomes false, 0, the zero date;
  // a fixed-length text is padded with spaces when the update is taken).
  // Raises 3020 outside Edit ... Update, 3421 where the type cannot take
  // the value, 3163 for a text too long for the field.
  void SetValue(const jet::Value& value);
  // Whether Value() is Null; a memo or OLE value is not read for it.
  bool IsNull() const;
  // Whether Value() is a text that begins or ends with a space; a stored
  // Jet 4 text is not decoded for it. In a fixed-length text field the
  // spaces at the end are its padding and do not count, a U+0000 there
  // does (see jet::TextHasOuterSpace).
  bool HasOuterSpace() const;
  FieldTypeCode Type() const;
  const std::string& Name() const;

 private:
  Recordset* rs_;
  int index_;
};

// The recordset's fields: Count() and Fields()(j), as in DAO.
class FieldCollection {
 public:
  explicit FieldCollection(Recordset& recordset) : rs_(&recordset) {}
  int Count() const;
  // Raises 3265 for a position outside 0 ... Count() - 1.
  Field operator()(int index) const;

 private:
  Recordset* rs_;
};

class Recordset {
 public:
  // Opens a dynaset on `table`; positions it on the first record.
  Recordset(std::shared_ptr<Connection> connection,
            std::unique_ptr<jet::Table> table);
  ~Recordset();

  Recordset(const Recordset&) = delete;
  Recordset& operator=(const Recordset&) = delete;

  // The number of records visited so far: right after the open 1 when the
  // table has a record and 0 when it has none. It is found by looking for
  // the first row; the count stored in the table definition is wrong in
  // real files and is never used.
  int32_t RecordCount() const { return record_count_; }
  // DAO's EOF: no current record, after the last one or in an empty table.
  // (EOF itself is a macro of the C library and cannot be a member name.)
  bool Eof() const { return !current_; }

  FieldCollection Fields() { return FieldCollection(*this); }
  Field Fields(int index) { return FieldCollection(*this)(index); }

  // Starts editing the current record (raises 3021 without one). A pending
  // edit is dropped.
  void Edit();
  // Writes the edit buffer's changed fields to the record and ends the
  // edit. Raises 3020 without Edit, or the table's refusal (3022 duplicate
  // in a unique index, 3315 zero-length text not allowed, 3314 required);
  // then nothing is written and the edit stays open for CancelUpdate.
  void Update();
  // Update, with the table's refusal returned instead of raised.
  std::optional<jet::Error> TryUpdate();
  // Drops the edit buffer.
  void CancelUpdate();
  // Moves to the next record, dropping a pending edit; raises 3021 at EOF.
  // Raises the error of writing the record's updates, if any.
  void MoveNext();

  // Writes the current record's accepted updates now.
  void WriteStagedUpdates();

  const std::string& Name() const;

 private:
  friend class Field;
  friend class FieldCollection;

  // The checks every field access makes, inline: a sweep makes them for
  // every field of every record.
  void CheckOpen() const {
    if (connection_->closed) ThrowObjectClosed();
  }
  void CheckCurrent() const {
    CheckOpen();
    if (!current_) ThrowNoCurrentRecord();
  }
  [[noreturn]] static void ThrowNoCurrentRecord();
  [[noreturn]] static void ThrowNoItem(int index);
  void Arrive();   // takes the scan's current row as the current record
  void EndEdit();  // drops the edit buffer, keeping its size
  void RestoreEditBuffer(std::vector<jet::ColumnChange>& changes);
  const jet::ColumnDefinition& Column(int index) const {
    return table_->definition().columns.at(static_cast<size_t>(index));
  }
  int ColumnCount() const {
    return static_cast<int>(table_->definition().columns.size());
  }
  jet::Value FieldValue(int index);
  // The current record's value at column `k`, updates included, edit
  // buffer not.
  const jet::Value& RecordValue(size_t k);
  bool FieldIsNull(int index) {
    CheckCurrent();
    const size_t k = static_cast<size_t>(index);
    if (editing_ && edit_buffer_[k]) return jet::IsNull(*edit_buffer_[k]);
    if (values_[k]) return jet::IsNull(*values_[k]);
    return jet::FieldIsNull(field_bytes_[k], Column(index));
  }
  bool FieldHasOuterSpace(int index);
  void SetFieldValue(int index, const jet::Value& value);

  std::shared_ptr<Connection> connection_;
  std::unique_ptr<jet::Table> table_;
  std::optional<jet::TableScan> scan_;
  bool current_ = false;
  int32_t record_count_ = 0;
  jet::RowPointer row_id_;
  jet::RowPointer stored_at_;
  // The current record: its field bytes as the scan met them (the scan
  // holds their page), and the values read or updated so far.
  std::vector<jet::FieldBytes> field_bytes_;
  std::vector<std::optional<jet::Value>> values_;
  // 1 where an accepted update of the current record set values_[k].
  std::vector<uint8_t> updated_;
  std::vector<uint8_t> long_value_scratch_;
  // The accepted updates of the current record, not yet written.
  std::optional<jet::Table::RowUpdate> staged_;
  bool editing_ = false;
  std::vector<std::optional<jet::Value>> edit_buffer_;
  std::vector<jet::ColumnChange> changes_;  // TryUpdate's, kept for reuse
  std::vector<size_t> assigned_;            // the edit buffer's set entries
};

inline bool Field::IsNull() const { return rs_->FieldIsNull(index_); }

inline FieldTypeCode Field::Type() const {
  return FieldTypeCodeOf(rs_->Column(index_).type);
}

inline Field FieldCollection::operator()(int index) const {
  rs_->CheckOpen();
  if (index < 0 || index >= rs_->ColumnCount()) Recordset::ThrowNoItem(index);
  return Field(*rs_, index);
}

}  // namespace dao

#endif  // MDBCARE_MAINTENANCE_ENGINE_RECORDSET_H_
