#include "RemovalGuards.h"

#include <vector>

#include "DeleteGuard.h"
#include "FileSystem.h"
#include "Handles.h"
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

bool HasLookAlikeBeside(const std::wstring& path, unsigned int codePage) {
  const std::wstring full = FullPath(path);
  const std::wstring folder = BeforeLast(full, L'\\');
  // A pattern would list other files than the one named.
  if (folder.empty() || full.find_first_of(L"*?<>\"") != std::wstring::npos) return false;
  WIN32_FIND_DATAW data{};
  const FindHandle find(FindFirstFileW(full.c_str(), &data));
  if (!find) return false;
  const std::wstring name = data.cFileName;
  const FindHandle all(FindFirstFileW((folder + L"\\*").c_str(), &data));
  if (!all) return false;
  do {
    const std::wstring other = data.cFileName;
    if (SamePath(other, name)) continue;
    if (SamePath(FromAnsi(ToAnsi(other, codePage), codePage), name)) return true;
  } while (FindNextFileW(all.Get(), &data));
  return false;
}

bool IsRemovableShortCut(const UninstallerState& state, const std::wstring& path) {
  if (!IsSafeRecordedPath(path) || path.back() == L'\\') return false;
  const IFinalPaths& finalPaths = *state.services.finalPaths;
  // The delete meets the file where its folders' junctions lead, so that is
  // where it is judged, not by the recorded spelling.
  const std::wstring lies = ResolvedPath(path, finalPaths);
  if (lies.empty() || HasLookAlikeBeside(path)) return false;
  auto inside = [&](const std::wstring& folder) {
    if (!IsSafeRecordedPath(folder)) return false;
    const std::wstring where = ResolvedFolder(folder, finalPaths);
    return !where.empty() && IsBelow(lies, where);
  };
  const std::optional<std::wstring> installFolder = CheckedInstallFolder(state);
  if (EndsWithNoCase(lies, L".lnk")) {
    for (const std::wstring& folder :
         {state.CommonDesktopDir, state.CommonProgramsDir, state.StartupDir}) {
      if (inside(folder)) return true;
    }
    return installFolder && inside(*installFolder);
  }
  return EndsWithNoCase(lies, L".cmd") && installFolder && inside(*installFolder);
}

bool IsRemovableProgramGroup(const UninstallerState& state, const std::wstring& folder) {
  const std::wstring group = WithoutTrailingBackslash(folder);
  return IsSafeRecordedPath(group) && FitsPlainPathCalls(group, true) &&
         IsSafeRecordedPath(state.CommonProgramsDir) &&
         LiesBelow(group, state.CommonProgramsDir);
}

}  // namespace norvale
