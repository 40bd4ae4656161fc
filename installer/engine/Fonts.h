#pragma once
// Installing fonts into the Windows Fonts folder and removing them again:
// the PowerShell scripts "Add-Font.ps1" and "Remove-Font.ps1" on Windows 10
// from build 17000 on, the Fonts folder's "Install" verb and the Fonts
// registry values otherwise. The uninstaller uses the same routines, so all
// but vbInstallFont work without the installer's state.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

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

// A font file name as the routes accept it from a record or a setup list:
// one plain name in the Fonts folder (no folder, drive, wildcard, control
// character or device name such as CON or COM1, not "." or "..", no blank
// or dot at either end, no leading "-") ending in one of the font
// extensions. Installer and uninstaller judge every font name by it; a name
// it refuses is never handed to a script or joined to a folder.
bool IsFontFileName(std::wstring_view name);

// What both install routes answer for a font the machine already has.
extern const wchar_t kFontAlreadyInstalledText[];

// The download step records a font that was there before the run with this
// note (after the failure text when its installation failed), and the
// uninstaller leaves such a font alone: it is not the product's. The note
// ends in an ASCII mark, which every ANSI code page keeps.
std::wstring FontWasThereNote(const std::wstring& failure = L"");
// The err value of a record carries that note: the mark, or the Japanese
// text alone as records without the mark have it, whether they were written
// in this code page or in code page 932. codePage is the one the record was
// read with (0: the system's).
bool IsFontWasThereNote(const std::wstring& err, unsigned int codePage = 0);
// The file names of the fonts that the record at recordPath installed into
// the Fonts folder for the product (those noted as there before left out).
std::vector<std::wstring> ProductFontsOfRecord(const std::wstring& recordPath,
                                               const std::wstring& fontsFolder);

bool vbAddFontByPowerShell(FontServices& fonts, const std::wstring& path, std::wstring& message);
bool vbInstallFont(EngineContext& engine, const std::wstring& path, std::wstring& message);
bool vbRemoveFontByPowerShell(FontServices& fonts, const std::wstring& name,
                              std::wstring& message);
// Removes the font file of exactly that name from the Fonts folder and the
// registry values whose data is exactly that name (letter case ignored).
// A font that Windows protects as its own is never touched (false).
bool vbRemoveFont(FontServices& fonts, std::wstring fontFileName, std::wstring aStrErrMsg = L"",
                  int16_t* aDelCount = nullptr);
bool vbFileExists(const std::wstring& path, std::wstring& message);
bool CheckAddFontScript(FontServices& fonts, std::wstring& message);
bool CheckRemoveFontScript(FontServices& fonts, std::wstring& message);
void DeleteFontCache();
bool CopyFontToFontsFolder(FontServices& fonts, const std::wstring& path);

}  // namespace norvale
