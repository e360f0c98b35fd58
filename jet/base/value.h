// A field value as the engine hands it out: one alternative per kind of
// stored data. Memo values are Text, OLE values Binary; the column type
// tells them apart.
#ifndef MDBCARE_JET_BASE_VALUE_H_
#define MDBCARE_JET_BASE_VALUE_H_

#include <array>
#include <cstdint>
#include <string>
#include <variant>
#include <vector>

namespace jet {

struct Null {
  bool operator==(const Null&) const = default;
};
// Currency: a signed count of 1/10000 units.
struct Currency {
  int64_t ten_thousandths = 0;
  bool operator==(const Currency&) const = default;
};
// Date/time: days since 1899-12-30; the fraction is the time of day (for
// negative days too, as an absolute fraction).
struct DateTime {
  double days = 0;
  bool operator==(const DateTime&) const = default;
};
struct Guid {
  std::array<uint8_t, 16> bytes{};
  bool operator==(const Guid&) const = default;
};
// NUMERIC: magnitude / 10^scale, with a sign.
struct Decimal {
  unsigned __int128 magnitude = 0;
  bool negative = false;
  uint8_t precision = 0;
  uint8_t scale = 0;
  bool operator==(const Decimal&) const = default;
};
using Binary = std::vector<uint8_t>;

using Value = std::variant<Null, bool, uint8_t, int16_t, int32_t, Currency,
                           float, double, DateTime, std::string, Binary, Guid,
                           Decimal>;

inline bool IsNull(const Value& v) { return std::holds_alternative<Null>(v); }

}  // namespace jet

#endif  // MDBCARE_JET_BASE_VALUE_H_
