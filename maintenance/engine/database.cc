#include "maintenance/engine/database.h"

#include <utility>

#include "jet/base/error.h"

namespace dao {

void ThrowObjectClosed() {
  throw jet::Error(3420,
                   "개체가 잘못되었거나 더 이상 설정되어 있지 않습니다 "
                   "(데이터베이스가 이미 닫혔습니다).");
}

TableDef TableDefCollection::operator()(int index) const {
  if (index < 0 || index >= Count()) {
    throw jet::Error(
        jet::kErrItemNotFound,
        "이 컬렉션에 " + std::to_string(index) + "번째 항목이 없습니다.");
  }
  return TableDef((*tables_)[static_cast<size_t>(index)]);
}

Database::Database(std::unique_ptr<jet::Database> db)
    : connection_(std::make_shared<Connection>()), name_(db->path()) {
  connection_->db = std::move(db);
}

Database::~Database() {
  // Dropping a database that was not closed closes it, as releasing the
  // last reference does in DAO; errors have nowhere to go from here.
  try {
    Close();
  } catch (const jet::Error&) {
  }
}

void Database::CheckOpen() const {
  if (connection_->closed) ThrowObjectClosed();
}

TableDefCollection Database::TableDefs() const {
  CheckOpen();
  return TableDefCollection(connection_->db->tables());
}

std::unique_ptr<Recordset> Database::OpenRecordset(const std::string& name,
                                                   int16_t type) {
  CheckOpen();
  if (type != dbOpenDynaset) {
    throw jet::Error(jet::kErrUnsupportedFeature,
                     "다이나셋 이외의 레코드셋은 열 수 없습니다.");
  }
  return std::make_unique<Recordset>(connection_,
                                     connection_->db->OpenTable(name));
}

void Database::Close() {
  if (connection_->closed) return;
  for (Recordset* rs : connection_->recordsets) rs->WriteStagedUpdates();
  connection_->closed = true;
  connection_->db->Close();
}

}  // namespace dao
