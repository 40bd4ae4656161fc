// Reading the whole setup information file, and the earlier installation.
#include <gtest/gtest.h>

#include "FileSystem.h"
#include "SetupInfoFile.h"
#include "SetupInfoTestSupport.h"
#include "StartIni.h"

using namespace norvale;
using namespace setupinfo_testing;

namespace {

const wchar_t kFullFile[] =
    L"; POS suite\n"
    L"[Setup]\n"
    L"AlertSpaceOnDisk=2.5\n"
    L"InstallFilesList=InstallFiles.txt\n"
    L"AppId={0F1E2D3C-AAAA-4BBB-8CCC-123456789ABC}\n"
    L"AppName=ノルヴァーレPOS\n"
    L"AppVerName=  ノルヴァーレPOS 2.1  \n"
    L"AppPublisher= Norvale Systems \n"
    L"DefaultDirName=NorvalePOS\n"
    L"DefaultGroupName=ノルヴァーレ\n"
    L"[server]\n"
    L"ip=\n"
    L"port=21\n"
    L"[条件]\n"
    L"Base=基本構成\n"
    L"Extra=追加機能\n"
    L"NoSection=見出しだけ\n"
    L"[base]\n"
    L"Std=標準\n"
    L"Pro=プロ\n"
    L";Old=古い\n"
    L"Lite=軽量\n"
    L"[Extra]\n"
    L"Print=印刷=両面\n"
    L"Scan=スキャン\n"
    L"[チェック]\n"
    L"タイトル=追加の作業\n"
    L"[チェック01]\n"
    L"名称=デスクトップにアイコンを作る\n"
    L"見出し=アイコン\n"
    L"初期値=1\n"
    L"[チェック02]\n"
    L"名称=スタートアップに登録する\n"
    L"初期値=はい\n"
    L"[チェック04]\n"
    L"名称=読まれない\n"
    L"[Download]\n"
    L"src=/pkg/pos.zip\n"
    L"dst={app}\n"
    L"chk=1,1\n"
    L"src=/pkg/fonts/\n"
    L"dst={tmp}\\fonts\n"
    L"chk=task1,64bit\n"
    L"[ショートカット]\n"
    L"dir={group}\n"
    L"nam=POS\n"
    L"exe={app}\\pos.exe\n"
    L"[APファイルリンク]\n"
    L"ext=.pos\n"
    L"id=Norvale.Pos\n"
    L"name=POSデータ\n"
    L"path={app}\\pos.exe\n"
    L"[自動実行]\n"
    L"exe={tmp}\\vcredist_x86.exe\n"
    L"id=VC_2010_x86\n"
    L"prm=/q\n"
    L"chk=\n"
    L"[管理者権限]\n"
    L"exe={app}\\pos.exe\n"
    L"chk=\n"
    L"[Execute]\n"
    L"dsp=POSを起動する\n";

class SetupInfoFileTest : public ::testing::Test {
 protected:
  InstallerState& With(const std::wstring& text) {
    WriteAnsiFile(dir / L"Setup.ini", text);
    state = StateIn(machine, dir.Path());
    state->StartServer = ServerSettings{L"ftp.start.jp", 2100, L"startuser", L"startpw", L"/pos"};
    return *state;
  }
  testing_support::TempDir dir{L"sf"};
  TestMachine machine;
  std::unique_ptr<InstallerState> state;
};

}  // namespace

