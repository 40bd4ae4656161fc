// The removal steps on real files and registry values in the prefix: what a
// sound record removes, and that a tampered one removes nothing of others.
#include <gtest/gtest.h>

#include <shlobj.h>

#include "DeleteMeCmd.h"
#include "FontRemoval.h"
#include "FontTableProbes.h"
#include "InstallRecord.h"
#include "RemovalGuards.h"
#include "RemovalSteps.h"
#include "Text.h"
#include "UninstallerTestSupport.h"

namespace {

using namespace uninstaller_test;

class RecordingWindow final : public norvale::IUninstallerWindow {
 public:
  void SetStepText(int16_t index, const std::wstring& text) override {
    if (index == 0 && !text.empty()) steps.push_back(text);
  }
  void Dispゲージ(int16_t value) override { gauge.push_back(value); }
  void DisableCancel() override { cancelDisabled = true; }
  void DoEvents() override {}
  std::vector<std::wstring> steps;
  std::vector<int16_t> gauge;
  bool cancelDisabled = false;
};

constexpr wchar_t kClasses[] = L"SOFTWARE\\Classes\\";

void SetDefault(const std::wstring& key, const std::wstring& value) {
  HKEY h = nullptr;
  ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS,
                            nullptr, &h, nullptr),
            ERROR_SUCCESS);
  RegSetValueExW(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                 static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
  RegCloseKey(h);
}

// Associations live in the program's own view (0); the Uninstall entry is
// written into the 64-bit view wherever Windows is 64-bit, which is the case
// for both test builds here (the 32-bit one runs under WoW64).
constexpr REGSAM kOwnView = 0;
constexpr REGSAM kUninstallView = KEY_WOW64_64KEY;

bool KeyExists(const std::wstring& key, REGSAM view = kOwnView) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_READ | view, &h) != ERROR_SUCCESS) {
    return false;
  }
  RegCloseKey(h);
  return true;
}

void DeleteTreeKey(const std::wstring& key, REGSAM view = kOwnView) {
  HKEY h = nullptr;
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, KEY_ALL_ACCESS | view, &h) !=
      ERROR_SUCCESS) {
    return;
  }
  RegDeleteTreeW(h, nullptr);  // what is below the key, then the key itself
  RegCloseKey(h);
  RegDeleteKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), view, 0);
}

// A product with shortcuts, a group, one association and one
// run-as-administrator value of its own, and the same kinds of things that
// belong to others and that a tampered record names.
struct Scene {
  Scene() {
    auto probe = product.MakeState();
    desktop = probe->objWinCommon.GetSpecialFolderPath(25);
    programs = probe->objWinCommon.GetSpecialFolderPath(23);
    group = programs + L"\\NvTest Pos";
    other = product.temp.Path() + L"\\OtherProduct";
    documents = product.temp.Path() + L"\\Documents";
    for (const std::wstring& dir : {desktop, programs, group, other, documents}) MakeFolder(dir);
    ownDesktopLink = desktop + L"\\NvTest Pos.lnk";
    ownGroupLink = group + L"\\NvTest Pos.lnk";
    otherDesktopFile = desktop + L"\\NvTest notes.txt";
    for (const std::wstring& file :
         {ownDesktopLink, ownGroupLink, otherDesktopFile, other + L"\\other.exe",
          other + L"\\Other.lnk", documents + L"\\Pos.lnk", documents + L"\\letter.doc",
          group + L"\\Users file.txt"}) {
      Touch(file);
    }
    SetDefault(std::wstring(kClasses) + L"NvTest.PosFile\\shell\\open\\command",
               L"\"" + product.appDir + L"\\pos.exe\" \"%1\"");
    SetDefault(std::wstring(kClasses) + L".nvtpos", L"NvTest.PosFile");
    SetDefault(std::wstring(kClasses) + L"NvTest.OtherFile\\shell\\open\\command",
               L"\"" + other + L"\\other.exe\" \"%1\"");
    SetDefault(std::wstring(kClasses) + L".nvtoth", L"NvTest.OtherFile");
    SetLayer(product.appDir + L"\\pos.exe");
    SetLayer(other + L"\\other.exe");
    SetLayer(product.program);
  }
  ~Scene() {
    for (const wchar_t* key : {L"NvTest.PosFile", L".nvtpos", L"NvTest.OtherFile", L".nvtoth"}) {
      DeleteTreeKey(std::wstring(kClasses) + key);
    }
    testing_support::RemoveTree(group);
    for (const std::wstring& file : {ownDesktopLink, otherDesktopFile}) DeleteFileW(file.c_str());
    for (const std::wstring& exe :
         {product.appDir + L"\\pos.exe", other + L"\\other.exe", product.program}) {
      ClearLayer(exe);
    }
  }

