#include <windows.h>

#include <gtest/gtest.h>

#include "ServicesTestSupport.h"
#include "System.h"
#include "Text.h"
#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

class ProcessesTest : public ::testing::Test {
 protected:
  ServicesUnderTest services_;
  clsWinCommon win_{services_.Seams(), services_.Windows()};
};

TEST_F(ProcessesTest, SnapshotFindsAndCountsByExecutableName) {
  EXPECT_FALSE(win_.IsProcRunning(L"  "));
  EXPECT_EQ(0, win_.GetProcRunningCount(L""));
  EXPECT_FALSE(win_.IsProcRunning(kHelperName));

  HelperProcess first(L"sleep 10000 0");
  // Letter case is ignored and blanks around the name are trimmed.
  EXPECT_TRUE(win_.IsProcRunning(L"NVWS_Helper.EXE "));
  EXPECT_EQ(1, win_.GetProcRunningCount(kHelperName));
  HelperProcess second(L"sleep 10000 0");
  EXPECT_EQ(2, win_.GetProcRunningCount(L" nvws_helper.exe"));

  const int16_t listed = win_.EnumProcessFromSnapshot();
  const auto& list = clsWinCommonTestAccess::Processes(win_);
  ASSERT_EQ(static_cast<size_t>(listed), list.size());
  int found = 0;
  for (const PROCESSENTRY32W& entry : list) {
    if (entry.th32ProcessID == first.Id() || entry.th32ProcessID == second.Id()) ++found;
  }
  EXPECT_EQ(2, found);
}

TEST_F(ProcessesTest, ProcessNamesFromTheProcessStatusFunctions) {
  HelperProcess helper(L"sleep 10000 0");
  ASSERT_TRUE(WaitUntil([&] { return !win_.GetProcessName(helper.Id()).empty(); }));
  EXPECT_TRUE(norvale::TextEqualsIgnoreCase(HelperPath(), win_.GetProcessName(helper.Id())));
  EXPECT_TRUE(norvale::TextEqualsIgnoreCase(kHelperName,
                                            win_.GetProcModuleBaseName(helper.Handle())));
  // No process has the id 3: nothing comes back and nothing is shown.
  EXPECT_EQ(L"", win_.GetProcessName(3));
  EXPECT_TRUE(services_.boxes->Asked().empty());

  EXPECT_TRUE(win_.IsProccessRunning(kHelperName));
  EXPECT_TRUE(win_.IsProccessRunning(HelperPath(), true));
  // The same file name in another folder is another program.
  EXPECT_FALSE(win_.IsProccessRunning(L"C:\\elsewhere\\" + std::wstring(kHelperName), true));
  EXPECT_FALSE(win_.IsProccessRunning(L" "));

  TerminateProcess(helper.Handle(), 0);
  ASSERT_TRUE(helper.Ended(5000));
  EXPECT_EQ(L"", win_.GetProcModuleBaseName(helper.Handle()));
  EXPECT_FALSE(win_.IsProccessRunning(kHelperName));
}

TEST_F(ProcessesTest, EndsProcessesByNameIdAndHandle) {
  HelperProcess first(L"sleep 10000 0"), second(L"sleep 10000 0");
  ASSERT_TRUE(WaitUntil([&] { return win_.IsProccessRunning(kHelperName); }));
  EXPECT_TRUE(win_.KillProccessByExeName(L"NVWS_HELPER.exe"));
  // Only the first one listed.
  const HANDLE both[] = {first.Handle(), second.Handle()};
  EXPECT_LT(WaitForMultipleObjects(2, both, FALSE, 5000), DWORD(WAIT_OBJECT_0 + 2));
  Sleep(100);
  ASSERT_NE(first.Ended(), second.Ended());
  HelperProcess& left = first.Ended() ? second : first;

  EXPECT_FALSE(win_.KillProcess(29));
  EXPECT_TRUE(win_.KillProcess(static_cast<int32_t>(left.Id())));
  EXPECT_TRUE(left.Ended(5000));

  HelperProcess third(L"sleep 10000 0");
  EXPECT_FALSE(win_.KillProcessByhWnd(nullptr));
  EXPECT_TRUE(win_.KillProcessByhWnd(third.Handle()));
  EXPECT_TRUE(third.Ended(5000));
  EXPECT_FALSE(win_.KillProccessByExeName(kHelperName));
}

// An executable's name is compared as the file system compares it: a
// program whose name differs in width or kana type is another program, and
// a path names the program only when it names its file.
TEST_F(ProcessesTest, NamesAndPathsOfProgramsAreFileNames) {
  HelperProcess helper(L"sleep 10000 0");
  ASSERT_TRUE(WaitUntil([&] { return win_.IsProccessRunning(kHelperName); }));
  const std::wstring wide = L"ＮＶＷＳ＿Ｈｅｌｐｅｒ.exe";
  EXPECT_FALSE(win_.IsProcRunning(wide));
  EXPECT_EQ(0, win_.GetProcRunningCount(wide));
  EXPECT_FALSE(win_.IsProccessRunning(wide));
  EXPECT_FALSE(win_.KillProccessByExeName(wide));
  EXPECT_FALSE(helper.Ended(100));

  const std::wstring path = HelperPath();
  EXPECT_TRUE(win_.IsProccessRunning(path.substr(0, path.rfind(L'\\')) + L"\\.\\" +
                                         kHelperName, true));
  EXPECT_FALSE(win_.IsProccessRunning(path.substr(3), true));
  EXPECT_FALSE(win_.IsProccessRunning(path.substr(0, path.rfind(L'\\')) + L"\\X" +
                                          kHelperName, true));
  // A folder whose name ends in a blank is not the folder without it: any
  // user may make one beside the program's folder.
  EXPECT_FALSE(win_.IsProccessRunning(path.substr(0, path.rfind(L'\\')) + L" \\" +
                                          kHelperName, true));
  wchar_t shortName[MAX_PATH] = {};
  const DWORD n = GetShortPathNameW(path.c_str(), shortName, MAX_PATH);
  if (n > 0 && n < MAX_PATH && path != shortName) {
    EXPECT_TRUE(win_.IsProccessRunning(std::wstring(shortName, n), true));
  }
}

TEST_F(ProcessesTest, TheSingleInstanceMutex) {
  const std::wstring name = UniqueName(L"mutex");
  EXPECT_EQ(nullptr, win_.Mutex_Create(L"  "));
  HANDLE mine = win_.Mutex_Create(name);
  ASSERT_NE(nullptr, mine);
  EXPECT_EQ(nullptr, win_.Mutex_Create(name));
  EXPECT_NE(0, win_.Win_CloseHandle(mine));
  // The refused second call let go of its handle, so the name is free again.
  HANDLE again = win_.Mutex_Create(name);
  EXPECT_NE(nullptr, again);
  win_.Win_CloseHandle(again);
}

TEST_F(ProcessesTest, TheModuleOfAWindowOfOurOwn) {
  HWND window = CreateWindowExW(0, L"STATIC", L"module", WS_POPUP, 0, 0, 10, 10, nullptr,
                                nullptr, GetModuleHandleW(nullptr), nullptr);
  ASSERT_NE(nullptr, window);
  EXPECT_TRUE(norvale::TextEqualsIgnoreCase(norvale::ProgramPath(),
                                            win_.GetWindowProcFileName(window)));
  DestroyWindow(window);
  EXPECT_EQ(0, win_.GetProccessInfo());
}

}  // namespace
