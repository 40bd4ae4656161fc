// What the install run leaves in the registry and the install folder, read
// back: file associations, auto-run results, administrator flags, the
// Uninstall entry, the uninstaller's copy, and the replacement command file.
#include <windows.h>

#include "ApFileLinks.h"
#include "EngineRunFixture.h"
#include "FileSystem.h"
#include "Text.h"
#include "UninstallRegistration.h"
#include "Utf8CodePages.h"

namespace testing_support {
namespace {

const std::wstring kClasses = L"SOFTWARE\\Classes\\";
const std::wstring kLayers = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\AppCompatFlags\\Layers";
const std::wstring kUninstall = L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\";

std::wstring SystemProgram(const std::wstring& name) {
  wchar_t buffer[MAX_PATH] = {};
  GetSystemDirectoryW(buffer, MAX_PATH);
  return std::wstring(buffer) + L"\\" + name;
}

std::wstring Upper(std::wstring text) {
  CharUpperBuffW(text.data(), static_cast<DWORD>(text.size()));
  return text;
}

class RegistrationsTest : public EngineRunTest {
 protected:
  void AddLink(const std::wstring& ext, const std::wstring& id, const std::wstring& name,
               const std::wstring& path, const std::wstring& chk = L"") {
    norvale::AddToList(State().ApFileLinkCount, State().ApFileLinkList,
                       norvale::ApFileLinkEntry{ext, id, name, path, chk});
  }
  void AddAutoRun(const std::wstring& id, const std::wstring& exe, const std::wstring& chk,
                  const std::wstring& prm) {
    norvale::AddToList(State().AutoRunCount, State().AutoRunList,
                       norvale::AutoRunEntry{id, exe, chk, prm});
  }
  void AddAdmin(const std::wstring& exe, const std::wstring& chk = L"") {
    norvale::AddToList(State().AdminExeCount, State().AdminExeList,
                       norvale::AdminExeEntry{exe, chk});
  }
};

TEST_F(RegistrationsTest, AssociationsAreRegisteredOnlyForFullProgramPaths) {
  AddTask(false);
  const std::wstring id = UniqueName(L"pos");
  const std::wstring ext = L"." + UniqueName(L"npos");
  const std::wstring bare = UniqueName(L"bare");
  ScopedRegKey idKey(HKEY_LOCAL_MACHINE, kClasses + id);
  ScopedRegKey extKey(HKEY_LOCAL_MACHINE, kClasses + ext);
  ScopedRegKey bareKey(HKEY_LOCAL_MACHINE, kClasses + bare);
  AddLink(ext, id, L"Norvale 伝票", L"{app}\\pos.exe");
  AddLink(L".nx", UniqueName(L"noname"), L"", L"{app}\\pos.exe");
  AddLink(L".nb", bare, L"Bare", L"pos.exe");
  AddLink(L".nt", UniqueName(L"task"), L"Task", L"{app}\\pos.exe", L"task1");
  // A type name that reaches below another key is no file type of ours.
  const std::wstring nested = UniqueName(L"nested");
  ScopedRegKey nestedKey(HKEY_LOCAL_MACHINE, kClasses + nested);
  AddLink(L".nn", nested + L"\\shell", L"Nested", L"{app}\\pos.exe");

  EXPECT_EQ(norvale::CountApFileLinks(Run()), 3);
  EXPECT_EQ(norvale::CreateApFileLinks(Run()), 0);

  const auto command = ReadRaw(HKEY_LOCAL_MACHINE, kClasses + id + L"\\shell\\open\\command", L"", kOwnView);
  ASSERT_TRUE(command.has_value());
  EXPECT_EQ(command->Text(), L"\"" + appDir_ + L"\\pos.exe\" \"%1\"");
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kClasses + ext, L"", kOwnView)->Text(), id);
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + bare, kOwnView));
  EXPECT_FALSE(KeyExists(HKEY_LOCAL_MACHINE, kClasses + nested, kOwnView));
  const std::vector<std::wstring> expected = {
      L";APファイルリンク作成結果", L"Count=3", L"",
      L"ext01_ext=" + ext, L"ext01_id=" + id, L"ext01_name=Norvale 伝票",
      L"ext01_path=" + appDir_ + L"\\pos.exe", L"ext01_err=",
      L"ext02_ext=.nb", L"ext02_id=" + bare, L"ext02_name=Bare", L"ext02_path=pos.exe",
      L"ext02_err=APファイルのリンクに失敗しました！",
      L"ext03_ext=.nn", L"ext03_id=" + nested + L"\\shell", L"ext03_name=Nested",
      L"ext03_path=" + appDir_ + L"\\pos.exe", L"ext03_err=APファイルのリンクに失敗しました！", L""};
  EXPECT_EQ(Section(L"APファイルリンク"), expected);
  EXPECT_EQ(window_->gauge, (std::vector<int16_t>{0, 33, 66, 100, -1}));
}

