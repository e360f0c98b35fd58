// New databases: what CreateDatabase writes is what Jet itself writes for an
// empty database (checked against the database Jet emptied through ADOX and
// the system tables of Access 97 files), opens in this engine, in mdbtools
// and in mdb-reader, and keeps its password; a failed creation leaves no
// file behind.
#include "jet/database/database_builder.h"

#include <gtest/gtest.h>

#include <cmath>
#include <fstream>
#include <iterator>
#include <map>

#include "jet/schema/catalog.h"
#include "jet/database/database.h"
#include "jet/storage/database_password.h"
#include "jet/base/error.h"
#include "jet/storage/file.h"
#include "jet/index/index_reader.h"
#include "jet/schema/system_tables.h"
#include "jet/storage/usage_map.h"
#include "tests/jet/builder_test_support.h"
#include "tests/support/corpus.h"
#include "tests/support/database_check.h"
#include "tests/support/error_number.h"

namespace {

namespace fs = std::filesystem;
using builder_test::Quote;
using builder_test::RunCommand;
using jet::CreateOptions;
using jet::Database;
using jet::JetVersion;
using jet::TableDefinition;
using testing_support::TempDir;

std::string Created(const TempDir& dir, const CreateOptions& options,
                    const std::string& name = "new.mdb") {
  std::string path = (dir.path() / name).string();
  jet::CreateDatabase(path, options);
  EXPECT_DATABASE_CHECKS_CLEAN(path, ";pwd=" + options.password);
  return path;
}

CreateOptions Jet3() {
  CreateOptions o;
  o.version = JetVersion::kJet3;
  return o;
}

CreateOptions WithSortOrder(uint16_t sort_order) {
  CreateOptions o;
  o.sort_order = sort_order;
  return o;
}

using testing_support::ErrorNumberOf;

std::vector<uint8_t> FileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

const jet::CatalogEntry* Entry(const Database& db, const std::string& name) {
  for (const auto& e : db.catalog()) {
    if (e.name == name) return &e;
  }
  return nullptr;
}

// The leaf entries of a real index, with the catalog name of each row.
std::map<std::string, std::vector<uint8_t>> CatalogKeys(Database& db,
                                                        size_t real_index) {
  TableDefinition def = db.ReadTableDefinition(*Entry(db, "MSysObjects"));
  auto table = db.OpenTable("MSysObjects");
  size_t name = 0;
  while (def.columns[name].name != "Name") ++name;
  std::map<std::string, std::vector<uint8_t>> keys;
  for (const jet::IndexEntry& e :
       jet::ReadIndexEntries(db.pager(), db.version(),
                             def.real_indexes.at(real_index).first_page)) {
    keys[std::get<std::string>(table->ReadRow(e.row)[name])] = e.key;
  }
  return keys;
}

// The column, index and map layout of two system table definitions agree;
// `same_pages` also compares the map and root pages.
void ExpectSameLayout(const TableDefinition& ours, const TableDefinition& jet,
                      bool same_pages, const std::string& where) {
  EXPECT_EQ(ours.table_type, jet.table_type) << where;
  EXPECT_EQ(ours.max_columns, jet.max_columns) << where;
  EXPECT_EQ(ours.variable_column_count, jet.variable_column_count) << where;
  ASSERT_EQ(ours.columns.size(), jet.columns.size()) << where;
  for (size_t k = 0; k < ours.columns.size(); ++k) {
    const auto& a = ours.columns[k];
    const auto& b = jet.columns[k];
    std::string at = where + " " + b.name;
    EXPECT_EQ(a.name, b.name) << at;
    EXPECT_EQ(a.type, b.type) << at;
    EXPECT_EQ(a.number, b.number) << at;
    EXPECT_EQ(a.variable_index, b.variable_index) << at;
    EXPECT_EQ(a.column_index, b.column_index) << at;
    EXPECT_EQ(a.length, b.length) << at;
    EXPECT_EQ(a.flags, b.flags) << at;
    EXPECT_EQ(a.compressed_unicode, b.compressed_unicode) << at;
    if (a.is_fixed()) {
      EXPECT_EQ(a.fixed_offset, b.fixed_offset) << at;
    }
    EXPECT_EQ(a.sort_order, b.sort_order) << at;
  }
  ASSERT_EQ(ours.real_indexes.size(), jet.real_indexes.size()) << where;
  for (size_t i = 0; i < ours.real_indexes.size(); ++i) {
    const auto& a = ours.real_indexes[i];
    const auto& b = jet.real_indexes[i];
    ASSERT_EQ(a.columns.size(), b.columns.size()) << where;
    for (size_t c = 0; c < a.columns.size(); ++c) {
      EXPECT_EQ(a.columns[c].column_number, b.columns[c].column_number)
          << where;
      EXPECT_EQ(a.columns[c].ascending, b.columns[c].ascending) << where;
    }
    EXPECT_EQ(a.flags, b.flags) << where;
    if (same_pages) {
      EXPECT_EQ(a.usage_map, b.usage_map) << where;
      EXPECT_EQ(a.first_page, b.first_page) << where;
    }
  }
  ASSERT_EQ(ours.logical_indexes.size(), jet.logical_indexes.size()) << where;
  for (size_t i = 0; i < ours.logical_indexes.size(); ++i) {
    const auto& a = ours.logical_indexes[i];
    const auto& b = jet.logical_indexes[i];
    EXPECT_EQ(a.name, b.name) << where;
    EXPECT_EQ(a.number, b.number) << where;
    EXPECT_EQ(a.real_index, b.real_index) << where;
    EXPECT_EQ(a.index_type, b.index_type) << where;
    EXPECT_EQ(a.related_index, b.related_index) << where;
  }
  ASSERT_EQ(ours.long_value_maps.size(), jet.long_value_maps.size()) << where;
  for (size_t i = 0; i < ours.long_value_maps.size(); ++i) {
    EXPECT_EQ(ours.long_value_maps[i].column_number,
              jet.long_value_maps[i].column_number)
        << where;
    if (same_pages) {
      EXPECT_EQ(ours.long_value_maps[i].usage_map,
                jet.long_value_maps[i].usage_map);
      EXPECT_EQ(ours.long_value_maps[i].free_space_map,
                jet.long_value_maps[i].free_space_map);
    }
  }
  if (same_pages) {
    EXPECT_EQ(ours.page, jet.page) << where;
    EXPECT_EQ(ours.usage_map, jet.usage_map) << where;
    EXPECT_EQ(ours.free_space_map, jet.free_space_map) << where;
  }
}

TEST(CreateDatabaseTest, Jet4DatabaseIsTheOneJetMakes) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto ours = Database::Open(Created(dir, {}));
  auto jet = Database::Open(
      (testing_support::CorpusDir() / "jet4/adoxEmpty.mdb").string());
  EXPECT_EQ(ours->pager().page_count(), jet->pager().page_count());
  for (uint32_t p = 0; p < jet->pager().page_count(); ++p) {
    EXPECT_EQ(ours->pager().Get(p)->type(), jet->pager().Get(p)->type()) << p;
  }
  for (const char* name :
       {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
    ExpectSameLayout(ours->ReadTableDefinition(*Entry(*ours, name)),
                     jet->ReadTableDefinition(*Entry(*jet, name)), true, name);
  }
  // The same catalog rows, in the same places.
  ASSERT_EQ(ours->catalog().size(), jet->catalog().size());
  for (size_t i = 0; i < jet->catalog().size(); ++i) {
    const auto& a = ours->catalog()[i];
    const auto& b = jet->catalog()[i];
    EXPECT_EQ(a.name, b.name);
    EXPECT_EQ(a.id, b.id) << b.name;
    EXPECT_EQ(a.parent_id, b.parent_id) << b.name;
    EXPECT_EQ(a.type, b.type) << b.name;
    EXPECT_EQ(a.flags, b.flags) << b.name;
  }
  // The catalog's index entries are Jet's, byte for byte.
  for (size_t index = 0; index < 2; ++index) {
    auto ours_entries = jet::ReadIndexEntries(
        ours->pager(), ours->version(),
        ours->ReadTableDefinition(*Entry(*ours, "MSysObjects"))
            .real_indexes[index]
            .first_page);
    auto jet_entries = jet::ReadIndexEntries(
        jet->pager(), jet->version(),
        jet->ReadTableDefinition(*Entry(*jet, "MSysObjects"))
            .real_indexes[index]
            .first_page);
    ASSERT_EQ(ours_entries.size(), 8u);
    ASSERT_EQ(ours_entries.size(), jet_entries.size());
    for (size_t i = 0; i < jet_entries.size(); ++i) {
      EXPECT_EQ(ours_entries[i].key, jet_entries[i].key) << index << " " << i;
      EXPECT_EQ(ours_entries[i].row, jet_entries[i].row) << index << " " << i;
    }
  }
  // The access control entries, the security ids aside (Jet 4 masks them).
  auto ours_aces = ours->OpenTable("MSysACEs");
  auto jet_aces = jet->OpenTable("MSysACEs");
  std::vector<std::vector<jet::Value>> a, b;
  for (auto scan = ours_aces->Scan(); scan.Next();)
    a.push_back(ours_aces->ReadRow(scan.row_id()));
  for (auto scan = jet_aces->Scan(); scan.Next();)
    b.push_back(jet_aces->ReadRow(scan.row_id()));
  ASSERT_EQ(a.size(), 16u);
  ASSERT_EQ(a.size(), b.size());
  const auto& cols = ours_aces->definition().columns;
  for (size_t r = 0; r < a.size(); ++r) {
    for (size_t k = 0; k < cols.size(); ++k) {
      if (cols[k].name == "SID") continue;
      EXPECT_EQ(a[r][k], b[r][k]) << "row " << r << " " << cols[k].name;
    }
  }
}

TEST(CreateDatabaseTest, Jet3SystemTablesAreThoseOfAccess97) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto ours = Database::Open(Created(dir, Jet3()));
  auto jet = Database::Open(
      (testing_support::CorpusDir() / "jet3/compIndexTestV1997.mdb").string());
  EXPECT_EQ(ours->version(), JetVersion::kJet3);
  EXPECT_EQ(ours->pager().page_size(), 2048u);
  EXPECT_EQ(ours->header().sort_order, 1033);
  EXPECT_EQ(ours->header().code_page, 1252);
  for (const char* name :
       {"MSysObjects", "MSysACEs", "MSysQueries", "MSysRelationships"}) {
    ExpectSameLayout(ours->ReadTableDefinition(*Entry(*ours, name)),
                     jet->ReadTableDefinition(*Entry(*jet, name)), false, name);
  }
  // The catalog rows Jet made for itself, with the keys Access 97 wrote
  // for the same names.
  for (size_t index = 0; index < 2; ++index) {
    auto ours_keys = CatalogKeys(*ours, index);
    auto jet_keys = CatalogKeys(*jet, index);
    ASSERT_EQ(ours_keys.size(), 8u);
    for (const auto& [name, key] : ours_keys) {
      ASSERT_TRUE(jet_keys.count(name)) << name;
      EXPECT_EQ(key, jet_keys[name]) << name;
    }
  }
}

