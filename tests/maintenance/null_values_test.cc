// Null-value removal: its walk, its messages character for character, and
// how it ends after an engine error.
#include "maintenance/null_values.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "jet/base/error.h"
#include "jet/database/database.h"
#include "tests/maintenance/recording_interface.h"
#include "tests/maintenance/table_census.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using testing_support::ConnectFor;
using testing_support::CorpusDir;
using testing_support::FileBytes;
using testing_support::ReadUserTables;
using testing_support::RecordingInterface;
using testing_support::TableContents;
using testing_support::TempDir;
using Calls = std::vector<std::string>;

const std::string kChoose = "choose Null을 제거할 데이타베이스 화일열기";
const std::string kNotice = "notice Null데이타 제거중...";

std::string NoNullData(const fs::path& path) {
  return "message '" + path.string() + "' 에는 Null데이타가 없습니다.";
}

TEST(NullRemovalMessageTest, Texts) {
  using maintenance::NullRemovalMessage;
  EXPECT_EQ(
      NullRemovalMessage("c:\\data\\a.mdb", 2, 0),
      "'c:\\data\\a.mdb' 데이타에서 2개 레코드의 Null값을 제거하였습니다.");
  EXPECT_EQ(NullRemovalMessage("a.mdb", 10000000, 0),
            "'a.mdb' 데이타에서 1E+07개 레코드의 Null값을 제거하였습니다.");
  EXPECT_EQ(NullRemovalMessage("/자료/가.mdb", 0, 0),
            "'/자료/가.mdb' 에는 Null데이타가 없습니다.");
  EXPECT_EQ(NullRemovalMessage("a.mdb", 5, 3),
            "'a.mdb' 데이타에서 5개 레코드의 Null값을 제거하였습니다.\n"
            "바꿀 수 없는 Null값 3개는 그대로 두었습니다.");
  // Nulls that all had to stay do not make a table "without Null data".
  EXPECT_EQ(NullRemovalMessage("a.mdb", 0, 4),
            "'a.mdb' 데이타에서 0개 레코드의 Null값을 제거하였습니다.\n"
            "바꿀 수 없는 Null값 4개는 그대로 두었습니다.");
}

TEST(RemoveNullValuesTest, CancelledChoiceDoesNothing) {
  RecordingInterface ui("");
  EXPECT_EQ(maintenance::RemoveNullValues(ui),
            maintenance::Outcome::kCancelled);
  EXPECT_EQ(ui.calls, Calls{kChoose});
}

// Missing and damaged files: the notice goes, then one message with the
// engine's number and description; the file is let go.
TEST(RemoveNullValuesTest, EngineErrorEndsWithOneMessage) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  fs::path damaged = dir.Copy(CorpusDir() / "jet4" / "testV2000.mdb");
  fs::resize_file(damaged, 5000);
  for (const fs::path& path : {dir.path() / "없는 파일.mdb", damaged}) {
    std::string expected;
    try {
      jet::Database::Open(path.string());
    } catch (const jet::Error& e) {
      expected =
          "message 오류 " + std::to_string(e.number()) + ": " + e.description();
    }
    RecordingInterface ui(path.string());
    EXPECT_EQ(maintenance::RemoveNullValues(ui), maintenance::Outcome::kFailed);
    EXPECT_EQ(ui.calls, (Calls{kChoose, kNotice, "unload", expected}));
  }
  EXPECT_FALSE(fs::exists(dir.path() / "testV2000.ldb"));
}

// Files whose user tables hold no Null: one message per non-empty user
// table, in table order, while the notice is up; nothing is written.
// Files with only system tables or only empty tables give no message.
TEST(RemoveNullValuesTest, CorpusFilesWithoutNulls) {
  SKIP_WITHOUT_CORPUS();
  int files = 0;
  for (const fs::path& file : testing_support::CorpusFiles()) {
    std::vector<TableContents> tables = ReadUserTables(file, ConnectFor(file));
    bool null_free = true;
    for (const TableContents& t : tables) null_free &= t.local && !t.HasNull();
    if (!null_free) continue;
    SCOPED_TRACE(file.string());
    ++files;
    TempDir dir;
    fs::path copy = dir.Copy(file);
    const std::vector<uint8_t> before = FileBytes(copy);
    RecordingInterface ui(copy.string());
    EXPECT_EQ(maintenance::RemoveNullValues(ui, ConnectFor(file)),
              maintenance::Outcome::kCompleted);
    Calls expected{kChoose, kNotice};
    for (const TableContents& t : tables) {
      if (!t.rows.empty()) expected.push_back(NoNullData(copy));
    }
    expected.push_back("unload");
    EXPECT_EQ(ui.calls, expected);
    EXPECT_TRUE(FileBytes(copy) == before);
  }
  EXPECT_GE(files, 10);  // among them emptyJet4.mdb and emptiedEvents.mdb
}

