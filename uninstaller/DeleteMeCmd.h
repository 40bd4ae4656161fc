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

// The file's bytes in codePage, the one the command interpreter reads it in
// (the OEM code page, UTF-8 included). programPath is the running
// uninstaller (…\Dekant00.exe); installFolder the folder to delete ("" for
// none), which must by then hold nothing but the program's own folder. The
// last line deletes the file and the folder it lies in, which is the file's
// own. Nothing when a path cannot be written exactly in that code page.
// WideCharToMultiByte's form. Wine takes flags for UTF-8 that Windows
// refuses, so tests hand in a conversion that answers as Windows does.
using CodePageConversion = int(WINAPI*)(UINT, DWORD, LPCWCH, int, LPSTR, int, LPCCH, LPBOOL);

std::optional<std::string> BuildDeleteMeCmd(const std::wstring& programPath,
                                            const std::wstring& installFolder, bool restart,
                                            UINT codePage = CP_OEMCP,
                                            CodePageConversion convert = &WideCharToMultiByte);

// Deletes everything inside installFolder through the delete guard except
// the running program file and the folders on the way to it, which the
// command file removes once the program has ended. A link inside is removed
// as a link; what it leads to is never touched. What could not be deleted is
// tried again up to five times, a second apart (waited through waits); the
// window answers after every item and during the waits.
void RemoveInstallFolderContents(const std::wstring& installFolder,
                                 const std::wstring& programPath, IWaits& waits,
                                 IUninstallerWindow& window);

// The interpreter's command line for the file, which lies alone in a folder
// of its own: the file is run, then that folder removed. Empty when the
// path cannot be given on a command line ("%" or a quote in it).
std::wstring DeleteMeCmdCommandLine(const std::wstring& file);

// Writes a new file; false when something of that name exists or the file
// could not be written whole.
bool WriteDeleteMeCmd(const std::wstring& path, const std::string& bytes);

// Writes the command file into a new folder of its own below the temporary
// folder, which only this run's side may change (Administrators and SYSTEM
// when elevated), starts the interpreter on it held, empties the checked
// install folder, lets the interpreter run and ends the program. restart:
// "今すぐに再起動(Y)" is selected. When the file cannot be written or the
// interpreter cannot start, nothing is deleted and the user is told (not in
// the silent run).
void MakeDeleteMeCmd(UninstallerState& state, bool restart, forms::IProgramEnd& programEnd);

}  // namespace norvale
