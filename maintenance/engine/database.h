// An open database in the shape of DAO's Database: its table definitions
// and its dynasets. Made by DBEngine::OpenDatabase.
#ifndef MDBCARE_MAINTENANCE_ENGINE_DATABASE_H_
#define MDBCARE_MAINTENANCE_ENGINE_DATABASE_H_

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "jet/database/database.h"
#include "jet/schema/catalog.h"
#include "maintenance/engine/recordset.h"

namespace dao {

// Recordset type of OpenRecordset: an updatable dynaset.
inline constexpr int16_t dbOpenDynaset = 2;

class TableDef {
 public:
  explicit TableDef(const jet::CatalogEntry& entry) : entry_(&entry) {}
  const std::string& Name() const { return entry_->name; }

 private:
  const jet::CatalogEntry* entry_;
};

// The table definitions, system tables included, ordered by name compared
// case-insensitively; TableDefs()(i) is the i-th, from 0.
class TableDefCollection {
 public:
  explicit TableDefCollection(const std::vector<jet::CatalogEntry>& tables)
      : tables_(&tables) {}
  int Count() const { return static_cast<int>(tables_->size()); }
  // Raises 3265 for a position outside 0 ... Count() - 1.
  TableDef operator()(int index) const;

 private:
  const std::vector<jet::CatalogEntry>* tables_;
};

class Database {
 public:
  explicit Database(std::unique_ptr<jet::Database> db);
  ~Database();

  Database(const Database&) = delete;
  Database& operator=(const Database&) = delete;

  // Raises 3420 after Close.
  TableDefCollection TableDefs() const;
  // Opens the table `name` (compared case-insensitively) as a dynaset.
  // Raises 3078 for an unknown table, 3251 for a linked table or a type
  // other than dbOpenDynaset, 3420 after Close.
  std::unique_ptr<Recordset> OpenRecordset(const std::string& name,
                                           int16_t type = dbOpenDynaset);
  // Commits what is left and releases the file. A second Close does
  // nothing; recordsets still open raise 3420 from then on.
  void Close();

  const std::string& Name() const { return name_; }

 private:
  void CheckOpen() const;

  std::shared_ptr<Connection> connection_;
  std::string name_;
};

}  // namespace dao

#endif  // MDBCARE_MAINTENANCE_ENGINE_DATABASE_H_
