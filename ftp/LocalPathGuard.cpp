#include "LocalPathGuard.h"

#include <windows.h>

#include <array>
#include <vector>

#include "Paths.h"
#include "Text.h"

namespace norvale {
namespace {

bool IsDeviceName(std::wstring_view name) {
  // Windows treats "con.txt" and "con .log" as the console too.
  std::wstring_view base = name.substr(0, name.find(L'.'));
  while (!base.empty() && base.back() == L' ') base.remove_suffix(1);
  static const std::array<const wchar_t*, 7> kPlain = {L"CON",    L"PRN",     L"AUX",   L"NUL",
                                                       L"CONIN$", L"CONOUT$", L"CLOCK$"};
  for (const wchar_t* device : kPlain) {
    if (CompareStringOrdinal(base.data(), static_cast<int>(base.size()), device, -1, TRUE) ==
        CSTR_EQUAL) {
      return true;
    }
  }
  if (base.size() == 4 && base[3] >= L'0' && base[3] <= L'9') {
    const std::wstring_view stem = base.substr(0, 3);
    for (const wchar_t* device : {L"COM", L"LPT"}) {
      if (CompareStringOrdinal(stem.data(), 3, device, 3, TRUE) == CSTR_EQUAL) return true;
    }
  }
  return false;
}

}  // namespace

std::wstring FullLocalPath(const std::wstring& path) {
  if (path.empty() || path.find(L'\0') != std::wstring::npos) return {};
  DWORD n = GetFullPathNameW(path.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> buffer(n + 1);
  n = GetFullPathNameW(path.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(), nullptr);
  if (n == 0 || n >= buffer.size()) return {};
  std::wstring full(buffer.data(), n);
  // Device and raw paths ("\\.\con", "\\?\...") lie outside every folder.
  if (StartsWith(full, L"\\\\.\\") || StartsWith(full, L"\\\\?\\")) return {};
  while (full.size() > 3 && full.back() == L'\\') full.pop_back();
  return full;
}

bool IsSafeLocalName(std::wstring_view name) {
  if (name.empty()) return false;
  bool onlyDotsAndBlanks = true;
  for (wchar_t c : name) {
    if (c < 0x20 || c == 0x7F) return false;
    if (std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring_view::npos) return false;
    if (c != L'.' && c != L' ') onlyDotsAndBlanks = false;
  }
  if (onlyDotsAndBlanks) return false;
  return !IsDeviceName(name);
}

bool IsInsideFolder(const std::wstring& folder, const std::wstring& path, bool allowSame) {
  const std::wstring root = FullLocalPath(folder);
  const std::wstring full = FullLocalPath(path);
  if (root.empty() || full.empty()) return false;
  return PathIsBelow(full, root) || (allowSame && SamePath(full, root));
}

}  // namespace norvale
