#include "bench/sweep_runner.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>

#include "bench/bench_support.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"

namespace bench {

int TimedSweep(const std::string& name, const std::string& path, bool report,
               double& seconds) {
  SilentUserInterface ui(path);
  Clock::time_point start = Clock::now();
  maintenance::Outcome outcome = name == "nulls"
                                     ? maintenance::RemoveNullValues(ui)
                                     : maintenance::TrimSpaces(ui);
  seconds = Since(start);
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