  std::vector<std::wstring> Record(const std::wstring& appDir, const std::wstring& groupDir,
                                   const std::vector<std::wstring>& shortcuts) const {
    std::vector<std::wstring> lines = {L"[Setup]", L"AppId={NvTest-Removal}",
                                       L"AppName=NvTest", L"AppDir=" + appDir,
                                       L"[ショートカット]", L"Group=" + groupDir};
    int n = 0;
    for (const std::wstring& s : shortcuts) lines.push_back(L"ShortCut0" + std::to_wstring(++n) + L"=" + s);
    lines.insert(lines.end(),
                 {L"[APファイルリンク]", L"ext01_ext=.nvtpos", L"ext01_id=NvTest.PosFile",
                  L"ext01_name=Pos", L"ext01_path=" + product.appDir + L"\\pos.exe",
                  L"ext02_ext=.nvtoth", L"ext02_id=NvTest.OtherFile", L"ext02_name=Pos",
                  L"ext02_path=" + product.appDir + L"\\pos.exe", L"[管理者権限]",
                  L"exe01=" + product.appDir + L"\\pos.exe", L"exe02=" + other + L"\\other.exe"});
    return lines;
  }

  InstalledProduct product;
  std::wstring desktop, programs, group, other, documents;
  std::wstring ownDesktopLink, ownGroupLink, otherDesktopFile;
};

TEST(RemovalSteps, SoundRecordRemovesOnlyTheProductsOwn) {
  Scene scene;
  scene.product.WriteRecord(scene.Record(scene.product.appDir, scene.group,
                                         {scene.ownDesktopLink, scene.ownGroupLink}));
  auto state = scene.product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  RecordingWindow window;
  state->window = &window;
  norvale::ExecuteUninstall(*state);

  EXPECT_TRUE(window.cancelDisabled);
  EXPECT_FALSE(Exists(scene.ownDesktopLink));
  EXPECT_FALSE(Exists(scene.ownGroupLink));
  // The group keeps a file the user put there, so the group stays.
  EXPECT_TRUE(Exists(scene.group + L"\\Users file.txt"));
  EXPECT_FALSE(KeyExists(std::wstring(kClasses) + L"NvTest.PosFile"));
  EXPECT_FALSE(KeyExists(std::wstring(kClasses) + L".nvtpos"));
  EXPECT_TRUE(KeyExists(std::wstring(kClasses) + L"NvTest.OtherFile\\shell\\open\\command"));
  EXPECT_TRUE(KeyExists(std::wstring(kClasses) + L".nvtoth"));
  EXPECT_FALSE(LayerExists(scene.product.appDir + L"\\pos.exe"));
  EXPECT_FALSE(LayerExists(scene.product.program));
  EXPECT_TRUE(LayerExists(scene.other + L"\\other.exe"));
  EXPECT_EQ(window.gauge, (std::vector<int16_t>{-1, -1, 0, 50, 100, -1}));
  EXPECT_EQ(window.steps.front(), L"ショートカットを削除しています...");

  // An empty group goes once its last shortcut is gone.
  DeleteFileW((scene.group + L"\\Users file.txt").c_str());
  Touch(scene.ownGroupLink);
  norvale::DeleteShortCuts(*state);
  EXPECT_FALSE(Exists(scene.group));
}

