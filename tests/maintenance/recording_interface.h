// A user interface for tests: answers the file choice with a path given
// beforehand and writes down every call in order, one line each:
// "choose <title>", "notice <message>", "unload", "message <text>",
// "pointer hourglass", "pointer arrow".
#ifndef MDBCARE_TESTS_MAINTENANCE_RECORDING_INTERFACE_H_
#define MDBCARE_TESTS_MAINTENANCE_RECORDING_INTERFACE_H_

#include <string>
#include <vector>

#include "maintenance/user_interface.h"

namespace testing_support {

class RecordingInterface : public maintenance::UserInterface {
 public:
  explicit RecordingInterface(std::string path = "") : path_(std::move(path)) {}

  std::string ChooseDatabaseFile(const std::string& title) override {
    calls.push_back("choose " + title);
    return path_;
  }
  void ShowMessage(const std::string& text) override {
    calls.push_back("message " + text);
  }
  void DisplayWithDoEvents(const std::string& message) override {
    calls.push_back("notice " + message);
  }
  void UnloadProgressNotice() override { calls.push_back("unload"); }
  void SetMousePointer(maintenance::MousePointer pointer) override {
    calls.push_back(pointer == maintenance::MousePointer::kHourglass
                        ? "pointer hourglass"
                        : "pointer arrow");
  }

  std::vector<std::string> calls;

 private:
  std::string path_;
};

}  // namespace testing_support

#endif  // MDBCARE_TESTS_MAINTENANCE_RECORDING_INTERFACE_H_
