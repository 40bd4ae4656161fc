// Drives, volumes and disk space.
#include "clsWinCommon.h"

#include <winnetwk.h>

#include <cmath>
#include <cstdio>
#include <limits>

#include "DiskSpace.h"
#include "Text.h"

using namespace norvale;

namespace {

constexpr int64_t kCurrencyScale = 10000;
const RegCurrency kSpaceUnknown = RegCurrency::FromWhole(-1);

// num / den rounded to the even neighbour on a tie.
uint64_t DivideRoundingHalfEven(uint64_t num, uint64_t den) {
  const uint64_t quotient = num / den, remainder = num % den;
  if (remainder * 2 > den || (remainder * 2 == den && (quotient & 1))) return quotient + 1;
  return quotient;
}

// "\\server\share\" for a path on a share, else empty.
std::wstring ShareRoot(const std::wstring& path) {
  if (!StartsWith(path, L"\\\\")) return L"";
  const size_t serverEnd = path.find(L'\\', 2);
  if (serverEnd == std::wstring::npos || serverEnd == 2) return L"";
  const size_t shareEnd = path.find(L'\\', serverEnd + 1);
  const std::wstring root =
      shareEnd == std::wstring::npos ? path : path.substr(0, shareEnd);
  return root.size() > serverEnd + 1 ? root + L"\\" : L"";
}

std::wstring FirstCharacter(const std::wstring& text) { return text.substr(0, 1); }

}  // namespace

namespace norvale {

RegCurrency GigabytesCutToTenths(uint64_t bytes) {
  const double gigabytes = static_cast<double>(bytes) / kCurrencyScale * 9.765625 / 1024 / 1024;
  const int64_t fourDecimals = std::llrint(gigabytes * kCurrencyScale);
  const int64_t tenths = fourDecimals * 10 / kCurrencyScale;
  return RegCurrency{tenths * (kCurrencyScale / 10)};
}

// Cluster counts and sizes are unsigned and multiplied in 64 bits, so large
// volumes give their real size.
std::optional<RegCurrency> ClusterGigabytes(uint64_t clusters, uint64_t bytesPerCluster) {
  uint64_t scaledClusters = 0, scaledSize = 0, product = 0;
  if (__builtin_mul_overflow(clusters, uint64_t{kCurrencyScale}, &scaledClusters) ||
      __builtin_mul_overflow(bytesPerCluster, uint64_t{kCurrencyScale}, &scaledSize)) {
    return std::nullopt;
  }
  const uint64_t clusterKilo = DivideRoundingHalfEven(scaledClusters, 1024);
  const uint64_t clusterSizeKilo = DivideRoundingHalfEven(scaledSize, 1024);
  if (__builtin_mul_overflow(clusterKilo, clusterSizeKilo, &product)) return std::nullopt;
  const uint64_t megabytes = DivideRoundingHalfEven(product, kCurrencyScale);
  const uint64_t gigabytes = DivideRoundingHalfEven(megabytes, 1024);
  if (gigabytes > static_cast<uint64_t>(std::numeric_limits<int64_t>::max())) return std::nullopt;
  return RegCurrency{static_cast<int64_t>(gigabytes)};
}

}  // namespace norvale

// A drive letter alone or a path on a drive asks about the drive's root; a
// path on a share asks about the share.
std::wstring clsWinCommon::FreeSpaceRoot(const std::wstring& DrvName) {
  const bool colon = DrvName.find(L':') != std::wstring::npos;
  const bool separator = DrvName.find(L'\\') != std::wstring::npos;
  if (colon) return FirstCharacter(DrvName) + L":\\";
  if (!separator) return DrvName + L":\\";
  const std::wstring share = ShareRoot(DrvName);
  return share.empty() ? FirstCharacter(DrvName) + L":\\" : share;
}

std::wstring clsWinCommon::ClusterQueryRoot(const std::wstring& DrvName) {
  const bool colon = DrvName.find(L':') != std::wstring::npos;
  const bool separator = DrvName.find(L'\\') != std::wstring::npos;
  if (colon && separator) return DrvName;
  const std::wstring share = ShareRoot(DrvName);
  if (!share.empty()) return share;
  return FirstCharacter(DrvName) + L":\\";
}

RegCurrency clsWinCommon::GetDiskFreeSpace2(const std::wstring& DrvName, int16_t sw, bool IsGB) {
  try {
    const std::wstring root = FreeSpaceRoot(DrvName);
    ULARGE_INTEGER available{}, total{}, free{};
    if (!GetDiskFreeSpaceExW(root.c_str(), &available, &total, &free)) return kSpaceUnknown;
    uint64_t bytes = 0;
    switch (sw) {
      case 0: bytes = total.QuadPart; break;
      case 1: bytes = available.QuadPart; break;
      case 2: bytes = free.QuadPart; break;
      default: return RegCurrency{0};
    }
    if (!IsGB) {
      if (bytes > static_cast<uint64_t>(std::numeric_limits<int64_t>::max() / kCurrencyScale)) {
        return kSpaceUnknown;
      }
      return RegCurrency::FromWhole(static_cast<int64_t>(bytes));
    }
    return GigabytesCutToTenths(bytes);
  } catch (...) {
    return kSpaceUnknown;
  }
}

