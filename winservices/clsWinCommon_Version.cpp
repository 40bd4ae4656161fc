// Which Windows the program runs on.
#include "clsWinCommon.h"

#include <algorithm>

#include "System.h"
#include "Text.h"

using namespace norvale;

bool clsWinCommon::RunningVersion(OSVERSIONINFOEXW& info) {
  info = OSVERSIONINFOEXW{};
  info.dwOSVersionInfoSize = sizeof(info);
  return windows_.windows->GetVersion(info);
}

uint8_t clsWinCommon::HiByte(uint16_t versionWord) {
  return static_cast<uint8_t>(versionWord >> 8);
}

uint8_t clsWinCommon::LoByte(uint16_t versionWord) {
  return static_cast<uint8_t>(versionWord & 0xFF);
}

bool clsWinCommon::IsWindowsVersionOrGreater(int16_t wMajorVersion, int16_t wMinorVersion,
                                             int16_t wServicePackMajor, int32_t dwBuild) {
  try {
    OSVERSIONINFOEXW info;
    if (!RunningVersion(info)) return false;
    // Each part decides unless it is equal; the build counts only when the
    // version and service pack are the same.
    const int64_t running[] = {info.dwMajorVersion, info.dwMinorVersion,
                               info.wServicePackMajor};
    const int64_t asked[] = {wMajorVersion, wMinorVersion, wServicePackMajor};
    for (int i = 0; i < 3; ++i) {
      if (running[i] != asked[i]) return running[i] > asked[i];
    }
    return static_cast<int64_t>(info.dwBuildNumber) >= dwBuild;
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::IsVersionWordOrGreater(uint16_t versionWord, int16_t servicePackMajor,
                                          int32_t build) {
  return IsWindowsVersionOrGreater(HiByte(versionWord), LoByte(versionWord), servicePackMajor,
                                   build);
}

bool clsWinCommon::IsWindowsXPOrGreater() { return IsVersionWordOrGreater(0x0501, 0, 0); }
bool clsWinCommon::IsWindowsXPSP1OrGreater() { return IsVersionWordOrGreater(0x0501, 1, 0); }
bool clsWinCommon::IsWindowsXPSP2OrGreater() { return IsVersionWordOrGreater(0x0501, 2, 0); }
bool clsWinCommon::IsWindowsXPSP3OrGreater() { return IsVersionWordOrGreater(0x0501, 3, 0); }
bool clsWinCommon::IsWindowsVistaOrGreater() { return IsVersionWordOrGreater(0x0600, 0, 0); }
bool clsWinCommon::IsWindowsVistaSP1OrGreater() { return IsVersionWordOrGreater(0x0600, 1, 0); }
bool clsWinCommon::IsWindowsVistaSP2OrGreater() { return IsVersionWordOrGreater(0x0600, 2, 0); }
bool clsWinCommon::IsWindows7OrGreater() { return IsVersionWordOrGreater(0x0601, 0, 0); }
bool clsWinCommon::IsWindows7SP1OrGreater() { return IsVersionWordOrGreater(0x0601, 1, 0); }
bool clsWinCommon::IsWindows8OrGreater() { return IsVersionWordOrGreater(0x0602, 0, 0); }
bool clsWinCommon::IsWindows8Point1OrGreater() { return IsVersionWordOrGreater(0x0603, 0, 0); }
bool clsWinCommon::IsWindows10OrGreater() { return IsVersionWordOrGreater(0x0A00, 0, 0); }
bool clsWinCommon::IsWindows10AnniversaryOrGreater() {
  return IsVersionWordOrGreater(0x0A00, 0, 14393);
}
bool clsWinCommon::IsWindows10CreatorsOrGreater() {
  return IsVersionWordOrGreater(0x0A00, 0, 15063);
}

bool clsWinCommon::IsWindowsServer() {
  try {
    return !windows_.windows->VerifyWorkstation();
  } catch (...) {
    return false;
  }
}

bool clsWinCommon::IsWinNT() { return IsPlatformNT(); }

std::wstring clsWinCommon::GetWindowsName() {
  std::wstring name;
  try {
    OSVERSIONINFOEXW info;
    if (!RunningVersion(info)) return L"";
    const DWORD major = info.dwMajorVersion, minor = info.dwMinorVersion;
    const bool workstation = info.wProductType == VER_NT_WORKSTATION;
    auto pick = [&](const wchar_t* forWorkstation, const wchar_t* forServer) {
      return std::wstring(workstation ? forWorkstation : forServer);
    };
    if (major >= 10) {
      if (minor == 1) {
        name = pick(L"Windows 10.1", L"Windows Server 2016 R2");
      } else if (!workstation) {
        name = L"Windows Server 2016";
      } else {
        name = info.dwBuildNumber >= 22000 ? L"Windows 11" : L"Windows 10";
      }
    } else if (major == 6) {
      switch (minor) {
        case 0: name = pick(L"Windows Vista", L"Windows Server 2008"); break;
        case 1: name = pick(L"Windows 7", L"Windows Server 2008 R2"); break;
        case 2: name = pick(L"Windows 8", L"Windows Server 2012"); break;
        case 3: name = pick(L"Windows 8.1", L"Windows Server 2012 R2"); break;
        default: name = pick(L"Windows 8.x", L"Windows Server 2008-2012"); break;
      }
    } else if (major == 5) {
      if (minor == 0) {
        name = pick(L"Windows 2000", L"Windows 2000 Server");
      } else if (minor == 2 && workstation) {
        name = L"Windows XP Pro x64";
      } else if (minor == 2 && (info.wSuiteMask & VER_SUITE_WH_SERVER)) {
        name = L"Windows Home Server";
      } else if (minor == 2) {
        name = L"Windows Server 2003";
        if (windows_.windows->IsServerR2()) name += L" R2";
      } else {
        name = L"Windows XP";
      }
    }
    if (!name.empty() && info.wServicePackMajor > 0) {
      name += L" SP" + std::to_wstring(info.wServicePackMajor);
    }
    return name;
  } catch (...) {
    return name;
  }
}

std::wstring clsWinCommon::GetOSNumberName(int32_t aEnuWinOS) {
  static const wchar_t* const kNames[] = {
      L"Windows??",     L"Windows95",     L"Windows95OSR2",          L"Windows98",
      L"Windows98SE",   L"WindowsNT3.51", L"WindowsNT4.0",           L"WindowsMe",
      L"Windows2000",   L"WindowsXP Home Edition", L"WindowsXP Professional"};
  if (aEnuWinOS < 0 || aEnuWinOS >= static_cast<int32_t>(std::size(kNames))) return kNames[0];
  return kNames[aEnuWinOS];
}

bool clsWinCommon::GetOSVersionEx(OSVERSIONINFOW& info) {
  try {
    OSVERSIONINFOW filled{};
    filled.dwOSVersionInfoSize = sizeof(filled);
    if (!GetVersionExW(&filled)) return false;
    const std::wstring servicePack = Trim(CutAtNull(std::wstring_view(
        filled.szCSDVersion, std::size(filled.szCSDVersion))));
    std::fill(std::begin(filled.szCSDVersion), std::end(filled.szCSDVersion), L'\0');
    servicePack.copy(filled.szCSDVersion, std::size(filled.szCSDVersion) - 1);
    info = filled;
    return true;
  } catch (...) {
    return false;
  }
}
