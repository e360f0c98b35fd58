#include "maintenance/sweep.h"

#include <gtest/gtest.h>

namespace {

TEST(SweepTest, OnlyMSysInThatLetterCaseMarksASystemTable) {
  for (const char* name : {"MSysObjects", "MSysACEs", "MSys"}) {
    EXPECT_TRUE(maintenance::IsSystemTableName(name)) << name;
  }
  for (const char* name :
       {"msysLower", "Msys", "MSYSObjects", "MSy", "", " MSys"}) {
    EXPECT_FALSE(maintenance::IsSystemTableName(name)) << name;
  }
}

TEST(SweepTest, TableRulesThatLeaveAFieldAsItWas) {
  for (int n : {3022, 3315, 3314}) {
    EXPECT_TRUE(maintenance::IsRefusedByTableRules(jet::Error(n, ""))) << n;
  }
  for (int n : {3027, 3043, 3421}) {  // read-only, disk, conversion
    EXPECT_FALSE(maintenance::IsRefusedByTableRules(jet::Error(n, ""))) << n;
  }
}

}  // namespace
