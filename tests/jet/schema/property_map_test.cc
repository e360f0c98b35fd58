// Property blobs (the LvProp column): real blobs decoded to their known
// properties and encoded back byte for byte, maps built here round-tripped,
// edits, and damaged blobs refused with 3049 without reading out of bounds.
#include "jet/schema/property_map.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>
#include <vector>

#include "jet/base/error.h"

namespace {

using jet::Binary;
using jet::ByteView;
using jet::DecodePropertyMap;
using jet::EncodePropertyMap;
using jet::Property;
using jet::PropertyBlock;
using jet::PropertyMap;
using jet::PropertyTextFormat;
using jet::Value;

const PropertyTextFormat kJet3{jet::JetVersion::kJet3, 1252};
const PropertyTextFormat kJet4{jet::JetVersion::kJet4, 0};

std::vector<uint8_t> Hex(std::string_view hex) {
  std::vector<uint8_t> out;
  for (size_t i = 0; i + 1 < hex.size(); i += 2) {
    out.push_back(static_cast<uint8_t>(
        std::stoi(std::string(hex.substr(i, 2)), nullptr, 16)));
  }
  return out;
}

ByteView View(const std::vector<uint8_t>& b) {
  return ByteView(b.data(), b.size());
}

// jet3/testIndexCodesV1997.mdb, LvProp of Table11: a pool of 7 names, the
// table's block (OrderByOn) and the blocks of its columns "id" and "data".
const std::vector<uint8_t> kJet3Table =
    Hex("4b4b440064000000800009004f7264657242794f6e0b00436f6c756d6e576964"
        "74680b00436f6c756d6e4f726465720c00436f6c756d6e48696464656e080052"
        "657175697265640f00416c6c6f775a65726f4c656e6774680e00446973706c61"
        "79436f6e74726f6c1500000000000600000000000900000100000100002f0000"
        "00010008000000020069640c00000301000400ffffffff0c0000030200040000"
        "0000000900000103000100004d00000001000a0000000400646174610c000003"
        "01000400ffffffff0c0000030200040000000000090000010300010000090001"
        "0104000100000900010105000100000a000103060002006d00");

// jet4/delTestV2000.mdb, LvProp of MSysAccessXML: KeepLocal = "T".
const std::vector<uint8_t> kJet4Object =
    Hex("4d5232001a000000800012004b006500650070004c006f00630061006c001600"
        "000000000600000000000a00010a000002005400");

int DecodeError(const std::vector<uint8_t>& blob,
                const PropertyTextFormat& format) {
  try {
    DecodePropertyMap(View(blob), format);
    return 0;
  } catch (const jet::Error& e) {
    EXPECT_FALSE(std::string(e.description()).empty());
    return e.number();
  }
}

int EncodeError(const PropertyMap& map) {
  try {
    EncodePropertyMap(map);
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
}

TEST(PropertyMapTest, DecodesAJet3TableBlob) {
  PropertyMap map = DecodePropertyMap(View(kJet3Table), kJet3);
  EXPECT_EQ(map.names,
            (std::vector<std::string>{"OrderByOn", "ColumnWidth", "ColumnOrder",
                                      "ColumnHidden", "Required",
                                      "AllowZeroLength", "DisplayControl"}));
  ASSERT_EQ(map.blocks.size(), 3u);

  const PropertyBlock* table = map.ObjectBlock();
  ASSERT_NE(table, nullptr);
  EXPECT_EQ(table->name, "");
  ASSERT_EQ(table->properties.size(), 1u);
  EXPECT_EQ(table->properties[0],
            (Property{"OrderByOn", 1, 0x00, Value(false), {}}));

  const PropertyBlock* id = map.FindColumn("id");
  ASSERT_NE(id, nullptr);
  ASSERT_EQ(id->properties.size(), 3u);
  // Integer properties stored with 4 bytes read as 32-bit values.
  EXPECT_EQ(id->properties[0],
            (Property{"ColumnWidth", 3, 0x00, Value(int32_t{-1}), {}}));
  EXPECT_EQ(id->properties[1],
            (Property{"ColumnOrder", 3, 0x00, Value(int32_t{0}), {}}));

  const PropertyBlock* data = map.FindColumn("DATA");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->name, "data");
  ASSERT_EQ(data->properties.size(), 6u);
  EXPECT_EQ(*data->Find("required"),
            (Property{"Required", 1, 0x01, Value(false), {}}));
  EXPECT_EQ(data->Find("AllowZeroLength")->value, Value(false));
  EXPECT_EQ(*data->Find("DisplayControl"),
            (Property{"DisplayControl", 3, 0x01, Value(int16_t{109}), {}}));
  EXPECT_EQ(map.FindColumn("missing"), nullptr);
}

TEST(PropertyMapTest, DecodesAJet4Blob) {
  PropertyMap map = DecodePropertyMap(View(kJet4Object), kJet4);
  EXPECT_EQ(map.names, std::vector<std::string>{"KeepLocal"});
  ASSERT_NE(map.ObjectBlock(), nullptr);
  EXPECT_EQ(map.ObjectBlock()->properties,
            (std::vector<Property>{
                {"KeepLocal", 10, 0x01, Value(std::string("T")), {}}}));
}

TEST(PropertyMapTest, RealBlobsEncodeBackByteForByte) {
  EXPECT_EQ(EncodePropertyMap(DecodePropertyMap(View(kJet3Table), kJet3)),
            kJet3Table);
  EXPECT_EQ(EncodePropertyMap(DecodePropertyMap(View(kJet4Object), kJet4)),
            kJet4Object);
}

TEST(PropertyMapTest, EmptyBlobIsAnEmptyMap) {
  PropertyMap map = DecodePropertyMap(ByteView(), kJet4);
  EXPECT_TRUE(map.empty());
  EXPECT_EQ(map.ObjectBlock(), nullptr);
  EXPECT_TRUE(EncodePropertyMap(map).empty());
}

TEST(PropertyMapTest, HeaderWithoutChunksIsEmptyAndGetsAPool) {
  PropertyMap map = DecodePropertyMap(View(Hex("4d523200")), kJet4);
  EXPECT_TRUE(map.empty());
  // A map with only a pool chunk (as SummaryInfo rows have) keeps it.
  PropertyMap pool_only{kJet4, {"Title", "Author"}, {}};
  std::vector<uint8_t> blob = EncodePropertyMap(pool_only);
  EXPECT_EQ(blob, Hex("4d523200200000008000"
                      "0a005400690074006c006500"
                      "0c0041007500740068006f007200"));
  EXPECT_EQ(DecodePropertyMap(View(blob), kJet4), pool_only);
}

PropertyMap EveryKindOfValue(const PropertyTextFormat& format) {
  PropertyMap map;
  map.format = format;
  PropertyBlock table;
  table.type = jet::property_layout::kObjectBlock;
  table.Set("Description", 10, std::string("Orders, with ünïcode"));
  table.Set("ValidationRule", 12, std::string("[a] < [b]"));
  table.Set("OrderByOn", 1, true, 0x00);
  table.Set("GUID", 9, Binary(16, 0xAB));
  table.Set("Odd", 0x42, Binary{1, 2, 3});
  PropertyBlock column;
  column.name = "Amount";
  column.Set("Required", 1, false);
  column.Set("Hidden4", 1, int32_t{0});
  column.Set("TrueFF", 1, uint8_t{0xFF});
  column.Set("DecimalPlaces", 2, uint8_t{2});
  column.Set("DisplayControl", 3, int16_t{109});
  column.Set("ColumnWidth", 3, int32_t{-1});
  column.Set("Build", 4, int32_t{4506});
  column.Set("Money", 5, jet::Currency{123456789});
  column.Set("Tint", 6, 0.25f);
  column.Set("Ratio", 7, -1.5);
  column.Set("When", 8, jet::DateTime{36526.5});
  jet::Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i * 7);
  column.Set("Replica", 15, g);
  column.Set("Empty", 10, std::string());
  column.Set("Picture", 11, Binary{0, 1, 2, 0xFF});
  map.blocks = {table, column};
  // Names in use, a name no property uses, in an order of their own.
  map.names = {"Unused", "Required"};
  return map;
}