TEST_F(SetupInfoFileTest, FullFileFillsTheRecord) {
  machine.drives->roots = {"C:\\", "D:\\"};
  machine.drives->freeC = 100, machine.drives->freeD = 200;
  machine.drives->freeGigabytes = 12345000;  // 1,234.5 GB
  InstallerState& s = With(kFullFile);
  ASSERT_EQ(ReadSetupInfo(s), -1) << s.ErrText;
  EXPECT_EQ(s.AlertSpaceOnDisk, 25000);
  EXPECT_EQ(s.InstallFilesList, L"InstallFiles.txt");
  EXPECT_EQ(s.AppName, L"ノルヴァーレPOS");
  EXPECT_EQ(s.AppVerName, L"ノルヴァーレPOS 2.1");
  EXPECT_EQ(s.AppPublisher, L"Norvale Systems");
  EXPECT_EQ(s.Caption, L"ノルヴァーレPOS Installer Ver 1.2.03");
  EXPECT_EQ(s.DefaultDrive, L"D:\\");
  EXPECT_EQ(s.DefaultDriveRoot, L"D:\\");
  EXPECT_EQ(s.WindowsName, L"Windows 10");
  EXPECT_EQ(s.Is64BitWindows, -1);

  EXPECT_EQ(s.DownloadServer.ip, L"ftp.start.jp");
  EXPECT_EQ(s.DownloadServer.port, 21);
  EXPECT_EQ(s.DownloadServer.user, L"startuser");
  EXPECT_EQ(s.DownloadServer.path, L"");

  ASSERT_EQ(s.SelectGroupCount, 3);
  EXPECT_EQ(s.SelectGroups[1].heading, L"基本構成");
  ASSERT_EQ(s.SelectGroups[1].optionCount, 3);
  EXPECT_EQ(s.SelectGroups[1].options[3].name, L"Lite");
  EXPECT_EQ(s.SelectGroups[1].options[1].chosen, -1);
  EXPECT_EQ(s.SelectGroups[1].options[2].chosen, 0);
  ASSERT_EQ(s.SelectGroups[2].optionCount, 2);
  EXPECT_EQ(s.SelectGroups[2].options[1].caption, L"印刷=両面");
  EXPECT_EQ(s.SelectGroups[2].options[1].controlIndex, 4);
  EXPECT_EQ(s.SelectGroups[2].options[2].controlIndex, 5);
  EXPECT_EQ(s.SelectGroups[3].optionCount, 0);
  EXPECT_EQ(s.SelectOptionSeq, 0);

  ASSERT_EQ(s.InputItemCount, 2);
  EXPECT_EQ(s.InputItems[1].value, L"D:\\NorvalePOS");
  EXPECT_EQ(s.InputItems[1].freeSpaceText, L"D:\\ドライブには[1,234.5GB]の空き容量があります。");
  EXPECT_EQ(s.InputItems[1].description1, L"ノルヴァーレPOSのインストール先を指定して下さい。");
  EXPECT_EQ(s.InputItems[1].picture, 101);
  EXPECT_EQ(s.InputItems[2].kind, 1);
  EXPECT_EQ(s.InputItems[2].value, s.objWinCommon.GetSpecialFolderPath(23) + L"\\ノルヴァーレ");

  EXPECT_EQ(s.CheckTitle, L"追加の作業");
  EXPECT_EQ(s.CheckText, L"実行する追加タスクを選択して下さい。");
  EXPECT_EQ(s.CheckFooterText, L"");
  ASSERT_EQ(s.CheckItemCount, 2);
  EXPECT_EQ(s.CheckItems[1].heading, L"アイコン");
  EXPECT_EQ(s.CheckItems[1].initial, 1);
  EXPECT_EQ(s.CheckItems[1].checked, 1);
  EXPECT_EQ(s.CheckItems[2].initial, 0);

  EXPECT_EQ(s.DownloadCount, 2);
  EXPECT_EQ(s.DownloadList[2].IsTemp, -1);
  EXPECT_EQ(s.ShortCutCount, 1);
  EXPECT_EQ(s.ApFileLinkCount, 1);
  EXPECT_EQ(s.AutoRunCount, 1);
  EXPECT_EQ(s.AdminExeCount, 1);
  EXPECT_EQ(s.ExecuteCmd, L"");
  EXPECT_EQ(s.ExecuteDsp, L"POSを起動する");
  EXPECT_TRUE(machine.boxes->Asked().empty());
}

TEST_F(SetupInfoFileTest, OnlyAnAppNameGivesTheDefaults) {
  InstallerState& s = With(L"[Setup]\nAppName=Shop\n");
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.AppId, L"{231EFB6B-3A82-475F-B7E1-8E10D420BE40}");
  EXPECT_EQ(s.DefaultDirName, L"Shop");
  EXPECT_EQ(s.DefaultGroupName, L"Shop");
  EXPECT_EQ(s.InputItems[1].value, L"C:\\Shop");  // no D: drive on this machine
  EXPECT_EQ(s.InputItems[1].freeSpaceText, L"");
  EXPECT_EQ(s.CheckInputText,
            L"インストール時に実行する追加タスクを選択して「次へ」をクリックして下さい。");
  for (int16_t count : {s.SelectGroupCount, s.CheckItemCount, s.DownloadCount, s.ShortCutCount,
                        s.ApFileLinkCount, s.AutoRunCount, s.AdminExeCount}) {
    EXPECT_EQ(count, 0);
  }
  EXPECT_EQ(s.DownloadList.size(), 1u);
}

