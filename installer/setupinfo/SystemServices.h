#pragma once
// Product, Windows and file services of both programs: bitness, the version
// record, drive roots, guarded deletes, whether a product or a VC runtime is
// installed, and the product's own Uninstall values. The uninstaller calls
// the forms that take the services they need; the installer the thin
// overloads over its state.
#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "InstallerState.h"
#include "WinServicesSeams.h"
#include "clsWinCommon.h"

namespace norvale {

bool IsWow64(IWindowsFacts& windows);
bool GetOsVersionInfo(IWindowsFacts& windows, OSVERSIONINFOEXW& record);
// roots becomes 1-based ("C:\", "D:\" ...); returns their count.
int32_t GetDriveList(IDriveFacts& drives, std::vector<std::wstring>& roots);
std::wstring GetDriveLetter(const std::wstring& path);
// Deletes the folder with everything in it, through the delete guard.
bool vbDeleteFolder(std::wstring strFolder);
// Deletes the file (wildcards in its last part), through the delete guard;
// errText receives why it failed.
bool vbDeleteFile(const std::wstring& path, std::wstring& errText);
bool IsProductInstalled(clsWinCommon& services, const std::wstring& name);
std::wstring GetInstalledAppPath(clsWinCommon& services, const std::wstring& appId,
                                 bool is64BitWindows);
std::wstring GetUninstallString(clsWinCommon& services, const std::wstring& appId,
                                bool is64BitWindows);

// The installer's forms.
bool IsWow64(InstallerState& state);
bool GetOsVersionInfo(InstallerState& state, OSVERSIONINFOEXW& record);
int32_t GetDriveList(InstallerState& state, std::vector<std::wstring>& roots);
bool IsProductInstalled(InstallerState& state, const std::wstring& name);
std::wstring GetInstalledAppPath(InstallerState& state);
std::wstring GetUninstallString(InstallerState& state);

// The product codes that one VC runtime alias stands for (empty for a name
// that is no alias).
std::vector<std::wstring> VcRuntimeAlias(const std::wstring& name);

}  // namespace norvale
