#include "Paths.h"

#include <windows.h>

#include <vector>

#include "FileSystem.h"
#include "Handles.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr size_t kMaxPathPartChars = 255;

std::wstring Joined(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

bool HoldsWildcard(const std::wstring& part) {
  return part.find_first_of(L"*?<>\"") != std::wstring::npos;
}

// The name the folder lists for an existing path's last part; empty when it
// is missing.
std::wstring ListedName(const std::wstring& path) {
  WIN32_FIND_DATAW data{};
  const FindHandle find(FindFirstFileW(path.c_str(), &data));
  return find ? std::wstring(data.cFileName) : std::wstring();
}

}  // namespace

bool FitsPlainPathCalls(const std::wstring& path, bool folder) {
  size_t length = path.size();
  while (length > 0 && (path[length - 1] == L'\\' || path[length - 1] == L'/')) --length;
  if (length > (folder ? MAX_PATH - 12 : MAX_PATH - 1)) return false;
  size_t part = 0;
  for (size_t i = 0; i < length; ++i) {
    part = path[i] == L'\\' || path[i] == L'/' ? 0 : part + 1;
    if (part > kMaxPathPartChars) return false;
  }
  return true;
}

std::wstring FullPath(const std::wstring& path) {
  const std::wstring trimmed = Trim(path);
  if (trimmed.empty()) return {};
  DWORD n = GetFullPathNameW(trimmed.c_str(), 0, nullptr, nullptr);
  if (n == 0) return {};
  std::vector<wchar_t> buffer(n + 1);
  n = GetFullPathNameW(trimmed.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                       nullptr);
  if (n == 0 || n >= buffer.size()) return {};
  std::wstring full(buffer.data(), n);
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) full.pop_back();
  return full;
}

std::wstring LongPath(const std::wstring& path) {
  if (!IsFullyQualifiedPath(ReplaceAll(Trim(path), L"/", L"\\"))) return {};
  const std::wstring full = FullPath(path);
  if (!FitsPlainPathCalls(full)) return {};
  if (IsNetworkPath(full)) return full;
  std::wstring result = full.substr(0, 3);
  bool asking = true;
  for (size_t start = 3; start < full.size();) {
    size_t end = full.find(L'\\', start);
    if (end == std::wstring::npos) end = full.size();
    const std::wstring part = full.substr(start, end - start);
    std::wstring next = Joined(result, part);
    // The folder asked is already long, so no call is handed more than the
    // plain calls take, whatever the short names would grow to.
    if (asking && FitsPlainPathCalls(next) && !HoldsWildcard(part)) {
      const std::wstring listed = ListedName(next);
      asking = !listed.empty();
      if (asking) next = Joined(result, listed);
    }
    if (!FitsPlainPathCalls(next)) return {};
    result = next;
    start = end + 1;
  }
  return result;
}

std::wstring ResolvedFolder(const std::wstring& folder, const IFinalPaths& finalPaths) {
  const std::wstring full = FullPath(folder);
  return full.empty() ? full : finalPaths.FinalPathOf(full, true);
}

std::wstring ResolvedPath(const std::wstring& path, const IFinalPaths& finalPaths) {
  const std::wstring full = FullPath(path);
  const size_t sep = full.rfind(L'\\');
  if (sep == std::wstring::npos) return {};
  // A drive root holds itself.
  if (sep + 1 == full.size()) return finalPaths.FinalPathOf(full, true);
  if (HoldsWildcard(full.substr(sep + 1))) return {};
  const std::wstring name = ListedName(full);
  if (name.empty()) return {};
  const std::wstring folder = finalPaths.FinalPathOf(full.substr(0, sep == 2 ? 3 : sep), true);
  return folder.empty() ? folder : Joined(folder, name);
}

bool IsDriveLetter(wchar_t c) { return (c >= L'A' && c <= L'Z') || (c >= L'a' && c <= L'z'); }

bool IsDriveAbsolute(std::wstring_view path) {
  return path.size() >= 3 && IsDriveLetter(path[0]) && path[1] == L':' &&
         (path[2] == L'\\' || path[2] == L'/');
}

