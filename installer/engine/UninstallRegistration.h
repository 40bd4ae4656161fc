#pragma once
// The last steps of a completed install run: the product's entry in the
// Windows list of installed programs, and the uninstaller with its scripts,
// the archive DLL and "Start.ini" in the install folder. Also the command
// file that puts a newer installer in the running one's place.
#include <cstdint>
#include <string>

#include "InstallRun.h"
#include "RegVariant.h"
#include "Text.h"

namespace norvale {

bool RegstUninstInfo(InstallRun& run);
bool InstallUninstaller(InstallRun& run);
// Kilobytes with four decimals; -1 for a folder that cannot be read.
RegCurrency GetFolderSizeKB(const std::wstring& folder);
bool GetFileVersionParts(const std::wstring& path, int32_t& major, int32_t& minor,
                         int32_t& revision);
// A path the replacement command file may name: absolute, nothing in it
// that the command interpreter would expand or read as a pattern or the
// quote's end, and bytes it reads as this very path (it reads the file in
// the OEM code page; a look-alike there deletes or copies another file).
// 0 and CP_OEMCP (1) are the machine's code pages, as pages tells them.
bool IsCommandFileSafePath(const std::wstring& path, unsigned int ansiCodePage = 0,
                           unsigned int oemCodePage = 1,
                           const ICodePages& pages = SystemCodePages());
// Ends the program, whether or not the command file could be written.
void vbMakeReplaceCmd(InstallRun& run, const std::wstring& newProgram);

// Gives "Uninst", which holds everything the elevated uninstaller trusts,
// the access list of Program Files (Administrators and SYSTEM change it,
// users read and run; its owner Administrators) when this run is elevated;
// an unelevated run leaves what it inherits. The install record's comment
// line on what was applied.
std::wstring ProtectUninstallerFolder(InstallRun& run, const std::wstring& uninst);
extern const wchar_t kUninstallerFolderAccessComment[];
// The uninstaller's file name in "Uninst".
extern const wchar_t kUninstallerFile[];

// The uninstall command as Windows runs it: the program's path, in double
// quotes when it holds a blank so that no shorter path is taken for it.
std::wstring UninstallCommand(const std::wstring& uninstallerPath);

}  // namespace norvale
