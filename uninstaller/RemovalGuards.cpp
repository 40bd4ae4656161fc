#include "RemovalGuards.h"

#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "Paths.h"
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
         SamePath(std::wstring_view(text).substr(text.size() - suffix.size()), suffix);
}

// Below by any name: a folder or path recorded by its short (8.3) name is
// the same place as by its long one.
bool IsInAnyOf(const std::wstring& path, const std::vector<std::wstring>& folders) {
  for (const std::wstring& folder : folders) {
    if (IsSafeRecordedPath(folder) && LiesBelow(path, folder)) return true;
  }
  return false;
}

}  // namespace

bool IsSafeRecordedPath(const std::wstring& path) {
  if (path.size() < 4 || !HasNoControlCharacters(path)) return false;
  // A longer path is none of ours, and some systems' path calls overrun
  // fixed buffers on it and take the whole removal down.
  if (!FitsPlainPathCalls(path, path.back() == L'\\')) return false;
  if (!IsDriveAbsolute(path) || path[2] != L'\\') return false;
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

std::optional<std::wstring> CheckedInstallFolder(const UninstallerState& state) {
  const std::wstring folder = WithoutTrailingBackslash(Trim(state.AppDir));
  if (!IsSafeRecordedPath(folder) || !FitsPlainPathCalls(folder, true) || !MayDelete(folder)) {
    return std::nullopt;
  }
  const std::wstring own = LongPath(state.ProgramFolder);
  if (!SamePath(AfterLast(own, L'\\'), L"Uninst")) return std::nullopt;
  if (!SamePath(BeforeLast(own, L'\\'), LongPath(folder))) {
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
  return EndsWithNoCase(path, L".cmd") && installFolder && IsBelow(path, *installFolder);
}

bool IsRemovableProgramGroup(const UninstallerState& state, const std::wstring& folder) {
  const std::wstring group = WithoutTrailingBackslash(folder);
  return IsSafeRecordedPath(group) && FitsPlainPathCalls(group, true) &&
         IsSafeRecordedPath(state.CommonProgramsDir) &&
         LiesBelow(group, state.CommonProgramsDir);
}

}  // namespace norvale
