#pragma once
// One installation of the sample package on a machine profile: the package
// served by the FTP test server, an installer folder with "Start.ini", the
// uninstaller, the archive DLL and the font scripts, and the installer
// window driven through its pages as a user does, which downloads the setup
// information and runs the real engine. The uninstaller then removes what it
// installed.
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "FtpTestServer.h"
#include "PageMachineSupport.h"
#include "InstallRun.h"
#include "PrefixSnapshot.h"
#include "SetupInfoTestSupport.h"
#include "TempDir.h"

namespace e2e {

// Program starts as the system makes them, except the one at the finish
// page, which is only recorded: the product must not run while it is
// removed.
class StartsButFinalProgram final : public norvale::IProgramStarts {
 public:
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override {
    return system_.Start(commandLine, showState, processId, process);
  }
  bool StartProgram(const std::wstring&, const std::wstring& commandLine, int, DWORD* processId,
                    HANDLE* process) override {
    finalPrograms.push_back(commandLine);
    if (processId) *processId = 0;
    if (process) *process = nullptr;
    return true;
  }
  std::vector<std::wstring> finalPrograms;

 private:
  norvale::SystemProgramStarts system_;
};

// What the checks need of an install once its window is gone.
struct InstalledFacts {
  std::wstring app, appId, desktop, startup, group;
  bool tasks[4] = {};    // 1..3 ticked
  bool options[3] = {};  // 1..2 chosen in the one group
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

  // Opens the installer window on the machine: its start-up downloads and
  // reads the setup information. Then the snapshot of the prefix is taken.
  bool Open(setupinfo_testing::Machine machine);
  // Presses Next up to the ready page; `choose` runs on the option page and
  // on the tasks page. Then Next installs, and the run ends on the finish
  // page, whose facts are kept.
  void InstallThroughThePages(const std::function<void(wizard_testing::WizardProbe&)>& choose = nullptr);
  // Finish on the finish page: the window unloads.
  void Finish();
  // The manifest's files whose requirements hold for the profile and the
  // install's choices.
  std::vector<ExpectedFile> ExpectedFiles() const;
  std::wstring App() const { return facts_.app; }
  norvale::InstallerState& State() { return *window_->State(); }

  // Removes the installed product through the uninstaller's window, by its
  // pages or silently, then runs the command file it left with the command
  // interpreter (not when the removal is to stop partway, which leaves none).
  void Uninstall(bool silent, bool completes = true);
  // Fails the test for every difference the snapshot taken before the
  // install shows now.
  void ExpectPrefixAsBefore();
  std::vector<std::wstring> ChangesSinceBefore();

  // What the install leaves: every file of the manifest and of the
  // installer's own, the record, the registrations.
  void ExpectInstalled();
  void ExpectRecord();
  // Nothing of the product is left, in files or registry.
  void ExpectNothingOfTheProduct();
  bool Is64() const { return machine_ != setupinfo_testing::Machine::Windows7x86; }

  static std::wstring PackageFolder();
  static std::unique_ptr<testing_support::FtpTestServer> server_;

  setupinfo_testing::Machine machine_ = setupinfo_testing::Machine::Windows10x64;
  std::unique_ptr<testing_support::TempDir> installer_;
  std::unique_ptr<setupinfo_testing::TestMachine> profile_;
  std::shared_ptr<norvale::ScriptedMessageBox> installerBoxes_;
  std::shared_ptr<StartsButFinalProgram> starts_ = std::make_shared<StartsButFinalProgram>();
  std::shared_ptr<wizard_testing::RecordingActions> actions_ =
      std::make_shared<wizard_testing::RecordingActions>();
  std::unique_ptr<norvale::forms::Application> app_;
  std::unique_ptr<wizard_testing::WizardProbe> window_;
  InstalledFacts facts_;
  std::unique_ptr<PrefixSnapshot> before_;
  bool installed_ = false;
  std::shared_ptr<norvale::ScriptedMessageBox> uninstallerBoxes_ =
      std::make_shared<norvale::ScriptedMessageBox>();
};

extern const wchar_t kFontsKey[];
extern const wchar_t kSampleFontValue[];

// The test process's own folder, and the user's temporary folder.
std::wstring TempFolder();
std::wstring WindowsFolder();
std::wstring ModuleFolder();
bool PathExists(const std::wstring& path);
// A registry text value, "<none>" when it is missing.
std::wstring RegText(HKEY root, const std::wstring& key, const std::wstring& name, REGSAM view);
bool RegKeyExists(HKEY root, const std::wstring& key, REGSAM view);

}  // namespace e2e
