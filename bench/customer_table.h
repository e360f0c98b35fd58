// The table the write benchmarks fill: customers of a Korean business, ten
// columns (Long primary key, texts of Hangul and Latin, a memo, a double, a
// date, a Yes/No, a currency) with three indexes (the primary key, one over
// a text, one over a text and the date), and a database of it built with
// the engine's own CreateDatabase, CreateTable and InsertRows.
#ifndef MDBCARE_BENCH_CUSTOMER_TABLE_H_
#define MDBCARE_BENCH_CUSTOMER_TABLE_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "bench/bench_support.h"
#include "jet/base/value.h"
#include "jet/database/table_builder.h"

namespace bench {

inline constexpr char kCustomerTableName[] = "고객";

// Column positions in the table.
enum CustomerColumn : size_t {
  kId,
  kName,    // indexed alone
  kRegion,  // indexed with kJoined
  kCode,
  kNote,  // memo
  kScore,
  kJoined,
  kActive,
  kBalance,
  kComment,
};

jet::TableDescription CustomerTable();
std::vector<jet::Value> CustomerRow(TextMaker& text, int32_t id);

// Fills a new Jet 4 database at `path` in `sort_order` until its file
// reaches `mb` MB; prints the build's figures as `key: value` lines.
// Returns the exit status of the phase.
int BuildCustomerDatabase(const std::string& path, double mb,
                          uint16_t sort_order);

// The integrity check and index key report over `path`, each line printed
// with `prefix` and ": " before it (at most 20 findings); the check's exit
// status.
int CheckDatabaseFile(const std::string& path,
                      const std::string& prefix = "check");

}  // namespace bench

#endif  // MDBCARE_BENCH_CUSTOMER_TABLE_H_
