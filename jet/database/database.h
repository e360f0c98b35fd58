// An open database file: its header, pager and catalog. The entry point of
// the engine's read side.
//
// Opening a database beside which a journal of a cut-off write group was
// left (journal.h) first rolls that group back, whether the database is
// opened for reading or writing, unless another program holds the database
// open. Raises 3051 when the group must be rolled back and the file or its
// folder cannot be written.
#ifndef MDBCARE_JET_DATABASE_DATABASE_H_
#define MDBCARE_JET_DATABASE_DATABASE_H_

#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "jet/schema/catalog.h"
#include "jet/storage/database_header.h"
#include "jet/base/error.h"
#include "jet/storage/lock_file.h"
#include "jet/rows/long_value.h"
#include "jet/storage/pager.h"
#include "jet/database/table.h"
#include "jet/rows/table_definition.h"
#include "jet/rows/value_codec.h"

namespace jet {

struct OpenOptions {
  std::string connect;  // e.g. ";pwd=7316"; its password is checked
  // Open for row writes: the lock file is kept beside the database while it
  // is open, and a database another program holds open is refused.
  bool writable = false;
  size_t cache_pages = Pager::kDefaultCachePages;
  // Changed pages kept in memory before they are written out (pager.h).
  size_t max_pinned_pages = Pager::kMaxPinnedPages;
  // For a compaction that saves what a damaged file holds: catalog rows
  // that cannot be read whole are left out (catalog_damaged() tells).
  bool salvage = false;
  // Keeps a rollback journal while writing (journal.h). Without it a crash
  // may leave a half-written group in the file; only benchmarks turn it
  // off, to measure what the journal costs.
  bool journal = true;
};

class Database {
 public:
  // Opens `path` for reading. Raises 3024 (no such file), 3051 (cannot be
  // opened), 3343 (not a Jet 3 / Jet 4 file), 3031 (wrong password) or 3049
  // (damaged).
  static std::unique_ptr<Database> Open(const std::string& path,
                                        const OpenOptions& options = {});

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;
  ~Database();

  // Writes every completed change to the file and releases the lock file.
  // The destructor does the same; Close() reports its errors. When the
  // writing fails, the file is rolled back to the last durable point
  // before the error is raised.
  void Close();
  // Writes every completed change to the file: the index changes the
  // tables have gathered, then the changed pages; a durable point.
  void Flush();
  // A durable point where the tables allow one: when no table holds
  // gathered index changes, every change is written and synced, and the
  // journal group ends (pager.h). Tables call it once their index changes
  // are written.
  void DurablePointIfWhole();

  // Tables that write rows attach themselves while they live, so that
  // Flush() and Close() write their gathered index changes. An error a
  // table met writing them when it was destroyed is kept and raised by
  // the next Flush() or Close().
  void AttachWriter(Table* table) { writers_.insert(table); }
  void DetachWriter(Table* table) { writers_.erase(table); }
  void KeepDeferredError(const Error& error) {
    if (!deferred_error_) deferred_error_ = error;
  }
  bool writable() const { return writable_; }

  const std::string& path() const { return path_; }
  const DatabaseHeader& header() const { return header_; }
  JetVersion version() const { return header_.version; }
  Pager& pager() { return *pager_; }

  const std::vector<CatalogEntry>& catalog() const { return catalog_; }
  // Opened with OpenOptions::salvage: whether catalog rows were left out.
  bool catalog_damaged() const { return catalog_damaged_; }
  // Tables (system tables included) in name order.
  const std::vector<CatalogEntry>& tables() const { return tables_; }
  // The table named `name`, compared case-insensitively; raises 3078.
  const CatalogEntry& FindTable(const std::string& name) const;

  // The definition of a local table; raises 3251 for a linked table.
  TableDefinition ReadTableDefinition(const CatalogEntry& table);

  // The table named `name` (compared case-insensitively) for reading and,
  // in a database opened for writing, for row writes. Raises 3078 or 3251.
  std::unique_ptr<Table> OpenTable(const std::string& name);

  // Sets the database password ("" removes it); the database must be open
  // for writing. Raises 3251 for more than 20 characters.
  void SetPassword(const std::string& password);

  ValueContext value_context() const {
    return ValueContext{header_.version, header_.code_page, &long_values_};
  }

 private:
  Database(std::string path, DatabaseHeader header,
           std::unique_ptr<Pager> pager);

  std::string path_;
  DatabaseHeader header_;
  std::unique_ptr<Pager> pager_;
  LongValueReader long_values_;
  std::vector<CatalogEntry> catalog_;
  bool catalog_damaged_ = false;
  std::vector<CatalogEntry> tables_;
  bool writable_ = false;
  std::unique_ptr<LockFile> lock_;  // held while open for writing
  std::unique_ptr<Journal> journal_;  // while open for writing
  std::set<Table*> writers_;
  std::optional<Error> deferred_error_;
};

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_DATABASE_H_
