// The engine database shared by a Database and its recordsets, so that a
// recordset left open after Close raises an error instead of touching a
// closed file. It also knows the open recordsets, whose last record's
// updates are written when the database closes.
#ifndef MDBCARE_MAINTENANCE_ENGINE_CONNECTION_H_
#define MDBCARE_MAINTENANCE_ENGINE_CONNECTION_H_

#include <memory>
#include <vector>

#include "jet/database/database.h"

namespace dao {

class Recordset;

struct Connection {
  std::unique_ptr<jet::Database> db;
  bool closed = false;
  std::vector<Recordset*> recordsets;
};

// Raised for a database or recordset used after Close.
[[noreturn]] void ThrowObjectClosed();

}  // namespace dao

#endif  // MDBCARE_MAINTENANCE_ENGINE_CONNECTION_H_
