#include "WindowsRules.h"

namespace norvale {

bool RunsUnderWine() {
  // Wine's ntdll exports its own version call; Windows' never does.
  static const bool wine = [] {
    const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
    return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
  }();
  return wine;
}

WindowsRelease ModelledRelease() {
  if (!RunsUnderWine()) return WindowsRelease::System;
  // Asked every time, so that a test may switch releases for one case.
  wchar_t value[16] = {};
  const DWORD n = GetEnvironmentVariableW(L"NORVALE_WINDOWS_RULES", value, 16);
  if (n > 0 && n < 16 && std::wstring(value, n) == L"11-24H2") {
    return WindowsRelease::Windows11_24H2;
  }
  return WindowsRelease::Windows10;
}

DWORD RenameTargetSharing(WindowsRelease release) {
  return release == WindowsRelease::Windows11_24H2
             ? FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE
             : FILE_SHARE_READ | FILE_SHARE_WRITE;
}

}  // namespace norvale
