// Test entry point: every test run gets its own application-data folder, so
// no test ever touches a user's real scan logs.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "platform/platform.h"
#include "tests/test_support.h"

int main(int argc, char** argv) {
  testing::InitGoogleTest(&argc, argv);
  test_support::UseFreshDataFolder();
  return RUN_ALL_TESTS();
}
