// Numbers turned into text the way the general number conversion of a
// single-precision value does it: at most seven significant digits, no
// sign for positive values, no leading space and no trailing decimal point;
// whole numbers below 10^7 as plain digits, larger values in exponent form
// ("1E+07", "1.234568E+07").
#ifndef MDBCARE_MAINTENANCE_NUMBER_TEXT_H_
#define MDBCARE_MAINTENANCE_NUMBER_TEXT_H_

#include <string>

namespace maintenance {

std::string GeneralNumberText(float value);

}  // namespace maintenance

#endif  // MDBCARE_MAINTENANCE_NUMBER_TEXT_H_
