// A DLL planted beside a program under a system DLL's name ("mpr.dll",
// "version.dll", ...). It exports nothing: all it does is leave a marker
// file, "<its own path>.loaded", once some process has run its entry.
#include <windows.h>

BOOL WINAPI DllMain(HINSTANCE self, DWORD reason, LPVOID) {
  if (reason != DLL_PROCESS_ATTACH) return TRUE;
  wchar_t marker[MAX_PATH + 8] = {};
  const DWORD n = GetModuleFileNameW(self, marker, MAX_PATH);
  if (n == 0 || n >= MAX_PATH) return TRUE;
  lstrcatW(marker, L".loaded");
  const HANDLE file = CreateFileW(marker, GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
  return TRUE;
}