TEST(PropertyMapTest, EveryKindOfValueRoundTrips) {
  for (const PropertyTextFormat& format : {kJet3, kJet4}) {
    PropertyMap map = EveryKindOfValue(format);
    std::vector<uint8_t> blob = EncodePropertyMap(map);
    PropertyMap back = DecodePropertyMap(View(blob), format);
    // The pool keeps its names first, then gains the others in use.
    ASSERT_GE(back.names.size(), 2u);
    EXPECT_EQ(back.names[0], "Unused");
    EXPECT_EQ(back.names[1], "Required");
    map.names = back.names;
    EXPECT_EQ(back, map);
    EXPECT_EQ(EncodePropertyMap(back), blob);
  }
}

TEST(PropertyMapTest, NewPropertiesAddTheirNamesAtTheEndOfThePool) {
  PropertyMap map = DecodePropertyMap(View(kJet3Table), kJet3);
  map.blocks[2].Set("ValidationRule", 10, std::string("Like \"A*\""));
  map.blocks[2].Set("Required", 1, true);
  std::vector<uint8_t> blob = EncodePropertyMap(map);
  PropertyMap back = DecodePropertyMap(View(blob), kJet3);
  ASSERT_EQ(back.names.size(), 8u);
  EXPECT_EQ(back.names.back(), "ValidationRule");
  const PropertyBlock* data = back.FindColumn("data");
  ASSERT_NE(data, nullptr);
  EXPECT_EQ(data->Find("Required")->value, Value(true));
  EXPECT_EQ(data->Find("ValidationRule")->value,
            Value(std::string("Like \"A*\"")));
  EXPECT_EQ(data->properties.size(), 7u);
}

