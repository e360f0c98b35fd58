#include "bench/sweep_runner.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <thread>

#include "bench/bench_support.h"
#include "jet/storage/journal.h"
#include "maintenance/engine/db_engine.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"

namespace bench {

namespace {

// Watches the journal beside a database while a sweep runs. The journal
// file only grows while the database is open (a group's end zeroes its
// header, it is not cut), so its largest size is its size just before it
// is removed at the close; a look every millisecond sees that.
class JournalWatch {
 public:
  explicit JournalWatch(std::string journal_path)
      : path_(std::move(journal_path)), thread_([this] { Watch(); }) {}
  ~JournalWatch() { Stop(); }

  double Stop() {
    done_ = true;
    if (thread_.joinable()) thread_.join();
    return static_cast<double>(peak_);
  }

 private:
  void Watch() {
    while (!done_) {
      std::error_code error;
      const uintmax_t size = std::filesystem::file_size(path_, error);
      if (!error) peak_ = std::max(peak_, size);
      std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
  }

  std::string path_;
  std::atomic<bool> done_{false};
  uintmax_t peak_ = 0;
  std::thread thread_;
};

}  // namespace

int TimedSweep(const std::string& name, const std::string& path, bool report,
               double& seconds, bool journal, double* journal_peak_bytes) {
  SilentUserInterface ui(path);
  dao::DBEngine::Get().SetJournal(journal);
  std::optional<JournalWatch> watch;
  if (journal_peak_bytes) watch.emplace(jet::JournalPath(path));
  Clock::time_point start = Clock::now();
  maintenance::Outcome outcome = name == "nulls"
                                     ? maintenance::RemoveNullValues(ui)
                                     : maintenance::TrimSpaces(ui);
  seconds = Since(start);
  if (watch) *journal_peak_bytes = watch->Stop();
  if (report) {
    for (const std::string& m : ui.messages()) {
      std::string one_line = m;
      std::replace(one_line.begin(), one_line.end(), '\n', ' ');
      std::printf("%s_message: %s\n", name.c_str(), one_line.c_str());
    }
    std::printf("%s_file_bytes_after: %ju\n", name.c_str(),
                static_cast<uintmax_t>(std::filesystem::file_size(path)));
  }
  return outcome == maintenance::Outcome::kCompleted ? 0 : 1;
}

}  // namespace bench
