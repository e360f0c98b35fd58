// The index key check: for every table (system tables too) and every real
// index of a database, walks the leaf entries, reads the row each entry
// points to, makes the key again from the row's values and compares the
// bytes. It also checks that the entries are in byte order and that each
// row that should have an entry has exactly one (an ignore-nulls index has
// none for a row whose index columns are all Null).
//
// Output: one line per problem (mismatching key: table, index, row, the
// row's index values, the file's bytes and ours in hex; missing, extra or
// duplicate entries; entries out of order; damaged index pages), a summary
// per sort order (entries, matched, mismatched, unencodable, distinct
// characters seen in their text), and last the line
//   keys matched=N mismatched=M unencodable=U
// With `verbose`, also each index with its counts, and the entries whose
// key could not be made with the reason.
#ifndef MDBCARE_CLI_INDEX_KEY_REPORT_H_
#define MDBCARE_CLI_INDEX_KEY_REPORT_H_

#include <cstddef>
#include <map>
#include <ostream>
#include <string>

namespace cli {

struct SortOrderKeyStats {
  size_t entries = 0;
  size_t matched = 0;
  size_t mismatched = 0;
  size_t unencodable = 0;
  size_t distinct_chars = 0;
};

struct IndexKeyReport {
  size_t matched = 0;
  size_t mismatched = 0;
  size_t unencodable = 0;
  size_t missing_entries = 0;   // rows that should have an entry but have none
  size_t extra_entries = 0;     // entries for no row, or a second one
  size_t order_violations = 0;  // entries not after their predecessor
  size_t damaged_indexes = 0;   // indexes whose pages could not be read
  std::map<std::string, SortOrderKeyStats> by_sort_order;

  bool clean() const {
    return mismatched == 0 && missing_entries == 0 && extra_entries == 0 &&
           order_violations == 0 && damaged_indexes == 0;
  }
};

// Checks the database at `path`, writing the report to `out`; `report`
// (when not null) receives the counts. Returns 0 when no key mismatched
// and no entry was missing, extra or out of order, 1 otherwise. Engine
// errors while opening (wrong password, not a database) are raised.
int RunIndexKeyReport(const std::string& path, const std::string& connect,
                      bool verbose, std::ostream& out,
                      IndexKeyReport* report = nullptr);

}  // namespace cli

#endif  // MDBCARE_CLI_INDEX_KEY_REPORT_H_
