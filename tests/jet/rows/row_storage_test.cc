// Rows as data pages keep them, on bytes built here: the row layouts of
// both versions (null mask, Yes/No bits, variable offsets, the Jet 3 jump
// table), the kinds of row slot, and long values spread over rows.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "jet/storage/data_page.h"
#include "jet/rows/long_value.h"
#include "jet/storage/pager.h"
#include "jet/rows/row_codec.h"
#include "jet/storage/usage_map.h"
#include "jet/rows/value_codec.h"
#include "tests/jet/read_test_util.h"
#include "tests/support/corpus.h"

namespace {

using jet::ByteView;
using jet::ColumnType;
using jet::JetVersion;
using read_test::Column;
using read_test::Put16;
using read_test::Put32;

ByteView View(const std::vector<uint8_t>& b) {
  return ByteView(b.data(), b.size());
}

std::string Text(const jet::FieldBytes& f) {
  return std::string(reinterpret_cast<const char*>(f.data.data()),
                     f.data.size());
}

int DecodeError(JetVersion v, const jet::TableDefinition& def,
                const std::vector<uint8_t>& row) {
  try {
    jet::DecodeRow(v, def, View(row));
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
}

// Long, Yes/No, Text, Integer, Text: two fixed columns around a bit column
// and two variable ones.
jet::TableDefinition Jet4Table() {
  return read_test::Table(
      {Column("id", ColumnType::kLong, 0, true, 0, 4),
       Column("flag", ColumnType::kBoolean, 1, true, 0, 0),
       Column("name", ColumnType::kText, 2, false, 0, 100),
       Column("n", ColumnType::kInteger, 3, true, 4, 2),
       Column("note", ColumnType::kText, 4, false, 1, 100)});
}

TEST(RowCodecTest, Jet4RowWithFixedVariableNullAndBitColumns) {
  jet::TableDefinition def = Jet4Table();
  // count 5 | id = 0x01020304 | n (Null, bytes ignored) | name "AB" UCS-2
  // | note compressed "xy" | offsets 16 12 8 | v = 2 | mask
  std::vector<uint8_t> row = {5,    0,   0x04, 0x03,      0x02, 0x01, 0xEE,
                              0xEE, 'A', 0,    'B',       0,    0xFF, 0xFE,
                              'x',  'y', 16,   0,         12,   0,    8,
                              0,    2,   0,    0b00010111};
  std::vector<jet::FieldBytes> f =
      jet::DecodeRow(JetVersion::kJet4, def, View(row));
  ASSERT_EQ(f.size(), 5u);
  jet::ValueContext context{JetVersion::kJet4, 1252, nullptr};
  EXPECT_EQ(jet::DecodeValue(f[0], def.columns[0], context),
            jet::Value(int32_t{0x01020304}));
  EXPECT_FALSE(f[1].is_null);
  EXPECT_TRUE(f[1].bit);
  EXPECT_EQ(jet::DecodeValue(f[2], def.columns[2], context),
            jet::Value(std::string("AB")));
  EXPECT_TRUE(f[3].is_null);
  EXPECT_TRUE(jet::IsNull(jet::DecodeValue(f[3], def.columns[3], context)));
  EXPECT_EQ(jet::DecodeValue(f[4], def.columns[4], context),
            jet::Value(std::string("xy")));

  // The Yes/No bit cleared is No, not Null; an empty variable value is "".
  row.back() = 0b00010101;
  row[20] = 12;  // name now runs from 12 to 12
  f = jet::DecodeRow(JetVersion::kJet4, def, View(row));
  EXPECT_EQ(jet::DecodeValue(f[1], def.columns[1], context), jet::Value(false));
  EXPECT_FALSE(f[2].is_null);
  EXPECT_EQ(f[2].data.size(), 0u);
}

TEST(RowCodecTest, ColumnsAddedAfterTheRowWasWrittenAreNull) {
  jet::TableDefinition def = Jet4Table();
  // Written when the table had id, flag and name only: three columns, a
  // 4-byte fixed area, one variable offset.
  std::vector<uint8_t> row = {3, 0, 9, 0, 0, 0, 'q',  0,
                              8, 0, 6, 0, 1, 0, 0b111};
  std::vector<jet::FieldBytes> f =
      jet::DecodeRow(JetVersion::kJet4, def, View(row));
  EXPECT_EQ(f[0].data.I32(0), 9);
  EXPECT_TRUE(f[1].bit);
  EXPECT_EQ(f[2].data.size(), 2u);
  EXPECT_TRUE(f[3].is_null);
  EXPECT_TRUE(f[4].is_null);
  // A variable column past the row's offset table is Null even where the
  // mask (here of a later, wider row) has its bit set.
  std::vector<uint8_t> wide = {5, 0,  9, 0, 0, 0, 1, 0,   'q',
                               0, 10, 0, 8, 0, 1, 0, 0xFF};
  f = jet::DecodeRow(JetVersion::kJet4, def, View(wide));
  EXPECT_FALSE(f[3].is_null);
  EXPECT_EQ(f[3].data.I16(0), 1);
  EXPECT_TRUE(f[4].is_null);
}

TEST(RowCodecTest, Jet4OffsetsOutsideTheRowAreDamage) {
  jet::TableDefinition def = Jet4Table();
  std::vector<uint8_t> good = {5,  0,   0, 0,    0,    0,   0,   0,  'A',
                               0,  'B', 0, 0xFF, 0xFE, 'x', 'y', 16, 0,
                               12, 0,   8, 0,    2,    0,   0x1F};
  ASSERT_EQ(DecodeError(JetVersion::kJet4, def, good), 0);
  std::vector<uint8_t> r = good;
  r[16] = 200;  // end of the variable data past the row
  EXPECT_EQ(DecodeError(JetVersion::kJet4, def, r), jet::kErrDamagedFile);
  r = good;
  r[20] = 14;  // name starts after it ends
  EXPECT_EQ(DecodeError(JetVersion::kJet4, def, r), jet::kErrDamagedFile);
  r = good;
  Put16(r, 22, 3000);  // an offset table larger than the row
  EXPECT_EQ(DecodeError(JetVersion::kJet4, def, r), jet::kErrDamagedFile);
  r = good;
  Put16(r, 0, 900);  // a null mask larger than the row
  EXPECT_EQ(DecodeError(JetVersion::kJet4, def, r), jet::kErrDamagedFile);
  EXPECT_EQ(DecodeError(JetVersion::kJet4, def, {}), jet::kErrDamagedFile);
  EXPECT_EQ(DecodeError(JetVersion::kJet4, def, {5, 0, 0xFF}),
            jet::kErrDamagedFile);
  // A fixed column that runs past the row.
  jet::TableDefinition wide = def;
  wide.columns[3].fixed_offset = 40;
  EXPECT_EQ(DecodeError(JetVersion::kJet4, wide, good), jet::kErrDamagedFile);
}

// Long, then three text columns, as Jet 3 keeps them.
jet::TableDefinition Jet3Table() {
  return read_test::Table({Column("id", ColumnType::kLong, 0, true, 0, 4),
                           Column("a", ColumnType::kText, 1, false, 0, 255),
                           Column("b", ColumnType::kText, 2, false, 1, 255),
                           Column("c", ColumnType::kText, 3, false, 2, 255)});
}

TEST(RowCodecTest, Jet3RowLongerThan256BytesUsesTheJumpTable) {
  // a = 200 bytes at 5, b = 100 at 205, c = 10 at 305, end 315. Offsets
  // 305 and 315 keep their low byte; the one jump entry says that from
  // offset index 2 on, 256 is added.
  std::vector<uint8_t> row(322, 0);
  row[0] = 4;
  Put32(row, 1, 77);
  std::fill(row.begin() + 5, row.begin() + 205, 'a');
  std::fill(row.begin() + 205, row.begin() + 305, 'b');
  std::fill(row.begin() + 305, row.begin() + 315, 'c');
  row[318] = 5;    // offset 0
  row[317] = 205;  // offset 1
  row[316] = 305 - 256;
  row[315] = 315 - 256;  // the end of the variable data
  row[319] = 2;          // jump table
  row[320] = 3;          // v
  row[321] = 0x0F;       // mask
  jet::TableDefinition def = Jet3Table();
  std::vector<jet::FieldBytes> f =
      jet::DecodeRow(JetVersion::kJet3, def, View(row));
  EXPECT_EQ(f[0].data.I32(0), 77);
  EXPECT_EQ(Text(f[1]), std::string(200, 'a'));
  EXPECT_EQ(Text(f[2]), std::string(100, 'b'));
  EXPECT_EQ(Text(f[3]), std::string(10, 'c'));
}

TEST(RowCodecTest, Jet3DummyJumpEntryIsIgnored) {
  // 258 bytes: one jump byte by length, but the variable data ends at 251,
  // so no offset needs it. Whatever it holds, it must add nothing.
  for (uint8_t dummy : {0, 1, 3, 0xFF}) {
    std::vector<uint8_t> row(258, 0);
    row[0] = 4;
    std::fill(row.begin() + 5, row.begin() + 205, 'a');
    std::fill(row.begin() + 205, row.begin() + 245, 'b');
    std::fill(row.begin() + 245, row.begin() + 251, 'c');
    row[254] = 5;
    row[253] = 205;
    row[252] = 245;
    row[251] = 251;
    row[255] = dummy;
    row[256] = 3;
    row[257] = 0x0F;
    std::vector<jet::FieldBytes> f =
        jet::DecodeRow(JetVersion::kJet3, Jet3Table(), View(row));
    EXPECT_EQ(Text(f[1]), std::string(200, 'a')) << int{dummy};
    EXPECT_EQ(Text(f[2]), std::string(40, 'b')) << int{dummy};
    EXPECT_EQ(Text(f[3]), std::string(6, 'c')) << int{dummy};
  }
}

TEST(RowCodecTest, Jet3ShortRowAndItsDamage) {
  jet::TableDefinition def = Jet3Table();
  // id, a = "xy", b and c Null (c not even in the offset table).
  std::vector<uint8_t> good = {4, 1, 0, 0, 0, 'x', 'y', 7, 7, 5, 2, 0b0011};
  std::vector<jet::FieldBytes> f =
      jet::DecodeRow(JetVersion::kJet3, def, View(good));
  EXPECT_EQ(Text(f[1]), "xy");
  EXPECT_TRUE(f[2].is_null);
  EXPECT_TRUE(f[3].is_null);
  std::vector<uint8_t> r = good;
  r[8] = 60;  // end of a past the row
  EXPECT_EQ(DecodeError(JetVersion::kJet3, def, r), jet::kErrDamagedFile);
  r = good;
  r[10] = 200;  // more offsets than the row has bytes
  EXPECT_EQ(DecodeError(JetVersion::kJet3, def, r), jet::kErrDamagedFile);
  EXPECT_EQ(DecodeError(JetVersion::kJet3, def, {4}), jet::kErrDamagedFile);
}

// A Jet 4 data page of table 0x10 with the given slot offsets; each slot's
// bytes are filled with its number.
std::vector<uint8_t> DataPage(const std::vector<uint16_t>& raw) {
  std::vector<uint8_t> page(4096, 0);
  page[0] = 0x01;
  page[1] = 0x01;
  Put32(page, 4, 0x10);
  Put16(page, 0x0C, static_cast<uint32_t>(raw.size()));
  size_t end = page.size();
  for (size_t i = 0; i < raw.size(); ++i) {
    Put16(page, 0x0E + 2 * i, raw[i]);
    size_t start = raw[i] & 0x1FFF;
    if (start == 0) continue;
    std::fill(page.begin() + start, page.begin() + end, uint8_t(i));
    end = start;
  }
  return page;
}

TEST(DataPageTest, SlotKindsAndTheirBytes) {
  std::vector<uint8_t> page =
      DataPage({0x0FF0, 0x4FEC, 0x8FE0, 0xCFD0, 0x0FC0});
  jet::DataPage dp(JetVersion::kJet4, View(page));
  EXPECT_EQ(dp.owner(), 0x10u);
  EXPECT_FALSE(dp.is_long_value_page());
  ASSERT_EQ(dp.row_count(), 5);
  const jet::RowSlotKind kinds[] = {
      jet::RowSlotKind::kRow, jet::RowSlotKind::kOverflowPointer,
      jet::RowSlotKind::kMovedCopy, jet::RowSlotKind::kDeleted,
      jet::RowSlotKind::kRow};
  const size_t sizes[] = {16, 4, 12, 16, 16};
  for (uint16_t i = 0; i < 5; ++i) {
    jet::RowSlot s = dp.Slot(i);
    EXPECT_EQ(s.kind, kinds[i]) << i;
    EXPECT_EQ(s.bytes.size(), sizes[i]) << i;
    EXPECT_EQ(s.bytes.U8(0), i);
  }
  EXPECT_THROW(dp.Slot(5), jet::Error);
}

TEST(DataPageTest, BadPagesAndSlotsAreDamage) {
  auto error = [](const std::vector<uint8_t>& page, int slot) {
    try {
      jet::DataPage dp(JetVersion::kJet4, View(page));
      if (slot >= 0) dp.Slot(static_cast<uint16_t>(slot));
      return 0;
    } catch (const jet::Error& e) {
      return e.number();
    }
  };
  std::vector<uint8_t> page = DataPage({0x0FF0, 0x0FE0});
  EXPECT_EQ(error(page, 1), 0);
  std::vector<uint8_t> p = page;
  p[0] = 0x02;
  EXPECT_EQ(error(p, -1), jet::kErrDamagedFile);
  p = page;
  Put16(p, 0x0C, 5000);  // more slots than the page holds
  EXPECT_EQ(error(p, -1), jet::kErrDamagedFile);
  p = page;
  Put16(p, 0x0E + 2, 0x0008);  // a row starting inside the offset table
  EXPECT_EQ(error(p, 1), jet::kErrDamagedFile);
  p = page;
  Put16(p, 0x0E + 2, 0x1FF8);  // past the slot before it and the page end
  EXPECT_EQ(error(p, 1), jet::kErrDamagedFile);
  // Jet 3 pages keep the count at 0x08 in 2 KB.
  std::vector<uint8_t> jet3(2048, 0);
  jet3[0] = 1;
  Put16(jet3, 0x08, 1);
  Put16(jet3, 0x0A, 0x07F0);
  jet::DataPage dp3(JetVersion::kJet3, View(jet3));
  EXPECT_EQ(dp3.Slot(0).bytes.size(), 16u);
}

TEST(UsageMapTest, InlineAndReferenceMaps) {
  testing_support::TempDir dir;
  // 40 pages; page 3 is a usage bitmap page marking pages 1 and 2.
  std::vector<uint8_t> file(40 * 4096, 0);
  file[3 * 4096] = 0x05;
  file[3 * 4096 + 1] = 0x01;
  file[3 * 4096 + 4] = 0x06;
  file[4 * 4096] = 0x01;  // a data page, not a bitmap
  std::filesystem::path path = dir.path() / "maps.mdb";
  read_test::WriteBytes(path, file);
  jet::Pager pager(jet::File::OpenForReading(path.string()), 4096);
  auto pages = [&](const std::vector<uint8_t>& row) {
    return jet::DecodeUsageMap(pager, View(row));
  };
  // Inline: the first page, then a bit per page from it.
  EXPECT_EQ(pages({0x00, 5, 0, 0, 0, 0x81, 0x01}),
            (std::vector<uint32_t>{5, 12, 13}));
  // Pages past the end of the file are left out.
  EXPECT_EQ(pages({0x00, 38, 0, 0, 0, 0x0F}), (std::vector<uint32_t>{38, 39}));
  EXPECT_EQ(pages({0x00, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}),
            (std::vector<uint32_t>{}));
  // Reference: bitmap pages by number, 0 and numbers past the file for none.
  EXPECT_EQ(pages({0x01, 3, 0, 0, 0, 0, 0, 0, 0, 0x80, 0xFF, 0xFF, 0xFF}),
            (std::vector<uint32_t>{1, 2}));
  EXPECT_THROW(pages({0x01, 4, 0, 0, 0}), jet::Error);
  EXPECT_THROW(pages({0x02, 0, 0, 0, 0}), jet::Error);
  EXPECT_THROW(pages({}), jet::Error);
}

// A file of long-value pages: page 1 and 2 are 'LVAL' data pages.
class LongValueTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // 1:0 = first part of a chain (next 2:1), 2:1 = its last part (next 0),
    // 1:1 = a single-row value; each row exactly as long as its part.
    std::vector<uint8_t> file(3 * 4096, 0);
    AddPage(file, 1, {0x1000 - 204, 0x1000 - 214});
    AddPage(file, 2, {0x1000 - 50, 0x1000 - 154});
    Part(file, 1, 0x1000 - 204, 0x0201, 'A', 200);
    Part(file, 2, 0x1000 - 154, 0, 'B', 100);
    std::fill_n(file.begin() + 4096 + 0x1000 - 214, 10, 'S');
    path_ = dir_.path() / "lv.mdb";
    read_test::WriteBytes(path_, file);
    pager_ = std::make_unique<jet::Pager>(
        jet::File::OpenForReading(path_.string()), 4096);
  }
  static void AddPage(std::vector<uint8_t>& file, uint32_t number,
                      const std::vector<uint16_t>& slots) {
    std::vector<uint8_t> page = DataPage(slots);
    Put32(page, 4, jet::data_page_layout::kLongValueOwner);
    std::copy(page.begin(), page.end(), file.begin() + number * 4096);
  }
  static void Part(std::vector<uint8_t>& file, uint32_t page, size_t at,
                   uint32_t next, char fill, size_t n) {
    size_t base = page * 4096 + at;
    Put32(file, base, next);
    std::fill_n(file.begin() + base + 4, n, fill);
  }
  static std::vector<uint8_t> Ref(uint32_t word, uint32_t pointer) {
    std::vector<uint8_t> r(12, 0);
    Put32(r, 0, word);
    Put32(r, 4, pointer);
    return r;
  }
  int ReadError(const std::vector<uint8_t>& ref) {
    try {
      jet::LongValueReader(*pager_, JetVersion::kJet4).Read(View(ref));
      return 0;
    } catch (const jet::Error& e) {
      return e.number();
    }
  }

