#include "jet/table.h"

#include "jet/database.h"
#include "jet/error.h"
#include "jet/value_codec.h"

namespace jet {

Table::Table(Database& db, CatalogEntry entry, TableDefinition definition)
    : db_(db), entry_(std::move(entry)), definition_(std::move(definition)) {}

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

void Table::UpdateRow(RowPointer, const std::vector<ColumnChange>&) {
  throw Error(kErrUnsupportedFeature, "이 엔진은 아직 행을 고칠 수 없습니다.");
}

RowPointer Table::InsertRow(const std::vector<Value>&) {
  throw Error(kErrUnsupportedFeature, "이 엔진은 아직 행을 추가할 수 없습니다.");
}

}  // namespace jet
