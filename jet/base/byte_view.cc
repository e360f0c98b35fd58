#include "jet/base/byte_view.h"

namespace jet {

void ByteView::ThrowOutOfRange(size_t offset, size_t length, size_t size) {
  ThrowDamaged("범위를 벗어난 위치 " + std::to_string(offset) + "+" +
               std::to_string(length) + ", 크기 " + std::to_string(size));
}

}  // namespace jet
