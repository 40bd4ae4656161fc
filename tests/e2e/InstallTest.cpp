// The sample package installed end to end by the real engine from the FTP
// test server: what arrives on 64-bit Windows 10 and on 32-bit Windows 7,
// and how the options and tasks change it.
#include "InstallFixture.h"
#include "Text.h"

namespace e2e {
namespace {

using setupinfo_testing::Machine;

TEST_F(InstallFixture, Windows10x64GetsItsFilesRecordAndRegistrations) {
  ASSERT_TRUE(Prepare(Machine::Windows10x64)) << norvale::ToAnsi(State().ErrText);
  // The encoded "Start.ini" led to the server.
  EXPECT_EQ(State().StartServer.ip, server_->Host());
  EXPECT_EQ(State().StartServer.port, server_->Port());
  EXPECT_EQ(State().StartServer.user, server_->User());
  EXPECT_EQ(State().StartServer.pw, server_->Password());
  EXPECT_EQ(State().StartServer.path, L"/norvale");
  EXPECT_EQ(State().Caption, L"Norvale POS Installer Ver 1.0.00");
  EXPECT_EQ(App(), L"C:\\Norvale POS");
  RunInstall();
  ExpectInstalled();
  ExpectRecord();
  EXPECT_TRUE(PathExists(App() + L"\\compat\\NvToast.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\compat\\NvCompat7.dll"));
  EXPECT_TRUE(ended_.empty());
  EXPECT_TRUE(commandFiles_.empty());
}

TEST_F(InstallFixture, Windows7x86GetsItsOwnEntries) {
  ASSERT_TRUE(Prepare(Machine::Windows7x86)) << norvale::ToAnsi(State().ErrText);
  RunInstall();
  ExpectInstalled();
  ExpectRecord();
  EXPECT_TRUE(PathExists(App() + L"\\compat\\NvCompat7.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\compat\\NvToast.dll"));
  EXPECT_FALSE(PathExists(App() + L"\\NvTray.CMD"));
}

TEST_F(InstallFixture, TheChosenOptionAndTasksDecideWhatArrives) {
  ASSERT_TRUE(Prepare(Machine::Windows10x64)) << norvale::ToAnsi(State().ErrText);
  norvale::InstallerState& s = State();
  ASSERT_EQ(s.SelectGroupCount, 1);
  ASSERT_EQ(s.SelectGroups[1].optionCount, 2);
  ASSERT_EQ(s.CheckItemCount, 3);
  s.SelectGroups[1].options[1].chosen = 0;
  s.SelectGroups[1].options[2].chosen = -1;
  s.CheckItems[1].checked = 0;
  s.CheckItems[2].checked = 1;
  s.CheckItems[3].checked = 0;
  RunInstall();
  ExpectInstalled();
  EXPECT_TRUE(PathExists(App() + L"\\templates\\小売\\テンプレート_09.tpl"));
  EXPECT_FALSE(PathExists(App() + L"\\templates\\飲食"));
  EXPECT_TRUE(PathExists(App() + L"\\sample\\売上\\2026-10.csv"));
}

}  // namespace
}  // namespace e2e