TEST_F(RegistrationsTest, AutoRunStartsEachProgramOnceByItsFullPath) {
  NewRun(Windows7x86());
  const std::wstring cmd = SystemProgram(L"cmd.exe");
  AddAutoRun(L"", cmd, L"", L" /c exit 0 ");
  AddAutoRun(L"", Upper(cmd), L"", L"/c exit 1");
  AddAutoRun(L"VC_2010_x86", cmd + L"x", L"", L"");
  AddAutoRun(L"", L"cmd.exe", L"", L"/c exit 0");
  AddAutoRun(L"", cmd, L"64bit", L"");
  AddAutoRun(L"", L"  ", L"", L"");

  EXPECT_EQ(norvale::ExecuteAutoRun(Run()), -1);
  const std::vector<std::wstring> lines = Section(L"自動実行");
  ASSERT_EQ(lines.size(), 10u) << ::testing::PrintToString(lines);
  EXPECT_EQ(lines[0], L";┏自動実行処理を開始しました");
  EXPECT_EQ(lines[1], L"実行01=" + cmd + L" /c exit 0");
  EXPECT_EQ(lines[2], L"結果01=APを正常に起動しました");
  EXPECT_EQ(lines[3], L"実行01=" + Upper(cmd) + L" /c exit 1");
  EXPECT_EQ(lines[4], L"結果01=既に実行されているのでskipします！");
  EXPECT_EQ(lines[5], L"実行02=" + cmd + L"x");
  EXPECT_EQ(lines[6], L"結果02=既にインストールされています（Skipされました）");
  EXPECT_EQ(lines[7], L"実行03=cmd.exe /c exit 0");
  EXPECT_NE(lines[8].find(L"結果03=RunApplication:完全なパス"), std::wstring::npos);
  EXPECT_EQ(lines[9], L";┗自動実行処理を終了しました");
}

TEST_F(RegistrationsTest, RunAsAdminFlagsAreWrittenForChosenEntries) {
  AddTask(false);
  const std::wstring chosen = *outside_ / L"pos.exe";
  const std::wstring unticked = *outside_ / L"unticked.exe";
  ScopedRegValue a(HKEY_LOCAL_MACHINE, kLayers, chosen);
  ScopedRegValue b(HKEY_LOCAL_MACHINE, kLayers, unticked);
  AddAdmin(chosen);
  AddAdmin(unticked, L"task1");

  EXPECT_EQ(norvale::RegstRunAsAdmin(Run()), -1);
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kLayers, chosen, kOwnView)->Text(), L"~ RUNASADMIN");
  EXPECT_FALSE(ReadRaw(HKEY_LOCAL_MACHINE, kLayers, unticked, kOwnView).has_value());
  EXPECT_EQ(Section(L"管理者権限"),
            (std::vector<std::wstring>{L";管理者権限で実行するEXEの登録結果", L"exe01=" + chosen, L"err01="}));
}

