// A file swept by the previous version of this program (tests/data/README.md):
// the checker finds both faults it left, and the buttons mend them.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "jet/check/checker.h"
#include "jet/database/compact.h"
#include "jet/database/database.h"
#include "jet/database/table.h"
#include "maintenance/trim_spaces.h"
#include "tests/maintenance/recording_interface.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;

fs::path Fixture() {
  return fs::path(__FILE__).parent_path().parent_path() / "data" /
         "previous_version_sweeps.mdb";
}

struct Faults {
  size_t nul_padded = 0;      // fixed-text-padding findings
  size_t linked_only = 0;     // leaves the descent does not reach
  size_t tail_named = 0;      // tails an entry names too
  size_t other = 0;
};

Faults FaultsOf(const fs::path& path) {
  auto db = jet::Database::Open(path.string());
  Faults f;
  for (const jet::Finding& finding : jet::CheckDatabase(*db)) {
    if (finding.kind == jet::FindingKind::kFixedTextPadding) {
      ++f.nul_padded;
    } else if (finding.message.find("잎 연결로만") != std::string::npos) {
      ++f.linked_only;
    } else if (finding.message.find("항목도 가리킵니다") !=
               std::string::npos) {
      ++f.tail_named;
    } else {
      ADD_FAILURE() << jet::FormatFinding(finding);
      ++f.other;
    }
  }
  return f;
}

TEST(PreviousVersionFileTest, CheckerFindsItsFaultsAndTheButtonsMendThem) {
  testing_support::TempDir dir;
  const fs::path path = dir.Copy(Fixture());
  Faults before = FaultsOf(path);
  EXPECT_GT(before.nul_padded, 0u);
  EXPECT_EQ(before.linked_only, 1u);
  EXPECT_EQ(before.tail_named, 1u);

  // The trim pads fixed-length text with spaces again.
  testing_support::RecordingInterface ui(path.string());
  ASSERT_EQ(maintenance::TrimSpaces(ui), maintenance::Outcome::kCompleted)
      << ui.calls.back();
  Faults trimmed = FaultsOf(path);
  EXPECT_EQ(trimmed.nul_padded, 0u);

  // Every name changed: every leaf and the pages above it are written, in
  // Access's layout, leaves the descent missed included.
  {
    jet::OpenOptions open;
    open.writable = true;
    auto db = jet::Database::Open(path.string(), open);
    auto table = db->OpenTable("Names");
    std::vector<jet::RowPointer> ids;
    for (jet::TableScan scan = table->Scan(); scan.Next();) {
      ids.push_back(scan.row_id());
    }
    for (jet::RowPointer id : ids) {
      std::string name = std::get<std::string>(table->ReadRow(id)[1]);
      table->UpdateRow(id, {jet::ColumnChange{1, name + "z"}});
    }
    table.reset();
    db->Close();
  }
  EXPECT_DATABASE_CHECKS_CLEAN(path);

  // The compaction of the file as it was is sound too.
  const fs::path original = dir.path() / "original.mdb";
  fs::copy_file(Fixture(), original);
  const fs::path compacted = dir.path() / "compacted.mdb";
  jet::CompactDatabase(original.string(), compacted.string(), "");
  EXPECT_DATABASE_CHECKS_CLEAN(compacted);
}

}  // namespace
