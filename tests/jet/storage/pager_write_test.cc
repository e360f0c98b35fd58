// Write groups of the pager: a rolled-back group leaves no trace in memory
// or in the file, committed groups reach the file only at a flush, and a
// failing write (through the file's fault hook) keeps the changes pinned,
// so that a later flush still writes a sound database.
#include <gtest/gtest.h>

#include <fstream>
#include <set>

#include "jet/database/database.h"
#include "jet/database/database_builder.h"
#include "jet/base/error.h"
#include "jet/storage/journal.h"
#include "jet/storage/pager.h"
#include "jet/database/table.h"
#include "jet/database/table_builder.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"

namespace {

namespace fs = std::filesystem;

fs::path MakeFile(const testing_support::TempDir& dir, size_t pages) {
  fs::path p = dir.path() / "pages.bin";
  std::ofstream out(p, std::ios::binary);
  for (size_t i = 0; i < pages * 4096; ++i)
    out.put(static_cast<char>(i / 4096));
  return p;
}

// Sets byte `at` of `page` to `value` (inside a write group).
void SetByte(jet::Pager& pager, uint32_t page, size_t at, uint8_t value) {
  std::vector<uint8_t> bytes = pager.CopyForWrite(page);
  bytes[at] = value;
  pager.Put(page, std::move(bytes));
}

// The same in a group of its own, committed.
void CommitByte(jet::Pager& pager, uint32_t page, size_t at, uint8_t value) {
  jet::WriteGroup group(pager);
  SetByte(pager, page, at, value);
  group.Commit();
}

TEST(PagerWriteTest, RollbackForgetsEveryChangeOfTheGroup) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 4);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  {
    jet::WriteGroup group(pager);
    SetByte(pager, 1, 0, 0xAA);
    uint32_t fresh = pager.Append();
    EXPECT_EQ(fresh, 4u);
    EXPECT_EQ(pager.Get(1)->bytes()[0], 0xAA);
  }  // not committed
  EXPECT_EQ(pager.page_count(), 4u);
  EXPECT_EQ(pager.Get(1)->bytes()[0], 1);
  EXPECT_EQ(pager.pinned_pages(), 0u);
}

// A page put several times in a group, after an earlier group changed it,
// comes back to the earlier group's version; that version stays pinned.
TEST(PagerWriteTest, RollbackRestoresEachPageAsTheGroupFoundIt) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 4);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  CommitByte(pager, 2, 0, 0x11);
  {
    jet::WriteGroup group(pager);
    SetByte(pager, 2, 0, 0x22);
    SetByte(pager, 3, 0, 0x44);
    SetByte(pager, 2, 0, 0x33);
    SetByte(pager, 3, 0, 0x55);
    EXPECT_EQ(pager.Get(2)->bytes()[0], 0x33);
  }  // rolled back
  EXPECT_EQ(pager.Get(2)->bytes()[0], 0x11);
  EXPECT_EQ(pager.Get(3)->bytes()[0], 3);
  EXPECT_EQ(pager.pinned_pages(), 1u);
  {
    // A later group finds page 2 as the first group left it.
    jet::WriteGroup group(pager);
    EXPECT_EQ(pager.WritableInPlace(2), nullptr);
    SetByte(pager, 2, 1, 0x66);
    group.Commit();
  }
  pager.Flush();
  std::ifstream in(p, std::ios::binary);
  in.seekg(2 * 4096);
  EXPECT_EQ(in.get(), 0x11);
  EXPECT_EQ(in.get(), 0x66);
  in.seekg(3 * 4096);
  EXPECT_EQ(in.get(), 3);
}

// A page is changed in place only when the open group already wrote it and
// nothing outside the pager holds it: a reader's page must not change under
// it, and a rollback must find the page as the group found it.
TEST(PagerWriteTest, InPlaceChangesOnlyForPagesTheGroupOwnsAlone) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 4);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  CommitByte(pager, 1, 0, 0xAA);
  {
    jet::WriteGroup group(pager);
    EXPECT_EQ(pager.WritableInPlace(1), nullptr)
        << "written by an earlier group";
    EXPECT_EQ(pager.WritableInPlace(2), nullptr) << "not written at all";
    SetByte(pager, 1, 0, 0xBB);
    {
      jet::PageRef reader = pager.Get(1);
      EXPECT_EQ(pager.WritableInPlace(1), nullptr) << "held by a reader";
      EXPECT_EQ(reader->bytes()[0], 0xBB);
    }
    std::vector<uint8_t>* in_place = pager.WritableInPlace(1);
    ASSERT_NE(in_place, nullptr);
    (*in_place)[0] = 0xCC;
    EXPECT_EQ(pager.Get(1)->bytes()[0], 0xCC);
  }  // rolled back
  EXPECT_EQ(pager.Get(1)->bytes()[0], 0xAA);
  pager.Flush();
  std::ifstream in(p, std::ios::binary);
  in.seekg(4096);
  EXPECT_EQ(in.get(), 0xAA);
}