// Whether `now` is the zero the sweep writes for a Null of column type
// `type`; types that cannot take a zero have none.
bool IsZeroOfType(uint8_t type, const jet::Value& now) {
  switch (type) {
    case 1:
      return now == jet::Value(false);
    case 2:
      return now == jet::Value(uint8_t{0});
    case 3:
      return now == jet::Value(int16_t{0});
    case 4:
      return now == jet::Value(int32_t{0});
    case 5:
      return now == jet::Value(jet::Currency{0});
    case 6:
      return now == jet::Value(0.0f);
    case 7:
      return now == jet::Value(0.0);
    case 8:
      return now == jet::Value(jet::DateTime{0});
    case 10:
    case 12:
      return now == jet::Value(std::string());
    case 16:
      return std::get_if<jet::Decimal>(&now) &&
             std::get<jet::Decimal>(now).magnitude == 0;
    default:
      return false;
  }
}

// Needs the engine's row writes; enable when they land.
// Every corpus file: each Null became its type's zero or stayed Null (and
// was reported as left), nothing else changed, and each table's message
// counts the records that changed.
TEST(RemoveNullValuesTest, CorpusFilesNeedsWrites) {
  SKIP_WITHOUT_CORPUS();
  for (const fs::path& file : testing_support::CorpusFiles()) {
    SCOPED_TRACE(file.string());
    TempDir dir;
    fs::path copy = dir.Copy(file);
    const std::string connect = ConnectFor(file);
    std::vector<TableContents> before = ReadUserTables(copy, connect);
    RecordingInterface ui(copy.string());
    if (maintenance::RemoveNullValues(ui, connect) !=
        maintenance::Outcome::kCompleted) {
      ADD_FAILURE() << ui.calls.back();
      continue;  // the other files still show what the sweep does
    }
    std::vector<TableContents> after = ReadUserTables(copy, connect);
    Calls expected{kChoose, kNotice};
    for (size_t t = 0; t < before.size(); ++t) {
      const TableContents& b = before[t];
      ASSERT_EQ(after[t].rows.size(), b.rows.size()) << b.name;
      if (b.rows.empty()) continue;
      uint64_t changed = 0, left = 0;
      for (size_t r = 0; r < b.rows.size(); ++r) {
        bool record_changed = false;
        for (size_t c = 0; c < b.types.size(); ++c) {
          const jet::Value& was = b.rows[r][c];
          const jet::Value& now = after[t].rows[r][c];
          if (!jet::IsNull(was)) {
            EXPECT_TRUE(testing_support::SameValue(now, was)) << b.name << r;
          } else if (jet::IsNull(now)) {
            ++left;
          } else {
            EXPECT_TRUE(IsZeroOfType(b.types[c], now)) << b.name << r;
            record_changed = true;
          }
        }
        changed += record_changed;
      }
      std::string text = "message '" + copy.string() + "' ";
      text += changed == 0 && left == 0
                  ? "에는 Null데이타가 없습니다."
                  : "데이타에서 " + std::to_string(changed) +
                        "개 레코드의 Null값을 제거하였습니다.";
      if (left > 0) {
        text += "\n바꿀 수 없는 Null값 " + std::to_string(left) +
                "개는 그대로 두었습니다.";
      }
      expected.push_back(text);
    }
    expected.push_back("unload");
    EXPECT_EQ(ui.calls, expected);
    EXPECT_DATABASE_CHECKS_CLEAN(copy, connect);
  }
}

}  // namespace
