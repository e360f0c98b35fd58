#include "maintenance/trim_spaces.h"

#include <memory>
#include <optional>

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

// What the trim assigns to a field: "" or 0 for Null (by type), the
// trimmed text for a text with a space at either end; nothing where it
// would assign nothing or the same text. A text without such a space is
// not read out.
std::optional<jet::Value> TrimReplacement(const dao::Field& field) {
  const dao::FieldTypeCode type = field.Type();
  if (field.IsNull()) {
    if (IsTextType(type)) return jet::Value(std::string());
    if (TakesZeroForNull(type)) return jet::Value(int16_t{0});
    return std::nullopt;
  }
  if (!IsTextType(type) || !field.HasOuterSpace()) return std::nullopt;
  const jet::Value value = field.Value();
  const auto* text = std::get_if<std::string>(&value);
  if (!text) return std::nullopt;
  return jet::Value(TrimmedOfSpaces(*text));
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
          const std::optional<jet::Value> replacement =
              TrimReplacement(rs->Fields(j));
          // An edit that would assign nothing, or the value already there,
          // writes nothing: it is left out. A refused value stays as it
          // was; the walk goes on either way.
          if (!replacement) continue;
          EditField(*rs, j, [&replacement](dao::Field field) {
            field.SetValue(*replacement);
          });
        }
        rs->MoveNext();
      }
    }
    ui.ShowMessage(TrimClosingMessage(path));
  });
}

}  // namespace maintenance