// Pages read ahead in one go and changed pages written in runs are the
// pages asked for, each at its own place.
TEST(PagerWriteTest, ReadAheadAndRunWritesKeepEveryPageInItsPlace) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 100);
  std::set<uint32_t> written;
  {
    jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096, 16);
    for (uint32_t i = 0; i < 100; ++i) {
      EXPECT_EQ(pager.Get(i)->bytes()[4095], static_cast<uint8_t>(i));
    }
    jet::WriteGroup group(pager);
    for (uint32_t i = 10; i < 90; i += (i % 7 == 0 ? 3 : 1)) {
      SetByte(pager, i, 7, static_cast<uint8_t>(200 - i));
      written.insert(i);
    }
    group.Commit();
    pager.Flush();
  }
  jet::Pager again(jet::File::OpenForWriting(p.string()), 4096, 16);
  for (uint32_t i = 0; i < 100; ++i) {
    EXPECT_EQ(again.Get(i)->bytes()[0], static_cast<uint8_t>(i)) << i;
    EXPECT_EQ(again.Get(i)->bytes()[7],
              static_cast<uint8_t>(written.count(i) ? 200 - i : i))
        << i;
  }
}

TEST(PagerWriteTest, CommittedGroupsReachTheFileAtFlush) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 4);
  {
    jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
    jet::WriteGroup group(pager);
    SetByte(pager, 2, 10, 0x55);
    pager.Append();
    group.Commit();
    EXPECT_EQ(fs::file_size(p), 4u * 4096);
    pager.Flush();
  }
  EXPECT_EQ(fs::file_size(p), 5u * 4096);
  jet::Pager again(jet::File::OpenForReading(p.string()), 4096);
  EXPECT_EQ(again.Get(2)->bytes()[10], 0x55);
  EXPECT_EQ(again.Get(4)->bytes()[0], 0);
}

TEST(PagerWriteTest, EncryptedPagesAreWrittenEncrypted) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 3);
  jet::PageCipher cipher(0x12345678);
  {
    jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
    pager.set_cipher(cipher);
    jet::WriteGroup group(pager);
    pager.Put(1, std::vector<uint8_t>(4096, 0x42));
    group.Commit();
    pager.Flush();
  }
  std::ifstream in(p, std::ios::binary);
  std::vector<uint8_t> raw(4096);
  in.seekg(4096);
  in.read(reinterpret_cast<char*>(raw.data()), 4096);
  EXPECT_NE(raw, std::vector<uint8_t>(4096, 0x42));
  cipher.Apply(1, raw);
  EXPECT_EQ(raw, std::vector<uint8_t>(4096, 0x42));
}

bool FailThirdWrite(uint64_t n) { return n == 2; }

uint64_t file_operations = 0;
bool CountOperation(uint64_t) {
  ++file_operations;
  return false;
}

// Committed pages past the pinned bound are written out without a sync;
// the next Flush syncs the file even when nothing is left to write.
TEST(PagerWriteTest, FlushSyncsWhatWasWrittenOutBeforeIt) {
  testing_support::TempDir dir;
  const uint32_t pages = jet::Pager::kMaxPinnedPages + 8;
  fs::path p = MakeFile(dir, pages);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  for (uint32_t n = 1; n < pages; ++n) {
    CommitByte(pager, n, 1, 0xEE);
  }
  ASSERT_LT(pager.pinned_pages(), pages - 1) << "nothing was written out";
  pager.Flush();  // writes the rest and syncs
  file_operations = 0;
  jet::File::SetFaultHook(CountOperation);
  pager.Flush();
  jet::File::SetFaultHook(nullptr);
  EXPECT_EQ(file_operations, 0u) << "synced already";

  for (uint32_t n = 1; n < pages; ++n) {
    CommitByte(pager, n, 2, 0xDD);
    if (pager.pinned_pages() == 0) break;  // just written out
  }
  ASSERT_EQ(pager.pinned_pages(), 0u);
  pager.FinishWriting();  // the write-out runs beside the caller
  file_operations = 0;
  jet::File::SetFaultHook(CountOperation);
  pager.Flush();
  jet::File::SetFaultHook(nullptr);
  EXPECT_EQ(file_operations, 1u) << "one sync, no write";
}

