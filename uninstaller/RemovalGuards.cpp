#include "RemovalGuards.h"

#include <algorithm>
#include <vector>

#include "DeleteGuard.h"
#include "GuardedRemovals.h"
#include "FileSystem.h"
#include "FileActs.h"
#include "Handles.h"
#include "Paths.h"
#include "SetupText.h"
#include "Text.h"
#include "TreeRemoval.h"

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

bool HasLookAlikeIn(HANDLE folder, const std::wstring& name, unsigned int codePage) {
  std::vector<ListedEntry> entries;
  std::vector<LONGLONG> buffer;
  if (!ListIn(folder, entries, buffer)) return false;
  // The name as the folder lists it, whatever letter case the record has.
  const auto own = std::find_if(entries.begin(), entries.end(),
                                [&](const ListedEntry& entry) { return SamePath(entry.name, name); });
  if (own == entries.end()) return false;
  for (const ListedEntry& other : entries) {
    if (SamePath(other.name, own->name)) continue;
    if (SamePath(FromAnsi(ToAnsi(other.name, codePage), codePage), own->name)) return true;
  }
  return false;
}

bool HasLookAlikeBeside(const std::wstring& path, unsigned int codePage) {
  const std::wstring full = FullPath(path);
  const std::wstring folder = BeforeLast(full, L'\\');
  // A pattern would list other files than the one named.
  if (folder.empty() || full.find_first_of(L"*?<>\"") != std::wstring::npos) return false;
  const StepResult<FileHandle> listing =
      OpenByPath(folder.size() == 2 ? folder + L"\\" : folder, kListingAccess,
                 kShareAll, EntryType::Folder);
  return listing && HasLookAlikeIn(listing->Get(), AfterLast(full, L'\\'), codePage);
}

namespace {

// The recorded shortcut that lies at `lies`, with `lookAlike` telling
// whether its folder holds a look-alike of it, is one the removal may take.
bool IsRemovableShortCutAt(const UninstallerState& state, const std::wstring& lies,
                           bool lookAlike) {
  if (lies.empty() || lookAlike) return false;
  const IFinalPaths& finalPaths = *state.services.finalPaths;
  auto inside = [&](const std::wstring& folder) {
    if (!IsSafeRecordedPath(folder)) return false;
    const std::wstring where = ResolvedFolder(folder, finalPaths);
    return !where.empty() && PathIsBelow(lies, where);
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

}  // namespace

bool IsRemovableShortCut(const UninstallerState& state, const std::wstring& path) {
  if (!IsSafeRecordedPath(path) || path.back() == L'\\') return false;
  // The delete meets the file where its folders' junctions lead, so that is
  // where it is judged, not by the recorded spelling.
  return IsRemovableShortCutAt(state, ResolvedPath(path, *state.services.finalPaths),
                               HasLookAlikeBeside(path));
}

bool DeleteRecordedShortCut(const UninstallerState& state, const std::wstring& path) {
  if (!IsSafeRecordedPath(path) || path.back() == L'\\') return false;
  const IFinalPaths& finalPaths = *state.services.finalPaths;
  const std::wstring full = FullPath(path);
  const std::wstring name = AfterLast(full, L'\\');
  const std::wstring recordedFolder = BeforeLast(full, L'\\');
  // Held without sharing deletes: the folder judged is the one the file is
  // opened and deleted in.
  const StepResult<FileHandle> folder =
      OpenByPath(recordedFolder.size() == 2 ? recordedFolder + L"\\" : recordedFolder,
                 kListingAccess, kRemovalSharing, EntryType::Folder);
  HandleFacts facts;
  if (!folder || !finalPaths.FactsOf(folder->Get(), facts) ||
      IsLinkAttributes(facts.attributes)) {
    return false;
  }
  if (!IsRemovableShortCutAt(state, EntryPath(facts.lies, name),
                             HasLookAlikeIn(folder->Get(), name))) {
    return false;
  }
  return static_cast<bool>(DeleteGuardedFileIn(folder->Get(), facts.lies, name, true, finalPaths));
}

bool IsRemovableProgramGroup(const UninstallerState& state, const std::wstring& folder) {
  const std::wstring group = WithoutTrailingBackslash(folder);
  return IsSafeRecordedPath(group) && FitsPlainPathCalls(group, true) &&
         IsSafeRecordedPath(state.CommonProgramsDir) &&
         PlaceIsBelow(group, state.CommonProgramsDir);
}

}  // namespace norvale
