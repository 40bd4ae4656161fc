// Which install folder, shortcuts and program group the uninstaller may
// delete.
#include <windows.h>

#include <gtest/gtest.h>

#include "InstallRecord.h"
#include "Paths.h"
#include "RemovalGuards.h"
#include "RemovalSteps.h"
#include "Text.h"
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
  // Shortcuts are judged where they lie, so the ones that may go exist.
  const std::wstring desktop = product.temp.Path() + L"\\Desktop";
  const std::wstring programs = product.temp.Path() + L"\\Programs";
  const std::wstring startup = product.temp.Path() + L"\\Startup";
  for (const std::wstring& folder : {desktop, programs, programs + L"\\Pos", startup}) {
    MakeFolder(folder);
  }
  const std::wstring removable[] = {desktop + L"\\Pos.lnk", programs + L"\\Pos\\Pos.LNK",
                                    startup + L"\\Pos.lnk", product.appDir + L"\\Pos.lnk",
                                    product.appDir + L"\\Pos.cmd"};
  for (const std::wstring& file : removable) Touch(file);
  state->CommonDesktopDir = desktop;
  state->CommonProgramsDir = programs;
  state->StartupDir = startup;
  for (const std::wstring& file : removable) {
    EXPECT_TRUE(IsRemovableShortCut(*state, file)) << norvale::ToAnsi(file);
  }
  EXPECT_FALSE(IsRemovableShortCut(*state, desktop + L"\\Gone.lnk"));
  state->CommonDesktopDir = L"C:\\users\\Public\\Desktop";
  state->CommonProgramsDir = L"C:\\ProgramData\\Microsoft\\Windows\\Start Menu\\Programs";
  state->StartupDir = L"C:\\users\\me\\Startup";

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

// Windows answers for junctions as Wine cannot (Wine 8 makes none): this
// answers for one folder as Windows does for a junction to `target`, and
// asks the system for every other path.
class JunctionAsWindowsShowsIt final : public norvale::IFinalPaths {
 public:
  // swappedOnceOpened: Windows after another user swapped the folder for
  // the junction between a name's judging and the open that follows: asked
  // by name, the folder lies where it was until something is opened; from
  // then on, by name and by handle, where the junction leads.
  JunctionAsWindowsShowsIt(std::wstring junction, std::wstring target,
                           bool swappedOnceOpened = false)
      : junction_(std::move(junction)), target_(std::move(target)),
        swapped_(!swappedOnceOpened) {}
  std::wstring FinalPathOf(const std::wstring& path, bool followLast) const override {
    if (swapped_ && norvale::SamePath(path, junction_)) return followLast ? target_ : junction_;
    if (swapped_ && norvale::PathIsBelow(path, junction_)) {
      return target_ + path.substr(junction_.size());
    }
    return norvale::SystemFinalPaths().FinalPathOf(path, followLast);
  }
  // A handle opened through the junction lies where it leads.
  bool FactsOf(HANDLE handle, norvale::HandleFacts& facts) const override {
    swapped_ = true;
    if (!IFinalPaths::FactsOf(handle, facts)) return false;
    if (norvale::SamePath(facts.lies, junction_)) {
      facts.lies = target_;
    } else if (norvale::PathIsBelow(facts.lies, junction_)) {
      facts.lies = target_ + facts.lies.substr(junction_.size());
    }
    return true;
  }

 private:
  std::wstring junction_, target_;
  mutable bool swapped_;
};

// A folder inside the install folder that anyone could make a junction to
// another user's Desktop: a shortcut recorded below it lies on that
// Desktop, and neither the guard nor the removal step may take it.
TEST(RemovalGuards, AShortcutIsJudgedWhereItsFoldersLead) {
  InstalledProduct product;
  const std::wstring junction = product.appDir + L"\\Links";
  const std::wstring theirDesktop = product.temp.Path() + L"\\Users\\other\\Desktop";
  MakeFolder(junction);
  MakeFolder(theirDesktop);
  // Wine lists the file where the test put it; Windows would show the one
  // on their Desktop, and the seam says where it lies.
  Touch(junction + L"\\Their.lnk");
  product.WriteRecord({L"[Setup]", L"AppDir=" + product.appDir, L"[ショートカット]",
                       L"ShortCut01=" + junction + L"\\Their.lnk",
                       L"ShortCut02=" + product.appDir + L"\\Own.lnk"});
  Touch(product.appDir + L"\\Own.lnk");
  norvale::UninstallerServices services;
  services.finalPaths = std::make_shared<JunctionAsWindowsShowsIt>(
      junction, norvale::SystemFinalPaths().FinalPathOf(theirDesktop, true));
  norvale::UninstallerState state(product.program, services);
  ASSERT_EQ(norvale::ReadInstallRecord(state), -1);
  EXPECT_FALSE(IsRemovableShortCut(state, junction + L"\\Their.lnk"));
  EXPECT_TRUE(IsRemovableShortCut(state, product.appDir + L"\\Own.lnk"));
  norvale::DeleteShortCuts(state);
  EXPECT_TRUE(Exists(junction + L"\\Their.lnk"));
  EXPECT_FALSE(Exists(product.appDir + L"\\Own.lnk"));
}