  testing_support::TempDir dir_;
  std::filesystem::path path_;
  std::unique_ptr<jet::Pager> pager_;
};

TEST_F(LongValueTest, InlineSingleRowAndChainedValues) {
  jet::LongValueReader reader(*pager_, JetVersion::kJet4);
  std::vector<uint8_t> inline_ref = Ref(0x80000003, 0);
  inline_ref.insert(inline_ref.end(), {'x', 'y', 'z', 'w'});
  EXPECT_EQ(reader.Read(View(inline_ref)),
            (std::vector<uint8_t>{'x', 'y', 'z'}));
  EXPECT_EQ(reader.Read(View(Ref(0x40000000 | 10, 0x0101))),
            std::vector<uint8_t>(10, 'S'));
  std::vector<uint8_t> chained = reader.Read(View(Ref(300, 0x0100)));
  std::vector<uint8_t> expected(200, 'A');
  expected.insert(expected.end(), 100, 'B');
  EXPECT_EQ(chained, expected);
  // A memo column reads such a value as its text.
  jet::ColumnDefinition memo = Column("m", ColumnType::kMemo, 0, false, 0, 0);
  std::vector<uint8_t> text_ref = Ref(0x80000004, 0);
  text_ref.insert(text_ref.end(), {0xFF, 0xFE, 'h', 'i'});
  jet::FieldBytes field{false, false, View(text_ref)};
  jet::ValueContext context{JetVersion::kJet4, 1252, &reader};
  EXPECT_EQ(jet::DecodeValue(field, memo, context),
            jet::Value(std::string("hi")));
}