// The prefix runs code page 932, which has no "é": an association whose
// type name holds one is left out of the record whole (the reader pairs the
// n-th value of each key), and a program is recorded by its short name,
// never as the look-alike "Cafe". Keys and values in the program's own view
// (kOwnView), removed again by their scoped guards.
TEST_F(RegistrationsTest, ANameTheCodePageLacksIsNeverRecordedAsALookAlike) {
  const std::wstring cafe = L"Café." + UniqueName(L"pos");
  const std::wstring cafeExt = L"." + UniqueName(L"ncafe");
  const std::wstring id = UniqueName(L"pos");
  const std::wstring ext = L"." + UniqueName(L"npos");
  ScopedRegKey cafeKey(HKEY_LOCAL_MACHINE, kClasses + cafe);
  ScopedRegKey cafeExtKey(HKEY_LOCAL_MACHINE, kClasses + cafeExt);
  ScopedRegKey idKey(HKEY_LOCAL_MACHINE, kClasses + id);
  ScopedRegKey extKey(HKEY_LOCAL_MACHINE, kClasses + ext);
  AddLink(cafeExt, cafe, L"Café", L"{app}\\pos.exe");
  AddLink(ext, id, L"Pos", L"{app}\\pos.exe");
  EXPECT_EQ(norvale::CreateApFileLinks(Run()), -1);
  const std::vector<std::wstring> links = Section(L"APファイルリンク");
  ASSERT_EQ(links.size(), 11u) << ::testing::PrintToString(links);
  EXPECT_TRUE(norvale::StartsWith(links[3], L";★ext01"));
  EXPECT_EQ(links[3].find(L'='), std::wstring::npos);
  EXPECT_EQ(links[4], L"ext01_err=");
  EXPECT_EQ(links[5], L"ext02_ext=" + ext);
  EXPECT_EQ(links[6], L"ext02_id=" + id);

  const std::wstring program = *outside_ / L"Café Pos.exe";
  WriteFileBytes(program, "x");
  ScopedRegValue layer(HKEY_LOCAL_MACHINE, kLayers, program);
  AddAdmin(program);
  EXPECT_EQ(norvale::RegstRunAsAdmin(Run()), -1);
  const std::vector<std::wstring> admin = Section(L"管理者権限");
  ASSERT_EQ(admin.size(), 3u) << ::testing::PrintToString(admin);
  ASSERT_TRUE(norvale::StartsWith(admin[1], L"exe01="));
  const std::wstring recorded = admin[1].substr(6);
  EXPECT_EQ(recorded.find(L"Cafe"), std::wstring::npos);
  wchar_t longForm[MAX_PATH] = {};
  ASSERT_NE(0u, GetLongPathNameW(recorded.c_str(), longForm, MAX_PATH));
  EXPECT_EQ(program, std::wstring(longForm));
}

// The replacement command file is read in the OEM code page: on a 1252
// system (OEM 850) "é" written as 0xE9 reads "Ú", so DEL and COPY would name
// another file. The prefix runs 932 for both; other code pages are handed in.
TEST(ReplaceCommandPathTest, OnlyPathsTheInterpreterReadsExactly) {
  const std::wstring cafe = L"C:\\Café\\Norvale_Installer.exe";
  const std::wstring japanese = L"C:\\ノルヴァーレ\\Norvale_Installer.exe";
  EXPECT_TRUE(norvale::IsCommandFileSafePath(L"C:\\Pos\\Norvale_Installer.exe", 1252, 850));
  EXPECT_FALSE(norvale::IsCommandFileSafePath(cafe, 1252, 850));
  EXPECT_TRUE(norvale::IsCommandFileSafePath(cafe, 1252, 1252));
  EXPECT_FALSE(norvale::IsCommandFileSafePath(cafe, 932, 932));
  EXPECT_TRUE(norvale::IsCommandFileSafePath(japanese, 932, 932));
  EXPECT_FALSE(norvale::IsCommandFileSafePath(japanese, 1252, 850));
  EXPECT_FALSE(norvale::IsCommandFileSafePath(L"C:\\%TEMP%\\x.exe", 1252, 1252));
}

