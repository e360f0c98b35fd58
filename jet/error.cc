#include "jet/error.h"

namespace jet {

void ThrowDamaged(const std::string& detail) {
  throw Error(kErrDamagedFile,
              "데이터베이스 파일이 손상되었습니다 (" + detail + ").");
}

}  // namespace jet
