#include <windows.h>

#include <gtest/gtest.h>

#include "ServicesTestSupport.h"
#include "TempDir.h"
#include "Text.h"
#include "clsWinCommon.h"

using namespace testing_support;
using norvale::KernelHandle;

namespace {

class ProgramsTest : public ::testing::Test {
 protected:
  ~ProgramsTest() override {
    // Whatever a failed case left running.
    for (int i = 0; i < 10 && win_.KillProccessByExeName(kHelperName); ++i) Sleep(20);
  }
  ServicesUnderTest services_;
  clsWinCommon win_{services_.Seams(), services_.Windows()};
  TempDir dir_{L"programs"};
};

TEST_F(ProgramsTest, RunApplicationNamesWhatCannotBeStarted) {
  EXPECT_EQ(L"RunApplication:実行ファイル名が空です", win_.RunApplication(L"   ", false));
  const std::wstring notFound = L"RunApplication:必要なファイルが見つかりません。(";
  const std::wstring missing = dir_ / L"missing.exe";
  EXPECT_EQ(notFound + missing + L")", win_.RunApplication(missing, false));
  // Folders and hidden files are not taken for programs.
  EXPECT_EQ(notFound + dir_.Path() + L")", win_.RunApplication(dir_.Path(), false));
  const std::wstring hidden = dir_ / L"hidden.exe";
  ASSERT_TRUE(CopyFileW(HelperPath().c_str(), hidden.c_str(), FALSE));
  SetFileAttributesW(hidden.c_str(), FILE_ATTRIBUTE_HIDDEN);
  EXPECT_EQ(notFound + hidden + L")", win_.RunApplication(hidden, false));

  // A file that is no program: the number, its description, path and option.
  const std::wstring text = dir_ / L"readme.exe";
  WriteFileBytes(text, "not a program at all");
  double id = 7;
  EXPECT_EQ(L"RunApplication(5 プロシージャの呼び出し、または引数が不正です。(ファイル:" + text +
                L" -x)",
            win_.RunApplication(text, true, &id, 0, L"-x"));
  EXPECT_EQ(7, id);
}

TEST_F(ProgramsTest, RunApplicationWaitsForTheProgramOnlyWhenAsked) {
  double id = 0;
  const ULONGLONG start = GetTickCount64();
  EXPECT_EQ(L"", win_.RunApplication(HelperPath(), true, &id, 0, L"sleep 300 7"));
  EXPECT_GE(GetTickCount64() - start, 250u);
  EXPECT_NE(0, id);
  EXPECT_GT(services_.pump->runs, 0);

  EXPECT_EQ(L"", win_.RunApplication(HelperPath(), false, &id, 0, L"sleep 5000 0"));
  KernelHandle running(OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, static_cast<DWORD>(id)));
  ASSERT_TRUE(running);
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(running.Get(), 0));
  TerminateProcess(running.Get(), 0);
}

// Exit code 259 reads as "still active": only the handle tells the end.
TEST_F(ProgramsTest, AProgramEndingWithTheStillActiveCodeIsNotAwaitedForever) {
  EXPECT_EQ(L"", win_.RunApplication(HelperPath(), true, nullptr, 0, L"sleep 50 259"));

  HelperProcess helper(L"sleep 100 259");
  win_.ShellEnd_By_Handle(helper.Handle());
  EXPECT_TRUE(helper.Ended());
  // The caller's handle is still open.
  EXPECT_EQ(259u, helper.ExitCode());
}

TEST_F(ProgramsTest, ShellEndOfAProcessThatCannotBeOpenedPausesOnce) {
  win_.ShellEnd(0);
  EXPECT_EQ(std::vector<DWORD>{100}, services_.waits->sleeps);
  EXPECT_EQ(1, services_.pump->runs);
}

TEST(ProgramStartTest, CommandLinesAndShowStatesOfTheStarts) {
  ServicesUnderTest services;
  auto starts = std::make_shared<RecordingStarts>();
  services.starts = starts;
  clsWinCommon win(services.Seams(), services.Windows());

  double id = 0;
  EXPECT_EQ(L"", win.RunApplication(HelperPath(), false, &id, 6));
  EXPECT_EQ(4242, id);
  win.ShellOpenFile(L"C:\\data\\a.dat");
  win.DiskCopy();
  ASSERT_EQ(3u, starts->starts.size());
  // The blank before the option stays when there is none.
  EXPECT_EQ(L"\"" + HelperPath() + L"\" ", starts->starts[0].commandLine);
  EXPECT_EQ(6, starts->starts[0].showState);
  EXPECT_EQ(L"rundll32.exe shell32.dll,OpenAs_RunDLL C:\\data\\a.dat",
            starts->starts[1].commandLine);
  EXPECT_EQ(SW_SHOWMINIMIZED, starts->starts[1].showState);
  EXPECT_EQ(L"RunDll32.EXE DiskCopy.dll,DiskCopyRunDll 0", starts->starts[2].commandLine);
  EXPECT_EQ(SW_SHOWNORMAL, starts->starts[2].showState);
}

