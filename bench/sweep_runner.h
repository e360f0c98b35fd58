// The window's two sweeps run by a benchmark: a user interface that answers
// as a person would (the file chosen is the one at hand, messages are kept),
// and one sweep on a file, timed.
#ifndef MDBCARE_BENCH_SWEEP_RUNNER_H_
#define MDBCARE_BENCH_SWEEP_RUNNER_H_

#include <string>
#include <vector>

#include "maintenance/user_interface.h"

namespace bench {

class SilentUserInterface : public maintenance::UserInterface {
 public:
  explicit SilentUserInterface(std::string path) : path_(std::move(path)) {}

  std::string ChooseDatabaseFile(const std::string&) override { return path_; }
  void ShowMessage(const std::string& text) override {
    messages_.push_back(text);
  }
  void DisplayWithDoEvents(const std::string&) override {}
  void UnloadProgressNotice() override {}
  void SetMousePointer(maintenance::MousePointer) override {}

  const std::vector<std::string>& messages() const { return messages_; }

 private:
  std::string path_;
  std::vector<std::string> messages_;
};

// Runs the sweep `name` ("nulls" or "trim") on `path` and leaves its
// seconds in `seconds`; with `report`, prints its messages (one line each,
// as `NAME_message: ...`) and the file's size afterwards. Without
// `journal`, the database is written without its rollback journal; with
// `journal_peak_bytes`, the journal file's largest size seen is left
// there. Returns 0 when the sweep completed, 1 otherwise.
int TimedSweep(const std::string& name, const std::string& path, bool report,
               double& seconds, bool journal = true,
               double* journal_peak_bytes = nullptr);

}  // namespace bench

#endif  // MDBCARE_BENCH_SWEEP_RUNNER_H_
