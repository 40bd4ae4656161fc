#pragma once
// "DeleteMe.cmd": the command file that, after the uninstaller has ended,
// deletes the program file, restarts Windows when the user asked for it,
// and deletes itself with its folder. Nothing it deletes lies where an
// ordinary user could put something else: the program moves its own file,
// through handles, into the command file's private folder on the same
// volume, and removes the install folder itself through handles held from
// its judged root (GuardedRemovals.h) before it ends. The command file only
// watches the install folder go, and says so when it stays. On a volume
// without access lists, where no private folder can be had and no link
// made, it deletes the program's file where it lies and removes the two
// folders the program emptied.
#include <optional>
#include <string>
#include <vector>
#include "StepError.h"
#include "forms/Application.h"
#include "UninstallerState.h"

namespace norvale {

extern const wchar_t kDeleteMeFileName[];

// The file's bytes in codePage, the one the command interpreter reads it in
// (the OEM code page, UTF-8 included). programPath is the uninstaller's file
// as it lies in the command file's folder once it moved there; the file
// deletes it, removes each of emptiedFolders when it is empty, then waits
// for installFolder ("" for none) to be gone and, when tellWhatStays, says
// so when it is not. The last line deletes the file and the folder it lies
// in. Nothing when a path cannot be written exactly in that code page.
// Wine takes flags for UTF-8 that Windows refuses, so tests hand in code
// pages that answer as Windows does.

std::optional<std::string> BuildDeleteMeCmd(const std::wstring& programPath,
                                            const std::wstring& installFolder, bool restart,
                                            UINT codePage = CP_OEMCP,
                                            const ICodePages& pages = SystemCodePages(),
                                            const std::vector<std::wstring>& emptiedFolders = {},
                                            bool tellWhatStays = true);

// Removes the install folder, judged here as a removal root, with
// everything in it; the running program's file must have left it. What
// could not go, or arrived meanwhile, is tried again up to five times, a
// second apart (waited through waits); the window answers after every item
// and during the waits. Done when it is gone; otherwise the first thing
// that stayed, and why.
StepDone RemoveInstallFolder(const std::wstring& installFolder, IWaits& waits,
                             IUninstallerWindow& window);

// The interpreter's command line for the file, which lies alone in a folder
// of its own: the file is run, then that folder removed. Empty when the
// path cannot be given on a command line ("%" or a quote in it).
std::wstring DeleteMeCmdCommandLine(const std::wstring& file);

// Writes the command file, new, into the open folder; false when something
// of that name exists or the file could not be written whole.
bool WriteDeleteMeCmd(HANDLE folder, const std::string& bytes);

// Makes ready, before the removal's first step, what its end needs: the
// program's file found through the checked install folder, the command
// file's folder, new, with a list that only this run's side may change
// (Administrators and SYSTEM when elevated), below the temporary folder
// (the system's Windows folder's when elevated, as the run's own lies where
// the account's unelevated programs may rename what it holds) when that lies
// on the program file's volume, else in the root of that volume where no
// other user may rename it, and the command file's text. False when any of
// them cannot be had: the user is told why (not in the silent run) and
// state.Exit says that nothing was removed.
bool PrepareRemovalEnd(UninstallerState& state);

// The end (made ready first when it is not): writes the file, starts the
// interpreter on it held, removes everything of the install folder but
// "Uninst", moves the program's own file and then "Uninst" into the command
// file's folder, removes the install folder, then what moved, lets the
// interpreter run and ends the program with state.Exit. restart:
// "今すぐに再起動(Y)" is selected. Whatever fails on the way leaves "Uninst"
// whole in the install folder with the program's file in it, the product
// registered, and the user told (not in the silent run).
void MakeDeleteMeCmd(UninstallerState& state, bool restart, forms::IProgramEnd& programEnd);

}  // namespace norvale
