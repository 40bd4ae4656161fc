// The version the uninstaller's caption shows.
#include <gtest/gtest.h>

#include "ProgramVersion.h"

namespace {

TEST(UninstallerVersion, RevisionHasTwoDigitsAtLeast) {
  EXPECT_EQ(norvale::UninstallerVersionText(1, 0, 0), L"1.0.00");
  EXPECT_EQ(norvale::UninstallerVersionText(1, 0, 1), L"1.0.01");
  EXPECT_EQ(norvale::UninstallerVersionText(1, 0, 12), L"1.0.12");
  EXPECT_EQ(norvale::UninstallerVersionText(2, 3, 123), L"2.3.123");
  EXPECT_EQ(norvale::UninstallerVersionText(10, 11, 5), L"10.11.05");
}

}  // namespace
