// What a database holds, read with the engine's own read side (not through
// the interface under test), for checking a sweep's work.
#ifndef MDBCARE_TESTS_MAINTENANCE_TABLE_CENSUS_H_
#define MDBCARE_TESTS_MAINTENANCE_TABLE_CENSUS_H_

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "jet/base/value.h"

namespace testing_support {

struct TableContents {
  std::string name;
  bool local = true;                          // its rows are in this file
  std::vector<uint8_t> types;                 // column type bytes
  std::vector<std::vector<jet::Value>> rows;  // in storage order

  bool HasNull() const;
  bool HasPaddedText() const;  // a text with a space at either end
};

// The user tables (names not beginning with "MSys"), in table order.
std::vector<TableContents> ReadUserTables(const std::filesystem::path& path,
                                          const std::string& connect);

// The connect string that opens a corpus file.
std::string ConnectFor(const std::filesystem::path& file);

std::vector<uint8_t> FileBytes(const std::filesystem::path& path);

// Equality in which a NaN equals a NaN of the same bits (real files hold
// NaN doubles).
bool SameValue(const jet::Value& a, const jet::Value& b);

}  // namespace testing_support

#endif  // MDBCARE_TESTS_MAINTENANCE_TABLE_CENSUS_H_
