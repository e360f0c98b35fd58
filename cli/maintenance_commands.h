// The maintenance operations from the command line:
//
//   mdbcare-cli nulls FILE...    Null-value removal
//   mdbcare-cli trim FILE...     space trimming
//   mdbcare-cli compact FILE...  compaction in place
//
// Each FILE takes the place of the file dialog's choice; every message the
// window would show in a message box is printed as a line (a two-line
// message as two lines). A password other than the program's own is given
// as a connect string (";pwd=...").
#ifndef MDBCARE_CLI_MAINTENANCE_COMMANDS_H_
#define MDBCARE_CLI_MAINTENANCE_COMMANDS_H_

#include <ostream>
#include <string>
#include <vector>

namespace cli {

// Whether `command` is one of "nulls", "trim" and "compact".
bool IsMaintenanceCommand(const std::string& command);

// Runs `command` on each file in turn, printing to `out`. Returns 0 when
// every file was done, 1 when an engine error stopped the work on a file
// or compaction was refused because the database is open (the other files
// are still done).
int RunMaintenanceCommand(const std::string& command,
                          const std::vector<std::string>& files,
                          const std::string& connect, std::ostream& out);

}  // namespace cli

#endif  // MDBCARE_CLI_MAINTENANCE_COMMANDS_H_
