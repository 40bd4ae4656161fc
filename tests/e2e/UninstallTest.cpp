// Install through the installer's pages, then remove through the
// uninstaller: through its pages, and silently. Afterwards nothing of the
// product is left and the prefix is as it was before the install.
#include <algorithm>

#include "Handles.h"
#include "InstallFixture.h"
#include "RunningProgram.h"
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

// A product program still running during a silent removal: on Windows its
// file cannot be deleted. The removal stops partway with the product still
// registered and its uninstaller and record in place; run again from the
// registered entry once the program has ended, it removes the rest, although
// the shortcuts, fonts and associations are gone already.
TEST_F(InstallFixture, ARemovalStoppedByARunningProgramCanBeRunAgain) {
  ASSERT_TRUE(Open(Machine::Windows10x64)) << norvale::ToAnsi(State().ErrText);
  InstallThroughThePages();
  Finish();
  const std::wstring running = App() + L"\\NvStation.exe";
  testing_support::RunningProgram program(ModuleFolder() + L"\\running_product.exe", running);
  ASSERT_TRUE(program.Running());

  Uninstall(true, false);
  EXPECT_TRUE(PathExists(App() + L"\\Uninst\\Dekant00.exe"));
  EXPECT_TRUE(PathExists(App() + L"\\Uninst\\Setup.log"));
  EXPECT_TRUE(PathExists(running));
  // The entry stays where the installer writes it: the 64-bit view on
  // 64-bit Windows, whichever build runs.
  EXPECT_TRUE(RegKeyExists(HKEY_LOCAL_MACHINE,
                           L"SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\" +
                               facts_.appId,
                           Is64() ? KEY_WOW64_64KEY : 0));

  program.End();
  Uninstall(true);
  EXPECT_TRUE(uninstallerBoxes_->Asked().empty());
  ExpectNothingOfTheProduct();
  ExpectPrefixAsBefore();
}

}  // namespace
}  // namespace e2e
