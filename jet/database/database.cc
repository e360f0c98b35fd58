#include "jet/database/database.h"

#include <algorithm>

#include "jet/storage/database_password.h"
#include "jet/base/error.h"

namespace jet {

Database::Database(std::string path, DatabaseHeader header,
                   std::unique_ptr<Pager> pager)
    : path_(std::move(path)),
      header_(std::move(header)),
      pager_(std::move(pager)),
      long_values_(*pager_, header_.version) {}

std::unique_ptr<Database> Database::Open(const std::string& path,
                                         const OpenOptions& options) {
  std::unique_ptr<LockFile> lock;
  if (options.writable) {
    // Fails before anything is opened when another program has the file.
    File::OpenForReading(path);
    lock = LockFile::Acquire(path);
  }
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
  std::unique_ptr<Database> db(
      new Database(path, std::move(header), std::move(pager)));
  db->writable_ = options.writable;
  db->lock_ = std::move(lock);
  db->catalog_ = ReadCatalog(*db->pager_, db->header_);
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

void Database::Close() {
  try {
    Flush();
  } catch (...) {
    lock_.reset();
    throw;
  }
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
