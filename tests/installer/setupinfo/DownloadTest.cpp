// The start-up download against a real FTP server on loopback, with the
// dialogs driven through their controls.
#include <gtest/gtest.h>

#include "FileSystem.h"
#include "FtpTestServer.h"
#include "SetupInfoDownload.h"
#include "SetupInfoTestSupport.h"
#include "StartIni.h"

using namespace norvale;
using namespace setupinfo_testing;
using testing_support::FtpTestServer;

namespace {

const wchar_t kSetupInfo[] = L"[Setup]\nAppName=ノルヴァーレPOS\n[Download]\nsrc=/pkg/a.zip\ndst={app}\nchk=\n";

// The server lists file times as its own clock shows them (UTC on the test
// machine): give a server file the listed wall-clock time.
void SetListedTime(const std::wstring& path, const SYSTEMTIME& listed) {
  FILETIME time{};
  SystemTimeToFileTime(&listed, &time);
  HANDLE file = CreateFileW(path.c_str(), FILE_WRITE_ATTRIBUTES, FILE_SHARE_READ | FILE_SHARE_WRITE,
                            nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  SetFileTime(file, &time, &time, &time);
  CloseHandle(file);
}

// A whole minute of yesterday (plus `minutes`): recent enough for the
// listing to show the time of day, which it gives to the minute.
SYSTEMTIME RecentMinute(int minutes = 0) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  FILETIME time;
  SystemTimeToFileTime(&now, &time);
  ULARGE_INTEGER value{{time.dwLowDateTime, time.dwHighDateTime}};
  const uint64_t minute = 60ull * 10000000ull;
  value.QuadPart = (value.QuadPart / minute - 24 * 60 + minutes) * minute;
  time = FILETIME{value.LowPart, value.HighPart};
  SYSTEMTIME result;
  FileTimeToSystemTime(&time, &result);
  return result;
}

// Records the message line each time the client lets the window breathe.
class LabelWatchingPump final : public IMessagePump {
 public:
  void DoEvents() override {
    if (label && !label->Caption().empty()) seen.push_back(label->Caption());
  }
  forms::Label* label = nullptr;
  std::vector<std::wstring> seen;
};

class DownloadTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    root_ = std::make_unique<testing_support::TempDir>(L"dlroot");
    CreateDirectoryW((root_->Path() + L"\\pos").c_str(), nullptr);
    CreateDirectoryW((root_->Path() + L"\\upd").c_str(), nullptr);
    CreateDirectoryW((root_->Path() + L"\\pos\\upd").c_str(), nullptr);
    WriteAnsiFile(root_->Path() + L"\\pos\\Setup.ini", kSetupInfo);
    server_ = std::make_unique<FtpTestServer>(root_->Path());
    server_->Start();
  }
  static void TearDownTestSuite() {
    server_.reset();
    root_.reset();
  }
  void SetUp() override {
    ASSERT_TRUE(server_->Running()) << server_->Error();
    machine.Become(Machine::Windows10x64);
    DeleteFileW((root_->Path() + L"\\upd\\Norvale_Installer.exe").c_str());
    DeleteFileW((root_->Path() + L"\\pos\\upd\\Norvale_Installer.exe").c_str());
  }
  // "Start.ini" for the test server; `extra` adds or overrides lines.
  void WriteStartIni(const std::wstring& pw, const std::wstring& extra = L"") {
    WriteAnsiFile(dir / L"Start.ini", L"[server]\nApName=POS\nip=" + server_->Host() + L"\nport=" +
                                          std::to_wstring(server_->Port()) + L"\nuser=" +
                                          server_->User() + L"\npw=" + pw + L"\npath=/pos\n" + extra);
  }
  InstallerState& NewState() {
    InstallerSeams seams = machine.Seams();
    seams.common.pump = pump;
    state = std::make_unique<InstallerState>(seams);
    state->objStartIni.iniDir(dir.Path());
    state->objStartIni.IniFileID(L"Start.ini");
    state->objSetupIni.iniDir(dir.Path());
    state->objSetupIni.IniFileID(L"Setup.ini");
    state->ProgramPath = dir / L"Norvale_Installer.exe";
    state->InstallerVersion = L"1.2.03";
    return *state;
  }
  bool Run() {
    if (!state) NewState();
    return DownloadSetupInfo(*state, app, hooks);
  }
  // Each dialog gets the next set of values, then OK (or Cancel when none
  // are left).
  void AnswerDialogs(std::vector<std::vector<std::wstring>> answers) {
    hooks.serverDialogShown = [this, answers](Form_IpInput& dialog) {
      shownValues.push_back({});
      for (int16_t i = 0; i < 5; ++i) shownValues.back().push_back(dialog.T_FTP(i)->Text());
      if (dialogsShown >= answers.size()) {
        ++dialogsShown;
        dialog.C_Cancel.Click(-1);
        return;
      }
      const auto& values = answers[dialogsShown++];
      for (int16_t i = 0; i < 5; ++i) dialog.T_FTP(i)->Text(values[i]);
      dialog.C_OK.Click(-1);
    };
  }
  std::vector<std::wstring> Good(const std::wstring& file = L"Setup.ini") {
    return {server_->Host(), server_->User(), server_->Password(), L"/pos", file};
  }

  static std::unique_ptr<testing_support::TempDir> root_;
  static std::unique_ptr<FtpTestServer> server_;
  testing_support::TempDir dir{L"dl"};
  TestMachine machine;
  std::shared_ptr<LabelWatchingPump> pump = std::make_shared<LabelWatchingPump>();
  forms::Application app{machine.end};
  std::unique_ptr<InstallerState> state;
  StartupDialogHooks hooks;
  size_t dialogsShown = 0;
  std::vector<std::vector<std::wstring>> shownValues;
};