TEST(RemovalSteps, KeepingFileLinksSkipsThatStep) {
  Scene scene;
  scene.product.WriteRecord(scene.Record(scene.product.appDir, L"", {}));
  auto state = scene.product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  state->UninstOptions[1].Value = 1;
  norvale::ExecuteUninstall(*state);
  EXPECT_TRUE(KeyExists(std::wstring(kClasses) + L".nvtpos"));
}

// A record whose shortcuts, group and install folder name other places
// deletes none of them, with and without "/S"; the command file then
// leaves the folder alone.
TEST(RemovalSteps, TamperedRecordRemovesNothingOfOthers) {
  for (const int16_t silent : {int16_t{0}, int16_t{-1}}) {
    Scene scene;
    const std::wstring targets[] = {
        scene.otherDesktopFile, scene.other + L"\\Other.lnk", scene.documents + L"\\Pos.lnk",
        L"C:\\windows\\system32\\kernel32.dll", L"C:\\windows\\win.ini",
        L"\\\\localhost\\C$\\windows\\win.ini", scene.desktop + L"\\..\\Desktop\\NvTest notes.txt"};
    for (const std::wstring& appDir :
         {scene.other, scene.documents, std::wstring(L"C:\\"), std::wstring(L"C:\\windows"),
          std::wstring(L"\\\\localhost\\C$\\NvTest")}) {
      scene.product.WriteRecord(scene.Record(
          appDir, scene.programs, std::vector<std::wstring>(std::begin(targets), std::end(targets))));
      // The previous round's command file took the program's file along.
      Touch(scene.product.program);
      auto state = scene.product.MakeState();
      state->IsSilent = silent;
      ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
      norvale::ExecuteUninstall(*state);
      for (const std::wstring& file :
           {scene.otherDesktopFile, scene.other + L"\\Other.lnk", scene.other + L"\\other.exe",
            scene.documents + L"\\Pos.lnk", scene.documents + L"\\letter.doc",
            std::wstring(L"C:\\windows\\win.ini")}) {
        EXPECT_TRUE(Exists(file)) << std::string(file.begin(), file.end());
      }
      EXPECT_TRUE(Exists(scene.group + L"\\Users file.txt"));
      EXPECT_TRUE(Exists(scene.programs));
      // The registered AppPath is gone with the entry; with the record's
      // AppDir pointing elsewhere the association is not this product's.
      EXPECT_TRUE(KeyExists(std::wstring(kClasses) + L".nvtoth"));
      EXPECT_TRUE(LayerExists(scene.other + L"\\other.exe"));

      testing_support::TempDir tmp(L"tmp");
      state->TmpDir = tmp.Path();
      RecordingEnd end;
      scene.product.messages->Clear();
      // Without the install folder it was made for, the end removes nothing:
      // the product stays registered with its uninstaller and record.
      norvale::MakeDeleteMeCmd(*state, false, end);
      EXPECT_TRUE(scene.product.starts->started.empty());
      EXPECT_TRUE(Exists(scene.product.program));
      EXPECT_EQ(end.code, 1603);
      EXPECT_EQ(scene.product.messages->Asked().size(), silent ? 0u : 1u);
    }
  }
}

