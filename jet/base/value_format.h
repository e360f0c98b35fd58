// Plain text forms of values, as the command-line tools print them.
#ifndef MDBCARE_JET_BASE_VALUE_FORMAT_H_
#define MDBCARE_JET_BASE_VALUE_FORMAT_H_

#include <string>

#include "jet/base/value.h"

namespace jet {

// "YYYY-MM-DD HH:MM:SS", rounded to the nearest second; day 0 is
// 1899-12-30. Not-a-number and infinite values give "".
std::string FormatDateTime(DateTime value);
// Exactly four decimals: "12.3400", "-0.5000".
std::string FormatCurrency(Currency value);
// "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}": the first three groups are the
// little-endian fields of the stored bytes.
std::string FormatGuid(const Guid& value);
// The decimal with exactly `scale` digits after the point ("-12.340"), no
// point when the scale is 0.
std::string FormatDecimal(const Decimal& value);
// Shortest text that reads back as the same number.
std::string FormatSingle(float value);
std::string FormatDouble(double value);
// Lowercase hex, two digits a byte.
std::string FormatHex(const Binary& value);

}  // namespace jet

#endif  // MDBCARE_JET_BASE_VALUE_FORMAT_H_
