// The integrity check every test that writes a database ends with: the
// checker and the index key report (mdbcare-cli check) on the closed file.
#ifndef MDBCARE_TESTS_SUPPORT_DATABASE_CHECK_H_
#define MDBCARE_TESTS_SUPPORT_DATABASE_CHECK_H_

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace testing_support {

// Success when the file at `path` (opened read-only with `connect`) has no
// finding and its index keys, made again from the rows, equal the entries.
// Otherwise a failure carrying the check's whole output. The database must
// be closed: the check opens the file on its own.
::testing::AssertionResult DatabaseChecksClean(
    const std::filesystem::path& path, const std::string& connect = "");

}  // namespace testing_support

#define EXPECT_DATABASE_CHECKS_CLEAN(...) \
  EXPECT_TRUE(::testing_support::DatabaseChecksClean(__VA_ARGS__))

#endif  // MDBCARE_TESTS_SUPPORT_DATABASE_CHECK_H_
