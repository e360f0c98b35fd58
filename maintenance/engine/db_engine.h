// The top of the engine interface: one DBEngine per process, made on first
// use, through which the maintenance operations open and compact databases.
#ifndef MDBCARE_MAINTENANCE_ENGINE_DB_ENGINE_H_
#define MDBCARE_MAINTENANCE_ENGINE_DB_ENGINE_H_

#include <cstdint>
#include <memory>
#include <string>

#include "jet/database/compact.h"
#include "maintenance/engine/database.h"

namespace dao {

// The connect text every database of the program is opened with: the
// database password after ";pwd=". A database without a password opens
// with it too.
inline constexpr const char ConnectString[] = ";pwd=7316";

class DBEngine {
 public:
  // The process's engine, made by the first call.
  static DBEngine& Get();

  DBEngine(const DBEngine&) = delete;
  DBEngine& operator=(const DBEngine&) = delete;

  // Opens `name` shared (`exclusive` false) and, unless `read_only`, for
  // writing; `connect` carries the password (";pwd=..."). Raises the
  // engine's errors: 3024 no such file, 3031 wrong password, 3045 in use
  // elsewhere, 3049 damaged, 3051 cannot be opened, 3343 not a database;
  // 3251 for an exclusive open, which this engine does not offer.
  std::unique_ptr<Database> OpenDatabase(const std::string& name,
                                         bool exclusive = false,
                                         bool read_only = false,
                                         const std::string& connect = "");

  // Writes a compacted copy of `src_name` to `dst_name`. As in DAO, the
  // source's password travels in `src_locale` (";pwd=..."); the copy keeps
  // the source's password, so `dst_locale` and `options` change nothing.
  // A damaged source is salvaged; the report says what was left out.
  jet::CompactReport CompactDatabase(const std::string& src_name,
                                     const std::string& dst_name,
                                     const std::string& dst_locale = "",
                                     int32_t options = 0,
                                     const std::string& src_locale = "");

  // Whether databases opened from now on keep a rollback journal while
  // writing (the default). Benchmarks turn it off to measure its cost.
  void SetJournal(bool on) { journal_ = on; }

 private:
  DBEngine() = default;

  bool journal_ = true;
};

}  // namespace dao

#endif  // MDBCARE_MAINTENANCE_ENGINE_DB_ENGINE_H_