TEST(PropertyMapTest, SetReplacesAndRemoveDeletes) {
  PropertyBlock block;
  block.Set("Format", 10, std::string("General Number"));
  block.Set("format", 10, std::string("Percent"));
  ASSERT_EQ(block.properties.size(), 1u);
  EXPECT_EQ(block.properties[0].name, "Format");
  EXPECT_EQ(block.properties[0].value, Value(std::string("Percent")));
  EXPECT_FALSE(block.Remove("Caption"));
  EXPECT_TRUE(block.Remove("FORMAT"));
  EXPECT_TRUE(block.properties.empty());
}

TEST(PropertyMapTest, KeepsUnknownChunksAndLeftoverBytes) {
  // Pool; a column block whose name header holds 2 bytes after the name and
  // whose entry holds 3 bytes after its value; a chunk of type 7.
  const std::vector<uint8_t> blob =
      Hex("4d523200"
          "0e000000"
          "8000"
          "0600"
          "41005a004c00"  // pool: "AZL"
          "1b000000"
          "0100"
          "0a000000"
          "0200"
          "4300"
          "eeff"  // name header: "C", 2 more bytes
          "0b00"
          "01"
          "01"
          "0000"
          "0000"
          "010203"  // AZL, empty value, 3 bytes
          "0a000000"
          "0700"
          "deadbeef");
  PropertyMap map = DecodePropertyMap(View(blob), kJet4);
  ASSERT_EQ(map.blocks.size(), 2u);
  const PropertyBlock& column = map.blocks[0];
  EXPECT_EQ(column.name, "C");
  EXPECT_EQ(column.name_trailing, (Binary{0xEE, 0xFF}));
  ASSERT_EQ(column.properties.size(), 1u);
  // A Yes/No with no bytes has no better reading than its bytes.
  EXPECT_EQ(column.properties[0].value, Value(Binary{}));
  EXPECT_EQ(column.properties[0].trailing, (Binary{1, 2, 3}));
  EXPECT_EQ(map.blocks[1].type, 7);
  EXPECT_EQ(map.blocks[1].opaque, (Binary{0xDE, 0xAD, 0xBE, 0xEF}));
  EXPECT_EQ(EncodePropertyMap(map), blob);
}

TEST(PropertyMapTest, PoolAfterTheBlocksIsReadAndWrittenFirst) {
  const std::vector<uint8_t> blob =
      Hex("4d523200"
          "1d000000"
          "0100"
          "0800000002004300"
          "0f00"
          "01"
          "0a"
          "0000"
          "0700"
          "59006500730000"  // odd: Binary
          "0e000000"
          "8000"
          "0600"
          "41005a004c00");
  PropertyMap map = DecodePropertyMap(View(blob), kJet4);
  ASSERT_EQ(map.blocks.size(), 1u);
  ASSERT_EQ(map.blocks[0].properties.size(), 1u);
  EXPECT_EQ(map.blocks[0].properties[0].name, "AZL");
  EXPECT_EQ(map.blocks[0].properties[0].value,
            Value(Binary{0x59, 0x00, 0x65, 0x00, 0x73, 0x00, 0x00}));
  std::vector<uint8_t> again = EncodePropertyMap(map);
  EXPECT_NE(again, blob);
  EXPECT_EQ(again.size(), blob.size());
  EXPECT_EQ(DecodePropertyMap(View(again), kJet4), map);
}

