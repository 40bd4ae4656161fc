// The sample package installed end to end through the installer window's
// pages, from the FTP test server: what arrives on 64-bit Windows 10 and on
// 32-bit Windows 7, and how the options and tasks chosen on the pages
// change it.
#include "InstallFixture.h"
#include "Text.h"

namespace e2e {
namespace {

using setupinfo_testing::Machine;

TEST_F(InstallFixture, Windows10x64GetsItsFilesRecordAndRegistrations) {
  ASSERT_TRUE(Open(Machine::Windows10x64)) << norvale::ToAnsi(State().ErrText);
  // The encoded "Start.ini" led to the server.
  EXPECT_EQ(State().StartServer.ip, server_->Host());
  EXPECT_EQ(State().StartServer.port, server_->Port());
  EXPECT_EQ(State().StartServer.user, server_->User());
  EXPECT_EQ(State().StartServer.pw, server_->Password());
  EXPECT_EQ(State().StartServer.path, L"/norvale");
  // The welcome page names the product once, then its version.
  EXPECT_EQ(window_->L_Start(1)->Caption(),
            L"このプログラムはご使用のコンピュータへNorvale POS Ver 3.2をインストールします。");
  InstallThroughThePages();
  EXPECT_EQ(App(), L"C:\\Norvale POS");
  ExpectInstalled();
  ExpectRecord();
  EXPECT_TRUE(PathExists(App() + L"\\compat\\NvToast.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\compat\\NvCompat7.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\Setup_Start.txt"));

  // Finish with the product's start ticked starts exactly its program.
  ASSERT_EQ(window_->Chk_FinalRun.Value(), 1);
  Finish();
  EXPECT_EQ(starts_->finalPrograms, std::vector<std::wstring>{L"\"" + App() + L"\\NorvalePos.exe\""});
  EXPECT_TRUE(actions_->calls.empty());
}

TEST_F(InstallFixture, Windows7x86GetsItsOwnEntries) {
  ASSERT_TRUE(Open(Machine::Windows7x86)) << norvale::ToAnsi(State().ErrText);
  InstallThroughThePages();
  ExpectInstalled();
  ExpectRecord();
  EXPECT_TRUE(PathExists(App() + L"\\compat\\NvCompat7.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\compat\\NvToast.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\NvTray.CMD"));
}

TEST_F(InstallFixture, TheChosenOptionAndTasksDecideWhatArrives) {
  ASSERT_TRUE(Open(Machine::Windows10x64)) << norvale::ToAnsi(State().ErrText);
  ASSERT_EQ(State().SelectGroupCount, 1);
  ASSERT_EQ(State().SelectGroups[1].optionCount, 2);
  ASSERT_EQ(State().CheckItemCount, 3);
  InstallThroughThePages([](wizard_testing::WizardProbe& w) {
    if (w.State()->PageNo == 1) {
      ASSERT_TRUE(w.Opt_SelItem(2));
      w.Opt_SelItem(2)->Value(true);  // 小売店向けテンプレート
    } else {
      w.Chk_Check(1)->Value(0);
      w.Chk_Check(2)->Value(1);
      w.Chk_Check(3)->Value(0);
    }
  });
  EXPECT_FALSE(facts_.options[1]);
  EXPECT_TRUE(facts_.options[2]);
  ExpectInstalled();
  EXPECT_TRUE(PathExists(App() + L"\\templates\\小売\\テンプレート_09.tpl"));
  EXPECT_FALSE(PathExists(App() + L"\\templates\\飲食"));
  EXPECT_TRUE(PathExists(App() + L"\\sample\\売上\\2026-10.csv"));
}

}  // namespace
}  // namespace e2e
