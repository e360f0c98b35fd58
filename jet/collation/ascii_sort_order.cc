// Sort orders whose keys were seen only for ASCII text: Chinese (PRC,
// 2052), Japanese (1041) and Chinese (Taiwan, 1028). Their ASCII
// characters write exactly the General codes (letters not shifted, unlike
// Korean); their Han characters write other codes (in pinyin order for
// 2052), not known here, and so does every other non-ASCII character.
#include "jet/collation/sort_order.h"

namespace jet {

SortCode AsciiAsGeneralCode(char16_t c) {
  if (c >= 0x80) return SortCode{};
  return GeneralLegacyCode(c);
}

}  // namespace jet
