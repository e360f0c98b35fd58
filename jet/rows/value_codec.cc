#include "jet/rows/value_codec.h"

#include <algorithm>
#include <cstring>

#include "jet/base/error.h"
#include "jet/base/text_codec.h"

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

template <typename T>
void AppendLittleEndian(std::vector<uint8_t>& out, T value, size_t size) {
  uint64_t bits = 0;
  std::memcpy(&bits, &value, sizeof value);
  const size_t at = out.size();
  out.resize(at + size);
  for (size_t i = 0; i < size; ++i)
    out[at + i] = static_cast<uint8_t>(bits >> (8 * i));
}

[[noreturn]] void ThrowWrongType(const ColumnDefinition& column) {
  throw Error(kErrConversion, "데이터 형식 변환 오류입니다 ('" + column.name +
                                  "' 필드에 맞지 않는 값입니다).");
}

template <typename T>
const T& Expect(const Value& v, const ColumnDefinition& column) {
  const T* p = std::get_if<T>(&v);
  if (!p) ThrowWrongType(column);
  return *p;
}

// A fixed-length text: uncompressed, then spaces (a whole space unit in
// Jet 4) up to the column's length; a byte no unit fits stays 0.
void EncodeFixedLengthText(const std::string& text,
                           const ColumnDefinition& column, JetVersion version,
                           std::vector<uint8_t>& out) {
  const bool jet4 = version == JetVersion::kJet4;
  out = jet4 ? EncodeJet4Text(text, /*compress=*/false)
             : EncodeCodePageText(text, column.code_page);
  const size_t unit = jet4 ? 2 : 1;
  while (out.size() + unit <= column.length) {
    out.push_back(' ');
    if (jet4) out.push_back(0);
  }
  if (out.size() < column.length) out.resize(column.length, 0);
}

}  // namespace

void PadFixedLengthText(std::string& text, const ColumnDefinition& column,
                        JetVersion version) {
  if (!IsFixedLengthText(column)) return;
  while (!text.empty() && text.back() == '\0') text.pop_back();
  const size_t used = version == JetVersion::kJet4
                          ? 2 * Utf16Length(text)
                          : EncodeCodePageText(text, column.code_page).size();
  const size_t unit = version == JetVersion::kJet4 ? 2 : 1;
  if (used < column.length) text.append((column.length - used) / unit, ' ');
}

bool RepadFixedLengthText(std::vector<uint8_t>& bytes,
                          const ColumnDefinition& column,
                          const ValueContext& context) {
  if (!IsFixedLengthText(column) || bytes.empty() || bytes.back() != 0) {
    return false;
  }
  std::string text =
      DecodeText(ByteView(bytes.data(), bytes.size()), column, context);
  if (text.empty() || text.back() != '\0') return false;
  PadFixedLengthText(text, column, context.version);
  EncodeFixedLengthText(text, column, context.version, bytes);
  return true;
}

std::vector<uint8_t> EncodeText(const std::string& text,
                                const ColumnDefinition& column,
                                JetVersion version) {
  if (version == JetVersion::kJet4) {
    return EncodeJet4Text(text, column.compressed_unicode);
  }
  return EncodeCodePageText(text, column.code_page);
}

