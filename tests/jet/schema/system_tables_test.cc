// The system tables' facts: the catalog rows and access control entries of
// a new database, and the definitions of the system tables.
#include "jet/schema/system_tables.h"

#include <gtest/gtest.h>

#include "jet/schema/catalog.h"

namespace {

TEST(SystemTablesTest, NewDatabaseRowsNameTheSystemTables) {
  std::vector<int32_t> ids = {2, 3, 4, 5};
  auto rows = jet::InitialCatalogRows(ids);
  ASSERT_EQ(rows.size(), 8u);
  EXPECT_EQ(rows[0].name, "Tables");
  EXPECT_EQ(rows[3].name, "MSysDb");
  EXPECT_EQ(rows[3].parent_id, jet::catalog_ids::kDatabasesContainer);
  for (size_t i = 0; i < 4; ++i) {
    EXPECT_EQ(rows[4 + i].id, ids[i]);
    EXPECT_EQ(rows[4 + i].name, jet::SystemTableName(jet::kSystemTables[i]));
    EXPECT_EQ(rows[4 + i].type, jet::catalog_types::kTable);
    EXPECT_EQ(rows[4 + i].parent_id, jet::catalog_ids::kTablesContainer);
  }
  for (const auto& r : rows) EXPECT_EQ(r.flags, jet::kJetSystemObjectFlags);
  auto aces = jet::InitialAccessControlEntries(ids);
  EXPECT_EQ(aces.size(), 16u);
  // Every object of the catalog has at least one entry.
  for (const auto& r : rows) {
    bool found = false;
    for (const auto& a : aces) found |= a.object_id == r.id;
    EXPECT_TRUE(found) << r.name;
  }
}

TEST(SystemTablesTest, DefinitionsFollowJetsColumnOrders) {
  jet::TextSettings text;
  for (jet::JetVersion version :
       {jet::JetVersion::kJet3, jet::JetVersion::kJet4}) {
    for (jet::SystemTable t : jet::kSystemTables) {
      jet::TableDefinition def = jet::SystemTableDefinition(t, version, text);
      EXPECT_EQ(def.table_type, jet::kSystemTableType);
      for (size_t k = 1; k < def.columns.size(); ++k) {
        if (version == jet::JetVersion::kJet3) {
          EXPECT_LT(def.columns[k - 1].number, def.columns[k].number);
        } else {
          EXPECT_TRUE(
              jet::NameLess(def.columns[k - 1].name, def.columns[k].name));
        }
      }
      for (size_t i = 1; i < def.long_value_maps.size(); ++i) {
        auto name = [&](size_t m) {
          for (const auto& c : def.columns) {
            if (c.number == def.long_value_maps[m].column_number) return c.name;
          }
          return std::string();
        };
        EXPECT_TRUE(jet::NameLess(name(i - 1), name(i)));
      }
    }
  }
  jet::TableDefinition queries = jet::SystemTableDefinition(
      jet::SystemTable::kQueries, jet::JetVersion::kJet3, text);
  EXPECT_EQ(queries.columns.size(), 7u);  // no LvExtra in Jet 3
}

}  // namespace