// The Uninstall entry named by the record's AppId goes only when its
// command is this uninstaller.
TEST(RemovalSteps, UninstallEntryOnlyWhenItIsOurs) {
  InstalledProduct product;
  const std::wstring uninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
  auto entry = [&](const std::wstring& id, const std::wstring& command) {
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, (uninstall + id).c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS | kUninstallView, nullptr, &h, nullptr);
    RegSetValueExW(h, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
  };
  entry(L"{NvTest-Foreign}", L"C:\\Other\\uninstall.exe");
  entry(L"{NvTest-Own}", product.program);
  for (const wchar_t* id : {L"{NvTest-Foreign}", L"{NvTest-Own}"}) {
    product.WriteRecord({L"[Setup]", std::wstring(L"AppId=") + id, L"AppDir=" + product.appDir});
    auto state = product.MakeState();
    ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
    norvale::UnRegstUninstInfo(*state);
    // The entry stays until the install folder is gone.
    EXPECT_TRUE(KeyExists(uninstall + id, kUninstallView));
    norvale::RemoveUninstallEntry(*state);
  }
  EXPECT_TRUE(KeyExists(uninstall + L"{NvTest-Foreign}", kUninstallView));
  EXPECT_FALSE(KeyExists(uninstall + L"{NvTest-Own}", kUninstallView));
  DeleteTreeKey(uninstall + L"{NvTest-Foreign}", kUninstallView);
  DeleteTreeKey(uninstall + L"{NvTest-Own}", kUninstallView);
}

// The uninstaller may have been started by any spelling of its path, and the
// entry may quote it or add arguments: the places are compared. A command
// that starts another program stays, whatever it names after it.
TEST(RemovalSteps, UninstallEntryWhateverSpellingStartedTheUninstaller) {
  InstalledProduct product;
  const std::wstring key =
      L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\{NvTest-Spelling}";
  auto registered = [&](const std::wstring& command) {
    HKEY h = nullptr;
    RegCreateKeyExW(HKEY_LOCAL_MACHINE, key.c_str(), 0, nullptr, 0,
                    KEY_ALL_ACCESS | kUninstallView, nullptr, &h, nullptr);
    RegSetValueExW(h, L"UninstallString", 0, REG_SZ, reinterpret_cast<const BYTE*>(command.c_str()),
                   static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t)));
    RegCloseKey(h);
  };
  product.WriteRecord({L"[Setup]", L"AppId={NvTest-Spelling}", L"AppDir=" + product.appDir});
  // The uninstaller's folder as the program was started; ProgramPath follows.
  const std::wstring shortFolder = ShortForm(product.uninstDir);
  ASSERT_NE(shortFolder, product.uninstDir) << "no 8.3 names on this volume";
  struct Case {
    std::wstring folder, command;
    bool ours;
  };
  const std::wstring program = product.program;
  const Case cases[] = {
      {shortFolder, program, true},
      {norvale::ReplaceAll(product.uninstDir, L"\\", L"/"), program, true},
      {product.uninstDir + L"\\..\\Uninst", program, true},
      {product.uninstDir + L"\\.\\", program, true},
      {product.uninstDir, ShortForm(program), true},
      {product.uninstDir, L"\"" + program + L"\" /S", true},
      {product.uninstDir, program + L" /S", true},
      {shortFolder, L"C:\\Other\\uninstall.exe", false},
      {shortFolder, L"C:\\Other\\uninstall.exe " + program, false},
      {shortFolder, product.uninstDir + L"\\Other.exe", false},
      {shortFolder, L"Dekant00.exe", false},
      {product.uninstDir, product.appDir + L"\\..\\Dekant00.exe", false},
      // The file system tells full-width letters from plain ones.
      {product.uninstDir, product.uninstDir + L"\\Ｄｅｋａｎｔ００.exe", false},
  };
  for (const Case& c : cases) {
    registered(c.command);
    auto state = product.MakeState();
    ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
    state->ProgramFolder = c.folder;
    state->ProgramPath = c.folder + L"\\Dekant00.exe";
    SetCurrentDirectoryW(product.uninstDir.c_str());
    norvale::UnRegstUninstInfo(*state);
    SetCurrentDirectoryW(L"C:\\");
    EXPECT_EQ(state->UninstallEntryToRemove, c.ours);
    norvale::RemoveUninstallEntry(*state);
    EXPECT_EQ(KeyExists(key, kUninstallView), !c.ours)
        << norvale::ToAnsi(c.folder + L" | " + c.command);
  }
  DeleteTreeKey(key, kUninstallView);
}

