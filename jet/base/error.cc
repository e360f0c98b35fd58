#include "jet/base/error.h"

namespace jet {

void ThrowDamaged(const std::string& detail) {
  throw Error(kErrDamagedFile,
              "데이터베이스 파일이 손상되었습니다 (" + detail + ").");
}

void ThrowRowTooLarge() {
  throw Error(kErrUnsupportedFeature,
              "레코드가 너무 큽니다. 한 페이지에 저장할 수 없습니다.");
}

}  // namespace jet
