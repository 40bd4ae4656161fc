#pragma once
// Installing fonts into the Windows Fonts folder and removing them again:
// the PowerShell scripts "Add-Font.ps1" and "Remove-Font.ps1" on Windows 10
// from build 17000 on, the Fonts folder's "Install" verb and the Fonts
// registry values otherwise. The uninstaller uses the same routines, so all
// but vbInstallFont work without the installer's state.
#include <cstdint>
#include <functional>
#include <string>

#include "EngineContext.h"
#include "clsWinCommon.h"

namespace norvale {

// What the font routines work with.
struct FontServices {
  clsWinCommon& windows;          // special folders, program starts, registry tests
  IFontRegistry& registry;        // the Fonts registry values
  IFontsFolderShell& fontsShell;  // the Fonts folder's verbs
  std::wstring programFolder;     // where the two scripts lie
  std::function<void()> yield;    // lets the window handle its messages
};

FontServices FontServicesOf(EngineContext& engine);

// What the PowerShell route answers for a font the machine already has. The
// download step records a font that was there before the run with this text
// as its error note, and the uninstaller leaves such a font alone: it is not
// the product's.
extern const wchar_t kFontAlreadyInstalledText[];

bool vbAddFontByPowerShell(FontServices& fonts, const std::wstring& path, std::wstring& message);
bool vbInstallFont(EngineContext& engine, const std::wstring& path, std::wstring& message);
bool vbRemoveFontByPowerShell(FontServices& fonts, const std::wstring& name,
                              std::wstring& message);
// Removes the font file of exactly that name from the Fonts folder and the
// registry values whose data is exactly that name (letter case ignored).
bool vbRemoveFont(FontServices& fonts, std::wstring fontFileName, std::wstring aStrErrMsg = L"",
                  int16_t* aDelCount = nullptr);
bool vbFileExists(const std::wstring& path, std::wstring& message);
bool CheckAddFontScript(FontServices& fonts, std::wstring& message);
bool CheckRemoveFontScript(FontServices& fonts, std::wstring& message);
void DeleteFontCache();
bool CopyFontToFontsFolder(FontServices& fonts, const std::wstring& path);

}  // namespace norvale
