// A table of an open database: its definition, a cursor over its rows, and
// the row writes (update, insert, delete). Every write keeps the page's
// free space and the page maps exact, or raises an error and changes
// nothing. A write's index changes are checked at once (a duplicate in a
// unique index is refused then) and gathered; they reach the index pages in
// sorted batches: when many have gathered, at FlushIndexChanges(), when the
// table is destroyed, and when the database is flushed or closed.
#ifndef MDBCARE_JET_DATABASE_TABLE_H_
#define MDBCARE_JET_DATABASE_TABLE_H_

#include <cstddef>
#include <memory>
#include <optional>
#include <vector>

#include "jet/schema/catalog.h"
#include "jet/base/error.h"
#include "jet/index/index_node.h"
#include "jet/index/index_view_cache.h"
#include "jet/rows/row_codec.h"
#include "jet/rows/table_definition.h"
#include "jet/rows/table_scan.h"
#include "jet/base/value.h"

namespace jet {

class Database;
class LongValueWriter;
class PageAllocator;
class PendingIndexChanges;
class RowStore;

// A new value for the column at `column` (a position in
// TableDefinition::columns).
struct ColumnChange {
  size_t column = 0;
  Value value;
  // The column's stored value, decoded, when the caller has it at hand: a
  // memo or OLE value is then compared with it instead of being read from
  // its long-value pages again. Must outlive the StageUpdate call.
  const Value* stored = nullptr;
};

class Table {
 public:
  // `db` must outlive the table.
  Table(Database& db, CatalogEntry entry, TableDefinition definition);
  ~Table();

  Table(const Table&) = delete;
  Table& operator=(const Table&) = delete;

  const CatalogEntry& entry() const { return entry_; }
  const TableDefinition& definition() const { return definition_; }

  // A cursor in storage order. A row updated through this table while the
  // cursor runs is met once, at its original place.
  TableScan Scan();

  // The values of the row the scan met at `row_id`, one per column.
  std::vector<Value> ReadRow(RowPointer row_id);

  // Replaces the values of some columns of the row met at `row_id`. Each
  // value must already have the column's type (see ConvertToColumnType).
  // Raises 3022 (duplicate in a unique index), 3314 (Required), 3315
  // (zero-length text not allowed), 3163 (too long) or 3027 (read-only
  // database); then nothing in the file has changed.
  void UpdateRow(RowPointer row_id, const std::vector<ColumnChange>& changes);

 private:
  // One index's part of a row change, worked out before anything is
  // written.
  struct IndexChange {
    size_t index = 0;
    bool had_entry = false;
    bool has_entry = false;
    IndexEntry old_entry;
    IndexEntry new_entry;
  };

 public:
  // Updates of one row, checked one by one and written together: a caller
  // that changes the columns of a row in turn stages each change and writes
  // the row once. A staged change is checked against the row as stored
  // with the changes staged before it; the check holds until the row is
  // written as long as nothing else of the table is written in between.
  class RowUpdate {
   public:
    RowUpdate() = default;
    // Whether anything staged differs from the stored row.
    bool changes() const;

   private:
    friend class Table;
    RowPointer row_id_;
    RowPointer stored_at_;
    std::vector<FieldBytes> stored_;
    // Per column: whether it changes, its new value, its new bytes (fixed
    // and text columns).
    std::vector<uint8_t> changed_;
    std::vector<std::optional<Value>> assigned_;
    std::vector<std::optional<FieldData>> next_;
    // The columns whose entries above were set since the update began.
    std::vector<size_t> staged_columns_;
    // The entries of the indexes the staged changes touch.
    std::vector<IndexChange> index_plan_;
  };

  // Starts updates of the row met at `row_id` whose place and stored
  // fields are given as a scan of this table met them (TableScan::
  // stored_at() and Fields()); the page those fields lie on must stay held
  // until the row is written.
  RowUpdate BeginRowUpdate(RowPointer row_id, RowPointer stored_at,
                           const std::vector<FieldBytes>& stored);
  // Checks `changes` and stages them: returns the refusal (3022, 3314,
  // 3315, 3900) that UpdateRow would raise, leaving `update` as it was;
  // other errors are raised. The rules see the values as given; then a
  // fixed-length text value in `changes` is made the padded value the
  // column stores (PadFixedLengthText), so that it reads back as stored.
  std::optional<Error> StageUpdate(RowUpdate& update,
                                   std::vector<ColumnChange>& changes);
  // Writes the staged changes (nothing when none changes the row) and
  // empties `update`.
  void WriteRowUpdate(RowUpdate& update);

  // Appends a row; `values` has one value per column. Returns its row id.
  RowPointer InsertRow(const std::vector<Value>& values);

