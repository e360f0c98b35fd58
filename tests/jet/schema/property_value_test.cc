// Property values: read by type and length as real files store them, kept
// as bytes where no reading writes them back unchanged, and written only
// when they read back as themselves.
#include "jet/schema/property_value.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <vector>

#include "jet/base/error.h"

namespace {

using jet::Binary;
using jet::ByteView;
using jet::DecodePropertyValue;
using jet::EncodePropertyValue;
using jet::PropertyTextFormat;
using jet::Value;

const PropertyTextFormat kJet3{jet::JetVersion::kJet3, 1252};
const PropertyTextFormat kJet4{jet::JetVersion::kJet4, 0};

Value Decode(uint8_t type, const std::vector<uint8_t>& bytes,
             const PropertyTextFormat& format = kJet4) {
  return DecodePropertyValue(type, ByteView(bytes.data(), bytes.size()),
                             format);
}

int EncodeError(uint8_t type, const Value& value,
                const PropertyTextFormat& format = kJet4) {
  try {
    EncodePropertyValue(type, value, format);
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
}

TEST(PropertyValueTest, YesNoReadsByItsStoredBytes) {
  EXPECT_EQ(Decode(1, {0x00}), Value(false));
  EXPECT_EQ(Decode(1, {0x01}), Value(true));
  // FF (True as -1) is kept as the byte it is, and still reads as Yes.
  EXPECT_EQ(Decode(1, {0xFF}), Value(uint8_t{0xFF}));
  EXPECT_EQ(jet::PropertyValueAsBool(Decode(1, {0xFF})), true);
  // TotalsRow and HideNewField are Yes/No properties of 4 bytes.
  EXPECT_EQ(Decode(1, {0, 0, 0, 0}), Value(int32_t{0}));
  EXPECT_EQ(jet::PropertyValueAsBool(Decode(1, {0, 0, 0, 0})), false);
  EXPECT_EQ(Decode(1, {}), Value(Binary{}));
  EXPECT_EQ(Decode(1, {1, 2, 3}), Value(Binary{1, 2, 3}));
}

TEST(PropertyValueTest, IntegersReadByTheirLength) {
  EXPECT_EQ(Decode(2, {0x0A}), Value(uint8_t{10}));
  EXPECT_EQ(Decode(3, {0x6D, 0x00}), Value(int16_t{109}));
  // ColumnWidth and ColumnOrder: Integer properties of 4 bytes.
  EXPECT_EQ(Decode(3, {0xFF, 0xFF, 0xFF, 0xFF}), Value(int32_t{-1}));
  EXPECT_EQ(Decode(4, {0x9A, 0x11, 0x00, 0x00}), Value(int32_t{4506}));
  EXPECT_EQ(Decode(4, {0x01, 0x80}), Value(int16_t{-32767}));
}

TEST(PropertyValueTest, FixedSizeTypes) {
  EXPECT_EQ(Decode(5, {0x10, 0x27, 0, 0, 0, 0, 0, 0}),
            Value(jet::Currency{10000}));
  EXPECT_EQ(Decode(6, {0, 0, 0x80, 0x3E}), Value(0.25f));
  EXPECT_EQ(Decode(7, {0, 0, 0, 0, 0, 0, 0xF8, 0xBF}), Value(-1.5));
  EXPECT_EQ(Decode(8, {0, 0, 0, 0, 0, 0, 0xF8, 0x3F}),
            Value(jet::DateTime{1.5}));
  std::vector<uint8_t> guid(16);
  for (int i = 0; i < 16; ++i) guid[i] = static_cast<uint8_t>(i);
  jet::Guid g;
  std::memcpy(g.bytes.data(), guid.data(), 16);
  EXPECT_EQ(Decode(15, guid), Value(g));
  // The GUID property is stored as 16 bytes of type Binary.
  EXPECT_EQ(Decode(9, guid), Value(Binary(guid)));
  // Wrong lengths keep their bytes.
  EXPECT_EQ(Decode(7, {1, 2, 3}), Value(Binary{1, 2, 3}));
  EXPECT_EQ(Decode(15, {1}), Value(Binary{1}));
}

TEST(PropertyValueTest, NaNKeepsItsBytes) {
  const std::vector<uint8_t> nan32 = {0x00, 0x00, 0xC0, 0x7F};
  EXPECT_EQ(Decode(6, nan32), Value(Binary(nan32)));
  const std::vector<uint8_t> nan64 = {1, 0, 0, 0, 0, 0, 0xF8, 0x7F};
  EXPECT_EQ(Decode(7, nan64), Value(Binary(nan64)));
  EXPECT_EQ(Decode(8, nan64), Value(Binary(nan64)));
  EXPECT_EQ(EncodeError(6, std::numeric_limits<float>::quiet_NaN()),
            jet::kErrConversion);
}

TEST(PropertyValueTest, Jet4TextIsPlainUcs2) {
  EXPECT_EQ(Decode(10, {'>', 0, '=', 0, '0', 0}), Value(std::string(">=0")));
  // Hangul, and FF FE at the start read as characters, not as the marker
  // of compressed row text.
  EXPECT_EQ(Decode(12, {0x44, 0xC5, 0x74, 0xC7}),
            Value(std::string("\xEC\x95\x84\xEC\x9D\xB4")));
  EXPECT_EQ(Decode(10, {0xFF, 0xFE, 'A', 0}), Value(std::string("\xEF\xBB\xBF"
                                                                "A")));
  EXPECT_EQ(Decode(10, {}), Value(std::string()));
  // An odd length or a lone surrogate does not convert both ways.
  EXPECT_EQ(Decode(10, {'A', 0, 'B'}), Value(Binary{'A', 0, 'B'}));
  EXPECT_EQ(Decode(10, {0x00, 0xD8, 'A', 0}),
            Value(Binary{0x00, 0xD8, 'A', 0}));
}

TEST(PropertyValueTest, Jet3TextIsInTheCodePage) {
  EXPECT_EQ(Decode(10, {'C', 'a', 'f', 0xE9}, kJet3),
            Value(std::string("Caf\xC3\xA9")));
  // 0x81, which code page 1252 leaves undefined, reads as Windows reads it
  // (U+0081) and is written back as the same byte: text, not bytes.
  EXPECT_EQ(Decode(10, {'A', 0x81}, kJet3), Value(std::string("A\xC2\x81")));
  EXPECT_EQ(EncodeError(10, std::string("\xEC\x95\x84"), kJet3),
            jet::kErrConversion);
  EXPECT_EQ(EncodePropertyValue(10, std::string("Caf\xC3\xA9"), kJet3),
            (std::vector<uint8_t>{'C', 'a', 'f', 0xE9}));
}

TEST(PropertyValueTest, EncodeWritesWhatDecodeReadsBack) {
  const std::pair<uint8_t, Value> values[] = {
      {1, true},
      {1, false},
      {1, uint8_t{0xFF}},
      {1, int32_t{0}},
      {2, uint8_t{3}},
      {3, int16_t{-5}},
      {3, int32_t{1440}},
      {4, int32_t{-7}},
      {5, jet::Currency{-99}},
      {6, 1.75f},
      {7, 3.5},
      {8, jet::DateTime{40000.25}},
      {9, Binary(16, 7)},
      {10, std::string("Yes/No")},
      {11, Binary{}},
      {12, std::string("=Date()")},
      {0x55, Binary{9, 9}},
  };
  for (const PropertyTextFormat& format : {kJet3, kJet4}) {
    for (const auto& [type, value] : values) {
      std::vector<uint8_t> bytes = EncodePropertyValue(type, value, format);
      EXPECT_EQ(Decode(type, bytes, format), value) << int{type};
    }
  }
}

TEST(PropertyValueTest, EncodeRefusesValuesOfAnotherType) {
  EXPECT_EQ(EncodeError(1, uint8_t{1}), jet::kErrConversion);  // reads as Yes
  EXPECT_EQ(EncodeError(4, std::string("12")), jet::kErrConversion);
  EXPECT_EQ(EncodeError(10, int32_t{12}), jet::kErrConversion);
  EXPECT_EQ(EncodeError(10, Binary{'A', 0}), jet::kErrConversion);
  EXPECT_EQ(EncodeError(7, 1.0f), jet::kErrConversion);
  EXPECT_EQ(EncodeError(4, jet::Null{}), jet::kErrConversion);
  EXPECT_EQ(EncodeError(16, jet::Decimal{}), jet::kErrConversion);
}

TEST(PropertyValueTest, AsBoolAndAsText) {
  EXPECT_EQ(jet::PropertyValueAsBool(Value(true)), true);
  EXPECT_EQ(jet::PropertyValueAsBool(Value(int16_t{-1})), true);
  EXPECT_EQ(jet::PropertyValueAsBool(Value(uint8_t{0})), false);
  EXPECT_EQ(jet::PropertyValueAsBool(Value(std::string("Yes"))), std::nullopt);
  EXPECT_EQ(jet::PropertyValueAsBool(Value(Binary{1})), std::nullopt);
  EXPECT_EQ(jet::PropertyValueAsText(Value(std::string("x"))), "x");
  EXPECT_EQ(jet::PropertyValueAsText(Value(int32_t{1})), std::nullopt);
}

}  // namespace
