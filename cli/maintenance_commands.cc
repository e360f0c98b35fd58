#include "cli/maintenance_commands.h"

#include "maintenance/ks.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"
#include "maintenance/user_interface.h"

namespace cli {

namespace {

// The console in place of the window: the "chosen" file is the one given
// on the command line, messages are lines on standard output, and there
// is no notice or pointer to show.
class ConsoleInterface : public maintenance::UserInterface {
 public:
  ConsoleInterface(std::string file, std::ostream& out)
      : file_(std::move(file)), out_(out) {}

  std::string ChooseDatabaseFile(const std::string& title) override {
    return file_;
  }
  void ShowMessage(const std::string& text) override {
    out_ << text << '\n' << std::flush;
  }
  void DisplayWithDoEvents(const std::string& message) override {}
  void UnloadProgressNotice() override {}
  void SetMousePointer(maintenance::MousePointer pointer) override {}

 private:
  std::string file_;
  std::ostream& out_;
};

}  // namespace

bool IsMaintenanceCommand(const std::string& command) {
  return command == "nulls" || command == "trim" || command == "compact";
}

int RunMaintenanceCommand(const std::string& command,
                          const std::vector<std::string>& files,
                          const std::string& connect, std::ostream& out) {
  int status = 0;
  for (const std::string& file : files) {
    ConsoleInterface console(file, out);
    maintenance::Outcome outcome = maintenance::Outcome::kCancelled;
    if (command == "nulls") {
      outcome = maintenance::RemoveNullValues(console, connect);
    } else if (command == "trim") {
      outcome = maintenance::TrimSpaces(console, connect);
    } else if (command == "compact") {
      outcome = maintenance::CompactChosenDatabase(console, connect);
    }
    if (outcome == maintenance::Outcome::kFailed ||
        outcome == maintenance::Outcome::kRefused) {
      status = 1;
    }
  }
  return status;
}

}  // namespace cli
