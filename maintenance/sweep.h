// What the Null-value removal and the space trimming share: which tables
// they walk, which refusals they step over, and how a sweep opens, ends and
// reports an engine error.
#ifndef MDBCARE_MAINTENANCE_SWEEP_H_
#define MDBCARE_MAINTENANCE_SWEEP_H_

#include <functional>
#include <string>

#include "jet/base/error.h"
#include "maintenance/engine/database.h"
#include "maintenance/engine/recordset.h"
#include "maintenance/user_interface.h"

namespace maintenance {

// System tables: the first four characters are "MSys", in exactly that
// letter case ("msysLower" is a user table).
bool IsSystemTableName(const std::string& name);

// Whether `error` is a table's own rule refusing a value (a duplicate in a
// unique index, zero-length text where it is not allowed, a required
// field): the sweeps leave such a field as it was and go on.
bool IsRefusedByTableRules(const jet::Error& error);

// The message box text for an error that stopped a sweep.
std::string SweepErrorMessage(int number, const std::string& description);

// One edit-and-update cycle on field `index` of the current record: Edit,
// then `assign` (which sets the field's value or leaves it), then Update.
// Returns false, with the edit cancelled and the field as it was, when the
// field's type cannot take the value (3421) or the table's rules refuse it;
// any other error goes to the caller.
bool EditField(dao::Recordset& rs, int index,
               const std::function<void(dao::Field)>& assign);

// Runs a sweep over the database at `path`: shows the progress notice with
// `notice`, opens the database for writing with `connect`, runs `walk`,
// then removes the notice and closes the database. An engine error on the
// way stops the walk where it is (what was written stays), removes the
// notice, closes the database and shows one message with the error's
// number and description; the result is then kFailed.
Outcome RunSweep(UserInterface& ui, const std::string& path,
                 const std::string& connect, const std::string& notice,
                 const std::function<void(dao::Database&)>& walk);

}  // namespace maintenance

#endif  // MDBCARE_MAINTENANCE_SWEEP_H_