TEST_F(SetupInfoFileTest, EmptyAppNameAndOddNumbers) {
  InstallerState& s = With(L"[Setup]\nAppName=\nAlertSpaceOnDisk=-5\n[server]\nport=x21\n");
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.AppName, L"Norvale");
  EXPECT_EQ(s.Caption, L"Norvale Installer Ver 1.2.03");
  EXPECT_EQ(s.AlertSpaceOnDisk, 0);
  EXPECT_EQ(s.DownloadServer.port, 0);
  EXPECT_NE(s.ErrText.find(L"port"), std::wstring::npos);
  With(L"[Setup]\nAlertSpaceOnDisk=abc\n[server]\nport=99999\n");
  ASSERT_EQ(ReadSetupInfo(*state), -1);
  EXPECT_EQ(state->AlertSpaceOnDisk, 0);
  EXPECT_EQ(state->DownloadServer.port, 0);
}

TEST_F(SetupInfoFileTest, EncodedServerSection) {
  const std::wstring key = L"kovtar";
  InstallerState& s = With(L"[server]\nip=" + EncodeIniValue(L"pkg.example.jp", key) +
                           L"\nport=" + EncodeIniValue(L"50021", key) + L"\nuser=" +
                           EncodeIniValue(L"配布", key) + L"\npw=\n");
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.DownloadServer.ip, L"pkg.example.jp");
  EXPECT_EQ(s.DownloadServer.port, 50021);
  EXPECT_EQ(s.DownloadServer.user, L"配布");
  EXPECT_EQ(s.DownloadServer.pw, L"startpw");
}

TEST_F(SetupInfoFileTest, DefaultDriveNeedsARealDriveD) {
  InstallerState& s = With(L"[Setup]\nAppName=A\n");
  machine.drives->roots = {"C:\\"};  // neither drive reports space
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.DefaultDriveRoot, L"C:\\");
  machine.drives->roots = {"C:\\", "d:\\"};
  machine.drives->freeC = machine.drives->freeD = 500;  // equal space: D:
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.DefaultDriveRoot, L"D:\\");
  machine.drives->freeD = 499;
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.DefaultDriveRoot, L"C:\\");
}

TEST_F(SetupInfoFileTest, UnsafeFolderAndFileNamesFallBack) {
  const wchar_t* bad[] = {L"..\\..\\Windows", L"C:\\Windows", L"\\Windows", L"a\tb", L"x..y"};
  for (const wchar_t* name : bad) {
    InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nDefaultDirName=") + name +
                             L"\nInstallFilesList=..\\list.txt\n");
    ASSERT_EQ(ReadSetupInfo(s), -1);
    EXPECT_EQ(s.DefaultDirName, L"Shop") << name;
    EXPECT_EQ(s.InputItems[1].value, L"C:\\Shop") << name;
    EXPECT_EQ(s.InstallFilesList, L"");
    EXPECT_NE(s.ErrText.find(L"DefaultDirName"), std::wstring::npos);
  }
  InstallerState& s = With(L"[Setup]\nAppName=..\\..\\evil\n");
  ASSERT_EQ(ReadSetupInfo(s), -1);
  EXPECT_EQ(s.InputItems[1].value, L"C:\\Norvale");
}

TEST_F(SetupInfoFileTest, MissingFileOrBrokenDownloadStopsTheStartUp) {
  state = StateIn(machine, dir.Path());
  EXPECT_EQ(ReadSetupInfo(*state), 0);
  EXPECT_EQ(state->ErrText,
            L"セットアップの為の情報ファイルが存在しません！\r\n\r\n（セットアップを続行することはできません）");

  std::wstring text = L"[Download]\n";
  for (int i = 0; i <= kMaxListEntries; ++i) text += L"src=/a\ndst=b\nchk=\n";
  InstallerState& s = With(text);
  EXPECT_EQ(ReadSetupInfo(s), 0);
  EXPECT_EQ(s.ErrText, L"★ダウンロードパラメータエラー！\r\n\r\n[Download]セクションに誤りがあります！\r\n（）");
}

TEST_F(SetupInfoFileTest, TasksStopAtTheFirstGap) {
  InstallerState& s = With(L"[チェック01]\n名称=A\n初期値=99999\n[チェック03]\n名称=C\n");
  ASSERT_EQ(ReadSetupInfo(s), -1);
  ASSERT_EQ(s.CheckItemCount, 1);
  EXPECT_EQ(s.CheckItems[1].initial, 0);
}

