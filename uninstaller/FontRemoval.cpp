#include "FontRemoval.h"

#include <shlobj.h>

#include "Paths.h"
#include "RemovalGuards.h"
#include "SetupText.h"
#include "SystemServices.h"
#include "Text.h"

namespace norvale {

namespace {

struct RecordedFont {
  std::wstring path;  // dst in its long form
  std::wstring name;  // its file name
};

// The recorded downloads that are font files put straight into the Fonts
// folder, Windows' own left out; only their exact file names are ever
// removed, and only names that pass the font name rule ever reach a script.
std::vector<RecordedFont> RecordedFonts(UninstallerState& state) {
  std::vector<RecordedFont> fonts;
  const std::wstring fontsFolder = state.objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  if (IsBlank(fontsFolder)) return fonts;
  for (int16_t i = 1; i <= state.DownloadCount; ++i) {
    const DownloadEntry& entry = state.DownloadList[i];
    if (entry.IsFolder) continue;
    // The record holds the 8.3 form of a name its code page lacks; the font
    // is registered under its long name. An earlier record may hold a
    // code page's look-alike of another font's name instead: while such a
    // font lies beside it, neither is taken.
    if (HasLookAlikeBeside(entry.dst)) continue;
    const std::wstring longForm = LongPath(entry.dst);
    const std::wstring dst = longForm.empty() ? entry.dst : longForm;
    const std::wstring folder = state.objWinCommon.GetFilePath(dst);
    const std::wstring name = state.objWinCommon.GetFileID(dst);
    if (IsBlank(folder) || !IsFontFileName(name)) continue;
    if (!SamePath(folder, fontsFolder)) continue;
    // A record may name a font that came with Windows: neither its file nor
    // its registration is ever the product's.
    if (state.objWinCommon.IsSystemProtectedFile(dst)) continue;
    fonts.push_back({dst, name});
  }
  return fonts;
}

}  // namespace

FontServices FontServicesOf(UninstallerState& state) {
  return FontServices{state.objWinCommon, *state.services.fontRegistry,
                      *state.services.fontsShell, state.ProgramFolder,
                      [&state] { state.window->DoEvents(); }};
}

int16_t HasInstalledFonts(UninstallerState& state) {
  return ValueOrOnFailure<int16_t>(0, [&]() -> int16_t {
    int count = 0;
    for (const RecordedFont& font : RecordedFonts(state)) {
      std::wstring message;
      if (vbFileExists(font.path, message) || state.objWinCommon.REG_IsFontInstalled(font.name)) {
        ++count;
      }
    }
    return count > 0 ? -1 : 0;
  });
}

int16_t UninstallFonts(UninstallerState& state) {
  if (state.UninstOptionCount < 2 || state.KeepsFonts()) return 0;
  IUninstallerWindow& window = *state.window;
  SkipOnFailure([&] {
    window.SetStepText(0, L"フォントをアンインストールしています...");
    window.SetStepText(1, L"");
    window.DoEvents();
    state.objWinCommon.WinSleep(500);
  });
  int handled = 0;
  std::vector<RecordedFont> fonts;
  SkipOnFailure([&] { fonts = RecordedFonts(state); });
  FontServices services = FontServicesOf(state);
  const DWORD major = state.OsVersion.dwMajorVersion;
  const DWORD build = state.OsVersion.dwBuildNumber;
  for (const RecordedFont& font : fonts) {
    SkipOnFailure([&] {
      window.SetStepText(1, L"[" + font.name + L"]をアンインストール中です");
      window.DoEvents();
      state.objWinCommon.WinSleep(500);
    });
    ++handled;
    SkipOnFailure([&] {
      std::wstring message;
      if (major >= 10 && build > 17000) {
        vbRemoveFontByPowerShell(services, font.name, message);
      } else if (major >= 6) {
        vbRemoveFont(state, font.name);
      }
    });
    SkipOnFailure([&] {
      std::wstring message;
      if (vbFileExists(font.path, message)) vbDeleteFile(font.path, message);
    });
  }
  if (handled > 0) DeleteFontCache();
  SkipOnFailure([&] {
    window.SetStepText(0, L"");
    window.SetStepText(1, L"");
    window.Dispゲージ(-1);
    window.DoEvents();
  });
  return -1;
}

int16_t vbRemoveFont(UninstallerState& state, std::wstring fontFileName, std::wstring aStrErrMsg,
                     int16_t* aDelCount) {
  return ValueOrOnFailure<int16_t>(0, [&]() -> int16_t {
    FontServices services = FontServicesOf(state);
    return norvale::vbRemoveFont(services, fontFileName, aStrErrMsg, aDelCount) ? -1 : 0;
  });
}

}  // namespace norvale
