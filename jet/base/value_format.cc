#include "jet/base/value_format.h"

#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace jet {

namespace {

constexpr int64_t kSecondsPerDay = 86400;
// Days from 1970-01-01 back to 1899-12-30, the zero of stored dates.
constexpr int64_t kEpochOffsetDays = 25569;

// Gregorian calendar date of a count of days since 1970-01-01 (proleptic,
// any sign), by the era arithmetic of 400-year cycles.
void CivilFromDays(int64_t z, int64_t& y, unsigned& m, unsigned& d) {
  z += 719468;
  const int64_t era = (z >= 0 ? z : z - 146096) / 146097;
  const unsigned doe = static_cast<unsigned>(z - era * 146097);
  const unsigned yoe = (doe - doe / 1460 + doe / 36524 - doe / 146096) / 365;
  y = static_cast<int64_t>(yoe) + era * 400;
  const unsigned doy = doe - (365 * yoe + yoe / 4 - yoe / 100);
  const unsigned mp = (5 * doy + 2) / 153;
  d = doy - (153 * mp + 2) / 5 + 1;
  m = mp < 10 ? mp + 3 : mp - 9;
  if (m <= 2) ++y;
}

}  // namespace

std::string FormatDateTime(DateTime value) {
  double days = value.days;
  // Beyond about 3 million years the day count stops being exact.
  if (!std::isfinite(days) || std::fabs(days) > 1e9) return "";
  double whole = std::trunc(days);
  int64_t seconds = std::llround(std::fabs(days - whole) * kSecondsPerDay);
  int64_t day = static_cast<int64_t>(whole);
  if (seconds >= kSecondsPerDay) {
    seconds -= kSecondsPerDay;
    day += 1;
  }
  int64_t y;
  unsigned m, d;
  CivilFromDays(day - kEpochOffsetDays, y, m, d);
  char buf[64];
  std::snprintf(buf, sizeof buf, "%04lld-%02u-%02u %02lld:%02lld:%02lld",
                static_cast<long long>(y), m, d,
                static_cast<long long>(seconds / 3600),
                static_cast<long long>(seconds / 60 % 60),
                static_cast<long long>(seconds % 60));
  return buf;
}

std::string FormatCurrency(Currency value) {
  int64_t v = value.ten_thousandths;
  bool negative = v < 0;
  uint64_t mag = negative ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
  char buf[48];
  std::snprintf(buf, sizeof buf, "%s%llu.%04llu", negative ? "-" : "",
                static_cast<unsigned long long>(mag / 10000),
                static_cast<unsigned long long>(mag % 10000));
  return buf;
}

std::string FormatGuid(const Guid& g) {
  const auto& b = g.bytes;
  char buf[40];
  std::snprintf(buf, sizeof buf,
                "{%02X%02X%02X%02X-%02X%02X-%02X%02X-%02X%02X-"
                "%02X%02X%02X%02X%02X%02X}",
                b[3], b[2], b[1], b[0], b[5], b[4], b[7], b[6], b[8], b[9],
                b[10], b[11], b[12], b[13], b[14], b[15]);
  return buf;
}

std::string FormatDecimal(const Decimal& value) {
  std::string digits;
  unsigned __int128 m = value.magnitude;
  do {
    digits.insert(digits.begin(), static_cast<char>('0' + static_cast<int>(m % 10)));
    m /= 10;
  } while (m != 0);
  size_t scale = value.scale;
  if (digits.size() <= scale) digits.insert(0, scale - digits.size() + 1, '0');
  if (scale > 0) digits.insert(digits.size() - scale, ".");
  if (value.negative && value.magnitude != 0) digits.insert(0, "-");
  return digits;
}

namespace {

// The shortest digits that read back as the same number (from to_chars in
// scientific form), laid out as ECMAScript prints numbers: plain digits
// for exponents from -7 to 20, else d.ddde+x. Plain to_chars would print
// a large float's exact integer value instead of its shortest digits.
template <typename F>
std::string ShortestText(F value) {
  if (!std::isfinite(value)) {
    return std::isnan(value) ? "NaN" : (value < 0 ? "-Infinity" : "Infinity");
  }
  if (value == 0) return std::signbit(value) ? "-0" : "0";
  char buf[64];
  auto r = std::to_chars(buf, buf + sizeof buf, value, std::chars_format::scientific);
  std::string sci(buf, r.ptr);
  bool negative = sci[0] == '-';
  if (negative) sci.erase(0, 1);
  size_t e = sci.find('e');
  int exponent = std::atoi(sci.c_str() + e + 1);
  std::string digits;
  for (size_t i = 0; i < e; ++i) {
    if (sci[i] != '.') digits += sci[i];
  }
  int n = static_cast<int>(digits.size());
  int point = exponent + 1;  // digits before the decimal point
  std::string out;
  if (point >= -5 && point <= 21) {
    if (point <= 0) {
      out = "0." + std::string(-point, '0') + digits;
    } else if (point >= n) {
      out = digits + std::string(point - n, '0');
    } else {
      out = digits.substr(0, point) + "." + digits.substr(point);
    }
  } else {
    out = digits.substr(0, 1);
    if (n > 1) out += "." + digits.substr(1);
    out += exponent < 0 ? "e-" : "e+";
    out += std::to_string(exponent < 0 ? -exponent : exponent);
  }
  return negative ? "-" + out : out;
}

}  // namespace

std::string FormatSingle(float value) { return ShortestText(value); }

std::string FormatDouble(double value) { return ShortestText(value); }

std::string FormatHex(const Binary& value) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  out.reserve(value.size() * 2);
  for (uint8_t b : value) {
    out += kDigits[b >> 4];
    out += kDigits[b & 0xF];
  }
  return out;
}

}  // namespace jet
