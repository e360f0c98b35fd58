#include "jet/value_codec.h"

#include "jet/text_codec.h"

namespace jet {

namespace {

constexpr size_t kGuidSize = 16;
constexpr size_t kNumericSize = 17;
constexpr uint8_t kNumericNegative = 0x80;

Decimal DecodeDecimal(ByteView b, const ColumnDefinition& column) {
  Decimal d;
  d.negative = b.U8(0) & kNumericNegative;
  for (int word = 0; word < 4; ++word) {
    d.magnitude = (d.magnitude << 32) | b.U32(1 + 4 * word);
  }
  d.precision = column.precision;
  d.scale = column.scale;
  return d;
}

}  // namespace

std::string DecodeText(ByteView bytes, const ColumnDefinition& column,
                       const ValueContext& context) {
  if (context.version == JetVersion::kJet4) return DecodeJet4Text(bytes);
  uint16_t cp = column.code_page ? column.code_page : context.database_code_page;
  return DecodeCodePageText(bytes, cp);
}

Value DecodeValue(const FieldBytes& field, const ColumnDefinition& column,
                  const ValueContext& context) {
  if (column.type == static_cast<uint8_t>(ColumnType::kBoolean)) {
    return field.bit;
  }
  if (field.is_null) return Null{};
  const ByteView& b = field.data;
  switch (static_cast<ColumnType>(column.type)) {
    case ColumnType::kBoolean:
      return field.bit;
    case ColumnType::kByte:
      return b.U8(0);
    case ColumnType::kInteger:
      return b.I16(0);
    case ColumnType::kLong:
      return b.I32(0);
    case ColumnType::kCurrency:
      return Currency{b.I64(0)};
    case ColumnType::kSingle:
      return b.F32(0);
    case ColumnType::kDouble:
      return b.F64(0);
    case ColumnType::kDateTime:
      return DateTime{b.F64(0)};
    case ColumnType::kText:
      return DecodeText(b, column, context);
    case ColumnType::kMemo: {
      std::vector<uint8_t> bytes = context.long_values->Read(b);
      return DecodeText(ByteView(bytes.data(), bytes.size()), column, context);
    }
    case ColumnType::kOle:
      return context.long_values->Read(b);
    case ColumnType::kGuid: {
      Guid g;
      ByteView s = b.Sub(0, kGuidSize);
      std::copy(s.data(), s.data() + kGuidSize, g.bytes.begin());
      return g;
    }
    case ColumnType::kNumeric:
      return DecodeDecimal(b.Sub(0, kNumericSize), column);
    case ColumnType::kBinary:
    default:
      return Binary(b.data(), b.data() + b.size());
  }
}

}  // namespace jet