TEST_F(LongValueTest, BrokenReferencesAndChainsAreDamage) {
  EXPECT_EQ(ReadError(Ref(0x80000000 | 50, 0)),
            jet::kErrDamagedFile);  // inline past the row
  EXPECT_EQ(ReadError(Ref(0x40000000 | 300, 0x0101)),
            jet::kErrDamagedFile);  // longer than its row
  EXPECT_EQ(ReadError(Ref(301, 0x0100)),
            jet::kErrDamagedFile);  // chain ends early
  EXPECT_EQ(ReadError(Ref(100, 0x0900)),
            jet::kErrDamagedFile);  // page past the file
  EXPECT_EQ(ReadError(Ref(100, 0x0005)),
            jet::kErrDamagedFile);  // page 0 is no data page
  EXPECT_EQ(ReadError(Ref(100, 0x0107)), jet::kErrDamagedFile);  // no such row
  EXPECT_EQ(ReadError(Ref(0x3FFFFFFF, 0x0100)),
            jet::kErrDamagedFile);  // longer than the file
  EXPECT_EQ(ReadError({0x80, 0, 0}), jet::kErrDamagedFile);  // a cut reference
  // The last part pointing back at the first: a loop, not an endless read.
  std::vector<uint8_t> file = read_test::ReadBytes(path_);
  Put32(file, 2 * 4096 + 0x1000 - 154, 0x0100);
  read_test::WriteBytes(path_, file);
  pager_ = std::make_unique<jet::Pager>(
      jet::File::OpenForReading(path_.string()), 4096);
  EXPECT_EQ(ReadError(Ref(1000, 0x0100)), jet::kErrDamagedFile);
}

}  // namespace