TEST_F(RegistrationsTest, UninstallEntryQuotesAPathWithBlanks) {
  ScopedRegKey entry(HKEY_LOCAL_MACHINE, kUninstall + State().AppId);
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_ + L"\\empty"), 0);
  WriteFileBytes(appDir_ + L"\\half.bin", std::string(2560, 'x'));  // 2.5 KB: to the even 2

  EXPECT_TRUE(norvale::RegstUninstInfo(Run()));
  const std::wstring key = kUninstall + State().AppId;
  const std::wstring program = appDir_ + L"\\Uninst\\Dekant00.exe";
  ASSERT_NE(appDir_.find(L' '), std::wstring::npos);
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"UninstallString", kView64)->Text(), L"\"" + program + L"\"");
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"QuietUninstallString", kView64)->Text(),
            L"\"" + program + L"\" /S");
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"InstallLocation", kView64)->Text(), appDir_);
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"InstallDate", kView64)->Text(), L"2026/12/09 14:05");
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"DisplayName", kView64)->Text(), L"Norvale POS");
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, key, L"EstimatedSize", kView64)->Dword(), 2u);
  EXPECT_EQ(norvale::UninstallCommand(L"C:\\Norvale\\Uninst\\Dekant00.exe"),
            L"C:\\Norvale\\Uninst\\Dekant00.exe");
}

TEST_F(RegistrationsTest, FolderSizesInKilobytes) {
  const std::wstring folder = *outside_ / L"size";
  ASSERT_EQ(State().objPublicFunc.MakeDir(folder + L"\\sub"), 0);
  WriteFileBytes(folder + L"\\a.bin", std::string(1536, 'a'));
  WriteFileBytes(folder + L"\\sub\\b.bin", std::string(1000, 'b'));
  // 1.5 + 0.9766 (1000 / 1024 to four places, half up)
  EXPECT_EQ(norvale::GetFolderSizeKB(folder).scaled, 15000 + 9766);
  EXPECT_EQ(norvale::GetFolderSizeKB(*outside_ / L"missing").scaled, -10000);
}

TEST_F(RegistrationsTest, UninstallerAndCompanionsAreCopiedAndTemporaryDownloadsRemoved) {
  const std::wstring from = Run().installerFolder;
  for (const std::wstring& folder : {from, appDir_ + L"\\Uninst", appDir_ + L"\\TEMP"}) {
    ASSERT_EQ(State().objPublicFunc.MakeDir(folder), 0);
  }
  // Any file with a version resource stands in for the uninstaller.
  ASSERT_TRUE(CopyFileW(SystemProgram(L"kernel32.dll").c_str(), (from + L"\\Dekant00.exe").c_str(), FALSE));
  WriteFileBytes(from + L"\\Add-Font.ps1", "add");
  WriteFileBytes(from + L"\\7-zip32.dll", "dll");
  WriteFileBytes(from + L"\\Start.ini", "[server]\r\n");
  State().objStartIni.iniDir(from);
  State().objStartIni.IniFileID(L"Start.ini");
  // An older uninstaller (no version at all) is replaced.
  WriteFileBytes(appDir_ + L"\\Uninst\\Dekant00.exe", "old");
  WriteFileBytes(appDir_ + L"\\TEMP\\setup.dat", "tmp");
  AddDownload(L"/pkg/setup.dat", appDir_ + L"\\TEMP");
  State().DownloadList[1].IsTemp = -1;
  ScopedRegValue flag(HKEY_LOCAL_MACHINE, kLayers, appDir_ + L"\\Uninst\\Dekant00.exe");

  EXPECT_TRUE(norvale::InstallUninstaller(Run()));
  EXPECT_TRUE(ReadFileBytes(appDir_ + L"\\Uninst\\Dekant00.exe") == ReadFileBytes(from + L"\\Dekant00.exe"));
  EXPECT_TRUE(norvale::FileExists(appDir_ + L"\\Uninst\\Add-Font.ps1"));
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\Uninst\\Remove-Font.ps1"));
  EXPECT_TRUE(norvale::FileExists(appDir_ + L"\\7-zip32.dll"));
  EXPECT_TRUE(norvale::FileExists(appDir_ + L"\\Start.ini"));
  EXPECT_FALSE(norvale::FileExists(appDir_ + L"\\TEMP\\setup.dat"));
  EXPECT_EQ(ReadRaw(HKEY_LOCAL_MACHINE, kLayers, appDir_ + L"\\Uninst\\Dekant00.exe", kOwnView)->Text(),
            L"~ RUNASADMIN");

  // Without "Start.ini" beside the installer the rest is still done.
  DeleteFileW((from + L"\\Start.ini").c_str());
  DeleteFileW((from + L"\\Dekant00.exe").c_str());
  EXPECT_FALSE(norvale::InstallUninstaller(Run()));
  EXPECT_TRUE(norvale::FileExists(appDir_ + L"\\Uninst\\Dekant00.exe"));
}

