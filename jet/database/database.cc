#include "jet/database/database.h"

#include <algorithm>

#include "jet/base/error.h"
#include "jet/storage/database_password.h"
#include "jet/storage/file_system.h"
#include "jet/storage/journal.h"

namespace jet {

Database::Database(std::string path, DatabaseHeader header,
                   std::unique_ptr<Pager> pager)
    : path_(std::move(path)),
      header_(std::move(header)),
      pager_(std::move(pager)),
      long_values_(*pager_, header_.version) {}

namespace {

[[noreturn]] void ThrowCannotRollBack(const std::string& path) {
  throw Error(kErrCannotOpenFile,
              "'" + path +
                  "' 파일에는 중간에 끊긴 작업을 되돌릴 기록('" +
                  JournalPath(path) +
                  "')이 남아 있는데, 파일이나 폴더에 쓸 수 없어 되돌리지 "
                  "못했습니다. 쓸 수 있게 한 뒤 다시 여십시오.");
}

// Rolls back the write group a journal beside the database was left with
// by a program that stopped in the middle of it. `lock` is the lock of a
// writable open; a read-only open takes it for the time of the rollback.
// A journal another program is using (it holds the lock) is left alone.
void RollBackCutOffGroup(const std::string& path, LockFile* lock) {
  const JournalState state = InspectJournal(path);
  if (state == JournalState::kNone) return;
  std::unique_ptr<LockFile> taken;
  if (!lock) {
    try {
      taken = LockFile::Acquire(path);
    } catch (const Error& e) {
      if (e.number() == kErrFileInUse) return;  // the writer's own journal
      if (state == JournalState::kUnused) return;
      ThrowCannotRollBack(path);
    }
  }
  if (state == JournalState::kUnused) {
    try {
      RemoveFile(JournalPath(path));
    } catch (const Error&) {
    }
    return;
  }
  std::optional<File> database;
  try {
    database = File::OpenForWriting(path);
  } catch (const Error& e) {
    if (e.number() == kErrCannotOpenFile) ThrowCannotRollBack(path);
    throw;
  }
  RollBackJournal(path, *database);
}

}  // namespace

std::unique_ptr<Database> Database::Open(const std::string& path,
                                         const OpenOptions& options) {
  std::unique_ptr<LockFile> lock;
  if (options.writable) {
    // Fails before anything is opened when another program has the file.
    File::OpenForReading(path);
    lock = LockFile::Acquire(path);
  }
  RollBackCutOffGroup(path, lock.get());
  File file = options.writable ? File::OpenForWriting(path)
                               : File::OpenForReading(path);
  std::vector<uint8_t> first(
      static_cast<size_t>(std::min<uint64_t>(file.size(), kJet4PageSize)));
  file.ReadAt(0, first);
  DatabaseHeader header =
      DatabaseHeader::Decode(ByteView(first.data(), first.size()), path);
  if (file.size() < 3ull * header.page_size()) {
    // Page 0, the global usage map page and the catalog definition at
    // least; anything shorter is a truncated file.
    ThrowDamaged("파일이 잘렸습니다");
  }
  CheckPassword(header, ConnectStringPassword(options.connect));

  auto pager = std::make_unique<Pager>(std::move(file), header.page_size(),
                                       options.cache_pages);
  pager->set_cipher(PageCipher(header.database_key));
  pager->set_max_pinned_pages(options.max_pinned_pages);
  std::unique_ptr<Database> db(
      new Database(path, std::move(header), std::move(pager)));
  db->writable_ = options.writable;
  db->lock_ = std::move(lock);
  if (options.writable && options.journal) {
    db->journal_ = std::make_unique<Journal>(path, db->pager_->page_size());
    db->pager_->set_journal(db->journal_.get());
  }
  db->catalog_ = ReadCatalog(*db->pager_, db->header_, options.salvage,
                             &db->catalog_damaged_);
  db->tables_ = TablesInNameOrder(db->catalog_);
  return db;
}

Database::~Database() {
  try {
    Close();
  } catch (const Error&) {
    // Close() is where a caller learns of a failed write; a destructor can
    // only drop it.
  }
}

void Database::Flush() {
  std::optional<Error> error;
  std::swap(error, deferred_error_);
  for (Table* table : writers_) {
    try {
      table->FlushIndexChanges();
    } catch (const Error& e) {
      if (!error) error = e;
    }
  }
  if (pager_ && pager_->writable() && !pager_->in_group()) pager_->Flush();
  if (error) throw *error;
}

void Database::DurablePointIfWhole() {
  if (!pager_ || !pager_->writable() || pager_->in_group()) return;
  for (Table* table : writers_) {
    if (table->HasGatheredIndexChanges()) return;
  }
  pager_->Flush();
}

void Database::Close() {
  try {
    Flush();
  } catch (...) {
    // Back to the last durable point; when even that fails, the journal
    // stays for the next open to roll back.
    try {
      if (pager_ && pager_->writable()) pager_->RollBackToFlush();
      if (journal_) journal_->Remove();
    } catch (const Error&) {
    }
    journal_.reset();
    lock_.reset();
    throw;
  }
  if (journal_) journal_->Remove();
  journal_.reset();
  lock_.reset();
}

const CatalogEntry& Database::FindTable(const std::string& name) const {
  for (const CatalogEntry& t : tables_) {
    if (NamesEqualIgnoringCase(t.name, name)) return t;
  }
  throw Error(kErrTableNotFound, "'" + name + "' 테이블을 찾을 수 없습니다.");
}

TableDefinition Database::ReadTableDefinition(const CatalogEntry& table) {
  if (!table.is_local_table()) {
    throw Error(
        kErrUnsupportedFeature,
        "'" + table.name + "' 은(는) 연결된 테이블이라 읽을 수 없습니다.");
  }
  return TableDefinition::Read(*pager_, header_.version, header_.code_page,
                               table.definition_page());
}

}  // namespace jet

namespace jet {

void Database::SetPassword(const std::string& password) {
  if (!writable_) {
    throw Error(
        kErrReadOnly,
        "데이터베이스가 읽기 전용으로 열려 있어 암호를 바꿀 수 없습니다.");
  }
  WriteGroup group(*pager_);
  std::vector<uint8_t> page = pager_->CopyForWrite(0);
  StorePassword(page, password, path_);
  header_ = DatabaseHeader::Decode(ByteView(page.data(), page.size()), path_);
  pager_->Put(0, std::move(page));
  group.Commit();
}

std::unique_ptr<Table> Database::OpenTable(const std::string& name) {
  const CatalogEntry& entry = FindTable(name);
  TableDefinition def = ReadTableDefinition(entry);
  return std::make_unique<Table>(*this, entry, std::move(def));
}

}  // namespace jet
