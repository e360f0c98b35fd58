#include "cli/keys_command.h"

#include <cstdio>
#include <map>

#include "cli/json_value.h"
#include "jet/database.h"
#include "jet/error.h"
#include "jet/index_key_encoder.h"
#include "jet/index_reader.h"

namespace cli {

namespace {

std::string Hex(const std::vector<uint8_t>& bytes) {
  std::string s;
  char buf[4];
  for (uint8_t b : bytes) {
    std::snprintf(buf, sizeof buf, "%02x", b);
    s += buf;
  }
  return s;
}

// The sort order a key depends on: that of its first text column, or
// "numbers" when it has none.
std::string OrderName(const jet::TableDefinition& def, const jet::RealIndex& index) {
  for (const auto& ic : index.columns) {
    for (const auto& col : def.columns) {
      if (col.number == ic.column_number &&
          (col.type == static_cast<uint8_t>(jet::ColumnType::kText) ||
           col.type == static_cast<uint8_t>(jet::ColumnType::kMemo))) {
        return "text " + std::to_string(col.sort_order);
      }
    }
  }
  return "numbers";
}

}  // namespace

KeyCounts ReportIndexKeys(jet::Database& db, bool verbose, std::ostream& out) {
  KeyCounts total;
  std::map<std::string, KeyCounts> by_order;
  for (const jet::CatalogEntry& entry : db.tables()) {
    if (!entry.is_local_table()) continue;
    std::unique_ptr<jet::Table> table = db.OpenTable(entry.name);
    const jet::TableDefinition& def = table->definition();
    for (size_t i = 0; i < def.real_indexes.size(); ++i) {
      const jet::RealIndex& index = def.real_indexes[i];
      KeyCounts& counts = by_order[OrderName(def, index)];
      std::vector<jet::IndexEntry> entries;
      try {
        entries = jet::ReadIndexEntries(db.pager(), db.version(), index.first_page);
      } catch (const jet::Error& e) {
        out << entry.name << " index " << i << ": " << e.description() << "\n";
        ++total.mismatched;
        continue;
      }
      for (const jet::IndexEntry& e : entries) {
        std::vector<jet::Value> row;
        try {
          row = table->ReadRow(e.row);
        } catch (const jet::Error& err) {
          out << entry.name << " index " << i << ": entry for missing row "
              << e.row.page << ":" << int(e.row.row) << "\n";
          ++counts.mismatched;
          continue;
        }
        auto key = jet::EncodeIndexKey(def, index, row, db.version());
        if (!key) {
          ++counts.unencodable;
          if (verbose) out << entry.name << " index " << i << ": unencodable " << Hex(e.key) << "\n";
        } else if (*key == e.key) {
          ++counts.matched;
        } else {
          ++counts.mismatched;
          out << entry.name << " index " << i << " row " << e.row.page << ":"
              << int(e.row.row) << ": file " << Hex(e.key) << " ours " << Hex(*key) << "\n";
        }
      }
    }
  }
  for (const auto& [order, c] : by_order) {
    out << "  " << order << ": matched=" << c.matched << " mismatched=" << c.mismatched
        << " unencodable=" << c.unencodable << "\n";
    total.matched += c.matched;
    total.mismatched += c.mismatched;
    total.unencodable += c.unencodable;
  }
  out << "keys matched=" << total.matched << " mismatched=" << total.mismatched
      << " unencodable=" << total.unencodable << "\n";
  return total;
}

}  // namespace cli