std::unique_ptr<testing_support::TempDir> DownloadTest::root_;
std::unique_ptr<FtpTestServer> DownloadTest::server_;

}  // namespace

TEST_F(DownloadTest, CompleteStartIniDownloadsWithoutADialog) {
  WriteStartIni(server_->Password());
  std::vector<std::wstring> headers;
  hooks.progressShown = [&](Form_MSG& progress) {
    headers.push_back(progress.L_H(0)->Caption());
    EXPECT_EQ(progress.Caption(), L"Norvale Installer Ver 1.2.03");
    EXPECT_FALSE(progress.C_OK.Visible());
    pump->label = &progress.L_MSG;
  };
  AnswerDialogs({});
  ASSERT_TRUE(Run()) << state->ErrText;
  EXPECT_EQ(dialogsShown, 0u);
  EXPECT_EQ(headers, std::vector<std::wstring>{L"セットアップ情報の取得"});
  EXPECT_TRUE(FileExists(dir / L"Setup.ini"));
  EXPECT_EQ(state->AppName, L"ノルヴァーレPOS");
  EXPECT_EQ(state->DownloadCount, 1);
  EXPECT_EQ(state->objFtp.DispObject(), nullptr);  // never left pointing at the closed window
  // The server's port is an ephemeral one, normally above 32767.
  EXPECT_EQ(state->objFtp.PortNo(), server_->Port());
  EXPECT_TRUE(machine.boxes->Asked().empty());
}

TEST_F(DownloadTest, MissingValuesAskAndCancelStops) {
  WriteStartIni(L"");
  AnswerDialogs({});
  EXPECT_FALSE(Run());
  EXPECT_EQ(state->ErrText, L"セットアップ情報のダウンロード先が指定されていません！\r\n\r\n"
                            L"（セットアップを続行することはできません）");
  ASSERT_EQ(shownValues.size(), 1u);
  EXPECT_EQ(shownValues[0][0], server_->Host());
  EXPECT_EQ(shownValues[0][2], L"");
  EXPECT_EQ(shownValues[0][4], L"Setup.ini");
}

TEST_F(DownloadTest, MissingValuesAskAndOkDownloads) {
  WriteStartIni(L"");
  AnswerDialogs({Good(L"")});  // a blank file name means "Setup.ini"
  ASSERT_TRUE(Run()) << state->ErrText;
  EXPECT_EQ(dialogsShown, 1u);
  EXPECT_EQ(state->SetupFileId, L"Setup.ini");
  EXPECT_EQ(state->StartServer.pw, server_->Password());
}

TEST_F(DownloadTest, WrongPasswordThenCorrected) {
  WriteStartIni(L"wrong");
  machine.boxes->Answer(IDOK);
  AnswerDialogs({Good()});
  ASSERT_TRUE(Run()) << state->ErrText;
  ASSERT_EQ(machine.boxes->Asked().size(), 1u);
  const auto& box = machine.boxes->Asked()[0];
  EXPECT_EQ(box.title, L"セットアップ情報取得エラー！");
  EXPECT_EQ(box.style, static_cast<unsigned>(MB_OK | MB_ICONSTOP));
  EXPECT_EQ(box.text.rfind(L"セットアップ情報をダウンロードできませんでした！\r\n★サーバーに接続できませんでした。\r\nエラーコード:", 0), 0u)
      << box.text;
  EXPECT_EQ(shownValues[0][2], L"wrong");  // the dialog shows the current values
}

TEST_F(DownloadTest, WrongFileNameAndCancelInALaterDialog) {
  WriteStartIni(server_->Password(), L"SetupFile=Nothing.ini\n");
  machine.boxes->Answer(IDOK);
  AnswerDialogs({});
  EXPECT_FALSE(Run());
  ASSERT_EQ(machine.boxes->Asked().size(), 1u);
  EXPECT_EQ(machine.boxes->Asked()[0].text,
            L"セットアップ情報をダウンロードできませんでした！\r\n★サーバーにセットアップ情報が存在しませんでした。\r\n\r\n（正しい情報を入力して下さい）");
  EXPECT_EQ(state->ErrText, L"セットアップ情報をダウンロードできませんでした！\r\n\r\n"
                            L"（セットアップを続行することはできません）");
  EXPECT_EQ(shownValues[0][4], L"Nothing.ini");
}