// The file that leaves the install folder is the program itself: names
// that differ from it in kana type or width are other files, and go with
// the folder.
TEST(RemovalSteps, OnlyTheProgramItselfLeavesTheInstallFolder) {
  InstalledProduct product;
  const std::wstring program = product.uninstDir + L"\\ぽす.exe";
  const std::wstring others[] = {product.uninstDir + L"\\ポス.exe",
                                 product.uninstDir + L"\\ﾎﾟｽ.exe", product.appDir + L"\\ぽす.exe"};
  Touch(program);
  for (const std::wstring& other : others) Touch(other);
  product.WriteRecord({L"[Setup]"});
  auto state = product.MakeState(program);
  testing_support::TempDir tmp(L"tmp");
  state->TmpDir = tmp.Path();
  state->AppDir = product.appDir;
  RecordingEnd end;
  norvale::MakeDeleteMeCmd(*state, false, end);
  ASSERT_EQ(product.starts->started.size(), 1u);
  const std::wstring own =
      norvale::BeforeLast(StartedCommandFile(product.starts->started[0]), L'\\');
  WIN32_FIND_DATAW found{};
  std::vector<std::wstring> moved;
  const HANDLE find = FindFirstFileW((own + L"\\*.exe").c_str(), &found);
  ASSERT_NE(find, INVALID_HANDLE_VALUE);
  do moved.push_back(found.cFileName); while (FindNextFileW(find, &found));
  FindClose(find);
  EXPECT_EQ(moved, std::vector<std::wstring>{L"ぽす.exe"});
  EXPECT_FALSE(Exists(product.appDir));
}

// Started through an 8.3 spelling of its folder, the uninstaller still knows
// its install folder, and removes its own run-as-administrator value under
// the name the installer gave it.
TEST(RemovalSteps, AnotherSpellingStillFindsTheInstallFolderAndOurOwnValue) {
  InstalledProduct product;
  const std::wstring shortFolder = ShortForm(product.uninstDir);
  ASSERT_NE(shortFolder, product.uninstDir) << "no 8.3 names on this volume";
  product.WriteRecord({L"[Setup]", L"AppId={NvTest-Short}", L"AppDir=" + product.appDir});
  SetLayer(product.program);
  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  state->ProgramFolder = shortFolder;
  state->ProgramPath = shortFolder + L"\\Dekant00.exe";
  ASSERT_TRUE(norvale::CheckedInstallFolder(*state));
  EXPECT_EQ(*norvale::CheckedInstallFolder(*state), product.appDir);
  norvale::UnRegstRunAsAdmin(*state);
  EXPECT_FALSE(LayerExists(product.program));
}

