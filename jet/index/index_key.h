// Index keys: the bytes an index entry holds for a row, one segment per
// column of the real index, in the index's column order. Entries sort by
// these bytes (then by the row pointer), so each type is written in a form
// whose bytes sort as its values do.
//
// A segment starts with a flag: 7F ascending, 80 descending; a Null value
// is the flag alone, 00 ascending, FF descending. The data after the flag,
// ascending (descending: every data byte inverted, except where noted):
//
//   Yes/No      00 for Yes, FF for No (never Null: the bit is the value)
//   Byte        the byte
//   Integer,    big-endian two's complement with the sign bit inverted
//   Long,
//   Currency    (Currency: the signed count of 1/10000)
//   Single,     big-endian IEEE; a value with the sign bit clear gets the
//   Double,     sign bit set, a value with it set has every bit inverted
//   Date/time   (Date/time: the double of days)
//   Text, Memo  by the column's sort order (text_key_segment.h)
//   Binary,     8-byte groups, each followed by 09 when more bytes follow
//   GUID        or by the number of bytes used in it (the last group is
//               padded with 00); descending inverts the data bytes and the
//               last count but not the 09s. A GUID is its 16 bytes in the
//               order it is written ({XXXXXXXX-XXXX-...}: the first three
//               fields big-endian), so 2 groups: ..09 ..08. (An empty
//               Binary value is only made when asked for unconfirmed
//               types.)
//   NUMERIC     sign byte then the 16-byte magnitude big-endian:
//               non-negative FF + magnitude, negative 00 + inverted
//               magnitude; descending inverts the magnitude only, so
//               negatives still come first (a known fault of Jet 4's
//               NUMERIC indexes). (From the public Jet readers; no real
//               key has been seen, so it is only made when asked for
//               unconfirmed types.)
//
// OLE values and any other type have no key; a row whose key needs one is
// "unencodable": the key is refused, never guessed.
#ifndef MDBCARE_JET_INDEX_INDEX_KEY_H_
#define MDBCARE_JET_INDEX_INDEX_KEY_H_

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jet/base/format.h"
#include "jet/rows/row_codec.h"
#include "jet/collation/sort_order.h"
#include "jet/rows/table_definition.h"
#include "jet/base/value.h"
#include "jet/rows/value_codec.h"

namespace jet {

struct IndexKeyOptions {
  // The database's default sort order, used for a text column whose own
  // LCID is 0 (the database header's LCID and version).
  uint16_t default_sort_order = 0;
  uint8_t default_sort_order_version = 0;
  // Jet 3: the database's code page, for text columns without their own.
  uint16_t default_code_page = 1252;
  // Also make keys for types whose encoding comes from public descriptions
  // only and was never seen in a real file (NUMERIC, memo).
  bool allow_unconfirmed = false;
};

struct IndexKeyResult {
  std::vector<uint8_t> key;  // valid when `encodable`
  bool encodable = false;
  std::string reason;         // why not, naming the column
  char16_t unknown_char = 0;  // a text character with no known code, or 0
  // Of a row's key: where the segment of each index column ends in `key`,
  // in the index's column order.
  std::array<uint32_t, RealIndex::kMaxColumns> segment_ends{};

  explicit operator bool() const { return encodable; }
};

// A row being changed, as its keys see it: at the column positions marked
// in `changed` it has the new `values`, elsewhere its stored `fields`
// (both one per column of the table definition).
struct ChangedRow {
  const std::vector<FieldBytes>& fields;
  const std::vector<Value>& values;
  const std::vector<uint8_t>& changed;
};

// The key of `row` (one value per column of `def`, in TableDefinition
// order, as Table::ReadRow gives them) in `index`.
IndexKeyResult EncodeIndexKey(const RealIndex& index,
                              const TableDefinition& def,
                              const std::vector<Value>& row, JetVersion version,
                              const IndexKeyOptions& options = {});

// The same key from the row's stored fields (DecodeRow's), one per column
// of `def`: Jet 4 text goes to its segment without passing through UTF-8.
IndexKeyResult EncodeIndexKey(const RealIndex& index,
                              const TableDefinition& def,
                              const std::vector<FieldBytes>& fields,
                              const ValueContext& context,
                              const IndexKeyOptions& options = {});

// The key of a changed row. Given `stored_key`, the key of the same row
// as stored (made from its fields), the segments of the unchanged columns
// are copied from it instead of being made again.
IndexKeyResult EncodeIndexKey(const RealIndex& index,
                              const TableDefinition& def, const ChangedRow& row,
                              const ValueContext& context,
                              const IndexKeyOptions& options = {},
                              const IndexKeyResult* stored_key = nullptr);

// The segment of one value of `column`.
IndexKeyResult EncodeKeySegment(const ColumnDefinition& column,
                                const Value& value, bool ascending,
                                JetVersion version,
                                const IndexKeyOptions& options = {});

// The sort order of a text or memo column (nullopt when not known here).
std::optional<SortOrder> ColumnSortOrder(const ColumnDefinition& column,
                                         JetVersion version,
                                         const IndexKeyOptions& options = {});

// Whether `row` has an entry in `index`: always, except in an ignore-nulls
// index when every index column is Null.
bool RowHasIndexEntry(const RealIndex& index, const TableDefinition& def,
                      const std::vector<Value>& row);
bool RowHasIndexEntry(const RealIndex& index, const TableDefinition& def,
                      const std::vector<FieldBytes>& fields);
bool RowHasIndexEntry(const RealIndex& index, const TableDefinition& def,
                      const ChangedRow& row);

// The position in def.columns of the column numbered `number`, or -1.
int ColumnPosition(const TableDefinition& def, uint16_t number);

// Options from a database header's default sort order and code page.
IndexKeyOptions KeyOptionsFor(uint16_t sort_order, uint8_t sort_order_version,
                              uint16_t code_page);

// Whether `key`, a key of `index`, holds Null in every column: each of its
// segments is a flag alone. A unique index holds such a key more than once.
bool KeyIsAllNull(const RealIndex& index, ByteView key);

}  // namespace jet

#endif  // MDBCARE_JET_INDEX_INDEX_KEY_H_