TEST(CreateDatabaseTest, KoreanDatabaseIndexesItsCatalogWithKoreanKeys) {
  SKIP_WITHOUT_CORPUS();
  TempDir dir;
  auto ours =
      Database::Open(Created(dir, WithSortOrder(jet::sort_orders::kKorean)));
  EXPECT_EQ(ours->header().sort_order, 1042);
  EXPECT_EQ(ours->header().code_page, 949);
  TableDefinition def = ours->ReadTableDefinition(*Entry(*ours, "MSysObjects"));
  EXPECT_EQ(def.FindColumn("Name")->sort_order, 1042);
  // korean/members.mdb was made by Access on a Korean system.
  auto korean = Database::Open(
      (testing_support::CorpusDir() / "korean/members.mdb").string());
  auto ours_keys = CatalogKeys(*ours, 0);
  auto korean_keys = CatalogKeys(*korean, 0);
  for (const auto& [name, key] : ours_keys) {
    ASSERT_TRUE(korean_keys.count(name)) << name;
    EXPECT_EQ(key, korean_keys[name]) << name;
  }
}

TEST(CreateDatabaseTest, HeaderHoldsVersionSortOrderCodePageAndCreationDate) {
  TempDir dir;
  struct Case {
    CreateOptions options;
    uint16_t code_page;
  } cases[] = {{{}, 1252},
               {WithSortOrder(jet::sort_orders::kKorean), 949},
               {WithSortOrder(jet::sort_orders::kChinese), 936},
               {WithSortOrder(jet::sort_orders::kJapanese), 932},
               {Jet3(), 1252}};
  int n = 0;
  for (const Case& c : cases) {
    jet::DateTime before = jet::CurrentDateTime();
    auto db =
        Database::Open(Created(dir, c.options, std::to_string(n++) + ".mdb"));
    const jet::DatabaseHeader& h = db->header();
    EXPECT_EQ(h.version, c.options.version);
    EXPECT_EQ(h.sort_order, c.options.sort_order);
    EXPECT_EQ(h.code_page, c.code_page);
    EXPECT_EQ(h.database_key, 0u);
    if (h.version == JetVersion::kJet4) {
      EXPECT_NEAR(h.creation_date, before.days, 2.0 / 1440);
    }
    EXPECT_EQ(jet::StoredPassword(h), "");
    // Only the system tables.
    std::vector<std::string> names;
    for (const auto& t : db->tables()) names.push_back(t.name);
    EXPECT_EQ(names,
              (std::vector<std::string>{"MSysACEs", "MSysObjects",
                                        "MSysQueries", "MSysRelationships"}));
    for (const auto& t : db->tables()) EXPECT_TRUE(t.is_system()) << t.name;
  }
}

