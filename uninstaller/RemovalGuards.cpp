#include "RemovalGuards.h"

#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "SetupText.h"
#include "Text.h"

namespace norvale {

namespace {

std::wstring WithoutTrailingBackslash(std::wstring path) {
  if (!path.empty() && path.back() == L'\\') path.pop_back();
  return path;
}

bool EndsWithNoCase(const std::wstring& text, const std::wstring& suffix) {
  return text.size() >= suffix.size() &&
         TextEqualsIgnoreCase(std::wstring_view(text).substr(text.size() - suffix.size()), suffix);
}

bool IsInAnyOf(const std::wstring& path, const std::vector<std::wstring>& folders) {
  for (const std::wstring& folder : folders) {
    if (IsSafeRecordedPath(folder) && IsStrictlyBelow(path, folder)) return true;
  }
  return false;
}

}  // namespace

bool IsSafeRecordedPath(const std::wstring& path) {
  if (path.size() < 4 || !HasNoControlCharacters(path)) return false;
  // A longer path is none of ours, and some systems' path calls overrun
  // fixed buffers on it and take the whole removal down.
  if (!FitsPlainPathCalls(path, path.back() == L'\\')) return false;
  const wchar_t drive = path[0];
  if (!((drive >= L'A' && drive <= L'Z') || (drive >= L'a' && drive <= L'z'))) return false;
  if (path[1] != L':' || path[2] != L'\\') return false;
  const std::wstring rest = WithoutTrailingBackslash(path.substr(3));
  if (rest.empty()) return false;  // a drive root is never ours
  size_t start = 0;
  for (;;) {
    const size_t end = rest.find(L'\\', start);
    const std::wstring part = rest.substr(start, end == std::wstring::npos ? end : end - start);
    if (!IsPlainFileName(part) || part == L"." || part.find_first_of(L"*?\"<>|/") !=
                                                      std::wstring::npos) {
      return false;
    }
    if (end == std::wstring::npos) return true;
    start = end + 1;
  }
}

bool IsStrictlyBelow(const std::wstring& path, const std::wstring& folder) {
  const std::wstring base = WithoutTrailingBackslash(folder);
  if (base.empty() || path.size() <= base.size() + 1) return false;
  return TextEqualsIgnoreCase(std::wstring_view(path).substr(0, base.size()), base) &&
         path[base.size()] == L'\\';
}

std::wstring LongNormalisedPath(const std::wstring& path) {
  return ValueOrOnFailure(std::wstring(), [&]() -> std::wstring {
    const std::wstring given = ReplaceAll(Trim(path), L"/", L"\\");
    if (!IsFullyQualifiedPath(given) || !HasNoControlCharacters(given) ||
        given.size() >= 32767) {
      return L"";
    }
    DWORD n = GetFullPathNameW(given.c_str(), 0, nullptr, nullptr);
    if (n == 0) return L"";
    std::vector<wchar_t> buffer(n + 1);
    n = GetFullPathNameW(given.c_str(), static_cast<DWORD>(buffer.size()), buffer.data(),
                         nullptr);
    if (n == 0 || n >= buffer.size()) return L"";
    const std::wstring full = WithoutTrailingSeparator(std::wstring(buffer.data(), n));
    // A share named in the registry is not asked: the question alone would
    // reach out to whatever host the value names.
    if (StartsWith(full, L"\\\\")) return full;
    // A path that does not exist keeps its full form.
    return WithoutTrailingSeparator(LongFormOf(full));
  });
}

std::optional<std::wstring> CheckedInstallFolder(const UninstallerState& state) {
  const std::wstring folder = WithoutTrailingBackslash(Trim(state.AppDir));
  if (!IsSafeRecordedPath(folder) || !FitsPlainPathCalls(folder, true) || !MayDelete(folder)) {
    return std::nullopt;
  }
  const std::wstring own = LongNormalisedPath(state.ProgramFolder);
  if (!TextEqualsIgnoreCase(AfterLast(own, L'\\'), L"Uninst")) return std::nullopt;
  if (!TextEqualsIgnoreCase(BeforeLast(own, L'\\'), LongNormalisedPath(folder))) {
    return std::nullopt;
  }
  return folder;
}

bool IsRemovableShortCut(const UninstallerState& state, const std::wstring& path) {
  if (!IsSafeRecordedPath(path) || path.back() == L'\\') return false;
  const std::optional<std::wstring> installFolder = CheckedInstallFolder(state);
  if (EndsWithNoCase(path, L".lnk")) {
    std::vector<std::wstring> folders = {state.CommonDesktopDir, state.CommonProgramsDir,
                                         state.StartupDir};
    if (installFolder) folders.push_back(*installFolder);
    return IsInAnyOf(path, folders);
  }
  return EndsWithNoCase(path, L".cmd") && installFolder && IsStrictlyBelow(path, *installFolder);
}

bool IsRemovableProgramGroup(const UninstallerState& state, const std::wstring& folder) {
  const std::wstring group = WithoutTrailingBackslash(folder);
  return IsSafeRecordedPath(group) && FitsPlainPathCalls(group, true) &&
         IsSafeRecordedPath(state.CommonProgramsDir) &&
         IsStrictlyBelow(group, state.CommonProgramsDir);
}

}  // namespace norvale
