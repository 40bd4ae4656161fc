#include "Paths.h"

#include <windows.h>

#include <vector>

#include "FileSystem.h"
#include "Handles.h"
#include "Text.h"

namespace norvale {
namespace {

constexpr size_t kMaxPathPartChars = 255;

bool HoldsWildcard(const std::wstring& part) {
  return part.find_first_of(L"*?<>\"") != std::wstring::npos;
}

// Windows drops trailing blanks and dots from the last part of a path only:
// "App " and "App" are two folders, but a path that ends in "App " names
// "App" unless a separator follows.
bool EndsInBlankOrDot(std::wstring_view part) {
  return !part.empty() && (part.back() == L' ' || part.back() == L'.');
}

// The full form with its closing separators taken off, and whether one has
// to stay on.
struct Unclosed {
  std::wstring path;
  bool closed = false;
};
Unclosed WithoutClosingSeparator(const std::wstring& full) {
  Unclosed result{full, false};
  if (result.path.size() > 3 && result.path.back() == L'\\') {
    result.path.pop_back();
    result.closed = true;
  }
  return result;
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
  bool closed = false;
  while (full.size() > 3 && (full.back() == L'\\' || full.back() == L'/')) {
    full.pop_back();
    closed = true;
  }
  if (closed && full.size() > 3 && EndsInBlankOrDot(full)) full += L'\\';
  return full;
}

std::wstring LongPath(const std::wstring& path) {
  if (!IsFullyQualifiedPath(ReplaceAll(Trim(path), L"/", L"\\"))) return {};
  const std::wstring full = FullPath(path);
  if (!FitsPlainPathCalls(full)) return {};
  if (IsNetworkPath(full)) return full;
  const Unclosed body = WithoutClosingSeparator(full);
  std::wstring result = body.path.substr(0, 3);
  bool asking = true;
  for (size_t start = 3; start < body.path.size();) {
    size_t end = body.path.find(L'\\', start);
    if (end == std::wstring::npos) end = body.path.size();
    const std::wstring part = body.path.substr(start, end - start);
    std::wstring next = JoinPath(result, part);
    // The folder asked is already long, so no call is handed more than the
    // plain calls take, whatever the short names would grow to. Asked by
    // itself, a part that ends in a blank or a dot would be read trimmed and
    // answer for another folder; it is no 8.3 name either, so it stays as
    // spelled. Below a blank the parts are still asked inside it; a path
    // through a part that ends in a dot is read without that dot, so
    // nothing below it can be asked.
    if (EndsInBlankOrDot(part)) {
      if (part.back() == L'.') asking = false;
    } else if (asking && FitsPlainPathCalls(next) && !HoldsWildcard(part)) {
      const std::wstring listed = ListedName(next);
      asking = !listed.empty();
      if (asking) next = JoinPath(result, listed);
    }
    if (!FitsPlainPathCalls(next)) return {};
    result = next;
    start = end + 1;
  }
  if (body.closed) result += L'\\';
  return result;
}

std::wstring ResolvedFolder(const std::wstring& folder, const IFinalPaths& finalPaths) {
  const std::wstring full = FullPath(folder);
  return full.empty() ? full : finalPaths.FinalPathOf(full, true);
}

std::wstring ResolvedPath(const std::wstring& path, const IFinalPaths& finalPaths) {
  const std::wstring full = FullPath(path);
  // A drive root holds itself.
  if (full.size() == 3) return finalPaths.FinalPathOf(full, true);
  const Unclosed body = WithoutClosingSeparator(full);
  const size_t sep = body.path.rfind(L'\\');
  if (sep == std::wstring::npos || sep + 1 == body.path.size()) return {};
  if (HoldsWildcard(body.path.substr(sep + 1))) return {};
  // A name that only its closing separator keeps would be listed trimmed:
  // it is asked for as it stands, and kept as spelled. One that ends in a
  // dot cannot be asked at all: handed back, it would lose the dot.
  std::wstring name;
  if (!body.closed) {
    name = ListedName(full);
  } else if (body.path.back() == L' ' &&
             GetFileAttributesW(full.c_str()) != INVALID_FILE_ATTRIBUTES) {
    name = body.path.substr(sep + 1) + L'\\';
  }
  if (name.empty()) return {};
  const std::wstring folder =
      finalPaths.FinalPathOf(body.path.substr(0, sep == 2 ? 3 : sep), true);
  return folder.empty() ? folder : JoinPath(folder, name);
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
  return DriveFormOfFinalPath(std::wstring(buffer.data(), n));
}

std::wstring DriveFormOfFinalPath(std::wstring found) {
  if (StartsWith(found, L"\\\\?\\UNC\\")) {
    found = L"\\\\" + found.substr(8);
  } else if (StartsWith(found, L"\\\\?\\")) {
    found = found.substr(4);
  }
  while (found.size() > 3 && found.back() == L'\\') found.pop_back();
  // The name is the entry's own, untrimmed: as text it has to say so.
  if (found.size() > 3 && EndsInBlankOrDot(found)) found += L'\\';
  return found;
}

std::wstring JoinPath(const std::wstring& folder, const std::wstring& name) {
  return folder.empty() || folder.back() == L'\\' ? folder + name : folder + L"\\" + name;
}

std::wstring EntryPath(const std::wstring& folder, const std::wstring& name) {
  std::wstring path = JoinPath(folder, name);
  if (path.size() > 3 && EndsInBlankOrDot(path)) path += L'\\';
  return path;
}

bool SamePath(std::wstring_view a, std::wstring_view b) { return SameName(a, b); }

bool PathIsBelow(std::wstring_view path, std::wstring_view folder) {
  while (!folder.empty() && folder.back() == L'\\') folder.remove_suffix(1);
  if (folder.empty() || path.size() <= folder.size() + 1 || path[folder.size()] != L'\\') {
    return false;
  }
  return SamePath(path.substr(0, folder.size()), folder);
}

std::wstring PartBelow(std::wstring_view path, std::wstring_view folder) {
  if (!PathIsBelow(path, folder)) return {};
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
  // From the paths as given: a full form handed back to Windows would be
  // read again, and "App.." left as "App." would lose its dot this time.
  const std::wstring longA = LongPath(a);
  const std::wstring longB = LongPath(b);
  return !longA.empty() && !longB.empty() && related(longA, longB);
}

}  // namespace

bool SamePlace(const std::wstring& a, const std::wstring& b) {
  return RelatedByAnyName(a, b, [](const std::wstring& x, const std::wstring& y) {
    return SamePath(x, y);
  });
}

bool PlaceIsBelow(const std::wstring& path, const std::wstring& folder) {
  return RelatedByAnyName(path, folder, [](const std::wstring& x, const std::wstring& y) {
    return PathIsBelow(x, y);
  });
}

std::wstring PathKey(const std::wstring& path) {
  std::wstring key = FullPath(path);
  if (key.empty()) {
    key = Trim(path);
  } else if (std::wstring longForm = LongPath(path); !longForm.empty()) {
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