TEST(PropertyMapTest, EncodeRefusesValuesThatDoNotFitTheirType) {
  PropertyMap map{kJet4, {}, {PropertyBlock{}}};
  map.blocks[0].name = "A";
  map.blocks[0].Set("Build", 4, std::string("text"));
  EXPECT_EQ(EncodeError(map), jet::kErrConversion);
  map.blocks[0].Set("Build", 4, jet::Null{});
  EXPECT_EQ(EncodeError(map), jet::kErrConversion);
  map.blocks[0].Set("Build", 1, uint8_t{1});  // reads back as true
  EXPECT_EQ(EncodeError(map), jet::kErrConversion);
  map.blocks[0].Set("Build", 4, int32_t{7});
  EXPECT_EQ(EncodeError(map), 0);
  map.blocks[0].Set("Big", 11, Binary(70000, 1));
  EXPECT_EQ(EncodeError(map), jet::kErrFieldTooSmall);

  // Code page 1252 has no Hangul: the name would be written as "??".
  PropertyMap jet3{kJet3, {}, {PropertyBlock{}}};
  jet3.blocks[0].Set("\xEC\x84\xA4\xEB\xAA\x85", 10, std::string("x"));
  EXPECT_EQ(EncodeError(jet3), jet::kErrConversion);
  jet3.blocks[0].properties[0].name = "Description";
  jet3.blocks[0].name = "\xEC\x84\xA4";
  EXPECT_EQ(EncodeError(jet3), jet::kErrConversion);
  jet3.blocks[0].name = "Caf\xC3\xA9";
  EXPECT_EQ(EncodeError(jet3), 0);
}

TEST(PropertyMapTest, EncodeRefusesBlocksOfTheWrongShape) {
  PropertyMap map{kJet4, {}, {PropertyBlock{}}};
  map.blocks[0].type = jet::property_layout::kNamePool;
  EXPECT_EQ(EncodeError(map), jet::kErrUnsupportedFeature);
  map.blocks[0].type = 9;
  map.blocks[0].Set("A", 1, true);
  EXPECT_EQ(EncodeError(map), jet::kErrUnsupportedFeature);
}

// --- Damaged blobs ---

std::vector<size_t> ChunkEnds(const std::vector<uint8_t>& blob) {
  std::vector<size_t> ends{4};
  ByteView v = View(blob);
  for (size_t p = 4; p < blob.size(); p += v.U32(p))
    ends.push_back(p + v.U32(p));
  return ends;
}

TEST(PropertyMapDamagedTest, WrongHeaderIsRefused) {
  EXPECT_EQ(DecodeError(kJet3Table, kJet4), jet::kErrDamagedFile);
  EXPECT_EQ(DecodeError(kJet4Object, kJet3), jet::kErrDamagedFile);
  EXPECT_EQ(DecodeError(Hex("4d52"), kJet4), jet::kErrDamagedFile);
  EXPECT_EQ(DecodeError(Hex("58595a00"), kJet4), jet::kErrDamagedFile);
}

TEST(PropertyMapDamagedTest, EveryTruncationIsRefusedExceptAtChunkEnds) {
  for (const auto& [blob, format] :
       {std::pair{kJet3Table, kJet3}, std::pair{kJet4Object, kJet4}}) {
    const std::vector<size_t> ends = ChunkEnds(blob);
    for (size_t n = 1; n < blob.size(); ++n) {
      std::vector<uint8_t> cut(blob.begin(), blob.begin() + n);
      const bool at_chunk_end =
          std::find(ends.begin(), ends.end(), n) != ends.end();
      EXPECT_EQ(DecodeError(cut, format),
                at_chunk_end ? 0 : jet::kErrDamagedFile)
          << "cut at " << n;
    }
  }
}

