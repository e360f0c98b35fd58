#include "jet/storage/lock_file.h"

#include <algorithm>
#include <cstring>

#include "jet/base/error.h"

namespace jet {

namespace {

constexpr size_t kNameSize = 32;

}  // namespace

void LockFile::ThrowInUse(const std::string& database_path) {
  throw Error(
      kErrFileInUse,
      "'" + database_path +
          "' 데이터베이스를 다른 프로그램이 사용 중입니다. 그 프로그램을 "
          "닫은 뒤 다시 실행하십시오.");
}

std::array<char, 64> LockFile::UserEntry(const std::string& computer) {
  std::array<char, 64> entry = {};
  std::memcpy(entry.data(), computer.data(),
              std::min(computer.size(), kNameSize - 1));
  std::memcpy(entry.data() + kNameSize, "Admin", 5);
  return entry;
}

std::string LockFileName(const std::string& database_path) {
  // The last three characters, not bytes: a UTF-8 character may take more.
  size_t end = database_path.size();
  for (int chars = 0; chars < 3 && end > 0; ++chars) {
    --end;
    while (end > 0 &&
           (static_cast<unsigned char>(database_path[end]) & 0xC0) == 0x80)
      --end;
  }
  return database_path.substr(0, end) + "ldb";
}

}  // namespace jet
