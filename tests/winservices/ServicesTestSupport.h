#pragma once
// Fixtures of the program, process, window and shutdown tests: the helper
// program the tests start themselves, recorders in place of the dangerous
// system calls and the dialogs, waits that take no real time, and the error
// log of the test binary.
#include <windows.h>
#include <shellapi.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "FakeClock.h"
#include "Handles.h"
#include "ScriptedMessageBox.h"
#include "Seams.h"
#include "WinServicesSeams.h"

namespace testing_support {

// The helper program built beside the test binary, and its file name.
std::wstring HelperPath();
extern const wchar_t kHelperName[];

// One run of the helper program; ended and awaited when the owner goes.
class HelperProcess {
 public:
  // Starts "nvws_helper <arguments>" hidden.
  explicit HelperProcess(const std::wstring& arguments);
  ~HelperProcess();
  HelperProcess(const HelperProcess&) = delete;
  HelperProcess& operator=(const HelperProcess&) = delete;

  DWORD Id() const { return id_; }
  HANDLE Handle() const { return process_.Get(); }
  bool Ended(DWORD waitMilliseconds = 0) const;
  DWORD ExitCode() const;

 private:
  norvale::KernelHandle process_;
  DWORD id_ = 0;
};

// Polls the condition every 10 ms for at most the given time.
bool WaitUntil(const std::function<bool()>& condition, DWORD milliseconds = 5000);

// Records every dangerous call as one line and answers with `answer`.
class RecordingActions final : public norvale::ISystemActions {
 public:
  bool answer = true;
  DWORD dialogAnswer = NO_ERROR;
  std::vector<std::wstring> calls;
  std::vector<SYSTEMTIME> clocks;

  bool EnablePrivilege(const std::wstring& name) override;
  bool RequestExitWindows(UINT flags, DWORD reason) override;
  bool InitiateShutdown(const std::wstring& computer, const std::wstring& message,
                        DWORD timeoutSeconds, bool forceAppsClosed, bool reboot) override;
  bool SetSystemClock(const SYSTEMTIME& utc) override;
  bool SetLocalClock(const SYSTEMTIME& local) override;
  bool DeviceControl(const std::wstring& device, DWORD controlCode) override;
  DWORD FormatDriveDialog(HWND owner, UINT drive, UINT formatId, UINT options) override;
  DWORD DisconnectDialog(HWND owner, DWORD resourceType) override;
};

// Records program starts; starts nothing.
class RecordingStarts final : public norvale::IProgramStarts {
 public:
  struct Start {
    std::wstring commandLine;
    int showState;
  };
  std::vector<Start> starts;
  bool Start(const std::wstring& commandLine, int showState, DWORD* processId,
             HANDLE* process) override;
};

// Waits in virtual time: each pause and each wait that times out moves the
// clock on by its length at once.
class VirtualWaits final : public norvale::IWaits {
 public:
  explicit VirtualWaits(std::shared_ptr<FakeClock> clock) : clock_(std::move(clock)) {}
  std::vector<DWORD> sleeps;
  std::vector<DWORD> waits;
  void Sleep(DWORD milliseconds) override;
  DWORD WaitFor(HANDLE handle, DWORD milliseconds) override;

 private:
  void Advance(DWORD milliseconds);
  std::shared_ptr<FakeClock> clock_;
};

// A message loop whose every run also calls the test's hook.
class HookedPump final : public norvale::IMessagePump {
 public:
  std::function<void()> hook;
  int runs = 0;
  void DoEvents() override;
};

// Records each shell file operation; passes to the shell only deletes that
// do not go to the recycle bin and copies.
class RecordingShellFiles final : public norvale::IShellFileOperations {
 public:
  struct Operation {
    UINT function;
    std::wstring from, to;  // NUL-separated as handed over, without the end
    FILEOP_FLAGS flags;
  };
  std::vector<Operation> operations;
  int Operate(SHFILEOPSTRUCTW& operation) override;
};

// Everything a test may swap, with recorders in place of the dangerous
// calls.
struct ServicesUnderTest {
  std::shared_ptr<norvale::ScriptedMessageBox> boxes =
      std::make_shared<norvale::ScriptedMessageBox>();
  std::shared_ptr<FakeClock> clock = std::make_shared<FakeClock>();
  std::shared_ptr<HookedPump> pump = std::make_shared<HookedPump>();
  std::shared_ptr<VirtualWaits> waits = std::make_shared<VirtualWaits>(clock);
  std::shared_ptr<RecordingActions> actions = std::make_shared<RecordingActions>();
  std::shared_ptr<RecordingShellFiles> shellFiles = std::make_shared<RecordingShellFiles>();
  std::shared_ptr<norvale::IProgramStarts> starts =
      std::make_shared<norvale::SystemProgramStarts>();

  norvale::Seams Seams() const;
  norvale::WinServicesSeams Windows() const;
};

// The error log the objects of this test binary write ("QUILLON.log"
// beside it).
std::wstring ErrorLogText();
void ClearErrorLog();

}  // namespace testing_support
