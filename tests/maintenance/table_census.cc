#include "tests/maintenance/table_census.h"

#include <cstring>
#include <fstream>
#include <iterator>

#include "jet/database/database.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"
#include "maintenance/engine/db_engine.h"
#include "tests/support/corpus.h"

namespace testing_support {

bool TableContents::HasNull() const {
  for (const auto& row : rows) {
    for (const jet::Value& v : row) {
      if (jet::IsNull(v)) return true;
    }
  }
  return false;
}

bool TableContents::HasPaddedText() const {
  for (const auto& row : rows) {
    for (const jet::Value& v : row) {
      const auto* t = std::get_if<std::string>(&v);
      if (t && !t->empty() && (t->front() == ' ' || t->back() == ' ')) {
        return true;
      }
    }
  }
  return false;
}

std::vector<TableContents> ReadUserTables(const std::filesystem::path& path,
                                          const std::string& connect) {
  jet::OpenOptions options;
  options.connect = connect;
  auto db = jet::Database::Open(path.string(), options);
  std::vector<TableContents> tables;
  for (const jet::CatalogEntry& entry : db->tables()) {
    if (entry.name.compare(0, 4, "MSys") == 0) continue;
    TableContents t{entry.name, entry.is_local_table(), {}, {}};
    if (t.local) {
      jet::TableDefinition def = db->ReadTableDefinition(entry);
      for (const auto& c : def.columns) t.types.push_back(c.type);
      jet::TableScan scan(db->pager(), db->version(), def);
      while (scan.Next()) {
        std::vector<jet::FieldBytes> fields = scan.Fields();
        std::vector<jet::Value>& row = t.rows.emplace_back();
        for (size_t k = 0; k < fields.size(); ++k) {
          row.push_back(
              jet::DecodeValue(fields[k], def.columns[k], db->value_context()));
        }
      }
    }
    tables.push_back(std::move(t));
  }
  return tables;
}

std::string ConnectFor(const std::filesystem::path& file) {
  std::string password = CorpusPassword(file);
  return password.empty() ? std::string(dao::ConnectString)
                          : ";pwd=" + password;
}

std::vector<uint8_t> FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

bool SameValue(const jet::Value& a, const jet::Value& b) {
  if (a.index() != b.index()) return false;
  if (const auto* x = std::get_if<double>(&a)) {
    return std::memcmp(x, &std::get<double>(b), sizeof *x) == 0;
  }
  if (const auto* x = std::get_if<float>(&a)) {
    return std::memcmp(x, &std::get<float>(b), sizeof *x) == 0;
  }
  return a == b;
}

}  // namespace testing_support
