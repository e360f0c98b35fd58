#include "jet/schema/property_value.h"

#include <cmath>
#include <cstring>

#include "jet/base/column_type.h"
#include "jet/base/error.h"
#include "jet/base/text_codec.h"

namespace jet {

namespace {

void PutLittleEndian(std::vector<uint8_t>& out, uint64_t v, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
  }
}

template <typename Float, typename Bits>
Bits BitsOf(Float f) {
  static_assert(sizeof(Float) == sizeof(Bits));
  Bits bits;
  std::memcpy(&bits, &f, sizeof bits);
  return bits;
}

Binary BytesOf(ByteView bytes) {
  return Binary(bytes.data(), bytes.data() + bytes.size());
}

bool IsIntegerFamily(uint8_t type) {
  return type == static_cast<uint8_t>(ColumnType::kBoolean) ||
         type == static_cast<uint8_t>(ColumnType::kByte) ||
         type == static_cast<uint8_t>(ColumnType::kInteger) ||
         type == static_cast<uint8_t>(ColumnType::kLong);
}

// The reading by type and length, before the check that it writes back to
// the same bytes.
Value ReadCandidate(uint8_t type, ByteView bytes,
                    const PropertyTextFormat& format) {
  const size_t n = bytes.size();
  if (IsIntegerFamily(type)) {
    if (n == 1) {
      const uint8_t b = bytes.U8(0);
      if (type == static_cast<uint8_t>(ColumnType::kBoolean) && b <= 1) {
        return b == 1;
      }
      return b;
    }
    if (n == 2) return bytes.I16(0);
    if (n == 4) return bytes.I32(0);
    return BytesOf(bytes);
  }
  switch (static_cast<ColumnType>(type)) {
    case ColumnType::kCurrency:
      if (n == 8) return Currency{bytes.I64(0)};
      break;
    case ColumnType::kSingle:
      if (n == 4) return bytes.F32(0);
      break;
    case ColumnType::kDouble:
      if (n == 8) return bytes.F64(0);
      break;
    case ColumnType::kDateTime:
      if (n == 8) return DateTime{bytes.F64(0)};
      break;
    case ColumnType::kText:
    case ColumnType::kMemo:
      if (format.version == JetVersion::kJet3 || n % 2 == 0) {
        return DecodePropertyText(bytes, format);
      }
      break;
    case ColumnType::kGuid:
      if (n == 16) {
        Guid g;
        std::memcpy(g.bytes.data(), bytes.data(), 16);
        return g;
      }
      break;
    default:
      break;
  }
  return BytesOf(bytes);
}

// The bytes of `value` without the check that they read back as it.
std::vector<uint8_t> WriteUnchecked(const Value& value,
                                    const PropertyTextFormat& format) {
  std::vector<uint8_t> out;
  if (const bool* b = std::get_if<bool>(&value)) {
    out.push_back(*b ? 1 : 0);
  } else if (const uint8_t* u8 = std::get_if<uint8_t>(&value)) {
    out.push_back(*u8);
  } else if (const int16_t* i16 = std::get_if<int16_t>(&value)) {
    PutLittleEndian(out, static_cast<uint16_t>(*i16), 2);
  } else if (const int32_t* i32 = std::get_if<int32_t>(&value)) {
    PutLittleEndian(out, static_cast<uint32_t>(*i32), 4);
  } else if (const Currency* c = std::get_if<Currency>(&value)) {
    PutLittleEndian(out, static_cast<uint64_t>(c->ten_thousandths), 8);
  } else if (const float* f = std::get_if<float>(&value)) {
    PutLittleEndian(out, BitsOf<float, uint32_t>(*f), 4);
  } else if (const double* d = std::get_if<double>(&value)) {
    PutLittleEndian(out, BitsOf<double, uint64_t>(*d), 8);
  } else if (const DateTime* t = std::get_if<DateTime>(&value)) {
    PutLittleEndian(out, BitsOf<double, uint64_t>(t->days), 8);
  } else if (const std::string* s = std::get_if<std::string>(&value)) {
    out = EncodePropertyText(*s, format);
  } else if (const Binary* bin = std::get_if<Binary>(&value)) {
    out = *bin;
  } else if (const Guid* g = std::get_if<Guid>(&value)) {
    out.assign(g->bytes.begin(), g->bytes.end());
  } else {
    // Null and NUMERIC have no stored form as a property value.
    throw Error(kErrConversion, "속성 값으로 저장할 수 없는 값입니다.");
  }
  return out;
}

}  // namespace

std::string DecodePropertyText(ByteView bytes,
                               const PropertyTextFormat& format) {
  if (format.version == JetVersion::kJet3) {
    return DecodeCodePageText(bytes, format.code_page);
  }
  // Plain UCS-2: unlike row values, property names and values are never
  // written in the compressed form, so FF FE at the start is text too.
  std::u16string units;
  units.reserve(bytes.size() / 2);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    units += static_cast<char16_t>(bytes.U16(i));
  }
  return Utf16ToUtf8(units);
}

std::vector<uint8_t> EncodePropertyText(const std::string& text,
                                        const PropertyTextFormat& format) {
  if (format.version == JetVersion::kJet3) {
    return EncodeCodePageText(text, format.code_page);
  }
  return EncodeJet4Text(text, /*compress=*/false);
}

Value DecodePropertyValue(uint8_t type, ByteView bytes,
                          const PropertyTextFormat& format) {
  Value candidate = ReadCandidate(type, bytes, format);
  if (std::holds_alternative<Binary>(candidate)) return candidate;
  // A NaN does not equal itself, and text may not convert both ways (a
  // lone surrogate, a byte the code page leaves undefined): such values
  // keep their bytes.
  if (!(candidate == candidate)) return BytesOf(bytes);
  std::vector<uint8_t> again = WriteUnchecked(candidate, format);
  if (again.size() != bytes.size() ||
      !std::equal(again.begin(), again.end(), bytes.data())) {
    return BytesOf(bytes);
  }
  return candidate;
}

std::vector<uint8_t> EncodePropertyValue(uint8_t type, const Value& value,
                                         const PropertyTextFormat& format) {
  std::vector<uint8_t> bytes = WriteUnchecked(value, format);
  if (!(DecodePropertyValue(type, ByteView(bytes.data(), bytes.size()),
                            format) == value)) {
    throw Error(kErrConversion, "속성 값이 속성의 데이터 형식(" +
                                    std::to_string(type) +
                                    ")과 맞지 않습니다.");
  }
  return bytes;
}

std::optional<bool> PropertyValueAsBool(const Value& value) {
  if (const bool* b = std::get_if<bool>(&value)) return *b;
  if (const uint8_t* u8 = std::get_if<uint8_t>(&value)) return *u8 != 0;
  if (const int16_t* i16 = std::get_if<int16_t>(&value)) return *i16 != 0;
  if (const int32_t* i32 = std::get_if<int32_t>(&value)) return *i32 != 0;
  return std::nullopt;
}

std::optional<std::string> PropertyValueAsText(const Value& value) {
  if (const std::string* s = std::get_if<std::string>(&value)) return *s;
  return std::nullopt;
}

}  // namespace jet
