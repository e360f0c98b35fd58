#include "maintenance/sweep.h"

#include <memory>
#include <new>
#include <optional>

#include "maintenance/engine/db_engine.h"

namespace maintenance {

namespace {

constexpr int kErrOutOfMemory = 7;

// Removes the notice and closes the database after a sweep stopped by an
// error; a second error while closing is not shown, the first one is.
void EndStoppedSweep(UserInterface& ui, dao::Database* db) {
  ui.UnloadProgressNotice();
  if (!db) return;
  try {
    db->Close();
  } catch (const jet::Error&) {
  }
}

}  // namespace

bool IsSystemTableName(const std::string& name) {
  return name.compare(0, 4, "MSys") == 0;
}

bool IsRefusedByTableRules(const jet::Error& error) {
  return error.number() == jet::kErrDuplicateKey ||
         error.number() == jet::kErrZeroLength ||
         error.number() == jet::kErrRequired ||
         error.number() == jet::kErrIndexKeyUnavailable;
}

std::string SweepErrorMessage(int number, const std::string& description) {
  return "오류 " + std::to_string(number) + ": " + description;
}

bool EditField(dao::Recordset& rs, int index,
               const std::function<void(dao::Field)>& assign) {
  rs.Edit();
  try {
    assign(rs.Fields(index));
  } catch (const jet::Error& e) {
    if (e.number() != jet::kErrConversion) throw;
    rs.CancelUpdate();
    return false;
  }
  if (std::optional<jet::Error> refusal = rs.TryUpdate()) {
    if (!IsRefusedByTableRules(*refusal)) throw *refusal;
    rs.CancelUpdate();
    return false;
  }
  return true;
}

Outcome RunSweep(UserInterface& ui, const std::string& path,
                 const std::string& connect, const std::string& notice,
                 const std::function<void(dao::Database&)>& walk) {
  ui.DisplayWithDoEvents(notice);
  std::unique_ptr<dao::Database> db;
  std::string error;
  try {
    db = dao::DBEngine::Get().OpenDatabase(path, false, false, connect);
    walk(*db);
    ui.UnloadProgressNotice();
    db->Close();
    return Outcome::kCompleted;
  } catch (const jet::Error& e) {
    error = SweepErrorMessage(e.number(), e.description());
  } catch (const std::bad_alloc&) {
    error = SweepErrorMessage(kErrOutOfMemory, "메모리가 부족합니다.");
  }
  EndStoppedSweep(ui, db.get());
  ui.ShowMessage(error);
  return Outcome::kFailed;
}

}  // namespace maintenance