TEST(CreateDatabaseTest, GlobalMapListsThePagesNotInUse) {
  TempDir dir;
  for (const CreateOptions& options : {CreateOptions{}, Jet3()}) {
    std::string path = Created(
        dir, options, options.version == JetVersion::kJet3 ? "3.mdb" : "4.mdb");
    auto db = Database::Open(path);
    // Every page of the file is in use; the map covers no page in the file
    // as free.
    EXPECT_TRUE(jet::ReadUsageMap(db->pager(), db->version(), {1, 0}).empty());
    // Its row also marks the pages past the end as free, up to its reach.
    jet::PageRef map = db->pager().Get(1);
    EXPECT_EQ(map->view().U32(4), 1u);  // the owner field Jet gives page 1
  }
}

TEST(CreateDatabaseTest, ExistingFileIsRefusedAndLeftAlone) {
  TempDir dir;
  std::string path = (dir.path() / "taken.mdb").string();
  {
    std::ofstream out(path, std::ios::binary);
    out << "not a database";
  }
  std::vector<uint8_t> before = FileBytes(path);
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateDatabase(path, {}); }),
            jet::kErrAlreadyExists);
  EXPECT_EQ(FileBytes(path), before);
  // A database is no different.
  std::string made = Created(dir, {});
  before = FileBytes(made);
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateDatabase(made, Jet3()); }),
            jet::kErrAlreadyExists);
  EXPECT_EQ(FileBytes(made), before);
}