// An association is the product's when the program its command starts lies
// in the install folder, however that is spelled: not when another
// program's command merely names our folder. Keys in the program's own
// view (kOwnView), removed again at the end.
TEST(RemovalSteps, AnAssociationIsOursByTheProgramItStarts) {
  InstalledProduct product;
  const std::wstring shortApp = ShortForm(product.appDir);
  ASSERT_NE(shortApp, product.appDir) << "no 8.3 names on this volume";
  const std::wstring other = product.temp.Path() + L"\\Other Product";
  MakeFolder(other);
  Touch(other + L"\\other.exe");
  Touch(product.appDir + L"\\pos.exe");
  struct Case {
    std::wstring id, command;
    bool ours;
  };
  const Case cases[] = {
      {L"NvTest.Quoted", L"\"" + product.appDir + L"\\pos.exe\" \"%1\"", true},
      {L"NvTest.Short", L"\"" + shortApp + L"\\pos.exe\" \"%1\"", true},
      {L"NvTest.Bare", product.appDir + L"\\pos.exe %1", true},
      {L"NvTest.ArgQuoted", L"\"" + other + L"\\other.exe\" \"" + product.appDir + L"\\%1\"", false},
      {L"NvTest.ArgBare", other + L"\\other.exe " + product.appDir + L"\\pos.exe %1", false},
      {L"NvTest.Above", L"\"" + product.appDir + L"\\..\\Other Product\\other.exe\" \"%1\"", false},
  };
  std::vector<std::wstring> record = {L"[Setup]", L"AppDir=" + product.appDir,
                                      L"[APファイルリンク]"};
  int n = 0;
  for (const Case& c : cases) {
    const std::wstring ext = L".nvt" + std::to_wstring(++n);
    SetDefault(std::wstring(kClasses) + c.id + L"\\shell\\open\\command", c.command);
    SetDefault(std::wstring(kClasses) + ext, c.id);
    const std::wstring nn = L"ext0" + std::to_wstring(n);
    record.insert(record.end(), {nn + L"_ext=" + ext, nn + L"_id=" + c.id, nn + L"_name=Pos",
                                 nn + L"_path=" + product.appDir + L"\\pos.exe"});
  }
  product.WriteRecord(record);
  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  ASSERT_EQ(state->ApFileLinkCount, static_cast<int16_t>(std::size(cases)));
  norvale::DeleteFileLinks(*state);
  n = 0;
  for (const Case& c : cases) {
    const std::wstring ext = L".nvt" + std::to_wstring(++n);
    EXPECT_EQ(KeyExists(std::wstring(kClasses) + c.id), !c.ours) << norvale::ToAnsi(c.command);
    EXPECT_EQ(KeyExists(std::wstring(kClasses) + ext), !c.ours) << norvale::ToAnsi(c.command);
    DeleteTreeKey(std::wstring(kClasses) + c.id);
    DeleteTreeKey(std::wstring(kClasses) + ext);
  }
}

// A run-as-administrator value is named by the program's long path; the
// record may hold its 8.3 form where the code page lacks a character.
TEST(RemovalSteps, AnAdministratorValueRecordedByItsShortNameGoes) {
  InstalledProduct product;
  const std::wstring exe = product.appDir + L"\\Café Pos.exe";
  Touch(exe);
  const std::wstring shortExe = ShortForm(exe);
  ASSERT_NE(shortExe, exe) << "no 8.3 names on this volume";
  SetLayer(exe);
  product.WriteRecord({L"[Setup]", L"AppDir=" + product.appDir, L"[管理者権限]",
                       L"exe01=" + shortExe});
  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  norvale::UnRegstRunAsAdmin(*state);
  EXPECT_FALSE(LayerExists(exe));
  ClearLayer(exe);
}

// A run-as-administrator value is ours when the program it names lies in
// the install folder, whatever the spelling: not when ".." levels lead out
// of it, and still when the folder is spelled by its 8.3 name.
TEST(RemovalSteps, RunAsAdministratorValuesAreJudgedWhereTheirProgramsLie) {
  InstalledProduct product;
  const std::wstring outside = product.appDir + L"\\sub\\..\\..\\Other\\other.exe";
  const std::wstring shortInside = ShortForm(product.appDir) + L"\\pos.exe";
  ASSERT_NE(shortInside, product.appDir + L"\\pos.exe") << "no 8.3 names on this volume";
  product.WriteRecord({L"[Setup]", L"AppId={NvTest-Layers}", L"AppDir=" + product.appDir,
                       L"[管理者権限]", L"exe01=" + outside, L"exe02=" + shortInside});
  SetLayer(outside);
  SetLayer(shortInside);
  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  norvale::UnRegstRunAsAdmin(*state);
  EXPECT_TRUE(LayerExists(outside));
  EXPECT_FALSE(LayerExists(shortInside));
  ClearLayer(outside);
  ClearLayer(shortInside);
}