// The earlier installation of the same product.
namespace {
const wchar_t kAppId[] = L"{7E57AB1E-0000-4000-8000-00000000E11D}";
}

TEST_F(SetupInfoFileTest, NotInstalledAsksNothing) {
  InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nAppId=") + kAppId + L"\n");
  EXPECT_EQ(ReadSetupInfo(s), -1);
  EXPECT_TRUE(machine.boxes->Asked().empty());
}

TEST_F(SetupInfoFileTest, InstalledWithAnUninstallerAsksAndYesStartsIt) {
  const std::wstring uninstaller = dir / L"Dekant00.exe";
  testing_support::WriteFileBytes(uninstaller, "MZ");
  ScopedUninstallEntry entry(kAppId, L"C:\\Old\\Shop", uninstaller);
  InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nAppId=") + kAppId + L"\n");
  machine.boxes->Answer(IDYES);
  EXPECT_EQ(ReadSetupInfo(s), 0);
  ASSERT_EQ(machine.boxes->Asked().size(), 1u);
  const auto& asked = machine.boxes->Asked()[0];
  EXPECT_EQ(asked.title, L"Shopはインストールされています！");
  EXPECT_EQ(asked.text.rfind(L"Shopは既にインストールされています！\r\n\r\n", 0), 0u);
  EXPECT_EQ(asked.style, static_cast<unsigned>(MB_YESNO | MB_ICONINFORMATION | MB_DEFBUTTON2));
  ASSERT_EQ(machine.starts->commandLines.size(), 1u);
  EXPECT_NE(machine.starts->commandLines[0].find(L"\"" + uninstaller + L"\""), std::wstring::npos);
  EXPECT_EQ(machine.starts->commandLines[0].find(L"/S"), std::wstring::npos);
  EXPECT_FALSE(FileExists(dir / L"Setup.ini"));
  EXPECT_EQ(machine.end->ends, 1);
}

TEST_F(SetupInfoFileTest, InstalledWithAnUninstallerAndNoStops) {
  const std::wstring uninstaller = dir / L"Dekant00.exe";
  testing_support::WriteFileBytes(uninstaller, "MZ");
  ScopedUninstallEntry entry(kAppId, L"C:\\Old\\Shop", uninstaller);
  InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nAppId=") + kAppId + L"\n");
  machine.boxes->Answer(IDNO);
  EXPECT_EQ(ReadSetupInfo(s), 0);
  EXPECT_EQ(s.ErrText, L"");
  EXPECT_TRUE(machine.starts->commandLines.empty());
  EXPECT_TRUE(FileExists(dir / L"Setup.ini"));
  EXPECT_EQ(machine.end->ends, 0);
}

TEST_F(SetupInfoFileTest, InstalledWithoutUsableUninstaller) {
  {
    ScopedUninstallEntry entry(kAppId, L"C:\\Old\\Shop", L"");
    InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nAppId=") + kAppId + L"\n");
    EXPECT_EQ(ReadSetupInfo(s), -1);
    EXPECT_EQ(s.InputItems[1].value, L"C:\\Shop");
  }
  {
    ScopedUninstallEntry entry(kAppId, L"C:\\Old\\Shop", dir / L"gone.exe");
    InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nAppId=") + kAppId + L"\n");
    EXPECT_EQ(ReadSetupInfo(s), -1);
    EXPECT_EQ(s.InputItems[1].value, L"C:\\Old\\Shop");
  }
  for (const wchar_t* unusable : {L"", L"Old\\Shop", L"C:\\Old\\..\\..\\Windows"}) {
    ScopedUninstallEntry entry(kAppId, unusable, dir / L"gone.exe");
    InstallerState& s = With(std::wstring(L"[Setup]\nAppName=Shop\nAppId=") + kAppId + L"\n");
    EXPECT_EQ(ReadSetupInfo(s), -1);
    EXPECT_EQ(s.InputItems[1].value, L"C:\\Shop") << unusable;
  }
  EXPECT_TRUE(machine.boxes->Asked().empty());
}

TEST(FormatGigabytes, GroupsThousandsAndDropsZeroDecimals) {
  EXPECT_EQ(FormatGigabytes(12345000), L"1,234.5");
  EXPECT_EQ(FormatGigabytes(10000), L"1");
  EXPECT_EQ(FormatGigabytes(9999999990000), L"999,999,999");
  EXPECT_EQ(FormatGigabytes(1250), L"0.13");
}
