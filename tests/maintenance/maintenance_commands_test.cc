// mdbcare-cli nulls / trim / compact: the messages as lines, the exit
// status, and a password other than the program's own.
#include "cli/maintenance_commands.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using testing_support::CorpusDir;
using testing_support::TempDir;

std::string RunCommand(const std::string& command,
                       const std::vector<fs::path>& files,
                       const std::string& connect, int expected_status) {
  std::vector<std::string> names;
  for (const fs::path& f : files) names.push_back(f.string());
  std::ostringstream out;
  EXPECT_EQ(cli::RunMaintenanceCommand(command, names, connect, out),
            expected_status);
  return out.str();
}

TEST(MaintenanceCommandsTest, EachFileInTurnAndStatusOneAfterAnError) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path a = dir.Copy(CorpusDir() / "korean" / "phoneServerCustomers.mdb");
  fs::path b = dir.Copy(CorpusDir() / "jet4" / "passwordV2000.mdb");
  const std::string none_a =
      "'" + a.string() + "' 에는 Null데이타가 없습니다.\n";
  // TB_CONFIG is empty; b has another password.
  std::string out = RunCommand("nulls", {a, b}, ";pwd=7316", 1);
  EXPECT_EQ(out.rfind(none_a + none_a + "오류 3031: ", 0), 0u) << out;
  EXPECT_EQ(RunCommand("trim", {b}, ";pwd=password", 0),
            "'" + b.string() + "' 의 스페이스를 모두 제거하였습니다\n");
  EXPECT_DATABASE_CHECKS_CLEAN(a);
  EXPECT_DATABASE_CHECKS_CLEAN(b, ";pwd=password");
  EXPECT_TRUE(cli::IsMaintenanceCommand("compact"));
  EXPECT_FALSE(cli::IsMaintenanceCommand("dump"));
}

TEST(MaintenanceCommandsTest, CompactRefusedByALockFile) {
  TempDir dir;
  std::ofstream(dir.path() / "a.mdb") << "x";
  std::ofstream(dir.path() / "a.ldb") << "lock";
  EXPECT_EQ(RunCommand("compact", {dir.path() / "a.mdb"}, ";pwd=7316", 1),
            "데이타베이스가 열려있으면 실행이 안됩니다.\n");
}

}  // namespace
