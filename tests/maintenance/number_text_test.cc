#include "maintenance/number_text.h"

#include <gtest/gtest.h>

namespace {

TEST(GeneralNumberTextTest, SinglePrecisionGeneralForm) {
  using maintenance::GeneralNumberText;
  EXPECT_EQ(GeneralNumberText(0), "0");
  EXPECT_EQ(GeneralNumberText(2), "2");
  EXPECT_EQ(GeneralNumberText(30741), "30741");
  EXPECT_EQ(GeneralNumberText(9999999), "9999999");
  EXPECT_EQ(GeneralNumberText(10000000), "1E+07");
  EXPECT_EQ(GeneralNumberText(12345678), "1.234568E+07");
  EXPECT_EQ(GeneralNumberText(0.5f), "0.5");
  EXPECT_EQ(GeneralNumberText(1.0f / 3.0f), "0.3333333");
  EXPECT_EQ(GeneralNumberText(-2), "-2");
  // A count raised by 1.0 in single precision stops at 2^24.
  EXPECT_EQ(GeneralNumberText(16777216.0f + 1.0f), "1.677722E+07");
}

}  // namespace
