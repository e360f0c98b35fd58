#include "maintenance/trim_spaces.h"

#include <memory>

#include "maintenance/engine/field_type_code.h"
#include "maintenance/sweep.h"

namespace maintenance {

namespace {

bool IsTextType(dao::FieldTypeCode type) {
  return type == dao::dbText || type == dao::dbMemo;
}

// The types whose Null is filled with the integer 0. Fixed binary (9) and
// every code past 12 but GUID stay Null.
bool TakesZeroForNull(dao::FieldTypeCode type) {
  return (type >= dao::dbBoolean && type <= dao::dbDate) ||
         type == dao::dbLongBinary || type == dao::dbGUID;
}

}  // namespace

std::string TrimmedOfSpaces(const std::string& text) {
  const size_t first = text.find_first_not_of(' ');
  if (first == std::string::npos) return std::string();
  const size_t last = text.find_last_not_of(' ');
  return text.substr(first, last - first + 1);
}

std::string TrimClosingMessage(const std::string& path) {
  return "'" + path + "' 의 스페이스를 모두 제거하였습니다";
}

Outcome TrimSpaces(UserInterface& ui, const std::string& connect) {
  const std::string path = ui.ChooseDatabaseFile(kTrimTitle);
  if (path.empty()) return Outcome::kCancelled;
  return RunSweep(ui, path, connect, kTrimNotice, [&](dao::Database& db) {
    const int last = db.TableDefs().Count() - 1;
    std::unique_ptr<dao::Recordset> rs;
    for (int i = 0; i <= last; ++i) {
      if (IsSystemTableName(db.TableDefs()(i).Name())) continue;
      rs = db.OpenRecordset(db.TableDefs()(i).Name(), dao::dbOpenDynaset);
      if (!(rs->RecordCount() > 0)) continue;
      while (!rs->Eof()) {
        const int field_count = rs->Fields().Count();
        for (int j = 0; j < field_count; ++j) {
          const jet::Value value = rs->Fields(j).Value();
          // A refused value stays as it was; the walk goes on either way.
          EditField(*rs, j, [&value](dao::Field field) {
            const dao::FieldTypeCode type = field.Type();
            if (jet::IsNull(value)) {
              if (IsTextType(type)) {
                field.SetValue(std::string());
              } else if (TakesZeroForNull(type)) {
                field.SetValue(int16_t{0});
              }
            } else if (IsTextType(type)) {
              if (const auto* text = std::get_if<std::string>(&value)) {
                field.SetValue(TrimmedOfSpaces(*text));
              }
            }
          });
        }
        rs->MoveNext();
      }
    }
    ui.ShowMessage(TrimClosingMessage(path));
  });
}

}  // namespace maintenance
