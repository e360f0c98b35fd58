// The sweeps' shared rules, and both sweeps on new databases (Jet 4 General
// and Korean, Jet 3) built by the engine: what they leave in each field,
// where the table's unique index refuses a value, read back by the engine
// and by mdbtools, and the file sound for the checker afterwards. Last,
// both sweeps on a copy of a Korean corpus file to which the test adds a
// table whose indexed columns hold Hanja, jamo, enclosed forms and kana.
#include "maintenance/sweep.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <iterator>
#include <sstream>

#include "cli/index_key_report.h"
#include "cli/json_value.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"
#include "tests/jet/builder_test_support.h"
#include "tests/maintenance/recording_interface.h"
#include "tests/maintenance/table_census.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using jet::ColumnType;
using jet::JetVersion;
using jet::Value;
using Row = std::vector<Value>;

TEST(SweepTest, OnlyMSysInThatLetterCaseMarksASystemTable) {
  for (const char* name : {"MSysObjects", "MSysACEs", "MSys"}) {
    EXPECT_TRUE(maintenance::IsSystemTableName(name)) << name;
  }
  for (const char* name :
       {"msysLower", "Msys", "MSYSObjects", "MSy", "", " MSys"}) {
    EXPECT_FALSE(maintenance::IsSystemTableName(name)) << name;
  }
}

TEST(SweepTest, TableRulesThatLeaveAFieldAsItWas) {
  for (int n : {3022, 3315, 3314}) {
    EXPECT_TRUE(maintenance::IsRefusedByTableRules(jet::Error(n, ""))) << n;
  }
  for (int n : {3027, 3043, 3421}) {  // read-only, disk, conversion
    EXPECT_FALSE(maintenance::IsRefusedByTableRules(jet::Error(n, ""))) << n;
  }
}

// --- both sweeps on databases the engine built ---

enum Col { kId, kLabel, kNote, kNotes, kCount, kRatio, kFlag, kWhen, kPrice };

struct Fixture {
  const char* file;
  JetVersion version;
  uint16_t sort_order;
  const char* table;
  const char* word;  // text of the code page
};

const Fixture kFixtures[] = {
    {"general4.mdb", JetVersion::kJet4, 1033, "Sweep", "Grüße"},
    {"korean4.mdb", JetVersion::kJet4, 1042, "정리", "가나 다"},
    {"general3.mdb", JetVersion::kJet3, 1033, "Sweep", "Grüße"},
};

// Label has a unique index: " alpha " trimmed meets row 3's "alpha", and
// the second Null label made "" meets the first.
constexpr size_t kRefusedTrim = 0;  // row 1's label
constexpr size_t kRefusedNull = 3;  // row 4's label

jet::TableDescription SweepTable(const Fixture& f) {
  auto column = [](const char* name, ColumnType type, uint16_t length = 0) {
    jet::ColumnDescription c;
    c.name = name;
    c.type = type;
    c.length = length;
    return c;
  };
  jet::TableDescription t;
  t.name = f.table;
  t.columns = {column("ID", ColumnType::kLong),
               column("Label", ColumnType::kText, 20),
               column("Note", ColumnType::kText, 50),
               column("Notes", ColumnType::kMemo),
               column("Count", ColumnType::kInteger),
               column("Ratio", ColumnType::kDouble),
               column("Flag", ColumnType::kBoolean),
               column("When", ColumnType::kDateTime),
               column("Price", ColumnType::kCurrency)};
  jet::IndexDescription pk;
  pk.name = "PrimaryKey";
  pk.columns = {{"ID", true}};
  pk.primary_key = true;
  jet::IndexDescription label;
  label.name = "ByLabel";
  label.columns = {{"Label", true}};
  label.unique = true;
  jet::IndexDescription note;
  note.name = "ByNote";
  note.columns = {{"Note", true}, {"Count", false}};
  t.indexes = {pk, label, note};
  return t;
}

