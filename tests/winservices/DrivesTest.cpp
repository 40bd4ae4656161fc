#include <windows.h>

#include <algorithm>
#include <cwchar>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "DiskSpace.h"
#include "Text.h"
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

// Drives as a Japanese Windows with floppy and network drives shows them.
class FakeDrives final : public norvale::IDriveQueries {
 public:
  struct Drive {
    UINT type;
    std::wstring displayName;
  };
  std::map<std::wstring, Drive> roots;
  // Local name, as WNetGetConnection matches it, and what it fills in.
  std::map<std::wstring, std::wstring> mapped;
  std::vector<std::wstring> asked;

  UINT DriveType(const std::wstring& root) override {
    const auto found = roots.find(root);
    return found == roots.end() ? DRIVE_NO_ROOT_DIR : found->second.type;
  }
  bool DisplayName(const std::wstring& path, SHFILEINFOW& info) override {
    const auto found = roots.find(path);
    if (found == roots.end()) return false;
    wcsncpy(info.szDisplayName, found->second.displayName.c_str(), MAX_PATH - 1);
    return true;
  }
  DWORD NetworkConnection(const std::wstring& localName, wchar_t* remote,
                          DWORD* length) override {
    asked.push_back(localName);
    for (const auto& [name, path] : mapped) {
      if (!norvale::TextEqualsIgnoreCase(name, localName)) continue;
      if (path.size() > *length) return ERROR_MORE_DATA;
      std::copy(path.begin(), path.end(), remote);
      return NO_ERROR;
    }
    return ERROR_NOT_CONNECTED;
  }
};

class FakeDrivesTest : public ::testing::Test {
 protected:
  norvale::WinServicesSeams Seams() {
    norvale::WinServicesSeams seams = services_.Windows();
    seams.drives = drives_;
    return seams;
  }

  ServicesUnderTest services_;
  std::shared_ptr<FakeDrives> drives_ = std::make_shared<FakeDrives>();
  clsWinCommon win_{services_.Seams(), Seams()};
};

TEST_F(FakeDrivesTest, FloppyDrivesAreRemovableDrivesNamedAsFloppies) {
  drives_->roots = {
      {L"A:\\", {DRIVE_REMOVABLE, L"3.5 インチ FD (A:)"}},
      // A memory stick is removable too, but no floppy.
      {L"B:\\", {DRIVE_REMOVABLE, L"リムーバブル ディスク (B:)"}},
      // The name alone makes no floppy of a fixed drive.
      {L"C:\\", {DRIVE_FIXED, L"3.5 インチ FD (C:)"}},
      // Full-width letters and brackets read as their narrow forms.
      {L"F:\\", {DRIVE_REMOVABLE, L"５ インチ ＦＤ （F:）"}},
      {L"G:\\", {DRIVE_REMOVABLE, L""}},
  };
  EXPECT_EQ(L"AF", win_.GetFDDrive());
  EXPECT_EQ(DRIVE_FIXED, win_.GetTypeOfDrive(L"C"));
  EXPECT_EQ(L"リムーバブル ディスク (B:)", win_.GetFileDisplayName(L"B:\\"));
}

TEST_F(FakeDrivesTest, NetworkPathOfAMappedDriveLetter) {
  // What the network returns ends at its first NUL.
  drives_->mapped[L"E:"] = std::wstring(L"\\\\nas\\kasse\0old", 16);
  EXPECT_EQ(L"\\\\nas\\kasse", win_.GetResourceNameFromLocalDrive(L"E:\\Daten"));
  EXPECT_EQ(L"\\\\nas\\kasse", win_.GetResourceNameFromLocalDrive(L"e"));
  EXPECT_EQ(L"", win_.GetResourceNameFromLocalDrive(L"F:"));
  // Only the letter with its colon is asked, never a path.
  EXPECT_EQ((std::vector<std::wstring>{L"E:", L"e:", L"F:"}), drives_->asked);
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
