#pragma once
// A setup-information test's machine: Windows of the test's choice, drives
// with and without D:, recorded program starts and program end, scripted
// answers, and files written in the ANSI code page beside a state.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "InstallerState.h"
#include "ScriptedMessageBox.h"
#include "TempDir.h"
#include "forms/Application.h"

namespace setupinfo_testing {

class ProfileWindows final : public norvale::IWindowsFacts {
 public:
  DWORD major = 10, minor = 0, build = 19045;
  std::optional<bool> wow64 = true;
  bool versionFails = false;
  bool GetVersion(OSVERSIONINFOEXW& info) override;
  bool VerifyWorkstation() override { return true; }
  bool IsServerR2() override { return false; }
  std::optional<bool> IsWow64Process() override { return wow64; }
};

class FakeDrives final : public norvale::IDriveFacts {
 public:
  std::vector<std::string> roots = {"C:\\"};
  int64_t freeC = 0, freeD = 0;  // scaled by 10,000
  int64_t freeGigabytes = 0;     // scaled by 10,000
  std::string LogicalDriveStrings() override;
  int64_t FreeSpace(const std::wstring& root, bool isGB) override;
};

class RecordingStarts final : public norvale::IProgramStarts {
 public:
  std::vector<std::wstring> commandLines;
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override;
};

// Pauses and waits that take no time.
class NoWaits final : public norvale::IWaits {
 public:
  std::vector<DWORD> sleeps;
  void Sleep(DWORD milliseconds) override { sleeps.push_back(milliseconds); }
  DWORD WaitFor(HANDLE, DWORD) override { return WAIT_OBJECT_0; }
};

// Records the addresses it is asked to open; answers with `result`.
class RecordingOpener final : public norvale::IAddressOpener {
 public:
  std::vector<std::wstring> opened;
  int32_t result = 42;
  int32_t Open(const std::wstring& address) override {
    opened.push_back(address);
    return result;
  }
};

class RecordingEnd final : public norvale::forms::IProgramEnd {
 public:
  int ends = 0;
  using norvale::forms::IProgramEnd::End;
  void End(int) override { ++ends; }
};

enum class Machine { Windows7x86, Windows10x64, Windows11x64 };

// Everything one state is built over.
struct TestMachine {
  explicit TestMachine(Machine machine = Machine::Windows10x64);
  void Become(Machine machine);
  std::shared_ptr<ProfileWindows> windows = std::make_shared<ProfileWindows>();
  std::shared_ptr<FakeDrives> drives = std::make_shared<FakeDrives>();
  std::shared_ptr<RecordingStarts> starts = std::make_shared<RecordingStarts>();
  std::shared_ptr<RecordingEnd> end = std::make_shared<RecordingEnd>();
  std::shared_ptr<NoWaits> waits = std::make_shared<NoWaits>();
  std::shared_ptr<RecordingOpener> opener = std::make_shared<RecordingOpener>();
  std::shared_ptr<norvale::ScriptedMessageBox> boxes =
      std::make_shared<norvale::ScriptedMessageBox>();
  norvale::InstallerSeams Seams() const;
};

// A state whose "Start.ini" and setup information lie in the folder.
std::unique_ptr<norvale::InstallerState> StateIn(const TestMachine& machine,
                                                 const std::wstring& folder);

// Writes the text in the ANSI code page with CR LF line ends ("\n" in the
// text becomes CR LF).
void WriteAnsiFile(const std::wstring& path, const std::wstring& text);
std::wstring ReadAnsiFile(const std::wstring& path);

// An Uninstall entry under HKEY_LOCAL_MACHINE in both registry views,
// removed again at the end of the test.
class ScopedUninstallEntry {
 public:
  ScopedUninstallEntry(const std::wstring& appId, const std::wstring& appPath,
                       std::optional<std::wstring> uninstallString);
  ~ScopedUninstallEntry();
  ScopedUninstallEntry(const ScopedUninstallEntry&) = delete;
  ScopedUninstallEntry& operator=(const ScopedUninstallEntry&) = delete;

 private:
  std::wstring key_;
};

}  // namespace setupinfo_testing
