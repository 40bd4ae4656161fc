#pragma once
// Facts about the running program and the system it runs on.
#include <cstdint>
#include <string>

namespace norvale {

// The program's own file, and its folder without a trailing separator except
// at a drive root.
std::wstring ProgramPath();
std::wstring ProgramFolder();
// The program's own title: its file name without extension.
std::wstring ProgramTitle();
// The Windows system folder ("" when the system cannot say).
std::wstring SystemFolder();
// True on the NT family of Windows.
bool IsPlatformNT();
// The system's description of a Win32 error code without the line break it
// ends in; "エラー " and the number when the system has none.
std::wstring SystemErrorText(unsigned long code);
// Opens a file with the shell's "open" verb and no owner window; returns the
// shell's result (above 32 when started).
int32_t ShellOpen(const std::wstring& file, const std::wstring& parameters, int32_t showCommand);

}  // namespace norvale
