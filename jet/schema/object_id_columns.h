// The columns of the system tables that hold catalog object ids. A table's
// id is the page of its definition (catalog.h), so an id changes when the
// definition moves, as in a compaction, and every column below must follow:
//
//   MSysObjects                  Id, ParentId
//   MSysACEs                     ObjectId    (whose access entry)
//   MSysQueries                  ObjectId    (the query a row belongs to)
//   MSysNameMap                  Id          (Access's name autocorrect)
//   MSysNavPaneObjectIDs         Id          (Access's navigation pane)
//   MSysNavPaneGroupToObjects    ObjectID
//   MSysNavPaneGroups            ObjectID
//   MSysNavPaneGroupCategories   SelectedObjectID
//
// Other id columns (MSysAccessStorage's, the navigation pane's own group
// ids) count in spaces of their own. Names compare case-insensitively.
#ifndef MDBCARE_JET_SCHEMA_OBJECT_ID_COLUMNS_H_
#define MDBCARE_JET_SCHEMA_OBJECT_ID_COLUMNS_H_

#include <string>

namespace jet {

bool IsObjectIdColumn(const std::string& table, const std::string& column);

}  // namespace jet

#endif  // MDBCARE_JET_SCHEMA_OBJECT_ID_COLUMNS_H_
