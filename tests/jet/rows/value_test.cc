// Values: stored bytes decoded by column type, their text forms, and the
// conversion of a caller's value into a column's type.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdint>
#include <limits>
#include <string>
#include <vector>

#include "jet/rows/value_codec.h"
#include "jet/rows/value_conversion.h"
#include "jet/base/value_format.h"
#include "tests/jet/read_test_util.h"

namespace {

using jet::ColumnType;
using jet::JetVersion;
using jet::Value;

std::string Date(double days) {
  return jet::FormatDateTime(jet::DateTime{days});
}

// 23:59:59 and a fraction of a second, as a fraction of a day.
double AlmostMidnight(double fraction_of_second) {
  return (86399.0 + fraction_of_second) / 86400.0;
}

TEST(ValueFormatTest, Dates) {
  EXPECT_EQ(Date(0), "1899-12-30 00:00:00");
  EXPECT_EQ(Date(2), "1900-01-01 00:00:00");
  // No 1900-02-29: day 60 is the 28th and day 61 the 1st of March.
  EXPECT_EQ(Date(60), "1900-02-28 00:00:00");
  EXPECT_EQ(Date(61), "1900-03-01 00:00:00");
  EXPECT_EQ(Date(36585), "2000-02-29 00:00:00");
  EXPECT_EQ(Date(27293), "1974-09-21 00:00:00");
  // Rounded to the nearest second, rolling over into the next day.
  EXPECT_EQ(Date(36526 + AlmostMidnight(0.4)), "2000-01-01 23:59:59");
  EXPECT_EQ(Date(36526 + AlmostMidnight(0.6)), "2000-01-02 00:00:00");
  EXPECT_EQ(Date(36891 + AlmostMidnight(0.6)), "2001-01-01 00:00:00");
  // Before day 0 the whole part counts back and the fraction is still the
  // time of day forward: -1.25 is 6 in the morning of 1899-12-29.
  EXPECT_EQ(Date(-1.25), "1899-12-29 06:00:00");
  EXPECT_EQ(Date(-1.5), "1899-12-29 12:00:00");
  EXPECT_EQ(Date(-0.5), "1899-12-30 12:00:00");
  EXPECT_EQ(Date(-1 - AlmostMidnight(0.6)), "1899-12-30 00:00:00");
  // The range Access allows, 100-01-01 to 9999-12-31, and beyond it.
  EXPECT_EQ(Date(-657434), "0100-01-01 00:00:00");
  EXPECT_EQ(Date(2958465 + AlmostMidnight(0)), "9999-12-31 23:59:59");
  EXPECT_EQ(Date(2958466), "10000-01-01 00:00:00");
  EXPECT_EQ(Date(std::nan("")), "");
  EXPECT_EQ(Date(std::numeric_limits<double>::infinity()), "");
}

TEST(ValueFormatTest, CurrencyHasFourDecimals) {
  auto c = [](int64_t v) { return jet::FormatCurrency(jet::Currency{v}); };
  EXPECT_EQ(c(123400), "12.3400");
  EXPECT_EQ(c(0), "0.0000");
  EXPECT_EQ(c(1), "0.0001");
  EXPECT_EQ(c(-1), "-0.0001");
  EXPECT_EQ(c(-5000), "-0.5000");
  EXPECT_EQ(c(std::numeric_limits<int64_t>::max()), "922337203685477.5807");
  EXPECT_EQ(c(std::numeric_limits<int64_t>::min()), "-922337203685477.5808");
}

TEST(ValueFormatTest, GuidDecimalHexAndShortestNumbers) {
  jet::Guid g;
  for (int i = 0; i < 16; ++i) g.bytes[i] = static_cast<uint8_t>(i);
  EXPECT_EQ(jet::FormatGuid(g), "{03020100-0504-0706-0809-0A0B0C0D0E0F}");

  auto dec = [](unsigned __int128 m, bool neg, uint8_t scale) {
    return jet::FormatDecimal(jet::Decimal{m, neg, 18, scale});
  };
  EXPECT_EQ(dec(12340, true, 3), "-12.340");
  EXPECT_EQ(dec(5, false, 3), "0.005");
  EXPECT_EQ(dec(5, false, 0), "5");
  EXPECT_EQ(dec(0, true, 2), "0.00");
  unsigned __int128 big = 1;
  for (int i = 0; i < 28; ++i) big *= 10;
  EXPECT_EQ(dec(big - 1, true, 0), "-" + std::string(28, '9'));
  EXPECT_EQ(dec(big - 1, false, 28), "0." + std::string(28, '9'));

  EXPECT_EQ(jet::FormatHex({0x00, 0xAB, 0x0F}), "00ab0f");

  EXPECT_EQ(jet::FormatSingle(1.1f), "1.1");
  EXPECT_EQ(jet::FormatSingle(0.1f), "0.1");
  EXPECT_EQ(jet::FormatSingle(3.4028235e38f), "3.4028235e+38");
  EXPECT_EQ(jet::FormatSingle(16777216.0f), "16777216");
  EXPECT_EQ(jet::FormatDouble(444.555), "444.555");
  EXPECT_EQ(jet::FormatDouble(0.1 + 0.2), "0.30000000000000004");
  EXPECT_EQ(jet::FormatDouble(1e21), "1e+21");
  EXPECT_EQ(jet::FormatDouble(1e20), "100000000000000000000");
  EXPECT_EQ(jet::FormatDouble(0.000001), "0.000001");
  EXPECT_EQ(jet::FormatDouble(1e-7), "1e-7");
  for (double d :
       {1.1, 123.456, 1e-300, 6.02214076e23, 2.2250738585072014e-308}) {
    EXPECT_EQ(std::stod(jet::FormatDouble(d)), d);
  }
}

Value Decode(ColumnType type, const std::vector<uint8_t>& bytes,
             uint8_t scale = 0) {
  jet::ColumnDefinition c = read_test::Column(
      "c", type, 0, true, 0, static_cast<uint16_t>(bytes.size()));
  c.scale = scale;
  c.precision = 18;
  jet::FieldBytes f{false, false, jet::ByteView(bytes.data(), bytes.size())};
  return jet::DecodeValue(f, c,
                          jet::ValueContext{JetVersion::kJet4, 1252, nullptr});
}

TEST(ValueCodecTest, StoredBytesByColumnType) {
  EXPECT_EQ(Decode(ColumnType::kByte, {0xFF}), Value(uint8_t{255}));
  EXPECT_EQ(Decode(ColumnType::kInteger, {0xFE, 0xFF}), Value(int16_t{-2}));
  EXPECT_EQ(Decode(ColumnType::kLong, {0x00, 0x00, 0x00, 0x80}),
            Value(std::numeric_limits<int32_t>::min()));
  EXPECT_EQ(Decode(ColumnType::kCurrency, {0x0C, 0xE2, 0x01, 0, 0, 0, 0, 0}),
            Value(jet::Currency{123404}));
  EXPECT_EQ(Decode(ColumnType::kSingle, {0xCD, 0xCC, 0x8C, 0x3F}), Value(1.1f));
  EXPECT_EQ(Decode(ColumnType::kDateTime, {0, 0, 0, 0, 0, 0xA8, 0xDA, 0x40}),
            Value(jet::DateTime{27296}));
  // NUMERIC: sign, then the 128-bit magnitude as four words, the most
  // significant first, each little-endian. 12345 with scale 2 is 123.45.
  std::vector<uint8_t> num(17, 0);
  num[13] = 0x39;
  num[14] = 0x30;
  EXPECT_EQ(jet::FormatDecimal(
                std::get<jet::Decimal>(Decode(ColumnType::kNumeric, num, 2))),
            "123.45");
  num[0] = 0x80;
  num[1] = 0x01;  // 2^96 more
  EXPECT_EQ(jet::FormatDecimal(
                std::get<jet::Decimal>(Decode(ColumnType::kNumeric, num, 0))),
            "-79228162514264337593543962681");
  // Too few bytes for the type is damage, not a read past the value.
  EXPECT_THROW(Decode(ColumnType::kLong, {1, 2}), jet::Error);
  EXPECT_THROW(Decode(ColumnType::kGuid, std::vector<uint8_t>(15)), jet::Error);
  EXPECT_THROW(Decode(ColumnType::kNumeric, std::vector<uint8_t>(16)),
               jet::Error);
}

TEST(ValueCodecTest, Jet3TextUsesTheColumnCodePageElseTheDatabases) {
  jet::ColumnDefinition c =
      read_test::Column("t", ColumnType::kText, 0, false, 0, 50);
  std::vector<uint8_t> b = {0xC7, 0xD1, 0xB1, 0xB9};
  jet::FieldBytes f{false, false, jet::ByteView(b.data(), b.size())};
  EXPECT_EQ(jet::DecodeValue(f, c, {JetVersion::kJet3, 949, nullptr}),
            Value(std::string("한국")));
  c.code_page = 1252;
  EXPECT_EQ(jet::DecodeValue(f, c, {JetVersion::kJet3, 949, nullptr}),
            Value(std::string("ÇÑ±¹")));
}

jet::ColumnDefinition Col(ColumnType type, uint16_t length = 0) {
  jet::ColumnDefinition c = read_test::Column("f", type, 0, true, 0, length);
  c.precision = 5;
  c.scale = 2;
  return c;
}

Value Convert(const Value& v, ColumnType type, uint16_t length = 0,
              JetVersion version = JetVersion::kJet4) {
  return jet::ConvertToColumnType(v, Col(type, length), version);
}

int ConvertError(const Value& v, ColumnType type, uint16_t length = 0,
                 JetVersion version = JetVersion::kJet4) {
  try {
    Convert(v, type, length, version);
    return 0;
  } catch (const jet::Error& e) {
    return e.number();
  }
}

TEST(ValueConversionTest, IntegerZeroIntoEveryColumnType) {
  const Value zero = int32_t{0};
  EXPECT_EQ(Convert(zero, ColumnType::kBoolean), Value(false));
  EXPECT_EQ(Convert(zero, ColumnType::kByte), Value(uint8_t{0}));
  EXPECT_EQ(Convert(zero, ColumnType::kInteger), Value(int16_t{0}));
  EXPECT_EQ(Convert(zero, ColumnType::kLong), Value(int32_t{0}));
  EXPECT_EQ(Convert(zero, ColumnType::kCurrency), Value(jet::Currency{0}));
  EXPECT_EQ(Convert(zero, ColumnType::kSingle), Value(0.0f));
  EXPECT_EQ(Convert(zero, ColumnType::kDouble), Value(0.0));
  Value date = Convert(zero, ColumnType::kDateTime);
  ASSERT_TRUE(std::holds_alternative<jet::DateTime>(date));
  EXPECT_EQ(jet::FormatDateTime(std::get<jet::DateTime>(date)),
            "1899-12-30 00:00:00");
  Value num = Convert(zero, ColumnType::kNumeric);
  ASSERT_TRUE(std::holds_alternative<jet::Decimal>(num));
  EXPECT_EQ(jet::FormatDecimal(std::get<jet::Decimal>(num)), "0.00");
  EXPECT_EQ(Convert(zero, ColumnType::kText, 20), Value(std::string("0")));
  EXPECT_EQ(Convert(zero, ColumnType::kMemo), Value(std::string("0")));
  for (ColumnType t :
       {ColumnType::kBinary, ColumnType::kOle, ColumnType::kGuid}) {
    EXPECT_EQ(ConvertError(zero, t, 16), jet::kErrConversion) << int(t);
  }
  for (ColumnType t : {ColumnType::kLong, ColumnType::kText, ColumnType::kGuid,
                       ColumnType::kBinary}) {
    EXPECT_TRUE(jet::IsNull(Convert(jet::Null{}, t, 16)));
  }
}

TEST(ValueConversionTest, NumbersRoundAndRefuseWhatDoesNotFit) {
  EXPECT_EQ(Convert(true, ColumnType::kInteger), Value(int16_t{-1}));
  EXPECT_EQ(Convert(int32_t{-7}, ColumnType::kBoolean), Value(true));
  EXPECT_EQ(Convert(2.5, ColumnType::kInteger), Value(int16_t{2}));
  EXPECT_EQ(Convert(3.5, ColumnType::kInteger), Value(int16_t{4}));
  EXPECT_EQ(Convert(255.0, ColumnType::kByte), Value(uint8_t{255}));
  EXPECT_EQ(Convert(1.23456, ColumnType::kCurrency),
            Value(jet::Currency{12346}));
  EXPECT_EQ(Convert(jet::Currency{-5}, ColumnType::kCurrency),
            Value(jet::Currency{-5}));
  EXPECT_EQ(jet::FormatDecimal(std::get<jet::Decimal>(
                Convert(-123.456, ColumnType::kNumeric))),
            "-123.46");

  EXPECT_EQ(ConvertError(int32_t{256}, ColumnType::kByte), jet::kErrConversion);
  EXPECT_EQ(ConvertError(int32_t{-1}, ColumnType::kByte), jet::kErrConversion);
  EXPECT_EQ(ConvertError(int32_t{32768}, ColumnType::kInteger),
            jet::kErrConversion);
  EXPECT_EQ(ConvertError(int32_t{-32769}, ColumnType::kInteger),
            jet::kErrConversion);
  EXPECT_EQ(ConvertError(3e9, ColumnType::kLong), jet::kErrConversion);
  EXPECT_EQ(ConvertError(1e15, ColumnType::kCurrency), jet::kErrConversion);
  EXPECT_EQ(ConvertError(1e39, ColumnType::kSingle), jet::kErrConversion);
  // Precision 5, scale 2: 999.99 is the largest.
  EXPECT_EQ(ConvertError(999.99, ColumnType::kNumeric), 0);
  EXPECT_EQ(ConvertError(1000.0, ColumnType::kNumeric), jet::kErrConversion);
  EXPECT_EQ(ConvertError(std::nan(""), ColumnType::kDouble),
            jet::kErrConversion);
  EXPECT_EQ(ConvertError(std::string("12"), ColumnType::kLong),
            jet::kErrConversion);
  EXPECT_EQ(ConvertError(jet::Binary{1}, ColumnType::kDouble),
            jet::kErrConversion);
  EXPECT_EQ(ConvertError(int32_t{1}, ColumnType::kGuid), jet::kErrConversion);
}

TEST(ValueConversionTest, TextTooLongForItsColumn) {
  // Jet 4 lengths are bytes of UCS-2: 10 bytes hold 5 characters.
  EXPECT_EQ(ConvertError(std::string("abcde"), ColumnType::kText, 10), 0);
  EXPECT_EQ(ConvertError(std::string("abcdef"), ColumnType::kText, 10),
            jet::kErrFieldTooSmall);
  EXPECT_EQ(ConvertError(std::string("한국어한국"), ColumnType::kText, 10), 0);
  EXPECT_EQ(ConvertError(std::string("한국어한국어"), ColumnType::kText, 10),
            jet::kErrFieldTooSmall);
  EXPECT_EQ(ConvertError(int32_t{123456}, ColumnType::kText, 10),
            jet::kErrFieldTooSmall);
  // Jet 3 lengths are bytes of the code page.
  EXPECT_EQ(ConvertError(std::string("abcde"), ColumnType::kText, 5,
                         JetVersion::kJet3),
            0);
  EXPECT_EQ(ConvertError(std::string("abcdef"), ColumnType::kText, 5,
                         JetVersion::kJet3),
            jet::kErrFieldTooSmall);
  EXPECT_EQ(ConvertError(jet::Binary(11, 0), ColumnType::kBinary, 10),
            jet::kErrFieldTooSmall);
  // A memo has no such limit.
  EXPECT_EQ(ConvertError(std::string(5000, 'x'), ColumnType::kMemo), 0);
}

}  // namespace
