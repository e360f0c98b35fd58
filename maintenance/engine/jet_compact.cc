#include "maintenance/engine/jet_compact.h"

#ifdef MDBCARE_JET_COMPACT_STAND_IN
#include <filesystem>

#include "jet/error.h"

namespace jet {

void CompactDatabase(const std::string& source, const std::string& destination,
                     const std::string& connect) {
  // The refusals that leave every file as it was come first, as in the
  // engine's own compaction, so that callers see the same errors.
  std::error_code ec;
  if (!std::filesystem::exists(source, ec)) {
    throw Error(kErrFileNotFound, "'" + source + "' 파일을 찾을 수 없습니다.");
  }
  if (std::filesystem::exists(destination, ec)) {
    throw Error(kErrAlreadyExists,
                "'" + destination + "' 데이터베이스가 이미 있습니다.");
  }
  throw Error(kErrUnsupportedFeature,
              "이 엔진은 아직 데이터베이스를 압축할 수 없습니다.");
}

}  // namespace jet
#endif