TEST(CreateDatabaseTest, FailureLeavesNoFile) {
  TempDir dir;
  std::string path = (dir.path() / "x.mdb").string();
  // Sort orders whose catalog keys this engine cannot make.
  CreateOptions turkish = WithSortOrder(jet::sort_orders::kTurkish);
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateDatabase(path, turkish); }),
            jet::kErrUnsupportedFeature);
  EXPECT_FALSE(fs::exists(path));
  CreateOptions chinese3 = Jet3();
  chinese3.sort_order = jet::sort_orders::kChinese;
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateDatabase(path, chinese3); }),
            jet::kErrUnsupportedFeature);
  EXPECT_FALSE(fs::exists(path));
  CreateOptions long_password;
  long_password.password = std::string(21, 'p');
  EXPECT_EQ(ErrorNumberOf([&] { jet::CreateDatabase(path, long_password); }),
            jet::kErrUnsupportedFeature);
  EXPECT_FALSE(fs::exists(path));
  // A disk that fails part way.
  for (uint64_t fail_at : {1u, 2u, 3u, 5u, 12u}) {
    static uint64_t target;
    target = fail_at;
    jet::File::SetFaultHook([](uint64_t op) { return op + 1 == target; });
    int error = ErrorNumberOf([&] { jet::CreateDatabase(path, {}); });
    jet::File::SetFaultHook(nullptr);
    EXPECT_EQ(error, jet::kErrDiskIo) << fail_at;
    EXPECT_FALSE(fs::exists(path)) << fail_at;
  }
  // And then it works.
  jet::CreateDatabase(path, {});
  EXPECT_NO_THROW(Database::Open(path));
  EXPECT_DATABASE_CHECKS_CLEAN(path);
}

jet::OpenOptions WithPassword(const std::string& password) {
  jet::OpenOptions o;
  o.connect = ";pwd=" + password;
  return o;
}

TEST(CreateDatabaseTest, PasswordIsCheckedAndCanBeChanged) {
  TempDir dir;
  for (JetVersion version : {JetVersion::kJet4, JetVersion::kJet3}) {
    CreateOptions options;
    options.version = version;
    options.password =
        version == JetVersion::kJet4 ? "비밀번호7316" : "Secret7";
    std::string path =
        Created(dir, options, version == JetVersion::kJet3 ? "3.mdb" : "4.mdb");
    EXPECT_EQ(ErrorNumberOf([&] { Database::Open(path); }),
              jet::kErrInvalidPassword);
    EXPECT_EQ(
        ErrorNumberOf([&] { Database::Open(path, WithPassword("wrong")); }),
        jet::kErrInvalidPassword);
    EXPECT_NO_THROW(Database::Open(path, WithPassword(options.password)));

    EXPECT_EQ(
        ErrorNumberOf([&] { jet::SetDatabasePassword(path, "wrong", "7316"); }),
        jet::kErrInvalidPassword);
    jet::SetDatabasePassword(path, options.password, "7316");
    EXPECT_EQ(ErrorNumberOf([&] {
                Database::Open(path, WithPassword(options.password));
              }),
              jet::kErrInvalidPassword);
    auto db = Database::Open(path, WithPassword("7316"));
    EXPECT_EQ(jet::StoredPassword(db->header()), "7316");
    db.reset();
    EXPECT_DATABASE_CHECKS_CLEAN(path, ";pwd=7316");
    jet::SetDatabasePassword(path, "7316", "");
    EXPECT_NO_THROW(Database::Open(path));
    EXPECT_NO_THROW(Database::Open(path, WithPassword("anything")));
    EXPECT_DATABASE_CHECKS_CLEAN(path);
  }
}

