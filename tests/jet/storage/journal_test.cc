// The journal under crashes: a sweep-like run of row updates (Nulls filled,
// texts trimmed, table after table) on a small database, with few pages
// kept in memory so that groups are written out in several batches. Every
// write, resize and sync of the run is recorded; then
//   - power loss: at each sync and between syncs, the disk image a crash
//     could leave (writes before a file's last sync kept, any subset of
//     the later ones, the last kept one torn) is opened;
//   - I/O faults: the run again with each write, resize and sync failing
//     in turn, then the file opened;
// and each time the database must read exactly as at the end of the last
// group that completed, or of the group that was cut off.
#include "jet/storage/journal.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "jet/base/error.h"
#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "jet/storage/file.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;
using jet::File;
using jet::Value;
using Bytes = std::vector<uint8_t>;

Bytes ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

void WriteBytes(const fs::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

// --- the recorded run ---

struct Op {
  File::Event::Kind kind;
  std::string path;
  uint64_t offset = 0;
  Bytes data;
};

std::mutex ops_mutex;
std::vector<Op>* recorded = nullptr;

void RecordEvent(const File::Event& e) {
  std::lock_guard<std::mutex> lock(ops_mutex);
  if (recorded) {
    recorded->push_back(
        Op{e.kind, e.path, e.offset, Bytes(e.data.begin(), e.data.end())});
  }
}

uint64_t fail_at = 0;
bool FailOne(uint64_t op) { return op == fail_at; }

// Two tables with Nulls and texts with spaces at their ends, indexed.
void BuildDatabase(const std::string& path) {
  jet::CreateDatabase(path);
  jet::OpenOptions open;
  open.writable = true;
  auto db = jet::Database::Open(path, open);
  std::mt19937 rng(9);
  for (const char* name : {"First", "Second"}) {
    jet::TableDescription t;
    t.name = name;
    t.columns = {{.name = "ID", .type = jet::ColumnType::kLong},
                 {.name = "Name", .type = jet::ColumnType::kText,
                  .length = 40},
                 {.name = "Note", .type = jet::ColumnType::kMemo},
                 {.name = "Qty", .type = jet::ColumnType::kLong}};
    t.indexes = {{.name = "PrimaryKey", .columns = {{"ID"}},
                  .primary_key = true},
                 {.name = "Name", .columns = {{"Name"}}}};
    auto table = jet::CreateTable(*db, t);
    std::vector<std::vector<Value>> rows;
    for (int32_t id = 1; id <= 200; ++id) {
      auto text = [&](size_t n) -> Value {
        if (rng() % 4 == 0) return jet::Null{};
        std::string s(n, static_cast<char>('a' + rng() % 26));
        if (rng() % 2) s = "  " + s + " ";
        return s;
      };
      rows.push_back({id, text(20), text(rng() % 3 == 0 ? 700 : 30),
                      rng() % 3 ? Value(static_cast<int32_t>(rng() % 100))
                                : Value(jet::Null{})});
    }
    jet::InsertRows(*db, *table, rows);
  }
  db->Close();
}

std::string Trimmed(const std::string& s) {
  size_t b = s.find_first_not_of(' ');
  if (b == std::string::npos) return "";
  return s.substr(b, s.find_last_not_of(' ') - b + 1);
}

// Fills Nulls and trims texts, row by row and table after table, with 3
// changed pages kept in memory. Returns false when an error stopped it.
bool RunSweepLike(const std::string& path) {
  try {
    jet::OpenOptions open;
    open.writable = true;
    open.max_pinned_pages = 3;
    auto db = jet::Database::Open(path, open);
    for (const char* name : {"First", "Second"}) {
      auto table = db->OpenTable(name);
      std::vector<jet::RowPointer> ids;
      for (jet::TableScan scan = table->Scan(); scan.Next();) {
        ids.push_back(scan.row_id());
      }
      for (jet::RowPointer id : ids) {
        std::vector<Value> row = table->ReadRow(id);
        std::vector<jet::ColumnChange> changes;
        for (size_t c = 1; c < row.size(); ++c) {
          if (jet::IsNull(row[c])) {
            changes.push_back({c, c == 3 ? Value(int32_t{0})
                                         : Value(std::string())});
          } else if (const auto* s = std::get_if<std::string>(&row[c])) {
            if (Trimmed(*s) != *s) changes.push_back({c, Trimmed(*s)});
          }
        }
        if (!changes.empty()) table->UpdateRow(id, changes);
      }
    }
    db->Close();
    return true;
  } catch (const jet::Error&) {
    return false;
  }
}

struct Recording {
  Bytes base;                // the database before the run
  std::vector<Op> ops;       // every write, resize and sync, in order
  std::vector<size_t> ends;  // ops[ends[k]] is the sync that ended group k
  std::vector<Bytes> durable;  // the database at the start and each end
};

// The database file as the first `count` ops (all kept) leave it.
Bytes Replay(const Recording& r, const std::string& path, size_t count,
             Bytes start) {
  for (size_t i = 0; i < count; ++i) {
    const Op& op = r.ops[i];
    if (op.path != path) continue;
    if (op.kind == File::Event::kWrite) {
      if (start.size() < op.offset + op.data.size()) {
        start.resize(op.offset + op.data.size());
      }
      std::copy(op.data.begin(), op.data.end(), start.begin() + op.offset);
    } else if (op.kind == File::Event::kResize) {
      start.resize(op.offset);
    }
  }
  return start;
}

Recording Record(const fs::path& dir) {
  Recording r;
  const std::string path = (dir / "recorded.mdb").string();
  BuildDatabase(path);
  r.base = ReadBytes(path);
  recorded = &r.ops;
  File::SetEventHook(RecordEvent);
  EXPECT_TRUE(RunSweepLike(path));
  File::SetEventHook(nullptr);
  recorded = nullptr;
  // A group ends with the journal's synced header of zeros.
  const std::string journal = jet::JournalPath(path);
  for (size_t i = 1; i < r.ops.size(); ++i) {
    const Op& prev = r.ops[i - 1];
    if (r.ops[i].kind == File::Event::kSync && r.ops[i].path == journal &&
        prev.path == journal && prev.kind == File::Event::kWrite &&
        prev.offset == 0 &&
        std::all_of(prev.data.begin(), prev.data.end(),
                    [](uint8_t b) { return b == 0; })) {
      r.ends.push_back(i);
    }
  }
  r.durable.push_back(r.base);
  for (size_t end : r.ends) {
    r.durable.push_back(Replay(r, path, end + 1, r.base));
  }
  EXPECT_TRUE(ReadBytes(path) == r.durable.back());
  return r;
}

// The database `bytes` (and journal `journal`, when given) placed in `dir`
// and opened read-only: the open rolls a cut-off group back. Returns the
// database's bytes after it, and fails the test when the open fails or a
// journal with a group is left.
Bytes Recover(const fs::path& dir, const Bytes& bytes,
              const std::optional<Bytes>& journal) {
  const fs::path path = dir / "crashed.mdb";
  const std::string journal_path = jet::JournalPath(path.string());
  fs::remove(journal_path);
  WriteBytes(path, bytes);
  if (journal) WriteBytes(journal_path, *journal);
  try {
    jet::Database::Open(path.string());
  } catch (const jet::Error& e) {
    ADD_FAILURE() << "open after the crash: " << e.description();
  }
  EXPECT_NE(jet::InspectJournal(path.string()), jet::JournalState::kHot);
  return ReadBytes(path);
}

// Whether `got` is the database at the end of group `done` (the groups
// that completed) or of the next one.
::testing::AssertionResult AtAGroupsEnd(const Recording& r, size_t done,
                                        const Bytes& got) {
  if (got == r.durable[done]) return ::testing::AssertionSuccess();
  if (done + 1 < r.durable.size() && got == r.durable[done + 1]) {
    return ::testing::AssertionSuccess();
  }
  return ::testing::AssertionFailure()
         << "the database is neither as after group " << done
         << " nor as after the next";
}

size_t GroupsEndedBefore(const Recording& r, size_t op) {
  return static_cast<size_t>(
      std::lower_bound(r.ends.begin(), r.ends.end(), op) - r.ends.begin());
}

TEST(JournalTest, PowerLossAtAnySyncLeavesTheDatabaseAsAfterAGroup) {
  testing_support::TempDir dir;
  const Recording r = Record(dir.path());
  ASSERT_GE(r.ends.size(), 2u);
  for (size_t k = 0; k < r.durable.size(); ++k) {
    WriteBytes(dir.path() / "durable.mdb", r.durable[k]);
    EXPECT_DATABASE_CHECKS_CLEAN(dir.path() / "durable.mdb") << "group " << k;
  }
  const std::string db = (dir.path() / "recorded.mdb").string();
  const std::string journal = jet::JournalPath(db);
  std::mt19937 rng(5);
  // Crash points: right after each sync, and somewhere before the next.
  std::vector<size_t> crashes;
  size_t batches = 0;
  for (size_t i = 0; i < r.ops.size(); ++i) {
    if (r.ops[i].kind != File::Event::kSync) continue;
    crashes.push_back(i + 1);
    size_t next = i + 1;
    while (next < r.ops.size() && r.ops[next].kind != File::Event::kSync) {
      ++next;
    }
    if (next > i + 2) crashes.push_back(i + 2 + rng() % (next - i - 2));
    if (r.ops[i].path == journal) ++batches;
  }
  EXPECT_GT(batches, r.ends.size() * 2) << "groups written in one batch";
  for (size_t crash : crashes) {
    // Per file, the ops up to its last sync before the crash are kept.
    std::map<std::string, size_t> synced;
    for (size_t i = 0; i < crash; ++i) {
      if (r.ops[i].kind == File::Event::kSync) synced[r.ops[i].path] = i;
    }
    for (int variant = 0; variant < 2; ++variant) {
      SCOPED_TRACE("crash after op " + std::to_string(crash) + " variant " +
                   std::to_string(variant));
      Recording kept;
      kept.ops.reserve(crash);
      size_t last_loose = 0;
      for (size_t i = 0; i < crash; ++i) {
        const Op& op = r.ops[i];
        auto s = synced.find(op.path);
        const bool durable = s != synced.end() && i < s->second;
        if (durable || op.kind == File::Event::kSync || rng() % 2 == 0) {
          kept.ops.push_back(op);
          if (!durable && op.kind == File::Event::kWrite) {
            last_loose = kept.ops.size();
          }
        }
      }
      // The last write that was not synced may be torn: only its first
      // sectors reached the disk.
      if (last_loose > 0 && variant == 1) {
        Bytes& data = kept.ops[last_loose - 1].data;
        data.resize(std::min<size_t>(data.size(), 512 * (1 + rng() % 4)));
      }
      const Bytes db_image = Replay(kept, db, kept.ops.size(), r.base);
      bool has_journal = false;
      for (const Op& op : kept.ops) has_journal |= op.path == journal;
      std::optional<Bytes> journal_image;
      if (has_journal) {
        journal_image = Replay(kept, journal, kept.ops.size(), Bytes());
      }
      const Bytes got = Recover(dir.path(), db_image, journal_image);
      EXPECT_TRUE(AtAGroupsEnd(r, GroupsEndedBefore(r, crash), got));
    }
  }
}

TEST(JournalTest, EachFailedWriteOrSyncLeavesTheDatabaseAsAfterAGroup) {
  testing_support::TempDir dir;
  const Recording r = Record(dir.path());
  const fs::path path = dir.path() / "faulty.mdb";
  for (size_t op = 0; op < r.ops.size(); ++op) {
    SCOPED_TRACE("failing op " + std::to_string(op));
    fs::remove(jet::JournalPath(path.string()));
    WriteBytes(path, r.base);
    fail_at = op;
    File::SetFaultHook(FailOne);
    EXPECT_FALSE(RunSweepLike(path.string()));
    File::SetFaultHook(nullptr);
    const Bytes got = Recover(dir.path(), ReadBytes(path),
                              fs::exists(jet::JournalPath(path.string()))
                                  ? std::optional<Bytes>(ReadBytes(
                                        jet::JournalPath(path.string())))
                                  : std::nullopt);
    EXPECT_TRUE(AtAGroupsEnd(r, GroupsEndedBefore(r, op), got));
  }
}

}  // namespace
