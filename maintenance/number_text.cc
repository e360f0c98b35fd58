#include "maintenance/number_text.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace maintenance {

namespace {

constexpr int kSignificantDigits = 7;

// Removes trailing zeros of a decimal fraction, and the point if nothing
// is left after it.
void TrimFraction(std::string& digits) {
  if (digits.find('.') == std::string::npos) return;
  while (!digits.empty() && digits.back() == '0') digits.pop_back();
  if (!digits.empty() && digits.back() == '.') digits.pop_back();
}

}  // namespace

std::string GeneralNumberText(float value) {
  if (value == 0 || !std::isfinite(value)) return "0";
  const double v = value;
  // Rounding to seven significant digits first fixes the exponent, so
  // 9999999.5 is already 1E+07.
  char buffer[64];
  std::snprintf(buffer, sizeof buffer, "%.*E", kSignificantDigits - 1, v);
  std::string scientific = buffer;
  const size_t e = scientific.find('E');
  const int exponent = std::atoi(scientific.c_str() + e + 1);
  if (exponent >= kSignificantDigits || exponent < -4) {
    std::string mantissa = scientific.substr(0, e);
    TrimFraction(mantissa);
    char exponent_text[16];
    std::snprintf(exponent_text, sizeof exponent_text, "E%c%02d",
                  exponent < 0 ? '-' : '+', std::abs(exponent));
    return mantissa + exponent_text;
  }
  std::snprintf(buffer, sizeof buffer, "%.*f",
                kSignificantDigits - 1 - exponent, v);
  std::string fixed = buffer;
  TrimFraction(fixed);
  return fixed;
}

}  // namespace maintenance
