// Table definition ("TDEF") pages: a table's columns, indexes and page maps.
// A definition may continue over several pages; the continuation pages'
// bytes after their 8-byte header are appended to the first page's.
//
// Page header (both versions):
//   0x00 1 page type 0x02     0x01 1 0x01
//   0x02 2 Jet 3 "VC", Jet 4 free space
//   0x04 4 next definition page, 0 for none
//
// Definition block:
//   Jet 3  Jet 4  size  field
//   0x08   0x08   4     definition length
//   0x0C   0x10   4     stored row count (wrong in real files: never trusted)
//   0x10   0x14   4     next autonumber value
//   0x14   0x28   1     table type: 0x4E user, 0x53 system
//   0x15   0x29   2     highest column count a row has (deleted included)
//   0x17   0x2B   2     number of variable-length columns
//   0x19   0x2D   2     number of columns
//   0x1B   0x2F   4     number of logical indexes
//   0x1F   0x33   4     number of real indexes
//   0x23   0x37   4     row pointer to the table's page usage map
//   0x27   0x3B   4     row pointer to the map of its pages with free space
//   0x2B   0x3F         real index counts: 8 (Jet 3) / 12 (Jet 4) bytes each
// then the column entries, 18 (Jet 3) / 25 (Jet 4) bytes each:
//   Jet 3  Jet 4  size  field
//   0      0      1     column type
//   1      5      2     column number (its bit in the null mask)
//   3      7      2     index in the variable-length offset table
//   5      9      2     column index
//   9      11     2     text sort order (LCID); Jet 4 NUMERIC: precision at
//                       11, scale at 12
//   11     -      2     Jet 3 text code page
//   -      14     1     Jet 4 sort order version
//   13     15     1     flags: 0x01 fixed length, 0x02 nullable,
//                       0x04 autonumber, 0x40 automatic GUID
//   -      16     1     Jet 4: 0x01 compressed Unicode
//   14     21     2     offset in the fixed-length area
//   16     23     2     length (0 for memo and OLE)
// (public descriptions put the Jet 3 sort order at 7 and the code page at 9;
// real files have them at 9 and 11)
// then the column names: 1-byte length + code page text (Jet 3), 2-byte
// byte length + UCS-2 (Jet 4);
// then the real index entries, 39 (Jet 3) / 52 (Jet 4) bytes each:
//   Jet 4 has 4 unknown bytes first; then 10 times (column number 2, order 1:
//   0x01 ascending), 0xFFFF for no column; usage map row pointer 4; first
//   index page 4; flags 1 (0x01 unique, 0x02 ignore nulls, 0x08 required);
//   Jet 4 has 9 more bytes;
// then the logical index entries, 20 (Jet 3) / 28 (Jet 4) bytes each:
//   Jet 4 has 4 unknown bytes first; index number 4; real index number 4;
//   related table type 1; related index number 4 (-1 for none); related
//   table page 4; cascade updates 1; cascade deletes 1; index type 1 (0x01
//   primary key, 0x02 foreign key);
// then the logical index names, as the column names;
// then, in Jet 4, the long-value column maps (see LongValueColumnMaps).
//
// What Jet writes where the reader looks no further: Jet 4 puts the value
// 1625 (kJet4DefinitionMagic) in the 4 bytes at 0x0C, in the 4 unknown bytes
// of every column entry (1 to 4) and of every logical index entry, and 1923
// (kJet4RealIndexMagic) in the first 4 bytes of every real index entry; it
// sets the byte at 0x18 to 0x01 (seen in every definition). Jet 3
// column entries hold 0x0001 at 7. Real index entries of Jet 4 have 4 zero
// bytes between the first index page and the flags and 5 after them; their
// unused column slots are FFFF 00. Jet 3 also keeps long-value column maps
// after the index names. Every column entry carries the sort order, also
// for columns that are not text (and Jet 3 the code page); the fixed offset
// of a variable-length column is not used.
#ifndef MDBCARE_JET_ROWS_TABLE_DEFINITION_H_
#define MDBCARE_JET_ROWS_TABLE_DEFINITION_H_

#include <cstdint>
#include <string>
#include <vector>

#include "jet/base/column_type.h"
#include "jet/base/format.h"

