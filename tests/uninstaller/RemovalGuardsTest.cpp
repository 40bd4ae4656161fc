// Which install folder, shortcuts and program group the uninstaller may
// delete.
#include <windows.h>

#include <gtest/gtest.h>

#include "RemovalGuards.h"
#include "UninstallerTestSupport.h"

namespace {

using namespace uninstaller_test;
using norvale::CheckedInstallFolder;
using norvale::IsRemovableProgramGroup;
using norvale::IsRemovableShortCut;

TEST(RemovalGuards, InstallFolderMustBeTheOneAboveUninst) {
  InstalledProduct product;
  auto state = product.MakeState();
  state->AppDir = L"  " + product.appDir + L"\\ ";
  ASSERT_TRUE(CheckedInstallFolder(*state));
  EXPECT_EQ(*CheckedInstallFolder(*state), product.appDir);

  const std::wstring refused[] = {
      L"",
      L"App",                                 // relative
      L"C:\\",                                // a drive root
      L"C:\\windows",                         // refused by the delete guard
      L"C:\\users",                           //
      product.temp.Path(),                    // above, but not the folder above Uninst
      product.uninstDir,                      // the uninstaller's own folder
      product.appDir + L"\\..\\App",          // ".." is never followed
      L"\\\\server\\share\\App",              // UNC
      L"\\\\?\\" + product.appDir,            // device path
      product.temp.Path() + L"\\Other",       // another product's folder
  };
  for (const std::wstring& dir : refused) {
    state->AppDir = dir;
    EXPECT_FALSE(CheckedInstallFolder(*state)) << std::string(dir.begin(), dir.end());
  }

  // A program that does not run from a folder named "Uninst" deletes no
  // install folder at all.
  norvale::UninstallerState elsewhere(product.appDir + L"\\Dekant00.exe");
  elsewhere.AppDir = product.temp.Path();
  EXPECT_FALSE(CheckedInstallFolder(elsewhere));
}

TEST(RemovalGuards, ShortCutsOnlyLnkInsideTheAllowedFolders) {
  InstalledProduct product;
  auto state = product.MakeState();
  state->AppDir = product.appDir;
  state->CommonDesktopDir = L"C:\\users\\Public\\Desktop";
  state->CommonProgramsDir = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
  state->StartupDir = L"C:\\users\\me\\Startup";
  EXPECT_TRUE(IsRemovableShortCut(*state, L"C:\\users\\Public\\Desktop\\Pos.lnk"));
  EXPECT_TRUE(IsRemovableShortCut(*state, state->CommonProgramsDir + L"\\Pos\\Pos.LNK"));
  EXPECT_TRUE(IsRemovableShortCut(*state, L"C:\\users\\me\\Startup\\Pos.lnk"));
  EXPECT_TRUE(IsRemovableShortCut(*state, product.appDir + L"\\Pos.lnk"));
  EXPECT_TRUE(IsRemovableShortCut(*state, product.appDir + L"\\Pos.cmd"));

  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\users\\Public\\Desktop\\report.docx"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\users\\Public\\Desktop\\Pos.cmd"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\users\\Public\\Desktop"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\users\\Public\\DesktopX\\Pos.lnk"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\users\\me\\Documents\\Pos.lnk"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\Pos.lnk"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\windows\\system32\\Pos.lnk"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"C:\\users\\Public\\Desktop\\..\\x.lnk"));
  EXPECT_FALSE(IsRemovableShortCut(*state, L"\\\\srv\\users\\Public\\Desktop\\Pos.lnk"));

  // Without a sound install folder nothing inside it counts.
  state->AppDir = L"C:\\";
  EXPECT_FALSE(IsRemovableShortCut(*state, product.appDir + L"\\Pos.lnk"));
}

// The record may name a folder by its short (8.3) name and what lies in it
// by its long one, or the other way round: the same places either way.
TEST(RemovalGuards, ShortCutsAndGroupsByTheShortNamesOfTheirFolders) {
  InstalledProduct product;
  auto state = product.MakeState();
  const std::wstring programs = product.temp.Path() + L"\\Common Start Menu Programs";
  const std::wstring group = programs + L"\\Norvale Point of Sale";
  ASSERT_TRUE(CreateDirectoryW(programs.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW(group.c_str(), nullptr));
  const std::wstring lnk = group + L"\\Norvale Register.lnk";
  testing_support::WriteFileBytes(lnk, "x");
  const auto shortName = [](const std::wstring& path) {
    wchar_t buffer[MAX_PATH] = {};
    const DWORD n = GetShortPathNameW(path.c_str(), buffer, MAX_PATH);
    return n > 0 && n < MAX_PATH ? std::wstring(buffer, n) : path;
  };
  const std::wstring shortLnk = shortName(lnk);
  const std::wstring shortPrograms = shortName(programs);
  if (shortPrograms == programs) GTEST_SKIP() << "this file system has no short names";

  state->CommonProgramsDir = programs;
  EXPECT_TRUE(IsRemovableShortCut(*state, shortLnk));
  EXPECT_TRUE(IsRemovableProgramGroup(*state, shortLnk.substr(0, shortLnk.rfind(L'\\'))));
  state->CommonProgramsDir = shortPrograms;
  EXPECT_TRUE(IsRemovableShortCut(*state, lnk));
  EXPECT_TRUE(IsRemovableProgramGroup(*state, group));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, programs));
  EXPECT_FALSE(IsRemovableShortCut(*state, programs + L"X\\Norvale Register.lnk"));
}

