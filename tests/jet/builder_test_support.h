// Helpers of the database and table builder tests: running the outside
// readers (mdbtools, the mdb-reader scripts of tests/oracles) on a file.
#ifndef MDBCARE_TESTS_JET_BUILDER_TEST_SUPPORT_H_
#define MDBCARE_TESTS_JET_BUILDER_TEST_SUPPORT_H_

#ifndef _WIN32
#include <sys/wait.h>
#endif

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

namespace builder_test {

struct CommandResult {
  int status = -1;
  std::string output;  // standard output
};

inline std::string Quote(const std::string& s) {
  std::string q = "'";
  for (char c : s) {
    if (c == '\'') {
      q += "'\\''";
    } else {
      q += c;
    }
  }
  return q + "'";
}

#ifdef _WIN32
// The outside readers are Linux programs: on Windows none is found, and
// the tests that need them skip.
inline CommandResult RunCommand(const std::string&) { return {}; }
#else
inline CommandResult RunCommand(const std::string& command) {
  CommandResult r;
  FILE* pipe = ::popen((command + " 2>/dev/null").c_str(), "r");
  if (!pipe) return r;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0)
    r.output.append(buffer, n);
  int status = ::pclose(pipe);
  r.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return r;
}
#endif

inline bool HaveCommand(const std::string& name) {
  return RunCommand("command -v " + name).status == 0;
}

inline std::filesystem::path OraclesDir() {
  return std::filesystem::path(__FILE__).parent_path().parent_path() /
         "oracles";
}

inline bool HaveMdbtools() {
  return HaveCommand("mdb-json") && HaveCommand("mdb-export") &&
         HaveCommand("mdb-schema") && HaveCommand("mdb-tables");
}

inline bool HaveMdbReader() {
  return HaveCommand("node") &&
         std::filesystem::is_directory(OraclesDir() / "node_modules" /
                                       "mdb-reader");
}

}  // namespace builder_test

#define SKIP_WITHOUT_MDBTOOLS()                                      \
  do {                                                               \
    if (!::builder_test::HaveMdbtools())                             \
      GTEST_SKIP() << "mdbtools (mdb-json, mdb-export, mdb-schema, " \
                      "mdb-tables) not installed: check skipped";    \
  } while (0)

#define SKIP_WITHOUT_MDB_READER()                                            \
  do {                                                                       \
    if (!::builder_test::HaveMdbReader())                                    \
      GTEST_SKIP() << "node or mdb-reader (tests/oracles/node_modules) not " \
                      "installed: check skipped";                            \
  } while (0)

#endif  // MDBCARE_TESTS_JET_BUILDER_TEST_SUPPORT_H_
