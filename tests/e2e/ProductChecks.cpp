// What an installed sample product looks like, and what a removed one must
// not leave behind.
#include <windows.h>
#include <shlobj.h>

#include <algorithm>
#include <set>

#include "EngineSupport.h"
#include "FolderAccess.h"
#include "FontTableProbes.h"
#include "GeneratedFiles.h"
#include "Handles.h"
#include "InstallFixture.h"
#include "InstallFolders.h"
#include "Text.h"
#include "UninstallRegistration.h"

namespace e2e {
namespace {

const wchar_t kUninstallKey[] = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";
const wchar_t kLayersKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const wchar_t kFontFile[] = L"NorvaleSans.ttf";
const wchar_t kFontFamily[] = L"Norvale Sans";

std::wstring Lower(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// Every file below the folder, as lower-case paths relative to it.
void ListTree(const std::wstring& folder, const std::wstring& prefix, std::set<std::wstring>& out) {
  WIN32_FIND_DATAW found{};
  const norvale::FindHandle search(FindFirstFileW((folder + L"\\*").c_str(), &found));
  if (!search) return;
  do {
    const std::wstring name = found.cFileName;
    if (name == L"." || name == L"..") continue;
    if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
      ListTree(folder + L"\\" + name, prefix + name + L"\\", out);
    } else {
      out.insert(Lower(prefix + name));
    }
  } while (FindNextFileW(search.Get(), &found));
}

struct Shortcut {
  std::wstring target, arguments, workingFolder;
};

Shortcut ReadShortcut(const std::wstring& path) {
  Shortcut result;
  norvale::engine::ComApartment com;
  norvale::engine::ComPtr<IShellLinkW> link;
  norvale::engine::ComPtr<IPersistFile> file;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.OutVoid())) ||
      FAILED(link->QueryInterface(IID_IPersistFile, file.OutVoid())) ||
      FAILED(file->Load(path.c_str(), STGM_READ))) {
    return result;
  }
  wchar_t text[MAX_PATH] = {};
  if (SUCCEEDED(link->GetPath(text, MAX_PATH, nullptr, SLGP_RAWPATH))) result.target = text;
  text[0] = 0;
  if (SUCCEEDED(link->GetArguments(text, MAX_PATH))) result.arguments = text;
  text[0] = 0;
  if (SUCCEEDED(link->GetWorkingDirectory(text, MAX_PATH))) result.workingFolder = text;
  return result;
}

}  // namespace

void InstallFixture::ExpectInstalled() {
  const std::wstring app = App();
  for (const auto& question : installerBoxes_->Asked()) {
    ADD_FAILURE() << "asked: " << norvale::ToAnsi(question.title + L" / " + question.text);
  }

  // The files, byte for byte, and nothing else than the installer's own.
  std::set<std::wstring> present;
  ListTree(app, L"", present);
  for (const ExpectedFile& file : ExpectedFiles()) {
    EXPECT_TRUE(testing_support::ReadFileBytes(app + L"\\" + file.installPath) ==
                testing_support::ReadFileBytes(file.source))
        << norvale::ToAnsi(file.installPath);
    present.erase(Lower(file.installPath));
  }
  // The marker of a started installation is gone once the run completed.
  std::set<std::wstring> own = {L"7-zip32.dll", L"installfiles.txt", L"setup_init.txt",
                                L"start.ini", L"uninst\\add-font.ps1",
                                L"uninst\\dekant00.exe", L"uninst\\remove-font.ps1",
                                L"uninst\\setup.log"};
  // Windows 10 starts the startup program through a command file, written
  // also when its shortcut is not made.
  if (Is64()) own.insert(L"nvtray.cmd");
  EXPECT_EQ(present, own);
  EXPECT_FALSE(PathExists(app + L"\\TEMP\\NvSetupNote.txt"));
  EXPECT_EQ(testing_support::ReadFileBytes(app + L"\\Uninst\\Dekant00.exe"),
            testing_support::ReadFileBytes(ModuleFolder() + L"\\installer\\Dekant00.exe"));

  // The Uninstall entry, in the 64-bit view on 64-bit Windows only.
  const std::wstring entry = kUninstallKey + facts_.appId;
  const REGSAM view = Is64() ? KEY_WOW64_64KEY : 0;
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"DisplayName", view), L"Norvale POS");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"DisplayVersion", view), L"Ver 3.2");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"Publisher", view), L"Norvale Systems");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"AppPath", view), app);
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, entry, L"UninstallString", view),
            L"\"" + app + L"\\Uninst\\Dekant00.exe\"");
  if (Is64() && sizeof(void*) == 4) {
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, entry, KEY_WOW64_32KEY));
  }

  // Shortcuts, read back.
  const std::wstring exe = app + L"\\NorvalePos.exe";
  const Shortcut desktop = ReadShortcut(facts_.desktop + L"\\Norvale POS.lnk");
  if (facts_.tasks[1]) {
    EXPECT_EQ(Lower(desktop.target), Lower(exe));
    EXPECT_EQ(Lower(desktop.workingFolder), Lower(app));
  } else {
    EXPECT_FALSE(PathExists(facts_.desktop + L"\\Norvale POS.lnk"));
  }
  EXPECT_EQ(Lower(ReadShortcut(facts_.group + L"\\Norvale POS.lnk").target), Lower(exe));
  const Shortcut help = ReadShortcut(facts_.group + L"\\Norvale POS ヘルプ.lnk");
  EXPECT_EQ(Lower(help.target), Lower(exe));
  EXPECT_EQ(help.arguments, L"/help");
  const std::wstring startup = facts_.startup + L"\\Norvale POS 常駐.lnk";
  if (facts_.tasks[3]) {
    EXPECT_EQ(Lower(ReadShortcut(startup).target),
              Lower(app + (Is64() ? L"\\NvTray.CMD" : L"\\NvTray.exe")));
  } else {
    EXPECT_FALSE(PathExists(startup));
  }

  // The font, the association, the administrator flags, the auto-run.
  EXPECT_EQ(testing_support::ReadFileBytes(WindowsFolder() + L"\\Fonts\\" + kFontFile),
            testing_support::ReadFileBytes(PackageFolder() + L"\\ftp\\norvale\\pkg\\fonts\\" + kFontFile));
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kFontsKey, kSampleFontValue, KEY_WOW64_64KEY), kFontFile);
  // The PowerShell route's script only copies and registers; the engine,
  // which runs in this process, loads the font for the running programs.
  // The Install verb on Windows 7 is the shell's, which Wine lacks.
  if (machine_ != setupinfo_testing::Machine::Windows7x86) {
    EXPECT_TRUE(testing_support::FontFamilyKnown(kFontFamily));
  }
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.npos", L"", 0), L"NorvalePOS.Slip");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\NorvalePOS.Slip\\shell\\open\\command",
                    L"", 0),
            L"\"" + exe + L"\" \"%1\"");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kLayersKey, exe, view), L"~ RUNASADMIN");
  EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kLayersKey, app + L"\\NvTray.exe", view),
            facts_.tasks[3] ? L"~ RUNASADMIN" : L"<none>");
  EXPECT_EQ(testing_support::ReadFileBytes(app + L"\\Setup_Init.txt"), "initialised\r\n");
}

