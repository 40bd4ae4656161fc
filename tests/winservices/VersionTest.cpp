#include <windows.h>

#include <gtest/gtest.h>

#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

struct WindowsRow {
  DWORD major, minor, build;
  WORD servicePack;
  BYTE productType;
  WORD suite;
  bool serverR2;
  const wchar_t* name;
};

constexpr BYTE kWorkstation = VER_NT_WORKSTATION;
constexpr BYTE kController = VER_NT_DOMAIN_CONTROLLER;
constexpr BYTE kServer = VER_NT_SERVER;

const WindowsRow kRows[] = {
    {10, 0, 22000, 0, kWorkstation, 0, false, L"Windows 11"},
    {10, 0, 26100, 0, kWorkstation, 0, false, L"Windows 11"},
    {10, 0, 21999, 0, kWorkstation, 0, false, L"Windows 10"},
    {10, 0, 19045, 0, kWorkstation, 0, false, L"Windows 10"},
    {11, 0, 30000, 0, kWorkstation, 0, false, L"Windows 11"},
    {10, 1, 30000, 0, kWorkstation, 0, false, L"Windows 10.1"},
    {10, 1, 30000, 0, kServer, 0, false, L"Windows Server 2016 R2"},
    {10, 0, 17763, 0, kServer, 0, false, L"Windows Server 2016"},
    {10, 0, 20348, 0, kController, 0, false, L"Windows Server 2016"},
    {6, 0, 6002, 2, kWorkstation, 0, false, L"Windows Vista SP2"},
    {6, 0, 6002, 2, kServer, 0, false, L"Windows Server 2008 SP2"},
    {6, 1, 7601, 1, kWorkstation, 0, false, L"Windows 7 SP1"},
    {6, 1, 7600, 0, kServer, 0, false, L"Windows Server 2008 R2"},
    {6, 2, 9200, 0, kWorkstation, 0, false, L"Windows 8"},
    {6, 2, 9200, 0, kController, 0, false, L"Windows Server 2012"},
    {6, 3, 9600, 0, kWorkstation, 0, false, L"Windows 8.1"},
    {6, 3, 9600, 0, kServer, 0, false, L"Windows Server 2012 R2"},
    {6, 4, 9841, 0, kWorkstation, 0, false, L"Windows 8.x"},
    {6, 4, 9841, 0, kServer, 0, false, L"Windows Server 2008-2012"},
    {5, 0, 2195, 4, kWorkstation, 0, false, L"Windows 2000 SP4"},
    {5, 0, 2195, 0, kServer, 0, false, L"Windows 2000 Server"},
    {5, 1, 2600, 3, kWorkstation, 0, false, L"Windows XP SP3"},
    {5, 1, 2600, 0, kServer, 0, false, L"Windows XP"},
    {5, 2, 3790, 0, kWorkstation, 0, false, L"Windows XP Pro x64"},
    {5, 2, 3790, 0, kServer, VER_SUITE_WH_SERVER, true, L"Windows Home Server"},
    {5, 2, 3790, 0, kServer, 0, false, L"Windows Server 2003"},
    {5, 2, 3790, 2, kServer, 0, true, L"Windows Server 2003 R2 SP2"},
    {5, 3, 0, 0, kWorkstation, 0, false, L"Windows XP"},
    {4, 0, 1381, 6, kWorkstation, 0, false, L""},
};

class VersionTableTest : public ::testing::TestWithParam<WindowsRow> {};

TEST_P(VersionTableTest, NameAndServerTestFollowTheVersion) {
  const WindowsRow& row = GetParam();
  auto windows = std::make_shared<FakeWindows>();
  windows->major = row.major;
  windows->minor = row.minor;
  windows->build = row.build;
  windows->servicePackMajor = row.servicePack;
  windows->productType = row.productType;
  windows->suiteMask = row.suite;
  windows->serverR2 = row.serverR2;
  clsWinCommon win(norvale::Seams::System(), WithWindows(windows));
  EXPECT_EQ(row.name, win.GetWindowsName());
  EXPECT_EQ(row.productType != kWorkstation, win.IsWindowsServer());
}

INSTANTIATE_TEST_SUITE_P(EveryRow, VersionTableTest, ::testing::ValuesIn(kRows));

struct Release {
  DWORD major, minor, build;
  WORD servicePack;
  // How many of the fourteen fixed tests, in their order from XP to Windows
  // 10 Creators, answer True.
  int passed;
};