TEST_F(RegistrationsTest, FileVersionPartsSkipTheThirdNumber) {
  int32_t major = -1, minor = -1, revision = -1;
  EXPECT_TRUE(norvale::GetFileVersionParts(SystemProgram(L"kernel32.dll"), major, minor, revision));
  EXPECT_GT(major, 0);
  WriteFileBytes(*outside_ / L"plain.exe", "no version");
  EXPECT_FALSE(norvale::GetFileVersionParts(*outside_ / L"plain.exe", major, minor, revision));
  EXPECT_EQ(major, 0);
  EXPECT_FALSE(norvale::GetFileVersionParts(L"  ", major, minor, revision));
}

TEST_F(RegistrationsTest, ReplaceCommandQuotesEveryPathAndTouchesNothingElse) {
  const std::wstring installer = Run().installerFolder + L"\\Norvale_Installer.exe";
  const std::wstring fresh = *outside_ / L"new build\\Norvale_Installer.exe";
  for (const std::wstring& folder : {Run().installerFolder, *outside_ / L"new build", appDir_ + L"\\TEMP"}) {
    ASSERT_EQ(State().objPublicFunc.MakeDir(folder), 0);
  }
  WriteFileBytes(fresh, "new");
  const std::wstring cmdFile = appDir_ + L"\\TEMP\\ReplaceMe.cmd";
  const std::wstring before = CurrentDirectory();

  norvale::vbMakeReplaceCmd(Run(), fresh);
  SetCurrentDirectoryW(before.c_str());
  EXPECT_EQ(ends_, 1);
  ASSERT_EQ(started_, std::vector<std::wstring>{cmdFile});
  const std::wstring text = norvale::FromAnsi(ReadFileBytes(cmdFile));
  const std::wstring q = L"\"";
  EXPECT_EQ(text,
            L"ECHO OFF\r\nrem このコマンドファイルはQuillonインストーラーにより作成されました。\r\n\r\n"
            L":Lbl0\r\nTIMEOUT /T 1\r\n"
            L"DEL " + q + installer + q + L"\r\n"
            L"IF EXIST " + q + installer + q + L" GOTO Lbl0\r\n"
            L"TIMEOUT /T 1\r\n"
            L"COPY " + q + fresh + q + L" /Y " + q + installer + q + L"\r\n"
            L":Lbl1\r\nTIMEOUT /T 1\r\n"
            L"DEL " + q + fresh + q + L"\r\n"
            L"IF EXIST " + q + fresh + q + L" GOTO Lbl1\r\n"
            L"START \"Norvale_Installer.exeを起動しています...\" " + q + installer + q + L"\r\n"
            L"DEL \"%~f0\"\r\nEXIT\r\n");

  // Paths the command interpreter would not take literally, the installer
  // itself, and a missing file: no command file, nothing started, the end.
  DeleteFileW(cmdFile.c_str());
  const std::wstring percent = *outside_ / L"%PATH%.exe";
  WriteFileBytes(percent, "x");
  for (const std::wstring& bad : {percent, installer, *outside_ / L"missing.exe", std::wstring(L" ")}) {
    if (bad == installer) WriteFileBytes(installer, "me");
    norvale::vbMakeReplaceCmd(Run(), bad);
    SetCurrentDirectoryW(before.c_str());
    EXPECT_FALSE(norvale::FileExists(cmdFile)) << bad;
  }
  EXPECT_EQ(ends_, 5);
  EXPECT_EQ(started_.size(), 1u);
}