TEST(RemovalSteps, FontsRemovedByExactNameUnlessKept) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  const std::wstring ours = fonts + L"\\nvtest_pos.ttf";
  const std::wstring similar = fonts + L"\\nvtest_pos_bold.ttf";
  Touch(ours);
  Touch(similar);
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/nvtest_pos.ttf",
                       L"dst001=" + ours});
  product.fontRegistry->values = {{L"NvTest Pos (TrueType)", L"nvtest_pos.ttf"},
                                  {L"NvTest Pos Bold (TrueType)", L"nvtest_pos_bold.ttf"}};
  auto kept = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*kept), -1);
  ASSERT_EQ(kept->UninstOptionCount, 2);
  kept->UninstOptions[2].Value = 1;
  EXPECT_EQ(norvale::UninstallFonts(*kept), 0);
  EXPECT_TRUE(Exists(ours));

  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  state->OsVersion.dwMajorVersion = 6;  // the registry route, whatever Wine reports
  EXPECT_EQ(norvale::UninstallFonts(*state), -1);
  EXPECT_FALSE(Exists(ours));
  EXPECT_TRUE(Exists(similar));
  ASSERT_EQ(product.fontRegistry->values.size(), 1u);
  EXPECT_EQ(product.fontRegistry->values[0].second, L"nvtest_pos_bold.ttf");
  DeleteFileW(similar.c_str());
}

// On Windows 10 the removal runs the shipped script, which compiles nothing
// in TEMP (an elevated run's is the account's own; the stand-in compiles an
// Add-Type's C# there as Windows PowerShell 5.1 does), and the font leaves
// the font table before the script starts: loaded, it would hold its file,
// which the script deletes. Wine's font table is the process's, so the font
// is loaded here as a log-on loads an installed one. Its Fonts value lies in
// the key both registry views share.
TEST(RemovalSteps, ThePowerShellRouteUnloadsTheFontAndCompilesNothing) {
  InstalledProduct product;
  // PowerShell where the uninstaller starts it: system32 as this process
  // sees it (SysWOW64 for the 32-bit build, which holds the same stand-in).
  wchar_t windows[MAX_PATH] = {}, program[MAX_PATH] = {};
  GetWindowsDirectoryW(windows, MAX_PATH);
  if (!Exists(std::wstring(windows) + L"\\system32\\WindowsPowershell\\v1.0\\powershell.exe")) {
    GTEST_SKIP() << "this prefix has no powershell.exe";
  }
  GetModuleFileNameW(nullptr, program, MAX_PATH);
  const std::wstring here = norvale::BeforeLast(program, L'\\');
  auto probe = product.MakeState();
  const std::wstring family = L"Norvale Removal Face";
  const std::wstring name = L"nvremoval" + std::to_wstring(GetCurrentProcessId()) + L".ttf";
  const std::wstring installed = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS) + L"\\" + name;
  const std::wstring value = family + L" (TrueType)";
  const wchar_t fontsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\Fonts";
  struct Cleanup {
    ~Cleanup() {
      for (int i = 0; i < 8 && RemoveFontResourceW(file.c_str()); ++i) {
      }
      DeleteFileW(file.c_str());
      RegDeleteKeyValueW(HKEY_LOCAL_MACHINE, key, value.c_str());
    }
    std::wstring file, value;
    const wchar_t* key;
  } cleanup{installed, value, fontsKey};
  ASSERT_TRUE(CopyFileW((here + L"\\NvRemovalFace.ttf").c_str(), installed.c_str(), FALSE));
  ASSERT_TRUE(CopyFileW((here + L"\\scripts\\Remove-Font.ps1").c_str(),
                        (product.uninstDir + L"\\Remove-Font.ps1").c_str(), FALSE));
  ASSERT_EQ(RegSetKeyValueW(HKEY_LOCAL_MACHINE, fontsKey, value.c_str(), REG_SZ, name.c_str(),
                            static_cast<DWORD>((name.size() + 1) * sizeof(wchar_t))),
            ERROR_SUCCESS);
  ASSERT_GT(AddFontResourceW(installed.c_str()), 0);
  ASSERT_TRUE(testing_support::FontFamilyKnown(family));
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/" + name,
                       L"dst001=" + installed, L"err001="});

  // PowerShell really starts; the registry is the machine's.
  norvale::UninstallerServices services;
  services.seams.messageBox = product.messages;
  services.windows.protectedFiles = product.protectedFiles;
  services.windows.folderAccess = product.folderAccess;
  auto state = std::make_unique<norvale::UninstallerState>(product.program, services);
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  ASSERT_EQ(state->UninstOptionCount, 2);
  state->OsVersion.dwMajorVersion = 10;
  state->OsVersion.dwBuildNumber = 19045;
  const testing_support::RedirectedTemp temp(product.temp / L"temp");
  EXPECT_EQ(norvale::UninstallFonts(*state), -1);
  EXPECT_EQ(std::vector<std::wstring>{}, temp.Entries());
  EXPECT_FALSE(testing_support::FontFamilyKnown(family));
  EXPECT_FALSE(Exists(installed));
  EXPECT_NE(RegGetValueW(HKEY_LOCAL_MACHINE, fontsKey, value.c_str(), RRF_RT_REG_SZ, nullptr,
                         nullptr, nullptr),
            ERROR_SUCCESS);
}