std::vector<Row> SweepRows(const Fixture& f) {
  const Value null = jet::Null{};
  const std::string word = f.word;
  std::string memo = "  ";
  for (int i = 0; i < 400; ++i) memo += word + " " + std::to_string(i) + " ";
  memo += " ";
  std::vector<Row> rows = {
      {int32_t{1}, std::string(" alpha "), " " + word + " ", memo, int16_t{5},
       2.5, true, jet::DateTime{45351 + 49530.0 / 86400},
       jet::Currency{123400}},
      {int32_t{2}, null, null, null, null, null, false, null, null},
      {int32_t{3}, std::string("alpha"), null, std::string("short  "), null,
       -0.25, false, null, null},
      {int32_t{4}, null, word, std::string(" x"), int16_t{-7}, 1.0, true,
       jet::DateTime{1.5}, jet::Currency{-1}},
  };
  // Enough rows for several data pages, half of them with Nulls and
  // padded texts that grow and shrink them.
  for (int i = 0; i < 300; ++i) {
    bool odd = i % 2 == 1;
    std::string n = std::to_string(i);
    rows.push_back(
        {int32_t{100 + i}, std::string("row " + n + (odd ? "  " : "")),
         odd ? null : Value(" " + word + n),
         odd ? null : Value(std::string(i % 7 == 0 ? 600 : 3, 'm') + " "),
         odd ? null : Value(int16_t(i)), odd ? null : Value(i * 0.5), odd,
         odd ? null : Value(jet::DateTime{40000.0 + i}),
         odd ? null : Value(jet::Currency{i * 100})});
  }
  return rows;
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// What a field holds after the sweep: Nulls take their type's zero, and
// with `trim` texts lose the spaces at their ends; a refused field stays.
Value Swept(const Value& was, Col col, bool trim, bool refused) {
  if (refused) return was;
  if (jet::IsNull(was)) {
    switch (col) {
      case kLabel:
      case kNote:
      case kNotes:
        return std::string();
      case kCount:
        return int16_t{0};
      case kRatio:
        return 0.0;
      case kWhen:
        return jet::DateTime{0};
      case kPrice:
        return jet::Currency{0};
      default:
        return was;
    }
  }
  const auto* text = std::get_if<std::string>(&was);
  return trim && text ? Value(Trimmed(*text)) : was;
}

std::vector<Row> ExpectedRows(const Fixture& f, bool trim) {
  std::vector<Row> rows = SweepRows(f);
  for (size_t r = 0; r < rows.size(); ++r) {
    for (size_t c = 0; c < rows[r].size(); ++c) {
      bool refused =
          c == kLabel && (r == kRefusedNull || (trim && r == kRefusedTrim));
      rows[r][c] = Swept(rows[r][c], Col(c), trim, refused);
    }
  }
  return rows;
}

// A row as mdbtools_dump.py prints it: mdb-export gives nothing for both
// Null and "" in a text or memo field, and Python prints an integral double
// with ".0".
std::string MdbtoolsLine(const jet::TableDescription& description,
                         const Row& row) {
  std::string values, empty;
  for (size_t c = 0; c < row.size(); ++c) {
    const std::string name = cli::JsonString(description.columns[c].name);
    std::string v;
    const auto* text = std::get_if<std::string>(&row[c]);
    bool textual = description.columns[c].type == ColumnType::kText ||
                   description.columns[c].type == ColumnType::kMemo;
    if (textual && (jet::IsNull(row[c]) || (text && text->empty()))) {
      v = "null";
      empty += (empty.empty() ? "" : ", ") + name;
    } else {
      v = cli::JsonValue(row[c]);
      if (std::holds_alternative<double>(row[c]) &&
          v.find_first_of(".eE") == std::string::npos) {
        v += ".0";
      }
    }
    values += (values.empty() ? "" : ", ") + name + ": " + v;
  }
  std::string line = "{\"table\": " + cli::JsonString(description.name) +
                     ", \"values\": {" + values + "}";
  if (!empty.empty()) line += ", \"null_or_empty\": [" + empty + "]";
  return line + "}";
}

fs::path BuildFixture(const fs::path& dir, const Fixture& f,
                      const std::string& name) {
  fs::path path = dir / name;
  jet::CreateOptions options;
  options.version = f.version;
  options.sort_order = f.sort_order;
  jet::CreateDatabase(path.string(), options);
  jet::OpenOptions open;
  open.writable = true;
  auto db = jet::Database::Open(path.string(), open);
  auto table = jet::CreateTable(*db, SweepTable(f));
  for (const Row& row : SweepRows(f)) table->InsertRow(row);
  table.reset();
  db->Close();
  return path;
}

void ExpectSweptAsModelled(const Fixture& f, bool trim) {
  SCOPED_TRACE(std::string(f.file) + (trim ? " trim" : " nulls"));
  testing_support::TempDir dir;
  fs::path path = BuildFixture(dir.path(), f, f.file);
  testing_support::RecordingInterface ui(path.string());
  maintenance::Outcome outcome =
      trim ? maintenance::TrimSpaces(ui) : maintenance::RemoveNullValues(ui);
  ASSERT_EQ(outcome, maintenance::Outcome::kCompleted) << ui.calls.back();
  if (!trim) {
    EXPECT_NE(ui.calls[2].find("바꿀 수 없는 Null값 1개"), std::string::npos)
        << ui.calls[2];
  }

  const std::vector<Row> expected = ExpectedRows(f, trim);
  std::vector<testing_support::TableContents> tables =
      testing_support::ReadUserTables(path, "");
  ASSERT_EQ(tables.size(), 1u);
  // Rows in storage order, which is not the order of insertion where a
  // later row found room on an earlier page: paired by ID.
  std::vector<Row> stored = tables[0].rows;
  std::sort(stored.begin(), stored.end(), [](const Row& a, const Row& b) {
    return std::get<int32_t>(a[kId]) < std::get<int32_t>(b[kId]);
  });
  ASSERT_EQ(stored.size(), expected.size());
  for (size_t r = 0; r < expected.size(); ++r) {
    for (size_t c = 0; c < expected[r].size(); ++c) {
      EXPECT_TRUE(testing_support::SameValue(stored[r][c], expected[r][c]))
          << "row " << r << " column " << c << ": "
          << cli::JsonValue(stored[r][c]) << " expected "
          << cli::JsonValue(expected[r][c]);
    }
  }
  EXPECT_DATABASE_CHECKS_CLEAN(path);

  if (!builder_test::HaveMdbtools()) return;  // the test then skips
  std::string script =
      (builder_test::OraclesDir() / "mdbtools_dump.py").string();
  auto dump =
      builder_test::RunCommand("python3 " + builder_test::Quote(script) + " " +
                               builder_test::Quote(path.string()));
  ASSERT_EQ(dump.status, 0) << dump.output;
  std::vector<std::string> got, want;
  for (size_t at = 0, end; at < dump.output.size(); at = end + 1) {
    end = dump.output.find('\n', at);
    if (end == std::string::npos) end = dump.output.size();
    if (end > at) got.push_back(dump.output.substr(at, end - at));
  }
  jet::TableDescription description = SweepTable(f);
  for (const Row& row : expected)
    want.push_back(MdbtoolsLine(description, row));
  std::sort(got.begin(), got.end());
  std::sort(want.begin(), want.end());
  ASSERT_EQ(got.size(), want.size()) << dump.output;
  for (size_t i = 0; i < got.size(); ++i) EXPECT_EQ(got[i], want[i]);
}

// The engine's view and the checker run either way; without mdbtools the
// test then reports itself skipped.
TEST(SweepOnNewDatabaseTest, NullRemovalReadsBackInTheEngineAndMdbtools) {
  for (const Fixture& f : kFixtures) ExpectSweptAsModelled(f, false);
  SKIP_WITHOUT_MDBTOOLS();
}

TEST(SweepOnNewDatabaseTest, TrimmingReadsBackInTheEngineAndMdbtools) {
  for (const Fixture& f : kFixtures) ExpectSweptAsModelled(f, true);
  SKIP_WITHOUT_MDBTOOLS();
}

// --- both sweeps on a real Korean file with a table the test adds ---

const char* const kKoreanWords[] = {
    "  一進會 ", "㉥ㅓ㉧ㅕ", "ⓞ6ⓞ ",      " 亡가", "ストキング  ",
    "조刀ㅏ",    "野夜 晶",  "ㄱ ㅐ ㅣ ", "SⓔX",   "김⑥★"};

TEST(SweepOnKoreanCorpusCopyTest, HanjaAndJamoKeysFollowTheirRows) {
  SKIP_WITHOUT_CORPUS();
  testing_support::TempDir dir;
  fs::path path =
      dir.Copy(testing_support::CorpusDir() / "korean" / "members.mdb");
  jet::TableDescription t;
  t.name = "한자";
  jet::ColumnDescription id, word, note;
  id.name = "ID";
  id.type = ColumnType::kLong;
  word.name = "낱말";
  word.length = 30;
  note.name = "Note";
  note.length = 30;
  t.columns = {id, word, note};
  jet::IndexDescription pk, by_word, by_note;
  pk.name = "PrimaryKey";
  pk.columns = {{"ID", true}};
  pk.primary_key = true;
  by_word.name = "By낱말";
  by_word.columns = {{"낱말", true}};
  by_note.name = "ByNote";
  by_note.columns = {{"Note", true}, {"ID", false}};
  t.indexes = {pk, by_word, by_note};
  std::vector<Row> rows;
  for (int32_t i = 0; i < 60; ++i) {
    const std::string w = kKoreanWords[i % std::size(kKoreanWords)];
    rows.push_back({i, i % 7 == 3 ? Value(jet::Null{}) : Value(w),
                    i % 2 ? Value(jet::Null{}) : Value(w + " " + w)});
  }
  {
    jet::OpenOptions open;
    open.writable = true;
    auto db = jet::Database::Open(path.string(), open);
    auto table = jet::CreateTable(*db, t);
    for (const Row& row : rows) table->InsertRow(row);
    table.reset();
    db->Close();
  }
  for (bool trim : {false, true}) {
    testing_support::RecordingInterface ui(path.string());
    ASSERT_EQ(
        trim ? maintenance::TrimSpaces(ui) : maintenance::RemoveNullValues(ui),
        maintenance::Outcome::kCompleted)
        << ui.calls.back();
  }

  // Every Null became "" and every text lost its outer spaces: no key was
  // declined, so no field was left as it was.
  std::vector<testing_support::TableContents> tables =
      testing_support::ReadUserTables(path, "");
  auto added = std::find_if(tables.begin(), tables.end(),
                            [&](const auto& c) { return c.name == t.name; });
  ASSERT_NE(added, tables.end());
  ASSERT_EQ(added->rows.size(), rows.size());
  for (const Row& row : added->rows) {
    const Row& was = rows[static_cast<size_t>(std::get<int32_t>(row[0]))];
    for (size_t c : {1, 2}) {
      const auto* text = std::get_if<std::string>(&was[c]);
      EXPECT_EQ(cli::JsonValue(row[c]),
                cli::JsonValue(Value(text ? Trimmed(*text) : "")));
    }
  }
  EXPECT_DATABASE_CHECKS_CLEAN(path);
  std::ostringstream report_text;
  cli::IndexKeyReport report;
  cli::RunIndexKeyReport(path.string(), "", false, report_text, &report);
  EXPECT_EQ(report.mismatched, 0u) << report_text.str();
  EXPECT_EQ(report.unencodable, 0u) << report_text.str();

  if (!builder_test::HaveMdbtools() || !builder_test::HaveMdbReader()) {
    GTEST_SKIP() << "mdbtools or mdb-reader missing: readers not asked";
  }
  // Both readers read the swept copy as our dump does, and a descent of
  // every index tree finds every row.
  const fs::path oracles = builder_test::OraclesDir();
  auto compare = builder_test::RunCommand(
      "python3 " + builder_test::Quote((oracles / "compare_dump.py").string()) +
      " --cli " + builder_test::Quote(MDBCARE_CLI_PATH) + " --corpus " +
      builder_test::Quote(dir.path().string()));
  EXPECT_EQ(compare.status, 0) << compare.output;
  EXPECT_NE(compare.output.find("1 passed, 0 failed"), std::string::npos)
      << compare.output;
  auto walk = builder_test::RunCommand(
      "python3 " + builder_test::Quote((oracles / "index_walk.py").string()) +
      " " + builder_test::Quote(path.string()) + " --quiet");
  EXPECT_EQ(walk.status, 0) << walk.output;
}

}  // namespace
