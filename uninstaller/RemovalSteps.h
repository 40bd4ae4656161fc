#pragma once
// The removal: recorded shortcuts and the program group, file associations,
// fonts, the Uninstall entry and the run-as-administrator values. The
// install folder itself goes afterwards through the command file.
#include <cstdint>
#include <string>
#include "UninstallerState.h"

namespace norvale {

void ExecuteUninstall(UninstallerState& state);
int16_t CheckBeforeUninst(UninstallerState& state);
int16_t DeleteShortCuts(UninstallerState& state);
int16_t DeleteFileLinks(UninstallerState& state);
// Finds out whether the Uninstall entry is this uninstaller's; the entry
// itself goes with RemoveUninstallEntry once the install folder is gone.
int16_t UnRegstUninstInfo(UninstallerState& state);
// Deletes the Uninstall entry that UnRegstUninstInfo found to be ours and
// flushes the registry; -1 when done or nothing was ours, 0 when it stays.
int16_t RemoveUninstallEntry(UninstallerState& state);
int16_t UnRegstRunAsAdmin(UninstallerState& state);
int16_t FinishUninstSteps(UninstallerState& state);
// Deletes a folder tree through the delete guard; blank gives true.
int16_t vbDeleteFolder(UninstallerState& state, const std::wstring& strFolder);
std::wstring ReplaceFolderMacros(const UninstallerState& state, const std::wstring& text);


// The association's open command still starts a program inside the
// checked install folder.
bool FileLinkStillOurs(UninstallerState& state, const ApFileLinkEntry& entry);

}  // namespace norvale