// A recorded shortcut in a subfolder of the install folder, which any user
// may swap for a junction to another product's folder once the shortcut
// was judged: it is deleted through the very folder it was judged in, so
// a file of that name where the junction leads stays.
TEST(RemovalGuards, AShortcutIsDeletedThroughTheFolderItWasJudgedIn) {
  InstalledProduct product;
  const std::wstring links = product.appDir + L"\\Links";
  MakeFolder(links);
  Touch(links + L"\\Pos.lnk");
  product.WriteRecord({L"[Setup]", L"AppDir=" + product.appDir, L"[ショートカット]",
                       L"ShortCut01=" + links + L"\\Pos.lnk"});
  norvale::UninstallerServices services;
  services.finalPaths =
      std::make_shared<JunctionAsWindowsShowsIt>(links, product.temp.Path() + L"\\OtherProduct",
                                                 true);
  norvale::UninstallerState state(product.program, services);
  ASSERT_EQ(norvale::ReadInstallRecord(state), -1);
  // Judged by its name, the shortcut is the product's own ...
  ASSERT_TRUE(IsRemovableShortCut(state, links + L"\\Pos.lnk"));
  // ... but what the delete would meet lies elsewhere, and stays.
  norvale::DeleteShortCuts(state);
  EXPECT_TRUE(Exists(links + L"\\Pos.lnk"));
  // Unswapped, the same shortcut goes.
  norvale::UninstallerState plain(product.program);
  ASSERT_EQ(norvale::ReadInstallRecord(plain), -1);
  norvale::DeleteShortCuts(plain);
  EXPECT_FALSE(Exists(links + L"\\Pos.lnk"));
}

// Earlier installers wrote the record with the code page's best fit, so a
// recorded name may be the look-alike of the product's own: while a file it
// may have meant lies beside it, neither is taken. Wine's prefix runs 932;
// 1252 is handed in as the code page.
TEST(RemovalGuards, ALookAlikeOfAnotherFileIsNeverTaken) {
  InstalledProduct product;
  const std::wstring desktop = product.temp.Path() + L"\\Desktop";
  MakeFolder(desktop);
  for (const wchar_t* name : {L"\\Cafe.lnk", L"\\Café.lnk", L"\\Pos.lnk", L"\\Ｐｏｓ.lnk",
                              L"\\Sole.lnk"}) {
    Touch(desktop + name);
  }
  EXPECT_TRUE(norvale::HasLookAlikeBeside(desktop + L"\\Cafe.lnk", 932));
  EXPECT_FALSE(norvale::HasLookAlikeBeside(desktop + L"\\Café.lnk", 932));
  EXPECT_TRUE(norvale::HasLookAlikeBeside(desktop + L"\\Pos.lnk", 1252));
  EXPECT_FALSE(norvale::HasLookAlikeBeside(desktop + L"\\Ｐｏｓ.lnk", 1252));
  EXPECT_FALSE(norvale::HasLookAlikeBeside(desktop + L"\\Sole.lnk", 932));

  // Where the code page lacks a character the record holds the short name.
  const std::wstring creme = desktop + L"\\Crème.lnk";
  Touch(creme);
  ASSERT_NE(ShortForm(creme), creme) << "no 8.3 names on this volume";
  product.WriteRecord({L"[Setup]", L"AppDir=" + product.appDir, L"[ショートカット]",
                       L"ShortCut01=" + desktop + L"\\Cafe.lnk",
                       L"ShortCut02=" + desktop + L"\\Sole.lnk",
                       L"ShortCut03=" + ShortForm(creme)});
  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  state->CommonDesktopDir = desktop;
  norvale::DeleteShortCuts(*state);
  EXPECT_TRUE(Exists(desktop + L"\\Cafe.lnk"));
  EXPECT_TRUE(Exists(desktop + L"\\Café.lnk"));
  EXPECT_FALSE(Exists(desktop + L"\\Sole.lnk"));
  EXPECT_FALSE(Exists(creme));
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
