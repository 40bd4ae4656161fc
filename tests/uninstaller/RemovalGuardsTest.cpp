// Which install folder, shortcuts and program group the uninstaller may
// delete.
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

}  // namespace
