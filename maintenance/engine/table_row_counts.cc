#include "maintenance/engine/table_row_counts.h"

#include "jet/database/database.h"
#include "jet/rows/table_scan.h"

namespace dao {

std::vector<TableRowCount> CountTableRows(const std::string& path,
                                          const std::string& connect) {
  jet::OpenOptions options;
  options.connect = connect;
  std::unique_ptr<jet::Database> db = jet::Database::Open(path, options);
  std::vector<TableRowCount> counts;
  for (const jet::CatalogEntry& entry : db->tables()) {
    if (!entry.is_local_table()) continue;
    jet::TableDefinition def = db->ReadTableDefinition(entry);
    jet::TableScan scan(db->pager(), db->version(), def);
    TableRowCount count{entry.name, 0};
    while (scan.Next()) ++count.rows;
    counts.push_back(std::move(count));
  }
  db->Close();
  return counts;
}

}  // namespace dao