// A long group renewed as its pages pile up (an index batch) is written out
// at the bound instead of pinning every page it touches; a failure after
// the renewal takes back only what came after it.
TEST(PagerWriteTest, RenewedGroupWritesOutAtTheBoundAndRollsBackOnlyItsRest) {
  testing_support::TempDir dir;
  const uint32_t pages = jet::Pager::kMaxPinnedPages + 8;
  fs::path p = MakeFile(dir, pages);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  const uint32_t renewed = jet::Pager::kMaxPinnedPages + 1;
  {
    jet::WriteGroup group(pager);
    for (uint32_t n = 1; n <= renewed; ++n) {
      SetByte(pager, n, 3, 0xCC);
      group.RenewWhenFull();
      ASSERT_EQ(pager.pinned_pages(), n < renewed ? n : 0) << "page " << n;
    }
    SetByte(pager, pages - 1, 3, 0xCC);
    SetByte(pager, 1, 4, 0xCC);
  }  // fails: not committed
  EXPECT_EQ(pager.pinned_pages(), 0u);
  pager.Flush();
  jet::Pager reread(jet::File::OpenForReading(p.string()), 4096);
  for (uint32_t n = 1; n <= renewed; ++n) {
    ASSERT_EQ(reread.Get(n)->bytes()[3], 0xCC) << "page " << n;
  }
  EXPECT_EQ(reread.Get(pages - 1)->bytes()[3], (pages - 1) & 0xFF);
  EXPECT_EQ(reread.Get(1)->bytes()[4], 1) << "changed after the renewal";
}

// Pages written out at the bound go to the file beside the caller: they
// read back as written meanwhile (a page past the file's end included), a
// failed write-out is raised by the next flush with its pages pinned again
// (a page changed since keeps its newer bytes), and a later flush writes
// them all.
TEST(PagerWriteTest, WriteOutBesideTheCallerReadsBackAndKeepsAFailure) {
  testing_support::TempDir dir;
  const uint32_t pages = jet::Pager::kMaxPinnedPages + 8;
  fs::path p = MakeFile(dir, pages);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  uint32_t appended = 0;
  {
    jet::WriteGroup group(pager);
    appended = pager.Append();
    SetByte(pager, appended, 1, 0xEE);
    group.Commit();
  }
  jet::File::SetFaultHook(FailThirdWrite);
  uint32_t n = 1;
  while (pager.pinned_pages() > 0) CommitByte(pager, n++, 1, 0xEE);
  const uint32_t written_out = n - 1;
  for (uint32_t k = 1; k <= written_out; ++k) {
    ASSERT_EQ(pager.Get(k)->bytes()[1], 0xEE) << "page " << k;
  }
  EXPECT_EQ(pager.Get(appended)->bytes()[1], 0xEE);
  CommitByte(pager, 1, 1, 0x11);
  try {
    pager.Flush();
    ADD_FAILURE() << "expected the write-out's disk error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrDiskIo);
  }
  jet::File::SetFaultHook(nullptr);
  EXPECT_EQ(pager.pinned_pages(), written_out + 1u) << "pinned again";
  pager.Flush();
  EXPECT_EQ(pager.pinned_pages(), 0u);
  jet::Pager reread(jet::File::OpenForReading(p.string()), 4096);
  ASSERT_EQ(reread.page_count(), pages + 1);
  EXPECT_EQ(reread.Get(1)->bytes()[1], 0x11);
  for (uint32_t k = 2; k <= written_out; ++k) {
    ASSERT_EQ(reread.Get(k)->bytes()[1], 0xEE) << "page " << k;
  }
  EXPECT_EQ(reread.Get(appended)->bytes()[1], 0xEE);
}

// The error of a failed write-out can come out of a later commit, the
// one whose pages start the next write-out: that group is committed, its
// new page included, and a flush writes it.
TEST(PagerWriteTest, CommitRaisingAnEarlierWriteOutsErrorKeepsItsGroup) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 4);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  jet::File::SetFaultHook(FailThirdWrite);
  uint32_t last = 0;
  bool raised = false;
  for (int k = 0;
       k < 3 * static_cast<int>(jet::Pager::kMaxPinnedPages) && !raised; ++k) {
    jet::WriteGroup group(pager);
    last = pager.Append();
    SetByte(pager, last, 1, 0xAB);
    try {
      group.Commit();
    } catch (const jet::Error& e) {
      EXPECT_EQ(e.number(), jet::kErrDiskIo);
      raised = true;
    }
  }
  jet::File::SetFaultHook(nullptr);
  ASSERT_TRUE(raised);
  EXPECT_EQ(pager.page_count(), last + 1);
  EXPECT_EQ(pager.Get(last)->bytes()[1], 0xAB);
  pager.Flush();
  jet::Pager reread(jet::File::OpenForReading(p.string()), 4096);
  ASSERT_EQ(reread.page_count(), last + 1);
  for (uint32_t n = 4; n <= last; ++n) {
    ASSERT_EQ(reread.Get(n)->bytes()[1], 0xAB) << "page " << n;
  }
}