TEST(RemovalGuards, ProgramGroupStrictlyBelowThePrograms) {
  InstalledProduct product;
  auto state = product.MakeState();
  state->CommonProgramsDir = L"C:\\ProgramData\\Start Menu\\Programs";
  EXPECT_TRUE(IsRemovableProgramGroup(*state, state->CommonProgramsDir + L"\\Pos"));
  EXPECT_TRUE(IsRemovableProgramGroup(*state, state->CommonProgramsDir + L"\\Pos\\"));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, state->CommonProgramsDir));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, state->CommonProgramsDir + L"\\"));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, L"C:\\ProgramData\\Start Menu"));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, L"C:\\Users\\me\\Documents"));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, state->CommonProgramsDir + L"\\..\\x"));
}

// A recorded path that the plain file calls cannot take is refused before
// any of them sees it: longer than MAX_PATH - 1 characters (MAX_PATH - 12
// for a folder), or with a part longer than 255 characters.
TEST(RemovalGuards, OverlongRecordedPathsAreUnsafe) {
  using norvale::IsSafeRecordedPath;
  const std::wstring desktop = L"C:\\users\\Public\\Desktop\\";
  const auto pathOf = [&](size_t length, const std::wstring& end) {
    return desktop + std::wstring(length - desktop.size() - end.size(), L'A') + end;
  };
  EXPECT_TRUE(IsSafeRecordedPath(desktop + L"Pos.lnk"));
  EXPECT_TRUE(IsSafeRecordedPath(L"C:\\Program Files (x86)\\Norvale\\POS\\"));
  EXPECT_TRUE(IsSafeRecordedPath(pathOf(259, L".lnk")));
  EXPECT_FALSE(IsSafeRecordedPath(pathOf(260, L".lnk")));
  EXPECT_FALSE(IsSafeRecordedPath(pathOf(3039, L".lnk")));
  EXPECT_FALSE(IsSafeRecordedPath(desktop + std::wstring(300, L'B') + L"\\Pos.lnk"));
  EXPECT_TRUE(IsSafeRecordedPath(L"C:\\" + std::wstring(255, L'B')));
  EXPECT_FALSE(IsSafeRecordedPath(L"C:\\" + std::wstring(256, L'B')));
  // A folder (closing "\\") must leave room for the names inside it.
  EXPECT_TRUE(IsSafeRecordedPath(pathOf(248, L"\\")));
  EXPECT_TRUE(IsSafeRecordedPath(pathOf(249, L"\\")));
  EXPECT_FALSE(IsSafeRecordedPath(pathOf(250, L"\\")));

  InstalledProduct product;
  auto state = product.MakeState();
  state->AppDir = product.appDir;
  state->CommonDesktopDir = L"C:\\users\\Public\\Desktop";
  state->CommonProgramsDir = L"C:\\ProgramData\\Start Menu\\Programs";
  EXPECT_FALSE(IsRemovableShortCut(*state, pathOf(3039, L".lnk")));
  EXPECT_FALSE(IsRemovableShortCut(*state, product.appDir + L"\\" + std::wstring(1100, L'C') +
                                               L".lnk"));
  const std::wstring programs = state->CommonProgramsDir + L"\\";
  const std::wstring group248 = programs + std::wstring(248 - programs.size(), L'G');
  EXPECT_TRUE(IsRemovableProgramGroup(*state, group248));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, group248 + L"G"));
  EXPECT_FALSE(IsRemovableProgramGroup(*state, group248 + L"G\\"));

  // An install folder too long for a folder is not taken either.
  const std::wstring base = product.temp.Path() + L"\\";
  for (const size_t length : {size_t{248}, size_t{249}}) {
    const std::wstring appDir = base + std::wstring(length - base.size(), L'D');
    norvale::UninstallerState deep(appDir + L"\\Uninst\\Dekant00.exe");
    deep.AppDir = appDir;
    EXPECT_EQ(CheckedInstallFolder(deep).has_value(), length == 248) << length;
  }
}

}  // namespace