RegCurrency clsWinCommon::GetDiskFreeNG(const std::wstring& DrvName, int16_t sw) {
  try {
    const std::wstring root = ClusterQueryRoot(DrvName);
    DWORD sectorsPerCluster = 0, bytesPerSector = 0, freeClusters = 0, totalClusters = 0;
    if (!GetDiskFreeSpaceW(root.c_str(), &sectorsPerCluster, &bytesPerSector, &freeClusters,
                           &totalClusters)) {
      return kSpaceUnknown;
    }
    uint64_t clusters = 0;
    switch (sw) {
      case 0: clusters = totalClusters; break;
      case 1: clusters = freeClusters; break;
      default: return RegCurrency{0};
    }
    return ClusterGigabytes(clusters, uint64_t{bytesPerSector} * sectorsPerCluster)
        .value_or(RegCurrency{0});
  } catch (...) {
    return RegCurrency{0};
  }
}

int32_t clsWinCommon::GetTypeOfDrive(const std::wstring& DrvName) {
  try {
    return static_cast<int32_t>(windows_.drives->DriveType(DrvName + L":\\"));
  } catch (...) {
    return 0;
  }
}

std::wstring clsWinCommon::GetVolumeInfomation(const std::wstring& RootPathName, int16_t sw) {
  try {
    wchar_t volumeName[MAX_PATH] = {}, fileSystem[MAX_PATH] = {};
    DWORD serial = 0, maxComponent = 0, flags = 0;
    if (!GetVolumeInformationW(RootPathName.c_str(), volumeName, MAX_PATH, &serial,
                               &maxComponent, &flags, fileSystem, MAX_PATH)) {
      return L"";
    }
    if (sw == 0) return CutAtNull(std::wstring_view(volumeName, MAX_PATH));
    wchar_t hex[16] = {};
    swprintf(hex, 16, L"%lX", static_cast<unsigned long>(serial));
    return hex;
  } catch (...) {
    return L"";
  }
}

bool clsWinCommon::GetDrives(const std::wstring& DrvName) {
  try {
    if (DrvName.empty()) return false;
    const wchar_t letter = static_cast<wchar_t>(towupper(DrvName[0]));
    if (letter < L'A' || letter > L'Z') return false;
    return (GetLogicalDrives() >> (letter - L'A')) & 1;
  } catch (...) {
    return false;
  }
}

int32_t clsWinCommon::CheckReadyDrive(const std::wstring& RootPathName) {
  try {
    if (GetFileAttributesW(RootPathName.c_str()) != INVALID_FILE_ATTRIBUTES) return 0;
    return static_cast<int32_t>(GetLastError());
  } catch (...) {
    return 5;
  }
}

std::wstring clsWinCommon::GetFDDrive() {
  try {
    // The narrowed display name Japanese Windows gives a floppy drive: its
    // size in inches, "FD" and the drive in parentheses.
    const std::wstring marker = L"ｲﾝﾁ FD (";
    std::wstring letters;
    for (wchar_t letter = L'A'; letter <= L'Z'; ++letter) {
      const std::wstring root = std::wstring(1, letter) + L":\\";
      if (windows_.drives->DriveType(root) != DRIVE_REMOVABLE) continue;
      const std::wstring name = GetFileDisplayName(root);
      if (name.empty()) continue;
      const int size = LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_HALFWIDTH, name.c_str(),
                                    static_cast<int>(name.size()), nullptr, 0);
      if (size <= 0) continue;
      std::wstring narrow(static_cast<size_t>(size), L'\0');
      LCMapStringW(LOCALE_USER_DEFAULT, LCMAP_HALFWIDTH, name.c_str(),
                   static_cast<int>(name.size()), narrow.data(), size);
      if (narrow.find(marker) != std::wstring::npos) letters += letter;
    }
    return letters;
  } catch (...) {
    return L"";
  }
}

DWORD clsWinCommon::MakeCtlCode(int32_t deviceType, int32_t function, int32_t method,
                                int32_t access) {
  return (static_cast<DWORD>(deviceType) << 16) | (static_cast<DWORD>(access) << 14) |
         (static_cast<DWORD>(function) << 2) | static_cast<DWORD>(method);
}

// Only the NT family can eject; the old Windows family is not supported.
void clsWinCommon::EjectDisk(const std::wstring& Drv) {
  try {
    if (Drv.empty()) return;
    const wchar_t letter = static_cast<wchar_t>(towupper(Drv[0]));
    if (letter < L'A' || letter > L'Z') return;
    if (!IsWinNT()) return;
    constexpr int32_t kStorageDevice = 0x2D, kEjectMedia = 0x202, kBuffered = 0, kReadAccess = 1;
    windows_.actions->DeviceControl(std::wstring(L"\\\\.\\") + letter + L":",
                                    MakeCtlCode(kStorageDevice, kEjectMedia, kBuffered,
                                                kReadAccess));
  } catch (...) {
  }
}

std::wstring clsWinCommon::GetResourceNameFromLocalDrive(const std::wstring& Drv) {
  try {
    const std::wstring local = FirstCharacter(Drv) + L":";
    wchar_t remote[MAX_PATH] = {};
    DWORD length = MAX_PATH;
    if (windows_.drives->NetworkConnection(local, remote, &length) != NO_ERROR) return L"";
    return CutAtNull(std::wstring_view(remote, MAX_PATH));
  } catch (...) {
    return L"";
  }
}

bool clsWinCommon::DisConnectNetDrive(HWND hwnd) {
  try {
    return windows_.actions->DisconnectDialog(hwnd, RESOURCETYPE_DISK) == NO_ERROR;
  } catch (...) {
    return false;
  }
}

void clsWinCommon::DiskCopy() {
  try {
    KernelHandle started;
    windows_.starts->Start(L"RunDll32.EXE DiskCopy.dll,DiskCopyRunDll 0", SW_SHOWNORMAL, nullptr,
                           started.Put());
  } catch (...) {
  }
}