TEST(PropertyMapDamagedTest, LengthsPastTheirBoundsAreRefused) {
  struct Case {
    const char* what;
    std::string hex;
  };
  const Case cases[] = {
      {"chunk past the blob",
       "4d523200"
       "ff000000"
       "8000"},
      {"chunk shorter than its header",
       "4d523200"
       "05000000"
       "8000"},
      {"chunk length zero",
       "4d523200"
       "00000000"
       "8000"},
      {"pool name past the chunk",
       "4d523200"
       "0e000000"
       "8000"
       "0800"
       "41005a004c00"},
      {"pool name length cut",
       "4d523200"
       "07000000"
       "8000"
       "06"},
      {"odd UCS-2 name",
       "4d523200"
       "0d000000"
       "8000"
       "0500"
       "41005a004c"},
      {"two pools",
       "4d523200"
       "06000000"
       "8000"
       "06000000"
       "8000"},
      {"block without a name header",
       "4d523200"
       "06000000"
       "0100"},
      {"block name header past the block",
       "4d523200"
       "0c000000"
       "0100"
       "20000000"
       "0000"},
      {"block name header shorter than its name",
       "4d523200"
       "0e000000"
       "0100"
       "06000000"
       "0200"
       "4300"},
      {"entry past the block",
       "4d523200"
       "0e000000"
       "8000"
       "0600"
       "41005a004c00"
       "15000000"
       "0100"
       "06000000"
       "0000"
       "0a00"
       "01"
       "01"
       "0000"
       "0100"
       "01"},
      {"entry shorter than its header",
       "4d523200"
       "0e000000"
       "8000"
       "0600"
       "41005a004c00"
       "15000000"
       "0100"
       "06000000"
       "0000"
       "0700"
       "01"
       "01"
       "0000"
       "0000"
       "00"},
      {"value past the entry",
       "4d523200"
       "0e000000"
       "8000"
       "0600"
       "41005a004c00"
       "15000000"
       "0100"
       "06000000"
       "0000"
       "0900"
       "01"
       "01"
       "0000"
       "0500"
       "01"},
      {"name index outside the pool",
       "4d523200"
       "0e000000"
       "8000"
       "0600"
       "41005a004c00"
       "15000000"
       "0100"
       "06000000"
       "0000"
       "0900"
       "01"
       "01"
       "0100"
       "0100"
       "01"},
      {"entry header cut",
       "4d523200"
       "0e000000"
       "8000"
       "0600"
       "41005a004c00"
       "0d000000"
       "0100"
       "06000000"
       "0000"
       "09"},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DecodeError(Hex(c.hex), kJet4), jet::kErrDamagedFile) << c.what;
  }
  // The well-formed neighbour of the cases above reads.
  EXPECT_EQ(DecodeError(Hex("4d523200"
                            "0e000000"
                            "8000"
                            "0600"
                            "41005a004c00"
                            "15000000"
                            "0100"
                            "06000000"
                            "0000"
                            "0900"
                            "01"
                            "01"
                            "0000"
                            "0100"
                            "01"),
                        kJet4),
            0);
}

// Every single-byte change of the real blobs either decodes to a map that
// encodes and decodes back to itself, or raises 3049; nothing else.
TEST(PropertyMapDamagedTest, ByteChangesDecodeConsistentlyOrRaise3049) {
  for (const auto& [blob, format] :
       {std::pair{kJet3Table, kJet3}, std::pair{kJet4Object, kJet4}}) {
    for (size_t i = 0; i < blob.size(); ++i) {
      for (uint8_t change : {0x00, 0x01, 0x7F, 0x80, 0xFF}) {
        std::vector<uint8_t> bad = blob;
        bad[i] = change;
        PropertyMap map;
        try {
          map = DecodePropertyMap(View(bad), format);
        } catch (const jet::Error& e) {
          EXPECT_EQ(e.number(), jet::kErrDamagedFile);
          continue;
        }
        std::vector<uint8_t> again;
        ASSERT_NO_THROW(again = EncodePropertyMap(map))
            << "byte " << i << " = " << int{change};
        EXPECT_EQ(DecodePropertyMap(View(again), format), map)
            << "byte " << i << " = " << int{change};
      }
    }
  }
}

}  // namespace