TEST_F(ProgramsTest, ShellExeStartsDocumentsAndNamesWhatIsMissing) {
  std::wstring text = L"old";
  EXPECT_EQ(2, win_.ShellExe(dir_ / L"missing.exe", L"", 0, &text));
  EXPECT_EQ(L"指定されたプログラムファイルが見つかりませんでした", text);

  // A command file goes to its interpreter through the shell.
  const std::wstring script = dir_ / L"マーク.cmd";
  const std::wstring marker = dir_ / L"marker.txt";
  WriteFileBytes(script, "@echo done> \"" + norvale::ToAnsi(marker) + "\"\r\n");
  EXPECT_GT(win_.ShellExe(script, L"", 0, &text), 32);
  EXPECT_EQ(L"", text);
  EXPECT_TRUE(WaitUntil(
      [&] { return GetFileAttributesW(marker.c_str()) != INVALID_FILE_ATTRIBUTES; }, 10000));
}

TEST_F(ProgramsTest, ShellExeExHandsOutTheProcessHandle) {
  std::wstring text;
  HANDLE process = INVALID_HANDLE_VALUE;
  EXPECT_EQ(0, win_.ShellExeEX(dir_ / L"missing.exe", nullptr, L"", 0, &text, &process));
  EXPECT_EQ(L"ファイルが見つかりません", text);
  EXPECT_EQ(nullptr, process);

  EXPECT_GT(win_.ShellExeEX(HelperPath(), nullptr, L"sleep 50 3", 0, &text, &process), 32);
  EXPECT_EQ(L"APを正常に起動しました", text);
  ASSERT_NE(nullptr, process);
  KernelHandle owned(process);
  ASSERT_EQ(DWORD(WAIT_OBJECT_0), WaitForSingleObject(process, 5000));
  DWORD code = 0;
  GetExitCodeProcess(process, &code);
  EXPECT_EQ(3u, code);
}

TEST_F(ProgramsTest, RunProcessReturnsOnceTheProgramEnds) {
  std::wstring text = L"old";
  EXPECT_TRUE(win_.RUN_Process(HelperPath(), L"sleep 1 0", 0, 0, &text));
  EXPECT_EQ(L"", text);
  EXPECT_TRUE(services_.waits->sleeps.empty());

  EXPECT_TRUE(win_.RUN_Process(HelperPath(), L"sleep 100 0", 30, 50, &text));
  EXPECT_EQ(L"", text);
  ASSERT_FALSE(services_.waits->sleeps.empty());
  EXPECT_EQ(1500u, services_.waits->sleeps.front());
}

TEST_F(ProgramsTest, RunProcessEndsAProgramThatOutlivesItsTimeOut) {
  ClearErrorLog();
  std::wstring text;
  EXPECT_FALSE(win_.RUN_Process(HelperPath(), L"sleep 20000 0", 2, 100, &text));
  EXPECT_EQ(L"[TimeOver] プログラム[" + HelperPath() + L"]の実行終了待ちでタイムアウトしました",
            text);
  EXPECT_NE(std::wstring::npos, ErrorLogText().find(text));
  EXPECT_TRUE(WaitUntil([&] { return !win_.IsProcRunning(kHelperName); }));
}

TEST_F(ProgramsTest, RunProcessStopsWhenTheCallerSetsTheStopFlag) {
  ClearErrorLog();
  services_.pump->hook = [&] {
    if (services_.pump->runs == 3) win_.StopFlag(1);
  };
  std::wstring text;
  EXPECT_FALSE(win_.RUN_Process(HelperPath(), L"sleep 20000 0", 60, 10, &text));
  EXPECT_EQ(L"[Stat] 停止FLAGがONになったのでデータ送信処理を中断しました", text);
  EXPECT_EQ(0, win_.StopFlag());
  EXPECT_NE(std::wstring::npos, ErrorLogText().find(text));
  EXPECT_TRUE(WaitUntil([&] { return !win_.IsProcRunning(kHelperName); }));
}

TEST_F(ProgramsTest, RunProcessReportsAFailedStart) {
  ClearErrorLog();
  const std::wstring missing = dir_ / L"missing.exe";
  std::wstring text;
  EXPECT_FALSE(win_.RUN_Process(missing, L"", 10, 0, &text));
  EXPECT_EQ(L"プログラム[" + missing + L"]の起動に失敗しました！:(0) ファイルが見つかりません", text);
  EXPECT_NE(std::wstring::npos, ErrorLogText().find(text));
}

TEST_F(ProgramsTest, PausesAndWaitsGoThroughTheWaits) {
  EXPECT_EQ(0, win_.WinSleep(250));
  // A negative time would sleep for ever.
  EXPECT_EQ(0, win_.WinSleep(-1));
  EXPECT_EQ((std::vector<DWORD>{250, 0}), services_.waits->sleeps);

  HelperProcess helper(L"sleep 5000 0");
  win_.WaitForExitProcess(static_cast<int32_t>(helper.Id()));
  win_.WaitForExitProcess(static_cast<int32_t>(helper.Id()), -1);
  EXPECT_EQ((std::vector<DWORD>{0, INFINITE}), services_.waits->waits);
  EXPECT_FALSE(helper.Ended());
}

}  // namespace
