// Compaction: a new file holding everything a database holds, packed.
//
// The new file keeps the source's definition page as it is (version, code
// page, sort order, database key and so encryption, password, creation
// date). Then come the definitions of every local table, system tables
// included (MSysObjects' at page 2, the others in the order of their pages
// in the source), the pages of their usage maps, and for each table in
// turn its rows packed onto data pages in storage order, its long values
// written again, packed, and each of its indexes built densely from its
// rows (index_bulk_load.h; a large table's entries are sorted through a
// temporary file, collected_index_entries.h). Deleted rows, overflow
// pointers, pages no longer used and free pages do not come along; the
// usage maps and the global page map are made anew, the stored row counts
// are the real ones.
//
// A table's object id is its definition's page, which moves: every id
// column (object_id_columns.h) and every relationship's related table page
// in the definitions is given the new page.
//
// Index keys are made again from the rows; where the key of a row cannot
// be made (a character the sort order tables do not have), the key the
// source's index holds for that row is kept.
//
// A damaged source is salvaged: every structure is checked before it is
// trusted, and damage costs only what it touches (rows/salvage_scan.h for
// rows and pages). A table whose definition cannot be read is lost, with
// its catalog row; a long value that cannot be read whole becomes Null;
// when the catalog itself lost rows, table definitions no catalog row names
// any more are copied under the name "복구된테이블_N". A unique index the
// salvaged rows break is built as an index that is not unique. The copy
// then gets a table MSysCompactError listing what was left out (columns as
// Jet's own: ErrorCode, ErrorDescription, ErrorRecid, ErrorTable).
#ifndef MDBCARE_JET_DATABASE_COMPACT_H_
#define MDBCARE_JET_DATABASE_COMPACT_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/format.h"

namespace jet {

// Tuning of a compaction; the defaults are the program's.
struct CompactOptions {
  // Memory a table's collected index entries may take before they go to a
  // temporary file (collected_index_entries.h).
  size_t max_index_entry_bytes = size_t{16} << 20;
};

// What a compaction copied, and what of a damaged source it left out.
struct CompactReport {
  struct Table {
    std::string name;
    uint64_t rows_copied = 0;
    uint64_t rows_left_out = 0;     // rows that could not be read whole
    uint64_t values_made_null = 0;  // long values that could not be read
    uint64_t damaged_pages = 0;     // pages of the table that were unreadable
    bool map_unreadable = false;    // its usage map: no row could be found
    bool lost = false;              // its definition could not be read
    bool recovered = false;         // copied without its lost catalog row
    std::vector<std::string> made_not_unique;  // unique indexes broken
    // The source's ids (page and slot) of the first rows left out.
    std::vector<RowPointer> rows_listed;
  };
  std::vector<Table> tables;  // every table met, in the catalog's order
  bool catalog_damaged = false;

  // Whether anything was left out or changed because of damage.
  bool salvaged() const;
};

// Writes the compacted copy of `source` (opened with the password of
// `connect`, e.g. ";pwd=7316") at `destination`, flushed to disk, and says
// what it copied. Raises the errors of Database::Open for the source (3049
// when even its header or its catalog's definition cannot be read), 3204
// when `destination` exists (nothing is touched), 3043 or 3051 when the
// copy cannot be written; after any error but 3204 no file is left at
// `destination`.
CompactReport CompactDatabase(const std::string& source,
                              const std::string& destination,
                              const std::string& connect,
                              const CompactOptions& options = {});

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_COMPACT_H_
