// The number of the engine error an action raises, for tests that check
// which error a refusal gives.
#ifndef MDBCARE_TESTS_SUPPORT_ERROR_NUMBER_H_
#define MDBCARE_TESTS_SUPPORT_ERROR_NUMBER_H_

#include <functional>

#include "jet/base/error.h"

namespace testing_support {

// The jet::Error number `action` raises, or 0 when it raises none.
inline int ErrorNumberOf(const std::function<void()>& action) {
  try {
    action();
  } catch (const jet::Error& e) {
    return e.number();
  }
  return 0;
}

}  // namespace testing_support

#endif  // MDBCARE_TESTS_SUPPORT_ERROR_NUMBER_H_
