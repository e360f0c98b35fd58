// The number of rows of every table a database holds in its own file, for
// checking a copy of a database against its original.
#ifndef MDBCARE_MAINTENANCE_ENGINE_TABLE_ROW_COUNTS_H_
#define MDBCARE_MAINTENANCE_ENGINE_TABLE_ROW_COUNTS_H_

#include <cstdint>
#include <string>
#include <vector>

namespace dao {

struct TableRowCount {
  std::string table;
  uint64_t rows = 0;
  bool operator==(const TableRowCount&) const = default;
};

// Opens `path` read-only with `connect` and counts the rows of each local
// table, system tables included, in table-definition order. Linked tables,
// whose rows are elsewhere, are left out. Raises the engine's errors.
std::vector<TableRowCount> CountTableRows(const std::string& path,
                                          const std::string& connect);

}  // namespace dao

#endif  // MDBCARE_MAINTENANCE_ENGINE_TABLE_ROW_COUNTS_H_