const Release kReleases[] = {
    {5, 1, 2600, 0, 1},   {5, 1, 2600, 2, 3},   {5, 2, 3790, 0, 4},  {6, 0, 6001, 1, 6},
    {6, 0, 6002, 2, 7},   {6, 1, 7600, 0, 8},   {6, 1, 7601, 1, 9},  {6, 2, 9200, 0, 10},
    {6, 3, 9600, 0, 11},  {10, 0, 10586, 0, 12}, {10, 0, 14393, 0, 13}, {10, 0, 15063, 0, 14},
    {10, 0, 22631, 0, 14}, {4, 0, 1381, 6, 0},
};

class FixedVersionTest : public ::testing::TestWithParam<Release> {};

TEST_P(FixedVersionTest, EachReleasePassesTheTestsUpToItsOwn) {
  const Release& release = GetParam();
  auto windows = std::make_shared<FakeWindows>();
  windows->major = release.major;
  windows->minor = release.minor;
  windows->build = release.build;
  windows->servicePackMajor = release.servicePack;
  clsWinCommon w(norvale::Seams::System(), WithWindows(windows));
  const bool answers[] = {
      w.IsWindowsXPOrGreater(),        w.IsWindowsXPSP1OrGreater(),
      w.IsWindowsXPSP2OrGreater(),     w.IsWindowsXPSP3OrGreater(),
      w.IsWindowsVistaOrGreater(),     w.IsWindowsVistaSP1OrGreater(),
      w.IsWindowsVistaSP2OrGreater(),  w.IsWindows7OrGreater(),
      w.IsWindows7SP1OrGreater(),      w.IsWindows8OrGreater(),
      w.IsWindows8Point1OrGreater(),   w.IsWindows10OrGreater(),
      w.IsWindows10AnniversaryOrGreater(), w.IsWindows10CreatorsOrGreater(),
  };
  for (int i = 0; i < 14; ++i) EXPECT_EQ(i < release.passed, answers[i]) << "test " << i;
}

INSTANTIATE_TEST_SUITE_P(Releases, FixedVersionTest, ::testing::ValuesIn(kReleases));

TEST(VersionCompareTest, LaterPartsCountOnlyWhenEarlierOnesAreEqual) {
  auto windows = std::make_shared<FakeWindows>();
  windows->major = 6;
  windows->minor = 1;
  windows->build = 7601;
  clsWinCommon w(norvale::Seams::System(), WithWindows(windows));
  EXPECT_TRUE(w.IsWindowsVersionOrGreater(6, 1, 0));
  EXPECT_TRUE(w.IsWindowsVersionOrGreater(6, 1, 0, 7601));
  EXPECT_FALSE(w.IsWindowsVersionOrGreater(6, 1, 0, 7602));
  // A higher build makes up for no missing service pack.
  EXPECT_FALSE(w.IsWindowsVersionOrGreater(6, 1, 1));
  EXPECT_TRUE(w.IsWindowsVersionOrGreater(6, 0, 3, 99999));
  EXPECT_TRUE(w.IsWindowsVersionOrGreater(5, 9, 9, 99999));
  EXPECT_FALSE(w.IsWindowsVersionOrGreater(6, 2, 0));

  windows->versionFails = true;
  EXPECT_FALSE(w.IsWindowsVersionOrGreater(1, 0, 0));
  EXPECT_FALSE(w.IsWindowsXPOrGreater());
  EXPECT_EQ(L"", w.GetWindowsName());
}

TEST(VersionCompareTest, ThePrefixIsWindows10Workstation) {
  clsWinCommon w;
  EXPECT_EQ(L"Windows 10", w.GetWindowsName());
  EXPECT_TRUE(w.IsWindows10OrGreater());
  EXPECT_TRUE(w.IsWindowsVersionOrGreater(6, 4, 0));
  EXPECT_FALSE(w.IsWindowsServer());
  EXPECT_TRUE(w.IsWinNT());
}

TEST(OSNumberNameTest, NumbersOutsideTheTableAreUnknown) {
  clsWinCommon w;
  EXPECT_EQ(L"WindowsXP Professional", w.GetOSNumberName(10));
  EXPECT_EQ(L"Windows??", w.GetOSNumberName(11));
  EXPECT_EQ(L"Windows??", w.GetOSNumberName(-1));
}

}  // namespace
