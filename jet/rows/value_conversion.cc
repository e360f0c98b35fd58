#include "jet/rows/value_conversion.h"

#include <cmath>
#include <limits>
#include <string>

#include "jet/base/error.h"
#include "jet/base/text_codec.h"
#include "jet/base/value_format.h"

namespace jet {

namespace {

[[noreturn]] void ThrowConversion(const ColumnDefinition& column) {
  throw Error(kErrConversion, "데이터 형식 변환 오류입니다 ('" + column.name +
                                  "' 필드에 넣을 수 없는 값입니다).");
}

// The numeric value of a number-like value; false for text and binary.
bool AsNumber(const Value& v, double& out) {
  if (auto p = std::get_if<bool>(&v)) {
    out = *p ? -1 : 0;  // True is -1, as the engine's Yes/No reads as number
  } else if (auto p = std::get_if<uint8_t>(&v)) {
    out = *p;
  } else if (auto p = std::get_if<int16_t>(&v)) {
    out = *p;
  } else if (auto p = std::get_if<int32_t>(&v)) {
    out = *p;
  } else if (auto p = std::get_if<Currency>(&v)) {
    out = static_cast<double>(p->ten_thousandths) / 10000.0;
  } else if (auto p = std::get_if<float>(&v)) {
    out = *p;
  } else if (auto p = std::get_if<double>(&v)) {
    out = *p;
  } else if (auto p = std::get_if<DateTime>(&v)) {
    out = p->days;
  } else if (auto p = std::get_if<Decimal>(&v)) {
    double m = static_cast<double>(p->magnitude) / std::pow(10.0, p->scale);
    out = p->negative ? -m : m;
  } else {
    return false;
  }
  return std::isfinite(out);
}

template <typename T>
T RoundedInRange(double d, const ColumnDefinition& column) {
  double r = std::nearbyint(d);
  if (r < static_cast<double>(std::numeric_limits<T>::min()) ||
      r > static_cast<double>(std::numeric_limits<T>::max())) {
    ThrowConversion(column);
  }
  return static_cast<T>(r);
}

std::string NumberText(const Value& v, double d) {
  if (auto p = std::get_if<bool>(&v)) return *p ? "True" : "False";
  if (auto p = std::get_if<DateTime>(&v)) return FormatDateTime(*p);
  if (d == std::trunc(d) && std::fabs(d) < 1e15) {
    return std::to_string(static_cast<long long>(d));
  }
  return FormatDouble(d);
}

void CheckTextLength(const std::string& text, const ColumnDefinition& column,
                     bool jet3) {
  if (column.type != static_cast<uint8_t>(ColumnType::kText)) return;
  size_t units = jet3 ? EncodeCodePageText(text, column.code_page).size()
                      : Utf16Length(text) * 2;
  if (column.length != 0 && units > column.length) {
    throw Error(kErrFieldTooSmall,
                "'" + column.name + "' 필드에 비해 입력한 값이 너무 깁니다.");
  }
}

}  // namespace

Value ConvertToColumnType(const Value& value, const ColumnDefinition& column,
                          JetVersion version) {
  const bool jet3 = version == JetVersion::kJet3;
  if (IsNull(value)) return Null{};
  double d = 0;
  bool number = AsNumber(value, d);
  switch (static_cast<ColumnType>(column.type)) {
    case ColumnType::kBoolean:
      if (!number) ThrowConversion(column);
      return d != 0;
    case ColumnType::kByte:
      if (!number) ThrowConversion(column);
      return RoundedInRange<uint8_t>(d, column);
    case ColumnType::kInteger:
      if (!number) ThrowConversion(column);
      return RoundedInRange<int16_t>(d, column);
    case ColumnType::kLong:
      if (!number) ThrowConversion(column);
      return RoundedInRange<int32_t>(d, column);
    case ColumnType::kCurrency:
      if (auto p = std::get_if<Currency>(&value)) return *p;
      if (!number || std::fabs(d) > 9.2e14) ThrowConversion(column);
      return Currency{static_cast<int64_t>(std::llround(d * 10000.0))};
    case ColumnType::kSingle:
      if (!number || std::fabs(d) > std::numeric_limits<float>::max()) {
        ThrowConversion(column);
      }
      return static_cast<float>(d);
    case ColumnType::kDouble:
      if (!number) ThrowConversion(column);
      return d;
    case ColumnType::kDateTime:
      if (!number) ThrowConversion(column);
      return DateTime{d};
    case ColumnType::kNumeric: {
      if (auto p = std::get_if<Decimal>(&value)) {
        if (p->scale == column.scale) return *p;
      }
      if (!number) ThrowConversion(column);
      double scaled =
          std::nearbyint(std::fabs(d) * std::pow(10.0, column.scale));
      double limit = std::pow(10.0, column.precision ? column.precision : 28);
      if (scaled >= limit) ThrowConversion(column);
      Decimal dec;
      dec.magnitude = static_cast<unsigned __int128>(scaled);
      dec.negative = d < 0 && dec.magnitude != 0;
      dec.precision = column.precision;
      dec.scale = column.scale;
      return dec;
    }
    case ColumnType::kText:
    case ColumnType::kMemo: {
      std::string text;
      if (auto p = std::get_if<std::string>(&value)) {
        text = *p;
      } else if (number) {
        text = NumberText(value, d);
      } else {
        ThrowConversion(column);
      }
      CheckTextLength(text, column, jet3);
      return text;
    }
    case ColumnType::kGuid:
      if (auto p = std::get_if<Guid>(&value)) return *p;
      ThrowConversion(column);
    case ColumnType::kBinary:
    case ColumnType::kOle:
    default:
      if (auto p = std::get_if<Binary>(&value)) {
        if (column.type == static_cast<uint8_t>(ColumnType::kBinary) &&
            column.length != 0 && p->size() > column.length) {
          throw Error(
              kErrFieldTooSmall,
              "'" + column.name + "' 필드에 비해 입력한 값이 너무 깁니다.");
        }
        return *p;
      }
      ThrowConversion(column);
  }
}

}  // namespace jet
