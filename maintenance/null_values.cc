#include "maintenance/null_values.h"

#include <memory>

#include "maintenance/engine/field_type_code.h"
#include "maintenance/number_text.h"
#include "maintenance/sweep.h"

namespace maintenance {

namespace {

// The value a Null field of type `type` is replaced with; the engine turns
// the integer into the field's own type.
jet::Value Replacement(dao::FieldTypeCode type) {
  if (type == dao::dbText || type == dao::dbMemo) return std::string();
  return int16_t{0};
}

}  // namespace

std::string NullRemovalMessage(const std::string& path, float null_record_count,
                               int64_t left_null) {
  if (null_record_count == 0 && left_null == 0) {
    return "'" + path + "' 에는 Null데이타가 없습니다.";
  }
  std::string text = "'" + path + "' 데이타에서 " +
                     GeneralNumberText(null_record_count) +
                     "개 레코드의 Null값을 제거하였습니다.";
  if (left_null > 0) {
    text += "\n바꿀 수 없는 Null값 " + std::to_string(left_null) +
            "개는 그대로 두었습니다.";
  }
  return text;
}

Outcome RemoveNullValues(UserInterface& ui, const std::string& connect) {
  const std::string path = ui.ChooseDatabaseFile(kNullRemovalTitle);
  if (path.empty()) return Outcome::kCancelled;
  return RunSweep(
      ui, path, connect, kNullRemovalNotice, [&](dao::Database& db) {
        const int last = db.TableDefs().Count() - 1;
        std::unique_ptr<dao::Recordset> rs;
        for (int i = 0; i <= last; ++i) {
          if (IsSystemTableName(db.TableDefs()(i).Name())) continue;
          rs = db.OpenRecordset(db.TableDefs()(i).Name(), dao::dbOpenDynaset);
          if (!(rs->RecordCount() > 0)) continue;
          // A single-precision count, as the message has always shown it: past
          // 2^24 records it stops growing.
          float null_record_count = 0;
          int64_t left_null = 0;
          while (!rs->Eof()) {
            bool counted = false;
            const int last_field = rs->Fields().Count() - 1;
            for (int j = 0; j <= last_field; ++j) {
              if (!rs->Fields(j).IsNull()) continue;
              const bool replaced = EditField(*rs, j, [](dao::Field field) {
                field.SetValue(Replacement(field.Type()));
              });
              if (!replaced) {
                ++left_null;
              } else if (!counted) {
                counted = true;
                null_record_count += 1.0f;
              }
            }
            rs->MoveNext();
          }
          ui.ShowMessage(
              NullRemovalMessage(path, null_record_count, left_null));
        }
      });
}

}  // namespace maintenance
