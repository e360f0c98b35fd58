// The engine's compaction: reads the database at `source` (opened with the
// password of `connect`, e.g. ";pwd=7316") and writes a compacted copy of
// everything it holds to `destination`, keeping version, sort order and
// password. A `destination` that exists already is an error (3204) and
// changes nothing; after any other failure the destination is removed.
//
// The engine library provides it in jet/compact.h; until that header
// exists, the declaration below stands in and the call raises 3251.
#ifndef MDBCARE_MAINTENANCE_ENGINE_JET_COMPACT_H_
#define MDBCARE_MAINTENANCE_ENGINE_JET_COMPACT_H_

#if __has_include("jet/compact.h")
#include "jet/compact.h"
#else
#define MDBCARE_JET_COMPACT_STAND_IN 1
#include <string>

namespace jet {

void CompactDatabase(const std::string& source, const std::string& destination,
                     const std::string& connect);

}  // namespace jet
#endif

#endif  // MDBCARE_MAINTENANCE_ENGINE_JET_COMPACT_H_
