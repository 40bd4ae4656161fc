// The session's font table, from which every program draws its fonts.
// The programs make these calls themselves: from PowerShell 5.1 they would
// need Add-Type, which compiles C# in TEMP, and an elevated run's TEMP is
// the account's own, where its unelevated programs could change the code
// between its writing and its loading.
#include <windows.h>

#include "EngineSeams.h"

namespace norvale {

namespace {

// Each load of a file in the session counts once (at log-on, by the
// installation, by a program that added it); every load holds the file
// open. The bound keeps a table that never says no from holding the removal.
constexpr int kMostLoadsOfOneFile = 64;
constexpr UINT kBroadcastTimeoutMs = 1000;

}  // namespace

bool SystemFontsFolderShell::AddToFontTable(const std::wstring& path) {
  return !path.empty() && AddFontResourceW(path.c_str()) > 0;
}

bool SystemFontsFolderShell::RemoveFromFontTable(const std::wstring& path) {
  if (path.empty()) return false;
  int removed = 0;
  while (removed < kMostLoadsOfOneFile && RemoveFontResourceW(path.c_str())) ++removed;
  return removed > 0;
}

void SystemFontsFolderShell::BroadcastFontChange() {
  DWORD_PTR ignored = 0;
  SendMessageTimeoutW(HWND_BROADCAST, WM_FONTCHANGE, 0, 0, SMTO_ABORTIFHUNG, kBroadcastTimeoutMs,
                      &ignored);
}

}  // namespace norvale
