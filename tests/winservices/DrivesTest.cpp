#include <windows.h>

#include <gtest/gtest.h>

#include "DiskSpace.h"
#include "ServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;
using norvale::RegCurrency;

namespace {

RegCurrency Whole(int64_t value) { return RegCurrency::FromWhole(value); }

// A letter no drive of the prefix has.
wchar_t MissingDriveLetter() {
  const DWORD drives = GetLogicalDrives();
  for (wchar_t letter = L'Q'; letter <= L'Z'; ++letter) {
    if (!((drives >> (letter - L'A')) & 1)) return letter;
  }
  return 0;
}

class DrivesTest : public ::testing::Test {
 protected:
  ServicesUnderTest services_;
  clsWinCommon win_{services_.Seams(), services_.Windows()};
  const wchar_t missing_ = MissingDriveLetter();
};

TEST(DiskSpaceTest, GigabytesAreRoundedToFourDecimalsAndThenCut) {
  EXPECT_EQ(RegCurrency{10000}, norvale::GigabytesCutToTenths(1073741823));
  EXPECT_EQ(RegCurrency{1149000}, norvale::GigabytesCutToTenths(123456789012));
  EXPECT_EQ(Whole(50), norvale::GigabytesCutToTenths(53687091200));
  EXPECT_EQ(Whole(0), norvale::GigabytesCutToTenths(0));
  // 20 TB, far beyond what a 32-bit count holds.
  EXPECT_EQ(RegCurrency{186264000}, norvale::GigabytesCutToTenths(20000000000000));
}

TEST(DiskSpaceTest, ClusterArithmeticHoldsLargeVolumes) {
  // 10 GB in 4 KB clusters.
  EXPECT_EQ(Whole(10), norvale::ClusterGigabytes(2621440, 4096));
  // More than 2^31 clusters (a 16 TB volume) read as the unsigned count.
  EXPECT_EQ(Whole(16384), norvale::ClusterGigabytes(4294967296ull, 4096));
  EXPECT_EQ(Whole(0), norvale::ClusterGigabytes(0, 4096));
  EXPECT_EQ(std::nullopt, norvale::ClusterGigabytes(UINT64_MAX / 2, 65536));
}

TEST_F(DrivesTest, FreeSpaceOfTheSystemDrive) {
  ULARGE_INTEGER available{}, total{}, free{};
  ASSERT_TRUE(GetDiskFreeSpaceExW(L"C:\\", &available, &total, &free));
  const RegCurrency bytes = Whole(static_cast<int64_t>(total.QuadPart));
  // The letter alone, the root and a folder path all ask the root.
  EXPECT_EQ(bytes, win_.GetDiskFreeSpace2(L"C", 0));
  EXPECT_EQ(bytes, win_.GetDiskFreeSpace2(L"C:\\", 0));
  EXPECT_EQ(bytes, win_.GetDiskFreeSpace2(L"c:\\windows\\temp", 0));
  EXPECT_EQ(norvale::GigabytesCutToTenths(total.QuadPart), win_.GetDiskFreeSpace2(L"C", 0, true));
  EXPECT_GT(win_.GetDiskFreeSpace2(L"C", 1).scaled, 0);
  EXPECT_GT(win_.GetDiskFreeSpace2(L"C", 2).scaled, 0);
  EXPECT_EQ(Whole(0), win_.GetDiskFreeSpace2(L"C", 3));
  ASSERT_NE(0, missing_);
  EXPECT_EQ(Whole(-1), win_.GetDiskFreeSpace2(std::wstring(1, missing_), 1));
  EXPECT_EQ(Whole(-1), win_.GetDiskFreeSpace2(std::wstring(1, missing_), 1, true));

  DWORD sectors = 0, bytesPerSector = 0, freeClusters = 0, clusters = 0;
  ASSERT_TRUE(GetDiskFreeSpaceW(L"C:\\", &sectors, &bytesPerSector, &freeClusters, &clusters));
  const auto gigabytes = norvale::ClusterGigabytes(clusters, uint64_t{sectors} * bytesPerSector);
  EXPECT_EQ(gigabytes, win_.GetDiskFreeNG(L"C", 0));
  EXPECT_EQ(gigabytes, win_.GetDiskFreeNG(L"C:", 0));
  EXPECT_EQ(gigabytes, win_.GetDiskFreeNG(L"C:\\", 0));
  EXPECT_EQ(Whole(0), win_.GetDiskFreeNG(L"C", 5));
  EXPECT_EQ(Whole(-1), win_.GetDiskFreeNG(std::wstring(1, missing_), 0));
}

TEST_F(DrivesTest, DriveTypesVolumesAndReadiness) {
  ASSERT_NE(0, missing_);
  const std::wstring gone(1, missing_);
  EXPECT_EQ(DRIVE_FIXED, win_.GetTypeOfDrive(L"C"));
  EXPECT_EQ(DRIVE_NO_ROOT_DIR, win_.GetTypeOfDrive(gone));

  wchar_t label[MAX_PATH] = {};
  DWORD serial = 0;
  ASSERT_TRUE(GetVolumeInformationW(L"C:\\", label, MAX_PATH, &serial, nullptr, nullptr,
                                    nullptr, 0));
  wchar_t hex[16] = {};
  swprintf(hex, 16, L"%lX", static_cast<unsigned long>(serial));
  EXPECT_EQ(label, win_.GetVolumeInfomation(L"C:\\", 0));
  EXPECT_EQ(hex, win_.GetVolumeInfomation(L"C:\\", 1));
  EXPECT_EQ(L"", win_.GetVolumeInfomation(gone + L":\\", 0));
  EXPECT_EQ(L"", win_.GetVolumeInfomation(gone + L":\\", 1));

  EXPECT_TRUE(win_.GetDrives(L"c"));
  EXPECT_TRUE(win_.GetDrives(L"C:\\"));
  EXPECT_FALSE(win_.GetDrives(L""));
  EXPECT_FALSE(win_.GetDrives(L"1"));
  EXPECT_FALSE(win_.GetDrives(gone));

  EXPECT_EQ(0, win_.CheckReadyDrive(L"C:\\"));
  EXPECT_NE(0, win_.CheckReadyDrive(gone + L":\\"));
  EXPECT_EQ(ERROR_PATH_NOT_FOUND, win_.CheckReadyDrive(L"C:\\no such folder\\x"));

  // The prefix has neither floppy nor network drives.
  EXPECT_EQ(L"", win_.GetFDDrive());
  EXPECT_EQ(L"", win_.GetResourceNameFromLocalDrive(L"C:\\"));
}

TEST_F(DrivesTest, EjectAndDisconnectOnlyAskTheSeam) {
  win_.EjectDisk(L"e:\\");
  win_.EjectDisk(L"1");
  win_.EjectDisk(L"");
  HWND owner = reinterpret_cast<HWND>(0x1234);
  EXPECT_TRUE(win_.DisConnectNetDrive(owner));
  services_.actions->dialogAnswer = ERROR_CANCELLED;
  EXPECT_FALSE(win_.DisConnectNetDrive(owner));
  // IOCTL_STORAGE_EJECT_MEDIA on the drive's device; RESOURCETYPE_DISK.
  EXPECT_EQ((std::vector<std::wstring>{L"device \\\\.\\E: 0x2D4808", L"disconnect 0x1234 1",
                                       L"disconnect 0x1234 1"}),
            services_.actions->calls);
}

}  // namespace
