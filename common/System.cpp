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

std::wstring SystemErrorText(unsigned long code) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, code, 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::wstring text = length && buffer ? std::wstring(buffer, length) : std::wstring();
  if (buffer) LocalFree(buffer);
  while (!text.empty() && (text.back() == L'\r' || text.back() == L'\n' || text.back() == L' ')) {
    text.pop_back();
  }
  return text.empty() ? L"エラー " + std::to_wstring(code) : text;
}

}  // namespace norvale
