// Compaction of a database file in place (button 2). The engine writes a
// compacted copy beside the file under TempCompactName; the copy is checked
// against the original, flushed to disk, and then takes the original's
// name in one rename over it, so that the path holds the old or the new
// complete database at every moment. A damaged file is salvaged (jet/
// database/compact.h): then the damaged original stays beside the file
// under DamagedOriginalName, since what was left out cannot be had back
// otherwise, and the message says what was lost.
#ifndef MDBCARE_MAINTENANCE_KS_H_
#define MDBCARE_MAINTENANCE_KS_H_

#include <cstdint>
#include <string>

#include "jet/database/compact.h"
#include "maintenance/engine/db_engine.h"
#include "maintenance/user_interface.h"

namespace maintenance {

inline constexpr const char kCompactTitle[] = "압축될 데이타베이스 화일열기";

// Asks for the file and compacts it with the lock test on.
Outcome CompactChosenDatabase(UserInterface& ui,
                              const std::string& connect = dao::ConnectString);

namespace Ks {

inline constexpr const char kDatabaseOpenMessage[] =
    "데이타베이스가 열려있으면 실행이 안됩니다.";
inline constexpr const char kCompletedMessage[] = "작업이 완료 되었습니다";

// The engine's lock file: `path` with its last three characters replaced
// by "ldb" ("c:\data\a.mdb" -> "c:\data\a.ldb", "a.MDB" -> "a.ldb").
std::string LockFileName(const std::string& path);
// The compacted copy's name while it is made: `path` + "_".
std::string TempCompactName(const std::string& path);

// Raises an error (3049) unless the database at `copy` opens, the integrity
// checker finds nothing in it, and it holds the tables of the one at `path`
// with as many rows each; both open with `connect`. After a salvage
// (`report` says what was copied) the copy's tables must hold the rows the
// report counts, and the damaged source is not read again.
void CheckCompactedCopy(const std::string& path, const std::string& copy,
                        const std::string& connect,
                        const jet::CompactReport* report = nullptr);

// Where the damaged original is kept beside its repaired copy:
// "c:\data.mdb" -> "c:\data_손상원본.mdb" (then "_손상원본2", ... when
// the name is taken).
std::string DamagedOriginalName(const std::string& path);

// The message after a compaction that salvaged a damaged file: what was
// lost, table by table, and where the original was kept.
std::string SalvageMessage(const jet::CompactReport& report,
                           const std::string& kept_as);

// Compacts `path`. With `checkLock` non-zero a lock file beside it stops
// the procedure with a message before anything happens. Shows the busy
// pointer while it works; reports success or the failure's description in
// one message. `connect` carries the source's password. Where `path` is a
// symbolic link, the file it leads to is compacted (its copy beside it);
// the compacted file keeps the original's permissions.
Outcome CompactDatabaseFile(UserInterface& ui, const std::string& path,
                            int16_t checkLock,
                            const std::string& connect = dao::ConnectString);

}  // namespace Ks
}  // namespace maintenance

#endif  // MDBCARE_MAINTENANCE_KS_H_
