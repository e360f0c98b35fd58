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
#ifndef MDBCARE_JET_DATABASE_COMPACT_H_
#define MDBCARE_JET_DATABASE_COMPACT_H_

#include <cstddef>
#include <string>

namespace jet {

// Tuning of a compaction; the defaults are the program's.
struct CompactOptions {
  // Memory a table's collected index entries may take before they go to a
  // temporary file (collected_index_entries.h).
  size_t max_index_entry_bytes = size_t{16} << 20;
};

// Writes the compacted copy of `source` (opened with the password of
// `connect`, e.g. ";pwd=7316") at `destination`, flushed to disk. Raises
// the errors of Database::Open for the source, 3204 when `destination`
// exists (nothing is touched), 3049 when the source cannot be read
// completely, 3043 or 3051 when the copy cannot be written; after any
// error but 3204 no file is left at `destination`.
void CompactDatabase(const std::string& source, const std::string& destination,
                     const std::string& connect,
                     const CompactOptions& options = {});

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_COMPACT_H_
