// Korean folder and file names: the path the user chose reaches the
// engine, the lock file, the compaction's copy and its rename as it is
// (UTF-8 inside the program, UTF-16 at the Windows API).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "maintenance/ks.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"
#include "tests/maintenance/recording_interface.h"
#include "tests/support/corpus.h"

namespace {

namespace fs = std::filesystem;
using maintenance::Outcome;
using testing_support::RecordingInterface;
using testing_support::Utf8;

bool Recorded(const RecordingInterface& ui, const std::string& call) {
  return std::find(ui.calls.begin(), ui.calls.end(), call) != ui.calls.end();
}

TEST(KoreanPathTest, EveryOperationWorksOnAFileInAKoreanFolder) {
  SKIP_WITHOUT_CORPUS();
  testing_support::TempDir dir;
  const fs::path folder = dir.path() / fs::path(u8"데이타");
  fs::create_directory(folder);
  const fs::path db = folder / fs::path(u8"거래처.mdb");
  fs::copy_file(testing_support::CorpusDir() / "jet4" / "testV2000.mdb", db);
  fs::permissions(db, fs::perms::owner_read | fs::perms::owner_write,
                  fs::perm_options::add);
  const std::string path = Utf8(db);

  RecordingInterface nulls(path);
  EXPECT_EQ(maintenance::RemoveNullValues(nulls), Outcome::kCompleted);
  RecordingInterface trim(path);
  EXPECT_EQ(maintenance::TrimSpaces(trim), Outcome::kCompleted);
  EXPECT_TRUE(Recorded(
      trim, "message '" + path + "' 의 스페이스를 모두 제거하였습니다"));
  RecordingInterface compact(path);
  EXPECT_EQ(maintenance::Ks::CompactDatabaseFile(compact, path, -1),
            Outcome::kCompleted);
  EXPECT_TRUE(Recorded(compact, "message 작업이 완료 되었습니다"));

  // The compacted database alone is left, under its own name.
  std::vector<fs::path> left;
  for (const auto& entry : fs::directory_iterator(folder)) {
    left.push_back(entry.path().filename());
  }
  EXPECT_EQ(left, std::vector<fs::path>{fs::path(u8"거래처.mdb")});
}

}  // namespace
