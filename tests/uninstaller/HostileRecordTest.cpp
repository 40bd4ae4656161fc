// A record written to bring the uninstaller down: paths far longer than the
// file calls take, fonts that are Windows' own. The removal refuses them and
// carries on with the rest.
#include <windows.h>
#include <shellapi.h>
#include <shlobj.h>

#include <gtest/gtest.h>

#include "FontRemoval.h"

#include "InstallRecord.h"
#include "RemovalSteps.h"
#include "SavedRegValue.h"
#include "UninstallerTestSupport.h"

namespace {

using namespace uninstaller_test;

class StepsSeen final : public norvale::IUninstallerWindow {
 public:
  void SetStepText(int16_t index, const std::wstring& text) override {
    if (index == 0 && !text.empty()) steps.push_back(text);
  }
  void Dispゲージ(int16_t) override {}
  void DisableCancel() override {}
  void DoEvents() override {}
  std::vector<std::wstring> steps;
};

// The shortcut lines name, before the product's own desktop link: a
// 3,039-character link on the common desktop, a 1,100-character name in the
// install folder, and a 1,028-character link below folders that exist, so
// that a path call would walk the whole length.
TEST(HostileRecord, OverlongShortcutsAreSkippedAndTheRemovalGoesOn) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring desktop = probe->objWinCommon.GetSpecialFolderPath(25);
  MakeFolder(desktop);
  const std::wstring ownLink = desktop + L"\\NvHostile Pos.lnk";
  Touch(ownLink);
  std::wstring deep = product.appDir;
  for (wchar_t letter : {L'A', L'B', L'C', L'D'}) {
    deep += L"\\" + std::wstring(200, letter);
    CreateDirectoryW((L"\\\\?\\" + deep).c_str(), nullptr);
  }
  const std::wstring hostile[] = {
      desktop + L"\\" + std::wstring(3039 - desktop.size() - 5, L'A') + L".lnk",
      product.appDir + L"\\" + std::wstring(1100, L'B') + L".lnk",
      deep + L"\\" + std::wstring(1028 - deep.size() - 5, L'C') + L".lnk",
  };
  ASSERT_EQ(hostile[0].size(), 3039u);
  ASSERT_EQ(hostile[2].size(), 1028u);
  std::vector<std::wstring> record = {L"[Setup]", L"AppId={NvTest-Hostile}", L"AppName=NvTest",
                                      L"AppDir=" + product.appDir, L"[ショートカット]",
                                      L"Group="};
  int n = 0;
  for (const std::wstring& path : hostile) {
    record.push_back(L"ShortCut0" + std::to_wstring(++n) + L"=" + path);
  }
  record.push_back(L"ShortCut04=" + ownLink);
  record.insert(record.end(), {L"[管理者権限]", L"exe01=" + product.appDir + L"\\pos.exe"});
  product.WriteRecord(record);
  SetLayer(product.appDir + L"\\pos.exe");
  SetLayer(product.program);

  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  StepsSeen window;
  state->window = &window;
  norvale::ExecuteUninstall(*state);
  EXPECT_FALSE(Exists(ownLink));
  EXPECT_FALSE(LayerExists(product.appDir + L"\\pos.exe"));
  EXPECT_FALSE(LayerExists(product.program));
  EXPECT_EQ(window.steps.back(), L"管理者権限情報Eをレジストリから削除しています...");

  // The same paths handed to the step directly, as a reader that kept them
  // would.
  Touch(ownLink);
  state->ShortCutLogList.resize(1);
  for (const std::wstring& path : {hostile[0], hostile[1], hostile[2], ownLink}) {
    state->ShortCutLogList.emplace_back();
    state->ShortCutLogList.back().dir = path;
  }
  state->ShortCutLogCount = static_cast<int16_t>(state->ShortCutLogList.size() - 1);
  EXPECT_EQ(norvale::DeleteShortCuts(*state), -1);
  EXPECT_FALSE(Exists(ownLink));
  EXPECT_TRUE(Exists(deep));

  ClearLayer(product.appDir + L"\\pos.exe");
  ClearLayer(product.program);
}

