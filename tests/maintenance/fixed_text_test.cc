// Fixed-length text columns (CHAR(n)) through both sweeps and a compaction,
// on databases the engine builds: every stored value is Access's form, the
// text uncompressed and padded with spaces to the column's length.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "jet/base/text_codec.h"
#include "jet/database/compact.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "maintenance/null_values.h"
#include "maintenance/trim_spaces.h"
#include "tests/maintenance/recording_interface.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using jet::ColumnType;
using jet::JetVersion;
using jet::Value;

struct FixedSetup {
  const char* name;
  JetVersion version;
  uint16_t sort_order;
  uint16_t code_page;
  // Jet 3 keys of Korean text are not made: no index over C10 there.
  bool index_c10;
};

const FixedSetup kSetups[] = {
    {"jet4-general", JetVersion::kJet4, 1033, 0, true},
    {"jet4-korean", JetVersion::kJet4, 1042, 0, true},
    {"jet3-cp949", JetVersion::kJet3, 1033, 949, false},
};

// Columns: ID, C1 CHAR(1), C10 CHAR(10) (indexed), C255 CHAR(255).
constexpr size_t kColumns = 4;
constexpr uint16_t kChars[kColumns] = {0, 1, 10, 255};

jet::TableDescription FixedTable(bool index_c10) {
  jet::TableDescription t;
  t.name = "Fixed";
  jet::ColumnDescription id;
  id.name = "ID";
  id.type = ColumnType::kLong;
  t.columns.push_back(id);
  for (size_t c = 1; c < kColumns; ++c) {
    jet::ColumnDescription col;
    col.name = "C" + std::to_string(kChars[c]);
    col.type = ColumnType::kText;
    col.length = kChars[c];
    col.fixed_length = true;
    t.columns.push_back(col);
  }
  jet::IndexDescription pk;
  pk.name = "PrimaryKey";
  pk.columns = {{"ID", true}};
  pk.primary_key = true;
  jet::IndexDescription by10;
  by10.name = "ByC10";
  by10.columns = {{"C10", true}};
  t.indexes = {pk};
  if (index_c10) t.indexes.push_back(by10);
  return t;
}

// The values given at insertion, per row: Null, "", unpadded, padded,
// Korean, spaces at the start, a text that fills the column.
std::vector<std::vector<Value>> FixedRows() {
  const Value null = jet::Null{};
  auto s = [](std::string text) { return Value(std::move(text)); };
  return {
      {int32_t{1}, null, null, null},
      {int32_t{2}, s(""), s(""), s("")},
      {int32_t{3}, s("N"), s("abc"), s("George")},
      {int32_t{4}, s(" "), s("abc       "), s("George" + std::string(249, ' '))},
      {int32_t{5}, s("K"), s("김종무"), s("  김종무 ")},
      {int32_t{6}, null, s("  ab  "), s(" x")},
      {int32_t{7}, s("Y"), s("0123456789"), null},
  };
}

// Access's form of `text` in a column of `chars` characters: Jet 4 UCS-2,
// Jet 3 the code page's bytes, then spaces to the column's length.
std::vector<uint8_t> AccessForm(const std::string& text, uint16_t chars,
                                const FixedSetup& setup) {
  std::vector<uint8_t> out;
  if (setup.version == JetVersion::kJet4) {
    out = jet::EncodeJet4Text(text, /*compress=*/false);
    while (out.size() < 2u * chars) out.insert(out.end(), {0x20, 0x00});
  } else {
    out = jet::EncodeCodePageText(text, setup.code_page);
    out.resize(chars, 0x20);
  }
  return out;
}

