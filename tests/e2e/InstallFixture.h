#pragma once
// One installation of the sample package on a machine profile: the package
// served by the FTP test server, an installer folder with "Start.ini", the
// uninstaller, the archive DLL and the font scripts, the setup information
// downloaded and read by the start-up step, and the real engine's install
// run. The uninstaller then removes what it installed.
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FtpTestServer.h"
#include "InstallRun.h"
#include "PrefixSnapshot.h"
#include "SetupInfoTestSupport.h"
#include "TempDir.h"

namespace e2e {

class ProgressWindow final : public norvale::IInstallRunWindow {
 public:
  void Dispゲージ(int16_t) override {}
  void DoEvents() override {}
  std::shared_ptr<norvale::ITextDisplay> L_SETUP(int16_t) override { return nullptr; }
  void Chk_FinalRun(int16_t value) override { finalRun = value; }
  void C_CancelEnabled(bool) override {}
  int16_t finalRun = 1;
};

// One line of the package's manifest: a file the install folder receives.
struct ExpectedFile {
  std::vector<std::wstring> requirements;
  std::wstring installPath;  // below the install folder
  std::wstring source;       // full path of the expected bytes
};

class InstallFixture : public ::testing::Test {
 protected:
  static void SetUpTestSuite();
  static void TearDownTestSuite();
  void TearDown() override;

  // Downloads and reads the setup information on the machine; false when
  // the start-up step failed.
  bool Prepare(setupinfo_testing::Machine machine);
  // The install run after Prepare.
  void RunInstall();
  // The manifest's files whose requirements hold for the profile and the
  // record's choices.
  std::vector<ExpectedFile> ExpectedFiles() const;
  std::wstring App() const;
  norvale::InstallerState& State() { return *state_; }

  // Removes the installed product through the uninstaller's window, by its
  // pages or silently, then runs the command file it left with the command
  // interpreter.
  void Uninstall(bool silent);
  // Fails the test for every difference the snapshot taken before the
  // install shows now.
  void ExpectPrefixAsBefore();
  std::vector<std::wstring> ChangesSinceBefore();

  // What the install leaves: every file of the manifest and of the
  // installer's own, the record, the registrations.
  void ExpectInstalled();
  void ExpectRecord();
  // Nothing of the product is left, in files or registry.
  void ExpectNothingOfTheProduct(const std::wstring& app);
  std::wstring ProgramGroup() const { return state_->ProgramGroupDir; }
  bool Is64() const { return machine_ != setupinfo_testing::Machine::Windows7x86; }

  static std::wstring PackageFolder();
  static std::unique_ptr<testing_support::FtpTestServer> server_;

  setupinfo_testing::Machine machine_ = setupinfo_testing::Machine::Windows10x64;
  std::unique_ptr<testing_support::TempDir> installer_;
  std::unique_ptr<setupinfo_testing::TestMachine> profile_;
  std::shared_ptr<norvale::ScriptedMessageBox> installerBoxes_;
  std::unique_ptr<norvale::InstallerState> state_;
  std::unique_ptr<PrefixSnapshot> before_;
  bool installed_ = false;
  ProgressWindow window_;
  std::vector<std::wstring> ended_, commandFiles_;
  std::shared_ptr<norvale::ScriptedMessageBox> uninstallerBoxes_ =
      std::make_shared<norvale::ScriptedMessageBox>();
};

extern const wchar_t kFontsKey[];
extern const wchar_t kSampleFontValue[];

// The test process's own folder, and the user's temporary folder.
std::wstring TempFolder();
std::wstring WindowsFolder();
std::wstring ModuleFolder();
std::wstring ReadAnsi(const std::wstring& path);
bool PathExists(const std::wstring& path);
// A registry text value, "<none>" when it is missing.
std::wstring RegText(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view);
bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view);

}  // namespace e2e
