#include <windows.h>

#include <gtest/gtest.h>

#include <memory>
#include <set>
#include <utility>
#include <vector>

#include "WinServicesTestSupport.h"
#include "clsWinCommon.h"
#include "forms/Application.h"
#include "forms/Form.h"

namespace forms = norvale::forms;

namespace {

// A notification area that keeps its icons as the shell does: one per window
// and id, added once, changed and removed only while there.
class FakeTray final : public norvale::INotificationArea {
 public:
  struct Call {
    DWORD message;
    std::wstring tip;
  };
  std::vector<Call> calls;
  std::set<std::pair<HWND, UINT>> shown;

  bool Notify(DWORD message, NOTIFYICONDATAW& icon) override {
    calls.push_back({message, icon.szTip});
    const auto key = std::make_pair(icon.hWnd, icon.uID);
    switch (message) {
      case NIM_ADD: return shown.insert(key).second;
      case NIM_MODIFY: return shown.count(key) == 1;
      case NIM_DELETE: return shown.erase(key) == 1;
      default: return false;
    }
  }
};

class TrayIconTest : public ::testing::Test {
 protected:
  forms::Application app;
  forms::Form form{app, L"FrmTray"};
  std::shared_ptr<FakeTray> tray = std::make_shared<FakeTray>();

  norvale::WinServicesSeams Windows() {
    norvale::WinServicesSeams windows = norvale::WinServicesSeams::System();
    windows.tray = tray;
    return windows;
  }
  bool IconShown() const { return tray->shown.count({form.hWnd(), 1u}) == 1; }

  void SetUp() override {
    form.Caption(L"トレイ試験");
    ASSERT_TRUE(form.Show());
  }
};

TEST_F(TrayIconTest, NothingHappensBeforeAWindowIsHandedOver) {
  clsWinCommon win(norvale::Seams::System(), Windows());
  EXPECT_FALSE(win.WinTaskBarIn());
  EXPECT_FALSE(win.WinTaskBarOut());
  EXPECT_FALSE(win.WinTaskBarModfy(nullptr));
  EXPECT_TRUE(::IsWindowVisible(form.hWnd()));
}

TEST_F(TrayIconTest, HidesIntoTheIconUpdatesItAndComesBack) {
  clsWinCommon win(norvale::Seams::System(), Windows());
  ASSERT_TRUE(win.WinTaskBarFormLoadProc(form));
  const NOTIFYICONDATAW& record = clsWinCommonTestAccess::TrayIcon(win);
  EXPECT_EQ(record.hWnd, form.hWnd());
  EXPECT_EQ(record.uID, 1u);
  EXPECT_EQ(record.uFlags, static_cast<UINT>(NIF_MESSAGE | NIF_ICON | NIF_TIP));
  EXPECT_EQ(record.uCallbackMessage, static_cast<UINT>(WM_MBUTTONDOWN));
  EXPECT_STREQ(record.szTip, L"トレイ試験");
  EXPECT_TRUE(::IsWindowVisible(form.hWnd())) << "handing over shows no icon yet";

  ASSERT_TRUE(win.WinTaskBarIn());
  EXPECT_FALSE(::IsWindowVisible(form.hWnd()));
  EXPECT_TRUE(IconShown());

  form.Caption(L"新しい題");
  EXPECT_TRUE(win.WinTaskBarModfy(&form));
  EXPECT_STREQ(clsWinCommonTestAccess::TrayIcon(win).szTip, L"新しい題");
  EXPECT_FALSE(::IsWindowVisible(form.hWnd())) << "an update leaves the window as it is";

  EXPECT_TRUE(win.WinTaskBarOut());
  EXPECT_TRUE(::IsWindowVisible(form.hWnd()));
  EXPECT_FALSE(IconShown());
  EXPECT_FALSE(win.WinTaskBarOut()) << "no icon left to remove";
}

TEST_F(TrayIconTest, ADoubleClickOnTheIconBringsTheWindowBackOtherClicksDoNot) {
  clsWinCommon win(norvale::Seams::System(), Windows());
  ASSERT_TRUE(win.WinTaskBarFormLoadProc(form));
  ASSERT_TRUE(win.WinTaskBarIn());
  // A real middle click on the form (MK_MBUTTON) is no report of the icon.
  SendMessageW(form.hWnd(), WM_MBUTTONDOWN, MK_MBUTTON, WM_LBUTTONDBLCLK);
  SendMessageW(form.hWnd(), WM_MBUTTONDOWN, 1, WM_LBUTTONDOWN);
  SendMessageW(form.hWnd(), WM_MBUTTONDOWN, 1, WM_RBUTTONDOWN);
  EXPECT_FALSE(::IsWindowVisible(form.hWnd()));

  SendMessageW(form.hWnd(), WM_MBUTTONDOWN, 1, WM_LBUTTONDBLCLK);
  EXPECT_TRUE(::IsWindowVisible(form.hWnd()));
  EXPECT_FALSE(IconShown());
}

TEST_F(TrayIconTest, ACaptionLongerThanTheTipIsCut) {
  clsWinCommon win(norvale::Seams::System(), Windows());
  form.Caption(std::wstring(300, L'あ'));
  ASSERT_TRUE(win.WinTaskBarFormLoadProc(form));
  const NOTIFYICONDATAW& record = clsWinCommonTestAccess::TrayIcon(win);
  EXPECT_EQ(std::wstring(record.szTip), std::wstring(std::size(record.szTip) - 1, L'あ'));
}

TEST_F(TrayIconTest, TheObjectsEndRemovesALeftBehindIconAndLetsTheFormGo) {
  {
    clsWinCommon win(norvale::Seams::System(), Windows());
    ASSERT_TRUE(win.WinTaskBarFormLoadProc(form));
    ASSERT_TRUE(win.WinTaskBarIn());
    ASSERT_TRUE(IconShown());
  }
  EXPECT_FALSE(IconShown());
  // The form no longer reports to the ended object.
  SendMessageW(form.hWnd(), WM_MBUTTONDOWN, 1, WM_LBUTTONDBLCLK);
  EXPECT_FALSE(::IsWindowVisible(form.hWnd()));
  form.Show();
}

TEST_F(TrayIconTest, TheEndWithoutAnIconShownDoesNotFail) {
  auto win = std::make_unique<clsWinCommon>(norvale::Seams::System(), Windows());
  ASSERT_TRUE(win->WinTaskBarFormLoadProc(form));
  win.reset();
  ASSERT_EQ(tray->calls.size(), 1u);
  EXPECT_EQ(tray->calls[0].message, static_cast<DWORD>(NIM_DELETE));
  EXPECT_TRUE(::IsWindowVisible(form.hWnd()));
}

}  // namespace

// Without a shell there is no notification area: the add fails and the
// window must not stay hidden without a way back.
TEST(TrayIconWithoutShellTest, AFailedAddShowsTheWindowAgain) {
  forms::Application app;
  forms::Form form{app, L"FrmTrayReal"};
  ASSERT_TRUE(form.Show());
  clsWinCommon win;
  ASSERT_TRUE(win.WinTaskBarFormLoadProc(form));
  if (FindWindowW(L"Shell_TrayWnd", nullptr)) GTEST_SKIP() << "a shell's taskbar is running";
  EXPECT_FALSE(win.WinTaskBarIn());
  EXPECT_TRUE(::IsWindowVisible(form.hWnd()));
}