// Anyone may change a record under an install folder that inherits the
// rights of C:\. One naming two fonts of Windows' own among the product's
// removes neither their files nor their registrations, and never runs the
// removal script for them, on either route; a font named through another
// folder is no recorded font at all. Wine protects no file, so the seam
// answers for the two as Windows does.
TEST(HostileRecord, WindowsOwnFontsNamedAsTheProductsStay) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  const std::wstring windowsFonts[] = {fonts + L"\\nvtest_arial.ttf", fonts + L"\\nvtest_meiryo.ttc"};
  const std::wstring ours = fonts + L"\\nvtest_ownpos.ttf";
  const std::wstring above = fonts + L"\\..\\nvtest_above.ttf";
  for (const std::wstring& font : windowsFonts) {
    product.protectedFiles->Protect(font);
    Touch(font);
  }
  Touch(above);
  Touch(product.uninstDir + L"\\Remove-Font.ps1");
  product.WriteRecord({L"[Setup]", L"AppId={NvTest-Fonts}", L"[Download]",
                       L"src001=/f/nvtest_arial.ttf", L"dst001=" + windowsFonts[0], L"err001=",
                       L"src002=/f/nvtest_meiryo.ttc", L"dst002=" + windowsFonts[1], L"err002=",
                       L"src003=/f/nvtest_above.ttf", L"dst003=" + above, L"err003=",
                       L"src004=/f/nvtest_ownpos.ttf", L"dst004=" + ours, L"err004="});

  for (const DWORD major : {6ul, 10ul}) {
    Touch(ours);
    product.fontRegistry->values = {{L"NvTest Arial (TrueType)", L"nvtest_arial.ttf"},
                                    {L"NvTest Meiryo (TrueType)", L"nvtest_meiryo.ttc"},
                                    {L"NvTest Own (TrueType)", L"nvtest_ownpos.ttf"}};
    product.starts->started.clear();
    auto state = product.MakeState();
    ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
    ASSERT_EQ(state->UninstOptionCount, 2);
    state->OsVersion.dwMajorVersion = major;
    state->OsVersion.dwBuildNumber = 19045;
    EXPECT_EQ(norvale::UninstallFonts(*state), -1);
    for (const std::wstring& font : windowsFonts) EXPECT_TRUE(Exists(font)) << major;
    EXPECT_TRUE(Exists(above));
    EXPECT_FALSE(Exists(ours)) << major;
    if (major == 6) {
      ASSERT_EQ(product.fontRegistry->values.size(), 2u);
      EXPECT_EQ(product.fontRegistry->values[0].second, L"nvtest_arial.ttf");
      EXPECT_EQ(product.fontRegistry->values[1].second, L"nvtest_meiryo.ttc");
    }
    for (const std::wstring& start : product.starts->started) {
      EXPECT_EQ(start.find(L"nvtest_arial"), std::wstring::npos) << norvale::ToAnsi(start);
      EXPECT_EQ(start.find(L"nvtest_meiryo"), std::wstring::npos) << norvale::ToAnsi(start);
    }
  }
  for (const std::wstring& font : windowsFonts) DeleteFileW(font.c_str());
  DeleteFileW(above.c_str());
}

// A record names fonts to run as code under the administrator's PowerShell:
// one whose name goes on after ";" is no font name and never reaches a
// script; one with blanks and "$(...)" is a plain name and reaches the script
// after -File as one literal argument, from a program folder with blanks.
// The starts are recorded here; the stand-in tests show how PowerShell
// splits such a command line.
TEST(HostileRecord, FontNamesReachTheScriptOnlyAsOneLiteralArgument) {
  InstalledProduct product(L"Program Files (x86)");
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  // system32 as this process sees it (SysWOW64 for the 32-bit build), as
  // the program starts it; tools/place-standins.sh fills both.
  const std::wstring powershell = probe->objWinCommon.GetSpecialFolderPath(CSIDL_WINDOWS) +
                                  L"\\system32\\WindowsPowershell\\v1.0\\powershell.exe";
  if (!Exists(powershell)) GTEST_SKIP() << "this prefix has no powershell.exe";
  const std::wstring command = L"nvtest_y.ttf;ri -r -fo (gi ~)";
  const std::wstring literal = L"nvtest z $(ri -r -fo (gi ~)).ttf";
  Touch(fonts + L"\\" + literal);
  Touch(product.uninstDir + L"\\Remove-Font.ps1");
  product.WriteRecord({L"[Setup]", L"AppId={NvTest-Quoted}", L"[Download]",
                       L"src001=/f/a.ttf", L"dst001=" + fonts + L"\\" + command, L"err001=",
                       L"src002=/f/b.ttf", L"dst002=" + fonts + L"\\" + literal, L"err002="});

  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  ASSERT_EQ(state->UninstOptionCount, 2);
  state->OsVersion.dwMajorVersion = 10;
  state->OsVersion.dwBuildNumber = 19045;
  EXPECT_EQ(norvale::UninstallFonts(*state), -1);

  ASSERT_EQ(product.starts->started.size(), 1u);
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(product.starts->started[0].c_str(), &count);
  const std::vector<std::wstring> args(argv, argv + count);
  LocalFree(argv);
  EXPECT_EQ(args, (std::vector<std::wstring>{powershell, L"-ExecutionPolicy", L"unrestricted",
                                             L"-NoProfile", L"-NonInteractive", L"-File",
                                             product.uninstDir + L"\\Remove-Font.ps1", literal}));
  EXPECT_FALSE(Exists(fonts + L"\\" + literal));
}

