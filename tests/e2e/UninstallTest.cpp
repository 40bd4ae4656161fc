// Install through the installer's pages, then remove through the
// uninstaller: through its pages, and silently. Afterwards nothing of the
// product is left and the prefix is as it was before the install.
#include <algorithm>

#include "InstallFixture.h"
#include "Text.h"

namespace e2e {
namespace {

using setupinfo_testing::Machine;

TEST_F(InstallFixture, ThePagesRemoveEverythingTheInstallMade) {
  ASSERT_TRUE(Open(Machine::Windows10x64)) << norvale::ToAnsi(State().ErrText);
  InstallThroughThePages();
  Finish();
  ASSERT_TRUE(PathExists(App() + L"\\Uninst\\Setup.log"));
  // The snapshot sees the install, so its silence afterwards means something.
  const std::vector<std::wstring> changes = ChangesSinceBefore();
  for (const wchar_t* made : {L"+ F c:\\norvale pos\\uninst\\setup.log",
                              L"+ K hklm\\software\\classes\\.npos\\",
                              L"+ F c:\\windows\\fonts\\norvalesans.ttf"}) {
    EXPECT_NE(std::find(changes.begin(), changes.end(), made), changes.end())
        << norvale::ToAnsi(made);
  }
  Uninstall(false);
  for (const auto& question : uninstallerBoxes_->Asked()) {
    ADD_FAILURE() << "asked: " << norvale::ToAnsi(question.title + L" / " + question.text);
  }
  ExpectNothingOfTheProduct();
  ExpectPrefixAsBefore();
}

TEST_F(InstallFixture, TheSilentRunRemovesEverythingOnWindows7) {
  ASSERT_TRUE(Open(Machine::Windows7x86)) << norvale::ToAnsi(State().ErrText);
  InstallThroughThePages();
  Finish();
  ASSERT_TRUE(PathExists(App() + L"\\Uninst\\Setup.log"));
  Uninstall(true);
  EXPECT_TRUE(uninstallerBoxes_->Asked().empty());
  ExpectNothingOfTheProduct();
  ExpectPrefixAsBefore();
}

}  // namespace
}  // namespace e2e