  // Deletes the row met at `row_id`: its index entries, its long values and
  // its bytes go; the slot stays, marked deleted. Raises 3027 for a
  // read-only database.
  void DeleteRow(RowPointer row_id);

  // Writes the gathered index changes to the index pages, then asks the
  // database for a durable point (Database::DurablePointIfWhole).
  void FlushIndexChanges();
  // Whether index changes are gathered and not yet written.
  bool HasGatheredIndexChanges() const;

 private:
  // The index entries a row change removes and adds; a duplicate in a
  // unique index (3022) or a key that cannot be made (3900) is raised, or
  // handed back in `refusal` when it is given. The old entries come from
  // the row's stored fields (`old_fields`, null for a row being inserted),
  // the new ones from `new_values` (not read when `deleting`). Only the
  // indexes marked in `touched` are looked at (every index when `touched`
  // is null); `new_values` need hold only those indexes' columns. With
  // `changed` (and `old_fields`), `new_values` is read only at the column
  // positions it marks: the other columns keep their stored values.
  // The plan goes to `plan` (emptied first; left empty on a refusal).
  void PlanIndexChanges(RowPointer row_id,
                        const std::vector<FieldBytes>* old_fields,
                        const std::vector<Value>& new_values,
                        const std::vector<uint8_t>* touched,
                        const std::vector<uint8_t>* changed,
                        std::vector<IndexChange>& plan, bool deleting = false,
                        std::optional<Error>* refusal = nullptr);
  void RecordIndexChanges(std::vector<IndexChange>& plan, RowPointer row_id);
  // Whether another row than `row_id` holds `key` in unique index `index`,
  // the gathered changes included.
  bool KeyTaken(size_t index, const std::vector<uint8_t>& key,
                RowPointer row_id);
  // The key the index holds for `row_id`, found by its row.
  std::optional<std::vector<uint8_t>> StoredKeyOf(size_t index,
                                                  RowPointer row_id);
  // Writes the gathered index changes once they hold more memory than
  // they may.
  void FlushIndexChangesWhenLarge();
  // A scan positioned on the row met at `row_id`; raises the damaged-file
  // error, its message starting with `what`, when there is none.
  TableScan ScanAt(RowPointer row_id, const char* what);
  // The values of a row's fields.
  std::vector<Value> ValuesOf(const std::vector<FieldBytes>& fields);
  void RequireWritable() const;
  // 3314 for Null in a Required column and 3315 for "" in a text or memo
  // column that does not allow zero length.
  std::optional<Error> ColumnRuleRefusal(size_t column,
                                         const Value& value) const;
  // The writers, made at the first write.
  void PrepareWriters();

  Database& db_;
  CatalogEntry entry_;
  TableDefinition definition_;
  std::unique_ptr<PageAllocator> allocator_;
  std::unique_ptr<RowStore> rows_;
  std::unique_ptr<LongValueWriter> long_values_;
  std::unique_ptr<PendingIndexChanges> pending_;
  // Required / AllowZeroLength per column position, from the table's
  // properties, read at the first write.
  std::vector<bool> required_;
  std::vector<bool> allow_zero_length_;
  // Per real index, the positions in definition_.columns of its columns
  // (-1 for a column the table does not have).
  std::vector<std::vector<int>> index_column_positions_;
  // Per column position, whether some real index has the column.
  std::vector<uint8_t> column_indexed_;
  // The row layout of definition_, made with the writers.
  std::optional<RowLayout> row_layout_;
  // Working space of StageUpdate and WriteRowUpdate, kept to reuse its
  // memory from row to row.
  // What a staged change does to the stored field: fixed and text columns
  // are compared by their new bytes, memo and OLE columns by their values.
  struct ColumnOutcome {
    bool changed = false;
    // The change cannot move the row in any index (a text that only lost
    // trailing spaces, which text keys leave out).
    bool key_neutral = false;
    std::optional<FieldData> next;
  };
  struct Scratch {
    std::vector<ColumnOutcome> outcome;
    std::vector<uint8_t> replan_column, touched_index, needed, changed_column;
    std::vector<Value> new_values;
    std::vector<int> change_at;
    std::vector<FieldData> fields;
    std::vector<FieldBytes> views;
    std::vector<uint8_t> row;
    std::vector<uint8_t> long_value;
    std::vector<IndexChange> plan;
    std::vector<IndexEntry> removals, insertions;
  };
  Scratch scratch_;
  // The last written RowUpdate, whose memory the next one reuses.
  RowUpdate spare_update_;
  // Views of this table's index pages, kept between look-ups and batches.
  IndexViewCache index_views_;
};

}  // namespace jet

#endif  // MDBCARE_JET_DATABASE_TABLE_H_
