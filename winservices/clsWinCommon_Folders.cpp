// Special and system folders.
#include "clsWinCommon.h"

#include <shlobj.h>

#include "FileSystem.h"
#include "System.h"
#include "Text.h"

using namespace norvale;

namespace {

// This system's own number for the temporary folder the environment names.
constexpr int32_t kTempFolderNumber = 255;

std::wstring EnvironmentValue(const wchar_t* name) {
  DWORD needed = GetEnvironmentVariableW(name, nullptr, 0);
  if (needed == 0) return L"";
  std::wstring value(needed, L'\0');
  DWORD got = GetEnvironmentVariableW(name, value.data(), needed);
  if (got == 0 || got >= needed) return L"";
  value.resize(got);
  return value;
}

}  // namespace

std::wstring clsWinCommon::GetTempFolder() {
  try {
    wchar_t buffer[MAX_PATH] = {};
    DWORD got = GetTempPathW(MAX_PATH, buffer);
    if (got == 0 || got >= MAX_PATH) return L"";
    return CutAtNull(std::wstring_view(buffer, got));
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetSpecialFolderPath(int32_t aenuFolder) {
  try {
    if (aenuFolder == kTempFolderNumber) {
      const std::wstring temp = EnvironmentValue(L"TEMP");
      if (!IsBlank(temp)) return temp;
      const std::wstring tmp = EnvironmentValue(L"TMP");
      if (!IsBlank(tmp)) return tmp;
      // With neither variable set a caller must not be sent to the current
      // folder: ask Windows, in the same form as the variables give it.
      return WithoutTrailingSeparator(GetTempFolder());
    }
    LPITEMIDLIST list = nullptr;
    if (SHGetSpecialFolderLocation(nullptr, aenuFolder, &list) != S_OK) return L"";
    ItemIdList owned(list);
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(owned.Get(), buffer)) return L"";
    const std::wstring path = CutAtNull(std::wstring_view(buffer, MAX_PATH));
    // Wine answers for a virtual folder with its shell parsing name
    // ("::{guid}...") where Windows says it has no path.
    if (StartsWith(path, L"::")) return L"";
    return path;
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetSysDir() {
  try {
    return SystemFolder();
  } catch (...) {
    return L"";
  }
}

std::wstring clsWinCommon::GetWinDir() {
  try {
    wchar_t buffer[MAX_PATH] = {};
    UINT got = GetWindowsDirectoryW(buffer, MAX_PATH);
    if (got == 0 || got >= MAX_PATH) return L"";
    return CutAtNull(std::wstring_view(buffer, got));
  } catch (...) {
    return L"";
  }
}