namespace jet {

class Pager;

inline constexpr uint32_t kJet4DefinitionMagic = 1625;
inline constexpr uint32_t kJet4RealIndexMagic = 1923;

namespace column_flags {
inline constexpr uint8_t kFixedLength = 0x01;
inline constexpr uint8_t kNullable = 0x02;
inline constexpr uint8_t kAutoNumber = 0x04;
inline constexpr uint8_t kAutoGuid = 0x40;
inline constexpr uint8_t kCompressedUnicode = 0x01;  // Jet 4 second flag byte
}  // namespace column_flags

namespace index_flags {
inline constexpr uint8_t kUnique = 0x01;
inline constexpr uint8_t kIgnoreNulls = 0x02;
inline constexpr uint8_t kRequired = 0x08;
}  // namespace index_flags

struct ColumnDefinition {
  std::string name;
  uint8_t type = 0;
  uint16_t number = 0;          // bit in the null mask
  uint16_t variable_index = 0;  // slot in the variable-length offset table
  uint16_t column_index = 0;
  uint16_t fixed_offset = 0;
  uint16_t length = 0;
  uint8_t flags = 0;
  bool compressed_unicode = false;
  uint16_t sort_order = 0;  // text LCID
  uint8_t sort_order_version = 0;
  uint16_t code_page = 0;   // Jet 3 text
  uint8_t precision = 0;    // NUMERIC
  uint8_t scale = 0;        // NUMERIC

  bool is_fixed() const { return flags & column_flags::kFixedLength; }
  ColumnType column_type() const { return static_cast<ColumnType>(type); }
};

struct IndexColumn {
  uint16_t column_number = 0;
  bool ascending = true;
};

struct RealIndex {
  // A real index has room for this many columns.
  static constexpr size_t kMaxColumns = 10;

  std::vector<IndexColumn> columns;
  uint32_t usage_map = 0;   // packed row pointer
  uint32_t first_page = 0;  // root index page
  uint8_t flags = 0;
  // Where first_page is kept, as an offset into the definition's bytes
  // (see TableDefinition::SetIndexRoot).
  size_t first_page_offset = 0;

  bool unique() const { return flags & index_flags::kUnique; }
  bool ignore_nulls() const { return flags & index_flags::kIgnoreNulls; }
};

struct LogicalIndex {
  std::string name;
  uint32_t number = 0;
  uint32_t real_index = 0;
  uint8_t related_table_type = 0;
  int32_t related_index = -1;
  uint32_t related_table_page = 0;
  bool cascade_updates = false;
  bool cascade_deletes = false;
  uint8_t index_type = 0;  // 0x01 primary key, 0x02 foreign key

  bool is_primary_key() const { return index_type == 0x01; }
  bool is_foreign_key() const { return index_type == 0x02; }
};

// Jet 4 keeps, after the index names, one entry per long-value column:
// column number 2, row pointer to the map of its long-value pages 4, row
// pointer to the map of those with free space 4; 0xFFFF ends the list.
struct LongValueColumnMaps {
  uint16_t column_number = 0;
  RowPointer usage_map;
  RowPointer free_space_map;
};

struct TableDefinition {
  uint32_t page = 0;
  std::vector<uint32_t> pages;  // the definition pages, first one first
  uint32_t stored_row_count = 0;
  uint32_t next_autonumber = 0;
  uint8_t table_type = 0;
  uint16_t max_columns = 0;
  uint16_t variable_column_count = 0;
  std::vector<ColumnDefinition> columns;  // in stored order
  std::vector<RealIndex> real_indexes;
  std::vector<LogicalIndex> logical_indexes;
  RowPointer usage_map;
  RowPointer free_space_map;
  std::vector<LongValueColumnMaps> long_value_maps;

  // Reads the definition starting at `page`. Raises the damaged-file error
  // for a page that is not a definition page, a loop in the page chain, or
  // entries that run past the definition's bytes.
  static TableDefinition Read(Pager& pager, JetVersion version,
                              uint16_t code_page, uint32_t page);

  const ColumnDefinition* FindColumn(const std::string& name) const;

  // Adds `delta` to the row count stored in the definition's first page
  // (inside a write group).
  void AddToStoredRowCount(Pager& pager, JetVersion version, int delta);
  // Makes `root` the root page of real index `index`, in memory and in the
  // definition's pages (inside a write group).
  void SetIndexRoot(Pager& pager, size_t index, uint32_t root);
  const LongValueColumnMaps* FindLongValueMaps(uint16_t column_number) const;

  // The definition's bytes as Read gathers them from its pages: the first
  // page's 8-byte header included, then the fields above with the columns,
  // indexes and long-value maps in the order they have here, and the 0xFFFF
  // that ends the long-value maps. `page`, `pages` and the index roots'
  // offsets are not used. Raises 3251 for a name too long to store.
  std::vector<uint8_t> Encode(JetVersion version, uint16_t code_page) const;
  // How many pages definition bytes of `length` take.
  static size_t PagesFor(size_t length, uint32_t page_size);
  // The pages that hold `bytes` (from Encode), one per entry of
  // `page_numbers`, which must number PagesFor(bytes.size(), ...): each
  // linked to the next, continuation pages with their own 8-byte header,
  // and in Jet 4 the free space that Jet records (page size - bytes on the
  // page - 8).
  static std::vector<std::vector<uint8_t>> SplitIntoPages(
      const std::vector<uint8_t>& bytes, JetVersion version,
      const std::vector<uint32_t>& page_numbers);
};

}  // namespace jet

#endif  // MDBCARE_JET_ROWS_TABLE_DEFINITION_H_
