// The start-up windows on their own: input checks, the link, the gauge.
#include <gtest/gtest.h>

#include "Form_IpInput.h"
#include "Form_MSG.h"
#include "Form_UpdateMsg.h"
#include "SetupInfoTestSupport.h"


using namespace norvale;
using namespace setupinfo_testing;

namespace {

class DialogsTest : public ::testing::Test {
 protected:
  TestMachine machine;
  forms::Application app{machine.end};
};

}  // namespace

// The progress window and the server dialog carry the installer window's
// header picture in their header strip.
TEST_F(DialogsTest, TheHeadersShowTheInstallerLogo) {
  Form_MSG progress(app);
  Form_IpInput dialog(app, machine.Seams().common);
  for (forms::Image* logo : {&progress.Image_H, &dialog.Image_H}) {
    EXPECT_TRUE(logo->HasPicture());
    EXPECT_TRUE(logo->Stretch());
  }
}

TEST_F(DialogsTest, ServerDialogChecksItsBoxesInOrder) {
  std::wstring ip = L"10.0.0.1", user = L"u", pw = L"p", dir = L"/pos", file = L"Setup.ini";
  Form_IpInput dialog(app, machine.Seams().common);
  std::vector<std::wstring> focusAfterRefusal;
  dialog.Shown = [&](Form_IpInput& d) {
    EXPECT_EQ(d.T_FTP(2)->PasswordChar(), L"*");
    d.T_FTP(0)->Text(L"   ");
    d.C_OK.Click(-1);
    EXPECT_EQ(d.T_FTP(0)->Text(), L"   ");  // the typed blanks stay
    d.T_FTP(0)->Text(L" 10.0.0.2 ");
    d.T_FTP(1)->Text(L"");
    d.C_OK.Click(-1);
    d.T_FTP(1)->Text(L"user");
    d.T_FTP(2)->Text(L"");
    d.C_OK.Click(-1);
    EXPECT_TRUE(d.IsLoaded());
    d.T_FTP(2)->Text(L"secret");
    d.T_FTP(3)->Text(L"");
    d.C_OK.Click(-1);
  };
  ASSERT_TRUE(dialog.ShowForm(ip, user, pw, dir, file));
  const auto& asked = machine.boxes->Asked();
  ASSERT_EQ(asked.size(), 3u);
  EXPECT_EQ(asked[0].text, L"FTPサーバーIPが入力されていません！");
  EXPECT_EQ(asked[1].text, L"ユーザーIDが入力されていません！");
  EXPECT_EQ(asked[2].text, L"パスワードが入力されていません！");
  EXPECT_EQ(asked[0].title, L"入力に誤りがあります！");
  EXPECT_EQ(ip, L" 10.0.0.2 ");  // stored as typed
  EXPECT_EQ(pw, L"secret");
  EXPECT_EQ(dir, L"/");
}

TEST_F(DialogsTest, CancellingTheServerDialogLeavesTheValues) {
  std::wstring ip = L"a", user = L"b", pw = L"c", dir = L"d", file = L"e";
  Form_IpInput dialog(app, machine.Seams().common);
  dialog.Shown = [&](Form_IpInput& d) {
    d.T_FTP(0)->Text(L"changed");
    d.C_Cancel.Click(-1);
  };
  EXPECT_FALSE(dialog.ShowForm(ip, user, pw, dir, file));
  EXPECT_EQ(ip, L"a");
}

TEST_F(DialogsTest, TheNoticeOpensOnlyWebAddresses) {
  for (const wchar_t* address : {L"file:///C:/Windows/notepad.exe", L"C:\\evil.exe", L""}) {
    Form_UpdateMsg notice(app, machine.Seams(), L"2.1.05");
    bool linkShown = true;
    notice.Shown = [&](Form_UpdateMsg& n) {
      linkShown = n.L_URL.Visible();
      n.L_URL.Click(-1);
      n.C_Cancel.Click(-1);
    };
    EXPECT_FALSE(notice.ShowForm(address));
    EXPECT_EQ(linkShown, std::wstring(address).size() > 0);
  }
  EXPECT_TRUE(machine.opener->opened.empty());
  EXPECT_EQ(machine.end->ends, 0);

  Form_UpdateMsg notice(app, machine.Seams(), L"2.1.05");
  std::wstring caption;
  notice.Shown = [&](Form_UpdateMsg& n) {
    caption = n.Caption();
    n.L_URL.Click(-1);
    n.C_Cancel.Click(-1);
  };
  notice.ShowForm(L"  https://example.jp/new  ");
  EXPECT_EQ(caption, L"Norvale Installer Ver2.1.05");
  EXPECT_EQ(machine.opener->opened, std::vector<std::wstring>{L"https://example.jp/new"});
  EXPECT_EQ(machine.waits->sleeps, std::vector<DWORD>{1000});
  EXPECT_EQ(machine.end->ends, 1);
}

// The address shows the hand pointer, as a link does; the notice's other
// texts the usual one.
TEST_F(DialogsTest, TheAddressShowsAHandPointer) {
  Form_UpdateMsg notice(app, machine.Seams(), L"1.0.00");
  EXPECT_EQ(notice.L_URL.MousePointer(), forms::PointerShape::kHand);
  EXPECT_EQ(notice.L_MSG(0)->MousePointer(), forms::PointerShape::kDefault);
  HCURSOR overAddress = nullptr, overText = nullptr;
  notice.Shown = [&](Form_UpdateMsg& n) {
    const auto pointerOver = [](HWND hwnd) {
      SetCursor(nullptr);
      SendMessageW(hwnd, WM_SETCURSOR, reinterpret_cast<WPARAM>(hwnd),
                   MAKELPARAM(HTCLIENT, WM_MOUSEMOVE));
      return GetCursor();
    };
    overAddress = pointerOver(n.L_URL.hWnd());
    overText = pointerOver(n.L_MSG(0)->hWnd());
    n.C_Cancel.Click(-1);
  };
  notice.ShowForm(L"https://example.jp/new");
  EXPECT_EQ(overAddress, LoadCursorW(nullptr, IDC_HAND));
  EXPECT_EQ(overText, LoadCursorW(nullptr, IDC_ARROW));
}

TEST_F(DialogsTest, ABrowserThatDoesNotStartIsExplained) {
  machine.opener->result = 2;
  Form_UpdateMsg notice(app, machine.Seams(), L"1.0.00");
  notice.Shown = [&](Form_UpdateMsg& n) {
    n.L_URL.Click(-1);
    n.C_Cancel.Click(-1);
  };
  notice.ShowForm(L"http://example.jp/");
  ASSERT_EQ(machine.boxes->Asked().size(), 1u);
  EXPECT_EQ(machine.boxes->Asked()[0].title, L"ブラウザを起動できません");
  EXPECT_EQ(machine.end->ends, 0);
}

TEST_F(DialogsTest, ProgressGauge) {
  Form_MSG progress(app);
  progress.Load();
  progress.Dispゲージ(50);
  EXPECT_TRUE(progress.Pic_ingM.Visible());
  EXPECT_EQ(progress.Pic_ing.Width(), 3150);
  progress.Dispゲージ(150);  // no upper limit
  EXPECT_EQ(progress.Pic_ing.Width(), 9450);
  progress.Dispゲージ(-1);
  EXPECT_FALSE(progress.Pic_ingM.Visible());
  progress.MessageDisplay()->SetText(L"受信中...");
  EXPECT_EQ(progress.L_MSG.Caption(), L"受信中...");
  progress.Unload();
}
