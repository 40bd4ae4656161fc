#pragma once
// What the uninstaller may act on. "Setup.log" and the registry values lie in
// folders that anyone with access to the install folder can change, so every
// path taken from them is checked here before a step touches it.
#include <optional>
#include <string>
#include <vector>
#include "UninstallerState.h"

namespace norvale {

// A local, absolute, plain path: a drive letter, ":\", then folder and file
// names without "..", ".", device names, wildcards, control characters or
// further colons. A single trailing "\" is allowed (a folder). UNC and
// device paths ("\\server\...", "\\?\...") are refused, and so is a path
// that does not fit the plain file calls (FitsPlainPathCalls; a folder when
// it ends in "\").
bool IsSafeRecordedPath(const std::wstring& path);

// The install folder the command file may delete: AppDir, trimmed and
// without a trailing "\", when it is a safe absolute path that fits a folder
// path, that the delete guard accepts and that is the folder directly above
// the uninstaller's own "Uninst" folder, whatever spelling of its path
// started the uninstaller. Nothing otherwise.
std::optional<std::wstring> CheckedInstallFolder(const UninstallerState& state);

// A recorded shortcut that may be deleted: an existing ".lnk" file inside
// the common desktop, the common programs or the Startup folder or the
// install folder, or a logon command file (".cmd") inside the install
// folder, each judged where it really lies (through every junction on the
// way, asked of state.services.finalPaths), and none that may be the
// look-alike of another file beside it (HasLookAlikeBeside).
bool IsRemovableShortCut(const UninstallerState& state, const std::wstring& path);

// Deletes a recorded shortcut through the folder it was judged in: the
// folder opened by its recorded name (its junctions followed) and held, so
// that nobody can swap it, judged where its handle lies, and the file
// opened inside it as itself and deleted through its handle. False when it
// stays (not ours to take, gone, or held).
bool DeleteRecordedShortCut(const UninstallerState& state, const std::wstring& path);

// True when the folder of an existing file holds another name that the code
// page's best fit writes as this file's name ("Café.lnk" beside "Cafe.lnk"
// on 932, "Ｐｏｓ.lnk" beside "Pos.lnk" on 1252). Records of earlier
// installers were written that way, so such a name may have meant the
// other file. codePage 0 is the system's.
bool HasLookAlikeBeside(const std::wstring& path, unsigned int codePage = 0);
// The same for the entry `name` of an open folder, listed through its handle.
bool HasLookAlikeIn(HANDLE folder, const std::wstring& name, unsigned int codePage = 0);

// The recorded program group folder, when it lies strictly below the common
// programs folder and fits a folder path.
bool IsRemovableProgramGroup(const UninstallerState& state, const std::wstring& folder);

}  // namespace norvale
