#include "tests/support/database_check.h"

#include <sstream>

#include "cli/check_command.h"
#include "jet/base/error.h"

namespace testing_support {

::testing::AssertionResult DatabaseChecksClean(
    const std::filesystem::path& path, const std::string& connect) {
  std::ostringstream out;
  int status;
  try {
    status = cli::RunCheck(path.string(), connect, out);
  } catch (const jet::Error& e) {
    return ::testing::AssertionFailure()
           << path << " could not be checked: error " << e.number() << " "
           << e.description();
  } catch (const std::exception& e) {
    return ::testing::AssertionFailure()
           << path << " could not be checked: " << e.what();
  }
  std::string text = out.str();
  // The key report must have run: without its line, keys went unchecked.
  if (status == 0 && text.find("keys matched=") == std::string::npos) {
    return ::testing::AssertionFailure()
           << path << ": the index key report did not run\n" << text;
  }
  if (status != 0) {
    return ::testing::AssertionFailure()
           << path << " does not check clean:\n" << text;
  }
  return ::testing::AssertionSuccess();
}

}  // namespace testing_support
