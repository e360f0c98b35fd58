// The test process's one QApplication, made on first use, on the offscreen
// platform (CTest sets QT_QPA_PLATFORM; run by hand the binary picks it).
#ifndef MDBCARE_TESTS_APP_QT_APPLICATION_H_
#define MDBCARE_TESTS_APP_QT_APPLICATION_H_

#include <QApplication>

namespace testing_support {

inline void StartTestApplication() {
  static QApplication* application = [] {
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
      qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    static int argc = 1;
    static char name[] = "app_tests";
    static char* argv[] = {name, nullptr};
    return new QApplication(argc, argv);  // lives until the process ends
  }();
  (void)application;
}

}  // namespace testing_support

#endif  // MDBCARE_TESTS_APP_QT_APPLICATION_H_
