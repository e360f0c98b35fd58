#include "jet/schema/object_id_columns.h"

#include "jet/schema/catalog.h"

namespace jet {

namespace {

struct IdColumn {
  const char* table;
  const char* column;
};

constexpr IdColumn kIdColumns[] = {
    {"MSysObjects", "Id"},
    {"MSysObjects", "ParentId"},
    {"MSysACEs", "ObjectId"},
    {"MSysQueries", "ObjectId"},
    {"MSysNameMap", "Id"},
    {"MSysNavPaneObjectIDs", "Id"},
    {"MSysNavPaneGroupToObjects", "ObjectID"},
    {"MSysNavPaneGroups", "ObjectID"},
    {"MSysNavPaneGroupCategories", "SelectedObjectID"},
};

}  // namespace

bool IsObjectIdColumn(const std::string& table, const std::string& column) {
  for (const IdColumn& c : kIdColumns) {
    if (NamesEqualIgnoringCase(table, c.table) &&
        NamesEqualIgnoringCase(column, c.column)) {
      return true;
    }
  }
  return false;
}

}  // namespace jet