std::string TrimmedOfSpaces(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// What each fixed field is expected to hold after `nulls` and `trim`, as
// Access's stored bytes; nullopt for Null.
using Expected = std::map<int32_t, std::vector<std::optional<std::string>>>;

Expected ExpectedTexts(bool nulls, bool trim) {
  Expected out;
  for (const std::vector<Value>& row : FixedRows()) {
    std::vector<std::optional<std::string>> texts;
    for (size_t c = 1; c < kColumns; ++c) {
      if (jet::IsNull(row[c])) {
        if (nulls || trim) {
          texts.push_back(std::string());
        } else {
          texts.push_back(std::nullopt);
        }
        continue;
      }
      std::string text = std::get<std::string>(row[c]);
      texts.push_back(trim ? TrimmedOfSpaces(text) : text);
    }
    out[std::get<int32_t>(row[0])] = texts;
  }
  return out;
}

void ExpectStoredInAccessForm(const fs::path& path, const FixedSetup& setup,
                              const Expected& expected) {
  auto db = jet::Database::Open(path.string());
  auto table = db->OpenTable("Fixed");
  jet::TableScan scan = table->Scan();
  size_t rows = 0;
  while (scan.Next()) {
    ++rows;
    std::vector<jet::FieldBytes> fields = scan.Fields();
    const int32_t id = static_cast<int32_t>(fields[0].data.U32(0));
    SCOPED_TRACE("ID " + std::to_string(id));
    ASSERT_TRUE(expected.count(id));
    for (size_t c = 1; c < kColumns; ++c) {
      const std::optional<std::string>& want = expected.at(id)[c - 1];
      ASSERT_EQ(fields[c].is_null, !want) << "C" << kChars[c];
      if (!want) continue;
      const std::vector<uint8_t> form = AccessForm(*want, kChars[c], setup);
      const std::vector<uint8_t> got(fields[c].data.data(),
                                     fields[c].data.data() + fields[c].data.size());
      EXPECT_EQ(got, form) << "C" << kChars[c] << " '" << *want << "'";
    }
  }
  EXPECT_EQ(rows, expected.size());
}

fs::path BuildFixedDatabase(const fs::path& dir, const FixedSetup& setup) {
  fs::path path = dir / (std::string(setup.name) + ".mdb");
  jet::CreateOptions options;
  options.version = setup.version;
  options.sort_order = setup.sort_order;
  options.code_page = setup.code_page;
  jet::CreateDatabase(path.string(), options);
  jet::OpenOptions open;
  open.writable = true;
  auto db = jet::Database::Open(path.string(), open);
  auto table = jet::CreateTable(*db, FixedTable(setup.index_c10));
  for (const std::vector<Value>& row : FixedRows()) table->InsertRow(row);
  table.reset();
  db->Close();
  return path;
}

std::vector<uint8_t> FileBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

// Inserted, then Null removal, then trimming (twice: the second changes no
// byte, the padding is no change), then compaction: each step's stored
// bytes are Access's form of the values the step leaves, and the file
// checks clean.
TEST(FixedLengthTextTest, StoredPaddedWithSpacesThroughSweepsAndCompaction) {
  for (const FixedSetup& setup : kSetups) {
    SCOPED_TRACE(setup.name);
    testing_support::TempDir dir;
    const fs::path path = BuildFixedDatabase(dir.path(), setup);
    ExpectStoredInAccessForm(path, setup, ExpectedTexts(false, false));
    EXPECT_DATABASE_CHECKS_CLEAN(path);

    testing_support::RecordingInterface nulls_ui(path.string());
    ASSERT_EQ(maintenance::RemoveNullValues(nulls_ui),
              maintenance::Outcome::kCompleted)
        << nulls_ui.calls.back();
    ExpectStoredInAccessForm(path, setup, ExpectedTexts(true, false));
    EXPECT_DATABASE_CHECKS_CLEAN(path);

    testing_support::RecordingInterface trim_ui(path.string());
    ASSERT_EQ(maintenance::TrimSpaces(trim_ui),
              maintenance::Outcome::kCompleted)
        << trim_ui.calls.back();
    ExpectStoredInAccessForm(path, setup, ExpectedTexts(true, true));
    EXPECT_DATABASE_CHECKS_CLEAN(path);
    const std::vector<uint8_t> trimmed = FileBytes(path);
    ASSERT_EQ(maintenance::TrimSpaces(trim_ui),
              maintenance::Outcome::kCompleted);
    EXPECT_TRUE(FileBytes(path) == trimmed) << "a second trim wrote";

    const fs::path compacted = dir.path() / "compacted.mdb";
    jet::CompactDatabase(path.string(), compacted.string(), "");
    ExpectStoredInAccessForm(compacted, setup, ExpectedTexts(true, true));
    EXPECT_DATABASE_CHECKS_CLEAN(compacted);
  }
}

}  // namespace