TEST_F(DownloadTest, AFileNameTypedIntoTheDialogIsChecked) {
  WriteStartIni(L"");
  machine.boxes->Answer(IDOK);
  AnswerDialogs({Good(L"..\\..\\evil.ini")});
  EXPECT_FALSE(Run());
  ASSERT_EQ(machine.boxes->Asked().size(), 1u);
  EXPECT_NE(machine.boxes->Asked()[0].text.find(L"ファイル名"), std::wstring::npos);
  EXPECT_FALSE(FileExists(dir.Path() + L"\\..\\..\\evil.ini"));
}

TEST_F(DownloadTest, UpdateFolderCopyOfEqualTimePassesSilently) {
  const SYSTEMTIME time = RecentMinute();
  testing_support::WriteFileBytes(dir / L"Norvale_Installer.exe", "MZ");
  testing_support::SetLocalTime(dir / L"Norvale_Installer.exe", time);
  testing_support::WriteFileBytes(root_->Path() + L"\\upd\\Norvale_Installer.exe", "MZ");
  SetListedTime(root_->Path() + L"\\upd\\Norvale_Installer.exe", time);
  WriteStartIni(server_->Password(), L"UpdatePath=/upd\nUpdateURL=https://example.jp/new\n");
  std::vector<std::wstring> headers;
  hooks.progressShown = [&](Form_MSG& progress) {
    headers.push_back(progress.L_H(0)->Caption());
    pump->label = &progress.L_MSG;
  };
  bool noticeShown = false;
  hooks.updateNoticeShown = [&](Form_UpdateMsg& notice) {
    noticeShown = true;
    notice.C_Cancel.Click(-1);
  };
  ASSERT_TRUE(Run()) << state->ErrText;
  EXPECT_FALSE(noticeShown);
  EXPECT_EQ(headers, std::vector<std::wstring>{L"インストーラーのバージョンチェック"});
  EXPECT_EQ(machine.end->ends, 0);
  // The client's listing text went to the progress window's message line.
  bool listingShown = false;
  for (const std::wstring& text : pump->seen) listingShown |= text.find(L"[/upd]") == 0;
  EXPECT_TRUE(listingShown);
}

TEST_F(DownloadTest, NewerCopyInTheUpdateFolderEndsTheProgram) {
  testing_support::WriteFileBytes(dir / L"Norvale_Installer.exe", "MZ");
  testing_support::SetLocalTime(dir / L"Norvale_Installer.exe", RecentMinute());
  testing_support::WriteFileBytes(root_->Path() + L"\\pos\\upd\\Norvale_Installer.exe", "MZ");
  // The listing shows minutes: the next listed minute is later.
  SetListedTime(root_->Path() + L"\\pos\\upd\\Norvale_Installer.exe",
                RecentMinute(1));
  WriteStartIni(server_->Password(), L"UpdatePath=upd\nUpdateURL=https://example.jp/new\n");
  std::wstring shownAddress, caption;
  hooks.updateNoticeShown = [&](Form_UpdateMsg& notice) {
    shownAddress = notice.L_URL.Caption();
    caption = notice.Caption();
    notice.C_Cancel.Click(-1);
  };
  EXPECT_FALSE(Run());
  EXPECT_EQ(state->UpdatePath, L"/pos/upd");  // relative to path
  EXPECT_EQ(machine.waits->sleeps, std::vector<DWORD>{1000});
  EXPECT_EQ(shownAddress, L"https://example.jp/new");
  EXPECT_EQ(caption, L"Norvale Installer Ver1.2.03");
  EXPECT_EQ(machine.end->ends, 1);
  EXPECT_FALSE(FileExists(dir / L"Setup.ini"));
}

TEST_F(DownloadTest, ReplaceCuntSkipsTheCheckOnce) {
  testing_support::WriteFileBytes(dir / L"Norvale_Installer.exe", "MZ");
  testing_support::SetLocalTime(dir / L"Norvale_Installer.exe",
                                testing_support::LocalTime(2024, 5, 1, 10, 0, 0));
  testing_support::WriteFileBytes(root_->Path() + L"\\upd\\Norvale_Installer.exe", "MZ");
  WriteStartIni(server_->Password(), L"UpdatePath=/upd\nReplaceCunt=1\n");
  std::vector<std::wstring> headers;
  hooks.progressShown = [&](Form_MSG& progress) { headers.push_back(progress.L_H(0)->Caption()); };
  ASSERT_TRUE(Run()) << state->ErrText;
  EXPECT_EQ(headers, std::vector<std::wstring>{L"セットアップ情報の取得"});
  EXPECT_EQ(machine.end->ends, 0);
  EXPECT_EQ(ReadAnsiFile(dir / L"Start.ini").find(L"ReplaceCunt"), std::wstring::npos);
}
