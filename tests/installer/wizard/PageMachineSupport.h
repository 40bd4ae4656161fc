#pragma once
// The wizard opened for the page machine's tests: restarts and program
// starts recorded instead of done, questions timed, FTP pauses off, and a
// hook on the install run.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ScriptedMessageBox.h"
#include "WizardProbe.h"

namespace wizard_testing {

// Records what would restart or shut down Windows; does none of it.
class RecordingActions final : public norvale::ISystemActions {
 public:
  bool EnablePrivilege(const std::wstring& name) override;
  bool RequestExitWindows(UINT flags, DWORD reason) override;
  bool InitiateShutdown(const std::wstring& computer, const std::wstring& message,
                        DWORD timeoutSeconds, bool forceAppsClosed, bool reboot) override;
  bool SetSystemClock(const SYSTEMTIME&) override { return Note(L"SetSystemClock"); }
  bool SetLocalClock(const SYSTEMTIME&) override { return Note(L"SetLocalClock"); }
  bool DeviceControl(const std::wstring&, DWORD) override { return Note(L"DeviceControl"); }
  DWORD FormatDriveDialog(HWND, UINT, UINT, UINT) override { return Note(L"Format"), 0; }
  DWORD DisconnectDialog(HWND, DWORD) override { return Note(L"Disconnect"), 0; }

  std::vector<std::wstring> calls;
  // Runs at a restart request (a test looks at the disk there).
  std::function<void()> onRestart;

 private:
  bool Note(const std::wstring& call) {
    calls.push_back(call);
    return true;
  }
};

// Records program starts; starts nothing.
class RecordingStarts final : public norvale::IProgramStarts {
 public:
  struct Started {
    std::wstring application, commandLine;
    int showState;
  };
  bool Start(const std::wstring& commandLine, int showState, DWORD*, HANDLE*) override {
    starts.push_back({L"", commandLine, showState});
    if (onStart) onStart(starts.back());
    return true;
  }
  bool StartProgram(const std::wstring& application, const std::wstring& commandLine,
                    int showState, DWORD*, HANDLE*) override {
    starts.push_back({application, commandLine, showState});
    if (onStart) onStart(starts.back());
    return true;
  }
  std::vector<Started> starts;
  // Runs at each start (a test looks at the program's file there).
  std::function<void(const Started&)> onStart;
};

// The scripted box with the moment of every question.
class TimedBox final : public norvale::IMessageBox {
 public:
  int Show(const std::wstring& text, const std::wstring& title, unsigned style) override {
    ticks.push_back(GetTickCount64());
    if (onAsk) onAsk(title);
    return script.Show(text, title, style);
  }
  norvale::ScriptedMessageBox script;
  std::vector<ULONGLONG> ticks;
  std::function<void(const std::wstring& title)> onAsk;
};

// The pump of the FTP client and the message loop, with a hook that runs
// first.
class HookedPump final : public norvale::IMessagePump {
 public:
  explicit HookedPump(norvale::forms::Application& app) : app_(app) {}
  void DoEvents() override {
    if (hook) hook();
    app_.DoEvents();
  }
  std::function<void()> hook;

 private:
  norvale::forms::Application& app_;
};

struct MachineWizard : Wizard {
  std::shared_ptr<RecordingActions> actions = std::make_shared<RecordingActions>();
  std::shared_ptr<RecordingStarts> starts = std::make_shared<RecordingStarts>();
  std::shared_ptr<TimedBox> box = std::make_shared<TimedBox>();
  std::shared_ptr<HookedPump> pump = std::make_shared<HookedPump>(app);
  // Last changes to the options before the window is made.
  std::function<void(norvale::InstallerWindowOptions&)> adjust;

  WizardProbe& Open(std::function<void(norvale::InstallerState&)> fill, bool show = false);
  norvale::ScriptedMessageBox& Box() { return box->script; }
  const std::vector<norvale::ScriptedMessageBox::Question>& Asked() { return box->script.Asked(); }
};

}  // namespace wizard_testing
