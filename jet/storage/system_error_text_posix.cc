#include "jet/storage/system_error_text.h"

#include <cerrno>
#include <cstring>

namespace jet {

std::string SystemErrorText(int error_number) {
  switch (error_number) {
    case ENOSPC:
      return "디스크 공간이 부족합니다";
    case EDQUOT:
      return "디스크 사용 한도를 넘었습니다";
    case EFBIG:
      return "파일 크기 한도를 넘었습니다";
    case EACCES:
    case EPERM:
      return "권한이 없습니다";
    case EROFS:
      return "읽기 전용 디스크입니다";
    case ENOENT:
      return "파일이나 폴더가 없습니다";
    case EIO:
      return "디스크 입출력 오류입니다";
    case EISDIR:
      return "폴더입니다";
    case EBUSY:
    case ETXTBSY:
      return "사용 중입니다";
    case ENAMETOOLONG:
      return "이름이 너무 깁니다";
    default:
      return "시스템 오류 " + std::to_string(error_number) + " (" +
             std::strerror(error_number) + ")";
  }
}

}  // namespace jet