TEST(CreateDatabaseTest, MdbReaderDecodesThePassword) {
  SKIP_WITHOUT_MDB_READER();
  TempDir dir;
  std::string script =
      (builder_test::OraclesDir() / "mdb_reader_password.mjs").string();
  for (JetVersion version : {JetVersion::kJet4, JetVersion::kJet3}) {
    CreateOptions options;
    options.version = version;
    options.password = version == JetVersion::kJet4 ? "한글암호" : "Library";
    std::string path =
        Created(dir, options, version == JetVersion::kJet3 ? "3.mdb" : "4.mdb");
    auto r = RunCommand("node " + Quote(script) + " " + Quote(path));
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.output, options.password + "\n");
    jet::SetDatabasePassword(path, options.password, "");
    r = RunCommand("node " + Quote(script) + " " + Quote(path) + " --json");
    EXPECT_EQ(r.output, "{\"password\":null}\n") << r.output;
    EXPECT_DATABASE_CHECKS_CLEAN(path);
  }
}

TEST(CreateDatabaseTest, MdbtoolsReadsTheNewDatabase) {
  SKIP_WITHOUT_MDBTOOLS();
  TempDir dir;
  for (const CreateOptions& options :
       {CreateOptions{}, WithSortOrder(jet::sort_orders::kKorean), Jet3()}) {
    std::string path = Created(
        dir, options,
        std::to_string(options.sort_order) +
            (options.version == JetVersion::kJet3 ? "-3" : "-4") + ".mdb");
    auto tables = RunCommand("mdb-tables -S -1 " + Quote(path));
    EXPECT_EQ(tables.status, 0);
    EXPECT_EQ(tables.output,
              "MSysObjects\nMSysACEs\nMSysQueries\nMSysRelationships\n");
    auto catalog = RunCommand("mdb-json " + Quote(path) + " MSysObjects");
    EXPECT_EQ(catalog.status, 0);
    for (const char* name : {"\"Tables\"", "\"Databases\"", "\"Relationships\"",
                             "\"MSysDb\"", "\"MSysObjects\"", "\"MSysACEs\"",
                             "\"MSysQueries\"", "\"MSysRelationships\""}) {
      EXPECT_NE(catalog.output.find(std::string("\"Name\":") + name),
                std::string::npos)
          << name << "\n"
          << catalog.output;
    }
    auto aces = RunCommand("mdb-export " + Quote(path) + " MSysACEs");
    EXPECT_EQ(aces.status, 0);
    // A header line and 16 entries.
    EXPECT_EQ(std::count(aces.output.begin(), aces.output.end(), '\n'), 17);
  }
}

TEST(CreateDatabaseTest, MdbReaderReadsTheNewDatabase) {
  SKIP_WITHOUT_MDB_READER();
  TempDir dir;
  std::string script =
      (builder_test::OraclesDir() / "mdb_reader_dump.mjs").string();
  for (const CreateOptions& options :
       {CreateOptions{}, WithSortOrder(jet::sort_orders::kKorean), Jet3()}) {
    std::string path = Created(
        dir, options,
        std::to_string(options.sort_order) +
            (options.version == JetVersion::kJet3 ? "-3" : "-4") + ".mdb");
    auto dump =
        RunCommand("node " + Quote(script) + " " + Quote(path) + " --all");
    EXPECT_EQ(dump.status, 0);
    EXPECT_EQ(std::count(dump.output.begin(), dump.output.end(), '\n'), 8 + 16)
        << dump.output;
    EXPECT_NE(dump.output.find("\"Name\": \"MSysRelationships\""),
              std::string::npos);
    EXPECT_EQ(dump.output.find("\"error\""), std::string::npos) << dump.output;
  }
}

}  // namespace
