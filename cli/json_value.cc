#include "cli/json_value.h"

#include <cmath>
#include <cstdio>

#include "jet/base/value_format.h"

namespace cli {

std::string JsonString(std::string_view s) {
  std::string out;
  out.reserve(s.size() + 2);
  out += '"';
  for (char ch : s) {
    unsigned char c = static_cast<unsigned char>(ch);
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      case '\b': out += "\\b"; break;
      case '\f': out += "\\f"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += ch;
        }
    }
  }
  out += '"';
  return out;
}

namespace {

// JSON has no infinities or NaN; they are written as strings.
template <typename F>
std::string JsonNumber(F value, std::string (*format)(F)) {
  if (!std::isfinite(value)) return JsonString(format(value));
  return format(value);
}

struct Visitor {
  std::string operator()(const jet::Null&) const { return "null"; }
  std::string operator()(bool v) const { return v ? "true" : "false"; }
  std::string operator()(uint8_t v) const { return std::to_string(v); }
  std::string operator()(int16_t v) const { return std::to_string(v); }
  std::string operator()(int32_t v) const { return std::to_string(v); }
  std::string operator()(const jet::Currency& v) const {
    return JsonString(jet::FormatCurrency(v));
  }
  std::string operator()(float v) const {
    return JsonNumber<float>(v, jet::FormatSingle);
  }
  std::string operator()(double v) const {
    return JsonNumber<double>(v, jet::FormatDouble);
  }
  std::string operator()(const jet::DateTime& v) const {
    return JsonString(jet::FormatDateTime(v));
  }
  std::string operator()(const std::string& v) const { return JsonString(v); }
  std::string operator()(const jet::Binary& v) const {
    return JsonString(jet::FormatHex(v));
  }
  std::string operator()(const jet::Guid& v) const {
    return JsonString(jet::FormatGuid(v));
  }
  std::string operator()(const jet::Decimal& v) const {
    return JsonString(jet::FormatDecimal(v));
  }
};

}  // namespace

std::string JsonValue(const jet::Value& value) {
  return std::visit(Visitor{}, value);
}

}  // namespace cli