// Where Windows uses UTF-8 for every language, both code pages are 65001 and
// every path reads exactly: the command file is made, in UTF-8. Wine runs no
// prefix so; the test's Windows answers as that Windows does.
TEST_F(RegistrationsTest, AUtf8MachineGetsItsReplaceCommand) {
  const Utf8CodePages utf8;
  windows_->codePages = &utf8;
  const std::wstring fresh = *outside_ / L"新版 Pōs\\Norvale_Installer.exe";
  for (const std::wstring& folder :
       {Run().installerFolder, *outside_ / L"新版 Pōs", appDir_ + L"\\TEMP"}) {
    ASSERT_EQ(State().objPublicFunc.MakeDir(folder), 0);
  }
  WriteFileBytes(fresh, "new");
  const std::wstring before = CurrentDirectory();
  norvale::vbMakeReplaceCmd(Run(), fresh);
  SetCurrentDirectoryW(before.c_str());
  const std::wstring cmdFile = appDir_ + L"\\TEMP\\ReplaceMe.cmd";
  ASSERT_EQ(started_, std::vector<std::wstring>{cmdFile});
  const std::string bytes = ReadFileBytes(cmdFile);
  const std::string copy = norvale::ToAnsi(L"COPY \"" + fresh + L"\" /Y ", CP_UTF8);
  EXPECT_NE(bytes.find(copy), std::string::npos);
  EXPECT_NE(bytes.find(norvale::ToAnsi(L"rem このコマンドファイルは", CP_UTF8)), std::string::npos);
}

// The installer named otherwise than the run names it is still the installer:
// the command file would delete the only copy before copying it over itself.
TEST_F(RegistrationsTest, ReplaceCommandKnowsTheInstallerByItsOtherNames) {
  Run().installerFolder = *outside_ / L"Installer Download Folder";
  const std::wstring installer = Run().installerFolder + L"\\Norvale_Installer.exe";
  ASSERT_EQ(State().objPublicFunc.MakeDir(Run().installerFolder), 0);
  ASSERT_EQ(State().objPublicFunc.MakeDir(appDir_ + L"\\TEMP"), 0);
  WriteFileBytes(installer, "me");
  const std::wstring cmdFile = appDir_ + L"\\TEMP\\ReplaceMe.cmd";
  const std::wstring before = CurrentDirectory();
  std::vector<std::wstring> names = {Run().installerFolder + L"\\.\\Norvale_Installer.exe",
                                     Run().installerFolder + L"\\NORVALE_INSTALLER.EXE "};
  wchar_t shortName[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(installer.c_str(), shortName, MAX_PATH);
  if (n > 0 && n < MAX_PATH && installer != shortName) names.emplace_back(shortName, n);
  for (const std::wstring& name : names) {
    norvale::vbMakeReplaceCmd(Run(), name);
    SetCurrentDirectoryW(before.c_str());
    EXPECT_FALSE(norvale::FileExists(cmdFile)) << norvale::ToAnsi(name);
    DeleteFileW(cmdFile.c_str());
  }
  EXPECT_TRUE(started_.empty());
  EXPECT_EQ(ReadFileBytes(installer), "me");
}

}  // namespace
}  // namespace testing_support
