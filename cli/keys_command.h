// mdbcare-cli keys: every index entry of every table paired with its row,
// its key encoded again from the row's values and compared byte for byte.
#ifndef MDBCARE_CLI_KEYS_COMMAND_H_
#define MDBCARE_CLI_KEYS_COMMAND_H_

#include <ostream>
#include <string>

namespace jet {
class Database;
}

namespace cli {

struct KeyCounts {
  size_t matched = 0;
  size_t mismatched = 0;
  size_t unencodable = 0;
};

// Prints each mismatch (and with `verbose` each unencodable key), a summary
// per sort order, and the closing line
// "keys matched=N mismatched=M unencodable=U".
KeyCounts ReportIndexKeys(jet::Database& db, bool verbose, std::ostream& out);

}  // namespace cli

#endif  // MDBCARE_CLI_KEYS_COMMAND_H_
