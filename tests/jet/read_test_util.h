// Small helpers shared by the read path's tests: whole-file byte access,
// little-endian patching of copies, hand-built column definitions, and a
// reader that decodes every value of every table of an open database.
#ifndef MDBCARE_TESTS_JET_READ_TEST_UTIL_H_
#define MDBCARE_TESTS_JET_READ_TEST_UTIL_H_

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "jet/database/database.h"
#include "jet/rows/table_scan.h"
#include "jet/rows/value_codec.h"

namespace read_test {

inline std::vector<uint8_t> ReadBytes(const std::filesystem::path& p) {
  std::ifstream in(p, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

inline void WriteBytes(const std::filesystem::path& p,
                       const std::vector<uint8_t>& bytes) {
  std::ofstream out(p, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

inline void Put16(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  b.at(at) = static_cast<uint8_t>(v);
  b.at(at + 1) = static_cast<uint8_t>(v >> 8);
}

inline void Put32(std::vector<uint8_t>& b, size_t at, uint32_t v) {
  Put16(b, at, v & 0xFFFF);
  Put16(b, at + 2, v >> 16);
}

// A column as a table definition would describe it.
inline jet::ColumnDefinition Column(const std::string& name,
                                    jet::ColumnType type, uint16_t number,
                                    bool fixed, uint16_t offset_or_index,
                                    uint16_t length) {
  jet::ColumnDefinition c;
  c.name = name;
  c.type = static_cast<uint8_t>(type);
  c.number = number;
  c.column_index = number;
  c.length = length;
  c.flags = jet::column_flags::kNullable;
  if (fixed) {
    c.flags |= jet::column_flags::kFixedLength;
    c.fixed_offset = offset_or_index;
  } else {
    c.variable_index = offset_or_index;
  }
  return c;
}

inline jet::TableDefinition Table(std::vector<jet::ColumnDefinition> cols) {
  jet::TableDefinition def;
  def.columns = std::move(cols);
  for (const auto& c : def.columns) {
    if (!c.is_fixed()) ++def.variable_column_count;
  }
  def.max_columns = static_cast<uint16_t>(def.columns.size());
  return def;
}

using Rows = std::vector<std::vector<jet::Value>>;

// Every row of every local table (system tables included), values decoded,
// keyed by table name. Raises what the engine raises.
inline std::map<std::string, Rows> ReadAllTables(jet::Database& db) {
  std::map<std::string, Rows> out;
  jet::ValueContext context = db.value_context();
  for (const jet::CatalogEntry& entry : db.tables()) {
    if (!entry.is_local_table()) continue;
    jet::TableDefinition def = db.ReadTableDefinition(entry);
    jet::TableScan scan(db.pager(), db.version(), def);
    Rows& rows = out[entry.name];
    while (scan.Next()) {
      std::vector<jet::FieldBytes> fields = scan.Fields();
      std::vector<jet::Value> row;
      for (size_t k = 0; k < fields.size(); ++k) {
        row.push_back(jet::DecodeValue(fields[k], def.columns[k], context));
      }
      rows.push_back(std::move(row));
    }
  }
  return out;
}

inline std::unique_ptr<jet::Database> Open(const std::filesystem::path& p,
                                           const std::string& password = "") {
  jet::OpenOptions options;
  if (!password.empty()) options.connect = ";pwd=" + password;
  return jet::Database::Open(p.string(), options);
}

// The error number Database::Open plus a full read raise; 0 for none.
inline int OpenAndReadError(const std::filesystem::path& p,
                            const std::string& connect = "") {
  try {
    jet::OpenOptions options;
    options.connect = connect;
    auto db = jet::Database::Open(p.string(), options);
    ReadAllTables(*db);
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
}

}  // namespace read_test

#endif  // MDBCARE_TESTS_JET_READ_TEST_UTIL_H_
