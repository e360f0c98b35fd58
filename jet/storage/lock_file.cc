#include "jet/storage/lock_file.h"

namespace jet {

std::string LockFileName(const std::string& database_path) {
  // The last three characters, not bytes: a UTF-8 character may take more.
  size_t end = database_path.size();
  for (int chars = 0; chars < 3 && end > 0; ++chars) {
    --end;
    while (end > 0 && (static_cast<unsigned char>(database_path[end]) & 0xC0) == 0x80) --end;
  }
  return database_path.substr(0, end) + "ldb";
}

}  // namespace jet