FieldData EncodeValue(const Value& value, const ColumnDefinition& column,
                      JetVersion version) {
  FieldData f;
  if (column.type == static_cast<uint8_t>(ColumnType::kBoolean)) {
    f.is_null = false;
    f.bit = IsNull(value) ? false : Expect<bool>(value, column);
    return f;
  }
  if (IsNull(value)) return f;
  f.is_null = false;
  std::vector<uint8_t>& out = f.data;
  switch (static_cast<ColumnType>(column.type)) {
    case ColumnType::kByte:
      out.push_back(Expect<uint8_t>(value, column));
      break;
    case ColumnType::kInteger:
      AppendLittleEndian(out, Expect<int16_t>(value, column), 2);
      break;
    case ColumnType::kLong:
      AppendLittleEndian(out, Expect<int32_t>(value, column), 4);
      break;
    case ColumnType::kCurrency:
      AppendLittleEndian(out, Expect<Currency>(value, column).ten_thousandths,
                         8);
      break;
    case ColumnType::kSingle:
      AppendLittleEndian(out, Expect<float>(value, column), 4);
      break;
    case ColumnType::kDouble:
      AppendLittleEndian(out, Expect<double>(value, column), 8);
      break;
    case ColumnType::kDateTime:
      AppendLittleEndian(out, Expect<DateTime>(value, column).days, 8);
      break;
    case ColumnType::kText:
      if (column.is_fixed()) {
        EncodeFixedLengthText(Expect<std::string>(value, column), column,
                              version, out);
        return f;
      }
      out = EncodeText(Expect<std::string>(value, column), column, version);
      break;
    case ColumnType::kGuid: {
      const Guid& g = Expect<Guid>(value, column);
      out.assign(g.bytes.begin(), g.bytes.end());
      break;
    }
    case ColumnType::kNumeric: {
      const Decimal& d = Expect<Decimal>(value, column);
      out.reserve(kNumericSize);
      out.push_back(d.negative ? kNumericNegative : 0);
      for (int word = 3; word >= 0; --word) {
        AppendLittleEndian(
            out, static_cast<uint32_t>(d.magnitude >> (32 * word)), 4);
      }
      break;
    }
    case ColumnType::kMemo:
    case ColumnType::kOle:
      throw Error(kErrUnsupportedFeature, "긴 값은 긴 값 기록기로 저장합니다.");
    case ColumnType::kBinary:
    default:
      out = Expect<Binary>(value, column);
      break;
  }
  // Fixed-length numbers take exactly their size; a fixed binary of
  // another writer is filled with zero bytes.
  if (column.is_fixed() && out.size() < column.length)
    out.resize(column.length, 0);
  return f;
}

std::string DecodeText(ByteView bytes, const ColumnDefinition& column,
                       const ValueContext& context) {
  if (context.version == JetVersion::kJet4) return DecodeJet4Text(bytes);
  uint16_t cp =
      column.code_page ? column.code_page : context.database_code_page;
  return DecodeCodePageText(bytes, cp);
}

bool TextHasOuterSpace(const FieldBytes& field, const ColumnDefinition& column,
                       const ValueContext& context,
                       std::vector<uint8_t>& scratch) {
  const auto type = static_cast<ColumnType>(column.type);
  if (field.is_null || (type != ColumnType::kText && type != ColumnType::kMemo))
    return false;
  ByteView bytes = field.data;
  if (type == ColumnType::kMemo) {
    context.long_values->Read(field.data, scratch);
    bytes = ByteView(scratch.data(), scratch.size());
  }
  if (column.is_fixed()) {
    return TextHasOuterSpace(DecodeText(bytes, column, context), column);
  }
  if (context.version == JetVersion::kJet4) return Jet4TextHasOuterSpace(bytes);
  return TextHasOuterSpace(DecodeText(bytes, column, context));
}

bool TextHasOuterSpace(std::string_view text, const ColumnDefinition& column) {
  if (!IsFixedLengthText(column)) return TextHasOuterSpace(text);
  return !text.empty() && (text.front() == ' ' || text.back() == '\0');
}

bool TextHasOuterSpace(std::string_view text) {
  return !text.empty() && (text.front() == ' ' || text.back() == ' ');
}

bool LongValueEquals(const FieldBytes& field, const ColumnDefinition& column,
                     const Value& value, const ValueContext& context,
                     std::vector<uint8_t>& scratch) {
  context.long_values->Read(field.data, scratch);
  const ByteView bytes(scratch.data(), scratch.size());
  if (column.type != static_cast<uint8_t>(ColumnType::kMemo)) {
    const auto* binary = std::get_if<Binary>(&value);
    return binary && std::equal(binary->begin(), binary->end(), bytes.data(),
                                bytes.data() + bytes.size());
  }
  const auto* text = std::get_if<std::string>(&value);
  if (!text) return false;
  if (context.version == JetVersion::kJet4 &&
      Jet4TextUnitCount(bytes) != Utf16Length(*text)) {
    return false;
  }
  return DecodeText(bytes, column, context) == *text;
}

bool FieldHasItsSize(const FieldBytes& field, const ColumnDefinition& column) {
  if (field.is_null) return true;
  size_t needed = 0;
  switch (static_cast<ColumnType>(column.type)) {
    case ColumnType::kByte:
      needed = 1;
      break;
    case ColumnType::kInteger:
      needed = 2;
      break;
    case ColumnType::kLong:
    case ColumnType::kSingle:
      needed = 4;
      break;
    case ColumnType::kCurrency:
    case ColumnType::kDouble:
    case ColumnType::kDateTime:
      needed = 8;
      break;
    case ColumnType::kGuid:
      needed = kGuidSize;
      break;
    case ColumnType::kNumeric:
      needed = kNumericSize;
      break;
    default:
      break;
  }
  return field.data.size() >= needed;
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