// A font the record names by its short name (its code page lacks a
// character of the long one) goes with its registration, which names the
// long one; a recorded name that may be an earlier record's look-alike of
// the font beside it takes neither (the prefix runs 932, which has no "é").
TEST(RemovalSteps, FontsRecordedByShortNameGoAndLookAlikesStay) {
  InstalledProduct product;
  auto probe = product.MakeState();
  const std::wstring fonts = probe->objWinCommon.GetSpecialFolderPath(CSIDL_FONTS);
  const std::wstring ours = fonts + L"\\nvtest Café.ttf";
  const std::wstring cafe = fonts + L"\\nvtest_café.ttf";
  const std::wstring lookAlike = fonts + L"\\nvtest_cafe.ttf";
  for (const std::wstring& file : {ours, cafe, lookAlike}) Touch(file);
  const std::wstring shortOurs = ShortForm(ours);
  ASSERT_NE(shortOurs, ours) << "no 8.3 names on this volume";
  product.WriteRecord({L"[Setup]", L"AppId=P", L"[Download]", L"src001=/f/a.ttf",
                       L"dst001=" + shortOurs, L"src002=/f/b.ttf", L"dst002=" + lookAlike});
  product.fontRegistry->values = {{L"NvTest Cafe (TrueType)", L"nvtest Café.ttf"},
                                  {L"NvTest cafe (TrueType)", L"nvtest_cafe.ttf"},
                                  {L"NvTest café (TrueType)", L"nvtest_café.ttf"}};
  auto state = product.MakeState();
  ASSERT_EQ(norvale::ReadInstallRecord(*state), -1);
  ASSERT_EQ(state->UninstOptionCount, 2);
  state->OsVersion.dwMajorVersion = 6;  // the registry route, whatever Wine reports
  norvale::UninstallFonts(*state);
  EXPECT_FALSE(Exists(ours));
  EXPECT_TRUE(Exists(cafe));
  EXPECT_TRUE(Exists(lookAlike));
  ASSERT_EQ(product.fontRegistry->values.size(), 2u);
  EXPECT_EQ(product.fontRegistry->values[0].second, L"nvtest_cafe.ttf");
  for (const std::wstring& file : {ours, cafe, lookAlike}) DeleteFileW(file.c_str());
}

TEST(RemovalSteps, ReplaceFolderMacros) {
  InstalledProduct product;
  auto state = product.MakeState();
  state->CommonProgramsDir = L"C:\\Menu";
  state->TmpDir = L"C:\\T";
  EXPECT_EQ(norvale::ReplaceFolderMacros(*state, L"{Group}\\Pos"), L"C:\\Menu\\Pos");
  EXPECT_EQ(norvale::ReplaceFolderMacros(*state, L"{TMP}\\a"), L"C:\\T\\a");
  EXPECT_EQ(norvale::ReplaceFolderMacros(*state, L"{app}\\a"), L"{app}\\a");
}

}  // namespace
