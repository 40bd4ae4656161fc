#include "System.h"

#include <windows.h>
#include <shellapi.h>

#include <vector>

#include "Text.h"

namespace norvale {

std::wstring ProgramPath() {
  std::vector<wchar_t> buffer(MAX_PATH);
  for (;;) {
    DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
    if (n == 0) return {};
    if (n < buffer.size()) return std::wstring(buffer.data(), n);
    buffer.resize(buffer.size() * 2);
  }
}

std::wstring ProgramFolder() {
  std::wstring path = ProgramPath();
  size_t sep = path.find_last_of(L'\\');
  if (sep == std::wstring::npos) return {};
  std::wstring folder = path.substr(0, sep);
  if (folder.size() == 2 && folder[1] == L':') folder += L'\\';
  return folder;
}

std::wstring ProgramTitle() {
  std::wstring path = ProgramPath();
  size_t sep = path.find_last_of(L'\\');
  std::wstring name = sep == std::wstring::npos ? path : path.substr(sep + 1);
  size_t dot = name.find_last_of(L'.');
  return dot == std::wstring::npos ? name : name.substr(0, dot);
}

std::wstring SystemFolder() {
  wchar_t buffer[2048] = {};
  UINT n = GetSystemDirectoryW(buffer, 2048);
  if (n == 0 || n >= 2048) return {};
  return CutAtNull(std::wstring_view(buffer, n));
}

bool IsPlatformNT() {
  OSVERSIONINFOW info{};
  info.dwOSVersionInfoSize = sizeof(info);
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
  return GetVersionExW(&info) && info.dwPlatformId == VER_PLATFORM_WIN32_NT;
#pragma GCC diagnostic pop
}

int32_t ShellOpen(const std::wstring& file, const std::wstring& parameters, int32_t showCommand) {
  HINSTANCE result = ShellExecuteW(nullptr, L"open", file.c_str(), parameters.c_str(), L"",
                                   static_cast<int16_t>(showCommand));
  return static_cast<int32_t>(reinterpret_cast<intptr_t>(result));
}

}  // namespace norvale