TEST(PagerWriteTest, FailedFlushRaisesDiskError) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 4);
  jet::Pager pager(jet::File::OpenForWriting(p.string()), 4096);
  jet::WriteGroup group(pager);
  for (uint32_t n = 1; n < 4; ++n) pager.Put(n, std::vector<uint8_t>(4096, 9));
  group.Commit();
  jet::File::SetFaultHook(FailThirdWrite);
  try {
    pager.Flush();
    ADD_FAILURE() << "expected a disk error";
  } catch (const jet::Error& e) {
    EXPECT_EQ(e.number(), jet::kErrDiskIo);
  }
  jet::File::SetFaultHook(nullptr);
  // The changes are still pinned and a later flush writes them.
  EXPECT_EQ(pager.pinned_pages(), 3u);
  pager.Flush();
  EXPECT_EQ(pager.pinned_pages(), 0u);
}

// The same on a database, whose writes are journaled: rows, their long
// values and index entries spread over many pages, a flush that fails part
// way, then the close, which raises the error and rolls the file back to
// the last durable point.
TEST(PagerWriteTest, FailedFlushRollsTheDatabaseBackToItsLastDurablePoint) {
  testing_support::TempDir dir;
  for (jet::JetVersion version :
       {jet::JetVersion::kJet4, jet::JetVersion::kJet3}) {
    std::string path =
        (dir.path() / (version == jet::JetVersion::kJet3 ? "3.mdb" : "4.mdb"))
            .string();
    jet::CreateOptions create;
    create.version = version;
    jet::CreateDatabase(path, create);
    jet::OpenOptions options;
    options.writable = true;
    auto db = jet::Database::Open(path, options);
    jet::TableDescription description;
    description.name = "Rows";
    description.columns = {{"ID", jet::ColumnType::kLong},
                           {"Text", jet::ColumnType::kText, 100},
                           {"Notes", jet::ColumnType::kMemo}};
    jet::IndexDescription key;
    key.name = "PrimaryKey";
    key.columns = {{"ID", true}};
    key.primary_key = true;
    description.indexes = {key};
    auto table = jet::CreateTable(*db, description);
    auto insert = [&](int32_t from, int32_t to) {
      for (int32_t i = from; i < to; ++i) {
        table->InsertRow({i, std::string(50, static_cast<char>('a' + i % 26)),
                          std::string(i % 10 == 0 ? 3000 : 20, 'n')});
      }
    };
    insert(0, 150);
    db->Flush();
    insert(150, 300);
    table->FlushIndexChanges();  // a durable point: rows 150 to 299 kept
    insert(300, 450);
    jet::File::SetFaultHook(FailThirdWrite);
    EXPECT_THROW(db->pager().Flush(), jet::Error);
    jet::File::SetFaultHook(nullptr);
    table.reset();
    EXPECT_THROW(db->Close(), jet::Error);
    db.reset();
    EXPECT_FALSE(fs::exists(jet::JournalPath(path)));
    EXPECT_DATABASE_CHECKS_CLEAN(path);
    auto again = jet::Database::Open(path);
    auto rows_table = again->OpenTable("Rows");
    size_t rows = 0;
    for (jet::TableScan scan = rows_table->Scan(); scan.Next();) ++rows;
    EXPECT_EQ(rows, 300u);
  }
}

TEST(PagerWriteTest, WritesOutsideAGroupOrReadOnlyAreRefused) {
  testing_support::TempDir dir;
  fs::path p = MakeFile(dir, 2);
  jet::Pager reader(jet::File::OpenForReading(p.string()), 4096);
  EXPECT_THROW(reader.BeginGroup(), jet::Error);
  jet::Pager writer(jet::File::OpenForWriting(p.string()), 4096);
  EXPECT_THROW(writer.Put(1, std::vector<uint8_t>(4096)), jet::Error);
}

}  // namespace