void InstallFixture::ExpectRecord() {
  const std::wstring app = App();
  // Wine's processes count as elevated, so the installer gave "Uninst" its
  // list and recorded it (Wine itself keeps no list to read back).
  const auto uninstList =
      norvale::BuildFolderAccessList(norvale::GuardedFolder::kUninstallerFolder, true, nullptr);
  ASSERT_TRUE(uninstList);
  // So are the files it writes itself into the install folder.
  const auto fileList =
      norvale::BuildFolderAccessList(norvale::GuardedFolder::kGeneratedFile, true, nullptr);
  ASSERT_TRUE(fileList);
  // The install folder below the drive root got, when the run made it, what
  // the root passes down, closed to renames; the root's list is recorded as
  // the run read it.
  norvale::SystemFolderAccess access;
  const norvale::FileHandle root(CreateFileW(L"C:\\", READ_CONTROL, 7, nullptr, OPEN_EXISTING,
                                             FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  const auto rootList = access.ReadList(root.Get(), L"C:\\");
  ASSERT_TRUE(rootList);
  std::vector<BYTE> account = access.Account();
  const auto appList = norvale::InstallPathFolderList(*rootList, true, account.data());
  ASSERT_TRUE(appList);
  std::vector<std::wstring> expected = {
      L";Setup処理を開始しました。",
      norvale::kFolderAccessComment + std::wstring(L"C:\\|既存|") + rootList->Text(),
      norvale::kFolderAccessComment + app + L"|作成|" + appList->Text(),
      norvale::kUninstallerFolderAccessComment + uninstList->Text(),
      norvale::kFileAccessComment + app + L"\\Setup_Start.txt|作成|" + fileList->Text(),
      L"[Setup]", L";セットアップ情報", L"AppId=" + facts_.appId,
      L"AppName=Norvale POS", L"AppVerName=Ver 3.2", L"AppDir=" + app,
      L"AlertSpaceOnDisk=1", L"InstallFilesList=InstallFiles.txt", L"[Download]",
      L";ダウンロード結果", L"Count=11", L""};
  std::vector<std::pair<std::wstring, std::wstring>> downloads = {
      {L"NorvalePOS_core.zip", app + L"\\NorvalePOS_core.zip"},
      {L"bin/NorvalePos.exe", app + L"\\NorvalePos.exe"},
      {L"bin/NvTray.exe", app + L"\\NvTray.exe"},
      {L"files/Readme.txt", app + L"\\Readme.txt"},
      {L"files/ライセンス.txt", app + L"\\doc\\ライセンス.txt"},
      {L"manual/", app + L"\\manual"},
      {L"options/飲食店テンプレート.zip", app + L"\\templates\\飲食店テンプレート.zip"},
      {Is64() ? L"x64/NvPrinter.dll" : L"x86/NvPrinter.dll", app + L"\\drivers\\NvPrinter.dll"},
      {Is64() ? L"win10/NvToast.dll" : L"win7/NvCompat7.dll",
       app + (Is64() ? L"\\compat\\NvToast.dll" : L"\\compat\\NvCompat7.dll")},
      {L"fonts/NorvaleSans.ttf", WindowsFolder() + L"\\Fonts\\NorvaleSans.ttf"},
      {L"setup/NvSetupNote.txt", app + L"\\TEMP\\NvSetupNote.txt"}};
  int n = 0;
  for (const auto& [src, dst] : downloads) {
    wchar_t number[8];
    swprintf(number, 8, L"%03d", ++n);
    expected.push_back(std::wstring(L"src") + number + L"=/norvale/pkg/" + src);
    expected.push_back(std::wstring(L"dst") + number + L"=" + dst);
    expected.push_back(std::wstring(L"err") + number + L"=");
  }
  expected.push_back(norvale::kFileAccessComment + app + L"\\InstallFiles.txt|作成|" +
                     fileList->Text());
  const std::wstring exe = app + L"\\NorvalePos.exe";
  for (const std::wstring& line :
       {std::wstring(), std::wstring(L"[ショートカット]"), std::wstring(L";ショートカット作成結果"),
        L"Group=" + facts_.group, std::wstring(L"Count=4"),
        L"ShortCut01=" + facts_.desktop + L"\\Norvale POS.lnk", std::wstring(L"err01="),
        L"ShortCut02=" + facts_.group + L"\\Norvale POS.lnk", std::wstring(L"err02="),
        L"ShortCut03=" + facts_.group + L"\\Norvale POS ヘルプ.lnk", std::wstring(L"err03="),
        L"ShortCut04=" + facts_.startup + L"\\Norvale POS 常駐.lnk", std::wstring(L"err04="),
        std::wstring(), std::wstring(L"[APファイルリンク]"), std::wstring(L";APファイルリンク作成結果"),
        std::wstring(L"Count=1"), std::wstring(), std::wstring(L"ext01_ext=.npos"),
        std::wstring(L"ext01_id=NorvalePOS.Slip"), std::wstring(L"ext01_name=Norvale POS 伝票ファイル"),
        L"ext01_path=" + exe, std::wstring(L"ext01_err="), std::wstring(),
        std::wstring(L"[自動実行]"), std::wstring(L";┏自動実行処理を開始しました"),
        L"実行01=" + exe + L" /init", std::wstring(L"結果01=APを正常に起動しました"),
        std::wstring(L";┗自動実行処理を終了しました"), std::wstring(L"[管理者権限]"),
        std::wstring(L";管理者権限で実行するEXEの登録結果"), L"exe01=" + exe, std::wstring(L"err01="),
        L"exe02=" + app + L"\\NvTray.exe", std::wstring(L"err02=")}) {
    expected.push_back(line);
  }
  if (Is64()) {
    // Windows 10 starts the logon program through its command file, which
    // the record names after the section's own lines.
    expected.insert(std::find(expected.begin(), expected.end(), L"err04=") + 1,
                    norvale::kFileAccessComment + app + L"\\NvTray.CMD|作成|" + fileList->Text());
  }
  EXPECT_EQ(testing_support::ReadAnsiLines(app + L"\\Uninst\\Setup.log"), expected);
}

void InstallFixture::ExpectNothingOfTheProduct() {
  const std::wstring app = App();
  EXPECT_FALSE(PathExists(app));
  EXPECT_FALSE(PathExists(facts_.group));
  EXPECT_FALSE(PathExists(facts_.desktop + L"\\Norvale POS.lnk"));
  EXPECT_FALSE(PathExists(facts_.startup + L"\\Norvale POS 常駐.lnk"));
  EXPECT_FALSE(PathExists(WindowsFolder() + L"\\Fonts\\" + kFontFile));
  EXPECT_FALSE(testing_support::FontFamilyKnown(kFontFamily));
  for (REGSAM view : {REGSAM(KEY_WOW64_64KEY), REGSAM(KEY_WOW64_32KEY)}) {
    EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, kUninstallKey + facts_.appId, view));
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kFontsKey, kSampleFontValue, view), L"<none>");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kLayersKey, app + L"\\NorvalePos.exe", view), L"<none>");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kLayersKey, app + L"\\NvTray.exe", view), L"<none>");
    EXPECT_EQ(RegText(HKEY_LOCAL_MACHINE, kLayersKey, app + L"\\Uninst\\Dekant00.exe", view),
              L"<none>");
  }
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\.npos", 0));
  EXPECT_FALSE(RegKeyExists(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Classes\\NorvalePOS.Slip", 0));
}

}  // namespace e2e