// Windows' Meiryo and Arial named in full-width letters: no such files
// exist, so Windows protects nothing by those names, and a comparison that
// folds width would find Windows' own registrations by them. Neither route
// removes those. The PowerShell route asks the machine's Fonts key
// (HKLM\SOFTWARE\Microsoft\Windows NT\CurrentVersion\Fonts in the test's own
// view, the 32-bit one, which 64-bit Windows shares with the 64-bit view);
// Windows' two values are set there as Windows has them and put back as
// they were. The other route meets the test's registry in memory. Wine
// protects no file: the seam protects the two real files as Windows does.
TEST(HostileRecord, WindowsFontsUnderAFullWidthSpellingStay) {
  const wchar_t fontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  testing_support::SavedRegValue arial(HKEY_LOCAL_MACHINE, fontsKey, L"Arial (TrueType)");
  testing_support::SavedRegValue meiryo(HKEY_LOCAL_MACHINE, fontsKey,
                                        L"Meiryo & Meiryo UI (TrueType)");
  arial.SetText(L"arial.ttf");
  meiryo.SetText(L"meiryo.ttc");
  InstalledProduct product;
  product.starts->endsAtOnce = true;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  product.protectedFiles->Protect(fonts + L"\\arial.ttf");
  product.protectedFiles->Protect(fonts + L"\\meiryo.ttc");
  const std::wstring ours = fonts + L"\\nvtest_ownpos.ttf";
  Touch(product.uninstDir + L"\\Remove-Font.ps1");
  product.WriteRecord({L"[Setup]", L"AppId={NvTest-Width}", L"[Download]",
                       L"src001=/f/meiryo.ttc", L"dst001=" + fonts + L"\\ｍｅｉｒｙｏ.ttc",
                       L"err001=", L"src002=/f/arial.ttf", L"dst002=" + fonts + L"\\ＡＲＩＡＬ.TTF",
                       L"err002=", L"src003=/f/nvtest_ownpos.ttf", L"dst003=" + ours,
                       L"err003="});

  for (const DWORD major : {6ul, 10ul}) {
    Touch(ours);
    product.fontRegistry->values = {{L"Arial (TrueType)", L"arial.ttf"},
                                    {L"Meiryo & Meiryo UI (TrueType)", L"meiryo.ttc"},
                                    {L"NvTest Own (TrueType)", L"nvtest_ownpos.ttf"}};
    auto state = product.MakeState();
    ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
    ASSERT_EQ(state->UninstOptionCount, 2);
    state->OsVersion.dwMajorVersion = major;
    state->OsVersion.dwBuildNumber = 19045;
    EXPECT_EQ(norvale::UninstallFonts(*state), -1);
    EXPECT_FALSE(Exists(ours)) << major;
    EXPECT_EQ(arial.Text().value_or(L"<gone>"), L"arial.ttf") << major;
    EXPECT_EQ(meiryo.Text().value_or(L"<gone>"), L"meiryo.ttc") << major;
    if (major == 6) {
      ASSERT_EQ(product.fontRegistry->values.size(), 2u);
      EXPECT_EQ(product.fontRegistry->values[0].second, L"arial.ttf");
      EXPECT_EQ(product.fontRegistry->values[1].second, L"meiryo.ttc");
    }
  }
}

}  // namespace
