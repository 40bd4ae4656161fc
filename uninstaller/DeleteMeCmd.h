#pragma once
// "DeleteMe.cmd": the command file that, after the uninstaller has ended,
// deletes its program file, the then empty folders it lay in and the install
// folder, restarts Windows when the user asked for it, and deletes itself.
// The command interpreter's recursive deletes walk into links, so the file
// holds none: the install folder is emptied beforehand by the program itself
// through the delete guard.
#include <optional>
#include <string>
#include "forms/Application.h"
#include "UninstallerState.h"

namespace norvale {

extern const wchar_t kDeleteMeFileName[];

// The file's bytes in the OEM code page, which the command interpreter reads
// it in. programPath is the running uninstaller (…\Dekant00.exe);
// installFolder the folder to delete ("" for none), which must by then hold
// nothing but the program's own folder. Nothing when a path cannot be
// written exactly in that code page.
std::optional<std::string> BuildDeleteMeCmd(const std::wstring& programPath,
                                            const std::wstring& installFolder, bool restart);

// Deletes everything inside installFolder through the delete guard except
// the running program file and the folders on the way to it, which the
// command file removes once the program has ended. A link inside is removed
// as a link; what it leads to is never touched. What could not be deleted is
// tried again up to five times, a second apart (waited through waits); the
// window answers after every item and during the waits.
void RemoveInstallFolderContents(const std::wstring& installFolder,
                                 const std::wstring& programPath, IWaits& waits,
                                 IUninstallerWindow& window);

// Writes the file anew; false when it could not be written whole.
bool WriteDeleteMeCmd(const std::wstring& path, const std::string& bytes);

// Writes the command file into the temporary folder, then empties the
// checked install folder, starts the file and ends the program. restart:
// "今すぐに再起動(Y)" is selected. When the file cannot be written nothing is
// deleted or started, and the user is told (not in the silent run).
void MakeDeleteMeCmd(UninstallerState& state, bool restart, forms::IProgramEnd& programEnd);

}  // namespace norvale
