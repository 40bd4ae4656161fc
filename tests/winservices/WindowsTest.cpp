#include <windows.h>

#include <gtest/gtest.h>

#include <vector>

#include "ServicesTestSupport.h"
#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"

using namespace testing_support;

namespace {

// Top-level windows of the test process itself.
class OwnWindows {
 public:
  OwnWindows() {
    WNDCLASSW windowClass{};
    windowClass.lpfnWndProc = DefWindowProcW;
    windowClass.hInstance = GetModuleHandleW(nullptr);
    windowClass.lpszClassName = L"NorvaleOwnTestWindow";
    RegisterClassW(&windowClass);
  }
  ~OwnWindows() {
    for (HWND window : windows_) DestroyWindow(window);
  }
  HWND Create(const std::wstring& caption) {
    HWND window = CreateWindowExW(0, L"NorvaleOwnTestWindow", caption.c_str(),
                                  WS_OVERLAPPEDWINDOW, 20, 20, 200, 100, nullptr, nullptr,
                                  GetModuleHandleW(nullptr), nullptr);
    if (window) {
      ShowWindow(window, SW_SHOW);
      windows_.push_back(window);
    }
    return window;
  }

 private:
  std::vector<HWND> windows_;
};

// True when `upper` comes before `lower` in the z-order.
bool IsAbove(HWND upper, HWND lower) {
  for (HWND w = GetWindow(upper, GW_HWNDNEXT); w; w = GetWindow(w, GW_HWNDNEXT)) {
    if (w == lower) return true;
  }
  return false;
}

bool IsTopmost(HWND window) {
  return (GetWindowLongW(window, GWL_EXSTYLE) & WS_EX_TOPMOST) != 0;
}

DWORD ForegroundLockTimeout() {
  DWORD value = 0;
  SystemParametersInfoW(SPI_GETFOREGROUNDLOCKTIMEOUT, 0, &value, 0);
  return value;
}

class WindowsTest : public ::testing::Test {
 protected:
  ServicesUnderTest services_;
  clsWinCommon win_{services_.Seams(), services_.Windows()};
};

TEST_F(WindowsTest, FindsTheWindowsOfAProgramByCaptionAndProcess) {
  const std::wstring first = UniqueName(L"first"), second = UniqueName(L"second");
  HelperProcess helper(L"window 20000 " + first + L" " + second);
  ASSERT_TRUE(WaitUntil([&] {
    return win_.GethWndFromCaption(first) && win_.GethWndFromCaption(second);
  }));
  HWND a = win_.GethWndFromCaption(first), b = win_.GethWndFromCaption(second);
  EXPECT_EQ(clsWinCommon::kBothBlank, win_.GethWndFromCaption(L"  ", L" "));
  EXPECT_EQ(nullptr, win_.GethWndFromCaption(UniqueName(L"nobody")));
  EXPECT_EQ(static_cast<int32_t>(helper.Id()),
            win_.GetPidFromHwnd(win_.GethWndFromCaption(L"", L"NorvaleServicesTestWindow")));

  EXPECT_EQ(static_cast<int32_t>(helper.Id()), win_.GetPidFromHwnd(a));
  EXPECT_EQ(0, win_.GetPidFromHwnd(nullptr));
  EXPECT_EQ(first, win_.GetWindowCaption(a));
  EXPECT_EQ(-1, win_.IsWindowVisible(a));
  // The lower of the program's two visible windows.
  EXPECT_EQ(IsAbove(a, b) ? b : a, win_.GetHwndFromPid(static_cast<int32_t>(helper.Id())));
  EXPECT_EQ(nullptr, win_.GetHwndFromPid(0));

  EXPECT_FALSE(win_.SetWindow表示ByPID(0, SW_HIDE));
  EXPECT_TRUE(win_.SetWindow表示ByPID(static_cast<int32_t>(helper.Id()), SW_HIDE));
  EXPECT_EQ(0, win_.IsWindowVisible(a));
  EXPECT_EQ(0, win_.IsWindowVisible(b));
  // Hidden windows are not the program's windows to show.
  EXPECT_EQ(nullptr, win_.GetHwndFromPid(static_cast<int32_t>(helper.Id())));
  EXPECT_FALSE(win_.SetWindow表示ByPID(static_cast<int32_t>(helper.Id()), SW_SHOW));

  // The windows' own close command ends the program once both are gone.
  win_.KillWindow(a);
  EXPECT_FALSE(helper.Ended(100));
  win_.KillWindow(b);
  EXPECT_TRUE(helper.Ended(5000));
}

TEST_F(WindowsTest, ForegroundAndZOrder) {
  EXPECT_FALSE(win_.SetWindow前面(nullptr));
  EXPECT_EQ(0, services_.pump->runs);

  OwnWindows own;
  HWND one = own.Create(UniqueName(L"one")), two = own.Create(UniqueName(L"two"));
  ASSERT_TRUE(one && two);
  const DWORD lockTimeout = ForegroundLockTimeout();

  EXPECT_TRUE(win_.SetWindow前面(one));
  EXPECT_EQ(one, GetForegroundWindow());
  EXPECT_TRUE(IsAbove(one, two));
  EXPECT_FALSE(IsTopmost(one));
  EXPECT_EQ(3, services_.pump->runs);
  EXPECT_EQ(lockTimeout, ForegroundLockTimeout());

  EXPECT_TRUE(win_.SetWindow前面(one, -1));
  EXPECT_TRUE(IsTopmost(one));
  EXPECT_TRUE(win_.SetWindow前面(one, -2));
  EXPECT_FALSE(IsTopmost(one));

  // To the bottom without a change of the foreground.
  EXPECT_TRUE(win_.SetWindow前面(two, 1));
  EXPECT_TRUE(IsAbove(one, two));
  EXPECT_EQ(one, GetForegroundWindow());
  const int runs = services_.pump->runs;
  EXPECT_TRUE(win_.SetWindow前面(two, 5));
  EXPECT_EQ(runs, services_.pump->runs);
  EXPECT_TRUE(IsAbove(one, two));

  win_.ActivateWindowByHwnd(two);
  EXPECT_EQ(two, GetForegroundWindow());
  win_.ActivateWindowByHwnd(nullptr);
  EXPECT_EQ(two, GetForegroundWindow());
}

TEST_F(WindowsTest, ShowingHidingAndTheSystemMenu) {
  OwnWindows own;
  HWND window = own.Create(UniqueName(L"menu"));
  ASSERT_NE(nullptr, window);
  EXPECT_FALSE(win_.SetWindow表示(nullptr, SW_HIDE));
  EXPECT_TRUE(win_.SetWindow表示(window, SW_HIDE));
  EXPECT_FALSE(win_.SetWindow表示(window, SW_SHOW));
  EXPECT_EQ(-1, win_.IsWindowVisible(window));

  // The item goes from the window's own system menu, not from a copy.
  const auto closeItemState = [window] {
    return GetMenuState(GetSystemMenu(window, FALSE), SC_CLOSE, MF_BYCOMMAND);
  };
  EXPECT_NE(static_cast<UINT>(-1), closeItemState());
  EXPECT_NE(0, win_.RemoveSysMenu(window, SC_CLOSE));
  EXPECT_EQ(static_cast<UINT>(-1), closeItemState());
  EXPECT_EQ(0, win_.RemoveSysMenu(window, SC_CLOSE));
}

TEST_F(WindowsTest, AProgramWithHiddenWindowsOnlyShowsNone) {
  const std::wstring caption = UniqueName(L"hidden");
  HelperProcess helper(L"hidden 20000 " + caption);
  ASSERT_TRUE(WaitUntil([&] { return win_.GethWndFromCaption(caption) != nullptr; }));
  EXPECT_EQ(0, win_.IsWindowVisible(win_.GethWndFromCaption(caption)));
  EXPECT_EQ(nullptr, win_.GetHwndFromPid(static_cast<int32_t>(helper.Id())));
}

}  // namespace