bool SameName(std::wstring_view a, std::wstring_view b) {
  if (a.empty() || b.empty()) return a.empty() && b.empty();
  return CompareStringOrdinal(a.data(), static_cast<int>(a.size()), b.data(),
                              static_cast<int>(b.size()), TRUE) == CSTR_EQUAL;
}

std::wstring FinalPathOfHandle(HANDLE handle) {
  std::vector<wchar_t> buffer(1024);
  DWORD n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                      VOLUME_NAME_DOS);
  if (n >= buffer.size()) {
    buffer.resize(n + 1);
    n = GetFinalPathNameByHandleW(handle, buffer.data(), static_cast<DWORD>(buffer.size()),
                                  VOLUME_NAME_DOS);
  }
  if (n == 0 || n >= buffer.size()) return {};
  std::wstring found(buffer.data(), n);
  if (StartsWith(found, L"\\\\?\\UNC\\")) {
    found = L"\\\\" + found.substr(8);
  } else if (StartsWith(found, L"\\\\?\\")) {
    found = found.substr(4);
  }
  while (found.size() > 3 && found.back() == L'\\') found.pop_back();
  return found;
}

bool SamePath(std::wstring_view a, std::wstring_view b) { return SameName(a, b); }

bool IsBelow(std::wstring_view path, std::wstring_view folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.remove_suffix(1);
  if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != L'\\') {
    return false;
  }
  return SamePath(path.substr(0, folder.size()), folder);
}

std::wstring PartBelow(std::wstring_view path, std::wstring_view folder) {
  if (!IsBelow(path, folder)) return {};
  while (!folder.empty() && folder.back() == L'\\') folder.remove_suffix(1);
  return std::wstring(path.substr(folder.size() + 1));
}

namespace {

// Whether `related` holds for a and b by their full forms or by their long
// forms. A relative path would be judged from wherever the program stands:
// it relates to nothing.
template <typename Related>
bool RelatedByAnyName(const std::wstring& a, const std::wstring& b, Related related) {
  for (const std::wstring* p : {&a, &b}) {
    if (!IsFullyQualifiedPath(ReplaceAll(Trim(*p), L"/", L"\\"))) return false;
  }
  const std::wstring fullA = FullPath(a);
  const std::wstring fullB = FullPath(b);
  if (fullA.empty() || fullB.empty()) return false;
  if (related(fullA, fullB)) return true;
  const std::wstring longA = LongPath(fullA);
  const std::wstring longB = LongPath(fullB);
  return !longA.empty() && !longB.empty() && related(longA, longB);
}

}  // namespace

bool SamePlace(const std::wstring& a, const std::wstring& b) {
  return RelatedByAnyName(a, b, [](const std::wstring& x, const std::wstring& y) {
    return SamePath(x, y);
  });
}

bool LiesBelow(const std::wstring& path, const std::wstring& folder) {
  return RelatedByAnyName(path, folder, [](const std::wstring& x, const std::wstring& y) {
    return IsBelow(x, y);
  });
}

std::wstring PathKey(const std::wstring& path) {
  std::wstring key = FullPath(path);
  if (key.empty()) {
    key = Trim(path);
  } else if (std::wstring longForm = LongPath(key); !longForm.empty()) {
    key = std::move(longForm);
  }
  if (key.empty()) return key;
  // The invariant upper case is the table the ordinal comparison folds with:
  // no kana, width or locale rule enters the key.
  const int n = LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.data(),
                              static_cast<int>(key.size()), nullptr, 0, nullptr, nullptr, 0);
  if (n <= 0) return key;
  std::wstring upper(static_cast<size_t>(n), L'\0');
  if (LCMapStringEx(LOCALE_NAME_INVARIANT, LCMAP_UPPERCASE, key.data(),
                    static_cast<int>(key.size()), upper.data(), n, nullptr, nullptr, 0) != n) {
    return key;
  }
  return upper;
}

}  // namespace norvale
